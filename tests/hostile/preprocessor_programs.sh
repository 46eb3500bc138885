#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# SKARDO_CPP naming a preprocessor that misbehaves: one that fails, one that
# is missing or cannot run, one that writes nothing, one that writes a huge
# output, one that never stops writing, one killed by a signal. Each ends
# with its specified status and leaves no temporary file behind.
source "$(dirname "$0")/lib.sh"
input_files=(input.x)

content=$'struct s { int a; };\nprogram P { version V { int F(s) = 1; } = 1; } = 1;\n'
failed_text='Preprocessing failed with error %d.\nPlease check enviroment settings.'

# tool NAME BODY: a preprocessor script in the working folder's sibling bin.
tool() {
  printf '#!/bin/sh\n%s\n' "$2" > "$work/bin/$1"
  chmod +x "$work/bin/$1"
}

begin_case "preprocessor exits with 1"
fresh_folders
printf '%s' "$content" > "$run/input.x"
SKARDO_CPP=false run_vorlith -p input.x
expect_status 255
expect_stderr "false -C  input.x "$'\n'"$(printf "$failed_text" 256)"
expect_stdout ""
expect_files
expect_no_temp

# It wrote all its output before it failed: the output is not used.
begin_case "preprocessor writes its output, then exits with 3"
fresh_folders
printf '%s' "$content" > "$run/input.x"
tool cpp_exit3 'for a; do last=$a; done; cat -- "$last"; exit 3'
SKARDO_CPP=cpp_exit3 run_vorlith -p -c input.x
expect_status 255
expect_stderr "cpp_exit3 -C  input.x "$'\n'"$(printf "$failed_text" 768)"
expect_files
expect_no_temp

# It fails only for the type class pass: the interface file written in the
# pass before stays.
begin_case "preprocessor fails in the third pass"
fresh_folders
printf '%s' "$content" > "$run/input.x"
tool cpp_late 'for a; do last=$a; [ "$a" = -DRPC_XDR ] && exit 1; done; cat -- "$last"'
SKARDO_CPP=cpp_late run_vorlith -p input.x
expect_status 255
expect_stderr $'cpp_late -C  input.x \ncpp_late -C  input.x \ncpp_late -C -DRPC_XDR input.x \n'"$(printf "$failed_text" 256)"
expect_stdout ""
expect_files P.java
expect_complete_file P.java
expect_no_temp

# The shell reports the missing program itself (its text is the shell's);
# the shell's status 127 arrives as 32512.
begin_case "preprocessor missing"
fresh_folders
printf '%s' "$content" > "$run/input.x"
SKARDO_CPP=/nonexistent/cpp run_vorlith -p input.x
expect_status 255
[ "$(sed -n 3p "$out/stderr")" = "/nonexistent/cpp -C  input.x " ] || fail "echo line: $(sed -n 3p "$out/stderr")"
grep -q 'nonexistent/cpp.*not found\|nonexistent/cpp.*No such file' "$out/stderr" || fail "no word from the shell about the missing program"
[ "$(tail -n 2 "$out/stderr")" = "$(printf "$failed_text" 32512)" ] || fail "end of report: $(tail -n 2 "$out/stderr")"
[ "$(tail -c 1 "$out/stderr")" = . ] || fail "the report must not end with a line feed"
expect_stdout ""
expect_files
expect_no_temp

begin_case "preprocessor not executable"
fresh_folders
printf '%s' "$content" > "$run/input.x"
printf '#!/bin/sh\nexit 0\n' > "$work/bin/cpp_noexec"
chmod 644 "$work/bin/cpp_noexec"
SKARDO_CPP="$work/bin/cpp_noexec" run_vorlith -p input.x
expect_status 255
[ "$(tail -n 2 "$out/stderr")" = "$(printf "$failed_text" 32256)" ] || fail "end of report: $(tail -n 2 "$out/stderr")"
expect_files
expect_no_temp

