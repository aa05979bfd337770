#!/bin/sh
# Shows that the evaluator sets its locale from the environment before it
# prints a message, its help or its version, in the static build as in the
# dynamic one, and that a run which prints nothing never loads it: asked
# for C.UTF-8, a locale every glibc system has, the printing runs open its
# files and the silent run does not. musl has C.UTF-8 built in and opens a
# locale's file only from MUSL_LOCPATH, so over musl it is asked for one
# there instead.
# usage: locale_consulted.sh TEST_BINARY [glibc|musl]
log=$(mktemp)
if [ "${2-}" = musl ]; then
	locale="MUSL_LOCPATH=${log%/*} LC_ALL=brimkit_ZZ.UTF-8"
	pattern="${log%/*}/brimkit_ZZ"
else
	locale=LC_ALL=C.UTF-8
	pattern='C\.utf-\{0,1\}8'
fi
opened() {
	env $locale strace -qq -e trace=open,openat -o "$log" "$@" \
		>/dev/null 2>&1
	grep -c -i "$pattern" "$log"
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
