#!/bin/sh
# Fails unless the dynamic section of $1 needs exactly $2: the C library, or
# nothing at all for a static build.
needed=$(readelf -d "$1" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
echo "NEEDED: ${needed:-none}"
[ "$needed" = "$2" ]
