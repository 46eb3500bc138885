#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# Size errors name the member that was set: vorlith writes the classes of
# sizes/sizes.x and of the key-value example, and sizes/SizeErrors.java
# calls a live server with arguments (and answers with results) over their
# declared sizes, checking each message.
#
#   size_errors.sh VORLITH JAVAC JAVA ZELT_JAR SOURCE_DIR KVSTORE_X WORK_DIR
set -eu
vorlith=$(realpath "$1") javac=$2 java=$3 jar=$(realpath "$4") src=$(realpath "$5") kvstore=$(realpath "$6") work=$7

rm -rf "$work"
mkdir -p "$work/gen" "$work/classes"
for input in "$src/sizes/sizes.x" "$kvstore"; do
  if ! (cd "$work/gen" && "$vorlith" "$input") >"$work/vorlith.out" 2>"$work/vorlith.err"; then
    echo "vorlith failed on $input:"; cat "$work/vorlith.err"; exit 1
  fi
done
"$javac" -Xlint:all -Werror -cp "$jar" -d "$work/classes" "$work"/gen/*.java "$src/sizes/SizeErrors.java"
timeout 120 "$java" -cp "$work/classes:$jar" SizeErrors
