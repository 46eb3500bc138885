#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Installs the Debian packages that building and testing need, when they are
# missing and we are root. Without root it only lists what is missing, so a
# developer sees why a later step may fail.
set -eu

packages="g++ cmake make cpp libgtest-dev libtirpc-dev rpcbind rpcsvc-proto
openjdk-17-jdk-headless clang libclang-rt-14-dev groff-base
man-db dpkg-dev junit5 python3
lintian maven libmaven-compiler-plugin-java libmaven-resources-plugin-java
libexec-maven-plugin-java libbuild-helper-maven-plugin-java libmaven-install-plugin-java"

missing=""
for p in $packages; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing="$missing $p"
  fi
done

[ -z "$missing" ] && exit 0

if [ "$(id -u)" = 0 ]; then
  echo "installing:$missing"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  # shellcheck disable=SC2086
  apt-get install -y -q --no-install-recommends $missing
else
  echo "missing packages (run as root to install):$missing" >&2
fi
