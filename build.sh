#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# The entry point for a fresh machine: installs the Debian packages a task
# needs when they are missing, then runs the task. Needs nothing but a POSIX
# shell and Debian's base system; make and cmake come with the packages.
#
#   ./build.sh demo      vorlith and the runtime (in build/), then a generated
#                        client calling a generated server (build/demo)
#   ./build.sh test      every test stage, with a summary (build/test-logs)
#   ./build.sh [build]   configure and build everything in build/
#   ./build.sh deps      only install the packages that building and testing need
#
# Packages are installed with apt-get when run as root; otherwise the script
# stops at once and prints the command that installs them. The make targets
# of the same names do the same for those who have make.
# Environment: BUILD (build), ASAN_BUILD (build-asan), FUZZ_RUNS (20000),
# JOBS (the number of processors).
set -eu

cd "$(dirname "$0")"
build=${BUILD:-build}
asan_build=${ASAN_BUILD:-build-asan}
fuzz_runs=${FUZZ_RUNS:-20000}
jobs=${JOBS:-$(nproc 2>/dev/null || echo 2)}

case "${1:-build}" in
  demo)
    sh scripts/install-deps.sh demo
    exec bash scripts/demo.sh "$build"
    ;;
  test)
    # The first stage installs what is missing and says which.
    exec bash scripts/test.sh "$build" "$asan_build" "$fuzz_runs" "$jobs"
    ;;
  build)
    sh scripts/install-deps.sh
    # A build folder that the demo configured gets everything.
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORLITH_DEMO_ONLY=OFF
    exec cmake --build "$build" -j "$jobs"
    ;;
  deps)
    exec sh scripts/install-deps.sh
    ;;
  -h | --help | help)
    sed -n '6,11s/^# \{0,1\}//p' "$0"
    ;;
  *)
    echo "usage: $0 [demo | test | build | deps]" >&2
    exit 2
    ;;
esac
