#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# The RPC benchmark: calls per second over loopback TCP and UDP, the Java
# code that vorlith writes (on the kelvaro.ZELT jar) against libtirpc's C
# client and server.
#
#   bench/rpc/run.sh [-b BUILD] [-j JAR] [-r ROUNDS] [-t SECONDS]
#                    [-w SECONDS] [-W SECONDS] [-q]
#   bench/rpc/run.sh [-b BUILD] [-j JAR] -S SECONDS
#
#   -b  build folder holding bench/rpc (default: build in the repository root)
#   -j  the runtime's jar (default: BUILD/runtime/java/kelvaro-zelt.jar)
#   -r  rounds (default 5); the table shows each contender's median
#   -t  timed seconds of each run (default 5)
#   -w  warm-up seconds of each Java client run, in its own fresh JVM
#       (default 20); a C client warms up for 1 s
#   -W  warm-up seconds of the Java server, once, before the first round,
#       for each kind of call (default 30)
#   -q  quick check of the pieces (1 round, runs of 0.3 s, short warm-ups):
#       the figures mean nothing
#   -S  instead: start a fresh Java server and watch it settle, printing the
#       C client's calls per second every second for SECONDS, small calls
#       and then 64 KiB echoes, and when in each phase the JIT last compiled
#       a method of the serving path with its optimising compiler
#
# Contenders, one run at a time, each round in a rotated order: the small
# call (int in, int out) over TCP and over UDP, the 64 KiB and the 1 MiB
# opaque echo, each as Java client -> C server, C client -> C server and
# C client -> Java server; 16 C client processes against the Java server
# and against the C server; 16 Java threads sharing one client object and
# one Java thread, against the Java server. Every run checks every reply
# and that the server counted exactly the calls made; any failure stops
# the benchmark with status 1.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
build="$here/../../build"
jar=""
rounds=5
seconds=5
client_warmup=20
server_warmup=30
settle=""
quick=""
size=65536
mib=1048576

while getopts "b:j:r:t:w:W:S:qh" opt; do
  case $opt in
    b) build=$OPTARG ;;
    j) jar=$OPTARG ;;
    r) rounds=$OPTARG ;;
    t) seconds=$OPTARG ;;
    w) client_warmup=$OPTARG ;;
    W) server_warmup=$OPTARG ;;
    S) settle=$OPTARG ;;
    q) quick=1 ;;
    *) sed -n '2,33p' "$0"; exit 2 ;;
  esac
done
if [ -n "$quick" ]; then
  rounds=1 seconds=0.3 client_warmup=0.2 server_warmup=0.3
fi

build=$(cd "$build" && pwd)
[ -n "$jar" ] || jar="$build/runtime/java/kelvaro-zelt.jar"
svc="$build/bench/rpc/bench_rpc_svc"
cln="$build/bench/rpc/bench_rpc_cln"
classes="$build/bench/rpc/classes"
for f in "$svc" "$cln" "$classes/BenchClient.class" "$classes/BenchServer.class" "$jar"; do
  [ -e "$f" ] || { echo "run.sh: $f is missing; build the folder first" >&2; exit 1; }
done
cp="$jar:$classes"

. "$here/scratch.sh"
scratch vorlith-bench-rpc
trap 'exit 130' INT TERM

# The server lives no longer than the benchmark could.
lifetime=7200
jserver() { start_server "$1" java -cp "$cp" BenchServer -l "$lifetime"; }
cserver() { start_server "$1" "$svc" -l "$lifetime"; }

# Runs one client; its report line goes to $work/last. A failed run ends
# the benchmark.
run_client() {
  if ! "$@" >"$work/last" 2>"$work/last.err"; then
    echo "run.sh: a run failed: $*" >&2
    cat "$work/last.err" "$work/last" >&2
    exit 1
  fi
}
# The value of KEY=VALUE in the last report, or NA.
field() {
  local v
  v=$(sed -n "s/.*\<$1=\([^ ]*\).*/\1/p" "$work/last" | tail -n 1)
  echo "${v:-NA}"
}

