#!/bin/sh
# Fails unless the ELF file $1 is built hardened: the stack protector's
# check, the C library's checked calls when $2 is "fortified" (musl has
# none), read-only relocations, and position independence when $3 is "pie".
# usage: hardening.sh BINARY fortified|unfortified|musl pie|nopie
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
case $2 in
fortified)
	echo "$symbols" | grep -q ' __[a-z]*_chk\b'
	check "checked C library calls" $?
	;;
musl)
	echo "skipped: checked C library calls (musl has no _FORTIFY_SOURCE)"
	;;
esac
echo "$headers" | grep -q 'GNU_RELRO'
check "read-only relocations (GNU_RELRO)" $?
if [ "$3" = pie ]; then
	echo "$headers" | grep -q 'Type: *DYN' &&
		echo "$headers" | grep -q 'FLAGS_1.*PIE'
	check "position independent" $?
fi
exit $status
