# SPDX-License-Identifier: Apache-2.0
# The installed layout of the three packages, for install_check.sh (a
# cmake --install prefix holds them all) and package_check.sh (one
# extracted package at a time). Sourced, not run.
#
#   layout_check ROOT PACKAGES VERSION
#
# ROOT is the prefix (/usr in a package); PACKAGES is one or more of
# "vorlith", "libkelvaro-zelt-java" and "libvorlith-maven-plugin-java".
# Compares every file and link under ROOT, links with their targets, with
# the lists below. The API documentation is checked by its class pages:
# exactly one page for every public class of a package that the installed
# jar's module exports (kelvaro.ZELT, in the module's folder), an
# index.html, and no copy of a JavaScript library (the copyright file
# covers only javadoc's own script.js); the Javadoc jar holds the same
# pages, the sources jar a .java file for every class file of the jar. The
# POMs must name the coordinates kelvaro:kelvaro-zelt:VERSION and :debian
# and kelvaro:vorlith-maven-plugin:VERSION and :debian, with a name, a
# description, a licence and a URL; each plugin jar's descriptor names its
# own version.

# Files and links of each package, relative to ROOT; a link as "PATH -> TARGET".
layout_vorlith() {
  local ex=share/doc/vorlith/examples/msgclient
  printf '%s\n' bin/vorlith libexec/vorlith/msgclient share/man/man1/vorlith.1.gz \
    share/doc/vorlith/copyright share/doc/vorlith/changelog.Debian.gz \
    $ex/cln_main.cpp $ex/msg_clnt.cpp $ex/msg_clnt.h $ex/msg_xdr.cpp $ex/msg_xdr.h \
    $ex/msg.x $ex/MsgServer.java
}

layout_zelt() {
  local v=$1 repo=share/maven-repo/kelvaro/kelvaro-zelt
  printf '%s\n' "share/java/kelvaro-zelt-$v.jar" \
    "share/java/kelvaro-zelt.jar -> kelvaro-zelt-$v.jar" \
    "$repo/$v/kelvaro-zelt-$v.pom" \
    "$repo/$v/kelvaro-zelt-$v.jar -> ../../../../java/kelvaro-zelt.jar" \
    "$repo/debian/kelvaro-zelt-debian.pom" \
    "$repo/debian/kelvaro-zelt-debian.jar -> ../../../../java/kelvaro-zelt.jar" \
    "$repo/$v/kelvaro-zelt-$v-sources.jar" \
    "$repo/$v/kelvaro-zelt-$v-javadoc.jar" \
    "$repo/debian/kelvaro-zelt-debian-sources.jar -> ../$v/kelvaro-zelt-$v-sources.jar" \
    "$repo/debian/kelvaro-zelt-debian-javadoc.jar -> ../$v/kelvaro-zelt-$v-javadoc.jar" \
    share/doc/libkelvaro-zelt-java/copyright share/doc/libkelvaro-zelt-java/changelog.Debian.gz
}

layout_plugin() {
  local v=$1 repo=share/maven-repo/kelvaro/vorlith-maven-plugin
  printf '%s\n' "$repo/$v/vorlith-maven-plugin-$v.pom" "$repo/$v/vorlith-maven-plugin-$v.jar" \
    "$repo/debian/vorlith-maven-plugin-debian.pom" "$repo/debian/vorlith-maven-plugin-debian.jar" \
    share/doc/libvorlith-maven-plugin-java/copyright share/doc/libvorlith-maven-plugin-java/changelog.Debian.gz
}

# pom_check POM GROUP ARTIFACT VERSION PACKAGING DEB_PACKAGE RELEASE: the
# coordinates and the metadata a Maven user reads.
pom_check() {
  local pom=$1 bad=0 want
  [ -f "$pom" ] || { echo "layout: no $pom" >&2; return 1; }
  for want in "<groupId>$2</groupId>" "<artifactId>$3</artifactId>" "<version>$4</version>" \
              "<packaging>$5</packaging>" "<debian.originalVersion>$7</debian.originalVersion>" \
              "<debian.package>$6</debian.package>" '<name>' '<description>' '<url>' \
              '<url>https://www.apache.org/licenses/LICENSE-2.0</url>' '<name>Apache-2.0</name>'; do
    grep -qF "$want" "$pom" || { echo "layout: $pom lacks $want" >&2; bad=1; }
  done
  return "$bad"
}

# The documentation page of every public class of an exported package of
# the modular jar $1, one a line: kelvaro.ZELT.Outer$Inner of the module
# kelvaro.zelt has kelvaro.zelt/kelvaro/ZELT/Outer.Inner.html. Classes of
# the packages the module keeps to itself have none.
api_class_pages() {
  local classes descriptor module exported
  descriptor=$(jar --describe-module --file "$1")
  module=$(echo "$descriptor" | sed -n '1s/ .*//p')
  exported=$(echo "$descriptor" | sed -n 's/^exports \([^ ]*\)$/\1/p')
  [ -n "$module" ] || { echo "layout: $1 is no modular jar" >&2; return 1; }
  classes=$(jar tf "$1" | sed -n 's/\.class$//p' | grep -vx 'module-info' | tr / .)
  [ -n "$classes" ] || return 0
  # shellcheck disable=SC2086
  javap -cp "$1" $classes |
    sed -n 's/^public .*\(class\|interface\|enum\|record\|@interface\) \([A-Za-z0-9_.$]*\).*/\2/p' |
    awk -v module="$module" -v exported="$exported" '
      BEGIN { k = split(exported, e, "\n"); for (i = 1; i <= k; i++) api[e[i]] = 1 }
      { n = split($0, p, "."); pkg = p[1]; path = p[1] "/";
        for (i = 2; i < n; i++) { pkg = pkg "." p[i]; path = path p[i] "/" }
        if (!(pkg in api)) next;
        gsub(/\$/, ".", p[n]); print module "/" path p[n] ".html" }' | sort
}

