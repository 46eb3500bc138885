#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# RPCSEC_GSS throughput: the runtime's client and server against the C
# client and server on libtirpc, in a scratch realm (tests/gss/realm.sh).
#
#   gss_bench.sh BUILD_DIR [SMALL_CALLS] [BIG_CALLS] [ROUNDS]
#
# BUILD_DIR is a configured and built tree (the jar, tests/gss's C peers
# and classes: run `ctest -R gss_compile_tests` once first). Prints calls
# per second of one client, one call at a time over TCP, for small calls
# (4 bytes) with integrity and 64 KiB echoes with privacy and integrity, for
# each pair of client and server: the best of ROUNDS (default 3) runs, the
# pairs taking turns, so that a burst of other load on the machine does
# not decide a cell.
set -eu
build=$(cd "$1" && pwd)
small=${2:-20000}
big=${3:-2000}
rounds=${4:-3}
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
work=$(mktemp -d)
jar=$build/runtime/java/kelvaro-zelt.jar
classes=$build/tests/gss/classes
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  bash "$root/tests/gss/realm.sh" stop "$work/realm" || true
  rm -rf "$work"
}
trap cleanup EXIT
bash "$root/tests/gss/realm.sh" start "$work/realm" >/dev/null
# shellcheck disable=SC1091
. "$work/realm/env"
jvm=(java -Djava.security.krb5.conf="$KRB5_CONFIG" -Xmx1g -cp "$jar:$classes")

"${jvm[@]}" kelvaro.ZELT.GssPeer server "$GSS_SERVICE" "$GSS_SERVICE_KEYTAB" "$work/java.ports" 3600 >"$work/java.log" 2>&1 &
pids+=($!)
KRB5_KTNAME=FILE:$GSS_SERVICE_KEYTAB "$build/tests/gss/gss_server" "$GSS_SERVICE_HOSTBASED" "$work/c.ports" 3600 \
  >"$work/c.log" 2>&1 &
pids+=($!)
for _ in $(seq 300); do [ -s "$work/java.ports" ] && [ -s "$work/c.ports" ] && break; sleep 0.1; done
read -r java_port _ <"$work/java.ports"
read -r c_port _ <"$work/c.ports"

run() { # client server service calls size
  local port=$java_port
  [ "$2" = C ] && port=$c_port
  if [ "$1" = C ]; then
    KRB5CCNAME=FILE:$GSS_ALICE_CCACHE "$build/tests/gss/gss_client" "$port" tcp "$3" "$GSS_SERVICE_HOSTBASED" bench "$4" "$5"
  else
    "${jvm[@]}" kelvaro.ZELT.GssPeer bench "$port" tcp "$3" "$GSS_SERVICE_HOSTBASED" "$GSS_ALICE" "$GSS_ALICE_KEYTAB" "$4" "$5"
  fi | awk '/calls\/s/ {print $2}'
}

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
# Warm the Java server's JIT before measuring.
run C Java integrity "$small" 4 >/dev/null
run C Java privacy "$big" 65536 >/dev/null
printf '%-28s %10s %10s %10s %10s\n' "case" "C->C" "Java->C" "C->Java" "Java->Java"
for spec in "integrity 4 $small" "privacy 65536 $big" "integrity 65536 $big"; do
  set -- $spec
  line=$(printf '%-28s' "$1, $2 bytes")
  best=(0 0 0 0)
  for _ in $(seq "$rounds"); do
    i=0
    for pair in "C C" "Java C" "C Java" "Java Java"; do
      set -- $spec
      svc=$1 size=$2 calls=$3
      set -- $pair
      r=$(run "$1" "$2" "$svc" "$calls" "$size")
      [ "${r:-0}" -gt "${best[$i]}" ] && best[$i]=$r
      i=$((i + 1))
    done
  done
  for b in "${best[@]}"; do line="$line $(printf '%10s' "$b")"; done
  echo "$line"
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
