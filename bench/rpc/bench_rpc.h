// SPDX-License-Identifier: Apache-2.0
/*
 * C types and XDR routines of bench.x, written by hand on libtirpc's
 * primitives (as the interop peer does), for the benchmark's C server and
 * C client.
 */
#ifndef BENCH_RPC_H
#define BENCH_RPC_H

#include <rpc/rpc.h>
#include <stdint.h>

#define BENCH_PROG 0x20000BE0
#define BENCH_VERS 1
#define ECHO_INT 1
#define ECHO_BLOB 2
#define STATS 3
#define SLEEP_MS 4
#define LATER_MS 5

/* The largest blob either side accepts: 16 MiB. */
#define BLOB_MAX (16u << 20)

typedef struct {
	u_int len;
	char *val;
} blob;

typedef struct {
	uint64_t calls;
	int64_t allocated;
} bench_stats;

/* No argument or no result, with the signature of every other routine
 * (xdr_void takes none, and casting it would hide that). */
static inline bool_t xdr_nothing(XDR *xdrs, void *p)
{
	(void)xdrs;
	(void)p;
	return TRUE;
}

static inline bool_t xdr_blob(XDR *xdrs, blob *b)
{
	return xdr_bytes(xdrs, &b->val, &b->len, BLOB_MAX);
}

static inline bool_t xdr_bench_stats(XDR *xdrs, bench_stats *s)
{
	return xdr_u_int64_t(xdrs, &s->calls) && xdr_int64_t(xdrs, &s->allocated);
}

#endif
