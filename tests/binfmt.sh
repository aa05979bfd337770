#!/bin/sh
# Makes the kernel start a foreign processor's programs through qemu-user for
# the length of a test run, so that the tests can spawn them by path. The
# handler registered is Debian's own rule for EMULATOR (from qemu-user-static)
# under NAME, with the C flag, so that a set-user-ID program runs with the
# ids it asks for (implies O), and F, so that it works in any mount
# namespace. binfmt_misc takes the newest matching handler first, so NAME
# wins over one registered without C and is removed afterwards; binfmt_misc
# is mounted for the run when it was not.
# Debian ships no rule for qemu-i386 on x86-64, whose kernels mostly run
# i386 programs themselves; where one refuses them, the rule is ours, its
# interpreter a link named as Debian names theirs, since qemu keeps the
# caller's argv[0] only when started under a name ending in -binfmt-P.
# usage: binfmt.sh register|unregister EMULATOR NAME STATE_FILE
set -u
action=$1
emulator=$(basename "$2" -static)
name=$3
state=$4
dir=/proc/sys/fs/binfmt_misc
rule=/usr/lib/binfmt.d/$emulator.conf
if [ "$emulator" = qemu-i386 ] && [ ! -r "$rule" ]; then
	rule=$state.rule
	link=$(dirname "$state")/i386-binfmt-P
fi

case $action in
register)
	if [ -n "${link-}" ]; then
		ln -sf "$(command -v "$2")" "$link"
		printf ':qemu-i386:M::%s:%s:%s:\n' \
			'\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00' \
			'\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff' \
			"$link" >"$rule"
	fi
	if [ ! -r "$rule" ]; then
		echo "cannot run these programs: $rule is missing" \
			"(Debian package qemu-user-static)"
		exit 1
	fi
	: >"$state"
	if [ ! -e "$dir/status" ]; then
		# A suite beside this one may mount it first.
		if mount -t binfmt_misc binfmt_misc "$dir"; then
			echo mounted >"$state"
		elif [ ! -e "$dir/status" ]; then
			echo "cannot run these programs: binfmt_misc is" \
				"not mounted and mounting it failed" \
				"(it needs root)"
			exit 1
		fi
	fi
	[ -e "$dir/$name" ] && echo -1 >"$dir/$name"
	# :name:type:offset:magic:mask:interpreter:flags
	sed -n "s/^:[^:]*:\(.*\):[A-Z]*\$/:$name:\1:POCF/p" "$rule" |
		head -n 1 2>/dev/null >"$dir/register"
	if [ ! -e "$dir/$name" ]; then
		field='s/^:\([^:]*:\)\{5\}\([^:]*\):.*/interpreter \2/p'
		if grep -qx "$(sed -n "$field" "$rule")" "$dir"/* 2>/dev/null
		then
			echo "registering a handler with the C flag" \
				"failed (it needs root); the one there" \
				"serves, but set-user-ID programs run with" \
				"the caller's ids"
			exit 0
		fi
		echo "cannot run these programs: registering a binfmt_misc" \
			"handler failed (it needs root)"
		exit 1
	fi
	echo "registered $name:"
	sed 's/^/  /' "$dir/$name"
	;;
unregister)
	[ -e "$dir/$name" ] && echo -1 >"$dir/$name"
	if grep -qx mounted "$state" 2>/dev/null &&
		[ "$(ls "$dir" | grep -cvx 'register\|status')" -eq 0 ]; then
		umount "$dir"
	fi
	rm -f "$state" "${link-}" "$state.rule"
	echo "unregistered $name"
	;;
esac
