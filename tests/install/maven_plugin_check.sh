#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# The Maven plugin as a Maven user meets it: the build installed with
# cmake --install into a scratch prefix, and Maven run offline on a clean
# local repository made of links to Debian's /usr/share/maven-repo and to
# the prefix's share/maven-repo, nothing else (no install:install-file).
#
#   maven_plugin_check.sh BUILD_DIR SOURCE_DIR VERSION
#
# With the installed vorlith on PATH, a project of the key-value example
# (src/main/x/kvstore.x, an application in src/main/java, the runtime as
# its one dependency, the plugin with a package name as its one plugin):
#   - mvn package generates the package tree, compiles, and the program
#     calls its own server over TCP and UDP;
#   - a second build generates nothing and leaves the files untouched;
#   - a type renamed in the .x leaves no class of the old name, and async
#     gives the client its asynchronous methods;
#   - an input error fails the build with FILE:[LINE,COLUMN] MESSAGE;
#   - an input that is removed takes its files with it; two inputs that
#     write one file are an error naming both; mvn clean works offline;
#   - a missing vorlith, and an option it refuses, fail with its words.
# With a stand-in vorlith that records its arguments: every parameter
# reaches it as its option, nothing runs again until an option changes,
# vorlith.skip skips, and without inputs nothing runs and the last
# input's files are gone (the Maven version "debian" of the plugin and the
# runtime, here).
set -eu
build=$1
source=$2
version=$3
here=$(cd "$(dirname "$0")" && pwd)

for tool in mvn java javac; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed (scripts/install-deps.sh installs it)" >&2; exit 1; }
done
[ -d /usr/share/maven-repo ] || { echo "no /usr/share/maven-repo (Debian's maven-repo-helper packages)" >&2; exit 1; }

