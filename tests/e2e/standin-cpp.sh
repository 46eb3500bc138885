#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# Stand-in preprocessor: records how it was called and where its output goes,
# then copies the input behind a line marker of its own.
set -eu
in=${!#}
out=$(readlink -f /proc/$$/fd/1)
{
  printf 'argc=%d' "$#"
  printf ' [%s]' "$@"
  printf '\n'
  case "$out" in
    "$(readlink -f "$TMPDIR")"/*) echo 'output: a file in TMPDIR' ;;
    *) echo 'output: elsewhere' ;;
  esac
  echo "files in TMPDIR: $(ls -A "$TMPDIR" | wc -l)"
} >> cpp.log
printf '# 100 "standin.x"\n'
cat -- "$in"
