#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# The runtime's jar is the module kelvaro.zelt, which exports kelvaro.ZELT
# and nothing else. Classes vorlith writes (--async, with --output-dir into
# the package's folders) compile with a module-info as the named module
# app against the jar on the module path, without a message, and run
# there: encoding, and calls on the loopback interface (module/app). The
# idiomatic output compiles as a module as well. A module that imports a
# class of an internal package does not compile.
#
#   module_check.sh VORLITH JAVAC JAVA JAR_TOOL ZELT_JAR SOURCE_DIR WORK_DIR
set -eu
vorlith=$(realpath "$1") javac=$2 java=$3 jar_tool=$4 jar=$(realpath "$5") src=$(realpath "$6") work=$7

rm -rf "$work"
mkdir -p "$work"

# The descriptor: the module's name, its one export, what it requires.
"$jar_tool" --describe-module --file "$jar" >"$work/describe"
head -1 "$work/describe" | grep -q '^kelvaro\.zelt ' || { echo "the jar is not the module kelvaro.zelt:"; cat "$work/describe"; exit 1; }
exports=$(grep '^exports ' "$work/describe" || true)
[ "$exports" = "exports kelvaro.ZELT" ] || { echo "the module exports other than kelvaro.ZELT:"; cat "$work/describe"; exit 1; }
for module in java.security.jgss jdk.security.jgss jdk.security.auth; do
  grep -q "^requires $module\( \|$\)" "$work/describe" || { echo "the module does not require $module:"; cat "$work/describe"; exit 1; }
done
grep -q '^contains kelvaro\.ZELT\.internal\.' "$work/describe" || { echo "no internal package in the module:"; cat "$work/describe"; exit 1; }

# The application module: generated classes in their package's folders beside its own.
mkdir -p "$work/app" "$work/classes"
cp -r "$src/module/app/." "$work/app/"
if ! "$vorlith" --quiet --async --output-dir "$work/app" "$src/package/kv.x" >"$work/vorlith.out" 2>"$work/vorlith.err"; then
  echo "vorlith failed:"; cat "$work/vorlith.err"; exit 1
fi
[ -f "$work/app/com/example/kv/KVPROG_cln.java" ] || { echo "no client in com/example/kv"; exit 1; }
out=$("$javac" -Xlint:all -Werror --module-path "$jar" -d "$work/classes" $(find "$work/app" -name '*.java') 2>&1) || {
  echo "javac failed:"; echo "$out"; exit 1; }
[ -z "$out" ] || { echo "javac reported:"; echo "$out"; exit 1; }
[ -f "$work/classes/module-info.class" ] || { echo "the application is no module"; exit 1; }

# The server's log names the oversized member from its result, which it
# can read because app exports the package to kelvaro.zelt.
result=$(timeout 120 "$java" --module-path "$jar:$work/classes" -m app/app.InModule 2>"$work/run.err") || {
  echo "InModule failed: $result"; cat "$work/run.err"; exit 1; }
[ "$result" = ok ] || { echo "InModule printed: $result"; cat "$work/run.err"; exit 1; }
grep -q 'entry\.key holds' "$work/run.err" || { echo "the server's log does not name entry.key:"; cat "$work/run.err"; exit 1; }

# The idiomatic output compiles as a named module too.
mkdir -p "$work/idiom/src" "$work/idiom/classes"
printf 'module idiom {\n    requires kelvaro.zelt;\n}\n' >"$work/idiom/src/module-info.java"
if ! "$vorlith" --quiet --idiomatic --output-dir "$work/idiom/src" "$src/package/kv.x" >"$work/idiom/vorlith.out" 2>"$work/idiom/vorlith.err"; then
  echo "vorlith --idiomatic failed:"; cat "$work/idiom/vorlith.err"; exit 1
fi
out=$("$javac" -Xlint:all -Werror --module-path "$jar" -d "$work/idiom/classes" $(find "$work/idiom/src" -name '*.java') 2>&1) || {
  echo "javac failed on the idiomatic output:"; echo "$out"; exit 1; }
[ -z "$out" ] || { echo "javac reported on the idiomatic output:"; echo "$out"; exit 1; }
ls "$work/idiom/classes/com/example/kv/"*.class >/dev/null || { echo "no idiomatic class in com/example/kv"; exit 1; }

# An internal package is not visible to a module that requires the runtime.
mkdir -p "$work/intruder-classes"
if out=$("$javac" --module-path "$jar" -d "$work/intruder-classes" $(find "$src/module/intruder" -name '*.java') 2>&1); then
  echo "a module compiled against an internal package of the runtime"; exit 1
fi
echo "$out" | grep -q 'package kelvaro\.ZELT\.internal\.client is not visible' || {
  echo "javac failed otherwise than on the internal package:"; echo "$out"; exit 1; }
echo ok
