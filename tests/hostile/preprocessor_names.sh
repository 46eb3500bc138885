#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# Input file names that mean something to the shell, run through the
# preprocessor (-p): blanks, quotes, ";", "$", back quotes, a backslash and
# a line feed. The name reaches the preprocessor as one word, nothing of it
# runs as a command, the echoed command line shows the name as it is, the
# run succeeds and no temporary file stays behind.
source "$(dirname "$0")/lib.sh"

names=(
  'with blank.x'
  "it's.x"
  'say "hi".x'
  'a;touch INJECTED;b.x'
  '$(touch INJECTED).x'
  '`touch INJECTED`.x'
  '$HOME and ${PATH}.x'
  'back\slash.x'
  $'line\nbreak.x'
  $'all of \' " ; $ ` \\ \n at once.x'
)
content=$'struct s { int a; };\nprogram P { version V { int F(s) = 1; } = 1; } = 1;\n'
syntax_error=$'struct s { int a; };\nstruct t { int b; } x;\n'

preprocessors=(fakecpp)
if [ -x /lib/cpp ]; then
  preprocessors+=(/lib/cpp)
else
  echo "note: /lib/cpp is missing; only the stand-in preprocessor runs"
fi

# The five echoed command lines of a full run: path, flag, define word and
# the name as given, then a blank.
echo_lines() {
  local pp=$1 name=$2 word
  for word in "" "" -DRPC_XDR -DRPC_CLNT -DRPC_SVC; do
    printf '%s -C %s %s \n' "$pp" "$word" "$name"
  done
}

for pp in "${preprocessors[@]}"; do
  for name in "${names[@]}"; do
    begin_case "$pp with name [$name]"
    fresh_folders
    input_files=("$name")
    printf '%s' "$content" > "$run/$name"
    if [ "$pp" = fakecpp ]; then SKARDO_CPP=fakecpp run_vorlith -p "$name"; else run_vorlith -p "$name"; fi
    expect_status 0
    expect_stderr "$(echo_lines "$pp" "$name")"$'\n'
    expect_stdout $'\nGenerated XDR files:\n \ts.java\n\n\nGenerated RPC Client files:\n \tP_cln.java\n\n\nGenerated RPC Server files:\n \tP_svcb.java\n\n'
    # Files besides these, such as INJECTED, mean the name ran as a command.
    expect_files s.java P.java P_cln.java P_svcb.java
    for f in s.java P.java P_cln.java P_svcb.java; do expect_complete_file "$f"; done
    grep -q 'int F(s in_arg)' "$run/P.java" || fail "P.java lacks the procedure: the input did not come through"
    expect_no_temp
  done
done

# A syntax error ends the run in the first pass; the temporary file of that
# pass goes too. The report names the input as the preprocessor's line
# markers give it.
for pp in "${preprocessors[@]}"; do
  for name in 'with blank.x' 'a;touch INJECTED;b.x' "it's.x"; do
    begin_case "$pp, syntax error in [$name]"
    fresh_folders
    input_files=("$name")
    printf '%s' "$syntax_error" > "$run/$name"
    # Without line markers the name is the one from the command line; the
    # real preprocessor's markers carry these names unchanged.
    if [ "$pp" = fakecpp ]; then SKARDO_CPP=fakecpp run_vorlith -p "$name"; else run_vorlith -p "$name"; fi
    expect_status 1
    [ "$(head -n 3 "$out/stderr" | tail -n 1)" = "$pp -C  $name " ] || fail "echo line: $(head -n 3 "$out/stderr" | tail -n 1)"
    [ "$(tail -n 1 "$out/stderr")" = "$name, line 2: expected ';'" ] || fail "report: $(tail -n 1 "$out/stderr")"
    expect_stdout ""
    expect_files
    expect_no_temp
  done
done

finish
