// SPDX-License-Identifier: Apache-2.0
/*
 * The benchmark's C server: BENCH_PROG version 1 over TCP and UDP on
 * 127.0.0.1, on libtirpc's classic server interface. svc_run serves one
 * call at a time. It does not register with the portmapper: clients are
 * given the ports.
 *
 *   bench_rpc_svc [-x N] [-l SECONDS]
 *
 * Prints "ready PORT UDP_PORT" (the TCP port, then the UDP port) once it
 * listens. ECHO_INT and ECHO_BLOB answer with
 * their argument; with -x N every N-th of those answers is altered on
 * purpose (one bit), so that a test can see the clients catch it. STATS
 * answers the number of echo calls served (allocated: -1, not measured).
 * SLEEP_MS and LATER_MS sleep that many milliseconds (at most 60 s) and
 * answer their argument.
 * Ends on SIGTERM or SIGINT, or by itself after -l SECONDS (default 3600).
 */
#include "bench_rpc.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

static uint64_t calls;
static unsigned long corrupt_every;

/* True when this echo's answer is to be altered (-x). */
static int corrupt_this(void)
{
	return corrupt_every != 0 && calls % corrupt_every == 0;
}

static void dispatch(struct svc_req *rq, SVCXPRT *xprt)
{
	switch (rq->rq_proc) {
	case 0:
		svc_sendreply(xprt, (xdrproc_t)xdr_nothing, NULL);
		return;
	case ECHO_INT: {
		int v = 0;
		if (!svc_getargs(xprt, (xdrproc_t)xdr_int, (caddr_t)&v)) {
			svcerr_decode(xprt);
			return;
		}
		++calls;
		if (corrupt_this())
			v ^= 1;
		if (!svc_sendreply(xprt, (xdrproc_t)xdr_int, (caddr_t)&v))
			fputs("bench_rpc_svc: cannot send a reply\n", stderr);
		return;
	}
	case ECHO_BLOB: {
		blob b = { 0, NULL };
		if (!svc_getargs(xprt, (xdrproc_t)xdr_blob, (caddr_t)&b)) {
			svcerr_decode(xprt);
			return;
		}
		++calls;
		if (corrupt_this() && b.len > 0)
			b.val[b.len - 1] ^= 1;
		if (!svc_sendreply(xprt, (xdrproc_t)xdr_blob, (caddr_t)&b))
			fputs("bench_rpc_svc: cannot send a reply\n", stderr);
		svc_freeargs(xprt, (xdrproc_t)xdr_blob, (caddr_t)&b);
		return;
	}
	case SLEEP_MS:
	case LATER_MS: {
		/* One call at a time: the C server sleeps for both. */
		int ms = 0;
		if (!svc_getargs(xprt, (xdrproc_t)xdr_int, (caddr_t)&ms)) {
			svcerr_decode(xprt);
			return;
		}
		if (ms > 0 && ms <= 60000) {
			struct timespec t = { ms / 1000, (long)(ms % 1000) * 1000000L };
			nanosleep(&t, NULL);
		}
		svc_sendreply(xprt, (xdrproc_t)xdr_int, (caddr_t)&ms);
		return;
	}
	case STATS: {
		bench_stats s = { calls, -1 };
		svc_sendreply(xprt, (xdrproc_t)xdr_bench_stats, (caddr_t)&s);
		return;
	}
	default:
		svcerr_noproc(xprt);
		return;
	}
}

/* A socket of the type on 127.0.0.1 and a free port; listening for TCP. */
static int bind_loopback(int type, u_short *port)
{
	int fd = socket(AF_INET, type, 0);
	if (fd < 0)
		return -1;
	struct sockaddr_in sin;
	memset(&sin, 0, sizeof sin);
	sin.sin_family = AF_INET;
	sin.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
	socklen_t len = sizeof sin;
	if (bind(fd, (struct sockaddr *)&sin, sizeof sin) < 0 || (type == SOCK_STREAM && listen(fd, 64) < 0) ||
	    getsockname(fd, (struct sockaddr *)&sin, &len) < 0) {
		close(fd);
		return -1;
	}
	*port = ntohs(sin.sin_port);
	return fd;
}

int main(int argc, char **argv)
{
	long lifetime = 3600;
	int opt;
	while ((opt = getopt(argc, argv, "x:l:")) != -1) {
		switch (opt) {
		case 'x':
			corrupt_every = strtoul(optarg, NULL, 10);
			break;
		case 'l':
			lifetime = strtol(optarg, NULL, 10);
			break;
		default:
			fputs("usage: bench_rpc_svc [-x N] [-l SECONDS]\n", stderr);
			return 2;
		}
	}
	if (lifetime <= 0)
		lifetime = 3600;

	u_short port = 0, udp_port = 0;
	int fd = bind_loopback(SOCK_STREAM, &port);
	int udp_fd = bind_loopback(SOCK_DGRAM, &udp_port);
	if (fd < 0 || udp_fd < 0) {
		perror("bench_rpc_svc: socket on 127.0.0.1");
		return 2;
	}
	SVCXPRT *xprt = svc_vc_create(fd, 0, 0);
	/* Protocol 0: served here, not registered with the portmapper. */
	if (xprt == NULL || !svc_register(xprt, BENCH_PROG, BENCH_VERS, dispatch, 0)) {
		fputs("bench_rpc_svc: cannot create the TCP service\n", stderr);
		return 2;
	}
	SVCXPRT *udp_xprt = svc_dg_create(udp_fd, 0, 0);
	if (udp_xprt == NULL || !svc_register(udp_xprt, BENCH_PROG, BENCH_VERS, dispatch, 0)) {
		fputs("bench_rpc_svc: cannot create the UDP service\n", stderr);
		return 2;
	}
	printf("ready %u %u\n", (unsigned)port, (unsigned)udp_port);
	fflush(stdout);
	/* SIGALRM's default action ends the process: the lifetime is a bound. */
	alarm((unsigned)lifetime);
	svc_run();
	fputs("bench_rpc_svc: svc_run returned\n", stderr);
	return 1;
}
