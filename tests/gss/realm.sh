#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# A scratch Kerberos realm for the RPCSEC_GSS tests, all inside one folder.
#   realm.sh start DIR   makes DIR anew: configuration, database, principals
#                        and keytabs, and starts a KDC on a free loopback port
#   realm.sh stop DIR    stops that KDC and removes DIR
# After start, DIR/env holds the variables the tests source (KRB5_CONFIG,
# the keytabs, the principals, the ticket caches filled with kinit).
set -eu
mode=$1
dir=$2
realm=ZELT.TEST

stop() {
  if [ -f "$dir/kdc.pid" ]; then
    pid=$(cat "$dir/kdc.pid")
    if kill "$pid" 2>/dev/null; then
      for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
      kill -9 "$pid" 2>/dev/null || true
    fi
  fi
  rm -rf "$dir"
}

case $mode in
  stop)
    stop
    exit 0
    ;;
  start)
    ;;
  *)
    echo "usage: $0 start|stop DIR" >&2
    exit 2
    ;;
esac

for tool in krb5kdc kdb5_util kadmin.local kinit setsid; do
  command -v "$tool" >/dev/null || PATH=$PATH:/usr/sbin
  command -v "$tool" >/dev/null || { echo "$tool not found (packages krb5-kdc, krb5-admin-server, krb5-user; setsid: util-linux)" >&2; exit 1; }
done

stop # whatever an earlier run left behind
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
trap 'status=$?; if [ $status -ne 0 ]; then stop; fi' EXIT

write_conf() {
  cat >"$dir/krb5.conf" <<CONF
[libdefaults]
  default_realm = $realm
  dns_lookup_kdc = false
  dns_lookup_realm = false
  dns_canonicalize_hostname = false
  rdns = false
  ignore_acceptor_hostname = true
  udp_preference_limit = 1
  default_ccache_name = FILE:$dir/ccache-default
  permitted_enctypes = aes256-cts-hmac-sha1-96 aes128-cts-hmac-sha1-96
  default_tkt_enctypes = aes256-cts-hmac-sha1-96 aes128-cts-hmac-sha1-96
  default_tgs_enctypes = aes256-cts-hmac-sha1-96 aes128-cts-hmac-sha1-96
  ticket_lifetime = 10h
  kdc_timeout = 5000
  max_retries = 2
[realms]
  $realm = {
    kdc = 127.0.0.1:$1
  }
[domain_realm]
  localhost = $realm
  127.0.0.1 = $realm
CONF
  cat >"$dir/kdc.conf" <<CONF
[kdcdefaults]
  kdc_ports = $1
  kdc_tcp_ports = $1
  kdc_listen = 127.0.0.1
  kdc_tcp_listen = 127.0.0.1
[realms]
  $realm = {
    database_name = $dir/principal
    key_stash_file = $dir/stash
    acl_file = $dir/kadm5.acl
    max_life = 10h
    max_renewable_life = 0
    supported_enctypes = aes256-cts-hmac-sha1-96:normal aes128-cts-hmac-sha1-96:normal
    kdc_listen = 127.0.0.1:$1
    kdc_tcp_listen = 127.0.0.1:$1
  }
[logging]
  kdc = FILE:$dir/kdc.log
CONF
}

export KRB5_CONFIG=$dir/krb5.conf
export KRB5_KDC_PROFILE=$dir/kdc.conf
write_conf 88
: >"$dir/kadm5.acl"
kdb5_util -r $realm create -s -P "scratch-$$-$RANDOM" >"$dir/kdb5_util.log" 2>&1

service=zelt/localhost@$realm
clients="alice mallory"
kadmin.local -r $realm -q "addprinc -randkey $service" >"$dir/kadmin.log" 2>&1
kadmin.local -r $realm -q "ktadd -k $dir/service.keytab $service" >>"$dir/kadmin.log" 2>&1
for c in $clients; do
  kadmin.local -r $realm -q "addprinc -randkey $c@$realm" >>"$dir/kadmin.log" 2>&1
  kadmin.local -r $realm -q "ktadd -k $dir/$c.keytab $c@$realm" >>"$dir/kadmin.log" 2>&1
done

# Whether something accepts TCP connections on 127.0.0.1:PORT, by bash's own
# /dev/tcp (no ss or netstat, which a minimal system lacks).
listening() {
  (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

# A free port: try random ones until the KDC binds one (it exits when it
# cannot bind its UDP or TCP port).
started=""
for _ in $(seq 20); do
  port=$((20000 + RANDOM % 30000))
  if listening "$port"; then continue; fi
  write_conf $port
  setsid krb5kdc -n -r $realm -P "$dir/kdc.pid" </dev/null >"$dir/kdc.out" 2>&1 &
  echo $! >"$dir/kdc.pid"
  for _ in $(seq 50); do
    if listening "$port"; then started=$port; break; fi
    kill -0 "$(cat "$dir/kdc.pid")" 2>/dev/null || break
    sleep 0.1
  done
  [ -n "$started" ] && break
  kill "$(cat "$dir/kdc.pid")" 2>/dev/null || true
done
[ -n "$started" ] || { echo "the KDC did not start:" >&2; cat "$dir/kdc.out" "$dir/kdc.log" >&2 2>/dev/null; exit 1; }

for c in $clients; do
  KRB5CCNAME=FILE:$dir/$c.ccache kinit -k -t "$dir/$c.keytab" "$c@$realm"
done

cat >"$dir/env" <<ENV
export KRB5_CONFIG=$dir/krb5.conf
export GSS_REALM=$realm
export GSS_KDC_PORT=$started
export GSS_SERVICE=$service
export GSS_SERVICE_HOSTBASED=zelt@localhost
export GSS_SERVICE_KEYTAB=$dir/service.keytab
export GSS_ALICE=alice@$realm
export GSS_ALICE_KEYTAB=$dir/alice.keytab
export GSS_ALICE_CCACHE=$dir/alice.ccache
export GSS_MALLORY=mallory@$realm
export GSS_MALLORY_KEYTAB=$dir/mallory.keytab
export GSS_MALLORY_CCACHE=$dir/mallory.ccache
ENV
echo "realm $realm: KDC on 127.0.0.1 port $started, files in $dir"
