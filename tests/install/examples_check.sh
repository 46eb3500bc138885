#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# The committed Java of the examples is what vorlith writes today, byte for
# byte: a change in the generator's output shows up as a reviewed change of
# examples/*/java/ (rewrite them with examples/regen.sh). The committed
# Java must also compile against the runtime's jar.
#
#   examples_check.sh VORLITH SOURCE_DIR ZELT_JAR
set -eu
vorlith=$1
source=$2
zelt_jar=$3

scratch=$(mktemp -d "${TMPDIR:-/tmp}/vorlith-excheck.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

bash "$source/examples/regen.sh" "$vorlith" "$scratch/gen"

fail=0
for dir in "$source"/examples/*/java; do
  name=$(basename "$(dirname "$dir")")
  if ! diff -r "$dir" "$scratch/gen/$name" >"$scratch/$name.diff"; then
    echo "examples/$name/java differs from what vorlith writes now" \
         "(review, then run examples/regen.sh):" >&2
    head -n 60 "$scratch/$name.diff" >&2
    fail=1
  fi
done
[ "$fail" = 0 ] || exit 1

for dir in "$source"/examples/*/java; do
  name=$(basename "$(dirname "$dir")")
  mkdir "$scratch/classes-$name"
  if ! javac -Xlint:none -cp "$zelt_jar" -d "$scratch/classes-$name" "$dir"/*.java \
       2>"$scratch/$name.javac"; then
    echo "examples/$name/java does not compile:" >&2
    head -n 40 "$scratch/$name.javac" >&2
    fail=1
  fi
done
exit $fail
