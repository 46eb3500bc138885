#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# Inputs that stop where they must not: a comment that never ends, a string
# that never ends at the end of the file, and a file that ends at every byte
# of each kind of definition.
source "$(dirname "$0")/lib.sh"
input_files=(input.x)

program_text=$'program P {\n\tversion V {\n\t\tvoid NULLPROC(void) = 0;\n\t\tint F(s) = 1;\n\t} = 1;\n} = 0x20000001;\n'

# ---- A comment that never ends: an error where it began, and no file. ----
begin_case "comment never ends"
fresh_folders
printf '%s%s' "$program_text" $'struct s { int a; };\n/* no end\nstruct t { int b; };\n#1 "marker"\n%pass\n' > "$run/input.x"
run_vorlith input.x
expect_status 1
# The comment begins at the first byte of line 8: no caret.
expect_stderr $'/* no end\n\ninput.x, line 8: unterminated comment\n'
expect_stdout ""
expect_files
expect_no_temp

begin_case "comment never ends, last byte a star"
fresh_folders
printf 'const A = 1; /* open *' > "$run/input.x"
run_vorlith input.x
expect_status 1
expect_stderr $'const A = 1; /* open *^^^^^^^^^^^^^\ninput.x, line 1: unterminated comment\n'
expect_stdout ""
expect_files
expect_no_temp

begin_case "comment never ends inside a struct"
fresh_folders
printf 'struct s {\n\tint a;\n/* the rest\n\tint b;\n};\n' > "$run/input.x"
run_vorlith input.x
expect_status 1
expect_stderr $'/* the rest\n\ninput.x, line 3: unterminated comment\n'
expect_stdout ""
expect_files
expect_no_temp

# ---- A string that never ends at the end of the file. ----
begin_case "string never ends, no line feed"
fresh_folders
printf 'const A = 1;\nconst S = "abc' > "$run/input.x"
run_vorlith input.x
expect_status 1
# The line has no line feed: its carets follow on the same output line.
expect_stderr $'const S = "abc^^^^^^^^^^\ninput.x, line 2: unterminated string constant\n'
expect_stdout ""
expect_files
expect_no_temp

begin_case "string never ends, a lone quote as the last byte"
fresh_folders
printf 'const S = "' > "$run/input.x"
run_vorlith -c input.x
expect_status 1
expect_stderr $'const S = "^^^^^^^^^^\ninput.x, line 1: unterminated string constant\n'
expect_files
expect_no_temp

begin_case "string never ends, line feed last"
fresh_folders
printf 'const S = "abc\n' > "$run/input.x"
run_vorlith -l input.x
expect_status 1
expect_stderr $'const S = "abc\n^^^^^^^^^^\ninput.x, line 1: unterminated string constant\n'
expect_files
expect_no_temp

# ---- A file that ends at every byte of each kind of definition. ----
# Every proper prefix of a definition lacks its closing ";" and must end
# with one report naming the last line; the empty file and the whole
# definition succeed. Nothing is written for a failed run: the first pass
# writes no file.
known='(expected .*|definition keyword expected|constant or identifier expected|expected type specifier|unterminated string constant|illegal character in file: /|variable-length array declaration expected|array declaration expected)'
samples=(
  $'const LIMIT = 10;\n'
  $'const NAME = "x y";\n'
  $'struct s {\n\tint a[LIMIT];\n\tstring b<>;\n\ts *next;\n\tunsigned short c<5>;\n};\n'
  $'union u switch (int d) {\ncase 1:\n\tint x;\ncase LIMIT:\n\tvoid;\ndefault:\n\thyper h;\n};\n'
  $'union v switch (e k) {\ncase A:\n\topaque o[4];\n};\n'
  $'enum e { A, B = 2, C };\n'
  $'typedef unsigned long ids<16>;\n'
  "$program_text"
)
for sample in "${samples[@]}"; do
  length=${#sample}
  kind=${sample%% *}
  for ((k = 0; k <= length; k++)); do
    prefix=${sample:0:k}
    begin_case "$kind, first $k of $length bytes"
    rm -f "$run"/*.java
    printf '%s' "$prefix" > "$run/input.x"
    run_vorlith input.x
    if [ "$k" = 0 ]; then
      expect_status 0
      expect_files
    elif [ "$k" -ge $((length - 1)) ]; then
      expect_status 0
      [ -s "$out/stdout" ] || fail "no summaries on standard output"
    else
      expect_status 1
      # The line number is that of the last line of the prefix.
      newlines=${prefix//[!$'\n']/}
      line=${#newlines}
      [ "${prefix: -1}" = $'\n' ] || line=$((line + 1))
      last=$(tail -n 1 "$out/stderr")
      if ! [[ "$last" =~ ^input\.x,\ line\ ([0-9]+):\ $known$ ]]; then
        fail "unexpected report: $last"
      elif [ "${BASH_REMATCH[1]}" != "$line" ]; then
        fail "report names line ${BASH_REMATCH[1]}, the input ends on line $line"
      fi
      expect_stdout ""
      expect_files
    fi
    expect_no_temp
  done
done

# A few of those endings with their exact reports.
fresh_folders
begin_case "end right after a keyword"
printf 'struct' > "$run/input.x"
run_vorlith input.x
expect_status 1
expect_stderr $'struct^^^^^^\ninput.x, line 1: expected \'identifier\'\n'

begin_case "end after the equals sign of a constant"
printf 'const A =\n' > "$run/input.x"
run_vorlith input.x
expect_status 1
expect_stderr $'const A =\n^^^^^^^^^^\ninput.x, line 1: expected \'identifier\' or \'??????\'\n'

begin_case "end after the last brace of a struct"
printf 'struct s { int a; }' > "$run/input.x"
run_vorlith input.x
expect_status 1
expect_stderr $'struct s { int a; }^^^^^^^^^^^^^^^^^^^\ninput.x, line 1: expected \';\'\n'

begin_case "end after a union arm"
printf 'union u switch (int d) { case 1: int x;\n' > "$run/input.x"
run_vorlith input.x
expect_status 1
expect_stderr $'union u switch (int d) { case 1: int x;\n^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^^\ninput.x, line 1: expected \'case\', \'default\' or \'}\'\n'

begin_case "end after an enum member"
printf 'enum e { A,' > "$run/input.x"
run_vorlith input.x
expect_status 1
expect_stderr $'enum e { A,^^^^^^^^^^^\ninput.x, line 1: expected \'identifier\'\n'

begin_case "end inside a version"
printf 'program P { version V { int F(int) = 1;\n\n' > "$run/input.x"
run_vorlith input.x
expect_status 1
# The last line read is empty: it is echoed as a bare line feed and marked.
expect_stderr $'\n^\ninput.x, line 2: expected type specifier\n'

expect_files
expect_no_temp
finish
