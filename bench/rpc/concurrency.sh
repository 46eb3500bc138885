#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# Calls in flight together: how the benchmark servers serve them
# (java/ConcurrencyBench.java), the Java server against the C server.
#
#   bench/rpc/concurrency.sh [-b BUILD] [-j JAR] [-t SECONDS] [-r ROUNDS]
#
#   -b  build folder holding bench/rpc (default: build in the repository root)
#   -j  the runtime's jar for the Java server and client (default: BUILD/runtime/java/kelvaro-zelt.jar)
#   -t  seconds of each timed throughput run (default 5; each warms up 2 s first)
#   -r  rounds (default 3)
#
# Each figure comes with the load average (1 min) taken just after it, and
# the async run with the thread counts of both processes at their highest.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
build="$here/../../build"
jar=""
seconds=5
rounds=3
while getopts "b:j:t:r:h" opt; do
  case $opt in
    b) build=$OPTARG ;;
    j) jar=$OPTARG ;;
    t) seconds=$OPTARG ;;
    r) rounds=$OPTARG ;;
    *) sed -n '2,14p' "$0"; exit 2 ;;
  esac
done
build=$(cd "$build" && pwd)
[ -n "$jar" ] || jar="$build/runtime/java/kelvaro-zelt.jar"
svc="$build/bench/rpc/bench_rpc_svc"
classes="$build/bench/rpc/classes"
for f in "$svc" "$classes/ConcurrencyBench.class" "$jar"; do
  [ -e "$f" ] || { echo "concurrency.sh: $f is missing; build the folder first" >&2; exit 1; }
done

. "$here/scratch.sh"
scratch vorlith-bench-concurrency
bench() { java -cp "$jar:$classes" ConcurrencyBench "$@"; }
load() { cut -d' ' -f1 /proc/loadavg; }
threads_of() { sed -n 's/^Threads:[[:space:]]*//p' "/proc/$1/status"; }

start_server java java -cp "$jar:$classes" BenchServer -l 3600
start_server c "$svc" -l 3600
echo "Java server port $java_port, C server port $c_port; load $(load)"
# The Java server's serving path warmed up a little.
bench "$java_port" inflight 64 ECHO_INT 1 3 > /dev/null

for round in $(seq "$rounds"); do
  for who in java c; do
    port_var=${who}_port
    port=${!port_var}
    echo "round $round $who: 64 cheap calls in flight on one connection: $(bench "$port" inflight 64 ECHO_INT 1 "$seconds") calls/s, load $(load)"
    echo "round $round $who: 16 callers of a 5 ms call on one client: $(bench "$port" callers 16 SLEEP_MS 5 "$seconds") calls/s, load $(load)"
    echo "round $round $who: 16 pipelined 200 ms calls on one connection: $(bench "$port" pipe16) s, load $(load)"
    echo "round $round $who: 16 threads on one client, 200 ms calls: $(bench "$port" threads16) s, load $(load)"
    echo "round $round $who: a fast call beside another thread's 3 s call: $(bench "$port" beside), load $(load)"
  done
  # The Java server's deferred replies: 10,000 calls of 100 ms outstanding at once from one thread.
  (
    most=0
    while kill -0 "$java_pid" 2>/dev/null && [ ! -e "$work/async.done" ]; do
      t=$(threads_of "$java_pid"); [ "$t" -gt "$most" ] && most=$t
      echo "$most" > "$work/server.threads"
      sleep 0.05
    done
  ) &
  watcher=$!
  rm -f "$work/async.done"
  result=$(bench "$java_port" async 10000 100)
  touch "$work/async.done"
  wait "$watcher" || true
  echo "round $round java: 10,000 deferred 100 ms calls from one thread: $result (client) server-threads=$(cat "$work/server.threads"), load $(load)"
done
