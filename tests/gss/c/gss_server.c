/* SPDX-License-Identifier: Apache-2.0 */
/*
 * A C server on libtirpc with its RPCSEC_GSS server side, for the interop
 * tests: serves the echo program over TCP and UDP on loopback ports.
 *
 *   gss_server SERVICE_NAME PORT_FILE SECONDS
 *
 * SERVICE_NAME is the host-based service (zelt@localhost); its keys come from
 * the keytab that KRB5_KTNAME names. Writes "TCP_PORT UDP_PORT" to PORT_FILE
 * once it serves, and exits by itself after SECONDS. Calls without
 * RPCSEC_GSS are refused with AUTH_TOOWEAK.
 */
#include <gssapi/gssapi.h>
#include <netinet/in.h>
#include <rpc/rpc.h>
#include <rpc/rpcsec_gss.h>
#include <rpc/svc_auth_gss.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include "gss_peer.h"

struct echo {
  char *val;
  u_int len;
};

static bool_t xdr_echo(XDR *x, struct echo *e) {
  return xdr_bytes(x, &e->val, &e->len, GSS_PEER_MAX_ECHO);
}

static int loopback_socket(int type) {
  int s = socket(AF_INET, type, 0);
  if (s < 0) {
    perror("socket");
    exit(1);
  }
  struct sockaddr_in a;
  memset(&a, 0, sizeof a);
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(s, (struct sockaddr *)&a, sizeof a) != 0) {
    perror("bind");
    exit(1);
  }
  if (type == SOCK_STREAM && listen(s, 64) != 0) {
    perror("listen");
    exit(1);
  }
  return s;
}

static int port_of(int s) {
  struct sockaddr_in a;
  socklen_t n = sizeof a;
  if (getsockname(s, (struct sockaddr *)&a, &n) != 0) {
    perror("getsockname");
    exit(1);
  }
  return ntohs(a.sin_port);
}

static const char *service_word(rpc_gss_service_t s) {
  switch (s) {
  case rpcsec_gss_svc_none: return "NONE";
  case rpcsec_gss_svc_integrity: return "INTEGRITY";
  case rpcsec_gss_svc_privacy: return "PRIVACY";
  default: return "UNKNOWN";
  }
}

static void dispatch(struct svc_req *rq, SVCXPRT *xprt) {
  if (rq->rq_cred.oa_flavor != RPCSEC_GSS) {
    svcerr_weakauth(xprt);
    return;
  }
  switch (rq->rq_proc) {
  case GSS_PEER_NULL:
    svc_sendreply(xprt, (xdrproc_t)xdr_void, NULL);
    return;
  case GSS_PEER_ECHO: {
    struct echo e = {NULL, 0};
    if (!svc_getargs(xprt, (xdrproc_t)xdr_echo, (caddr_t)&e)) {
      svcerr_decode(xprt);
      return;
    }
    svc_sendreply(xprt, (xdrproc_t)xdr_echo, (caddr_t)&e);
    svc_freeargs(xprt, (xdrproc_t)xdr_echo, (caddr_t)&e);
    return;
  }
  case GSS_PEER_WHOAMI: {
    rpc_gss_rawcred_t *raw = NULL;
    char text[512];
    if (!rpc_gss_getcred(rq, &raw, NULL, NULL) || raw == NULL || raw->client_principal == NULL) {
      svcerr_systemerr(xprt);
      return;
    }
    snprintf(text, sizeof text, "%.*s %s", raw->client_principal->len, raw->client_principal->name,
             service_word(raw->service));
    char *p = text;
    svc_sendreply(xprt, (xdrproc_t)xdr_wrapstring, (caddr_t)&p);
    return;
  }
  default:
    svcerr_noproc(xprt);
  }
}

int main(int argc, char **argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: %s SERVICE_NAME PORT_FILE SECONDS\n", argv[0]);
    return 2;
  }
  if (!rpc_gss_set_svc_name(argv[1], "kerberos_v5", 0, GSS_PEER_PROG, GSS_PEER_VERS)) {
    fprintf(stderr, "gss_server: cannot take the service name %s\n", argv[1]);
    return 1;
  }
  int ts = loopback_socket(SOCK_STREAM);
  int us = loopback_socket(SOCK_DGRAM);
  SVCXPRT *tcp = svctcp_create(ts, GSS_PEER_BUFFER, GSS_PEER_BUFFER);
  SVCXPRT *udp = svcudp_bufcreate(us, 65536, 65536);
  if (tcp == NULL || udp == NULL) {
    fprintf(stderr, "gss_server: cannot create the transports\n");
    return 1;
  }
  if (!svc_register(tcp, GSS_PEER_PROG, GSS_PEER_VERS, dispatch, 0) ||
      !svc_register(udp, GSS_PEER_PROG, GSS_PEER_VERS, dispatch, 0)) {
    fprintf(stderr, "gss_server: cannot register the program\n");
    return 1;
  }
  char tmp[4096];
  snprintf(tmp, sizeof tmp, "%s.tmp", argv[2]);
  FILE *f = fopen(tmp, "w");
  if (f == NULL || fprintf(f, "%d %d\n", port_of(ts), port_of(us)) < 0 || fclose(f) != 0 ||
      rename(tmp, argv[2]) != 0) {
    perror("port file");
    return 1;
  }
  alarm((unsigned)atoi(argv[3]));
  svc_run();
  return 1;
}
