// SPDX-License-Identifier: Apache-2.0
/*
 * The benchmark's C client, on libtirpc's classic client interface: one or
 * more client processes call one procedure of BENCH_PROG on 127.0.0.1 for
 * a given time, each over its own TCP connection (or UDP socket), and
 * check every reply.
 *
 *   bench_rpc_cln -p PORT [-u UDP_PORT] [-m int|blob] [-s BYTES] [-t SECONDS]
 *                 [-w SECONDS] [-c CLIENTS] [-i SECONDS]
 *
 *   -p  the server's TCP port (STATS always goes there)
 *   -u  make the calls over UDP to this port instead
 *   -m  ECHO_INT (default) or ECHO_BLOB with -s bytes (default 65536)
 *   -t  timed seconds (default 5); -w  warm-up seconds before (default 1)
 *   -c  client processes (default 1, at most 255)
 *   -i  client 1 prints its rate every this many seconds (for watching the
 *       server settle)
 *
 * Every client sends values no other client sends (its number in the top
 * byte of each int, or in the first bytes of each blob, with a sequence
 * number) and checks that each reply is exactly what it sent: a lost reply
 * fails its call, a crossed or altered one fails the check. The clients
 * start their timed calls together, after all have warmed up; STATS, asked
 * just before and after, must count exactly the timed calls the clients
 * made, so that no call was lost or served twice.
 *
 * Prints one line:
 *   clients=C calls=N seconds=S calls_per_s=R served=D server_alloc_per_call=B
 * (B is -1 when the server does not measure it). Exit status 0 when every
 * check passed, 1 otherwise, 2 on a usage error.
 */
#include "bench_rpc.h"

#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#define MAX_CLIENTS 255

static struct timeval call_timeout = { 30, 0 };

struct options {
	u_short port;
	u_short udp_port;
	int blob_mode;
	u_int size;
	double seconds;
	double warmup;
	int clients;
	double interval;
};

/* What a client process reports to the parent through a pipe. */
struct result {
	uint64_t calls;
	double elapsed;
	int ok;
};

static double now(void)
{
	struct timespec ts;
	clock_gettime(CLOCK_MONOTONIC, &ts);
	return (double)ts.tv_sec + (double)ts.tv_nsec / 1e9;
}

/* A client over TCP, or over UDP (retransmitting every 5 s) when udp. */
static CLIENT *connect_server(u_short port, int udp)
{
	struct sockaddr_in sin;
	memset(&sin, 0, sizeof sin);
	sin.sin_family = AF_INET;
	sin.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
	sin.sin_port = htons(port);
	int sock = RPC_ANYSOCK;
	if (udp) {
		struct timeval wait = { 5, 0 };
		return clntudp_create(&sin, BENCH_PROG, BENCH_VERS, wait, &sock);
	}
	return clnttcp_create(&sin, BENCH_PROG, BENCH_VERS, &sock, 0, 0);
}

/* The reply of ECHO_BLOB is decoded into the client's own buffer, which
 * holds exactly the size sent: a longer reply fails to decode. */
static u_int reply_max;

static bool_t xdr_reply_blob(XDR *xdrs, blob *b)
{
	return xdr_bytes(xdrs, &b->val, &b->len, reply_max);
}

/* One client's calls and checks. */
struct caller {
	CLIENT *cl;
	int id;
	uint32_t seq;
	blob out;
	blob in;
	char *in_buf;
	int blob_mode;
};

/* One call with a value only this client sends; 1 when the reply is it. */
static int call_once(struct caller *c)
{
	uint32_t seq = c->seq++;
	enum clnt_stat st;
	if (!c->blob_mode) {
		int v = (int)(((uint32_t)c->id << 24) | (seq & 0xffffffu)), r = 0;
		st = clnt_call(c->cl, ECHO_INT, (xdrproc_t)xdr_int, (caddr_t)&v,
			       (xdrproc_t)xdr_int, (caddr_t)&r, call_timeout);
		if (st == RPC_SUCCESS && r != v) {
			fprintf(stderr, "bench_rpc_cln: client %d: sent %d, got %d back\n", c->id, v, r);
			return 0;
		}
	} else {
		u_int n = c->out.len;
		unsigned char tag[8] = { (unsigned char)c->id, 0, 0, 0, (unsigned char)(seq >> 24),
					 (unsigned char)(seq >> 16), (unsigned char)(seq >> 8), (unsigned char)seq };
		memcpy(c->out.val, tag, n < 8 ? n : 8);
		if (n > 8)
			memset(c->out.val + 8, (int)((c->id * 37u + seq) & 0xffu), n - 8);
		c->in.val = c->in_buf;
		c->in.len = 0;
		st = clnt_call(c->cl, ECHO_BLOB, (xdrproc_t)xdr_blob, (caddr_t)&c->out,
			       (xdrproc_t)xdr_reply_blob, (caddr_t)&c->in, call_timeout);
		if (st == RPC_SUCCESS && (c->in.len != n || memcmp(c->in.val, c->out.val, n) != 0)) {
			fprintf(stderr, "bench_rpc_cln: client %d: call %u: the %u bytes sent came back altered (%u bytes)\n",
				c->id, seq, n, c->in.len);
			return 0;
		}
	}
	if (st != RPC_SUCCESS) {
		fprintf(stderr, "bench_rpc_cln: client %d: call %u failed: %s\n", c->id, seq, clnt_sperrno(st));
		return 0;
	}
	return 1;
}

