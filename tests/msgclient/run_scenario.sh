#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# Runs msgclient against the test message service in one scenario and checks
# its standard output, standard error and exit status exactly.
#
#   run_scenario.sh SCENARIO MSGCLIENT MSG_SERVICE RPCBIND_UP
#
# Scenarios:
#   echo               1000 lines "Got reply: hello.", status 0, one connection
#   empty_reply        1000 lines "Got reply: .", status 0
#   not_registered     service stopped: only the creation message, status 1
#   default_prefix     as not_registered, without arguments: prefix "msgclient"
#   call_fails         every call fails: only the call error, status 1
#   fails_after_replies  three replies, then the call error with the default
#                      prefix, status 1
#
# Every scenario uses program 1234567 on the one local rpcbind, so a lock file
# keeps runs from different build trees apart too.
set -eu

if [ $# -ne 4 ]; then
  echo "usage: $0 SCENARIO MSGCLIENT MSG_SERVICE RPCBIND_UP" >&2
  exit 2
fi
scenario=$1
client=$2
service=$3
rpcbind_up=$4

PATH="$PATH:/usr/sbin:/sbin"
program=1234567

work=$(mktemp -d)
service_pid=""
service_status=""

# Stops the service: SIGTERM lets it remove its registration; one that does
# not end within 5 s is killed.
stop_service() {
  [ -n "$service_pid" ] || return 0
  kill -TERM "$service_pid" 2>/dev/null || true
  local i
  for i in $(seq 50); do
    kill -0 "$service_pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$service_pid" 2>/dev/null; then
    echo "service $service_pid ignored SIGTERM; killing it" >&2
    kill -KILL "$service_pid" 2>/dev/null || true
  fi
  service_status=0
  wait "$service_pid" 2>/dev/null || service_status=$?
  service_pid=""
}

cleanup() {
  stop_service
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM

fail() {
  echo "FAIL [$scenario]: $*" >&2
  for f in out err service.err stats; do
    if [ -s "$work/$f" ]; then
      echo "--- $f (first 10 lines) ---" >&2
      head -n 10 "$work/$f" >&2
    fi
  done
  exit 1
}

exec 9>/tmp/vorlith-msg_prog_1234567.lock
flock -w 150 9 || fail "another test run holds /tmp/vorlith-msg_prog_1234567.lock"

"$rpcbind_up" || fail "rpcbind is not available"

registered() {
  rpcinfo -p 127.0.0.1 2>/dev/null | awk -v p="$program" '$1 == p { found = 1 } END { exit !found }'
}

# Starts the service in the given mode and waits, at most 10 s, until
# procedure 0 answers through rpcbind.
start_service() {
  "$service" "$@" --stats "$work/stats" --lifetime 90 2>"$work/service.err" &
  service_pid=$!
  local i
  for i in $(seq 100); do
    kill -0 "$service_pid" 2>/dev/null || fail "the service ended before it answered"
    if rpcinfo -T tcp 127.0.0.1 "$program" 1 >/dev/null 2>&1; then
      return 0
    fi
    sleep 0.1
  done
  fail "the service did not answer procedure 0 within 10 s"
}

# Runs the client with the given arguments, at most 60 s; sets status.
run_client() {
  status=0
  timeout 60 "$client" "$@" >"$work/out" 2>"$work/err" || status=$?
  [ "$status" -ne 124 ] || fail "msgclient did not end within 60 s"
}

# Writes COUNT lines of TEXT into FILE.
repeat_lines() {
  local text=$1 count=$2 file=$3 i
  : >"$file"
  for ((i = 0; i < count; i++)); do
    printf '%s\n' "$text"
  done >>"$file"
}

expect_status() {
  [ "$status" -eq "$1" ] || fail "exit status $status, expected $1"
}

# Standard output holds exactly COUNT lines TEXT and nothing else.
expect_lines() {
  local text=$1 count=$2 got total
  got=$(grep -cx -- "$text" "$work/out" || true)
  total=$(wc -l <"$work/out")
  repeat_lines "$text" "$count" "$work/expected"
  cmp -s "$work/out" "$work/expected" ||
    fail "standard output: $got lines \"$text\" of $total, expected exactly $count and nothing else"
}

expect_no_stdout() {
  [ ! -s "$work/out" ] || fail "standard output is not empty"
}

expect_no_stderr() {
  [ ! -s "$work/err" ] || fail "standard error is not empty"
}

# Standard error is exactly the one line TEXT.
expect_stderr() {
  printf '%s\n' "$1" >"$work/expected_err"
  cmp -s "$work/err" "$work/expected_err" || fail "standard error is not exactly: $1"
}

# The service ended by itself on SIGTERM with status 0 and said nothing: it
# removed its registration, and a sanitizer build found nothing in it.
expect_service_clean() {
  [ "$service_status" = 0 ] || fail "the service ended with status $service_status"
  [ ! -s "$work/service.err" ] || fail "the service wrote to standard error"
}

# The stats the service wrote when it stopped hold the line TEXT.
expect_stat() {
  grep -qx -- "$1" "$work/stats" || fail "service stats lack \"$1\""
}

not_registered_message="RPC: Program not registered"
call_error_message="RPC: Remote system error"

case $scenario in
echo)
  start_service echo
  run_client echo-probe
  stop_service
  expect_service_clean
  expect_status 0
  expect_lines "Got reply: hello." 1000
  expect_no_stderr
  # Every call reached the service with "hello", all over one connection.
  expect_stat "calls 1000"
  expect_stat "other_args 0"
  expect_stat "peers 1"
  ;;
empty_reply)
  start_service empty
  run_client empty-probe
  stop_service
  expect_service_clean
  expect_status 0
  expect_lines "Got reply: ." 1000
  expect_no_stderr
  expect_stat "calls 1000"
  ;;
not_registered | default_prefix)
  # A service that ran and stopped must leave no registration behind.
  start_service echo
  stop_service
  expect_service_clean
  ! registered || fail "program $program is still registered after the service stopped"
  if [ "$scenario" = not_registered ]; then
    run_client create-probe
    expect_stderr "create-probe: $not_registered_message"
  else
    run_client
    expect_stderr "msgclient: $not_registered_message"
  fi
  expect_status 1
  expect_no_stdout
  expect_stat "calls 0"
  ;;
call_fails)
  start_service fail
  run_client call-probe
  stop_service
  expect_service_clean
  expect_status 1
  expect_no_stdout
  expect_stderr "call-probe: $call_error_message"
  # The client stopped at the first failed call.
  expect_stat "calls 1"
  ;;
fails_after_replies)
  start_service fail --answer 3
  run_client
  stop_service
  expect_service_clean
  expect_status 1
  expect_lines "Got reply: hello." 3
  expect_stderr "msgclient: $call_error_message"
  expect_stat "calls 4"
  ;;
*)
  echo "unknown scenario: $scenario" >&2
  exit 2
  ;;
esac

echo "PASS [$scenario]"
