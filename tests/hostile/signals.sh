#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# SIGINT, SIGTERM and SIGHUP in the middle of a run: the run ends by the
# signal (its caller sees status 128 + the signal's number), the temporary
# file of -p is removed, the preprocessor is ended, and a Java file being
# written is removed rather than left half-written; files finished before
# stay.
#
#   signals.sh VORLITH
source "$(dirname "$0")/lib.sh"


# A slow stand-in preprocessor: writes its process id, copies the input,
# then waits (in a child, as a real one might), so that a run is caught
# while it is running.
cat > "$work/bin/slowcpp" << 'SLOW'
#!/bin/sh
for arg in "$@"; do last=$arg; done
echo $$ > "$SLOWCPP_PID"
cat -- "$last"
sleep 60
SLOW
chmod +x "$work/bin/slowcpp"

# Starts vorlith in the background in $run; sets $pid. Started with job
# control on, it keeps SIGINT (a plain "&" would start it with SIGINT
# ignored); off again, the shell reports no job ends.
start_vorlith() {
  set -m
  (
    cd "$run" || exit 99
    export TMPDIR="$tmp"
    PATH="$work/bin:$PATH" exec vorlith "$@"
  ) > "$out/stdout" 2> "$out/stderr" < /dev/null &
  pid=$!
  set +m
}

# wait_for TEST: waits up to 10 s for the shell test to hold.
wait_for() {
  local i
  for ((i = 0; i < 200; i++)); do
    eval "$1" && return 0
    sleep 0.05
  done
  fail "waited 10 s for: $1"
  return 1
}

# Sends the signal and checks how the run ended.
kill_and_expect() {
  local sig=$1 number
  number=$(kill -l "$sig")
  kill -s "$sig" "$pid"
  { wait "$pid"; } 2> /dev/null  # no "Hangup" report from the shell
  status=$?
  checks=$((checks + 1))
  [ "$status" = $((128 + number)) ] || fail "status $status, expected $((128 + number)) (ended by SIG$sig)"
}

for sig in INT TERM HUP; do
  # While the preprocessor runs: temporary file and preprocessor gone.
  begin_case "SIG$sig while the preprocessor runs"
  fresh_folders
  printf 'struct point { int x; int y; };\n' > "$run/geo.x"
  input_files=(geo.x)
  export SLOWCPP_PID="$work/slowcpp.pid" SKARDO_CPP=slowcpp
  rm -f "$SLOWCPP_PID"
  start_vorlith -p geo.x
  wait_for '[ -s "$SLOWCPP_PID" ] && [ -n "$(ls -A "$tmp")" ]'
  cpp=$(cat "$SLOWCPP_PID")
  kill_and_expect "$sig"
  # The preprocessor's group, the shell and its sleep, must be gone.
  wait_for '! pgrep -g "$cpp" > /dev/null'
  expect_no_temp
  expect_files
  unset SKARDO_CPP SLOWCPP_PID

  # While a Java file is written: it is a pipe whose reader takes nothing,
  # so the writing stops half way; the file is removed, the one before stays.
  begin_case "SIG$sig while a Java file is written"
  fresh_folders
  {
    printf 'struct first { int a; };\n'
    printf 'struct second {\n'
    for ((i = 0; i < 4000; i++)); do printf '\tint member_%d;\n' "$i"; done
    printf '};\n'
  } > "$run/two.x"
  input_files=(two.x)
  mkfifo "$run/second.java"
  sleep 60 < "$run/second.java" &
  reader=$!
  start_vorlith -c two.x
  # Blocked in its write: the pipe is open on both ends and full.
  wait_for '[ "$(ps -o stat= -p "$pid" 2> /dev/null | cut -c1)" = S ] && [ -s "$run/first.java" ]'
  sleep 0.2
  kill_and_expect "$sig"
  kill "$reader" 2> /dev/null
  wait "$reader" 2> /dev/null
  expect_complete_file first.java
  expect_files first.java
  expect_no_temp
done

finish
