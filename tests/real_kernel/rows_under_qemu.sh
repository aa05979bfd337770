#!/usr/bin/env bash
# Runs the rows' test programs under qemu-user, as the processor's own
# suites run there, and writes to LIST the names of the rows that skip:
# those that watch the detached daemons, which qemu-user hides. The booted
# machines must run every one of them.
# usage: rows_under_qemu.sh BINFMT_SH EMULATOR LIST DIR PROGRAM...
set -u
binfmt=$1 emulator=$2 list=$3 dir=$4
shift 4

rm -f "$list"
if ! command -v "$emulator" >/dev/null 2>&1; then
	echo "skipped: $emulator is missing (Debian package qemu-user-static)"
	exit 77
fi
if [ "$(id -u)" -ne 0 ]; then
	echo "skipped: the programs' handler for qemu-user needs the superuser"
	exit 77
fi
name=brimkit-real-kernel-$(basename "$(dirname "$list")")
state=$list.binfmt
sh "$binfmt" register "$emulator" "$name" "$state" || exit 1
trap 'sh "$binfmt" unregister "$emulator" "$name" "$state" >/dev/null' EXIT

status=0
hidden=$(mktemp)
for program in "$@"; do
	out=$("$emulator" "$dir/$program" 2>&1) || status=1
	printf '%s\n' "$out"
	printf '%s\n' "$out" |
		sed -n 's/^\[  SKIPPED \] \([^ ]*\) ([0-9]* ms)$/\1/p' >>"$hidden"
done
echo "$(wc -l <"$hidden") rows skipped under $emulator"
[ "$status" -eq 0 ] && mv "$hidden" "$list"
rm -f "$hidden"
exit "$status"