if [ -n "$settle" ]; then
  # The server logs what the JIT compiles (milliseconds of JVM uptime,
  # tier 4 being the optimising compiler); jcmd tells the uptime at which
  # each phase begins.
  start_server settle java -XX:+PrintCompilation -cp "$cp" BenchServer -l "$lifetime"
  uptime_ms() { jcmd "$settle_pid" VM.uptime | awk '/^[0-9.]+ s$/ { printf "%d\n", $1 * 1000 }'; }
  echo "A fresh Java server, the C client's calls per second, second by second" \
       "(load average at start: $(cut -d ' ' -f 1-3 /proc/loadavg))"
  for mode in int blob; do
    echo "## $mode"
    t0=$(uptime_ms)
    run_client "$cln" -p "$settle_port" -m "$mode" -s "$size" -w 0 -t "$settle" -i 1
    grep '^interval' "$work/last"
    # The last optimised compile of the serving path (runtime, generated
    # and benchmark classes) during this phase.
    awk -v t0="$t0" '$1 ~ /^[0-9]+$/ && $1 >= t0 && / 4 +(kelvaro|Bench|BENCH_|blob|bench_stats)/ && !/made (not entrant|zombie)/ { last = $0 }
      END { if (last != "") { split(last, f, " "); printf "last optimised compile of the serving path: %.1f s into the phase:%s\n", (f[1] - t0) / 1000, substr(last, index(last, f[2]) + length(f[2])) }
            else print "no optimised compile of the serving path in this phase" }' "$work/settle.out"
  done
  echo "load average at end: $(cut -d ' ' -f 1-3 /proc/loadavg)"
  exit 0
fi

cserver c
jserver j
jcl() { echo java -cp "$cp" BenchClient -t "$seconds" -w "$client_warmup" "$@"; }
ccl() { echo "$cln" -t "$seconds" -w "$(awk -v w="$client_warmup" 'BEGIN { print (w < 1 ? w : 1) }')" "$@"; }

# name|command; the results of contender NAME go to $work/r.NAME.
contenders=(
  "int_J_C|$(jcl -p "$c_port" -m int)"
  "int_C_C|$(ccl -p "$c_port" -m int)"
  "int_C_J|$(ccl -p "$j_port" -m int)"
  "blob_J_C|$(jcl -p "$c_port" -m blob -s $size)"
  "blob_C_C|$(ccl -p "$c_port" -m blob -s $size)"
  "blob_C_J|$(ccl -p "$j_port" -m blob -s $size)"
  "mib_J_C|$(jcl -p "$c_port" -m blob -s $mib)"
  "mib_C_C|$(ccl -p "$c_port" -m blob -s $mib)"
  "mib_C_J|$(ccl -p "$j_port" -m blob -s $mib)"
  "udp_J_C|$(jcl -u "$c_udp" -m int)"
  "udp_C_C|$(ccl -p "$c_port" -u "$c_udp" -m int)"
  "udp_C_J|$(ccl -p "$j_port" -u "$j_udp" -m int)"
  "par_C_J|$(ccl -p "$j_port" -m int -c 16)"
  "par_C_C|$(ccl -p "$c_port" -m int -c 16)"
  "thr16_J_J|$(jcl -p "$j_port" -m int -n 16)"
  "thr1_J_J|$(jcl -p "$j_port" -m int -n 1)"
)

commit=$(git -C "$here/../.." rev-parse --short HEAD 2>/dev/null || echo unknown)
echo "RPC benchmark: sources at $commit, $(nproc) cores, $rounds rounds of $seconds s runs," \
     "Java client warm-up $client_warmup s per run, Java server warm-up $server_warmup s;" \
     "load average at start: $(cut -d ' ' -f 1-3 /proc/loadavg)"
"$(dirname "$(readlink -f "$(command -v java)")")/java" -version 2>&1 | head -n 1

# The Java server's warm-up: each kind of call for the given time.
run_client "$cln" -p "$j_port" -m int -w 0 -t "$server_warmup"
run_client "$cln" -p "$j_port" -m blob -s $size -w 0 -t "$server_warmup"
run_client "$cln" -p "$j_port" -m blob -s $mib -w 0 -t "$server_warmup"
run_client "$cln" -p "$j_port" -u "$j_udp" -m int -w 0 -t "$server_warmup"
run_client "$cln" -p "$j_port" -m int -c 16 -w 0 -t "$server_warmup"

