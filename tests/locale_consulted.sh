#!/bin/sh
# Shows that the evaluator sets its locale from the environment, in the
# static build as in the dynamic one: asked for a locale by LC_ALL, it looks
# for that locale's files.
# usage: locale_consulted.sh TEST_BINARY
log=$(mktemp)
LC_ALL=fr_FR.UTF-8 strace -qq -e trace=open,openat -o "$log" "$1" a
looked=$(grep -c 'fr_FR' "$log")
rm -f "$log"
echo "looked for the locale's files $looked times"
[ "$looked" -gt 0 ]
