# SPDX-License-Identifier: Apache-2.0
# Sourced by the RPC benchmark scripts: `scratch NAME` makes the scratch
# folder $work and the list $pids of processes the script starts; when the
# script ends, however it ends, those processes are stopped and the folder
# is removed. `start_server` starts the benchmark's servers.
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

# start_server NAME COMMAND...: starts a server, waits up to 30 s for its
# line "ready PORT UDP_PORT", and sets the variables NAME_port, NAME_udp and
# NAME_pid. A server that exits or stays silent ends the script.
start_server() {
  local name=$1
  shift
  "$@" >"$work/$name.out" 2>"$work/$name.err" &
  local pid=$! deadline=$((SECONDS + 30))
  pids="$pids $pid"
  until grep -q '^ready [0-9]' "$work/$name.out" 2>/dev/null; do
    if ! kill -0 "$pid" 2>/dev/null || [ "$SECONDS" -gt "$deadline" ]; then
      echo "${0##*/}: the $name server did not start:" >&2
      cat "$work/$name.err" >&2
      exit 1
    fi
    sleep 0.1
  done
  printf -v "${name}_port" '%s' "$(sed -n 's/^ready \([0-9]*\).*/\1/p' "$work/$name.out")"
  printf -v "${name}_udp" '%s' "$(sed -n 's/^ready [0-9]* \([0-9]*\).*/\1/p' "$work/$name.out")"
  printf -v "${name}_pid" '%s' "$pid"
}
