# SPDX-License-Identifier: Apache-2.0
# Sourced by the RPC benchmark scripts: `scratch NAME` makes the scratch
# folder $work and the list $pids of processes the script starts; when the
# script ends, however it ends, those processes are stopped and the folder
# is removed.
cleanup() {
  local p
  for p in $pids; do kill -TERM "$p" 2>/dev/null || true; done
  for p in $pids; do wait "$p" 2>/dev/null || true; done
  rm -rf "$work"
}

scratch() {
  work=$(mktemp -d "${TMPDIR:-/tmp}/$1.XXXXXX")
  pids=""
  trap cleanup EXIT
}
