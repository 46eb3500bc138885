#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# Runs the generated Java code against the libtirpc peer on the wire.
#
#   run_interop.sh MODE VORLITH C_SERVICE C_CLIENT RPCBIND_UP WORK_DIR
#
# MODE is java_client or java_server, over TCP, or java_client_udp or
# java_server_udp, the same over UDP; idiomatic_client, idiomatic_server
# and their _udp forms do the same with the idiomatic output. Both servers serve both protocols;
# the client calls over the mode's.
#
# All modes generate the Java files from interop.x with VORLITH in
# WORK_DIR/gen and compile them with the Java test programs against the
# runtime's jar (named by the environment variable ZELT_JAR) into
# WORK_DIR/classes.
#   java_client: starts C_SERVICE, runs InteropClient against it.
#   java_server: starts ServerMain (the generated server classes), runs
#                C_CLIENT against it.
# The server side registers with rpcbind (started by RPCBIND_UP when
# needed); every process started here is stopped, and the program's
# registration removed, on every way out. The test passes when the client
# and the server both report no failed check and the server unregistered
# itself.
set -eu

if [ $# -ne 6 ]; then
  echo "usage: $0 java_client|java_server[_udp] VORLITH C_SERVICE C_CLIENT RPCBIND_UP WORK_DIR" >&2
  exit 2
fi
mode=$1
# idiomatic_*: the same with the idiomatic output's client and services
# (java_idiomatic/), in package idi beside the default output.
style=default
case $mode in
  idiomatic_*) style=idiomatic ;;
esac
base=${mode/idiomatic_/java_}
case $base in
  java_client|java_server) side=$base proto=tcp ;;
  java_client_udp|java_server_udp) side=${base%_udp} proto=udp ;;
  *) echo "$0: unknown mode $mode" >&2; exit 2 ;;
esac
# Absolute paths: the generator runs inside the work folder.
vorlith=$(realpath -m "$2") c_service=$(realpath -m "$3") c_client=$(realpath -m "$4")
rpcbind_up=$(realpath -m "$5") work=$(realpath -m "$6")
here=$(cd "$(dirname "$0")" && pwd)
jar=$(realpath -m "${ZELT_JAR:?ZELT_JAR must name the runtime jar}")
me=interop_$mode
PATH="$PATH:/usr/sbin:/sbin"

prog=536871169        # 0x20000101, the program number in interop.x
lifetime=45           # the server stops by itself after this many seconds

peer_pid=""      # the server side
current_pid=""   # the command that run_waiting waits for

say() { echo "$me: $*" >&2; }

registered() {
  rpcinfo -p 127.0.0.1 2>/dev/null | awk -v p="$prog" '$1 == p' || true
}

unregister_all() {
  rpcinfo -d "$prog" 1 >/dev/null 2>&1 || true
  rpcinfo -d "$prog" 2 >/dev/null 2>&1 || true
}

# True once the process has ended (a child that is not yet reaped counts).
gone() {
  local state
  state=$(sed 's/.*) //' "/proc/$1/stat" 2>/dev/null | cut -d' ' -f1) || true
  [ -z "$state" ] || [ "$state" = Z ]
}

# Waits at most $2 seconds for process $1 to end.
wait_gone() {
  local deadline=$((SECONDS + $2))
  while [ "$SECONDS" -le "$deadline" ]; do
    gone "$1" && return 0
    sleep 0.1
  done
  return 1
}

# Runs a command in the background and waits for it: unlike a command in the
# foreground, the wait ends as soon as a signal arrives, and cleanup then
# stops the command.
run_waiting() {
  local st=0
  "$@" &
  current_pid=$!
  wait "$current_pid" || st=$?
  current_pid=""
  return "$st"
}

