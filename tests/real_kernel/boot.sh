#!/usr/bin/env bash
# Boots a kernel under qemu, without KVM, with update's builds, the test
# programs whose rows watch its detached daemons, and the init that checks
# them, and passes when the init reports every check passed and every row
# that skips under qemu-user passed here. The KIND is a suite of Debian's,
# whose kernel is fetched and boots from an initramfs, or linux-2.4 or
# linux-2.2, a kernel of before 2.6 that keeps bdflush's parameters, which
# no archive has: it boots from an ext2 RAM disk, 2.2's from a floppy.
# Skips, with status 77, where the emulator or the kernel is missing.
# usage: boot.sh ARCHITECTURE METAPACKAGE QEMU_PACKAGE "QEMU [OPTION...]"
#        CONSOLE KIND CC INIT "PROGRAM..." BUILD=DIR...
#   BUILD, glibc or musl, names the directory the init runs BUILD/update
#   and BUILD/test from, DIR/flush_daemon/update and DIR/evaluator/test;
#   the PROGRAMs, from DIR/tests, and the programs they start keep their
#   paths, and DIR/BUILD.hidden lists the rows they skip under qemu-user.
#   Dynamic programs get their loader and libraries from CC's C library.
set -euo pipefail

arch=$1 meta=$2 qemu_package=$3 console=$5 kind=$6 cc=$7 init=$8
read -ra qemu <<<"$4"
read -ra programs <<<"$9"
shift 9
here=$(cd "$(dirname "$0")" && pwd)
# Two machines boot side by side and run their rows in about three
# minutes; this is far beyond.
limit=330

if ! command -v "${qemu[0]}" >/dev/null 2>&1; then
	echo "skipped: ${qemu[0]} is missing (Debian package $qemu_package)"
	exit 77
fi
case $kind in
linux-*)
	kernel=${XDG_CACHE_HOME:-$HOME/.cache}/brimkit-kernels/$kind-$arch
	if [ ! -s "$kernel/vmlinuz" ]; then
		echo "skipped: no Linux ${kind#linux-} for $arch: put its" \
			"kernel image in $kernel/vmlinuz"
		exit 77
	fi
	;;
*)
	if ! kernel=$("$here/../../scripts/fetch-kernels" "$arch" "$meta" \
		"$kind"); then
		echo "skipped: $meta of Debian $kind ($arch) could not be" \
			"fetched"
		exit 77
	fi
	;;
esac

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root=$work/root
mkdir -p "$root/dev" "$root/proc" "$root/sys" "$root/tmp"
chmod 1777 "$root/tmp"
echo "$kind" >"$root/kind"
case $kind in
linux-*)
	mkdir "$root/sbin"
	cp "$init" "$root/sbin/init"
	;;
*)
	cp "$init" "$root/init"
	cp "$kernel/brd.ko" "$root/brd.ko"
	;;
esac
# The libraries go beside the loader, where it looks without a cache.
add_libraries() {
	local program=$1 loader file
	loader=$(readelf -l "$program" |
		sed -n 's/.*program interpreter: \(.*\)]$/\1/p')
	[ -n "$loader" ] || return 0
	mkdir -p "$root$(dirname "$loader")"
	for file in "$(basename "$loader")" $(readelf -d "$program" |
		sed -n 's/.*(NEEDED).*\[\(.*\)\]$/\1/p'); do
		[ -e "$root$(dirname "$loader")/$file" ] && continue
		cp -L "$("$cc" -print-file-name="$file")" \
			"$root$(dirname "$loader")/$file"
		add_libraries "$root$(dirname "$loader")/$file"
	done
}
keep_path() {
	mkdir -p "$root$(dirname "$1")"
	cp "$1" "$root$1"
	add_libraries "$1"
}
: >"$root/rows"
for build in "$@"; do
	name=${build%%=*} dir=${build#*=}
	mkdir "$root/$name"
	cp "$dir/flush_daemon/update" "$root/$name/update"
	[ ! -e "$dir/evaluator/test" ] ||
		cp "$dir/evaluator/test" "$root/$name/test"
	[ ${#programs[@]} -gt 0 ] || continue
	keep_path "$dir/flush_daemon/update"
	keep_path "$dir/tests/flush_daemon_simulated"
	for program in "${programs[@]}"; do
		keep_path "$dir/tests/$program"
		echo "$name $dir/tests/$program" >>"$root/rows"
	done
done
chmod -R a+rX "$root"

# Writes the 16-bit little-endian VALUE at OFFSET of FILE.
put_word() {
	printf "$(printf '\\%03o\\%03o' $(($3 & 255)) $(($3 >> 8)))" |
		dd of="$1" bs=1 seek=$(($2)) conv=notrunc status=none
}
case $kind in
linux-*)
	# Before 2.6 the root is a RAM disk of ext2, revision 0; the disk
	# is one whose written sectors the kernel counts.
	mke2fs -q -t ext2 -r 0 -b 1024 -d "$root" "$work/ext2" 4096
	gzip -9n <"$work/ext2" >"$work/initrd"
	truncate -s 8M "$work/disk"
	boot=(-cpu 486 -m 32
		-drive "file=$work/disk,format=raw,if=ide,index=0")
	limit=150
	;;
*)
	(cd "$root" && find . | cpio -o -H newc -R 0:0 --quiet) \
		>"$work/initrd"
	boot=(-m 256 -kernel "$kernel/vmlinuz" -initrd "$work/initrd"
		-append "console=$console panic=-1 quiet")
	;;
esac
case $kind in
linux-2.2)
	# It hangs under -kernel, so it loads its RAM disk from the floppy
	# it boots from, at a kibibyte boundary past itself, as its header
	# says: no prompt, root on the floppy, read-write.
	at=$((($(stat -c %s "$kernel/vmlinuz") + 1023) / 1024))
	truncate -s 1440K "$work/floppy"
	dd if="$kernel/vmlinuz" of="$work/floppy" conv=notrunc status=none
	dd if="$work/initrd" of="$work/floppy" bs=1024 seek="$at" \
		conv=notrunc status=none
	put_word "$work/floppy" 0x1F8 $((at | 0x4000))
	put_word "$work/floppy" 0x1FC 0x0200
	put_word "$work/floppy" 0x1F2 0
	boot+=(-drive "file=$work/floppy,format=raw,if=floppy,index=0"
		-boot a)
	;;
