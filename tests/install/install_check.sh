#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# Installs the build into a scratch prefix with cmake --install and checks
# what lands there.
#
#   install_check.sh tree      BUILD_DIR SOURCE_DIR VERSION
#   install_check.sh msgclient BUILD_DIR SOURCE_DIR VERSION RPCBIND_UP
#
# tree:      the exact list of files and links (the API documentation: one
#            page per public class of the jar), where the links point, the
#            Maven coordinates, and that the installed vorlith writes the
#            committed Java of examples/kvstore.
# msgclient: the README's Install steps for the msgclient example, with
#            nothing but the installed files: vorlith writes the service
#            from msg.x, javac compiles it and MsgServer.java against the
#            installed jar, the service registers with rpcbind (started by
#            RPCBIND_UP when needed), and the installed msgclient gets its
#            1000 replies.
set -eu
mode=$1
build=$2
source=$3
version=$4
here=$(cd "$(dirname "$0")" && pwd)

scratch=$(mktemp -d "${TMPDIR:-/tmp}/vorlith-install.XXXXXX")
server_pid=""
cleanup() {
  if [ -n "$server_pid" ]; then
    kill -TERM "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
  fi
  rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP
prefix="$scratch/prefix"

if ! cmake --install "$build" --prefix "$prefix" >"$scratch/install.log" 2>&1; then
  cat "$scratch/install.log" >&2
  echo "cmake --install failed" >&2
  exit 1
fi

fail=0
err() { echo "install: $*" >&2; fail=1; }

check_tree() {
  # shellcheck source=tests/install/layout.sh
  . "$here/layout.sh"
  layout_check "$prefix" "vorlith libkelvaro-zelt-java libvorlith-maven-plugin-java" "$version" || fail=1
  for prog in bin/vorlith libexec/vorlith/msgclient; do
    [ -x "$prefix/$prog" ] || err "$prog is not executable"
  done
  [ "$fail" = 0 ] || exit 1

  bash "$source/examples/regen.sh" "$prefix/bin/vorlith" "$scratch/gen"
  diff -r "$source/examples/kvstore/java" "$scratch/gen/kvstore" >&2 || {
    echo "installed vorlith writes different Java for kvstore.x" >&2
    exit 1
  }
}

check_msgclient() {
  local rpcbind_up=$1
  local examples="$prefix/share/doc/vorlith/examples/msgclient"
  local jar="$prefix/share/java/kelvaro-zelt.jar"
  local work="$scratch/msgdemo"
  PATH="$PATH:/usr/sbin:/sbin"
  # Program 1234567 is the msgclient tests' too, in this build tree or
  # another one: the same lock file keeps the runs apart.
  exec 9>/tmp/vorlith-msg_prog_1234567.lock
  flock -w 150 9 || { err "another test run holds /tmp/vorlith-msg_prog_1234567.lock"; exit 1; }
  bash "$rpcbind_up"
  mkdir "$work"
  cp "$examples/msg.x" "$examples/MsgServer.java" "$work/"
  (cd "$work" && "$prefix/bin/vorlith" msg.x) >"$scratch/vorlith.log" 2>&1 \
    || { cat "$scratch/vorlith.log" >&2; err "vorlith failed on msg.x"; exit 1; }
  (cd "$work" && javac -Xlint:all -cp "$jar" ./*.java) >"$scratch/javac.log" 2>&1 \
    || { cat "$scratch/javac.log" >&2; err "the msgclient service does not compile against the installed jar"; exit 1; }

  (cd "$work" && exec java -cp "$jar:." MsgServer 60) >"$scratch/server.out" 2>"$scratch/server.err" &
  server_pid=$!
  local deadline=$((SECONDS + 20))
  until grep -q '^ready [0-9]' "$scratch/server.out" 2>/dev/null; do
    if ! kill -0 "$server_pid" 2>/dev/null || [ "$SECONDS" -gt "$deadline" ]; then
      cat "$scratch/server.err" >&2
      err "MsgServer did not get ready"
      exit 1
    fi
    sleep 0.1
  done

  local st=0
  timeout 60 "$prefix/libexec/vorlith/msgclient" >"$scratch/client.out" 2>"$scratch/client.err" || st=$?
  [ "$st" = 0 ] || err "msgclient exited with $st: $(head -n 3 "$scratch/client.err")"
  [ ! -s "$scratch/client.err" ] || err "msgclient wrote to standard error: $(head -n 3 "$scratch/client.err")"
  local replies
  replies=$(grep -cx 'Got reply: hello\.' "$scratch/client.out" || true)
  [ "$replies" = 1000 ] && [ "$(wc -l <"$scratch/client.out")" = 1000 ] \
    || err "msgclient printed $replies of 1000 replies in $(wc -l <"$scratch/client.out") lines"

  # SIGTERM: the service unregisters itself on the way out.
  kill -TERM "$server_pid"
  wait "$server_pid" 2>/dev/null || true
  server_pid=""
  if rpcinfo -p 127.0.0.1 2>/dev/null | awk '$1 == 1234567' | grep -q .; then
    err "MsgServer left program 1234567 registered"
    rpcinfo -d 1234567 1 2>/dev/null || true
  fi
  [ "$fail" = 0 ] || exit 1
}

case $mode in
  tree) check_tree ;;
  msgclient) check_msgclient "$5" ;;
  *) echo "usage: $0 tree|msgclient BUILD_DIR SOURCE_DIR VERSION [RPCBIND_UP]" >&2; exit 2 ;;
esac
