#!/bin/sh
# Fails unless the dynamic section of $1 needs exactly $2: the C library, or
# nothing at all for a static build, which then has no program interpreter.
needed=$(readelf -d "$1" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
# The program interpreter is the C library's own part. On 32-bit ARM glibc
# keeps the stack protector's guard there, so the program needs it by name.
interpreter=$(readelf -l "$1" |
	sed -n 's/.*program interpreter: .*\/\([^/]*\)\]/\1/p')
if [ -n "$interpreter" ]; then
	needed=$(echo "$needed" | grep -vxF "$interpreter")
fi
echo "NEEDED: ${needed:-none}"
[ "$needed" = "$2" ] || exit 1
if [ -z "$2" ] && readelf -l "$1" | grep -q 'INTERP'; then
	echo "but it has a program interpreter (PT_INTERP)"
	exit 1
fi
