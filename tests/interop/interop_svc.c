// SPDX-License-Identifier: Apache-2.0
/*
 * The interop service on libtirpc's server interface: serves both versions
 * of INTEROP_PROG over TCP and UDP on 127.0.0.1 and registers them with
 * the portmapper for both.
 *
 *   interop_svc [lifetime-seconds]
 *
 * Each echo procedure checks that its n-th call carries the n-th test value
 * (interop_values.c) and sends the value back; a mismatch is reported on
 * standard error and counted, and P_ERRORS returns the count.  The service
 * prints "ready <tcp-port> <udp-port>" once registered, and unregisters and exits on
 * SIGTERM, SIGINT or SIGHUP, or when its lifetime (default 50 s) is over.
 * Exit status: 0 when no check failed, 1 otherwise, 2 when it cannot start.
 */
#include "interop.h"

#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <poll.h>
#include <rpc/pmap_clnt.h>
#include <signal.h>
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

static int errors;
static size_t next_value[V1_LAST_PROC + 1];
static size_t next_v2_int;
static size_t next_add;
static point stored;
static quad_t total;
static int nullcalls;
static volatile sig_atomic_t stop_requested;

static void on_signal(int sig)
{
	(void)sig;
	stop_requested = 1;
}

static void fail(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

static void fail(const char *fmt, ...)
{
	va_list ap;
	++errors;
	fputs("interop_svc: ", stderr);
	va_start(ap, fmt);
	vfprintf(stderr, fmt, ap);
	va_end(ap);
	fputc('\n', stderr);
}

/* Compares a received value with the expected one by their text forms. */
static void check(const char *what, render_fn render, const void *want, const void *got)
{
	char *w = render_value(render, want);
	char *g = render_value(render, got);
	if (strcmp(w, g) != 0)
		fail("%s: expected %s, received %s", what, w, g);
	free(w);
	free(g);
}

static void send_reply(SVCXPRT *xprt, xdrproc_t xdr, void *result, const char *what)
{
	if (!svc_sendreply(xprt, xdr, result))
		fail("%s: cannot send the reply", what);
}

/* Decodes the argument; on failure answers GARBAGE_ARGS and counts it. */
static int get_args(SVCXPRT *xprt, xdrproc_t xdr, void *arg, const char *what)
{
	if (svc_getargs(xprt, xdr, arg))
		return 1;
	fail("%s: cannot decode the argument", what);
	svcerr_decode(xprt);
	return 0;
}

static void free_args(SVCXPRT *xprt, xdrproc_t xdr, void *arg)
{
	if (!svc_freeargs(xprt, xdr, arg))
		fail("cannot free the arguments");
}

static void serve_echo(SVCXPRT *xprt, const echo_case *c, size_t *next)
{
	void *arg = calloc(1, c->size);
	if (arg == NULL) {
		svcerr_systemerr(xprt);
		return;
	}
	if (get_args(xprt, c->xdr, arg, c->name)) {
		if (*next < c->count) {
			char what[64];
			snprintf(what, sizeof what, "%s value %zu", c->name, *next);
			check(what, c->render, (char *)c->values + *next * c->size, arg);
		} else {
			fail("%s: more calls than test values", c->name);
		}
		++*next;
		send_reply(xprt, c->xdr, arg, c->name);
		free_args(xprt, c->xdr, arg);
	}
	free(arg);
}

static void render_int_value(FILE *out, const void *v)
{
	fprintf(out, "%d", *(const int *)v);
}

static void render_label_value(FILE *out, const void *v)
{
	fprintf(out, "\"%s\"", *(char *const *)v ? *(char *const *)v : "(null)");
}

static void render_pair_value(FILE *out, const void *v)
{
	const point *p = v;
	render_point(out, &p[0]);
	render_point(out, &p[1]);
}

static void dispatch_v1(struct svc_req *rq, SVCXPRT *xprt)
{
	switch (rq->rq_proc) {
	case 0:
	case P_PING:
		send_reply(xprt, (xdrproc_t)xdr_none, NULL, "PING");
		return;
	case P_STORE: {
		point p = { 0, 0 };
		if (get_args(xprt, (xdrproc_t)xdr_point, &p, "STORE")) {
			check("STORE", render_point, &store_value, &p);
			stored = p;
			send_reply(xprt, (xdrproc_t)xdr_none, NULL, "STORE");
		}
		return;
	}
	case P_LOAD:
		send_reply(xprt, (xdrproc_t)xdr_point, &stored, "LOAD");
		return;
	case P_ADD: {
		int n = 0;
		if (get_args(xprt, (xdrproc_t)xdr_int, &n, "ADD")) {
			if (next_add < 3)
				check("ADD", render_int_value, &add_values[next_add], &n);
			else
				fail("ADD: more calls than test values");
			++next_add;
			total += n;
			send_reply(xprt, (xdrproc_t)xdr_none, NULL, "ADD");
		}
		return;
	}
	case P_TOTAL:
		send_reply(xprt, (xdrproc_t)xdr_hyper, &total, "TOTAL");
		return;
	case P_AREA: {
		pointpair pp;
		memset(pp, 0, sizeof pp);
		if (get_args(xprt, (xdrproc_t)xdr_pointpair, pp, "AREA")) {
			check("AREA", render_pair_value, area_value, pp);
			/* Computed in 64 bits and wrapped, as Java's int arithmetic does. */
			int64_t a = ((int64_t)pp[1].x - pp[0].x) * ((int64_t)pp[1].y - pp[0].y);
			int area = (int)(uint32_t)(uint64_t)a;
			send_reply(xprt, (xdrproc_t)xdr_int, &area, "AREA");
		}
		return;
	}
	case P_ORIGIN_AT: {
		int n = 0;
		if (get_args(xprt, (xdrproc_t)xdr_int, &n, "ORIGIN_AT")) {
			int want = ORIGIN_ARG;
			check("ORIGIN_AT", render_int_value, &want, &n);
			point p = { n, ~n };
			send_reply(xprt, (xdrproc_t)xdr_point, &p, "ORIGIN_AT");
		}
		return;
	}
	case P_GREET: {
		label name = NULL;
		if (get_args(xprt, (xdrproc_t)xdr_label, &name, "GREET")) {
			check("GREET", render_label_value, &greet_arg, &name);
			const char *prefix = "hello, ";
			char *text = malloc(strlen(prefix) + strlen(name) + 1);
			if (text == NULL) {
				svcerr_systemerr(xprt);
			} else {
				strcpy(text, prefix);
				strcat(text, name);
				send_reply(xprt, (xdrproc_t)xdr_wrapstring, &text, "GREET");
				free(text);
			}
			free_args(xprt, (xdrproc_t)xdr_label, &name);
		}
		return;
	}
	case P_ERRORS:
		send_reply(xprt, (xdrproc_t)xdr_int, &errors, "ERRORS");
		return;
	default: {
		const echo_case *c = find_echo_case(rq->rq_proc);
		if (c == NULL)
			svcerr_noproc(xprt);
		else
			serve_echo(xprt, c, &next_value[c->proc]);
		return;
	}
	}
}

static void dispatch_v2(struct svc_req *rq, SVCXPRT *xprt)
{
	switch (rq->rq_proc) {
	case V2_NULLPROC:
		++nullcalls;
		send_reply(xprt, (xdrproc_t)xdr_none, NULL, "V2_NULLPROC");
		return;
	case V2_VERSION: {
		int version = INTEROP_V2;
		send_reply(xprt, (xdrproc_t)xdr_int, &version, "V2_VERSION");
		return;
	}
	case V2_NULLCALLS:
		send_reply(xprt, (xdrproc_t)xdr_int, &nullcalls, "V2_NULLCALLS");
		return;
	case V2_ECHO_INT:
		serve_echo(xprt, find_echo_case(P_ECHO_INT), &next_v2_int);
		return;
	case V2_ECHO_SIZED: {
		/* A value over its sizes is refused here as a Java server refuses
		 * it: GARBAGE_ARGS. The Java client sends one on purpose, so that
		 * is not a failed check. */
		sized s;
		memset(&s, 0, sizeof s);
		if (!svc_getargs(xprt, (xdrproc_t)xdr_sized, (caddr_t)&s)) {
			svcerr_decode(xprt);
			return;
		}
		send_reply(xprt, (xdrproc_t)xdr_sized, &s, "V2_ECHO_SIZED");
		free_args(xprt, (xdrproc_t)xdr_sized, &s);
		return;
	}
	case V2_SIZED_OF: {
		/* Sent without a maximum, so that n over NAMEMAX travels. */
		int n = 0;
		if (!get_args(xprt, (xdrproc_t)xdr_int, &n, "V2_SIZED_OF"))
			return;
		char name[65] = "";
		if (n < 0 || n > 64)
			n = 64;
		memset(name, 'n', (size_t)n);
		name[n] = '\0';
		int nums[2] = { 1, 2 };
		sized s = { name, { 2, nums }, { 'a', 'b', 'c', 'd' } };
		send_reply(xprt, (xdrproc_t)xdr_sized_loose, &s, "V2_SIZED_OF");
		return;
	}
	default:
		svcerr_noproc(xprt);
		return;
	}
}

/* A listening TCP socket (or a UDP socket) on 127.0.0.1 and a free port. */
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
	if (bind(fd, (struct sockaddr *)&sin, sizeof sin) < 0 ||
	    (type == SOCK_STREAM && listen(fd, 16) < 0) ||
	    getsockname(fd, (struct sockaddr *)&sin, &len) < 0) {
		close(fd);
		return -1;
	}
	*port = ntohs(sin.sin_port);
	return fd;
}

