#!/bin/bash
# Compiles the Java runtime together with its test programs and runs the
# programs named; any compiler message or failing program fails the test.
# Usage: run_selftest.sh JAVAC JAVA SOURCE_DIR WORK_DIR TEST_PROGRAM...
set -eu
javac=$1 java=$2 src=$3 work=$4
shift 4

rm -rf "$work"
mkdir -p "$work"
"$javac" -Xlint:all -Werror -d "$work" \
    "$src"/runtime/kelvaro/ZELT/*.java "$src"/selftest/geo/*.java "$src"/selftest/*.java

failed=0
for test in "$@"; do
    # The programs stop their own servers; the time limit only guards against a hang.
    if ! timeout 120 "$java" -cp "$work" "$test"; then
        echo "$test failed"
        failed=1
    fi
done
exit $failed