layout_check() {
  local root=$1 packages=$2 version=$3 bad=0 api=share/doc/libkelvaro-zelt-java/api
  local tmp
  tmp=$(mktemp -d "${TMPDIR:-/tmp}/vorlith-layout.XXXXXX")
  {
    case " $packages " in *" vorlith "*) layout_vorlith ;; esac
    case " $packages " in *" libkelvaro-zelt-java "*) layout_zelt "$version" ;; esac
    case " $packages " in *" libvorlith-maven-plugin-java "*) layout_plugin "$version" ;; esac
  } | sort >"$tmp/expected"
  (cd "$root" && find . \( -type f -o -type l \) -printf '%P\n' | sort) >"$tmp/all"
  while IFS= read -r f; do
    case $f in
      $api/*) ;;
      *) if [ -L "$root/$f" ]; then echo "$f -> $(readlink "$root/$f")"; else echo "$f"; fi ;;
    esac
  done <"$tmp/all" | sort >"$tmp/actual"
  if ! diff -u "$tmp/expected" "$tmp/actual" >&2; then
    echo "layout: the files under $root differ from the expected list" >&2
    bad=1
  fi

  case " $packages " in
    *" libkelvaro-zelt-java "*)
      [ -f "$root/$api/index.html" ] || { echo "layout: no $api/index.html" >&2; bad=1; }
      api_class_pages "$root/share/java/kelvaro-zelt.jar" >"$tmp/pages.expected"
      [ -s "$tmp/pages.expected" ] || { echo "layout: the jar has no public class" >&2; bad=1; }
      (cd "$root/$api" && find kelvaro.zelt -name '*.html' ! -name 'package-*.html' ! -name 'module-summary.html' \
        ! -path '*/class-use/*' | sort) \
        >"$tmp/pages.actual"
      if ! diff -u "$tmp/pages.expected" "$tmp/pages.actual" >&2; then
        echo "layout: the API pages differ from the jar's public classes" >&2
        bad=1
      fi
      # The Maven coordinates kelvaro:kelvaro-zelt, under the release's
      # version and under Debian's "debian".
      local pv repo=$root/share/maven-repo/kelvaro/kelvaro-zelt
      for pv in "$version" debian; do
        pom_check "$repo/$pv/kelvaro-zelt-$pv.pom" kelvaro kelvaro-zelt "$pv" jar libkelvaro-zelt-java "$version" \
          || bad=1
      done
      # The sources jar: a .java file for every top-level class; the Javadoc
      # jar: the same pages as the installed documentation.
      jar tf "$root/share/java/kelvaro-zelt.jar" | sed -n 's/\.class$//p' | grep -v '\$' | sort >"$tmp/classes"
      jar tf "$repo/$version/kelvaro-zelt-$version-sources.jar" | sed -n 's/\.java$//p' | grep -v 'package-info' \
        | sort >"$tmp/sources"
      if ! diff -u "$tmp/classes" "$tmp/sources" >&2; then
        echo "layout: the sources jar does not hold the source of every class" >&2
        bad=1
      fi
      jar tf "$repo/$version/kelvaro-zelt-$version-javadoc.jar" | grep -v '/$' | sort >"$tmp/javadoc.jar"
      (cd "$root/$api" && find . -type f -printf '%P\n' | sort) >"$tmp/javadoc.dir"
      if ! diff -u "$tmp/javadoc.dir" "$tmp/javadoc.jar" >&2; then
        echo "layout: the Javadoc jar differs from the installed API documentation" >&2
        bad=1
      fi
      if grep -i -E '(^|/)jquery' "$tmp/all" >&2; then
        echo "layout: the API documentation carries a copy of jQuery" >&2
        bad=1
      fi
      ;;
  esac
  case " $packages " in
    *" libvorlith-maven-plugin-java "*)
      local pv repo=$root/share/maven-repo/kelvaro/vorlith-maven-plugin
      for pv in "$version" debian; do
        pom_check "$repo/$pv/vorlith-maven-plugin-$pv.pom" kelvaro vorlith-maven-plugin "$pv" maven-plugin \
          libvorlith-maven-plugin-java "$version" || bad=1
        # Maven refuses a plugin whose descriptor names another version.
        rm -rf "$tmp/descriptor" && mkdir "$tmp/descriptor"
        (cd "$tmp/descriptor" && jar xf "$repo/$pv/vorlith-maven-plugin-$pv.jar" META-INF/maven/plugin.xml) || bad=1
        if ! grep -qx "  <version>$pv</version>" "$tmp/descriptor/META-INF/maven/plugin.xml" 2>/dev/null; then
          echo "layout: the descriptor in vorlith-maven-plugin-$pv.jar does not name version $pv" >&2
          bad=1
        fi
      done
      ;;
  esac
  rm -rf "$tmp"
  return "$bad"
}