static void unregister_all(void)
{
	pmap_unset(INTEROP_PROG, INTEROP_V1);
	pmap_unset(INTEROP_PROG, INTEROP_V2);
	svc_unregister(INTEROP_PROG, INTEROP_V1);
	svc_unregister(INTEROP_PROG, INTEROP_V2);
}

int main(int argc, char **argv)
{
	long lifetime = argc > 1 ? strtol(argv[1], NULL, 10) : 50;
	if (lifetime <= 0)
		lifetime = 50;

	struct sigaction sa;
	memset(&sa, 0, sizeof sa);
	sa.sa_handler = on_signal;
	sigemptyset(&sa.sa_mask);
	sigaction(SIGTERM, &sa, NULL);
	sigaction(SIGINT, &sa, NULL);
	sigaction(SIGHUP, &sa, NULL);

	u_short port = 0, udp_port = 0;
	int fd = bind_loopback(SOCK_STREAM, &port);
	int udp_fd = fd < 0 ? -1 : bind_loopback(SOCK_DGRAM, &udp_port);
	if (fd < 0 || udp_fd < 0) {
		perror("interop_svc: socket on 127.0.0.1");
		if (fd >= 0)
			close(fd);
		return 2;
	}
	SVCXPRT *xprt = svc_vc_create(fd, 0, 0);
	SVCXPRT *udp_xprt = svc_dg_create(udp_fd, 0, 0);
	if (xprt == NULL || udp_xprt == NULL) {
		fputs("interop_svc: cannot create the transports\n", stderr);
		if (xprt != NULL)
			svc_destroy(xprt);
		else
			close(fd);
		if (udp_xprt != NULL)
			svc_destroy(udp_xprt);
		else
			close(udp_fd);
		return 2;
	}
	/* Registered with the portmapper by hand: the transports are ours. */
	pmap_unset(INTEROP_PROG, INTEROP_V1);
	pmap_unset(INTEROP_PROG, INTEROP_V2);
	if (!svc_register(xprt, INTEROP_PROG, INTEROP_V1, dispatch_v1, 0) ||
	    !svc_register(xprt, INTEROP_PROG, INTEROP_V2, dispatch_v2, 0) ||
	    !svc_register(udp_xprt, INTEROP_PROG, INTEROP_V1, dispatch_v1, 0) ||
	    !svc_register(udp_xprt, INTEROP_PROG, INTEROP_V2, dispatch_v2, 0) ||
	    !pmap_set(INTEROP_PROG, INTEROP_V1, IPPROTO_TCP, port) ||
	    !pmap_set(INTEROP_PROG, INTEROP_V2, IPPROTO_TCP, port) ||
	    !pmap_set(INTEROP_PROG, INTEROP_V1, IPPROTO_UDP, udp_port) ||
	    !pmap_set(INTEROP_PROG, INTEROP_V2, IPPROTO_UDP, udp_port)) {
		fputs("interop_svc: cannot register with the portmapper\n", stderr);
		unregister_all();
		svc_destroy(xprt);
		svc_destroy(udp_xprt);
		return 2;
	}
	printf("ready %u %u\n", (unsigned)port, (unsigned)udp_port);
	fflush(stdout);

	time_t deadline = time(NULL) + lifetime;
	while (!stop_requested && time(NULL) < deadline) {
		int count = svc_max_pollfd;
		struct pollfd *fds = calloc((size_t)count + 1, sizeof *fds);
		if (fds == NULL)
			break;
		memcpy(fds, svc_pollfd, (size_t)count * sizeof *fds);
		int ready = poll(fds, (nfds_t)count, 200);
		if (ready > 0)
			svc_getreq_poll(fds, ready);
		else if (ready < 0 && errno != EINTR)
			perror("interop_svc: poll");
		free(fds);
	}
	if (!stop_requested)
		fputs("interop_svc: lifetime over, stopping\n", stderr);

	unregister_all();
	svc_exit();
	fprintf(stderr, "interop_svc: %d failed checks\n", errors);
	return errors == 0 ? 0 : 1;
}
