#!/bin/bash
# Runs a sample of argument vectors under valgrind's memcheck; fails on any
# report (exit 99), whatever the programs' own statuses.
# usage: valgrind_sample.sh TEST_BINARY [UPDATE_BINARY]
set -u
evaluator=$1
update=${2:-}
failures=0
runs=0

check() {
	runs=$((runs + 1))
	valgrind -q --error-exitcode=99 --leak-check=no "$@" \
		>/dev/null 2>/tmp/valgrind_sample.$$
	if [ $? -eq 99 ]; then
		echo "valgrind report for: $*"
		cat /tmp/valgrind_sample.$$
		failures=$((failures + 1))
	fi
}

long_chain=()
nested=()
for ((i = 0; i < 5000; i++)); do
	long_chain+=(x -a "" -o)
	nested+=("!" "(")
done
long_chain+=(x)
nested+=(x)
for ((i = 0; i < 5000; i++)); do nested+=(")"); done

check "$evaluator"
check "$evaluator" --help
check "$evaluator" --version
check "$evaluator" --bogus
check "$evaluator" -f /etc/passwd -a ! -d /etc/passwd
check "$evaluator" -r / -o -w / -o -x / -o -O / -o -G / -a -L /
check "$evaluator" a = a -a b != c -o -l abc -eq 3
check "$evaluator" -l abc = 3
check "$evaluator" 4294967297 -eq 1
check "$evaluator" 12x -eq 1
check "$evaluator" "(" x -a y
check "$evaluator" "(" x y z
check "$evaluator" -q x
check "$evaluator" ! ! ! x
check "$evaluator" a /etc/passwd -nt /etc/hostname
check "$evaluator" -t 0 -a -t
check "$evaluator" "${long_chain[@]}"
check "$evaluator" "${nested[@]}"
check "$evaluator" "(" "(" "("
if [ -n "$update" ]; then
	check "$update" -h
	check "$update" -d
	check "$update" -d -5 10 -d
	check "$update" -x
	check "$update" -s
fi
rm -f /tmp/valgrind_sample.$$
echo "$((runs - failures)) passed, $failures failed"
[ $failures -eq 0 ]
