#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# Untimed check of the RPC benchmark's pieces:
#   smoke.sh BUILD_DIR ZELT_JAR
# - run.sh -q runs every pairing for a moment: each run checks each reply
#   and that the server counted exactly the calls made, and the report has
#   a figure for every contender and the allocation table;
# - servers that alter every 50th echo on purpose (-x 50) are caught by the
#   C client and by the Java client, for the small call and the blob, with
#   a failed status and a message that says what came back.
set -eu
build=$(readlink -f "$1")
jar=$(readlink -f "$2")
here=$(cd "$(dirname "$0")" && pwd)
svc="$build/bench/rpc/bench_rpc_svc"
cln="$build/bench/rpc/bench_rpc_cln"
cp="$jar:$build/bench/rpc/classes"

. "$here/scratch.sh"
scratch vorlith-bench-rpc-smoke
trap 'exit 1' INT TERM HUP

fail() { echo "FAIL: $*" >&2; exit 1; }

# 1. Every pairing through the driver.
bash "$here/run.sh" -b "$build" -j "$jar" -q >"$work/report" 2>"$work/report.err" \
  || fail "run.sh -q: $(tail -n 5 "$work/report.err")"
for title in "small call, Java client vs C client" "small call, Java server vs C server" \
             "64 KiB echo, Java client vs C client" "64 KiB echo, Java server vs C server" \
             "1 MiB echo, Java client vs C client" "1 MiB echo, Java server vs C server" \
             "UDP small call, Java client vs C client" "UDP small call, Java server vs C server" \
             "16 C clients, Java server vs C server" "16 Java threads, one client object"; do
  grep -qE "^\| $title.* \| [1-9][0-9]* \| [1-9][0-9]*( \(1 thread\))? \| [0-9]+\.[0-9]{2} \|" "$work/report" \
    || fail "the report has no figures for \"$title\": $(cat "$work/report")"
done
for title in "64 KiB echo" "1 MiB echo"; do
  grep -qE "^\| $title \| [1-9][0-9]* \([0-9.]+x\) \| [1-9][0-9]* \([0-9.]+x\) \| [1-9][0-9]* \([0-9.]+x\) \|\$" "$work/report" \
    || fail "the report has no allocation figures for the $title: $(cat "$work/report")"
done

# 2. Altered replies are caught.
start() { # NAME COMMAND...: sets NAME_port
  local name=$1
  shift
  "$@" >"$work/$name.out" 2>"$work/$name.err" &
  pids="$pids $!"
  local deadline=$((SECONDS + 30))
  until grep -q '^ready [0-9]' "$work/$name.out" 2>/dev/null; do
    [ "$SECONDS" -le "$deadline" ] || fail "the $name server did not start: $(cat "$work/$name.err")"
    sleep 0.1
  done
  printf -v "${name}_port" '%s' "$(sed -n 's/^ready \([0-9]*\).*/\1/p' "$work/$name.out")"
}
start c "$svc" -x 50 -l 120
start j java -cp "$cp" BenchServer -x 50 -l 120

# expect_caught SERVER_PORT PATTERN CLIENT...
expect_caught() {
  local port=$1 pattern=$2
  shift 2
  if "$@" -p "$port" -t 0.5 -w 0 >"$work/out" 2>"$work/err"; then
    fail "$* did not notice the altered replies: $(cat "$work/out")"
  fi
  grep -qE "$pattern" "$work/err" || fail "$*: no message about the altered reply: $(cat "$work/err")"
}
expect_caught "$c_port" 'sent -?[0-9]+, got -?[0-9]+ back' "$cln" -m int
expect_caught "$j_port" 'sent -?[0-9]+, got -?[0-9]+ back' "$cln" -m int -c 4
expect_caught "$j_port" 'the 4096 bytes sent came back altered' "$cln" -m blob -s 4096
expect_caught "$c_port" 'sent -?[0-9]+, got -?[0-9]+ back' java -cp "$cp" BenchClient -m int -n 4
expect_caught "$c_port" 'the 4096 bytes sent came back altered' java -cp "$cp" BenchClient -m blob -s 4096
echo "bench rpc smoke: every pairing ran, altered replies caught"
