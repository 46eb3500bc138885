#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# Generates Java from each of the system's own interface files and compiles
# it against the runtime's jar, one folder per file. Their "%" lines hold C
# and are left out; their "#" lines are C preprocessor directives, so
# vorlith runs with -p. What they take from C headers comes from
# companion.x, put in front of each file, and from the few extras below.
# Every file that fails to generate or to compile is named.
#
#   system_interfaces.sh VORLITH JAVAC ZELT_JAR WORK_DIR COMPANION [FILE.x ...]
#
# Without FILEs it takes /usr/include/rpcsvc/*.x,
# /usr/include/tirpc/rpc/*.x and /usr/include/tirpc/rpcsvc/*.x.
# VORLITH_OPTIONS, when set, holds options for every run (--idiomatic).
set -u
vorlith=$(realpath "$1") javac=$2 jar=$(realpath "$3") work=$4 companion=$(realpath "$5")
shift 5
if [ $# -eq 0 ]; then
  set -- /usr/include/rpcsvc/*.x /usr/include/tirpc/rpc/*.x /usr/include/tirpc/rpcsvc/*.x
fi
[ -e "$1" ] || { echo "no interface files found (package rpcsvc-proto and libtirpc-dev)"; exit 1; }

# Per file, what its C includes bring besides the companion's types.
extras() {
  case $1 in
    # nis_callback.x takes nis_object and nis_error from nis.h, made from nis.x.
    nis_callback) echo '#include "nis.x"' ;;
    # rpcb_prot.h defines every procedure's name as its number; three are
    # used as values before their procedures.
    rpcb_prot) printf 'const RPCBPROC_CALLIT = 5;\nconst RPCBPROC_TADDR2UADDR = 8;\nconst RPCBPROC_GETSTAT = 12;\n' ;;
  esac
}

rm -rf "$work"
mkdir -p "$work/source"
for file in "$@"; do
  grep -v '^%' "$file" >"$work/source/$(basename "$file")"
done

failed=()
for file in "$@"; do
  name=$(basename "$file" .x)
  dir=$work/$name
  mkdir -p "$dir/gen" "$dir/classes"
  # Included files are found beside the input.
  cp "$work"/source/*.x "$dir/gen/"
  { cat "$companion"; extras "$name"; cat "$work/source/$name.x"; } >"$dir/gen/input.x"
  # shellcheck disable=SC2086
  if ! (cd "$dir/gen" && "$vorlith" ${VORLITH_OPTIONS:-} -p input.x) >"$dir/vorlith.out" 2>"$dir/vorlith.err"; then
    echo "$name: vorlith failed:"
    tail -n 5 "$dir/vorlith.err"
    failed+=("$name")
    continue
  fi
  if ! "$javac" -Xlint:all -Werror -cp "$jar" -d "$dir/classes" "$dir"/gen/*.java >"$dir/javac.log" 2>&1; then
    echo "$name: the generated Java does not compile:"
    head -n 20 "$dir/javac.log"
    failed+=("$name")
    continue
  fi
  echo "$name: $(ls "$dir"/gen/*.java | wc -l) files compile"
done

echo "$(($# - ${#failed[@]})) of $# interface files give Java that compiles"
[ ${#failed[@]} -eq 0 ] || { echo "failed: ${failed[*]}"; exit 1; }
