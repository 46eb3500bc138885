#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# Regenerates the committed Java of the examples.
#
#   examples/regen.sh VORLITH            rewrite examples/<name>/java/
#   examples/regen.sh VORLITH DEST       write DEST/<name>/ instead (for
#                                        comparing with the committed files)
#
# Each example is generated in an empty scratch folder with the options
# listed below, with the default preprocessor, so that the files depend only
# on the .x file and on vorlith. Standard error may hold only the banner and
# the echoed preprocessor commands; anything else (a diagnostic) fails.
# After rewriting the committed files, review `git diff examples/`.
set -eu

# name:options
examples=(
  "kvstore:"
  "filexfer:-p"
)

if [ $# -lt 1 ] || [ $# -gt 2 ]; then
  echo "usage: $0 VORLITH [DEST]" >&2
  exit 2
fi
vorlith=$(readlink -f "$1")
dest=""
[ $# -eq 2 ] && dest=$(mkdir -p "$2" && readlink -f "$2")
here=$(cd "$(dirname "$0")" && pwd)

scratch=$(mktemp -d "${TMPDIR:-/tmp}/vorlith-examples.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
unset SKARDO_CPP SKARDO_CPP_FLAG

for entry in "${examples[@]}"; do
  name=${entry%%:*}
  opts=${entry#*:}
  work="$scratch/$name"
  mkdir -p "$work/out" "$work/tmp"
  cp "$here/$name/$name.x" "$work/"
  status=0
  # shellcheck disable=SC2086  # opts is a list of words
  (cd "$work/out" && TMPDIR="$work/tmp" "$vorlith" $opts "../$name.x") \
    >"$work/stdout" 2>"$work/stderr" || status=$?
  if [ "$status" != 0 ]; then
    echo "$name: vorlith $opts $name.x exited with $status" >&2
    cat "$work/stderr" >&2
    exit 1
  fi
  # Banner lines and "/lib/cpp -C <word> ../<name>.x " echoes only.
  unexpected=$(grep -v -e '^Kelvaro Vorlith V' -e '^XDR/RPC interface compiler' \
                       -e "^/lib/cpp -C .* \.\./$name\.x $" "$work/stderr" || true)
  if [ -n "$unexpected" ]; then
    echo "$name: unexpected messages on standard error:" >&2
    echo "$unexpected" >&2
    exit 1
  fi
  if [ -n "$(ls -A "$work/tmp")" ]; then
    echo "$name: temporary files left behind: $(ls -A "$work/tmp")" >&2
    exit 1
  fi
  if [ -z "$dest" ]; then
    target="$here/$name/java"
    rm -rf "$target"
  else
    target="$dest/$name"
    rm -rf "$target"
  fi
  mkdir -p "$target"
  cp "$work/out/"*.java "$target/"
done
