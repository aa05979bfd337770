#!/bin/sh
# Renders each manual page given after the linter's name and fails on any
# warning: groff with every warning enabled, or mandoc's linter. The pages are
# plain ASCII, since groff reads other bytes as Latin-1.
# usage: lint.sh groff|mandoc PAGE...
linter=$1
case $linter in
groff) lint="groff -ww -z -man" ;;
mandoc) lint="mandoc -Tlint" ;;
*)
	echo "usage: lint.sh groff|mandoc PAGE..." >&2
	exit 2
	;;
esac
shift
status=0

report() {
	printf '%s: %s\n%s\n' "$1" "$2" "$3" >&2
	status=1
}

for page in "$@"; do
	if [ ! -r "$page" ]; then
		report "$page" "cannot be read" ""
		continue
	fi
	out=$(LC_ALL=C grep -n '[^ -~]' "$page")
	[ -z "$out" ] || report "$page" "bytes outside printable ASCII" "$out"
	out=$($lint "$page" 2>&1)
	if [ $? -ne 0 ] || [ -n "$out" ]; then
		report "$page" "$linter warns" "$out"
	fi
done
exit $status
