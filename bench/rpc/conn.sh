#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# How the benchmark servers handle connections: a burst of connections
# accepted, many connections served at once, and legitimate callers under
# the three attacks of slow and hostile peers (Java server only).
#
#   bench/rpc/conn.sh [-b BUILD] [-j JAR] [-n CONNECTIONS] [-t SECONDS] [-a KINDS] [-s]
#
#   -b  build folder holding bench/rpc (default: build in the repository root)
#   -j  the runtime's jar (default: BUILD/runtime/java/kelvaro-zelt.jar)
#   -n  connections of the burst and of the concurrent run (default 1000)
#   -t  seconds of each timed phase (default 10)
#   -a  attacks to run, of slow header zero (default all three)
#   -s  skip the attacks
#   -A  only the attacks
#
# Each figure comes with the load average (1 min) taken just after it. The
# Java server is BenchServer with default settings (start(0)); the C server
# is bench_rpc_svc (libtirpc's svc_run, listen backlog 64).
set -eu

here=$(cd "$(dirname "$0")" && pwd)
build="$here/../../build"
jar=""
n=1000
seconds=10
attacks="slow header zero"
skip_attacks=""
only_attacks=""
while getopts "b:j:n:t:a:sAh" opt; do
  case $opt in
    b) build=$OPTARG ;;
    j) jar=$OPTARG ;;
    n) n=$OPTARG ;;
    t) seconds=$OPTARG ;;
    a) attacks=$OPTARG ;;
    s) skip_attacks=1 ;;
    A) only_attacks=1 ;;
    *) sed -n '2,19p' "$0"; exit 2 ;;
  esac
done
build=$(cd "$build" && pwd)
[ -n "$jar" ] || jar="$build/runtime/java/kelvaro-zelt.jar"
svc="$build/bench/rpc/bench_rpc_svc"
classes="$build/bench/rpc/classes"
for f in "$svc" "$classes/BenchServer.class" "$jar"; do
  [ -e "$f" ] || { echo "conn.sh: $f is missing; build the folder first" >&2; exit 1; }
done

. "$here/scratch.sh"
scratch vorlith-bench-conn
javac -Xlint:all -Werror -d "$work/tool" "$here/conn/ConnBench.java"
tool() { java -Xss512k -cp "$work/tool" ConnBench "$@"; }
load() { cut -d' ' -f1 /proc/loadavg; }

start_server java java -cp "$jar:$classes" BenchServer -l 3600
start_server c "$svc" -l 3600
echo "Java server port $java_port, C server port $c_port; load $(load)"

[ -n "$only_attacks" ] || for round in 1 2 3; do
  for who in java c; do
    port_var=${who}_port
    echo "round $round $who: $(tool accept "${!port_var}" "$n") load $(load)"
  done
done
[ -n "$only_attacks" ] || for who in java c java c; do
  port_var=${who}_port
  echo "$who: $(tool concurrent "${!port_var}" "$n" "$seconds") load $(load)"
done

if [ -z "$skip_attacks" ]; then
  for kind in $attacks; do
    # A fresh server for each attack, default settings.
    start_server "a_$kind" java -cp "$jar:$classes" BenchServer -l 3600
    port_var=a_${kind}_port
    pid_var=a_${kind}_pid
    echo "--- attack $kind (load $(load))"
    tool attack "${!port_var}" "${!pid_var}" "$kind" "$seconds"
    echo "load after: $(load)"
    kill -TERM "${!pid_var}" 2>/dev/null || true
  done
fi
