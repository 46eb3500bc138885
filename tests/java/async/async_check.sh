#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# vorlith --async: the generated client's future-returning methods compile
# against the runtime's jar without a message (-Xlint:all -Werror) and run
# against a live server on the loopback interface whose service defers its
# replies (UseAsync prints "ok").
#
#   async_check.sh VORLITH JAVAC JAVA ZELT_JAR INPUT SOURCE_DIR WORK_DIR
set -eu
vorlith=$(realpath "$1") javac=$2 java=$3 jar=$(realpath "$4") input=$(realpath "$5") src=$(realpath "$6") work=$7

rm -rf "$work"
mkdir -p "$work/gen" "$work/classes"
if ! (cd "$work/gen" && "$vorlith" --async "$input") >"$work/vorlith.out" 2>"$work/vorlith.err"; then
  echo "vorlith failed:"; cat "$work/vorlith.err"; exit 1
fi
grep -q 'public CompletableFuture<String> NAMEAsync(int in_arg)' "$work/gen/GEOPROG_cln.java" || {
  echo "no NAMEAsync in the generated client"; exit 1; }
out=$("$javac" -Xlint:all -Werror -cp "$jar" -d "$work/classes" "$work"/gen/*.java "$src"/UseAsync.java 2>&1) || {
  echo "javac failed:"; echo "$out"; exit 1; }
[ -z "$out" ] || { echo "javac reported:"; echo "$out"; exit 1; }
result=$(timeout 120 "$java" -cp "$work/classes:$jar" UseAsync) || { echo "UseAsync failed: $result"; exit 1; }
[ "$result" = ok ] || { echo "UseAsync printed: $result"; exit 1; }
echo ok
