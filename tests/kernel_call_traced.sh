#!/bin/sh
# Shows that update's write request reaches the kernel as the bdflush system
# call with its two arguments (code 9 for parameter 3, value 12).
# usage: kernel_call_traced.sh UPDATE_BINARY
log=$(mktemp)
strace -qq -e trace=all -o "$log" "$1" -3 12 2>/dev/null
calls=$(grep -E '^bdflush\(0x9, 0xc\) += ' "$log")
rm -f "$log"
echo "traced: ${calls:-no bdflush call}"
[ -n "$calls" ]
