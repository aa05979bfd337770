#!/bin/sh
# Fails unless the dynamic section of $1 needs the C library and nothing else.
needed=$(readelf -d "$1" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
echo "NEEDED: $needed"
[ "$needed" = "libc.so.6" ]
