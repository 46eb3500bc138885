#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# Compiles the test programs against the runtime's jar and runs the
# programs named; any compiler message or failing program fails the test.
# Usage: run_selftest.sh JAVAC JAVA ZELT_JAR SOURCE_DIR WORK_DIR TEST_PROGRAM...
set -eu
javac=$1 java=$2 jar=$3 src=$4 work=$5
shift 5

rm -rf "$work"
mkdir -p "$work"
"$javac" -Xlint:all -Werror -cp "$jar" -d "$work" "$src"/selftest/geo/*.java "$src"/selftest/*.java

failed=0
for test in "$@"; do
    # The programs stop their own servers; the time limit only guards against a hang.
    if ! timeout 120 "$java" -cp "$work:$jar" "$test"; then
        echo "$test failed"
        failed=1
    fi
done
exit $failed
