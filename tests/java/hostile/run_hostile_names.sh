#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# Generates COUNT valid inputs with hostile names (seeded: the same inputs
# every run), runs vorlith on each and compiles what it wrote, folder by
# folder, in one JVM.
# With OPTION (--idiomatic) every run of vorlith gets it, and each folder is
# also documented with javadoc -Xdoclint:all, which must report nothing.
# Usage: run_hostile_names.sh PYTHON3 VORLITH JAVAC JAVA ZELT_JAR SRC_DIR WORK_DIR COUNT SEED [OPTION]
set -eu
python=$1 vorlith=$2 javac=$3 java=$4 jar=$5 src=$6 work=$7 count=$8 seed=$9
option=${10:-}

rm -rf "$work"
mkdir -p "$work/inputs" "$work/tool"
"$javac" -Xlint:all -d "$work/tool" "$src/BatchCompile.java"
# shellcheck disable=SC2086
"$python" "$src/hostile_names.py" "$vorlith" "$work/inputs" "$count" "$seed" $option >"$work/vorlith.log" || {
    grep -v '^/' "$work/vorlith.log"
    exit 1
}
folders=$(find "$work/inputs" -mindepth 1 -maxdepth 1 -type d ! -name '*.rejected' | LC_ALL=C sort)
rejected=$(find "$work/inputs" -mindepth 1 -maxdepth 1 -type d -name '*.rejected' | wc -l)
echo "$rejected inputs rejected for names that meet (by design)"
# shellcheck disable=SC2086
"$java" -cp "$work/tool" BatchCompile ${option:+-javadoc} "$jar" $folders
