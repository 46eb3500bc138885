#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# The packages as a user gets them: builds both Debian packages from the
# configured build folder (what `make package` makes), installs them with
# dpkg into a scratch root that has a dpkg database of its own, and then,
# with nothing but the installed files, runs a service end to end:
#   - the installed vorlith writes Java from scratch_root/counter.x;
#   - javac compiles it, with a client and a server, against only the
#     installed jar (through its version-less link);
#   - the server serves TCP and UDP and registers with rpcbind (started by
#     RPCBIND_UP when needed); rpcinfo must list it for both;
#   - the client asks rpcbind for the port and calls each procedure over TCP
#     and then over UDP, and the server says which protocol each call took;
#   - on SIGTERM the server unregisters; the test checks that it did.
# Program 0x20004242 is this test's own; a lock file keeps runs from other
# build trees apart, and every way out removes the registration.
#
#   scratch_root_check.sh BUILD_DIR SOURCE_DIR VERSION RPCBIND_UP
set -eu
build=$1
source=$2
version=$3
rpcbind_up=$4
here=$(cd "$(dirname "$0")" && pwd)
prog=536887874 # 0x20004242, as in counter.x
PATH="$PATH:/usr/sbin:/sbin"

scratch=$(mktemp -d "${TMPDIR:-/tmp}/vorlith-scratch-root.XXXXXX")
server_pid=""
locked=""
cleanup() {
  if [ -n "$server_pid" ]; then
    kill -TERM "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
  fi
  # A server killed before its shutdown hook ran leaves its registration.
  if [ -n "$locked" ] && rpcinfo -p 127.0.0.1 2>/dev/null | awk -v p="$prog" '$1 == p' | grep -q .; then
    rpcinfo -d "$prog" 1 2>/dev/null || true
  fi
  rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

fail() { echo "scratch root: $*" >&2; exit 1; }
show_and_fail() { cat "$1" >&2; shift; fail "$@"; }

# ---- the packages, built as make package builds them
(cd "$build" && cpack -G DEB -B "$scratch/pkg" --config "$build/CPackConfig.cmake") >"$scratch/cpack.log" 2>&1 \
  || show_and_fail "$scratch/cpack.log" "cpack failed"
debs=("$scratch/pkg/vorlith_${version}_$(dpkg --print-architecture).deb"
      "$scratch/pkg/libkelvaro-zelt-java_${version}_all.deb")
for deb in "${debs[@]}"; do
  [ -f "$deb" ] || fail "cpack did not make $(basename "$deb")"
done

# ---- installed by dpkg into the scratch root. The root's own database
# knows none of the packages they depend on (libc6, libtirpc3), hence
# --force-depends; the programs then run on this machine's libraries.
root=$scratch/root
admin=$root/var/lib/dpkg
mkdir -p "$admin/info" "$admin/updates" "$admin/triggers"
touch "$admin/status" "$admin/available"
dpkg --root="$root" --admindir="$admin" --force-depends -i "${debs[@]}" >"$scratch/dpkg.log" 2>&1 \
  || show_and_fail "$scratch/dpkg.log" "dpkg could not install the packages"
for pkg in vorlith libkelvaro-zelt-java; do
  state=$(dpkg-query --admindir="$admin" -W -f '${Status} ${Version}' "$pkg" 2>/dev/null || true)
  [ "$state" = "install ok installed $version" ] || fail "$pkg is '$state' in the scratch root, not installed at $version"
done

vorlith=$root/usr/bin/vorlith
jar=$root/usr/share/java/kelvaro-zelt.jar
[ -x "$vorlith" ] || fail "no usr/bin/vorlith in the scratch root"
case $(readlink -f "$jar") in
  "$root"/usr/share/java/kelvaro-zelt-"$version".jar) ;;
  *) fail "usr/share/java/kelvaro-zelt.jar does not lead to kelvaro-zelt-$version.jar in the scratch root" ;;
esac

# ---- generated, compiled and run against the installed files only
work=$scratch/work
mkdir -p "$work/classes"
cp "$here/scratch_root/counter.x" "$here/scratch_root/CounterServer.java" "$here/scratch_root/CounterClient.java" "$work/"
(cd "$work" && "$vorlith" counter.x) >"$scratch/vorlith.log" 2>&1 \
  || show_and_fail "$scratch/vorlith.log" "the installed vorlith failed on counter.x"
(cd "$work" && env -u CLASSPATH javac -Xlint:all -Werror -d classes -cp "$jar" ./*.java) >"$scratch/javac.log" 2>&1 \
  || show_and_fail "$scratch/javac.log" "the generated service does not compile against the installed jar alone"
cp="$jar:$work/classes"

exec 9>/tmp/vorlith-prog_0x20004242.lock
flock -w 150 9 || fail "another test run holds /tmp/vorlith-prog_0x20004242.lock"
locked=1
bash "$rpcbind_up"

env -u CLASSPATH java -cp "$cp" CounterServer 120 >"$scratch/server.out" 2>"$scratch/server.err" &
server_pid=$!
deadline=$((SECONDS + 30))
until grep -q '^ready [0-9]' "$scratch/server.out" 2>/dev/null; do
  if ! kill -0 "$server_pid" 2>/dev/null || [ "$SECONDS" -gt "$deadline" ]; then
    show_and_fail "$scratch/server.err" "CounterServer did not get ready"
  fi
  sleep 0.1
done
port=$(sed -n 's/^ready \([0-9]*\)$/\1/p' "$scratch/server.out")

# rpcbind lists version 1 for TCP and for UDP, on the port the server took.
rpcinfo -p 127.0.0.1 | awk -v p="$prog" '$1 == p { print $2, $3, $4 }' | sort >"$scratch/registered"
printf '1 tcp %s\n1 udp %s\n' "$port" "$port" >"$scratch/want_registered"
diff -u "$scratch/want_registered" "$scratch/registered" >&2 || fail "rpcbind does not list the server as expected"

timeout 60 env -u CLASSPATH java -cp "$cp" CounterClient tcp udp >"$scratch/client.out" 2>"$scratch/client.err" \
  || show_and_fail "$scratch/client.err" "CounterClient failed"
printf 'tcp port %s: 42, client over tcp\nudp port %s: 42, client over udp\n' "$port" "$port" >"$scratch/want_client"
diff -u "$scratch/want_client" "$scratch/client.out" >&2 || fail "CounterClient printed other results"

# SIGTERM: the server unregisters on its way out.
kill -TERM "$server_pid"
wait "$server_pid" 2>/dev/null || true
server_pid=""
if rpcinfo -p 127.0.0.1 2>/dev/null | awk -v p="$prog" '$1 == p' | grep -q .; then
  fail "CounterServer left program $prog registered"
fi
