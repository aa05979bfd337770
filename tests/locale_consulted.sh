#!/bin/sh
# Shows that the evaluator sets its locale from the environment before it
# prints a message, its help or its version, in the static build as in the
# dynamic one, and that a run which prints nothing never loads it: asked
# for C.UTF-8, a locale every system has, the printing runs open its files
# and the silent run does not.
# usage: locale_consulted.sh TEST_BINARY
log=$(mktemp)
opened() {
	LC_ALL=C.UTF-8 strace -qq -e trace=open,openat -o "$log" "$@" \
		>/dev/null 2>&1
	grep -c -i 'C\.utf-\{0,1\}8' "$log"
}
error=$(opened "$1" x y)
help=$(opened "$1" --help)
version=$(opened "$1" --version)
silent=$(opened "$1" x)
rm -f "$log"
echo "opened the locale's files: $error times for a message, $help for" \
	"help, $version for the version, $silent silently"
[ "$error" -gt 0 ] && [ "$help" -gt 0 ] && [ "$version" -gt 0 ] &&
	[ "$silent" -eq 0 ]
