#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# Untimed check of the benchmark's pieces on a small generated input:
#   smoke.sh VORLITH BENCH_GEN BENCH_FLOOR BENCH_MEASURE BENCH_PASSES
# - the generator is deterministic for a seed;
# - vorlith accepts the input (status 0, no diagnostics) and writes exactly
#   the number of files the generator announces, and lists all but the
#   interface files on standard output;
# - the timer reports a status and a peak memory, and passes a failure on;
# - the floor, given a capture of that run, writes the same files with the
#   same bytes;
# - the pass timer scans and parses the whole input.
set -eu
vorlith=$(readlink -f "$1")
gen=$(readlink -f "$2")
floor=$(readlink -f "$3")
measure=$(readlink -f "$4")
passes=$(readlink -f "$5")

work=$(mktemp -d "${TMPDIR:-/tmp}/vorlith-bench-smoke.XXXXXX")
trap 'rm -rf "$work"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }
field() { sed -n "s/.*\<$1=\([^ ]*\).*/\1/p" "$2" | head -n 1; }

# 1. Deterministic input.
"$gen" --defs 150 --seed 7 -o "$work/in.x" 2> "$work/gen.stats"
"$gen" --defs 150 --seed 7 2> /dev/null | cmp -s - "$work/in.x" || fail "same seed gave different inputs"
"$gen" --defs 150 --seed 8 2> /dev/null | cmp -s - "$work/in.x" && fail "another seed gave the same input"
expected=$(field expected_files "$work/gen.stats")
versions=$(field versions "$work/gen.stats")
[ "${expected:-0}" -gt 100 ] || fail "generator announced ${expected:-no} files"

# 2. vorlith on it, under the timer.
mkdir "$work/ref"
"$measure" -t 120 -C "$work/ref" -o "$work/m" -- "$vorlith" "$work/in.x" > "$work/stdout" 2> "$work/stderr" \
  || fail "vorlith exited with $? : $(tail -n 3 "$work/stderr")"
grep -Eq '^wall_s=[0-9]+\.[0-9]+ cpu_s=[0-9]+\.[0-9]+ maxrss_kb=[1-9][0-9]* status=0$' "$work/m" || fail "timer report: $(cat "$work/m")"
# Only the two banner lines: any diagnostic means the input is not clean.
[ "$(wc -l < "$work/stderr")" -eq 2 ] || fail "vorlith printed diagnostics: $(sed -n '3,6p' "$work/stderr")"
files=$(find "$work/ref" -type f | wc -l)
[ "$files" -eq "$expected" ] || fail "vorlith wrote $files files, the generator announced $expected"
listed=$(grep -c "$(printf '\t')[^ ]*\.java$" "$work/stdout" || true)
[ "$listed" -eq $(( expected - versions )) ] || fail "stdout lists $listed files, expected $(( expected - versions ))"
# Every file starts with the fixed header and the "%" block of the input.
for f in "$work"/ref/*.java; do
  sed -n '4p' "$f" | grep -qx '/\*' || fail "$(basename "$f") lacks the pass-through block"
done

# 3. The timer passes a failure on.
"$measure" -o "$work/m2" -- false && fail "timer hid a failing status"
grep -q 'status=1$' "$work/m2" || fail "timer report for false: $(cat "$work/m2")"

# 4. The floor reproduces the run byte for byte.
"$floor" pack "$work/ref" "$work/capture" 2> /dev/null
mkdir "$work/floor"
"$floor" run "$work/capture" "$work/in.x" "$work/floor" 2> "$work/floor.err" || fail "floor: $(cat "$work/floor.err")"
diff -r "$work/ref" "$work/floor" > "$work/diff" || fail "floor output differs: $(head -n 5 "$work/diff")"
[ "$(field files "$work/floor.err")" -eq "$expected" ] || fail "floor report: $(cat "$work/floor.err")"
[ "$(field input_read "$work/floor.err")" -eq $(( 5 * $(stat -c %s "$work/in.x") )) ] \
  || fail "floor did not read the input five times: $(cat "$work/floor.err")"
"$floor" run "$work/in.x" "$work/in.x" "$work/floor" 2> /dev/null && fail "floor accepted a non-capture file"

# 5. The pass timer reads every definition, and more tokens than that.
"$passes" "$work/in.x" 2 > "$work/passes" || fail "bench_passes failed"
defs=$(field defs "$work/gen.stats")
grep -qx "definitions=$defs best_ms=[0-9.]*" "$work/passes" || fail "pass timer: $(cat "$work/passes")"
tokens=$(sed -n 's/^tokens=\([0-9]*\) .*/\1/p' "$work/passes")
[ "${tokens:-0}" -gt $(( 10 * defs )) ] || fail "pass timer counted ${tokens:-no} tokens"

echo "bench smoke: $files files, floor identical"
