#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# Compiles or runs the runtime's JUnit tests.
#   run_junit.sh compile JAVAC ZELT_JAR JUNIT_JAR SOURCE_DIR GEO_DIR CLASS_DIR
#     compiles the tests (and the geo classes in generated form) against the
#     runtime's jar; any compiler message fails.
#   run_junit.sh run JAVA ZELT_JAR JUNIT_JAR CLASS_DIR TEST_CLASS...
#     runs the test classes with the JUnit console launcher; fails when a
#     test fails or none ran.
set -eu
mode=$1
shift
case $mode in
  compile)
    javac=$1 jar=$2 junit=$3 src=$4 geo=$5 classes=$6
    rm -rf "$classes"
    mkdir -p "$classes"
    out=$("$javac" -Xlint:all -Xlint:-processing -Werror -encoding UTF-8 -cp "$jar:$junit" -d "$classes" \
          "$geo"/*.java "$src"/*.java $(find "$src/kelvaro" -name '*.java') 2>&1) || { echo "$out"; exit 1; }
    if [ -n "$out" ]; then echo "$out"; exit 1; fi
    ;;
  run)
    java=$1 jar=$2 junit=$3 classes=$4
    shift 4
    selectors=()
    for c in "$@"; do selectors+=(--select-class "$c"); done
    # The runtime's classes first: the tests of package-private classes share their package.
    exec "$java" -jar "$junit" --disable-banner --fail-if-no-tests --details=tree \
      --class-path "$jar:$classes" "${selectors[@]}"
    ;;
  *)
    echo "usage: $0 compile|run ..." >&2
    exit 2
    ;;
esac
