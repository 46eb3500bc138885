#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# Where definitions sit in the input changes nothing. Tokens, comments,
# pass-through lines and line markers that straddle the 64 KiB mark (where
# a file's first piece ends, and where the input of a stream first grows),
# and lines longer than that, must read exactly as they do anywhere else.
# Every run is compared with a run on the same definitions without the
# padding in front.
source "$(dirname "$0")/lib.sh"
input_files=(input.x)
block=65536

definitions=$'const S = "a string";\nstruct s { int alpha[LIMIT]; string name<>; s *next; };\n%// pass-through text\nenum e { A, B = 0x10, C };\n# 40 "renamed.x"\nprogram P { version V { int F(s) = 1; } = 1; } = 0x20000001;\n'
# The files of the reference run, and its standard output.
reference="$work/reference"
mkdir "$reference"
printf '%s' "$definitions" > "$reference/input.x"
(cd "$reference" && TMPDIR="$tmp" "$vorlith" input.x > "$work/reference.stdout" 2> /dev/null) ||
  { echo "the reference run failed"; exit 1; }
rm "$reference/input.x"

# Compares the working folder with the reference run.
expect_reference() {
  expect_status 0
  expect_stderr ""
  cmp -s "$work/reference.stdout" "$out/stdout" || fail "standard output differs from the reference"
  local f
  for f in "$reference"/*.java; do
    cmp -s "$f" "$run/${f##*/}" || fail "${f##*/} differs from the reference"
  done
  expect_files input.x $(cd "$reference" && ls)
}

# padding SIZE: comment lines of 64 bytes, then one of 5 to 68 bytes, SIZE
# bytes in all.
stars=$(head -c 59 /dev/zero | tr '\0' '*')
for ((i = 0; i < 2048; i++)); do printf '/*%s*/\n' "$stars"; done > "$work/pad64"
padding() {
  local size=$1 lines
  lines=$(((size - 5) / 64))
  head -n "$lines" "$work/pad64"
  printf '/*%*s*/\n' $((size - lines * 64 - 5)) ''
}

# The definitions start up to 120 bytes before the first block boundary,
# so every token of their first lines straddles it once.
for ((k = 1; k <= 120; k++)); do
  begin_case "definitions start $k bytes before the block boundary"
  fresh_folders
  { padding $((block - k)); printf '%s' "$definitions"; } > "$run/input.x"
  run_vorlith input.x
  expect_reference
done

# One line longer than 64 KiB, then the definitions.
for size in $((block - 1)) $block $((block + 1)) $((3 * block + 7)); do
  begin_case "a comment line of $size bytes first"
  fresh_folders
  { printf '/*'; head -c $((size - 5)) /dev/zero | tr '\0' ' '; printf '*/\n'; printf '%s' "$definitions"; } > "$run/input.x"
  run_vorlith input.x
  expect_reference
done

# A pass-through line and a line marker across the boundary.
for ((k = 1; k <= 30; k++)); do
  begin_case "pass-through line across the boundary, $k bytes before it"
  fresh_folders
  { padding $((block - k)); printf '%%// pass-through text long enough to cross\n%s' "$definitions"; } > "$run/input.x"
  run_vorlith -c input.x
  expect_status 0
  grep -q '^// pass-through text long enough to cross$' "$run/s.java" || fail "pass-through line damaged"
done

# A report on a line across the boundary echoes the whole line.
for ((k = 1; k <= 25; k++)); do
  begin_case "error on a line across the boundary, $k bytes before it"
  fresh_folders
  { padding $((block - k)); printf 'struct t { int b; } x;\n'; } > "$run/input.x"
  run_vorlith input.x
  expect_status 1
  lines=$(( (block - k - 5) / 64 + 2 ))
  expect_stderr $'struct t { int b; } x;\n^^^^^^^^^^^^^^^^^^^^^\n'"input.x, line $lines: expected ';'"$'\n'
done

finish
