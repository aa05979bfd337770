#!/usr/bin/env bash
# Boots one of Debian's kernels under qemu, without KVM, from an initramfs
# of update's builds and the init that checks them, and passes when the
# init reports every check passed. Skips, with status 77, where the
# emulator is missing or the kernel cannot be fetched.
# usage: boot.sh ARCHITECTURE METAPACKAGE QEMU_PACKAGE "QEMU [OPTION...]"
#        CONSOLE SUITE CC INIT BUILD=UPDATE...
#   BUILD, glibc or musl, names the directory the init runs BUILD/update
#   from; a dynamic UPDATE gets its loader and libraries from CC's C library.
set -euo pipefail

arch=$1 meta=$2 qemu_package=$3 console=$5 suite=$6 cc=$7 init=$8
read -ra qemu <<<"$4"
shift 8
here=$(cd "$(dirname "$0")" && pwd)
# Two machines boot side by side in about a minute; this is far beyond.
limit=150

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
for build in "$@"; do
	program=${build#*=}
	mkdir "$root/${build%%=*}"
	cp "$program" "$root/${build%%=*}/update"
	loader=$(readelf -l "$program" |
		sed -n 's/.*program interpreter: \(.*\)]$/\1/p')
	[ -n "$loader" ] || continue
	# The libraries go beside the loader, where it looks without a cache.
	mkdir -p "$root$(dirname "$loader")"
	for file in "$(basename "$loader")" $(readelf -d "$program" |
		sed -n 's/.*(NEEDED).*\[\(.*\)\]$/\1/p'); do
		cp -L "$("$cc" -print-file-name="$file")" \
			"$root$(dirname "$loader")/$file"
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
[ "$checks" -gt 0 ] && [ "$failed" -eq 0 ]
