#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# Builds the Debian packages from the configured build folder into a scratch
# folder (the build folder's own packages stay untouched) and checks them:
#   - their names: vorlith_VERSION_ARCH.deb, libkelvaro-zelt-java_VERSION_all.deb
#     and libvorlith-maven-plugin-java_VERSION_all.deb;
#   - their control data, field by field;
#   - their exact file lists (layout.sh), owners and modes;
#   - the copyright files (Debian's machine-readable format, Apache-2.0), the
#     manual page and changelogs compressed with gzip -9n, the changelog's
#     newest entry being this version;
#   - lintian: no error, and no warning beyond the ones the README lists;
#   - the extracted vorlith writes the committed Java of the examples, the
#     extracted jar compiles examples/kvstore/java with javac, and a Maven
#     build run offline against Debian's /usr/share/maven-repo plus the
#     extracted ones resolves kelvaro:kelvaro-zelt and the plugin
#     kelvaro:vorlith-maven-plugin, which runs the extracted vorlith on
#     kvstore.x, and compiles the result.
#
#   package_check.sh BUILD_DIR SOURCE_DIR VERSION
set -eu
build=$1
source=$2
version=$3
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/install/layout.sh
. "$here/layout.sh"

scratch=$(mktemp -d "${TMPDIR:-/tmp}/vorlith-package.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
trap 'exit 1' INT TERM HUP

if ! (cd "$build" && cpack -G DEB -B "$scratch/pkg" --config "$build/CPackConfig.cmake") \
      >"$scratch/cpack.log" 2>&1; then
  cat "$scratch/cpack.log" >&2
  echo "cpack failed" >&2
  exit 1
fi

arch=$(dpkg --print-architecture)
deb_vorlith="$scratch/pkg/vorlith_${version}_${arch}.deb"
deb_zelt="$scratch/pkg/libkelvaro-zelt-java_${version}_all.deb"
deb_plugin="$scratch/pkg/libvorlith-maven-plugin-java_${version}_all.deb"
(cd "$scratch/pkg" && ls -- *.deb) >"$scratch/made"
printf '%s\n' "$(basename "$deb_zelt")" "$(basename "$deb_vorlith")" "$(basename "$deb_plugin")" | sort >"$scratch/want"
if ! diff -u "$scratch/want" "$scratch/made" >&2; then
  echo "cpack made other packages than the three expected" >&2
  exit 1
fi

fail=0
err() { echo "package: $*" >&2; fail=1; }

# ---- control data
# check_field DEB FIELD EXPECTED
check_field() {
  local got
  got=$(dpkg-deb -f "$1" "$2")
  [ "$got" = "$3" ] || err "$(basename "$1"): $2 is '$got', expected '$3'"
}
for deb in "$deb_vorlith" "$deb_zelt" "$deb_plugin"; do
  check_field "$deb" Version "$version"
  check_field "$deb" Source vorlith
  check_field "$deb" Priority optional
  [ -n "$(dpkg-deb -f "$deb" Maintainer)" ] || err "$(basename "$deb"): no Maintainer"
  # The whole control file must parse; dpkg-deb -I prints it.
  dpkg-deb -I "$deb" >/dev/null || err "dpkg-deb -I fails on $(basename "$deb")"
done
check_field "$deb_vorlith" Package vorlith
check_field "$deb_vorlith" Architecture "$arch"
check_field "$deb_vorlith" Section devel
check_field "$deb_vorlith" Recommends "cpp, libkelvaro-zelt-java (= $version)"
grep -q 'XDR/RPC interface compiler for Java' <<<"$(dpkg-deb -f "$deb_vorlith" Description)" \
  || err "vorlith: Description does not say what the package is"
depends=$(dpkg-deb -f "$deb_vorlith" Depends)
# Package names alone, one a line, without version constraints.
depends_names=$(sed -e 's/ *([^)]*)//g' -e 's/, */\n/g' <<<"$depends" | sort)
[ "$depends_names" = "$(printf 'libc6\nlibtirpc3')" ] \
  || err "vorlith: Depends is '$depends', expected libc6 and libtirpc3 (the C++ runtime is linked in)"

check_field "$deb_zelt" Package libkelvaro-zelt-java
check_field "$deb_zelt" Architecture all
check_field "$deb_zelt" Section java
# A Java library names no Java runtime and depends on nothing else.
check_field "$deb_zelt" Depends ""
grep -q 'ONC RPC and XDR runtime for Java' <<<"$(dpkg-deb -f "$deb_zelt" Description)" \
  || err "libkelvaro-zelt-java: Description does not say what the package is"

check_field "$deb_plugin" Package libvorlith-maven-plugin-java
check_field "$deb_plugin" Architecture all
check_field "$deb_plugin" Section java
# The plugin runs the vorlith of its release; Maven resolves the
# plexus-utils its POM names from Debian's repository.
check_field "$deb_plugin" Depends "vorlith (= $version), libplexus-utils2-java"
check_field "$deb_plugin" Recommends "libkelvaro-zelt-java (= $version), maven"
grep -q 'Maven plugin that generates Java sources with vorlith' <<<"$(dpkg-deb -f "$deb_plugin" Description)" \
  || err "libvorlith-maven-plugin-java: Description does not say what the package is"

# ---- contents
extract() {
  dpkg-deb -x "$1" "$2"
  dpkg-deb -c "$1" >"$2.contents"
  local not_root
  not_root=$(awk '$2 != "root/root" { print $6 }' "$2.contents")
  [ -z "$not_root" ] || err "$(basename "$1"): not owned by root: $not_root"
  # Directories 0755, files 0644 or (programs) 0755, nothing writable by others.
  awk '$1 !~ /^(drwxr-xr-x|-rw-r--r--|-rwxr-xr-x|lrwxrwxrwx)$/ { print $1, $6 }' "$2.contents" >"$2.modes"
  [ ! -s "$2.modes" ] || err "$(basename "$1"): unusual modes: $(cat "$2.modes")"
}
extract "$deb_vorlith" "$scratch/vorlith"
extract "$deb_zelt" "$scratch/zelt"
extract "$deb_plugin" "$scratch/plugin"
layout_check "$scratch/vorlith/usr" vorlith "$version" || fail=1
layout_check "$scratch/zelt/usr" libkelvaro-zelt-java "$version" || fail=1
layout_check "$scratch/plugin/usr" libvorlith-maven-plugin-java "$version" || fail=1
for prog in bin/vorlith libexec/vorlith/msgclient; do
  grep -qE "^-rwxr-xr-x .* \./usr/$prog\$" "$scratch/vorlith.contents" || err "usr/$prog is not mode 0755"
done
[ "$fail" = 0 ] || exit 1

# ---- copyright, manual page, changelogs
for pkg in vorlith libkelvaro-zelt-java libvorlith-maven-plugin-java; do
  root=$scratch/zelt
  [ "$pkg" = vorlith ] && root=$scratch/vorlith
  [ "$pkg" = libvorlith-maven-plugin-java ] && root=$scratch/plugin
  doc=$root/usr/share/doc/$pkg
  head -n 1 "$doc/copyright" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
    || err "$pkg: copyright is not in Debian's machine-readable format"
  # The stanza for every file of ours, and the licence's own paragraph.
  awk '/^Files: \*$/ { f = 1; next } f && /^License:/ { print; exit }' "$doc/copyright" | grep -qx 'License: Apache-2.0' \
    || err "$pkg: copyright does not put Files: * under Apache-2.0"
  grep -qF '"/usr/share/common-licenses/Apache-2.0"' "$doc/copyright" \
    || err "$pkg: copyright does not point at /usr/share/common-licenses/Apache-2.0"
  # gzip -9n: no file name and no time stamp in the header (flags byte 0,
  # time 0), best compression (extra flags 2).
  gz_files=("$doc/changelog.Debian.gz")
  [ "$pkg" = vorlith ] && gz_files+=("$root/usr/share/man/man1/vorlith.1.gz")
  for gz in "${gz_files[@]}"; do
    gzip -t "$gz" 2>/dev/null || { err "$gz is not gzip data"; continue; }
    [ "$(od -An -tx1 -j3 -N6 "$gz" | tr -d ' ')" = 000000000002 ] \
      || err "$pkg: $(basename "$gz") is not compressed with gzip -9n"
  done
  top=$(gzip -dc "$doc/changelog.Debian.gz" | head -n 1)
  [[ $top == "vorlith ($version) "* ]] || err "$pkg: the changelog's newest entry is '$top', not version $version"
done
gzip -dc "$scratch/vorlith/usr/share/man/man1/vorlith.1.gz" | cmp -s - "$source/packaging/vorlith.1" \
  || err "the packaged manual page differs from packaging/vorlith.1"
[ "$fail" = 0 ] || exit 1

# ---- lintian: errors fail; each warning must be one the README's Install
# section lists, with its reason.
if ! command -v lintian >/dev/null; then
  echo "lintian is not installed (scripts/install-deps.sh installs it)" >&2
  exit 1
fi
lintian --no-cfg --pedantic --fail-on none "$deb_vorlith" "$deb_zelt" "$deb_plugin" >"$scratch/lintian" 2>"$scratch/lintian.err" || {
  cat "$scratch/lintian.err" >&2
  err "lintian failed to run"
}
grep -E '^E: ' "$scratch/lintian" >&2 && err "lintian reports errors"
cat >"$scratch/lintian.allowed" <<EOF
W: libkelvaro-zelt-java: wrong-name-for-changelog-of-native-package [usr/share/doc/libkelvaro-zelt-java/changelog.Debian.gz]
W: libvorlith-maven-plugin-java: wrong-name-for-changelog-of-native-package [usr/share/doc/libvorlith-maven-plugin-java/changelog.Debian.gz]
W: vorlith: wrong-name-for-changelog-of-native-package [usr/share/doc/vorlith/changelog.Debian.gz]
EOF
grep -E '^W: ' "$scratch/lintian" | sort | comm -23 - "$scratch/lintian.allowed" >"$scratch/lintian.new"
[ ! -s "$scratch/lintian.new" ] || { cat "$scratch/lintian.new" >&2; err "lintian warns beyond the warnings the README lists"; }
[ "$fail" = 0 ] || exit 1

# ---- what the packages do
# The extracted compiler writes exactly the committed Java of every example.
bash "$source/examples/regen.sh" "$scratch/vorlith/usr/bin/vorlith" "$scratch/gen"
diff -r "$source/examples/kvstore/java" "$scratch/gen/kvstore" >&2 \
  && diff -r "$source/examples/filexfer/java" "$scratch/gen/filexfer" >&2 \
  || err "the packaged vorlith writes different Java for the examples"

# The extracted jar is what the generated code compiles against.
jar=$scratch/zelt/usr/share/java/kelvaro-zelt.jar
mkdir "$scratch/classes"
javac -nowarn -d "$scratch/classes" -cp "$jar" "$source"/examples/kvstore/java/*.java >"$scratch/javac.log" 2>&1 \
  || { cat "$scratch/javac.log" >&2; err "examples/kvstore/java does not compile against the packaged jar"; }

# Maven, offline, up to package (compile, test and jar): a local
# repository made of links to Debian's /usr/share/maven-repo (its plugins)
# and to the extracted packages' kelvaro/ folders, so nothing is written
# into either; the extracted vorlith is the one on PATH.
if command -v mvn >/dev/null && [ -d /usr/share/maven-repo ]; then
  repo=$scratch/m2
  cp -rs /usr/share/maven-repo "$repo"
  rm -rf "$repo/kelvaro"
  mkdir "$repo/kelvaro"
  ln -s "$scratch/zelt/usr/share/maven-repo/kelvaro/kelvaro-zelt" "$repo/kelvaro/kelvaro-zelt"
  ln -s "$scratch/plugin/usr/share/maven-repo/kelvaro/vorlith-maven-plugin" "$repo/kelvaro/vorlith-maven-plugin"
  proj=$scratch/mvn
  mkdir -p "$proj/src/main/x"
  cp "$source/examples/kvstore/kvstore.x" "$proj/src/main/x/"
  cat >"$proj/pom.xml" <<EOF
<?xml version="1.0" encoding="UTF-8"?>
<project xmlns="http://maven.apache.org/POM/4.0.0">
  <modelVersion>4.0.0</modelVersion>
  <groupId>test</groupId>
  <artifactId>kvclient</artifactId>
  <version>1</version>
  <properties>
    <maven.compiler.release>17</maven.compiler.release>
    <project.build.sourceEncoding>UTF-8</project.build.sourceEncoding>
  </properties>
  <dependencies>
    <dependency>
      <groupId>kelvaro</groupId>
      <artifactId>kelvaro-zelt</artifactId>
      <version>$version</version>
    </dependency>
  </dependencies>
  <build>
    <plugins>
      <plugin>
        <groupId>kelvaro</groupId>
        <artifactId>vorlith-maven-plugin</artifactId>
        <version>$version</version>
        <executions>
          <execution><goals><goal>generate</goal></goals></execution>
        </executions>
      </plugin>
    </plugins>
  </build>
</project>
EOF
  if ! (cd "$proj" && PATH="$scratch/vorlith/usr/bin:$PATH" mvn -o -B -q -Dmaven.repo.local="$repo" package) \
      >"$scratch/mvn.log" 2>&1; then
    tail -n 30 "$scratch/mvn.log" >&2
    err "an offline Maven build cannot use the packaged plugin and kelvaro:kelvaro-zelt:$version"
  fi
  [ -f "$proj/target/classes/KVSTORE_cln.class" ] || err "the Maven build compiled nothing"
  jar tf "$proj/target/kvclient-1.jar" 2>/dev/null | grep -q 'KVSTORE_cln.class' \
    || err "mvn -o package made no jar holding the compiled classes"
else
  err "Maven or Debian's /usr/share/maven-repo is missing (scripts/install-deps.sh installs them)"
fi
exit "$fail"
