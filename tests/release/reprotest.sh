#!/bin/sh
# Builds twice under reprotest and fails, showing diffoscope's account, when
# the results differ: the second build in another folder, half a year or
# more later (faketime), with another umask, locale, time zone and home,
# an unrelated variable in its environment and, where FUSE serves, its
# source directories listed in another order (disorderfs). The results are a
# preset's stripped install, or the release (dist/). A preset's build takes
# the sources as they are, tracked files only; the release takes a clone,
# being made of the commit.
# usage: reprotest.sh TOP programs|musl|release
set -eu
top=$1
kind=$2
variations=+build_path,+time,+umask,+locales,+timezone,+home,+environment
variations=$variations,-user_group,-domain_host,-kernel,-exec_path
variations=$variations,-num_cpus,-aslr
if [ -c /dev/fuse ] && command -v disorderfs >/dev/null 2>&1; then
	variations=$variations,+fileordering
else
	echo "note: directory order is not varied: it needs FUSE and" \
		"disorderfs (Debian package disorderfs)"
	variations=$variations,-fileordering
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
case $kind in
release)
	git clone -q "$top" "$work/src"
	build='cmake --preset release && cmake --build --preset release'
	results='dist/*'
	;;
*)
	mkdir "$work/src"
	(cd "$top" && git ls-files -z | xargs -0 cp -P --parents -t "$work/src")
	build="cmake --preset $kind -DBUILD_TESTING=OFF &&
		cmake --build --preset $kind &&
		cmake --install build-$kind --strip --prefix inst"
	results='inst/bin/* inst/sbin/* inst/share/man/*/*'
	;;
esac
echo "variations: $variations"
cd "$work/src"
exec reprotest --variations="$variations" --min-cpus=2 "$build" "$results" \
	-- null
