/* SPDX-License-Identifier: Apache-2.0 */
/*
 * A C client on libtirpc with its RPCSEC_GSS client, for the interop tests.
 *
 *   gss_client PORT tcp|udp none|integrity|privacy SERVICE_NAME EXPECTED_WHOAMI
 *
 * Calls the echo program on 127.0.0.1 PORT with the service level given,
 * credentials from the ticket cache KRB5CCNAME names: WHOAMI must answer
 * EXPECTED_WHOAMI, and echoes of several sizes must come back unchanged.
 * Prints one line per check; exits 0 when all passed.
 *
 *   gss_client PORT tcp|udp none|integrity|privacy SERVICE_NAME bench CALLS SIZE
 *
 * instead times CALLS echoes of SIZE bytes on one context and prints
 * "calls/s N".
 */
#include <arpa/inet.h>
#include <gssapi/gssapi.h>
#include <gssapi/gssapi_krb5.h>
#include <netinet/in.h>
#include <rpc/auth_gss.h>
#include <rpc/rpc.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <time.h>

#include "gss_peer.h"

struct echo {
  char *val;
  u_int len;
};

static bool_t xdr_echo(XDR *x, struct echo *e) {
  return xdr_bytes(x, &e->val, &e->len, GSS_PEER_MAX_ECHO);
}

int main(int argc, char **argv) {
  int bench = argc == 8 && strcmp(argv[5], "bench") == 0;
  if (argc != 6 && !bench) {
    fprintf(stderr, "usage: %s PORT tcp|udp none|integrity|privacy SERVICE_NAME EXPECTED_WHOAMI|bench CALLS SIZE\n",
            argv[0]);
    return 2;
  }
  int tcp = strcmp(argv[2], "tcp") == 0;
  struct rpc_gss_sec sec;
  memset(&sec, 0, sizeof sec);
  sec.mech = (gss_OID)gss_mech_krb5;
  sec.qop = GSS_C_QOP_DEFAULT;
  sec.cred = GSS_C_NO_CREDENTIAL;
  sec.req_flags = GSS_C_MUTUAL_FLAG;
  if (strcmp(argv[3], "none") == 0)
    sec.svc = RPCSEC_GSS_SVC_NONE;
  else if (strcmp(argv[3], "integrity") == 0)
    sec.svc = RPCSEC_GSS_SVC_INTEGRITY;
  else if (strcmp(argv[3], "privacy") == 0)
    sec.svc = RPCSEC_GSS_SVC_PRIVACY;
  else {
    fprintf(stderr, "gss_client: unknown service %s\n", argv[3]);
    return 2;
  }

  struct sockaddr_in a;
  memset(&a, 0, sizeof a);
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons((unsigned short)atoi(argv[1]));
  int sock = RPC_ANYSOCK;
  struct timeval wait = {5, 0};
  CLIENT *c = tcp ? clnttcp_create(&a, GSS_PEER_PROG, GSS_PEER_VERS, &sock, GSS_PEER_BUFFER, GSS_PEER_BUFFER)
                  : clntudp_bufcreate(&a, GSS_PEER_PROG, GSS_PEER_VERS, wait, &sock, 65536, 65536);
  if (c == NULL) {
    clnt_pcreateerror("gss_client");
    return 1;
  }
  c->cl_auth = authgss_create_default(c, argv[4], &sec);
  if (c->cl_auth == NULL) {
    clnt_pcreateerror("gss_client: authgss_create_default");
    return 1;
  }
  struct timeval timeout = {20, 0};
  int failed = 0;
  if (bench) {
    long calls = atol(argv[6]);
    u_int n = (u_int)atol(argv[7]);
    struct echo in, out;
    in.len = n;
    in.val = calloc(n + 1, 1);
    struct timespec t0, t1;
    for (long i = -calls / 10 - 1; i < calls; i++) { /* the first tenth warms up */
      if (i == 0)
        clock_gettime(CLOCK_MONOTONIC, &t0);
      out.val = NULL;
      out.len = 0;
      if (clnt_call(c, GSS_PEER_ECHO, (xdrproc_t)xdr_echo, (caddr_t)&in, (xdrproc_t)xdr_echo, (caddr_t)&out,
                    timeout) != RPC_SUCCESS || out.len != n) {
        printf("echo: %s\n", clnt_sperror(c, "call"));
        return 1;
      }
      xdr_free((xdrproc_t)xdr_echo, (caddr_t)&out);
    }
    clock_gettime(CLOCK_MONOTONIC, &t1);
    double s = (double)(t1.tv_sec - t0.tv_sec) + (double)(t1.tv_nsec - t0.tv_nsec) / 1e9;
    printf("calls/s %.0f\n", (double)calls / s);
    free(in.val);
    auth_destroy(c->cl_auth);
    clnt_destroy(c);
    return 0;
  }

  char *who = NULL;
  enum clnt_stat st = clnt_call(c, GSS_PEER_WHOAMI, (xdrproc_t)xdr_void, NULL, (xdrproc_t)xdr_wrapstring,
                                (caddr_t)&who, timeout);
  if (st != RPC_SUCCESS) {
    printf("whoami: %s\n", clnt_sperror(c, "call"));
    failed++;
  } else if (strcmp(who, argv[5]) != 0) {
    printf("whoami: got \"%s\", expected \"%s\"\n", who, argv[5]);
    failed++;
  } else {
    printf("whoami: %s\n", who);
  }
  xdr_free((xdrproc_t)xdr_wrapstring, (caddr_t)&who);

  u_int sizes[] = {0, 5, 1000, 30000, 65536};
  for (size_t i = 0; i < sizeof sizes / sizeof sizes[0]; i++) {
    u_int n = sizes[i];
    if (!tcp && n > 30000)
      continue;
    struct echo in, out = {NULL, 0};
    in.len = n;
    in.val = malloc(n + 1);
    for (u_int k = 0; k < n; k++)
      in.val[k] = (char)(k * 7 + i);
    st = clnt_call(c, GSS_PEER_ECHO, (xdrproc_t)xdr_echo, (caddr_t)&in, (xdrproc_t)xdr_echo, (caddr_t)&out,
                   timeout);
    if (st != RPC_SUCCESS) {
      printf("echo %u: %s\n", n, clnt_sperror(c, "call"));
      failed++;
    } else if (out.len != n || (n > 0 && memcmp(in.val, out.val, n) != 0)) {
      printf("echo %u: came back as %u different bytes\n", n, out.len);
      failed++;
    } else {
      printf("echo %u: ok\n", n);
    }
    free(in.val);
    xdr_free((xdrproc_t)xdr_echo, (caddr_t)&out);
  }
  auth_destroy(c->cl_auth);
  clnt_destroy(c);
  printf("%s %s %s: %s\n", argv[2], argv[3], argv[4], failed ? "FAILED" : "passed");
  return failed ? 1 : 0;
}
