#!/bin/sh
# Runs vorlith on an example in a scratch folder and shows what it printed
# and every file it wrote.
set -eu
vorlith=$(readlink -f "$1")
example=$(readlink -f "$2")
scratch=$(mktemp -d "${TMPDIR:-/tmp}/vorlith-demo.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

cp "$example" "$scratch/"
cd "$scratch"
name=$(basename "$example")
echo "\$ vorlith $name"
status=0
"$vorlith" "$name" || status=$?
echo "(exit status $status)"
for f in *.java; do
  [ -e "$f" ] || continue
  echo
  echo "===== $f ====="
  cat "$f"
done
exit "$status"