cleanup() {
  if [ -n "$current_pid" ]; then
    kill -TERM "$current_pid" 2>/dev/null || true
    wait "$current_pid" 2>/dev/null || true
  fi
  if [ -n "$peer_pid" ]; then
    kill -TERM "$peer_pid" 2>/dev/null || true
    wait_gone "$peer_pid" 10 || kill -KILL "$peer_pid" 2>/dev/null || true
    wait "$peer_pid" 2>/dev/null || true
    peer_pid=""
  fi
  unregister_all
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

show_log() {
  [ -s "$1" ] && sed "s/^/  $2: /" "$1" >&2
  return 0
}

run_waiting "$rpcbind_up"
# Program 0x20000101 is every interop test's, in this build tree or in
# another one on this machine (CTest's RESOURCE_LOCK keeps apart only the
# tests of one run): the same lock file keeps the runs apart. Without it a
# second run's server is refused while the first one's answers.
exec 9>/tmp/vorlith-interop_prog_0x20000101.lock
if ! flock -w 150 9; then
  say "another test run holds /tmp/vorlith-interop_prog_0x20000101.lock"
  exit 1
fi
# A registration left by an earlier, killed run would hide ours.
unregister_all

# ---- generate and compile the Java side
rm -rf "$work"
mkdir -p "$work/gen" "$work/classes"
if ! (cd "$work/gen" && "$vorlith" "$here/interop.x") >"$work/vorlith.out" 2>"$work/vorlith.err"; then
  say "vorlith failed on interop.x"
  show_log "$work/vorlith.err" vorlith
  exit 1
fi
extra=()
if [ "$style" = idiomatic ]; then
  if ! "$vorlith" --quiet --idiomatic --package idi --output-dir "$work/gen_i" "$here/interop.x" 2>"$work/vorlith.err"; then
    say "vorlith --idiomatic failed on interop.x"
    show_log "$work/vorlith.err" vorlith
    exit 1
  fi
  extra=("$work"/gen_i/idi/*.java "$here"/java_idiomatic/*.java)
fi
if ! run_waiting timeout 50 javac -nowarn -encoding US-ASCII -d "$work/classes" \
    -cp "$jar" "$work"/gen/*.java "$here"/java/*.java "${extra[@]}" >"$work/javac.log" 2>&1; then
  say "the generated Java code does not compile with the runtime and the test programs"
  show_log "$work/javac.log" javac
  exit 1
fi

# ---- start the server side and wait until it is registered
case $side in
  java_client) "$c_service" "$lifetime" >"$work/server.out" 2>"$work/server.err" & ;;
  java_server) java -cp "$work/classes:$jar" "$([ "$style" = idiomatic ] && echo IdiomaticServerMain || echo ServerMain)" \
      "$lifetime" >"$work/server.out" 2>"$work/server.err" & ;;
esac
peer_pid=$!

deadline=$((SECONDS + 20))
until grep -q '^ready' "$work/server.out" 2>/dev/null; do
  if gone "$peer_pid" || [ "$SECONDS" -gt "$deadline" ]; then
    say "the server did not get ready"
    show_log "$work/server.err" server
    exit 1
  fi
  sleep 0.1
done

# ---- the client calls every procedure
status=0
case $side in
  java_client) run_waiting timeout 30 java -cp "$work/classes:$jar" \
      "$([ "$style" = idiomatic ] && echo IdiomaticClient || echo InteropClient)" 127.0.0.1 "$proto" || status=$? ;;
  java_server) run_waiting timeout 30 "$c_client" 127.0.0.1 "$proto" || status=$? ;;
esac
[ "$status" -eq 0 ] || say "the client failed (status $status)"

# ---- stop the server: it must unregister itself and report no failed check
kill -TERM "$peer_pid"
if ! wait_gone "$peer_pid" 15; then
  say "the server did not stop within 15 s"
  exit 1
fi
peer_status=0
wait "$peer_pid" || peer_status=$?
peer_pid=""
case $side in
  # The C service exits with 0 only when every argument was as expected.
  java_client) expected_status=0 ;;
  # The JVM ends with 143 on SIGTERM, after the shutdown hook has run.
  java_server) expected_status=143 ;;
esac
if [ "$peer_status" -ne "$expected_status" ]; then
  say "the server ended with status $peer_status, not $expected_status"
  status=1
fi
if ! grep -q ' 0 failed checks$' "$work/server.err"; then
  say "the server did not report 0 failed checks"
  status=1
fi
if [ -n "$(registered)" ]; then
  say "the server left its registration behind:"
  registered >&2
  status=1
fi
[ "$status" -eq 0 ] || show_log "$work/server.err" server
exit "$status"