n=${#contenders[@]}
loads=""
for ((r = 0; r < rounds; r++)); do
  for ((k = 0; k < n; k++)); do
    entry=${contenders[$(((k + r) % n))]}
    name=${entry%%|*}
    # shellcheck disable=SC2086
    run_client ${entry#*|}
    echo "$(field calls_per_s) $(field caller_alloc_per_call) $(field client_alloc_per_call) $(field server_alloc_per_call)" \
      >>"$work/r.$name"
  done
  loads="$loads $(cut -d ' ' -f 1 /proc/loadavg)"
done

# median NAME COLUMN
median() {
  awk -v c="$2" '{ print $c }' "$work/r.$1" | sort -g |
    awk '{ a[NR] = $1 } END { if (NR % 2) print a[(NR + 1) / 2]; else print (a[NR / 2] + a[NR / 2 + 1]) / 2 }'
}
calc() { awk "BEGIN { printf \"$1\", $2 }"; }
all() { awk '{ printf "%s%.0f", (NR > 1 ? " " : ""), $1 }' "$work/r.$1"; }

echo
echo "| measure | Java calls/s | C calls/s | ratio | target |"
echo "|---|---:|---:|---:|---|"
row() { # TITLE JAVA C TARGET_RATIO
  local j c
  j=$(median "$2" 1)
  c=$(median "$3" 1)
  printf '| %s | %.0f | %.0f | %s | >= %s |\n' "$1" "$j" "$c" "$(calc %.2f "$j / $c")" "$4"
}
row "small call, Java client vs C client (C server)" int_J_C int_C_C 1.0
row "small call, Java server vs C server (C client)" int_C_J int_C_C 1.0
row "64 KiB echo, Java client vs C client (C server)" blob_J_C blob_C_C 0.9
row "64 KiB echo, Java server vs C server (C client)" blob_C_J blob_C_C 0.9
row "1 MiB echo, Java client vs C client (C server)" mib_J_C mib_C_C 0.9
row "1 MiB echo, Java server vs C server (C client)" mib_C_J mib_C_C 0.9
row "UDP small call, Java client vs C client (C server)" udp_J_C udp_C_C 1.0
row "UDP small call, Java server vs C server (C client)" udp_C_J udp_C_C 1.0
row "16 C clients, Java server vs C server" par_C_J par_C_C 1.0
t16=$(median thr16_J_J 1)
t1=$(median thr1_J_J 1)
printf '| %s | %.0f | %.0f (1 thread) | %s | clearly > 1 |\n' \
  "16 Java threads, one client object (Java server)" "$t16" "$t1" "$(calc %.2f "$t16 / $t1")"

echo
echo "Allocation per call on the Java side, bytes (medians; the echoes also as a multiple of the payload):"
echo "| call | client: calling thread | client: whole JVM | server: its threads |"
echo "|---|---:|---:|---:|"
for kind in int blob mib udp; do
  cc=$(median "${kind}_J_C" 2)
  cj=$(median "${kind}_J_C" 3)
  sv=$(median "${kind}_C_J" 4)
  case $kind in
    blob|mib)
      if [ "$kind" = blob ]; then title="64 KiB echo" n=$size; else title="1 MiB echo" n=$mib; fi
      printf '| %s | %.0f (%.2fx) | %.0f (%.2fx) | %.0f (%.2fx) |\n' "$title" \
        "$cc" "$(calc %.4f "$cc / $n")" "$cj" "$(calc %.4f "$cj / $n")" "$sv" "$(calc %.4f "$sv / $n")" ;;
    int) printf '| small call | %.0f | %.0f | %.0f |\n' "$cc" "$cj" "$sv" ;;
    udp) printf '| UDP small call | %.0f | %.0f | %.0f |\n' "$cc" "$cj" "$sv" ;;
  esac
done

echo
echo "Every round's calls/s, in the order run (contenders rotate each round):"
for entry in "${contenders[@]}"; do
  name=${entry%%|*}
  printf '  %-10s %s\n' "$name" "$(all "$name")"
done
echo "Every round's allocation per call, bytes (client: calling thread / whole JVM; server: its threads):"
rounds_of() { awk -v a="$2" -v b="$3" '{ printf "%s%s", (NR > 1 ? " " : ""), $a; if (b) printf "/%s", $b }' "$work/r.$1"; }
printf '  %-10s %s\n' int_J_C "$(rounds_of int_J_C 2 3)" blob_J_C "$(rounds_of blob_J_C 2 3)" \
  mib_J_C "$(rounds_of mib_J_C 2 3)" udp_J_C "$(rounds_of udp_J_C 2 3)" \
  int_C_J "$(rounds_of int_C_J 4 0)" blob_C_J "$(rounds_of blob_C_J 4 0)" \
  mib_C_J "$(rounds_of mib_C_J 4 0)" udp_C_J "$(rounds_of udp_C_J 4 0)"
echo "load average (1 min) after each round:$loads; at end: $(cut -d ' ' -f 1-3 /proc/loadavg)"
