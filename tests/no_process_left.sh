#!/bin/sh
# Runs after a suite: no process of the build in DIR may be left running,
# native (its executable is in DIR) or under qemu-user (the emulator's
# command line names a program in DIR). Each one found is named, then
# killed, so that one run's daemons cannot act on the next.
# usage: no_process_left.sh DIR
dir=${1%/}/
left=0
for p in /proc/[0-9]*; do
	pid=${p#/proc/}
	[ "$pid" != $$ ] || continue
	exe=$(readlink "$p/exe" 2>/dev/null) || continue
	args=$(tr '\0' ' ' <"$p/cmdline" 2>/dev/null)
	case $exe in
	"$dir"*) ;;
	*/qemu-*-static)
		case $args in
		*" $dir"*) ;;
		*) continue ;;
		esac
		;;
	*) continue ;;
	esac
	echo "left running: $pid $args"
	kill -KILL "$pid"
	left=$((left + 1))
done
echo "$left processes of $dir left running"
[ "$left" -eq 0 ]
