#!/bin/sh
# Runs a test's command when TOOL is on the PATH; otherwise reports the test
# skipped, with status 77, naming the Debian package that brings TOOL.
# usage: skip_without.sh TOOL PACKAGE COMMAND...
tool=$1
package=$2
shift 2
if ! command -v "$tool" >/dev/null 2>&1; then
	echo "skipped: $tool is missing (Debian package $package)"
	exit 77
fi
exec "$@"
