#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# The decode benchmark: a directory listing of ENTRIES entries with
# attributes and a read reply of READ_BYTES bytes, decoded by the default
# output, the idiomatic output and hand-written C routines on libtirpc.
# See bench/README.md.
#
#   run.sh BUILD_DIR [ENTRIES READ_BYTES WARMUP_MS ROUND_MS ROUNDS]
set -eu
build=$(realpath "$1")
entries=${2:-1000} read_bytes=${3:-1048576} warmup=${4:-4000} round=${5:-500} rounds=${6:-11}
here=$(cd "$(dirname "$0")" && pwd)
vorlith=$build/generator/vorlith
jar=$build/runtime/java/kelvaro-zelt.jar
decode_c=$build/bench/decode/bench_decode_c
work=$build/bench/decode/work
rm -rf "$work"
mkdir -p "$work/classes" "$work/data"
# Without a program the default output reports each bound it writes as a
# number ("Internal error: ..."), which changes nothing here.
"$vorlith" --quiet --package dd --output-dir "$work/gen" "$here/decode.x" 2>/dev/null
"$vorlith" --quiet --idiomatic --package di --output-dir "$work/gen" "$here/decode.x"
javac -Xlint:all -Werror -cp "$jar" -d "$work/classes" $(find "$work/gen" -name '*.java') "$here/java/DecodeBench.java"
"$decode_c" write "$work/data" "$entries" "$read_bytes"
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
java -Xss64m -cp "$work/classes:$jar" DecodeBench "$work/data" "$decode_c" "$warmup" "$round" "$rounds"
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
