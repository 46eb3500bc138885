#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# 100,000 definitions in one input: every one is parsed in every pass, every
# constant reaches the interface file, every data type gets its class file,
# and the pass summary lists them all in input order.
source "$(dirname "$0")/lib.sh"
input_files=(input.x)

begin_case "99,999 constants and a program"
fresh_folders
{
  for ((i = 0; i < 99999; i++)); do printf 'const C%d = %d;\n' "$i" "$i"; done
  printf 'program P { version V { int F(int) = 1; } = 1; } = 7;\n'
} > "$run/input.x"
run_vorlith -l input.x
expect_status 0
expect_stderr ""
expect_stdout $'\nGenerated RPC Client files:\n \tP_cln.java\n\n'
expect_files P.java P_cln.java
expect_complete_file P.java
expect_complete_file P_cln.java
count=$(grep -c '^	public static final int C[0-9]* = [0-9]*;$' "$run/P.java")
[ "$count" = 99999 ] || fail "P.java holds $count constant lines, expected 99999"
grep -qx $'\tpublic static final int C99998 = 99998;' "$run/P.java" || fail "the last constant is missing"
expect_no_temp

# 80,000 constants and 20,000 data types, 4,000 of each kind, with the
# program last so that the bounds name the interface.
begin_case "100,000 definitions of every kind"
fresh_folders
{
  for ((i = 0; i < 80000; i++)); do printf 'const K%d = %d;\n' "$i" "$i"; done
  for ((i = 0; i < 4000; i++)); do
    printf 'struct s%d { int a[K%d]; t%d *next; };\n' "$i" "$i" "$i"
    printf 'union u%d switch (int d) { case K%d: e%d x; default: void; };\n' "$i" "$i" "$i"
    printf 'enum e%d { A%d, B%d = K%d, C%d };\n' "$i" "$i" "$i" "$i" "$i"
    printf 'typedef s%d t%d<>;\n' "$i" "$i"
  done
  for ((i = 0; i < 3999; i++)); do printf 'typedef opaque o%d[%d];\n' "$i" "$i"; done
  printf 'program Q { version V { void G(void) = 1; } = 1; } = 9;\n'
} > "$run/input.x"
run_vorlith -c input.x
expect_status 0
expect_stderr ""
{
  printf '\nGenerated XDR files:\n '
  for ((i = 0; i < 4000; i++)); do printf '\ts%d.java\n\tu%d.java\n\te%d.java\n\tt%d.java\n' "$i" "$i" "$i" "$i"; done
  for ((i = 0; i < 3999; i++)); do printf '\to%d.java\n' "$i"; done
  printf '\n'
} > "$expect/stdout"
cmp -s "$expect/stdout" "$out/stdout" || fail "the summary does not list the 19,999 class files in input order"
files=$(find "$run" -name '*.java' | wc -l)
[ "$files" = 20000 ] || fail "$files Java files written, expected 20000 (19,999 classes and Q.java)"
for f in Q.java s0.java u1999.java e3999.java t123.java o3998.java; do expect_complete_file "$f"; done
grep -q 'Q.K3999\]' "$run/s3999.java" || fail "a bound is not qualified with the interface name"
expect_no_temp

finish
