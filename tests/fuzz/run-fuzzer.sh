#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# Builds the clang fuzz build of vorlith in build-fuzz and runs the fuzzer.
#
#   run-fuzzer.sh SECONDS       fuzz for that many seconds
#   run-fuzzer.sh --runs N      fuzz for N inputs, for 100 seconds at most
#
# The fuzzer starts from the seed corpus in tests/fuzz/corpus and the inputs
# of the end-to-end cases (both read only) and keeps what it finds in
# build-fuzz/corpus. A crash is written to
# build-fuzz/artifacts/ and ends the run with a non-zero status; such an
# input belongs in tests/fuzz/corpus once the bug is fixed.
set -eu

usage() {
  echo "usage: $0 SECONDS | --runs N" >&2
  exit 2
}

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build="$root/build-fuzz"

limit=()
case "${1:-}" in
  --runs)
    [[ "${2:-}" =~ ^[0-9]+$ ]] || usage
    # A bounded run must stay bounded even if inputs turn slow.
    limit=(-runs="$2" -max_total_time=100)
    ;;
  *)
    [[ "${1:-}" =~ ^[0-9]+$ ]] || usage
    limit=(-max_total_time="$1")
    ;;
esac

for tool in clang clang++; do
  command -v "$tool" > /dev/null || { echo "$0: $tool not found (Debian packages clang, libclang-rt-14-dev)" >&2; exit 1; }
done

if [ ! -f "$build/CMakeCache.txt" ]; then
  mkdir -p "$build"
  cmake -S "$here" -B "$build" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo > "$build/configure.log" 2>&1 || {
    cat "$build/configure.log" >&2; exit 1; }
fi
cmake --build "$build" --target vorlith_fuzz -j "$(nproc 2>/dev/null || echo 2)"

mkdir -p "$build/corpus" "$build/artifacts" "$build/tmp"
# The end-to-end inputs, copied flat into one folder: the fuzzer would read
# every file of the case folders, expectations included.
seeds="$build/e2e-seeds"
rm -rf "$seeds"
mkdir -p "$seeds"
find "$root/tests/e2e/cases" "$root/tests/e2e/inputs" -name expected -prune -o -type f -name '*.x' -print0 |
  while IFS= read -r -d '' f; do
    rel=${f#"$root/tests/e2e/"}
    cp "$f" "$seeds/${rel//\//_}"
  done
# The target's scratch folders go below build-fuzz, never into the tree.
export TMPDIR="$build/tmp"
cd "$build"
status=0
./vorlith_fuzz "${limit[@]}" -max_len=4096 -timeout=25 -rss_limit_mb=4096 -print_final_stats=1 \
  -dict="$here/vorlith.dict" -artifact_prefix="$build/artifacts/" \
  "$build/corpus" "$here/corpus" "$seeds" || status=$?
if [ "$status" != 0 ]; then
  echo "$0: the fuzzer found a failure (status $status); inputs in $build/artifacts/" >&2
  exit 1
fi
