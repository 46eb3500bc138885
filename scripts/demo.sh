#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# The demo (./build.sh demo, make demo): builds only what the demo needs (vorlith and the Java runtime),
# runs vorlith on examples/geo.x in build/demo/java, shows what it printed
# and wrote, compiles the Java against the runtime and lets a client call
# a server. The build's own output goes to a log, so the report stays short.
#
#   scripts/demo.sh BUILD_DIR
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(mkdir -p "$1" && cd "$1" && pwd)
demo=$build/demo
rm -rf "$demo"
mkdir -p "$demo/java" "$demo/classes"
log=$demo/build.log

started=$SECONDS
step() { printf '%s\n' "$*"; }
fail() { echo "demo: $1 failed; the last lines of $log:" >&2; tail -n 30 "$log" >&2; exit 1; }

# The build folder itself, so that what "Using what you built" names is
# there afterwards. Configured the first time for vorlith and the runtime
# only, so the demo needs none of the test suite's packages; the full build
# (./build.sh, ./build.sh test) configures the same folder for everything
# later, and a folder configured so already is kept as it is.
tree=$build
step "== Building vorlith and the Java runtime in ${tree#"$root"/} (log: ${log#"$root"/})"
if [ ! -f "$tree/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$tree" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORLITH_DEMO_ONLY=ON >>"$log" 2>&1 \
    || fail "configuring"
fi
cmake --build "$tree" -j "$(nproc 2>/dev/null || echo 2)" --target vorlith kelvaro_zelt >>"$log" 2>&1 \
  || fail "building"
jar=$tree/runtime/java/kelvaro-zelt.jar

cd "$demo/java"
input=$root/examples/geo.x
step ""
step "== Running vorlith in ${demo#"$root"/}/java (the banner comes on standard error, the file lists on standard output)"
# The command as one would type it from the top of the source tree.
vorlith_rel=$(realpath --relative-to="$demo/java" "$tree/generator/vorlith")
input_rel=$(realpath --relative-to="$demo/java" "$input")
step "\$ cd ${demo#"$root"/}/java && $vorlith_rel $input_rel"
status=0
"$vorlith_rel" "$input_rel" || status=$?
step "(exit status $status)"
[ "$status" = 0 ] || exit "$status"

step ""
step "== Files written, kept in ${demo#"$root"/}/java"
for f in *.java; do
  printf '  %-20s %5d bytes\n' "$f" "$(wc -c <"$f")"
done

step ""
step "== One generated class: point.java (struct point of geo.x)"
sed 's/^/  /' point.java

step ""
step "== Compiling them with scripts/demo/GeoDemo.java against ${jar#"$root"/}"
javac -Xlint:all -cp "$jar" -d "$demo/classes" ./*.java "$root/scripts/demo/GeoDemo.java" >>"$log" 2>&1 \
  || fail "compiling the generated Java"
step "compiled $(find "$demo/classes" -name '*.class' | wc -l) classes"

step ""
step "== A client calls a server over TCP"
java -cp "$demo/classes:$jar" GeoDemo
step ""
step "demo: done in $((SECONDS - started)) s; the generated Java stays in ${demo#"$root"/}/java"
