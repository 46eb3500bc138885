#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# The README's quick start on a machine that has none of the packages yet:
# build.sh runs from a copy of the source tree with a PATH that lacks make,
# cmake and the compilers, and with stand-ins for what touches the system:
#   dpkg-query   knows only the packages apt-get "installed" in this run;
#   apt-get      records its calls and "installs" (a stand-in cmake comes
#                with the cmake package);
#   id           says root, or not, as the case asks;
#   cmake        records its calls; a build puts links to the vorlith and
#                the jar of the real build where they belong; it refuses
#                the fuzz build, which ends the test run there.
# The demo then runs for real: vorlith, javac, a client and a server.
#
#   quickstart_check.sh SOURCE_DIR VORLITH ZELT_JAR
#
# The quick start's two commands, as the README writes them (the README
# check finds these lines here):
#   ./build.sh demo
#   ./build.sh test
set -u
source=$(readlink -f "$1")
vorlith=$(readlink -f "$2")
jar=$(readlink -f "$3")

scratch=$(mktemp -d "${TMPDIR:-/tmp}/vorlith-quickstart.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
clone=$scratch/clone
state=$scratch/state
stubs=$scratch/stubs
tools=$scratch/tools
mkdir -p "$clone" "$state" "$stubs" "$tools"
: >"$state/installed"

git -C "$source" ls-files -z --cached \
  | tar -C "$source" --null --ignore-failed-read -T - -cf - 2>/dev/null | tar -C "$clone" -xf -

# Every program of the system but the build tools and what the stand-ins
# replace.
for dir in /usr/local/bin /usr/bin /usr/sbin; do
  for tool in "$dir"/*; do
    name=${tool##*/}
    case "$name" in
      make | gmake | cmake | ctest | cpack | g++* | gcc* | c++* | cc | x86_64-linux-gnu-g* | \
        apt | apt-get | dpkg-query | id | sudo) continue ;;
    esac
    [ -e "$tools/$name" ] || ln -s "$tool" "$tools/$name"
  done
done

cat >"$stubs/id" <<'EOF'
#!/bin/sh
if [ "${1:-}" = -u ]; then echo "$FAKE_UID"; else exec /usr/bin/id "$@"; fi
EOF
cat >"$stubs/dpkg-query" <<'EOF'
#!/bin/sh
for last; do :; done
grep -qxF -- "$last" "$STATE/installed" || exit 1
printf 'install ok installed'
EOF
cat >"$stubs/apt-get" <<'EOF'
#!/bin/sh
echo "apt-get $*" >>"$STATE/calls"
[ "$1" = install ] || exit 0
for arg; do
  case "$arg" in
    install | -*) ;;
    *) echo "$arg" >>"$STATE/installed"
       [ "$arg" = cmake ] && ln -s "$STATE/cmake" "$STUBS/cmake" ;;
  esac
done
exit 0
EOF
cat >"$state/cmake" <<'EOF'
#!/bin/sh
echo "cmake $*" >>"$STATE/calls"
case " $* " in
  *" -S "*tests/fuzz*) echo "stand-in cmake: not for the fuzz build" >&2; exit 1 ;;
  *" --build "*)
    dir=$2
    mkdir -p "$dir/generator" "$dir/runtime/java"
    ln -sf "$REAL_VORLITH" "$dir/generator/vorlith"
    ln -sf "$REAL_JAR" "$dir/runtime/java/kelvaro-zelt.jar" ;;
  *" -B "*)
    while [ "$1" != -B ]; do shift; done
    mkdir -p "$2" && : >"$2/CMakeCache.txt" ;;
