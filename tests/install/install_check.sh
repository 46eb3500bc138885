#!/bin/bash
# Installs the build into a scratch prefix and checks the tree: both
# programs in bin/, the manual page in share/man/man1/, nothing else; then
# runs the installed vorlith on an example and compares its Java with the
# committed one.
#
#   install_check.sh BUILD_DIR SOURCE_DIR
set -eu
build=$1
source=$2

scratch=$(mktemp -d "${TMPDIR:-/tmp}/vorlith-install.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
prefix="$scratch/prefix"

if ! cmake --install "$build" --prefix "$prefix" >"$scratch/install.log" 2>&1; then
  cat "$scratch/install.log" >&2
  echo "cmake --install failed" >&2
  exit 1
fi

fail=0
(cd "$prefix" && find . -type f | sort) >"$scratch/files"
printf '%s\n' ./bin/msgclient ./bin/vorlith ./share/man/man1/vorlith.1 >"$scratch/expected"
if ! diff -u "$scratch/expected" "$scratch/files" >&2; then
  echo "installed files differ from the expected list" >&2
  fail=1
fi
for prog in vorlith msgclient; do
  [ -x "$prefix/bin/$prog" ] || { echo "bin/$prog is not executable" >&2; fail=1; }
done
[ "$fail" = 0 ] || exit 1

bash "$source/examples/regen.sh" "$prefix/bin/vorlith" "$scratch/gen"
diff -r "$source/examples/kvstore/java" "$scratch/gen/kvstore" >&2 || {
  echo "installed vorlith writes different Java for kvstore.x" >&2
  exit 1
}