linux-*)
	boot+=(-kernel "$kernel/vmlinuz" -initrd "$work/initrd"
		-append "console=ttyS0 root=/dev/ram0 rw init=/sbin/init")
	;;
esac

echo "kernel: $(cat "$kernel/version" 2>/dev/null ||
	file -b "$kernel/vmlinuz") from $kernel"
started=$(date +%s%N)
status=0
timeout -s KILL "$limit" "${qemu[@]}" -accel tcg -nodefaults \
	-no-user-config -display none -serial stdio -no-reboot "${boot[@]}" \
	-pidfile "$work/qemu.pid" </dev/null >"$work/console" 2>&1 &
runner=$!
# Once the init has said it is done nothing is left to wait for: 2.2
# cannot power off, and 2.4 takes seconds to shut its drivers down.
while kill -0 "$runner" 2>/dev/null; do
	if grep -q '^real-kernel: [0-9]* checks, [0-9]* failed' \
		"$work/console"; then
		kill -KILL "$(cat "$work/qemu.pid")" 2>/dev/null || true
		break
	fi
	sleep 1
done
wait "$runner" || status=$?
echo "qemu ran $((($(date +%s%N) - started) / 1000000)) ms," \
	"exit status $status"

tr -d '\r' <"$work/console" | grep '^real-kernel: ' || true
summary=$(tr -d '\r' <"$work/console" |
	sed -n 's/^real-kernel: \([0-9]*\) checks, \([0-9]*\) failed$/\1 \2/p')
if [ -z "$summary" ]; then
	[ "$status" -ne 137 ] || echo "qemu killed after $limit s"
	echo "the machine did not finish its checks; its console:"
	tr -d '\r' <"$work/console"
	exit 1
fi
read -r checks failed <<<"$summary"
if [ ${#programs[@]} -eq 0 ]; then
	[ "$checks" -gt 0 ] && [ "$failed" -eq 0 ]
	exit
fi

# Each row that qemu-user hides must have passed here, in the same build.
passed=$(tr -d '\r' <"$work/console" | awk '
	/^real-kernel: rows of / { build = $4 }
	/^real-kernel: \[       OK \] .* \([0-9]+ ms\)$/ { print build, $5 }' |
	sort -u)
missing=0 hidden=0
for build in "$@"; do
	name=${build%%=*} dir=${build#*=}
	if [ ! -r "$dir/$name.hidden" ]; then
		echo "no list of the rows that qemu-user hides in $name" \
			"(rows_under_qemu did not run): not compared"
		continue
	fi
	while read -r row; do
		hidden=$((hidden + 1))
		if ! grep -qxF "$name $row" <<<"$passed"; then
			echo "hidden under qemu-user, and not passed here:" \
				"$name $row"
			missing=$((missing + 1))
		fi
	done <"$dir/$name.hidden"
done
echo "rows passed in the machine: $(grep -c . <<<"$passed");" \
	"$hidden hidden under qemu-user, $missing of them not passed here"
[ "$checks" -gt 0 ] && [ "$failed" -eq 0 ] && [ "$missing" -eq 0 ]
