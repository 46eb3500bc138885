#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# Speed and memory benchmark of vorlith, compared with the floor program.
#
#   bench/run.sh [-b BUILD] [-s "5000 10000 20000"] [-r REPS] [-w WORKPARENT]
#
#   -b  build folder holding generator/vorlith and bench/bench_* (default:
#       build-bench in the repository root)
#   -s  scales, in definitions; the first and the last give the growth figure
#   -r  timed repetitions per program and scale (median reported; default 5)
#   -w  where the scratch folder goes (default /dev/shm, a tmpfs: see README)
#
# For every scale: generate the input, run vorlith once to capture the files
# it writes, pack them for the floor, run each program once to warm up, then
# REPS times each, alternating, every run into a new empty folder.  Prints a
# Markdown table, the growth figure, the example timing and a verdict per
# target.  Exits 0 whether or not the targets are met; 1 on a broken run.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
build="$here/../build-bench"
scales="5000 10000 20000"
reps=5
work_parent=/dev/shm

while getopts "b:s:r:w:h" opt; do
  case $opt in
    b) build=$OPTARG ;;
    s) scales=$OPTARG ;;
    r) reps=$OPTARG ;;
    w) work_parent=$OPTARG ;;
    *) sed -n '2,16p' "$0"; exit 2 ;;
  esac
done

build=$(cd "$build" && pwd)
vorlith="$build/generator/vorlith"
gen="$build/bench/bench_gen"
floor="$build/bench/bench_floor"
measure="$build/bench/bench_measure"
for p in "$vorlith" "$gen" "$floor" "$measure"; do
  [ -x "$p" ] || { echo "run.sh: $p is missing; build the folder first" >&2; exit 1; }
done
case $reps in ''|*[!0-9]*|0) echo "run.sh: -r needs a positive number" >&2; exit 2 ;; esac

