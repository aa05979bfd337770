#!/bin/sh
# Fails unless the ELF file $1 is built hardened: the stack protector's
# check, the C library's checked calls when $2 is "fortified", read-only
# relocations, and, when it is linked dynamically, position independence.
# usage: hardening.sh BINARY fortified|unfortified
status=0
symbols=$(readelf -W -s "$1")
headers=$(readelf -W -h -l -d "$1")

check() {
	if [ "$2" -eq 0 ]; then
		echo "yes: $1"
	else
		echo "NO: $1"
		status=1
	fi
}

echo "$symbols" | grep -q ' __stack_chk_fail\b'
check "stack protector" $?
if [ "$2" = fortified ]; then
	echo "$symbols" | grep -q ' __[a-z]*_chk\b'
	check "checked C library calls" $?
fi
echo "$headers" | grep -q 'GNU_RELRO'
check "read-only relocations (GNU_RELRO)" $?
if echo "$headers" | grep -q 'INTERP'; then
	echo "$headers" | grep -q 'Type: *DYN' &&
		echo "$headers" | grep -q 'FLAGS_1.*PIE'
	check "position independent" $?
fi
exit $status
