#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# Lines of 10 MB: read whole as one line, tokens never split, the line
# counted once; an error on such a line echoes it whole.
source "$(dirname "$0")/lib.sh"
input_files=(input.x)
mb10=$((10 * 1024 * 1024))

# A 10 MB run of blanks and tabs before the tokens, then a program whose
# number is a 10 MB hexadecimal constant (of value 1: its digits lead with
# zeros, as a number beyond 32 bits is no program number).
begin_case "10 MB of blanks, then a 10 MB number"
fresh_folders
{
  head -c "$mb10" /dev/zero | tr '\0' ' '
  printf 'const A = 1;\n'
  printf 'program P { version V { int F(int) = 1; } = 1; } = 0x'
  head -c "$mb10" /dev/zero | tr '\0' '0'
  printf '1;\nstruct s { int a[A]; };\n'
} > "$run/input.x"
run_vorlith -c input.x
expect_status 0
expect_stderr ""
expect_stdout $'\nGenerated XDR files:\n \ts.java\n\n'
expect_files P.java s.java
expect_complete_file P.java
# The number arrives whole in the interface file.
{
  printf '\tpublic static final int _def_pno = 0x'
  head -c "$mb10" /dev/zero | tr '\0' '0'
  printf '1;\n'
} > "$expect/pno"
grep -a '_def_pno' "$run/P.java" | cmp -s - "$expect/pno" || fail "program number not written whole"
grep -qa 'P.A\]' "$run/s.java" || fail "bound not qualified with the interface name"
expect_no_temp

# A 10 MB number of 40 million bits is out of range for a program number:
# an input error, and no file.
begin_case "a 10 MB program number"
fresh_folders
{
  printf 'program P { version V { int F(int) = 1; } = 1; } = 0x'
  head -c "$mb10" /dev/zero | tr '\0' 'f'
  printf ';\n'
} > "$run/input.x"
run_vorlith -c input.x
expect_status 1
tail -n 1 "$out/stderr" | grep -qx 'input.x, line 1: program number out of range: expected 0 to 4294967295' ||
  fail "no out-of-range message"
expect_files
expect_no_temp

# An identifier of 10 MB followed by a byte no token starts with: the
# report echoes the whole line, marks all of it, and counts it as line 2.
begin_case "10 MB identifier, then an illegal byte"
fresh_folders
{
  printf 'const A = 1;\n'
  printf 'const B = '
  head -c "$mb10" /dev/zero | tr '\0' 'x'
  printf '?;\n'
  printf 'const C = 3;\n'
} > "$run/input.x"
run_vorlith input.x
expect_status 1
size=$(wc -c < "$out/stderr")
# banner + echo (10 + 10 MB + 3) + carets (10 + 10 MB + newline) + message
message='input.x, line 2: illegal character in file: ?'
want=$(( ${#banner} + (10 + mb10 + 3) + (10 + mb10 + 1) + ${#message} + 1 ))
[ "$size" = "$want" ] || fail "standard error has $size bytes, expected $want"
[ "$(tail -n 1 "$out/stderr")" = "$message" ] || fail "last line: $(tail -n 1 "$out/stderr" | head -c 200)"
# (large texts are measured with tools: bash strings of 10 MB are slow)
marks=$(tail -n 2 "$out/stderr" | head -n 1 | tr -d -c '^' | wc -c)
others=$(tail -n 2 "$out/stderr" | head -n 1 | tr -d '^' | wc -c)
[ "$marks" = $((10 + mb10)) ] || fail "caret line has $marks marks, expected $((10 + mb10))"
[ "$others" = 1 ] || fail "caret line holds $((others - 1)) bytes besides the marks"
expect_stdout ""
expect_files
expect_no_temp

# A 10 MB comment on one line, and a 10 MB pass-through line: the lines
# after them keep their numbers, and the pass-through text reaches the file.
begin_case "10 MB comment and pass-through lines"
fresh_folders
{
  printf '/*'
  head -c "$mb10" /dev/zero | tr '\0' '*'
  printf '/\n%%'
  head -c "$mb10" /dev/zero | tr '\0' '#'
  printf '\nstruct s { int a; };\n'
  printf 'struct t { int b; } x;\n'
} > "$run/input.x"
run_vorlith -c input.x
expect_status 1
expect_stderr $'struct t { int b; } x;\n^^^^^^^^^^^^^^^^^^^^^\ninput.x, line 4: expected \';\'\n'
expect_files
expect_no_temp

begin_case "10 MB pass-through line copied into the file"
fresh_folders
{
  printf '%%'
  head -c "$mb10" /dev/zero | tr '\0' '#'
  printf '\nstruct s { int a; };\n'
} > "$run/input.x"
run_vorlith -c input.x
expect_status 0
expect_stderr ""
expect_files s.java
expect_complete_file s.java
size=$(wc -c < "$run/s.java")
[ "$size" -gt "$mb10" ] || fail "s.java has $size bytes: the pass-through line is missing"
expect_no_temp

finish