esac
exit 0
EOF
chmod +x "$stubs"/* "$state/cmake"

fail=0
err() { echo "quickstart: $*" >&2; fail=1; }

# Runs build.sh in the clone as the reader would: $1 the uid to claim, the
# rest build.sh's arguments. Leaves out, err, status in $scratch.
run() {
  local uid=$1
  shift
  : >"$state/calls"
  (
    cd "$clone" || exit 99
    export PATH="$stubs:$tools" FAKE_UID=$uid STATE=$state STUBS=$stubs REAL_VORLITH=$vorlith REAL_JAR=$jar
    unset BUILD ASAN_BUILD FUZZ_RUNS JOBS
    exec "$@"
  ) >"$scratch/out" 2>"$scratch/err" </dev/null
  echo $? >"$scratch/status"
}
expect_status() {
  [ "$(cat "$scratch/status")" = "$1" ] || {
    err "$2: status $(cat "$scratch/status"), expected $1"
    sed 's/^/  | /' "$scratch/out" "$scratch/err" >&2
  }
}
expect_line() {  # file, whole line, what
  grep -qxF -- "$2" "$1" || { err "$3: no line \"$2\" in:"; sed 's/^/  | /' "$1" >&2; }
}

demo_packages="g++ cmake make openjdk-17-jdk-headless"

# Not root, nothing installed: both commands stop at once with the command
# that installs what they need, and nothing else happens.
run 1000 ./build.sh demo
expect_status 1 "demo, not root"
expect_line "$scratch/err" \
  "  sudo sh -c 'apt-get update && apt-get install -y --no-install-recommends $demo_packages'" "demo, not root"
[ -s "$state/calls" ] && err "demo, not root: called $(cat "$state/calls")"
[ -e "$clone/build" ] && err "demo, not root: made build/"

run 1000 ./build.sh test
expect_status 1 "test, not root"
grep -q 'apt-get install -y --no-install-recommends g++ cmake make cpp libgtest-dev' "$scratch/out" \
  || err "test, not root: the packages stage does not show the command"
grep -q '^fuzzing' "$scratch/out" && err "test, not root: went on after the packages stage"
[ -s "$state/calls" ] && err "test, not root: called $(cat "$state/calls")"

# Root: the demo installs its own packages only, configures a tree of its
# own with nothing but vorlith and the runtime, and runs to its end.
run 0 ./build.sh demo
expect_status 0 "demo, root"
expect_line "$state/calls" "apt-get update -q" "demo, root"
expect_line "$state/calls" "apt-get install -y -q --no-install-recommends $demo_packages" "demo, root"
expect_line "$scratch/out" "installed: $demo_packages" "demo, root"
grep -q '^cmake -S [^ ]* -B [^ ]*/build -.*-DVORLITH_DEMO_ONLY=ON' "$state/calls" \
  || err "demo, root: build/ was not configured demo-only"
grep -q '^cmake --build [^ ]*/build .*--target vorlith kelvaro_zelt' "$state/calls" \
  || err "demo, root: vorlith and the runtime were not built in build/"
# What the README's "Using what you built" puts on PATH and in ZELT_JAR.
for made in build/generator/vorlith build/runtime/java/kelvaro-zelt.jar; do
  [ -e "$clone/$made" ] || err "demo, root: no $made for \"Using what you built\""
done
grep -q '^client: calls 127.0.0.1 port [0-9]*: GEO_DISTANCE' "$scratch/out" \
  || err "demo, root: the client's call is missing"
grep -q '^demo: done in ' "$scratch/out" || err "demo, root: did not finish"

# Root, after the demo: the packages stage installs the rest and names it;
# the stand-in cmake ends the run at the fuzzing stage.
run 0 ./build.sh test
expect_status 1 "test, root"
grep -q '^packages       ok   installed: cpp libgtest-dev libtirpc-dev ' "$scratch/out" \
  || { err "test, root: the packages stage does not name what it installed"; cat "$scratch/out" >&2; }
grep -q '^fuzzing        FAILED' "$scratch/out" || err "test, root: did not go on to the fuzzing stage"
if grep -E 'apt-get install .*(^| )(g\+\+|cmake|make|openjdk-17-jdk-headless)( |$)' "$state/calls" >/dev/null; then
  err "test, root: installed the demo's packages again"
fi

[ "$fail" = 0 ] && echo "quickstart: ok"
exit "$fail"
