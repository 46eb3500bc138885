#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# Writes large.x in both outputs, compiles them with LargeEcho and runs it:
# large opaque data echoed between every pairing of the two outputs.
# Usage: run_large.sh VORLITH JAVAC JAVA ZELT_JAR SRC_DIR WORK_DIR
set -eu
vorlith=$1 javac=$2 java=$3 jar=$4 src=$5 work=$6
rm -rf "$work"
mkdir -p "$work/classes"
"$vorlith" --quiet --package gd --output-dir "$work/gen" "$src/large.x"
"$vorlith" --quiet --idiomatic --package gi --output-dir "$work/gen" "$src/large.x"
"$javac" -Xlint:all -Werror -cp "$jar" -d "$work/classes" $(find "$work/gen" -name '*.java') "$src/LargeEcho.java"
exec "$java" -cp "$work/classes:$jar" LargeEcho
