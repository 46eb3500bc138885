#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# ./build.sh test, make test: every stage of the test suite, each one line
# on the terminal.
#
#   scripts/test.sh BUILD_DIR ASAN_BUILD_DIR FUZZ_RUNS JOBS
#
# Stages, in order: the Debian packages the tests need (installed when
# root), a bounded fuzzing run (clang, libFuzzer, ASan, UBSan), the build
# and the whole CTest suite, then the same build and suite again with
# AddressSanitizer and UndefinedBehaviorSanitizer. Each stage writes its
# output to a log; the terminal gets one line per stage and a summary. When
# a stage fails, the lines that say why follow (for a failed test suite:
# the failed tests run again with their output), and the run stops.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
build=$1 asan_build=$2 fuzz_runs=$3 jobs=$4
cd "$root"
logs=$build/test-logs
mkdir -p "$logs"
rm -f "$logs"/*.log

started=$SECONDS
passed=0

# Runs one stage: its name, its log, what to say when it worked, the
# command. The note may use the log (a function given as its name).
stage() {
  local name=$1 log=$2 note=$3
  shift 3
  local t0=$SECONDS status=0
  printf '%-14s ' "$name"
  "$@" >"$log" 2>&1 || status=$?
  local took=$((SECONDS - t0))
  if [ "$status" -ne 0 ]; then
    printf 'FAILED after %d s (status %d; log: %s)\n' "$took" "$status" "${log#"$root"/}"
    return "$status"
  fi
  printf 'ok   %-52s %4d s\n' "$($note "$log")" "$took"
  passed=$((passed + 1))
}

finish() {
  local status=$1 what=$2
  local total=$((SECONDS - started))
  echo
  if [ "$status" -eq 0 ]; then
    printf 'test: all %d stages passed in %d min %02d s (logs: %s)\n' \
      "$passed" $((total / 60)) $((total % 60)) "${logs#"$root"/}"
  else
    printf 'test: FAILED in stage "%s" after %d min %02d s; %d stages passed before it\n' \
      "$what" $((total / 60)) $((total % 60)) "$passed"
  fi
  exit "$status"
}

# What the logs say, for the stage lines.
note_none() { echo ""; }
# The run stops at fuzz_runs inputs or after 100 s, whichever comes first.
note_fuzz() {
  local runs
  runs=$(grep -o 'Done [0-9]* runs' "$1" | tail -n 1 | grep -o '[0-9]*')
  if [ -n "$runs" ] && [ "$runs" -lt "$fuzz_runs" ]; then
    echo "$runs of $fuzz_runs inputs (time bound 100 s), no finding"
  else
    echo "${runs:-?} inputs, no finding"
  fi
}
# What install-deps.sh installed: "installed: none (...)" or the packages.
note_deps() {
  grep '^installed:' "$1" | tail -n 1
}
note_ctest() {
  grep -o '[0-9]*% tests passed, [0-9]* tests failed out of [0-9]*' "$1" | tail -n 1
}

# A failed CTest run: the failed tests again, with their output.
show_failed_tests() {
  local dir=$1
  grep -E '^\s+[0-9]+ - ' "$dir/Testing/Temporary/LastTestsFailed.log" 2>/dev/null || true
  echo "--- the failed tests again, with their output:"
  (cd "$dir" && ctest --rerun-failed --output-on-failure) 2>&1 | tail -n 300
}

configure_and_build() {
  local dir=$1
  shift
  cmake -S . -B "$dir" "$@" && cmake --build "$dir" -j "$jobs"
}

run_ctest() {
  (cd "$1" && ctest --output-on-failure -j "$jobs")
}

stage "packages" "$logs/deps.log" note_deps sh scripts/install-deps.sh \
  || { tail -n 30 "$logs/deps.log"; finish 1 packages; }
stage "fuzzing" "$logs/fuzz.log" note_fuzz bash tests/fuzz/run-fuzzer.sh --runs "$fuzz_runs" \
  || { grep -E 'ERROR|SUMMARY|artifact|Test unit' "$logs/fuzz.log" | tail -n 40; tail -n 20 "$logs/fuzz.log"; finish 1 fuzzing; }
# VORLITH_DEMO_ONLY=OFF: a build folder that the demo configured gets everything.
stage "build" "$logs/build.log" note_none configure_and_build "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVORLITH_DEMO_ONLY=OFF \
  || { grep -E -A3 'error|Error' "$logs/build.log" | head -n 60; finish 1 build; }
stage "tests" "$logs/tests.log" note_ctest run_ctest "$build" \
  || { show_failed_tests "$build"; finish 1 tests; }
stage "asan build" "$logs/asan-build.log" note_none configure_and_build "$asan_build" \
  -DCMAKE_BUILD_TYPE=Debug -DVORLITH_SANITIZE=ON \
  || { grep -E -A3 'error|Error' "$logs/asan-build.log" | head -n 60; finish 1 "asan build"; }
stage "asan tests" "$logs/asan-tests.log" note_ctest run_ctest "$asan_build" \
  || { show_failed_tests "$asan_build"; finish 1 "asan tests"; }
finish 0 ""
