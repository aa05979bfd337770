#!/bin/sh
# Shows that update's write request reaches the kernel as the bdflush system
# call with its two arguments (code 9 for parameter 3, value 12).
# Under qemu-user, which answers the call itself, the emulator's own trace
# names what the program asked for, by the emulated processor's numbers.
# usage: kernel_call_traced.sh UPDATE_BINARY [qemu]
log=$(mktemp)
if [ "${2-}" = qemu ]; then
	QEMU_STRACE=1 "$1" -3 12 >/dev/null 2>"$log"
	calls=$(grep -E '^[0-9]+ bdflush\(9,12,' "$log")
else
	strace -qq -e trace=all -o "$log" "$1" -3 12 2>/dev/null
	calls=$(grep -E '^bdflush\(0x9, 0xc\) += ' "$log")
fi
rm -f "$log"
echo "traced: ${calls:-no bdflush call}"
[ -n "$calls" ]
