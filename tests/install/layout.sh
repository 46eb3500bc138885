# SPDX-License-Identifier: Apache-2.0
# The installed layout of the two packages, for install_check.sh (a
# cmake --install prefix holds both) and package_check.sh (one extracted
# package at a time). Sourced, not run.
#
#   layout_check ROOT PACKAGES VERSION
#
# ROOT is the prefix (/usr in a package); PACKAGES is "vorlith",
# "libkelvaro-zelt-java" or both. Compares every file and link under ROOT,
# links with their targets, with the lists below. The API documentation is
# checked by its class pages: exactly one page for every public class of
# the installed jar, an index.html, and no copy of a JavaScript library
# (the copyright file covers only javadoc's own script.js). The POMs must
# name the coordinates kelvaro:kelvaro-zelt:VERSION and :debian.

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
    share/doc/libkelvaro-zelt-java/copyright share/doc/libkelvaro-zelt-java/changelog.Debian.gz
}

# The documentation page of every public class in jar $1, one a line:
# kelvaro.ZELT.Outer$Inner has kelvaro/ZELT/Outer.Inner.html.
api_class_pages() {
  local classes
  classes=$(jar tf "$1" | sed -n 's/\.class$//p' | tr / .)
  [ -n "$classes" ] || return 0
  # shellcheck disable=SC2086
  javap -cp "$1" $classes |
    sed -n 's/^public .*\(class\|interface\|enum\|record\|@interface\) \([A-Za-z0-9_.$]*\).*/\2/p' |
    awk '{ n = split($0, p, "."); path = ""; for (i = 1; i < n; i++) path = path p[i] "/";
           gsub(/\$/, ".", p[n]); print path p[n] ".html" }' | sort
}

layout_check() {
  local root=$1 packages=$2 version=$3 bad=0 api=share/doc/libkelvaro-zelt-java/api
  local tmp
  tmp=$(mktemp -d "${TMPDIR:-/tmp}/vorlith-layout.XXXXXX")
  {
    case " $packages " in *" vorlith "*) layout_vorlith ;; esac
    case " $packages " in *" libkelvaro-zelt-java "*) layout_zelt "$version" ;; esac
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
      (cd "$root/$api" && find kelvaro -name '*.html' ! -name 'package-*.html' ! -path '*/class-use/*' | sort) \
        >"$tmp/pages.actual"
      if ! diff -u "$tmp/pages.expected" "$tmp/pages.actual" >&2; then
        echo "layout: the API pages differ from the jar's public classes" >&2
        bad=1
      fi
      # The Maven coordinates kelvaro:kelvaro-zelt, under the release's
      # version and under Debian's "debian".
      local pv pom
      for pv in "$version" debian; do
        pom="$root/share/maven-repo/kelvaro/kelvaro-zelt/$pv/kelvaro-zelt-$pv.pom"
        [ -f "$pom" ] || continue
        for want in '<groupId>kelvaro</groupId>' '<artifactId>kelvaro-zelt</artifactId>' \
                    "<version>$pv</version>" '<packaging>jar</packaging>' \
                    "<debian.originalVersion>$version</debian.originalVersion>" \
                    '<debian.package>libkelvaro-zelt-java</debian.package>'; do
          grep -qF "$want" "$pom" || { echo "layout: $pom lacks $want" >&2; bad=1; }
        done
      done
      if grep -i -E '(^|/)jquery' "$tmp/all" >&2; then
        echo "layout: the API documentation carries a copy of jQuery" >&2
        bad=1
      fi
      ;;
  esac
  rm -rf "$tmp"
  return "$bad"
}
