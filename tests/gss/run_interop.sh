#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# RPCSEC_GSS between the runtime and the C peers on libtirpc, in the scratch
# realm of realm.sh, with each service over TCP and UDP.
#
#   run_interop.sh c_client|java_client JAVA ZELT_JAR CLASS_DIR REALM_DIR C_SERVER C_CLIENT WORK_DIR
#
# c_client:    the runtime's server (GssPeer server) serves; the C client
#              calls it as alice, from her ticket cache.
# java_client: the C server serves (keys from KRB5_KTNAME); the runtime's
#              client (GssPeer client) calls it as alice, from her keytab.
# Every check must pass: who the server saw, and echoes of several sizes.
# The server is stopped on every way out.
set -eu
if [ $# -ne 8 ]; then
  echo "usage: $0 c_client|java_client JAVA ZELT_JAR CLASS_DIR REALM_DIR C_SERVER C_CLIENT WORK_DIR" >&2
  exit 2
fi
mode=$1 java=$2 jar=$3 classes=$4 realm=$5 c_server=$6 c_client=$7 work=$8
# shellcheck disable=SC1091
. "$realm/env"
rm -rf "$work"
mkdir -p "$work"
server_pid=""
cleanup() {
  if [ -n "$server_pid" ]; then
    kill "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
  fi
}
trap cleanup EXIT
jvm=("$java" -Djava.security.krb5.conf="$KRB5_CONFIG" -Xmx256m -cp "$jar:$classes")

case $mode in
  c_client)
    "${jvm[@]}" kelvaro.ZELT.GssPeer server "$GSS_SERVICE" "$GSS_SERVICE_KEYTAB" "$work/ports" 150 \
      >"$work/server.log" 2>&1 &
    server_pid=$!
    ;;
  java_client)
    KRB5_KTNAME=FILE:$GSS_SERVICE_KEYTAB "$c_server" "$GSS_SERVICE_HOSTBASED" "$work/ports" 150 \
      >"$work/server.log" 2>&1 &
    server_pid=$!
    ;;
  *)
    echo "$0: unknown mode $mode" >&2
    exit 2
    ;;
esac
for _ in $(seq 300); do
  [ -s "$work/ports" ] && break
  kill -0 "$server_pid" 2>/dev/null || break
  sleep 0.1
done
[ -s "$work/ports" ] || { echo "the server did not start:" >&2; cat "$work/server.log" >&2; exit 1; }
read -r tcp_port udp_port <"$work/ports"

failed=0
passed=0
for service in none integrity privacy; do
  for proto in tcp udp; do
    port=$tcp_port
    [ "$proto" = udp ] && port=$udp_port
    expected="$GSS_ALICE ${service^^}"
    if [ "$mode" = c_client ]; then
      cmd=(env KRB5CCNAME="FILE:$GSS_ALICE_CCACHE" "$c_client" "$port" "$proto" "$service" "$GSS_SERVICE_HOSTBASED" "$expected")
    else
      cmd=("${jvm[@]}" kelvaro.ZELT.GssPeer client "$port" "$proto" "$service" "$GSS_SERVICE_HOSTBASED" \
           "$GSS_ALICE" "$GSS_ALICE_KEYTAB" "$expected")
    fi
    if timeout 90 "${cmd[@]}" >"$work/$proto-$service.log" 2>&1; then
      passed=$((passed + 1))
    else
      failed=$((failed + 1))
      echo "--- $proto $service failed:"
      cat "$work/$proto-$service.log"
    fi
    tail -n 1 "$work/$proto-$service.log"
  done
done
kill -0 "$server_pid" 2>/dev/null || { echo "the server died:"; cat "$work/server.log"; failed=$((failed + 1)); }
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
