#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# Writes both outputs of each interface into packages of their own and
# compares the bytes they encode for the same values (CrossMode), type by
# type: every struct, union and enum of the idiomatic output against the
# default output's class of the same type.
# Usage: run_crossmode.sh VORLITH JAVAC JAVA ZELT_JAR SRC_DIR WORK_DIR TRIES INTERFACE...
set -eu
vorlith=$1 javac=$2 java=$3 jar=$4 src=$5 work=$6 tries=$7
shift 7
rm -rf "$work"
status=0
for input in "$@"; do
    name=$(basename "$input" .x)
    dir=$work/$name
    mkdir -p "$dir/classes"
    "$vorlith" --quiet --idiomatic --package cm.i --output-dir "$dir/gen" "$input"
    "$vorlith" --quiet --package cm.d --output-dir "$dir/gen" "$input"
    "$javac" -Xlint:all -Werror -cp "$jar" -d "$dir/classes" $(find "$dir/gen" -name '*.java') "$src/CrossMode.java"
    # Each idiomatic type and the name the input gives it, from the first
    # line of its Javadoc.
    pairs=()
    for file in "$dir"/gen/cm/i/*.java; do
        kind=$(sed -n '3,12s/^ \* \(Struct\|Union\|Enum\) {@code \([A-Za-z0-9_]*\)}.*/\1 \2/p' "$file" | head -n 1)
        [ -n "$kind" ] || continue
        pairs+=("$(basename "$file" .java)=${kind#* }")
    done
    echo "== $name: ${#pairs[@]} types"
    "$java" -cp "$dir/classes:$jar" CrossMode cm.i cm.d "$tries" 3 "${pairs[@]}" || status=1
    # What the idiomatic output promises, on the interface written for it.
    if [ "$name" = every_shape ]; then
        "$javac" -Xlint:all -Werror -cp "$dir/classes:$jar" -d "$dir/classes" "$src/Behaviour.java"
        "$java" -cp "$dir/classes:$jar" Behaviour || status=1
    fi
done
exit $status