scratch=$(mktemp -d "${TMPDIR:-/tmp}/vorlith-maven.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
trap 'exit 1' INT TERM HUP
prefix=$scratch/prefix
if ! cmake --install "$build" --prefix "$prefix" >"$scratch/install.log" 2>&1; then
  cat "$scratch/install.log" >&2
  echo "cmake --install failed" >&2
  exit 1
fi

# The local repository: Debian's plugins and the installed artifacts.
repo=$scratch/m2
cp -rs /usr/share/maven-repo "$repo"
rm -rf "$repo/kelvaro"
cp -rs "$prefix/share/maven-repo/kelvaro" "$repo/kelvaro"
# As the README's Maven recipe says: Debian 12's clean plugin runs only
# with plexus-utils 1.1, which Maven adds to it; Debian has that library
# under its version "debian".
mkdir -p "$repo/org/codehaus/plexus/plexus-utils/1.1"
ln -s /usr/share/java/plexus-utils2.jar "$repo/org/codehaus/plexus/plexus-utils/1.1/plexus-utils-1.1.jar"
printf '<settings/>\n' >"$scratch/settings.xml"
jar=$prefix/share/java/kelvaro-zelt.jar
export PATH="$prefix/bin:$PATH"
unset MAVEN_OPTS MAVEN_ARGS CLASSPATH JAVA_TOOL_OPTIONS

fail=0
err() { echo "maven: $*" >&2; fail=1; }

# mvn_in DIR LOG ARGS...: Maven offline in DIR; the status is returned.
mvn_in() {
  local dir=$1 log=$2
  shift 2
  (cd "$dir" && mvn -o -B -s "$scratch/settings.xml" -Dmaven.repo.local="$repo" "$@") >"$log" 2>&1
}
show() { sed 's/^/  | /' "$1" | grep -v 'has been relocated' | tail -n 40 >&2; }

# project DIR PLUGIN_VERSION CONFIGURATION: a pom.xml from pom.xml.in.
project() {
  mkdir -p "$1"
  awk -v v="$version" -v pv="$2" -v conf="$3" '
    { gsub(/@VERSION@/, v); gsub(/@PLUGIN_VERSION@/, pv) }
    /^@CONFIGURATION@$/ { print conf; next }
    { print }' "$here/maven/pom.xml.in" >"$1/pom.xml"
}

# Every file below a folder with its modification time, to the nanosecond.
times() { (cd "$1" && find . -type f -printf '%p %T@\n' | sort); }

# ---- the key-value example with the installed vorlith
kv=$scratch/kv
gen=$kv/target/generated-sources/vorlith
project "$kv" "$version" '          <packageName>com.example.kv</packageName>'
mkdir -p "$kv/src/main/x" "$kv/src/main/java/app"
cp "$source/examples/kvstore/kvstore.x" "$kv/src/main/x/"
cp "$here/maven/app/KvApp.java" "$kv/src/main/java/app/"
expected_run='put colour: stored
get colour: blue (revision 1)
get size: not found'

# run_app CLASSES: the program, from the jar or the classes folder.
run_app() {
  timeout 60 java -cp "$1:$jar" app.KvApp 2>&1
}

if mvn_in "$kv" "$scratch/first.log" package; then
  grep -qx '\[INFO\] vorlith: 1 of 1 input files generated, 0 up to date' "$scratch/first.log" \
    || { err "first build: no line saying the input was generated"; show "$scratch/first.log"; }
  # --quiet: nothing from vorlith but diagnostics, and there are none.
  grep -E 'WARNING\].*vorlith' "$scratch/first.log" >&2 && err "first build: vorlith printed something"
  for f in KVSTORE KVSTORE_cln KVSTORE_svcb kvstore_2 kventry kvkey putargs getres; do
    [ -f "$gen/com/example/kv/$f.java" ] || err "first build: no com/example/kv/$f.java under $gen"
  done
  out=$(run_app "$kv/target/kvapp-1.0.jar") || err "first build: the program failed"
  [ "$out" = "$expected_run" ] || err "first build: the program printed: $out"
else
  err "first build failed"
  show "$scratch/first.log"
fi

times "$gen" >"$scratch/times.before"
if mvn_in "$kv" "$scratch/again.log" package; then
  grep -qx '\[INFO\] vorlith: 0 of 1 input files generated, 1 up to date' "$scratch/again.log" \
    || { err "second build: vorlith ran again"; show "$scratch/again.log"; }
  times "$gen" >"$scratch/times.after"
  diff "$scratch/times.before" "$scratch/times.after" >&2 || err "second build: generated files were written again"
else
  err "second build failed"
  show "$scratch/again.log"
fi

# A renamed type: its old class goes, the new one comes.
sed -i 's/\bkventry\b/kvitem/g' "$kv/src/main/x/kvstore.x" "$kv/src/main/java/app/KvApp.java"
# The other builds stop at the phase that shows what they check. This one
# also asks for the asynchronous client methods (vorlith --async).
if mvn_in "$kv" "$scratch/rename.log" compile -Dvorlith.async=true; then
  [ ! -e "$gen/com/example/kv/kventry.java" ] || err "rename: kventry.java is still there"
  grep -q 'KV_GETAsync' "$gen/com/example/kv/KVSTORE_cln.java" || err "rename: async did not give KV_GETAsync"
  [ -f "$gen/com/example/kv/kvitem.java" ] || err "rename: no kvitem.java"
  [ ! -e "$kv/target/classes/com/example/kv/kventry.class" ] || err "rename: kventry.class is still compiled"
  out=$(run_app "$kv/target/classes") || err "rename: the program failed"
  [ "$out" = "$expected_run" ] || err "rename: the program printed: $out"
else
  err "rename: the build failed"
  show "$scratch/rename.log"
fi

# An input error: the build fails with the place of the error.
cp "$kv/src/main/x/kvstore.x" "$scratch/kvstore.x.good"
lines=$(wc -l <"$kv/src/main/x/kvstore.x")
printf 'struct broken { int x, int y; };\n' >>"$kv/src/main/x/kvstore.x"
if mvn_in "$kv" "$scratch/error.log" generate-sources; then
  err "input error: the build succeeded"
else
  # The carets run to the ',' where a ';' was expected: column 22.
  want="[ERROR] $kv/src/main/x/kvstore.x:[$((lines + 1)),22] expected ';'"
  grep -qxF "$want" "$scratch/error.log" || { err "input error: no line $want"; show "$scratch/error.log"; }
  grep -q 'BUILD FAILURE' "$scratch/error.log" || err "input error: not a build failure"
fi
cp "$scratch/kvstore.x.good" "$kv/src/main/x/kvstore.x"

# A second input: its files come and go with it; a clash names both. Its
# maximum that nothing defines is a warning with its place.
printf 'struct extra { opaque fh<FHSIZE3>; };\n' >"$kv/src/main/x/extra.x"
if mvn_in "$kv" "$scratch/extra.log" generate-sources; then
  [ -f "$gen/com/example/kv/extra.java" ] || err "second input: no extra.java"
  grep -qF "[WARNING] $kv/src/main/x/extra.x:[1] maximum FHSIZE3 of extra.fh is not defined" "$scratch/extra.log" \
    || { err "second input: vorlith's warning is not shown with its place"; show "$scratch/extra.log"; }
  grep -qx '\[INFO\] vorlith: 2 of 2 input files generated, 0 up to date' "$scratch/extra.log" \
    || grep -qx '\[INFO\] vorlith: 1 of 2 input files generated, 1 up to date' "$scratch/extra.log" \
    || { err "second input: unexpected summary"; show "$scratch/extra.log"; }
else
  err "second input: the build failed"
  show "$scratch/extra.log"
fi
rm "$kv/src/main/x/extra.x"
if mvn_in "$kv" "$scratch/removed.log" generate-sources; then
  [ ! -e "$gen/com/example/kv/extra.java" ] || err "removed input: extra.java is still there"
  [ -f "$gen/com/example/kv/kvitem.java" ] || err "removed input: the other input's files went too"
else
  err "removed input: the build failed"
  show "$scratch/removed.log"
fi
printf 'struct kvitem { int a; };\n' >"$kv/src/main/x/clash.x"
if mvn_in "$kv" "$scratch/clash.log" generate-sources; then
  err "clash: the build succeeded"
else
  grep -q "clash.x and $kv/src/main/x/kvstore.x both write com/example/kv/kvitem.java" "$scratch/clash.log" \
    || grep -q "kvstore.x and $kv/src/main/x/clash.x both write com/example/kv/kvitem.java" "$scratch/clash.log" \
    || { err "clash: the error does not name both inputs and the file"; show "$scratch/clash.log"; }
fi
rm "$kv/src/main/x/clash.x"

# vorlith missing, and vorlith refusing an option.
if mvn_in "$kv" "$scratch/missing.log" generate-sources -Dvorlith.executable=no-such-vorlith; then
  err "missing vorlith: the build succeeded"
else
  grep -q 'no program no-such-vorlith on PATH' "$scratch/missing.log" \
    || { err "missing vorlith: the message does not say so"; show "$scratch/missing.log"; }
fi
sed 's#<packageName>com.example.kv</packageName>#&<arguments><argument>--no-such-option</argument></arguments>#' \
  "$kv/pom.xml" >"$kv/refused.xml"
if mvn_in "$kv" "$scratch/refused.log" -f refused.xml generate-sources; then
  err "refused option: the build succeeded"
else
  grep -q 'vorlith failed on .*kvstore.x (status 1)' "$scratch/refused.log" \
    || { err "refused option: no message with vorlith's status"; show "$scratch/refused.log"; }
  grep -q 'usage: .*vorlith \[-p\] \[-i\] infile' "$scratch/refused.log" \
    || { err "refused option: vorlith's own message is not shown"; show "$scratch/refused.log"; }
fi

if mvn_in "$kv" "$scratch/clean.log" clean; then
  [ ! -e "$kv/target" ] || err "mvn clean left target/"
else
  err "mvn -o clean failed (maven-clean-plugin missing?)"
  show "$scratch/clean.log"
fi

# ---- the parameters, through a stand-in that records how it was run
standin=$scratch/standin
cat >"$standin" <<'EOF'
#!/bin/sh
# A vorlith that records its arguments and writes one class where
# --output-dir says.
if [ "$1" = --version ]; then echo "stand-in vorlith 1"; exit 0; fi
printf '%s\n' "$*" "SKARDO_CPP=${SKARDO_CPP:-}" >>"$STANDIN_LOG"
out=""
while [ $# -gt 0 ]; do
  [ "$1" = --output-dir ] && out=$2
  shift
done
mkdir -p "$out/p" && printf 'package p;\npublic class Standin {}\n' >"$out/p/Standin.java"
EOF
chmod +x "$standin"
export STANDIN_LOG=$scratch/standin.log
: >"$STANDIN_LOG"
opts=$scratch/opts
all_options="          <executable>$standin</executable>
          <packageName>\${pkg}</packageName>
          <idiomatic>true</idiomatic>
          <async>true</async>
          <preprocess>true</preprocess>
          <reverseCase>true</reverseCase>
          <arguments><argument>--extra</argument></arguments>
          <environmentVariables><SKARDO_CPP>/usr/bin/cpp</SKARDO_CPP></environmentVariables>"
project "$opts" debian "$all_options"
mkdir -p "$opts/src/main/x"
printf 'const A = 1;\n' >"$opts/src/main/x/a.x"
if mvn_in "$opts" "$scratch/opts1.log" compile -Dpkg=com.example.kv; then
  calls=$(grep -c -- '--quiet' "$STANDIN_LOG" || true)
  [ "$calls" = 1 ] || err "options: the stand-in ran $calls times, not once"
  want="--quiet --output-dir $opts/target/vorlith/scratch/run-[0-9]*/gen --package com.example.kv --idiomatic --async -p -i --extra $opts/src/main/x/a.x"
  # shellcheck disable=SC2053
  [[ $(sed -n 1p "$STANDIN_LOG") == $want ]] || err "options: the stand-in got: $(sed -n 1p "$STANDIN_LOG")"
  grep -qx 'SKARDO_CPP=/usr/bin/cpp' "$STANDIN_LOG" || err "options: environmentVariables did not reach vorlith"
  [ -f "$opts/target/generated-sources/vorlith/p/Standin.java" ] || err "options: the stand-in's file did not land"
  [ -f "$opts/target/classes/p/Standin.class" ] || err "options: the output folder is not a source root"
else
  err "options: the build failed"
  show "$scratch/opts1.log"
fi
mvn_in "$opts" "$scratch/opts2.log" generate-sources -Dpkg=com.example.kv || { err "options: the second build failed"; show "$scratch/opts2.log"; }
[ "$(grep -c -- '--quiet' "$STANDIN_LOG")" = 1 ] || err "options: the stand-in ran again with nothing changed"
mvn_in "$opts" "$scratch/opts3.log" generate-sources -Dpkg=com.example.other \
  || { err "options: the build with another package failed"; show "$scratch/opts3.log"; }
[ "$(grep -c -- '--package com.example.other' "$STANDIN_LOG")" = 1 ] \
  || err "options: a changed option did not make the stand-in run again"
mvn_in "$opts" "$scratch/opts4.log" generate-sources -Dvorlith.skip=true -Dpkg=com.example.third \
  || { err "options: the skipped build failed"; show "$scratch/opts4.log"; }
grep -q 'vorlith: skipped' "$scratch/opts4.log" || err "options: vorlith.skip did not say it skipped"
grep -q -- 'com.example.third' "$STANDIN_LOG" && err "options: vorlith.skip ran vorlith"
# The last input gone: its file goes, and vorlith is not run (nor needed).
rm "$opts/src/main/x/a.x"
calls=$(wc -l <"$STANDIN_LOG")
mvn_in "$opts" "$scratch/opts5.log" generate-sources -Dpkg=com.example.kv \
  || { err "options: the build without inputs failed"; show "$scratch/opts5.log"; }
[ ! -e "$opts/target/generated-sources/vorlith/p/Standin.java" ] || err "options: the gone input's file is still there"
[ "$(wc -l <"$STANDIN_LOG")" = "$calls" ] || err "options: vorlith ran without an input"

[ "$fail" = 0 ] && echo "maven plugin: ok"
exit "$fail"
