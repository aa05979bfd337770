#!/bin/sh
# Checks README.md and docs/*.md against the tree: every file they name in
# backquotes or code, and every relative link, exists (a link's #anchor
# among its target's headings); every --preset and install-deps set they
# name exists; and the README links every file in docs/. Build outputs and
# system paths are not the tree's, so only names under its own top-level
# entries count.
# usage: docs.sh SOURCE_DIR
cd "$1" || exit 2
status=0
tops=" $(ls -A | grep -v -e '^build' -e '^dist$' -e '^\.git$' | tr '\n' ' ')"
docs=$(echo docs/*.md)
set -f

fail() {
	echo "$1: $2" >&2
	status=1
}

# anchors FILE: GitHub's ids of FILE's headings.
anchors() {
	sed -n 's/^#\{1,6\} //p' "$1" | tr 'A-Z' 'a-z' |
		sed 's/[^a-z0-9 _-]//g; s/ /-/g'
}

for doc in README.md $docs; do
	dir=$(dirname "$doc")
	# Words in backquotes and on indented code lines.
	words=$( { grep -o '`[^`]*`' "$doc" | tr -d '`'
		grep '^    ' "$doc"; } | tr ' |(){};="' '\n')
	for w in $words; do
		case $tops in *" ${w%%/*} "*) ;; *) continue ;; esac
		[ "${w%%/*}" != "$w" ] || [ -f "$w" ] || continue
		# A glob names what it matches.
		set +f
		set -- $w
		set -f
		[ -e "$1" ] || fail "$doc" "names $w, which is not in the tree"
	done
	for target in $(grep -o '](\([^)]*\))' "$doc" | sed 's/^](//; s/)$//')
	do
		case $target in *://*) continue ;; esac
		file=${target%%#*}
		anchor=${target#"$file"}
		[ -n "$file" ] && file=$dir/$file || file=$doc
		if [ ! -e "$file" ]; then
			fail "$doc" "links $target, which does not exist"
		elif [ -n "$anchor" ] &&
			! anchors "$file" | grep -qx -e "${anchor#\#}"; then
			fail "$doc" "links $target, a heading $file lacks"
		fi
	done
	for set in $(grep -o 'install-deps [a-z0-9|-]*' "$doc" | cut -c14- |
		tr '|' ' '); do
		grep -q "^$set)" scripts/install-deps ||
			fail "$doc" "names the package set $set, which is not one"
	done
	for preset in $(grep -o -e '--preset [a-z0-9-]*' "$doc" | cut -c10-)
	do
		grep -q "\"name\": \"$preset\"" CMakePresets.json ||
			fail "$doc" "names the preset $preset, which is not one"
	done
done
for doc in $docs; do
	grep -q "](\(\./\)\{0,1\}$doc[)#]" README.md ||
		fail README.md "does not link $doc"
done
exit $status
