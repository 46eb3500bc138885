#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Installs the Debian packages that are missing for a task:
#
#   scripts/install-deps.sh          everything building and testing need
#   scripts/install-deps.sh demo     only what the demo needs
#
# As root it installs them with apt-get and names each one it installed
# ("installed: ..."); otherwise it stops with status 1 and the exact command
# that installs them. With nothing missing it says so and does nothing.
set -eu

# One list per task, words separated by blanks and line breaks.
demo_packages="g++ cmake make openjdk-17-jdk-headless"

packages="g++ cmake make cpp libgtest-dev libtirpc-dev rpcbind rpcsvc-proto
openjdk-17-jdk-headless clang libclang-rt-14-dev groff-base
man-db dpkg-dev junit5 python3
lintian maven libmaven3-core-java libplexus-utils2-java libmaven-clean-plugin-java
libmaven-compiler-plugin-java libmaven-resources-plugin-java libsurefire-java
libmaven-jar-plugin-java
krb5-kdc krb5-admin-server krb5-user libkrb5-dev"

case "${1:-all}" in
  demo) wanted=$demo_packages ;;
  all) wanted=$packages ;;
  *) echo "usage: $0 [demo]" >&2; exit 2 ;;
esac

missing=""
for p in $wanted; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing="$missing $p"
  fi
done

if [ -z "$missing" ]; then
  echo "installed: none (every package was there)"
  exit 0
fi

if [ "$(id -u)" != 0 ]; then
  echo "missing Debian packages:$missing" >&2
  echo "install them as root, then run this again:" >&2
  echo "  sudo sh -c 'apt-get update && apt-get install -y --no-install-recommends$missing'" >&2
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive
apt-get update -q
# shellcheck disable=SC2086
apt-get install -y -q --no-install-recommends $missing
echo "installed:$missing"
