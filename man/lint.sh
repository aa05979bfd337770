#!/bin/sh
# Renders each manual page given as an argument and fails on any warning:
# groff with every warning enabled, and mandoc's linter when it is installed.
# The pages are plain ASCII, since groff reads other bytes as Latin-1.
status=0

report() {
	printf '%s: %s\n%s\n' "$1" "$2" "$3" >&2
	status=1
}

if ! command -v groff >/dev/null 2>&1; then
	echo "groff is missing (Debian package groff-base)" >&2
	exit 1
fi
if ! command -v mandoc >/dev/null 2>&1; then
	echo "mandoc is missing (Debian package mandoc): its lint is skipped"
fi

for page in "$@"; do
	if [ ! -r "$page" ]; then
		report "$page" "cannot be read" ""
		continue
	fi
	out=$(LC_ALL=C grep -n '[^ -~]' "$page")
	[ -z "$out" ] || report "$page" "bytes outside printable ASCII" "$out"
	out=$(groff -ww -z -man "$page" 2>&1)
	if [ $? -ne 0 ] || [ -n "$out" ]; then
		report "$page" "groff warns" "$out"
	fi
	if command -v mandoc >/dev/null 2>&1; then
		out=$(mandoc -Tlint "$page" 2>&1)
		if [ $? -ne 0 ] || [ -n "$out" ]; then
			report "$page" "mandoc warns" "$out"
		fi
	fi
done
exit $status
