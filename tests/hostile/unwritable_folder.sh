#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# An output folder that is not writable, and a generated file that is not:
# the open failure names the file, status 255, nothing is left behind.
#
# Root may write anywhere; as root the runs go without capabilities
# (setpriv), so the file modes apply as they would to any user.
source "$(dirname "$0")/lib.sh"
input_files=(input.x)

drop=()
if [ "$(id -u)" = 0 ]; then
  if ! command -v setpriv > /dev/null; then
    echo "SKIP: running as root and setpriv is missing, so permissions cannot apply"
    exit 77
  fi
  drop=(setpriv --inh-caps=-all --bounding-set=-all --)
fi
run_unprivileged() {
  run_prefix=("${drop[@]}")
  run_vorlith "$@"
  run_prefix=()
}

# Make sure the modes really bind: a file must not be creatable here.
fresh_folders
chmod 555 "$run"
if "${drop[@]}" touch "$run/probe" 2> /dev/null; then
  echo "SKIP: a read-only folder is still writable here"
  exit 77
fi
chmod 755 "$run"

program='program P { version V { int F(int) = 1; } = 1; } = 1;'

begin_case "read-only folder, interface file"
fresh_folders
printf 'struct s { int a; };\n%s\n' "$program" > "$run/input.x"
chmod 555 "$run"
run_unprivileged input.x
expect_status 255
expect_stderr $'P.java: Permission denied\n'
expect_stdout ""
expect_files
expect_no_temp

begin_case "read-only folder, type class"
fresh_folders
printf 'struct s { int a; };\n' > "$run/input.x"
chmod 555 "$run"
run_unprivileged -c input.x
expect_status 255
expect_stderr $'s.java: Permission denied\n'
expect_stdout ""
expect_files
expect_no_temp

begin_case "read-only folder with the preprocessor"
fresh_folders
printf 'struct s { int a; };\n%s\n' "$program" > "$run/input.x"
chmod 555 "$run"
SKARDO_CPP=fakecpp run_unprivileged -p -m input.x
expect_status 255
expect_stderr $'fakecpp -C  input.x \nfakecpp -C  input.x \nP.java: Permission denied\n'
expect_files
expect_no_temp

# A read-only file of the same name keeps its content.
begin_case "read-only existing file"
fresh_folders
printf 'struct a { int x; };\nstruct s { int a; };\n' > "$run/input.x"
printf 'keep me\n' > "$run/s.java"
chmod 444 "$run/s.java"
run_unprivileged -c input.x
expect_status 255
expect_stderr $'s.java: Permission denied\n'
expect_files a.java s.java
expect_complete_file a.java
[ "$(cat "$run/s.java")" = "keep me" ] || fail "the read-only s.java was changed"
expect_no_temp

finish
