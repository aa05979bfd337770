#!/bin/sh
# Fails unless each of the release's program archives holds what it should,
# owned by 0:0, its test answering "test -d / -a ! -f /" with 0, here or
# under qemu-user, and its programs the same bytes as the stripped install
# of the preset they come from (whose suite tests them). A preset not built
# in the source tree is skipped, saying so.
# usage: matches_presets.sh TOP DIST VERSION
set -u
top=$1
dist=$2
version=$3
status=0
skipped=0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
	echo "FAIL: $package: $*"
	status=1
}

(cd "$dist" && sha256sum -c SHA256SUMS) || status=1
for row in x86_64:musl: i386:m32-musl:qemu-i386-static \
	armhf:armhf-musl:qemu-arm-static \
	aarch64:arm64-musl:qemu-aarch64-static; do
	arch=${row%%:*}
	preset=${row#*:}
	emulator=${preset#*:}
	preset=${preset%%:*}
	package=brimkit-$version-$arch-linux-musl
	archive=$dist/$package.tar.gz
	names=$(tar -tzf "$archive") || { fail "unreadable"; continue; }
	expected=$(printf "$package/%s\n" "" LICENSE README.md bin/ "bin/[" \
		bin/test sbin/ sbin/update share/ share/man/ share/man/man1/ \
		share/man/man1/test.1 share/man/man8/ share/man/man8/update.8)
	[ "$names" = "$expected" ] || fail "holds, in this order:" $names
	tar --numeric-owner -tvzf "$archive" | awk '$2 != "0/0" { exit 1 }' ||
		fail "an entry is not owned by 0:0"
	tar -xzf "$archive" -C "$work"
	[ "$(readlink "$work/$package/bin/[")" = test ] ||
		fail "bin/[ is not a link to test"

	if [ -n "$emulator" ] && ! command -v "$emulator" >/dev/null; then
		echo "skipped: $package: running its test needs $emulator" \
			"(Debian package qemu-user-static)"
		skipped=1
	else
		$emulator "$work/$package/bin/test" -d / -a ! -f /
		answer=$?
		[ $answer -eq 0 ] || fail "test -d / -a ! -f / gave $answer"
	fi

	build=$top/build-$preset
	if [ ! -f "$build/CMakeCache.txt" ]; then
		echo "skipped: $package: $build is missing" \
			"(cmake --workflow --preset $preset)"
		skipped=1
		continue
	fi
	if ! cmake --build "$build" --target evaluator flush_daemon \
		>/dev/null || ! cmake --install "$build" --strip \
		--prefix "$work/$preset" >/dev/null; then
		fail "the $preset build failed"
		continue
	fi
	for file in bin/test sbin/update; do
		cmp "$work/$preset/$file" "$work/$package/$file" ||
			fail "$file differs from the $preset preset's"
	done
	echo "$package: compared with the $preset preset's install"
done
if [ $status -eq 0 ] && [ $skipped -eq 1 ]; then
	exit 77
fi
exit $status
