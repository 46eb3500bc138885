#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# Runs vorlith on one test case and compares everything it did with the
# case's expectations, byte for byte.
#
# A case is a folder:
#   args            the command-line arguments, as shell words
#   env             optional: lines NAME=value exported before the run
#   input           optional: the name of a file in tests/e2e/inputs, copied in
#                   as in.x (cases that differ only in their options share one)
#   setup.sh        optional: run (with bash) in the scratch folder before the run;
#                   CASE_DIR names the case folder, and what it makes counts as input
#   *.x, others     copied into the scratch folder; the run happens there
#   expected/status      the exit status
#   expected/stdout      standard output
#   expected/stderr      standard error
#   expected/files/      exactly the files the run leaves behind besides the inputs
#
# The program is started under the name "vorlith", so usage lines do not
# depend on where the build put it. TMPDIR points at an empty folder that
# must still be empty afterwards: no temporary file may be left behind.
#
# With UPDATE=1 the expectations are rewritten from the run (review the diff!).
set -u
vorlith=$(readlink -f "$1")
case_dir=$(readlink -f "$2")
name=$(basename "$case_dir")
shared_inputs=$(cd "$(dirname "$0")" && pwd)/inputs

work=$(mktemp -d "${TMPDIR:-/tmp}/vorlith-e2e.XXXXXX")
trap 'chmod -R u+w "$work" 2>/dev/null; rm -rf "$work"' EXIT
mkdir "$work/run" "$work/tmp" "$work/out"

# Copy the inputs (everything but the expectations and the control files).
for f in "$case_dir"/* "$case_dir"/.[!.]*; do
  [ -e "$f" ] || continue
  case "$(basename "$f")" in
    expected|args|env|input|setup.sh) ;;
    *) cp -a "$f" "$work/run/" ;;
  esac
done
if [ -f "$case_dir/input" ]; then
  shared="$shared_inputs/$(cat "$case_dir/input")"
  [ -f "$shared" ] || { echo "$name: shared input $shared is missing"; exit 1; }
  [ ! -e "$work/run/in.x" ] || { echo "$name: names a shared input and has its own in.x"; exit 1; }
  cp "$shared" "$work/run/in.x"
fi
if [ -f "$case_dir/setup.sh" ]; then
  (cd "$work/run" && CASE_DIR="$case_dir" bash "$case_dir/setup.sh") || {
    echo "$name: setup.sh failed"; exit 1; }
fi

# What setup.sh made counts as input too.
(cd "$work/run" && find . -mindepth 1 | sort) > "$work/inputs"

args=""
[ -f "$case_dir/args" ] && args=$(cat "$case_dir/args")

(
  cd "$work/run" || exit 99
  export TMPDIR="$work/tmp"
  unset SKARDO_CPP SKARDO_CPP_FLAG
  if [ -f "$case_dir/env" ]; then
    while IFS= read -r line || [ -n "$line" ]; do
      [ -n "$line" ] && export "$line"
    done < "$case_dir/env"
  fi
  eval "set -- $args"
  exec -a vorlith "$vorlith" "$@"
) > "$work/out/stdout" 2> "$work/out/stderr" < /dev/null
echo $? > "$work/out/status"

# Whatever the run left behind besides the inputs.
mkdir "$work/out/files"
(cd "$work/run" && find . -mindepth 1 -type f | sort) | while IFS= read -r f; do
  if ! grep -qxF "$f" "$work/inputs"; then
    mkdir -p "$work/out/files/$(dirname "$f")"
    cp "$work/run/$f" "$work/out/files/$f"
  fi
done

if [ "${UPDATE:-0}" = 1 ]; then
  rm -rf "$case_dir/expected"
  cp -a "$work/out" "$case_dir/expected"
  echo "$name: expectations rewritten"
  exit 0
fi

fail=0
for f in status stdout stderr; do
  if ! cmp -s "$case_dir/expected/$f" "$work/out/$f"; then
    echo "$name: $f differs (expected, actual):"
    diff -u "$case_dir/expected/$f" "$work/out/$f" | head -n 60 | cat -A | head -n 60
    fail=1
  fi
done
exp_files="$case_dir/expected/files"
if [ ! -d "$exp_files" ]; then exp_files="$work/none"; mkdir "$exp_files"; fi
if ! diff -r "$exp_files" "$work/out/files" > "$work/filediff" 2>&1; then
  echo "$name: written files differ:"
  head -n 80 "$work/filediff"
  fail=1
fi
if [ -n "$(ls -A "$work/tmp")" ]; then
  echo "$name: temporary files left behind:"; ls -la "$work/tmp"
  fail=1
fi
[ "$fail" = 0 ] && echo "$name: ok"
exit "$fail"
