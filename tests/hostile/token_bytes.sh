#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# Every byte value 0 to 255 at the start of a token after a blank in the
# middle of a line, and a selection of them as the first byte of the file. Each run must
# end as the byte's class demands, with the exact report on standard error.
source "$(dirname "$0")/lib.sh"
input_files=(input.x)

# What a byte at the start of a token leads to:
#   space   whitespace: skipped, the input is empty, the run succeeds
#   string  a double quote: the string has no end on its line
#   token   it starts a one-byte token (number, identifier or punctuation)
#           where a definition keyword must stand
#   illegal no token starts with it
# (sets class; no subshells, as this runs 512 times)
classify() {
  local b=$1
  if [ "$b" = 32 ] || { [ "$b" -ge 9 ] && [ "$b" -le 13 ]; }; then class=space
  elif [ "$b" = 34 ]; then class=string
  elif [ "$b" = 45 ] || { [ "$b" -ge 48 ] && [ "$b" -le 57 ]; } ||
       { [ "$b" -ge 65 ] && [ "$b" -le 90 ]; } || { [ "$b" -ge 97 ] && [ "$b" -le 122 ]; } ||
       [ "$b" = 95 ]; then class=token
  else
    case "$b" in
      40 | 41 | 123 | 125 | 91 | 93 | 60 | 62 | 42 | 44 | 61 | 58 | 59) class=token ;;
      *) class=illegal ;;
    esac
  fi
}

# How the illegal-character message shows a byte: printable ones as they
# are, all others as the value of a signed byte.
shown_byte() {
  local b=$1
  if [ "$b" -ge 33 ] && [ "$b" -le 126 ]; then
    byte "$b"
  elif [ "$b" -ge 128 ]; then
    echo -n "$((b - 256))"
  else
    echo -n "$b"
  fi
}

byte() {
  local octal
  printf -v octal '%03o' "$1"
  printf "\\$octal"
}

# As the first byte of the file only the bytes that matter there, and one of
# each other class, to keep the run short under the sanitizers.
first_bytes=" 0 9 10 13 32 34 35 37 45 47 48 59 95 97 127 128 255 "

for b in $(seq 0 255); do
  classify "$b"
  positions=middle
  [[ "$first_bytes" == *" $b "* ]] && positions="middle first"
  for where in $positions; do
    begin_case "byte $b ($class) $where"
    if [ "$where" = middle ]; then
      { printf ' '; byte "$b"; printf '\n'; } > "$run/input.x"
      prefix=1
    else
      { byte "$b"; printf '\n'; } > "$run/input.x"
      prefix=0
    fi
    run_vorlith input.x

    # As the first byte of a line, "#" starts a line marker and "%" a
    # pass-through line: both are consumed and the input has no definition.
    effective=$class
    if [ "$where" = first ] && { [ "$b" = 35 ] || [ "$b" = 37 ]; }; then effective=space; fi

    # The report echoes the line as read (a tab widens to 8 - i mod 4
    # blanks), marks the bytes read and names the line.
    echo_line() {
      if [ "$where" = middle ]; then printf ' '; fi
      if [ "$b" = 9 ]; then printf '%*s' $((8 - prefix % 4)) ''; else byte "$b"; fi
      printf '\n'
    }
    carets() {
      local marks
      printf -v marks '%*s' "$1" ''
      printf '%s\n' "${marks// /^}"
    }
    case "$effective" in
      space)
        expect_status 0
        expect_stderr ""
        expect_stdout "$empty_summaries"
        ;;
      string)
        expect_status 1
        { printf '%s' "$banner"; echo_line; carets "$prefix"
          printf 'input.x, line 1: unterminated string constant\n'; } > "$expect/stderr"
        expect_stderr_file "$expect/stderr"
        expect_stdout ""
        ;;
      token)
        expect_status 1
        { printf '%s' "$banner"; echo_line; carets $((prefix + 1))
          printf 'input.x, line 1: definition keyword expected\n'; } > "$expect/stderr"
        expect_stderr_file "$expect/stderr"
        expect_stdout ""
        ;;
      illegal)
        expect_status 1
        { printf '%s' "$banner"; echo_line; carets "$prefix"
          printf 'input.x, line 1: illegal character in file: '; shown_byte "$b"; printf '\n'; } > "$expect/stderr"
        expect_stderr_file "$expect/stderr"
        expect_stdout ""
        ;;
    esac
    expect_files
    expect_no_temp
  done
done

finish
