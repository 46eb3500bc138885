#!/bin/bash
# Runs the README's examples, so that what it shows is what vorlith does.
#
#   readme_check.sh README VORLITH_DIR SOURCE_DIR
#
# A fenced block in the README is checked when an HTML comment right before
# it (invisible on the rendered page) says how:
#
#   <!-- test: file PATH -->   the block's text is written to PATH
#   <!-- test: run -->         the block runs with bash -eu and must succeed
#   <!-- test: transcript -->  lines starting with "$ " are commands; the
#                              lines after one, up to the next, are what it
#                              prints: standard error, then standard output
#   <!-- untested: REASON -->  the block is not run, for the reason given
#
# Every ```sh and ```console block must carry one of these. All blocks work
# in one scratch folder holding a copy of examples/, in README order; each
# run or transcript block starts at the top of that folder, with vorlith on
# PATH and ZELT_JAR naming the runtime's jar as the build made it.
#
#   readme_check.sh README VORLITH_DIR SOURCE_DIR ZELT_JAR
set -eu
readme=$1
vorlith_dir=$(readlink -f "$2")
source=$(readlink -f "$3")
zelt_jar=$(readlink -f "$4")

scratch=$(mktemp -d "${TMPDIR:-/tmp}/vorlith-readme.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
work="$scratch/work"
blocks="$scratch/blocks"
mkdir -p "$work" "$blocks" "$scratch/tmp"
cp -r "$source/examples" "$work/examples"

# Split the README into numbered block files: NNN.kind holds the block's
# text, NNN.arg the marker's argument. Unmarked sh/console blocks are
# listed in "unmarked".
awk -v dir="$blocks" '
  function flush_marker() { kind = ""; arg = "" }
  BEGIN { n = 0; inblock = 0; flush_marker() }
  inblock {
    if ($0 ~ /^```[ \t]*$/) { inblock = 0; if (kind != "") close(out); flush_marker(); next }
    if (kind != "") print > out
    next
  }
  /^<!-- test: (file [^ ]+|run|transcript) -->$/ {
    kind = $3; arg = (kind == "file") ? $4 : ""; next
  }
  /^<!-- untested: .+ -->$/ { kind = "untested"; next }
  /^```/ {
    inblock = 1; lang = substr($0, 4)
    if (kind == "untested") { kind = ""; next }
    if (kind == "") {
      if (lang == "sh" || lang == "console") print NR > (dir "/unmarked")
      next
    }
    n++
    out = sprintf("%s/%03d.%s", dir, n, kind)
    printf "" > out
    printf "%s", arg > sprintf("%s/%03d.arg", dir, n)
    close(sprintf("%s/%03d.arg", dir, n))
    next
  }
  /^[ \t]*$/ { next }
  { flush_marker() }
' "$readme"

if [ -s "$blocks/unmarked" ]; then
  echo "README: sh/console blocks without a test marker at lines:" $(cat "$blocks/unmarked") >&2
  exit 1
fi
count=$(find "$blocks" -name '*.run' -o -name '*.transcript' | wc -l)
if [ "$count" -lt 5 ]; then
  echo "README: only $count checked blocks found; the markers are probably broken" >&2
  exit 1
fi

export PATH="$vorlith_dir:$PATH"
export ZELT_JAR="$zelt_jar"
export TMPDIR="$scratch/tmp"
unset SKARDO_CPP SKARDO_CPP_FLAG CLASSPATH
export LC_ALL=C

fail=0
# Runs one transcript block; prints the differences and returns 1 on any.
run_transcript() {
  local block=$1 out="$scratch/t" i=0 line
  rm -rf "$out"; mkdir "$out"
  : >"$out/script"
  while IFS= read -r line || [ -n "$line" ]; do
    if [[ "$line" == '$ '* ]]; then
      i=$((i + 1))
      # A brace group keeps cd and variables for the next command, and $?
      # of the previous command for an "echo $?".
      printf '{ %s\n} >"$__out/%d.out" 2>"$__out/%d.err"\n' "${line#\$ }" "$i" "$i" >>"$out/script"
      printf '%s\n' "${line#\$ }" >"$out/$i.cmd"
      : >"$out/$i.expected"
    elif [ "$i" -gt 0 ]; then
      printf '%s\n' "$line" >>"$out/$i.expected"
    fi
  done <"$block"
  (cd "$work" && __out="$out" bash "$out/script") </dev/null
  local j rc=0
  for ((j = 1; j <= i; j++)); do
    cat "$out/$j.err" "$out/$j.out" >"$out/$j.actual"
    if ! cmp -s "$out/$j.expected" "$out/$j.actual"; then
      echo "README: \$ $(cat "$out/$j.cmd") printed something else:" >&2
      diff -u "$out/$j.expected" "$out/$j.actual" | sed 's/\t/<TAB>/g' >&2 || true
      rc=1
    fi
  done
  return $rc
}

for block in $(find "$blocks" -name '[0-9]*.*' ! -name '*.arg' | sort); do
  kind=${block##*.}
  arg=$(cat "${block%.*}.arg")
  case "$kind" in
    file)
      mkdir -p "$(dirname "$work/$arg")"
      cp "$block" "$work/$arg"
      ;;
    run)
      if ! (cd "$work" && bash -eu "$block") </dev/null >"$scratch/run.log" 2>&1; then
        echo "README: this block failed:" >&2
        sed 's/^/    /' "$block" >&2
        cat "$scratch/run.log" >&2
        fail=1
      fi
      ;;
    transcript)
      run_transcript "$block" || fail=1
      ;;
  esac
done

if [ -n "$(ls -A "$scratch/tmp")" ]; then
  echo "README: temporary files left behind: $(ls -A "$scratch/tmp")" >&2
  fail=1
fi
exit $fail
