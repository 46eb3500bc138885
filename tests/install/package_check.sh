#!/bin/bash
# Builds the Debian package from the configured build folder into a scratch
# folder (the build folder's own package stays untouched), then checks its
# name, its control data and its file list with dpkg-deb, extracts it and
# runs the extracted vorlith on the examples.
#
#   package_check.sh BUILD_DIR SOURCE_DIR VERSION
set -eu
build=$1
source=$2
version=$3

scratch=$(mktemp -d "${TMPDIR:-/tmp}/vorlith-package.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

if ! (cd "$build" && cpack -G DEB -B "$scratch/pkg" --config "$build/CPackConfig.cmake") \
      >"$scratch/cpack.log" 2>&1; then
  cat "$scratch/cpack.log" >&2
  echo "cpack failed" >&2
  exit 1
fi

arch=$(dpkg --print-architecture)
deb="$scratch/pkg/vorlith_${version}_${arch}.deb"
if [ ! -f "$deb" ]; then
  echo "no package vorlith_${version}_${arch}.deb; cpack made:" >&2
  ls "$scratch/pkg" >&2
  exit 1
fi

fail=0
err() { echo "package: $*" >&2; fail=1; }

# Control data, one field at a time.
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = vorlith ] || err "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || err "Version is '$(field Version)'"
[ "$(field Architecture)" = "$arch" ] || err "Architecture is '$(field Architecture)'"
[ "$(field Section)" = devel ] || err "Section is '$(field Section)'"
[ "$(field Recommends)" = cpp ] || err "Recommends is '$(field Recommends)'"
[ -n "$(field Maintainer)" ] || err "no Maintainer"
grep -q 'XDR/RPC interface compiler for Java' <<<"$(field Description)" \
  || err "Description does not say what the package is"
depends=$(field Depends)
# Package names alone, one a line, without version constraints.
depends_names=$(sed -e 's/ *([^)]*)//g' -e 's/, */\n/g' <<<"$depends")
for lib in libc6 libtirpc3; do
  grep -qxF "$lib" <<<"$depends_names" || err "Depends lacks $lib: '$depends'"
done
# The full control file must parse as one; dpkg-deb -I prints it.
dpkg-deb -I "$deb" >/dev/null || err "dpkg-deb -I fails"

# The files in the package, owner root, programs executable.
dpkg-deb -c "$deb" >"$scratch/contents"
awk '$1 !~ /^d/ { print $6 }' "$scratch/contents" | sort >"$scratch/files"
printf '%s\n' ./usr/bin/msgclient ./usr/bin/vorlith ./usr/share/man/man1/vorlith.1 >"$scratch/expected"
diff -u "$scratch/expected" "$scratch/files" >&2 || err "file list differs from the expected one"
not_root=$(awk '$2 != "root/root" { print $6 }' "$scratch/contents")
[ -z "$not_root" ] || err "not owned by root: $not_root"
grep -E ' \./usr/bin/(vorlith|msgclient)$' "$scratch/contents" | grep -qv '^-rwxr-xr-x' \
  && err "a program in usr/bin is not mode 0755"

dpkg-deb -x "$deb" "$scratch/root"
[ "$fail" = 0 ] || exit 1

# The extracted compiler writes exactly the committed Java of every example.
bash "$source/examples/regen.sh" "$scratch/root/usr/bin/vorlith" "$scratch/gen"
diff -r "$source/examples/kvstore/java" "$scratch/gen/kvstore" >&2 \
  && diff -r "$source/examples/filexfer/java" "$scratch/gen/filexfer" >&2 || {
  echo "the packaged vorlith writes different Java for the examples" >&2
  exit 1
}
# The packaged manual page is the one in the source tree.
cmp "$source/packaging/vorlith.1" "$scratch/root/usr/share/man/man1/vorlith.1" \
  || { echo "packaged manual page differs from packaging/vorlith.1" >&2; exit 1; }
