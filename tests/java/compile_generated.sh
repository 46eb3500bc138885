#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# Runs vorlith on an interface in a scratch folder and compiles every Java
# file it writes against the runtime's jar. Fails when vorlith fails or
# reports anything beyond its banner, when the files written differ from the
# expected list, or when javac reports anything at all (warnings included).
# With OPTION (--idiomatic) vorlith gets it.
# Usage: compile_generated.sh VORLITH JAVAC ZELT_JAR WORK_DIR INTERFACE EXPECTED_FILES [OPTION]
set -eu
vorlith=$1 javac=$2 jar=$3 work=$4 input=$5 expected=$6 option=${7:-}

rm -rf "$work"
mkdir -p "$work/gen" "$work/classes"
cd "$work/gen"

status=0
"$vorlith" ${option:+"$option"} "$input" >"$work/stdout" 2>"$work/stderr" || status=$?
if [ "$status" -ne 0 ]; then
    echo "vorlith failed with status $status:"
    cat "$work/stderr"
    exit 1
fi
# The first two lines are the banner; anything after them is a diagnostic.
if [ -n "$(tail -n +3 "$work/stderr")" ]; then
    echo "vorlith reported:"
    cat "$work/stderr"
    exit 1
fi

# Every file named in the pass summaries must exist.
sed -n 's/^ \{0,1\}\t\(.*\)$/\1/p' "$work/stdout" >"$work/listed"
while read -r listed; do
    if [ ! -f "$listed" ]; then
        echo "listed but not written: $listed"
        exit 1
    fi
done <"$work/listed"

ls -1 -- *.java | LC_ALL=C sort >"$work/written"
if ! LC_ALL=C sort "$expected" | diff -u - "$work/written"; then
    echo "the files written (+) differ from those expected (-)"
    exit 1
fi

status=0
out=$("$javac" -Xlint:all -cp "$jar" -d "$work/classes" ./*.java 2>&1) || status=$?
if [ "$status" -ne 0 ] || [ -n "$out" ]; then
    echo "javac (status $status) on the files in $work/gen:"
    echo "$out"
    exit 1
fi
echo "compiled $(wc -l <"$work/written") generated files"