static int write_all(int fd, const void *p, size_t n)
{
	const char *b = p;
	while (n > 0) {
		ssize_t w = write(fd, b, n);
		if (w < 0 && errno == EINTR)
			continue;
		if (w <= 0)
			return 0;
		b += w;
		n -= (size_t)w;
	}
	return 1;
}

static int read_all(int fd, void *p, size_t n)
{
	char *b = p;
	while (n > 0) {
		ssize_t r = read(fd, b, n);
		if (r < 0 && errno == EINTR)
			continue;
		if (r <= 0)
			return 0;
		b += r;
		n -= (size_t)r;
	}
	return 1;
}

/* A client process: warm up, report ready, wait for go, run, report, and
 * keep the connection open until released (after the parent's last STATS,
 * so that the server's threads for it still count). */
static int client_main(const struct options *o, int id, int ready_fd, int go_fd, int result_fd,
		       int release_fd)
{
	struct result res = { 0, 0.0, 0 };
	struct caller c;
	memset(&c, 0, sizeof c);
	c.id = id;
	c.blob_mode = o->blob_mode;
	c.cl = o->udp_port ? connect_server(o->udp_port, 1) : connect_server(o->port, 0);
	if (c.cl == NULL) {
		fprintf(stderr, "bench_rpc_cln: client %d: %s\n", id, clnt_spcreateerror("cannot connect"));
		write_all(ready_fd, "x", 1);
		return 1;
	}
	if (o->blob_mode) {
		c.out.len = o->size;
		c.out.val = malloc(o->size ? o->size : 1);
		c.in_buf = malloc(o->size ? o->size : 1);
		if (c.out.val == NULL || c.in_buf == NULL) {
			fputs("bench_rpc_cln: out of memory\n", stderr);
			write_all(ready_fd, "x", 1);
			return 1;
		}
	}
	int ok = 1;
	for (double end = now() + o->warmup; ok && now() < end;)
		ok = call_once(&c);
	write_all(ready_fd, ok ? "r" : "x", 1);
	char go;
	if (!ok || !read_all(go_fd, &go, 1) || go != 'g')
		return 1;

	double t0 = now(), t = t0, end = t0 + o->seconds;
	double last = t0, report_at = t0 + o->interval;
	uint64_t n = 0, reported = 0;
	while (ok && t < end) {
		ok = call_once(&c);
		n += (uint64_t)ok;
		t = now();
		if (o->interval > 0 && t >= report_at) {
			printf("interval t=%.1f calls_per_s=%.0f\n", t - t0, (double)(n - reported) / (t - last));
			fflush(stdout);
			reported = n;
			last = t;
			report_at = t + o->interval;
		}
	}
	res.calls = n;
	res.elapsed = t - t0;
	res.ok = ok;
	write_all(result_fd, &res, sizeof res);
	char released;
	while (read(release_fd, &released, 1) > 0)
		;
	clnt_destroy(c.cl);
	return ok ? 0 : 1;
}

static int get_stats(CLIENT *cl, bench_stats *s)
{
	enum clnt_stat st = clnt_call(cl, STATS, (xdrproc_t)xdr_nothing, NULL,
				      (xdrproc_t)xdr_bench_stats, (caddr_t)s, call_timeout);
	if (st != RPC_SUCCESS)
		fprintf(stderr, "bench_rpc_cln: STATS failed: %s\n", clnt_sperrno(st));
	return st == RPC_SUCCESS;
}

static void usage(void)
{
	fputs("usage: bench_rpc_cln -p PORT [-u UDP_PORT] [-m int|blob] [-s BYTES] [-t SECONDS] [-w SECONDS]"
	      " [-c CLIENTS] [-i SECONDS]\n", stderr);
	exit(2);
}

