#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# Follows the README as a new user would: every checked block, in README
# order, in ONE bash process, starting at the top of a scratch copy of the
# source tree whose build folder is the real one (a fresh clone after the
# quick start). Nothing is set up for the reader: PATH and ZELT_JAR are what
# the README's own commands make them, and every path is taken from the
# folder the previous block left the reader in.
#
#   readme_check.sh README SOURCE_DIR BUILD_DIR [RPCBIND_UP]
#
# A fenced block is checked when an HTML comment right before it (invisible
# on the rendered page) says how:
#
#   <!-- test: file PATH -->   the reader saves the block as PATH, relative
#                              to the folder the reader is in; the folder
#                              must exist, and the text since the previous
#                              block must name `PATH` in backticks, so the
#                              rendered page tells the reader the name
#   <!-- test: run -->         the block's commands run with set -eu, and
#                              must succeed
#   <!-- test: transcript -->  lines starting with "$ " are commands; the
#                              lines after one, up to the next, are what it
#                              prints, byte for byte: standard error, then
#                              standard output
#   <!-- test: by PATH -->     the block is not run here: PATH, a file of the
#                              source tree (the test that runs it), must
#                              hold each of the block's lines
#   <!-- untested: REASON -->  the block is not run, for the reason given
#
# Every ```sh and ```console block must carry one of these. The walk stops
# at the first file or run block that fails (the reader would be stuck
# there); transcripts go on after a difference. At the end the README must
# have put the built vorlith on PATH and stopped every process it started.
#
# RPCBIND_UP (scripts/rpcbind-up.sh) is run first, as the README asks the
# reader to have rpcbind running. The worked example registers its program
# with rpcbind: a lock file keeps runs from several build trees apart, and
# whatever the walk leaves running is stopped (its servers unregister on
# SIGTERM; one that has to be killed is unregistered here).
set -eu
readme=$(readlink -f "$1")
source=$(readlink -f "$2")
build=$(readlink -f "$3")
rpcbind_up=${4:-}

# The program number of examples/kvstore/kvstore.x, which the walk serves.
kv_prog=0x20000105

scratch=$(mktemp -d "${TMPDIR:-/tmp}/vorlith-readme.XXXXXX")
walk_pgid=""
# Stops what the walk left running: SIGTERM first, so that servers
# unregister themselves, SIGKILL after 10 s, then the registrations of a
# killed server are removed.
stop_leftovers() {
  [ -n "$walk_pgid" ] || return 0
  kill -0 -- "-$walk_pgid" 2>/dev/null || return 0
  kill -TERM -- "-$walk_pgid" 2>/dev/null || true
  local i
  for i in $(seq 100); do
    kill -0 -- "-$walk_pgid" 2>/dev/null || return 0
    sleep 0.1
  done
  kill -KILL -- "-$walk_pgid" 2>/dev/null || true
  PATH="$PATH:/usr/sbin:/sbin" rpcinfo -d "$kv_prog" 1 2>/dev/null || true
  PATH="$PATH:/usr/sbin:/sbin" rpcinfo -d "$kv_prog" 2 2>/dev/null || true
}
trap 'stop_leftovers; rm -rf "$scratch"' EXIT
trap 'exit 1' INT TERM HUP

clone="$scratch/vorlith"
blocks="$scratch/blocks"
out="$scratch/out"
mkdir -p "$clone" "$blocks" "$out" "$scratch/tmp" "$scratch/home"

# The source tree as a clone has it: the files git tracks (committed or
# added), or everything but the build folders outside a git work tree.
# Untracked files stay out: the folders an earlier walk through the README
# left at the top of the tree would make its own "mkdir kv" fail.
if git -C "$source" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  git -C "$source" ls-files -z --cached \
    | tar -C "$source" --null --ignore-failed-read -T - -cf - 2>/dev/null | tar -C "$clone" -xf -
else
  tar -C "$source" --exclude=./.git --exclude='./build*' -cf - . | tar -C "$clone" -xf -
