// SPDX-License-Identifier: Apache-2.0
/*
 * The interop client on libtirpc's client interface: calls every procedure
 * of both versions of INTEROP_PROG on a host (default 127.0.0.1) over TCP
 * or UDP (default tcp), found through the portmapper, and checks every
 * answer.
 *
 *   interop_cln [host [tcp|udp]]
 *
 * Echo procedures get each of their test values (interop_values.c) and
 * must send it back unchanged; the other procedures have fixed answers.
 * Procedure 0 of version 1 must answer, an unknown procedure of each
 * version must be refused with PROC_UNAVAIL, and ERRORS, called last, must
 * report that the server found no argument other than expected.
 * Exit status: 0 when every check passed, 1 otherwise, 2 when no client
 * could be created.
 */
#include "interop.h"

#include <stdarg.h>
#include <stdlib.h>
#include <string.h>

static int checks;
static int failures;
static struct timeval timeout = { 10, 0 };
static const char *protocol = "tcp";

static void fail(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

static void fail(const char *fmt, ...)
{
	va_list ap;
	++failures;
	fputs("interop_cln: FAIL ", stderr);
	va_start(ap, fmt);
	vfprintf(stderr, fmt, ap);
	va_end(ap);
	fputc('\n', stderr);
}

/* Makes one call; counts and reports a failed one. */
static int call(CLIENT *cl, u_long proc, const char *what, xdrproc_t xarg, void *arg,
		xdrproc_t xres, void *res)
{
	++checks;
	enum clnt_stat stat = clnt_call(cl, (rpcproc_t)proc, xarg, arg, xres, res, timeout);
	if (stat == RPC_SUCCESS)
		return 1;
	fail("%s: call failed: %s", what, clnt_sperrno(stat));
	return 0;
}

static void expect_text(const char *what, render_fn render, const void *want, const void *got)
{
	char *w = render_value(render, want);
	char *g = render_value(render, got);
	if (strcmp(w, g) != 0)
		fail("%s: expected %s, got %s", what, w, g);
	free(w);
	free(g);
}

static void expect_int(const char *what, long long want, long long got)
{
	if (want != got)
		fail("%s: expected %lld, got %lld", what, want, got);
}

static void run_echo_cases(CLIENT *cl)
{
	for (size_t k = 0; k < echo_case_count; ++k) {
		const echo_case *c = &echo_cases[k];
		for (size_t n = 0; n < c->count; ++n) {
			char what[64];
			snprintf(what, sizeof what, "%s value %zu", c->name, n);
			void *value = (char *)c->values + n * c->size;
			void *res = calloc(1, c->size);
			if (res == NULL) {
				fail("%s: out of memory", what);
				return;
			}
			if (call(cl, c->proc, what, c->xdr, value, c->xdr, res))
				expect_text(what, c->render, value, res);
			xdr_free(c->xdr, res);
			free(res);
		}
	}
}

static void render_string_value(FILE *out, const void *v)
{
	fprintf(out, "\"%s\"", *(char *const *)v ? *(char *const *)v : "(null)");
}

static void run_other_procedures(CLIENT *cl)
{
	call(cl, 0, "procedure 0", (xdrproc_t)xdr_none, NULL, (xdrproc_t)xdr_none, NULL);
	call(cl, P_PING, "PING", (xdrproc_t)xdr_none, NULL, (xdrproc_t)xdr_none, NULL);

	point p = store_value;
	call(cl, P_STORE, "STORE", (xdrproc_t)xdr_point, &p, (xdrproc_t)xdr_none, NULL);
	point loaded = { 0, 0 };
	if (call(cl, P_LOAD, "LOAD", (xdrproc_t)xdr_none, NULL, (xdrproc_t)xdr_point, &loaded))
		expect_text("LOAD", render_point, &store_value, &loaded);

	for (int n = 0; n < 3; ++n) {
		int v = add_values[n];
		call(cl, P_ADD, "ADD", (xdrproc_t)xdr_int, &v, (xdrproc_t)xdr_none, NULL);
	}
	quad_t total = 0;
	if (call(cl, P_TOTAL, "TOTAL", (xdrproc_t)xdr_none, NULL, (xdrproc_t)xdr_hyper, &total))
		expect_int("TOTAL", TOTAL_AFTER_ADDS, total);

	pointpair pair;
	memcpy(pair, area_value, sizeof pair);
	int area = 0;
	if (call(cl, P_AREA, "AREA", (xdrproc_t)xdr_pointpair, pair, (xdrproc_t)xdr_int, &area))
		expect_int("AREA", AREA_RESULT, area);

	int origin_arg = ORIGIN_ARG;
	point origin = { 0, 0 };
	point origin_want = { ORIGIN_ARG, ~ORIGIN_ARG };
	if (call(cl, P_ORIGIN_AT, "ORIGIN_AT", (xdrproc_t)xdr_int, &origin_arg,
		 (xdrproc_t)xdr_point, &origin))
		expect_text("ORIGIN_AT", render_point, &origin_want, &origin);

	label name = (label)greet_arg;
	char *greeting = NULL;
	if (call(cl, P_GREET, "GREET", (xdrproc_t)xdr_label, &name, (xdrproc_t)xdr_wrapstring,
		 &greeting))
		expect_text("GREET", render_string_value, &greet_result, &greeting);
	xdr_free((xdrproc_t)xdr_wrapstring, &greeting);
}

/* A procedure the version does not have must be refused as such. */
static void expect_no_procedure(CLIENT *cl, u_long proc, const char *what)
{
	++checks;
	enum clnt_stat stat = clnt_call(cl, (rpcproc_t)proc, (xdrproc_t)xdr_none, NULL,
					(xdrproc_t)xdr_none, NULL, timeout);
	if (stat != RPC_PROCUNAVAIL)
		fail("%s: expected %s, got %s", what, clnt_sperrno(RPC_PROCUNAVAIL),
		     clnt_sperrno(stat));
}

/* A call that must fail with the given status. */
static void expect_status(CLIENT *cl, u_long proc, const char *what, xdrproc_t xarg, void *arg, xdrproc_t xres,
			  void *res, enum clnt_stat want)
{
	++checks;
	enum clnt_stat stat = clnt_call(cl, (rpcproc_t)proc, xarg, arg, xres, res, timeout);
	if (stat != want)
		fail("%s: expected %s, got %s", what, clnt_sperrno(want), clnt_sperrno(stat));
}

/*
 * Declared sizes against the Java server: at the maximum a value travels
 * both ways; over it (sent without a maximum) the server answers
 * GARBAGE_ARGS; a result over it, which the service returns, is refused by
 * the server's encoding: SYSTEM_ERR.
 */
static void run_sizes(CLIENT *cl)
{
	int nums[2] = { 7, -7 };
	sized at_max = { "12345678", { 2, nums }, { 1, 2, 3, 4 } };
	sized got;
	memset(&got, 0, sizeof got);
	if (call(cl, V2_ECHO_SIZED, "version 2 ECHO_SIZED at the maximum", (xdrproc_t)xdr_sized, &at_max,
		 (xdrproc_t)xdr_sized, &got)) {
		++checks;
		if (strcmp(got.name, at_max.name) != 0 || got.nums.nums_len != 2 || got.nums.nums_val[1] != -7 ||
		    memcmp(got.id, at_max.id, 4) != 0)
			fail("version 2 ECHO_SIZED at the maximum: the echo differs");
		xdr_free((xdrproc_t)xdr_sized, (char *)&got);
	}
	sized long_name = { "123456789", { 2, nums }, { 1, 2, 3, 4 } };
	memset(&got, 0, sizeof got);
	expect_status(cl, V2_ECHO_SIZED, "version 2 ECHO_SIZED name over the maximum", (xdrproc_t)xdr_sized_loose,
		      &long_name, (xdrproc_t)xdr_sized, &got, RPC_CANTDECODEARGS);
	int three[3] = { 1, 2, 3 };
	sized many = { "x", { 3, three }, { 1, 2, 3, 4 } };
	expect_status(cl, V2_ECHO_SIZED, "version 2 ECHO_SIZED array over the maximum", (xdrproc_t)xdr_sized_loose,
		      &many, (xdrproc_t)xdr_sized, &got, RPC_CANTDECODEARGS);
	int n = NAMEMAX;
	memset(&got, 0, sizeof got);
	if (call(cl, V2_SIZED_OF, "version 2 SIZED_OF the maximum", (xdrproc_t)xdr_int, &n, (xdrproc_t)xdr_sized,
		 &got)) {
		expect_int("version 2 SIZED_OF the maximum", NAMEMAX, (long long)strlen(got.name));
		xdr_free((xdrproc_t)xdr_sized, (char *)&got);
	}
	n = NAMEMAX + 1;
	memset(&got, 0, sizeof got);
	expect_status(cl, V2_SIZED_OF, "version 2 SIZED_OF over the maximum", (xdrproc_t)xdr_int, &n,
		      (xdrproc_t)xdr_sized, &got, RPC_SYSTEMERROR);
}

static void run_version_2(const char *host)
{
	CLIENT *cl = clnt_create(host, INTEROP_PROG, INTEROP_V2, protocol);
	++checks;
	if (cl == NULL) {
		fail("version 2: %s", clnt_spcreateerror(host));
		return;
	}
	call(cl, V2_NULLPROC, "version 2 NULLPROC", (xdrproc_t)xdr_none, NULL,
	     (xdrproc_t)xdr_none, NULL);
	int n = -1;
	if (call(cl, V2_NULLCALLS, "version 2 NULLCALLS", (xdrproc_t)xdr_none, NULL,
		 (xdrproc_t)xdr_int, &n))
		expect_int("version 2 NULLCALLS", 1, n);
	n = -1;
	if (call(cl, V2_VERSION, "version 2 VERSION", (xdrproc_t)xdr_none, NULL,
		 (xdrproc_t)xdr_int, &n))
		expect_int("version 2 VERSION", INTEROP_V2, n);

	const echo_case *c = find_echo_case(P_ECHO_INT);
	for (size_t k = 0; k < c->count; ++k) {
		int *value = (int *)c->values + k;
		int res = 0;
		if (call(cl, V2_ECHO_INT, "version 2 ECHO_INT", (xdrproc_t)xdr_int, value,
			 (xdrproc_t)xdr_int, &res))
			expect_int("version 2 ECHO_INT", *value, res);
	}
	run_sizes(cl);
	expect_no_procedure(cl, V2_LAST_PROC + 1, "version 2 unknown procedure");
	clnt_destroy(cl);
}

int main(int argc, char **argv)
{
	const char *host = argc > 1 ? argv[1] : "127.0.0.1";
	if (argc > 2)
		protocol = argv[2];

	CLIENT *cl = clnt_create(host, INTEROP_PROG, INTEROP_V1, protocol);
	if (cl == NULL) {
		clnt_pcreateerror(host);
		return 2;
	}
	run_other_procedures(cl);
	run_echo_cases(cl);
	expect_no_procedure(cl, V1_LAST_PROC + 1, "version 1 unknown procedure");
	expect_no_procedure(cl, 0x7fffffff, "version 1 procedure 0x7fffffff");
	run_version_2(host);

	/* Last: how many arguments the server found other than expected. */
	int server_errors = -1;
	if (call(cl, P_ERRORS, "ERRORS", (xdrproc_t)xdr_none, NULL, (xdrproc_t)xdr_int,
		 &server_errors))
		expect_int("ERRORS (argument checks failed on the server)", 0, server_errors);
	clnt_destroy(cl);

	printf("interop_cln: %d calls, %d failures\n", checks, failures);
	return failures == 0 ? 0 : 1;
}