int main(int argc, char **argv)
{
	struct options o = { 0, 0, 0, 65536, 5.0, 1.0, 1, 0.0 };
	int opt;
	while ((opt = getopt(argc, argv, "p:u:m:s:t:w:c:i:")) != -1) {
		switch (opt) {
		case 'p': o.port = (u_short)strtoul(optarg, NULL, 10); break;
		case 'u': o.udp_port = (u_short)strtoul(optarg, NULL, 10); break;
		case 'm':
			if (strcmp(optarg, "int") == 0)
				o.blob_mode = 0;
			else if (strcmp(optarg, "blob") == 0)
				o.blob_mode = 1;
			else
				usage();
			break;
		case 's': o.size = (u_int)strtoul(optarg, NULL, 10); break;
		case 't': o.seconds = strtod(optarg, NULL); break;
		case 'w': o.warmup = strtod(optarg, NULL); break;
		case 'c': o.clients = atoi(optarg); break;
		case 'i': o.interval = strtod(optarg, NULL); break;
		default: usage();
		}
	}
	if (o.port == 0 || o.clients < 1 || o.clients > MAX_CLIENTS || !(o.seconds > 0) ||
	    o.warmup < 0 || o.size > BLOB_MAX)
		usage();
	reply_max = o.size;

	int ready[2], go[2], results[2], release[2];
	if (pipe(ready) < 0 || pipe(go) < 0 || pipe(results) < 0 || pipe(release) < 0) {
		perror("bench_rpc_cln: pipe");
		return 1;
	}
	pid_t pids[MAX_CLIENTS];
	for (int i = 0; i < o.clients; ++i) {
		fflush(stdout);
		pids[i] = fork();
		if (pids[i] < 0) {
			perror("bench_rpc_cln: fork");
			for (int k = 0; k < i; ++k)
				kill(pids[k], SIGTERM);
			return 1;
		}
		if (pids[i] == 0) {
			close(ready[0]);
			close(go[1]);
			close(results[0]);
			close(release[1]);
			struct options mine = o;
			if (i != 0)
				mine.interval = 0;
			_exit(client_main(&mine, i + 1, ready[1], go[0], results[1], release[0]));
		}
	}
	close(ready[1]);
	close(go[0]);
	close(results[1]);
	close(release[0]);

	int ok = 1;
	for (int i = 0; i < o.clients; ++i) {
		char r;
		if (!read_all(ready[0], &r, 1) || r != 'r')
			ok = 0;
	}
	bench_stats before = { 0, 0 }, after = { 0, 0 };
	CLIENT *stats_cl = ok ? connect_server(o.port, 0) : NULL;
	if (ok && (stats_cl == NULL || !get_stats(stats_cl, &before)))
		ok = 0;
	/* Go, or (closing the pipe unread) stop, for every client at once. */
	if (ok) {
		char gos[MAX_CLIENTS];
		memset(gos, 'g', sizeof gos);
		ok = write_all(go[1], gos, (size_t)o.clients);
	}
	close(go[1]);

	uint64_t calls = 0;
	double longest = 0;
	for (int i = 0; ok && i < o.clients; ++i) {
		struct result r;
		if (!read_all(results[0], &r, sizeof r) || !r.ok) {
			ok = 0;
			break;
		}
		calls += r.calls;
		if (r.elapsed > longest)
			longest = r.elapsed;
	}
	if (ok && !get_stats(stats_cl, &after))
		ok = 0;
	close(release[1]);
	for (int i = 0; i < o.clients; ++i) {
		int status = 0;
		if (!ok)
			kill(pids[i], SIGTERM);
		if (waitpid(pids[i], &status, 0) < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
			ok = 0;
	}
	if (stats_cl != NULL)
		clnt_destroy(stats_cl);
	if (!ok) {
		fputs("bench_rpc_cln: a client failed\n", stderr);
		return 1;
	}
	uint64_t served = after.calls - before.calls;
	double alloc = before.allocated < 0 || served == 0
		? -1 : (double)(after.allocated - before.allocated) / (double)served;
	printf("clients=%d calls=%llu seconds=%.3f calls_per_s=%.1f served=%llu server_alloc_per_call=%.0f\n",
	       o.clients, (unsigned long long)calls, longest, (double)calls / longest,
	       (unsigned long long)served, alloc);
	if (served != calls) {
		fprintf(stderr, "bench_rpc_cln: the server served %llu calls, the clients made %llu\n",
			(unsigned long long)served, (unsigned long long)calls);
		return 1;
	}
	return 0;
}
