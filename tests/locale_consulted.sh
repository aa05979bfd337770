#!/bin/sh
# Shows that the evaluator sets its locale from the environment before it
# prints a message, in the static build as in the dynamic one, and that a
# run which prints nothing never loads it: asked for C.UTF-8, a locale every
# system has, the error run opens its files and the silent run does not.
# usage: locale_consulted.sh TEST_BINARY
log=$(mktemp)
opened() {
	LC_ALL=C.UTF-8 strace -qq -e trace=open,openat -o "$log" "$@" 2>/dev/null
	grep -c -i 'C\.utf-\{0,1\}8' "$log"
}
error=$(opened "$1" x y)
silent=$(opened "$1" x)
rm -f "$log"
echo "opened the locale's files: $error times for a message, $silent silently"
[ "$error" -gt 0 ] && [ "$silent" -eq 0 ]
