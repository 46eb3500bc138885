#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# Makes sure rpcbind runs on this machine and answers on the loopback address.
#
#   scripts/rpcbind-up.sh
#
# Exits 0 as soon as rpcbind answers on 127.0.0.1. When it does not, and we
# are root, starts it ("rpcbind -w", a daemon that stays up for later runs)
# and waits for it, at most RPCBIND_UP_WAIT seconds (default 10). Any other
# outcome ends with a message on standard error and a non-zero status.
set -eu

# rpcbind and rpcinfo live in /usr/sbin, which an ordinary PATH may lack.
PATH="$PATH:/usr/sbin:/sbin"

wait_seconds=${RPCBIND_UP_WAIT:-10}
me=rpcbind-up

answers() {
  rpcinfo -p 127.0.0.1 >/dev/null 2>&1
}

if ! command -v rpcinfo >/dev/null 2>&1 || ! command -v rpcbind >/dev/null 2>&1; then
  echo "$me: rpcbind is not installed (Debian package rpcbind, see scripts/install-deps.sh)" >&2
  exit 2
fi

answers && exit 0

if [ "$(id -u)" != 0 ]; then
  echo "$me: rpcbind does not answer on 127.0.0.1 and only root can start it" >&2
  exit 3
fi

# Several test scripts may get here at the same time: one starts the daemon,
# the others find it answering once they hold the lock.
exec 8>/tmp/vorlith-rpcbind-up.lock
if ! flock -w "$wait_seconds" 8; then
  echo "$me: another start of rpcbind holds /tmp/vorlith-rpcbind-up.lock" >&2
  exit 4
fi

answers && exit 0

# Starts the daemon with no descriptor of ours beyond 0-2 (which it points at
# /dev/null): it would otherwise hold the lock above, or a pipe of whoever ran
# us, for as long as it lives.
start_rpcbind() {
  local fd
  for fd in $(ls /proc/$BASHPID/fd); do
    [ "$fd" -gt 2 ] && eval "exec $fd>&-"
  done
  exec rpcbind -w
}

# A daemon that is starting but not yet answering makes a second start fail
# harmlessly, so a failed start only counts when rpcbind never answers.
start_log=$( (start_rpcbind) 2>&1) || true

deadline=$((SECONDS + wait_seconds))
while [ "$SECONDS" -le "$deadline" ]; do
  answers && exit 0
  sleep 0.1
done

echo "$me: rpcbind does not answer on 127.0.0.1 after ${wait_seconds}s" >&2
[ -n "$start_log" ] && printf '%s: rpcbind -w said: %s\n' "$me" "$start_log" >&2
exit 1
