#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# A generated file that cannot be written or closed is reported like one
# that cannot be opened (the file name, ": ", the system's reason), ends the
# run with status 255 and leaves no partial file behind. The files written
# before stay complete.
source "$(dirname "$0")/lib.sh"
input_files=(input.x)

# A struct with n int members: about 100 bytes per member in its file.
struct_text() {
  local name=$1 n=$2 i
  printf 'struct %s {\n' "$name"
  for ((i = 0; i < n; i++)); do printf '\tint m%d;\n' "$i"; done
  printf '};\n'
}

# Runs with a file-size limit of 1 KB; SIGXFSZ is ignored, so a write past
# the limit fails with "File too large" instead of killing the process.
run_limited() {
  run_prefix=(bash -c 'trap "" XFSZ; ulimit -f 1 && exec "$@"' limit)
  run_vorlith "$@"
  run_prefix=()
}

# 2 KB fit into the stream's buffer: the failure shows when it is flushed
# at the close.
begin_case "file-size limit, failure at the close"
fresh_folders
{ struct_text small 1; struct_text mid 20; struct_text late 1; } > "$run/input.x"
run_limited -c input.x
expect_status 255
expect_stderr $'mid.java: File too large\n'
expect_stdout ""
expect_files small.java
expect_complete_file small.java
expect_no_temp

# 100 KB do not: the failure shows while the file is being written.
begin_case "file-size limit, failure while writing"
fresh_folders
{ struct_text small 1; struct_text big 1000; } > "$run/input.x"
run_limited -c input.x
expect_status 255
expect_stderr $'big.java: File too large\n'
expect_stdout ""
expect_files small.java
expect_complete_file small.java
expect_no_temp

# The interface file is the first written: the run stops in that pass.
begin_case "file-size limit on the interface file"
fresh_folders
{
  for ((i = 0; i < 200; i++)); do printf 'const C%d = %d;\n' "$i" "$i"; done
  printf 'program P { version V { int F(int) = 1; } = 1; } = 1;\n'
} > "$run/input.x"
run_limited input.x
expect_status 255
expect_stderr $'P.java: File too large\n'
expect_stdout ""
expect_files
expect_no_temp

# The client pass fails after the type class pass has printed its summary.
begin_case "file-size limit on a client class"
fresh_folders
{
  printf 'struct s { int a; };\n'
  printf 'program P { version V {\n'
  for ((i = 1; i <= 3; i++)); do printf '\tint F%d(int) = %d;\n' "$i" "$i"; done
  printf '} = 1; } = 1;\n'
} > "$run/input.x"
run_limited input.x
expect_status 255
expect_stderr $'P_cln.java: File too large\n'
expect_stdout $'\nGenerated XDR files:\n \ts.java\n\n'
expect_files P.java s.java
expect_complete_file P.java
expect_complete_file s.java
expect_no_temp

# A full device: the Java file name is a link to /dev/full, so every write
# fails with "No space left on device".
if [ -c /dev/full ] && [ -w /dev/full ]; then
  begin_case "full device"
  fresh_folders
  { struct_text small 1; struct_text full 3; struct_text after 1; } > "$run/input.x"
  ln -s /dev/full "$run/full.java"
  run_vorlith -c input.x
  expect_status 255
  expect_stderr $'full.java: No space left on device\n'
  expect_stdout ""
  expect_files small.java
  expect_complete_file small.java
  [ -c /dev/full ] || fail "/dev/full is gone"
  expect_no_temp
else
  echo "note: /dev/full is missing; the full-device case did not run"
fi

# The file lists on standard output are output too: a full device there
# is a failed run, not a silent success.
if [ -c /dev/full ] && [ -w /dev/full ]; then
  begin_case "standard output on a full device"
  fresh_folders
  struct_text small 1 > "$run/input.x"
  (cd "$run" && PATH="$work/bin:$PATH" TMPDIR="$tmp" timeout 60 vorlith -c input.x) > /dev/full 2> "$out/stderr" < /dev/null
  status=$?
  checks=$((checks + 1))
  expect_status 255
  expect_stderr $'vorlith: <stdout>: No space left on device\n'
  expect_files small.java
  expect_no_temp
fi

# A folder where the file should be: it cannot be opened and stays.
begin_case "a folder in place of the file"
fresh_folders
{ struct_text small 1; struct_text taken 1; } > "$run/input.x"
mkdir "$run/taken.java"
run_vorlith -c input.x
expect_status 255
expect_stderr $'taken.java: Is a directory\n'
expect_stdout ""
expect_files small.java taken.java
[ -d "$run/taken.java" ] || fail "the folder taken.java is gone"
expect_no_temp

# The same limit with the preprocessor: the temporary file goes as well.
begin_case "file-size limit with the preprocessor"
fresh_folders
{ struct_text small 1; struct_text mid 20; } > "$run/input.x"
SKARDO_CPP=fakecpp run_limited -p -c input.x
expect_status 255
expect_stderr $'fakecpp -C  input.x \nfakecpp -C  input.x \nfakecpp -C -DRPC_XDR input.x \nmid.java: File too large\n'
expect_files small.java
expect_no_temp

finish