# Nothing written is an empty input: every pass runs and finds nothing.
begin_case "preprocessor writes nothing"
fresh_folders
printf '%s' "$content" > "$run/input.x"
SKARDO_CPP=true run_vorlith -p input.x
expect_status 0
expect_stderr $'true -C  input.x \ntrue -C  input.x \ntrue -C -DRPC_XDR input.x \ntrue -C -DRPC_CLNT input.x \ntrue -C -DRPC_SVC input.x \n'
expect_stdout "$empty_summaries"
expect_files
expect_no_temp

# 16 MB of line feeds and 16 MB of comment lines before the input, in every pass.
begin_case "preprocessor writes a huge output"
fresh_folders
printf '%s' "$content" > "$run/input.x"
tool cpp_huge 'for a; do last=$a; done
head -c 16777216 /dev/zero | tr "\0" "\n"
yes "/* padding padding padding padding padding padding padding padding */" | head -n 240000
cat -- "$last"'
SKARDO_CPP=cpp_huge run_vorlith -p input.x
expect_status 0
expect_stdout $'\nGenerated XDR files:\n \ts.java\n\n\nGenerated RPC Client files:\n \tP_cln.java\n\n\nGenerated RPC Server files:\n \tP_svcb.java\n\n'
expect_files s.java P.java P_cln.java P_svcb.java
for f in s.java P.java P_cln.java P_svcb.java; do expect_complete_file "$f"; done
expect_no_temp

# An endless output stopped by a file-size limit on the temporary file (the
# writer gets "File too large" and fails, as SIGXFSZ is ignored).
begin_case "preprocessor output without end, under a file-size limit"
fresh_folders
printf '%s' "$content" > "$run/input.x"
tool cpp_endless 'exec yes "/* endless */"'
run_prefix=(bash -c 'trap "" XFSZ; ulimit -f 8192 && exec "$@"' limit)
SKARDO_CPP=cpp_endless run_vorlith -p input.x
run_prefix=()
expect_status 255
[ "$(sed -n 3p "$out/stderr")" = "cpp_endless -C  input.x " ] || fail "echo line: $(sed -n 3p "$out/stderr")"
[ "$(tail -n 2 "$out/stderr")" = "$(printf "$failed_text" 256)" ] || fail "end of report: $(tail -n 2 "$out/stderr")"
expect_files
expect_no_temp

# Killed by a signal: the shell or the C library reports it as a status
# other than 0, whichever of them saw the signal.
begin_case "preprocessor killed by a signal"
fresh_folders
printf '%s' "$content" > "$run/input.x"
tool cpp_killed 'kill -KILL $$'
SKARDO_CPP=cpp_killed run_vorlith -p input.x
expect_status 255
[[ "$(tail -n 2 "$out/stderr" | head -n 1)" =~ ^Preprocessing\ failed\ with\ error\ [1-9][0-9]*\.$ ]] ||
  fail "report: $(tail -n 2 "$out/stderr")"
expect_files
expect_no_temp

# Its output holds a syntax error: a report of the front end, status 1, and
# the temporary file still goes.
begin_case "preprocessor output with a syntax error"
fresh_folders
printf '%s' "$content" > "$run/input.x"
tool cpp_bad 'printf "# 7 \"from-cpp.x\"\nstruct broken {\n"'
SKARDO_CPP=cpp_bad run_vorlith -p input.x
expect_status 1
expect_stderr $'cpp_bad -C  input.x \nstruct broken {\n^^^^^^^^^^^^^^^^\nfrom-cpp.x, line 7: expected type specifier\n'
expect_files
expect_no_temp

# No place for the temporary file: the report names the folder and the run
# ends before any preprocessor runs.
begin_case "temporary folder missing"
fresh_folders
printf '%s' "$content" > "$run/input.x"
run_tmpdir="$work/no-such-folder"
SKARDO_CPP=fakecpp run_vorlith -p input.x
run_tmpdir=""
expect_status 255
expect_stderr "vorlith: $work/no-such-folder/vorlith.XXXXXX: No such file or directory"$'\n'
expect_files
[ ! -e "$work/no-such-folder" ] || fail "the missing temporary folder was created"

finish
