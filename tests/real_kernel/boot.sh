#!/usr/bin/env bash
# Boots one of Debian's kernels under qemu, without KVM, from an initramfs
# of update's builds, the test programs whose rows watch its detached
# daemons, and the init that checks them, and passes when the init reports
# every check passed and every row that skips under qemu-user passed here.
# Skips, with status 77, where the emulator is missing or the kernel cannot
# be fetched.
# usage: boot.sh ARCHITECTURE METAPACKAGE QEMU_PACKAGE "QEMU [OPTION...]"
#        CONSOLE SUITE CC INIT "PROGRAM..." BUILD=DIR...
#   BUILD, glibc or musl, names the directory the init runs BUILD/update
#   from, DIR/flush_daemon/update; the PROGRAMs, from DIR/tests, and the
#   programs they start keep their paths, and DIR/BUILD.hidden lists the
#   rows they skip under qemu-user. Dynamic programs get their loader and
#   libraries from CC's C library.
set -euo pipefail

arch=$1 meta=$2 qemu_package=$3 console=$5 suite=$6 cc=$7 init=$8
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
if ! kernel=$("$here/../../scripts/fetch-kernels" "$arch" "$meta" "$suite")
then
	echo "skipped: $meta of Debian $suite ($arch) could not be fetched"
	exit 77
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root=$work/root
mkdir -p "$root/dev" "$root/proc" "$root/sys" "$root/tmp"
chmod 1777 "$root/tmp"
cp "$init" "$root/init"
cp "$kernel/brd.ko" "$root/brd.ko"
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
	keep_path "$dir/flush_daemon/update"
	keep_path "$dir/tests/flush_daemon_simulated"
	for program in "${programs[@]}"; do
		keep_path "$dir/tests/$program"
		echo "$name $dir/tests/$program" >>"$root/rows"
	done
done
chmod -R a+rX "$root"
(cd "$root" && find . | cpio -o -H newc -R 0:0 --quiet) >"$work/initrd"

echo "kernel: $(cat "$kernel/version") from $kernel"
started=$(date +%s%N)
status=0
timeout -s KILL "$limit" "${qemu[@]}" -accel tcg -m 256 -nodefaults \
	-no-user-config -display none -serial stdio -no-reboot \
	-kernel "$kernel/vmlinuz" -initrd "$work/initrd" \
	-append "console=$console panic=-1 quiet" \
	</dev/null >"$work/console" 2>&1 || status=$?
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
