#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# A "%package" line before the first definition puts every generated file
# in that package, with and without -p: a class of another package imports
# the generated classes, compiles against them and the runtime's jar
# without a message, and runs (encoding, and one call on the loopback
# interface). With --output-dir the files go into the package's folders,
# where javac -sourcepath finds them, and --quiet prints nothing.
#
#   package_check.sh VORLITH JAVAC JAVA ZELT_JAR SOURCE_DIR WORK_DIR
set -eu
vorlith=$(realpath "$1") javac=$2 java=$3 jar=$(realpath "$4") src=$(realpath "$5") work=$6

rm -rf "$work"
for mode in plain preprocessed tree; do
  dir=$work/$mode
  mkdir -p "$dir/gen" "$dir/classes"
  options=() gen=$dir/gen
  [ "$mode" = preprocessed ] && options=(-p)
  [ "$mode" = tree ] && options=(--quiet --output-dir "$dir/gen") gen=$dir/gen/com/example/kv
  if ! (cd "$dir/gen" && "$vorlith" "${options[@]}" "$src/kv.x") >"$dir/vorlith.out" 2>"$dir/vorlith.err"; then
    echo "$mode: vorlith failed:"; cat "$dir/vorlith.err"; exit 1
  fi
  if [ "$mode" = tree ] && [ -s "$dir/vorlith.out" -o -s "$dir/vorlith.err" ]; then
    echo "$mode: --quiet printed:"; cat "$dir/vorlith.out" "$dir/vorlith.err"; exit 1
  fi
  for file in "$gen"/*.java; do
    if ! grep -qx 'package com.example.kv;' "$file"; then
      echo "$mode: $(basename "$file") is not in the package com.example.kv"; exit 1
    fi
  done
  # In the package's folders the sources need not be named: javac finds
  # what UseKv uses on the source path.
  sources=("$gen"/*.java)
  [ "$mode" = tree ] && sources=(-sourcepath "$dir/gen")
  out=$("$javac" -Xlint:all -cp "$jar" -d "$dir/classes" "${sources[@]}" "$src"/app/UseKv.java 2>&1) || {
    echo "$mode: javac failed:"; echo "$out"; exit 1; }
  [ -z "$out" ] || { echo "$mode: javac reported:"; echo "$out"; exit 1; }
  [ -f "$dir/classes/com/example/kv/entry.class" ] || { echo "$mode: no class in com/example/kv"; exit 1; }
  result=$(timeout 60 "$java" -cp "$dir/classes:$jar" app.UseKv) || { echo "$mode: UseKv failed"; exit 1; }
  [ "$result" = ok ] || { echo "$mode: UseKv printed: $result"; exit 1; }
  echo "$mode: ok"
done
