#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# Compiles or runs the RPCSEC_GSS JUnit tests.
#   run_java.sh compile JAVAC ZELT_JAR JUNIT_JAR SOURCE_DIR CLASS_DIR
#   run_java.sh run JAVA ZELT_JAR JUNIT_JAR CLASS_DIR REALM_DIR TEST_CLASS...
# The run sources the realm's variables and points the JDK at its krb5.conf.
set -eu
mode=$1
shift
case $mode in
  compile)
    javac=$1 jar=$2 junit=$3 src=$4 classes=$5
    rm -rf "$classes"
    mkdir -p "$classes"
    out=$("$javac" -Xlint:all -Xlint:-processing -Werror -encoding UTF-8 -cp "$jar:$junit" -d "$classes" \
          $(find "$src" -name '*.java') 2>&1) || { echo "$out"; exit 1; }
    if [ -n "$out" ]; then echo "$out"; exit 1; fi
    ;;
  run)
    java=$1 jar=$2 junit=$3 classes=$4 realm=$5
    shift 5
    # shellcheck disable=SC1091
    . "$realm/env"
    selectors=()
    for c in "$@"; do selectors+=(--select-class "$c"); done
    exec "$java" -Djava.security.krb5.conf="$KRB5_CONFIG" -Xmx512m -jar "$junit" --disable-banner \
      --fail-if-no-tests --details=tree --class-path "$jar:$classes" "${selectors[@]}"
    ;;
  *)
    echo "usage: $0 compile|run ..." >&2
    exit 2
    ;;
esac