work=$(mktemp -d "$work_parent/vorlith-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
trap 'exit 130' INT TERM
fstype=$(stat -f -c %T "$work")
if [ "$fstype" != tmpfs ]; then
  echo "warning: $work is on $fstype, not tmpfs: file creation cost will dominate" >&2
fi

# Value of key=value in a file (first match).
field() { sed -n "s/.*\<$1=\([^ ]*\).*/\1/p" "$2" | head -n 1; }
# Median of the numbers on standard input.
median() { sort -g | awk '{ a[NR] = $1 } END { if (NR % 2) print a[(NR + 1) / 2]; else print (a[NR / 2] + a[NR / 2 + 1]) / 2 }'; }
calc() { awk "BEGIN { printf \"$1\\n\", $2 }"; }

# Runs vorlith on $1 in the empty folder $2 under the timer; report in $3.
run_vorlith() {
  "$measure" -t 600 -C "$2" -o "$3" -- "$vorlith" "$1" > "$work/stdout" 2> "$work/stderr" || {
    echo "run.sh: vorlith failed on $1 (status $?):" >&2
    tail -n 5 "$work/stderr" >&2
    exit 1
  }
}
# Runs the floor with capture $1 and input $2 in the empty folder $3;
# timer report in $4, the floor's own report in $5.
run_floor() {
  "$measure" -t 600 -C "$3" -o "$4" -- "$floor" run "$1" "$2" "$3" 2> "$5" || {
    echo "run.sh: bench_floor failed:" >&2
    cat "$5" >&2
    exit 1
  }
}
fresh() { rm -rf "$1"; mkdir "$1"; }

commit=$(git -C "$here/.." rev-parse --short HEAD 2> /dev/null || echo unknown)
echo "vorlith benchmark: sources at $commit, $(nproc) cores, scratch on $fstype, $reps runs each, medians;" \
     "load average at start: $(cut -d ' ' -f 1-3 /proc/loadavg)"
echo
echo "| definitions | input MB | files | output MB | vorlith wall s | MB/s | files/s | peak RSS MB | input + 16 MB | floor wall s | ratio | vorlith CPU s | floor CPU s | CPU ratio |"
echo "|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|"

first_v="" first_f="" first_cv="" first_cf="" last_scale="" first_scale=""
verdicts=""
for n in $scales; do
  input="$work/in_$n.x"
  "$gen" --defs "$n" -o "$input" 2> "$work/gen_$n.stats"
  input_bytes=$(stat -c %s "$input")

  ref="$work/ref_$n"
  fresh "$ref"
  run_vorlith "$input" "$ref" "$work/m"
  files=$(find "$ref" -type f | wc -l)
  expected=$(field expected_files "$work/gen_$n.stats")
  if [ "$files" != "$expected" ]; then
    echo "run.sh: vorlith wrote $files files for $n definitions, expected $expected" >&2
    exit 1
  fi
  out_bytes=$(find "$ref" -type f -printf '%s\n' | awk '{ s += $1 } END { print s + 0 }')
  capture="$work/capture_$n"
  "$floor" pack "$ref" "$capture" 2> /dev/null
  rm -rf "$ref"

  out="$work/out"
  # Warm-up: page cache, allocator, CPU frequency.
  fresh "$out"; run_vorlith "$input" "$out" "$work/m"
  fresh "$out"; run_floor "$capture" "$input" "$out" "$work/m" "$work/f"

  : > "$work/v_times"; : > "$work/v_cpu"; : > "$work/v_rss"; : > "$work/f_times"; : > "$work/f_cpu"
  for _ in $(seq "$reps"); do
    fresh "$out"
    run_vorlith "$input" "$out" "$work/m"
    field wall_s "$work/m" >> "$work/v_times"
    field cpu_s "$work/m" >> "$work/v_cpu"
    field maxrss_kb "$work/m" >> "$work/v_rss"

    fresh "$out"
    run_floor "$capture" "$input" "$out" "$work/m" "$work/f"
    calc "%.6f" "$(field wall_s "$work/m") - $(field load_s "$work/f")" >> "$work/f_times"
    calc "%.6f" "$(field cpu_s "$work/m") - $(field load_cpu_s "$work/f")" >> "$work/f_cpu"
  done
  # The floor's files must be vorlith's, byte for byte.
  fresh "$work/check"
  run_vorlith "$input" "$work/check" "$work/m"
  diff -r -q "$work/check" "$out" > /dev/null || { echo "run.sh: floor output differs from vorlith's" >&2; exit 1; }
  rm -rf "$work/check" "$out" "$capture"

  tv=$(median < "$work/v_times")
  tf=$(median < "$work/f_times")
  cv=$(median < "$work/v_cpu")
  cf=$(median < "$work/f_cpu")
  rss_kb=$(sort -g "$work/v_rss" | tail -n 1)
  limit_kb=$(( input_bytes / 1024 + 16 * 1024 ))
  ratio=$(calc "%.2f" "$tv / $tf")
  printf '| %d | %.2f | %d | %.1f | %.4f | %.1f | %.0f | %.1f | %.1f | %.4f | %s | %.4f | %.4f | %.2f |\n' \
    "$n" "$(calc %.4f "$input_bytes / 1e6")" "$files" "$(calc %.4f "$out_bytes / 1e6")" \
    "$tv" "$(calc %.4f "$input_bytes / 1e6 / $tv")" "$(calc %.4f "$files / $tv")" \
    "$(calc %.4f "$rss_kb / 1024")" "$(calc %.4f "$limit_kb / 1024")" "$tf" "$ratio" \
    "$cv" "$cf" "$(calc %.4f "$cv / $cf")"

  if [ "$rss_kb" -le "$limit_kb" ]; then
    verdicts+="memory at $n: met (peak $((rss_kb / 1024)) MB <= $((limit_kb / 1024)) MB)"$'\n'
  else
    verdicts+="memory at $n: MISSED (peak $((rss_kb / 1024)) MB > $((limit_kb / 1024)) MB)"$'\n'
  fi
  if [ "$n" = 20000 ]; then
    if awk "BEGIN { exit !($tv / $tf <= 1.3) }"; then
      verdicts+="ratio to the floor at 20000: met ($ratio <= 1.3)"$'\n'
    else
      verdicts+="ratio to the floor at 20000: MISSED ($ratio > 1.3)"$'\n'
    fi
  fi
  [ -n "$first_v" ] || { first_v=$tv; first_f=$tf; first_cv=$cv; first_cf=$cf; first_scale=$n; }
  last_v=$tv; last_f=$tf; last_cv=$cv; last_cf=$cf; last_scale=$n
done

echo
if [ "$first_scale" != "$last_scale" ]; then
  gv=$(calc "%.3f" "$last_v / $first_v")
  gf=$(calc "%.3f" "$last_f / $first_f")
  growth=$(calc "%.3f" "($last_v / $first_v) / ($last_f / $first_f)")
  echo "growth $first_scale -> $last_scale, wall: vorlith x$gv, floor x$gf, vorlith/floor $growth"
  echo "growth $first_scale -> $last_scale, CPU:  vorlith x$(calc "%.3f" "$last_cv / $first_cv")," \
       "floor x$(calc "%.3f" "$last_cf / $first_cf")," \
       "vorlith/floor $(calc "%.3f" "($last_cv / $first_cv) / ($last_cf / $first_cf)")"
  if awk "BEGIN { exit !($growth <= 1.1) }"; then
    verdicts+="growth $first_scale -> $last_scale: met ($growth <= 1.1)"$'\n'
  else
    verdicts+="growth $first_scale -> $last_scale: MISSED ($growth > 1.1)"$'\n'
  fi
fi

example="$here/../examples/geo.x"
if [ -f "$example" ]; then
  : > "$work/e_times"
  for _ in $(seq 21); do
    fresh "$work/ex"
    run_vorlith "$(cd "$(dirname "$example")" && pwd)/geo.x" "$work/ex" "$work/m"
    field wall_s "$work/m" >> "$work/e_times"
  done
  te=$(median < "$work/e_times")
  echo "examples/geo.x: $(calc "%.2f" "$te * 1000") ms (median of 21), $(find "$work/ex" -type f | wc -l) files," \
       "peak RSS $(calc "%.1f" "$(field maxrss_kb "$work/m") / 1024") MB"
  if awk "BEGIN { exit !($te <= 0.005) }"; then
    verdicts+="examples/geo.x: met ($(calc "%.2f" "$te * 1000") ms <= 5 ms)"$'\n'
  else
    verdicts+="examples/geo.x: MISSED ($(calc "%.2f" "$te * 1000") ms > 5 ms)"$'\n'
  fi
else
  echo "examples/geo.x: not present, skipped"
fi

echo "load average at end: $(cut -d ' ' -f 1-3 /proc/loadavg)"
echo
echo "targets (wall time):"
printf '%s' "$verdicts" | sed 's/^/  /'