fi
rm -rf "$clone/build"
ln -s "$build" "$clone/build"

# Split the README into numbered block files: NNN.kind holds the block's
# text, NNN.arg the marker's argument, NNN.before the text since the
# previous block. Unmarked sh/console blocks are listed in "unmarked".
awk -v dir="$blocks" '
  function flush_marker() { kind = ""; arg = "" }
  BEGIN { n = 0; inblock = 0; before = ""; flush_marker() }
  inblock {
    if ($0 ~ /^```[ \t]*$/) { inblock = 0; if (kind != "") close(out); flush_marker(); before = ""; next }
    if (kind != "") print > out
    next
  }
  /^<!-- test: (file [^ ]+|by [^ ]+|run|transcript) -->$/ {
    kind = $3; arg = (kind == "file" || kind == "by") ? $4 : ""; next
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
    printf "%s", before > sprintf("%s/%03d.before", dir, n)
    close(sprintf("%s/%03d.before", dir, n))
    next
  }
  { before = before $0 "\n" }
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

fail=0
# A file the reader is to create must be named on the rendered page.
for arg_file in "$blocks"/*.arg; do
  n=${arg_file%.arg}
  [ -f "$n.file" ] || continue
  path=$(cat "$arg_file")
  if ! grep -qF -- "\`$path\`" "$n.before"; then
    echo "README: the text before the block saved as $path does not name \`$path\`" >&2
    fail=1
  fi
done

# A block run by a test of its own: that test must hold its lines.
for arg_file in "$blocks"/*.arg; do
  n=${arg_file%.arg}
  [ -f "$n.by" ] || continue
  by=$(cat "$arg_file")
  if [ ! -f "$source/$by" ]; then
    echo "README: block ${n##*/} names $by as its test, which does not exist" >&2
    fail=1
    continue
  fi
  while IFS= read -r line || [ -n "$line" ]; do
    [ -n "$line" ] || continue
    if ! grep -qF -- "$line" "$source/$by"; then
      echo "README: block ${n##*/}: $by has no line \"$line\"" >&2
      fail=1
    fi
  done <"$n.by"
done

# The walk: one script, each block in turn. "$__progress" says which block
# (and which command of a transcript) runs, so that an early end is placed.
walk="$scratch/walk.sh"
{
  printf '__out=%q\n__blocks=%q\n__progress=%q\n__st=0\n' "$out" "$blocks" "$out/progress"
  for block in $(find "$blocks" -name '[0-9]*.*' ! -name '*.arg' ! -name '*.before' | sort); do
    name=$(basename "$block")
    n=${name%%.*}
    kind=${name#*.}
    case "$kind" in
      file)
        printf 'echo %q >"$__progress"\n' "$n"
        printf 'cp -- "$__blocks/%s.file" %q 2>"$__out/%s.log" || exit 97\n' "$n" "$(cat "$blocks/$n.arg")" "$n"
        ;;
      run)
        printf 'echo %q >"$__progress"\nset -eu\n{\n' "$n"
        cat "$block"
        printf '\n} >"$__out/%s.log" 2>&1\nset +eu\n' "$n"
        ;;
      transcript)
        i=0
        while IFS= read -r line || [ -n "$line" ]; do
          if [[ "$line" == '$ '* ]]; then
            i=$((i + 1))
            # A brace group keeps cd, variables and jobs for the commands
            # after it; "(exit $__st)" hands on the status for an "echo $?".
            printf 'echo %q >"$__progress"\n' "$n.$i"
            printf '{ (exit $__st); %s\n} >"$__out/%s.%d.out" 2>"$__out/%s.%d.err" && __st=0 || __st=$?\n' \
              "${line#\$ }" "$n" "$i" "$n" "$i"
            printf '%s\n' "${line#\$ }" >"$blocks/$n.$i.cmd"
            : >"$blocks/$n.$i.expected"
          elif [ "$i" -gt 0 ]; then
            printf '%s\n' "$line" >>"$blocks/$n.$i.expected"
          fi
        done <"$block"
        echo "$i" >"$blocks/$n.count"
        ;;
    esac
  done
  printf 'echo end >"$__progress"\n'
  printf 'command -v vorlith >"$__out/vorlith-on-path" || true\n'
} >"$walk"

if [ -n "$rpcbind_up" ]; then
  bash "$rpcbind_up"
  exec 9>"/tmp/vorlith-prog-$kv_prog.lock"
  flock -w 300 9 || { echo "README: another run holds /tmp/vorlith-prog-$kv_prog.lock" >&2; exit 1; }
fi

# The reader's shell: a session of its own, so that whatever it leaves
# running can be found and stopped. HOME and TMPDIR are scratch folders so
# that nothing lands in the real ones; LC_ALL=C for the sort order and the
# messages the README shows.
status=0
(
  exec 9>&-
  cd "$clone"
  unset ZELT_JAR CLASSPATH SKARDO_CPP SKARDO_CPP_FLAG JAVA_TOOL_OPTIONS
  export HOME="$scratch/home" TMPDIR="$scratch/tmp" LC_ALL=C
  exec timeout -s TERM 900 setsid -w bash -c 'echo $$ >"$1"; exec bash --noprofile --norc "$2"' \
    _ "$scratch/pgid" "$walk"
) </dev/null >"$out/walk.log" 2>&1 || status=$?
walk_pgid=$(cat "$scratch/pgid" 2>/dev/null || true)
progress=$(cat "$out/progress" 2>/dev/null || true)

# Where the walk stopped, when it did not reach the end.
if [ "$progress" != end ]; then
  fail=1
  n=${progress%%.*}
  if [ -f "$blocks/$n.file" ]; then
    echo "README: cannot save $(cat "$blocks/$n.arg") where the reader stands (the folder does not exist?):" >&2
    cat "$out/$n.log" >&2
  elif [ -f "$blocks/$n.run" ]; then
    echo "README: this block failed (status $status):" >&2
    sed 's/^/    /' "$blocks/$n.run" >&2
    cat "$out/$n.log" >&2
  elif [ -n "$progress" ]; then
    echo "README: the walk ended (status $status) during \$ $(cat "$blocks/$progress.cmd")" >&2
  else
    echo "README: the walk did not start (status $status):" >&2
  fi
  tail -n 20 "$out/walk.log" >&2
fi

# Each transcript command that ran prints what the README shows.
for count_file in "$blocks"/*.count; do
  n=$(basename "${count_file%.count}")
  for ((i = 1; i <= $(cat "$count_file"); i++)); do
    [ -f "$out/$n.$i.out" ] || continue
    cat "$out/$n.$i.err" "$out/$n.$i.out" >"$out/$n.$i.actual"
    if ! cmp -s "$blocks/$n.$i.expected" "$out/$n.$i.actual"; then
      echo "README: \$ $(cat "$blocks/$n.$i.cmd") printed something else:" >&2
      diff -u "$blocks/$n.$i.expected" "$out/$n.$i.actual" | sed 's/\t/<TAB>/g' >&2 || true
      fail=1
    fi
  done
done

if [ "$progress" = end ]; then
  on_path=$(cat "$out/vorlith-on-path")
  if [ "$on_path" != "$clone/build/generator/vorlith" ]; then
    echo "README: after the walk, vorlith on PATH is '$on_path', not the one the quick start built" >&2
    fail=1
  fi
  # The walk's shell has ended: anything left in its session runs on.
  if [ -n "$walk_pgid" ] && kill -0 -- "-$walk_pgid" 2>/dev/null; then
    echo "README: processes left running by the walk:" >&2
    ps -o pid=,args= --sid "$walk_pgid" >&2 || true
    fail=1
  fi
fi
if [ -n "$(ls -A "$scratch/tmp")" ]; then
  echo "README: temporary files left behind: $(ls -A "$scratch/tmp")" >&2
  fail=1
fi
exit $fail
