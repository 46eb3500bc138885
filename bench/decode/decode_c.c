/* SPDX-License-Identifier: Apache-2.0 */
/*
 * The C side of the decode benchmark: XDR routines for decode.x written by
 * hand from libtirpc's primitives, as an interface compiler for C would
 * write them (xdr_pointer for the list, xdr_bytes and xdr_string for
 * counted data, a switch on the discriminant for each union), a writer of
 * the replies the benchmark decodes, and a timer of their decoding.
 *
 *   decode_c write DIR ENTRIES READ_BYTES   writes DIR/listing.bin, DIR/read.bin
 *   decode_c time FILE listing|read|read_into MILLISECONDS
 *       decodes FILE again and again (each result freed, as a caller
 *       does) and prints "ns_per_decode N"; read_into decodes the opaque
 *       data into a buffer the caller keeps, as xdr_bytes does when the
 *       pointer is set.
 */
#include <rpc/rpc.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#define HANDLE_MAX 64

typedef enum { REG = 1, DIR_ = 2, BLK = 3, CHR = 4, LNK = 5, SOCK = 6, FIFO = 7 } kind;
typedef enum { OK = 0, DENIED = 13, GONE = 2, FAULT = 5 } result_code;

typedef struct { u_int major, minor; } devnum;
typedef struct { u_int seconds, nanos; } stamp;
typedef struct {
	kind type;
	u_int mode, links, owner, group;
	uint64_t size, used;
	devnum dev;
	uint64_t fsid, fileid;
	stamp accessed, modified, changed;
} attrs;
typedef struct {
	bool_t present;
	union { attrs attributes; } maybe_attrs_u;
} maybe_attrs;
typedef struct { u_int handle_len; char *handle_val; } handle;
typedef struct {
	bool_t present;
	union { handle fh; } maybe_handle_u;
} maybe_handle;
typedef struct dir_entry {
	uint64_t fileid;
	char *name;
	uint64_t cookie;
	maybe_attrs name_attributes;
	maybe_handle name_handle;
	struct dir_entry *next;
} dir_entry;
typedef struct { dir_entry *entries; bool_t eof; } listing;
typedef struct { maybe_attrs dir_attributes; char verifier[8]; listing reply; } listing_ok;
typedef struct {
	result_code status;
	union { listing_ok ok; maybe_attrs dir_attributes; } listing_result_u;
} listing_result;
typedef struct {
	maybe_attrs file_attributes;
	u_int count;
	bool_t eof;
	struct { u_int data_len; char *data_val; } data;
} read_ok;
typedef struct {
	result_code status;
	union { read_ok ok; maybe_attrs file_attributes; } read_result_u;
} read_result;

static bool_t xdr_kind(XDR *x, kind *p) { return xdr_enum(x, (enum_t *)p); }
static bool_t xdr_result_code(XDR *x, result_code *p) { return xdr_enum(x, (enum_t *)p); }
static bool_t xdr_devnum(XDR *x, devnum *p) { return xdr_u_int(x, &p->major) && xdr_u_int(x, &p->minor); }
static bool_t xdr_stamp(XDR *x, stamp *p) { return xdr_u_int(x, &p->seconds) && xdr_u_int(x, &p->nanos); }

static bool_t xdr_attrs(XDR *x, attrs *p)
{
	return xdr_kind(x, &p->type) && xdr_u_int(x, &p->mode) && xdr_u_int(x, &p->links) &&
	       xdr_u_int(x, &p->owner) && xdr_u_int(x, &p->group) && xdr_uint64_t(x, &p->size) &&
	       xdr_uint64_t(x, &p->used) && xdr_devnum(x, &p->dev) && xdr_uint64_t(x, &p->fsid) &&
	       xdr_uint64_t(x, &p->fileid) && xdr_stamp(x, &p->accessed) && xdr_stamp(x, &p->modified) &&
	       xdr_stamp(x, &p->changed);
}

static bool_t xdr_maybe_attrs(XDR *x, maybe_attrs *p)
{
	if (!xdr_bool(x, &p->present))
		return FALSE;
	switch (p->present) {
	case TRUE: return xdr_attrs(x, &p->maybe_attrs_u.attributes);
	case FALSE: return TRUE;
	default: return FALSE;
	}
}

static bool_t xdr_handle(XDR *x, handle *p)
{
	return xdr_bytes(x, &p->handle_val, &p->handle_len, HANDLE_MAX);
}

static bool_t xdr_maybe_handle(XDR *x, maybe_handle *p)
{
	if (!xdr_bool(x, &p->present))
		return FALSE;
	switch (p->present) {
	case TRUE: return xdr_handle(x, &p->maybe_handle_u.fh);
	case FALSE: return TRUE;
	default: return FALSE;
	}
}

static bool_t xdr_dir_entry(XDR *x, dir_entry *p)
{
	return xdr_uint64_t(x, &p->fileid) && xdr_string(x, &p->name, ~0) && xdr_uint64_t(x, &p->cookie) &&
	       xdr_maybe_attrs(x, &p->name_attributes) && xdr_maybe_handle(x, &p->name_handle) &&
	       xdr_pointer(x, (char **)&p->next, sizeof(dir_entry), (xdrproc_t)xdr_dir_entry);
}

static bool_t xdr_listing(XDR *x, listing *p)
{
	return xdr_pointer(x, (char **)&p->entries, sizeof(dir_entry), (xdrproc_t)xdr_dir_entry) &&
	       xdr_bool(x, &p->eof);
}

static bool_t xdr_listing_ok(XDR *x, listing_ok *p)
{
	return xdr_maybe_attrs(x, &p->dir_attributes) && xdr_opaque(x, p->verifier, 8) && xdr_listing(x, &p->reply);
}

static bool_t xdr_listing_result(XDR *x, listing_result *p)
{
	if (!xdr_result_code(x, &p->status))
		return FALSE;
	switch (p->status) {
	case OK: return xdr_listing_ok(x, &p->listing_result_u.ok);
	default: return xdr_maybe_attrs(x, &p->listing_result_u.dir_attributes);
	}
}

static bool_t xdr_read_ok(XDR *x, read_ok *p)
{
	return xdr_maybe_attrs(x, &p->file_attributes) && xdr_u_int(x, &p->count) && xdr_bool(x, &p->eof) &&
	       xdr_bytes(x, &p->data.data_val, &p->data.data_len, ~0);
}

static bool_t xdr_read_result(XDR *x, read_result *p)
{
	if (!xdr_result_code(x, &p->status))
		return FALSE;
	switch (p->status) {
	case OK: return xdr_read_ok(x, &p->read_result_u.ok);
	default: return xdr_maybe_attrs(x, &p->read_result_u.file_attributes);
	}
}

static attrs sample_attrs(unsigned i)
{
	attrs a = { (kind)(1 + i % 7), 0644, 1, 1000 + i % 3, 100, 4096u * i, 4096u * i, { 8, i },
		    0x1234, 100000u + i, { 1700000000u + i, i }, { 1700000100u + i, i }, { 1700000200u + i, i } };
	return a;
}

static int write_file(const char *path, xdrproc_t proc, void *value, size_t room)
{
	char *buf = malloc(room);
	XDR x;
	xdrmem_create(&x, buf, (u_int)room, XDR_ENCODE);
	if (!proc(&x, value)) {
		fprintf(stderr, "decode_c: cannot encode %s\n", path);
		return 1;
	}
	FILE *f = fopen(path, "wb");
	if (f == NULL || fwrite(buf, 1, xdr_getpos(&x), f) != xdr_getpos(&x) || fclose(f) != 0) {
		perror(path);
		return 1;
	}
	free(buf);
	return 0;
}

static int write_replies(const char *dir, unsigned entries, unsigned read_bytes)
{
	char path[4096];
	dir_entry *list = calloc(entries, sizeof *list);
	char (*names)[16] = calloc(entries, 16);
	char fh[32];
	memset(fh, 7, sizeof fh);
	for (unsigned i = 0; i < entries; i++) {
		snprintf(names[i], 16, "file%05u", i);
		list[i].fileid = 100000u + i;
		list[i].name = names[i];
		list[i].cookie = i + 1;
		list[i].name_attributes.present = TRUE;
		list[i].name_attributes.maybe_attrs_u.attributes = sample_attrs(i);
		list[i].name_handle.present = TRUE;
		list[i].name_handle.maybe_handle_u.fh.handle_len = sizeof fh;
		list[i].name_handle.maybe_handle_u.fh.handle_val = fh;
		list[i].next = i + 1 < entries ? &list[i + 1] : NULL;
	}
	listing_result lr;
	memset(&lr, 0, sizeof lr);
	lr.status = OK;
	lr.listing_result_u.ok.dir_attributes.present = TRUE;
	lr.listing_result_u.ok.dir_attributes.maybe_attrs_u.attributes = sample_attrs(0);
	memcpy(lr.listing_result_u.ok.verifier, "verifier", 8);
	lr.listing_result_u.ok.reply.entries = entries > 0 ? list : NULL;
	lr.listing_result_u.ok.reply.eof = TRUE;
	snprintf(path, sizeof path, "%s/listing.bin", dir);
	if (write_file(path, (xdrproc_t)xdr_listing_result, &lr, 512 + (size_t)entries * 256))
		return 1;

	read_result rr;
	memset(&rr, 0, sizeof rr);
	rr.status = OK;
	rr.read_result_u.ok.file_attributes.present = TRUE;
	rr.read_result_u.ok.file_attributes.maybe_attrs_u.attributes = sample_attrs(1);
	rr.read_result_u.ok.count = read_bytes;
	rr.read_result_u.ok.eof = FALSE;
	rr.read_result_u.ok.data.data_len = read_bytes;
	rr.read_result_u.ok.data.data_val = malloc(read_bytes + 1);
	for (unsigned i = 0; i < read_bytes; i++)
		rr.read_result_u.ok.data.data_val[i] = (char)(i * 31);
	snprintf(path, sizeof path, "%s/read.bin", dir);
	if (write_file(path, (xdrproc_t)xdr_read_result, &rr, 512 + (size_t)read_bytes))
		return 1;
	free(rr.read_result_u.ok.data.data_val);
	free(list);
	free(names);
	return 0;
}

static double now_ns(void)
{
	struct timespec t;
	clock_gettime(CLOCK_MONOTONIC, &t);
	return t.tv_sec * 1e9 + t.tv_nsec;
}

static int time_decode(const char *path, const char *what, double millis)
{
	FILE *f = fopen(path, "rb");
	if (f == NULL) {
		perror(path);
		return 1;
	}
	fseek(f, 0, SEEK_END);
	long size = ftell(f);
	fseek(f, 0, SEEK_SET);
	char *buf = malloc((size_t)size);
	if (fread(buf, 1, (size_t)size, f) != (size_t)size) {
		perror(path);
		return 1;
	}
	fclose(f);
	int listing_kind = strcmp(what, "listing") == 0;
	int into = strcmp(what, "read_into") == 0;
	char *own = into ? malloc((size_t)size) : NULL; /* the caller's buffer, kept */
	long rounds = 0;
	double start = now_ns(), end = start + millis * 1e6, t;
	do {
		XDR x;
		xdrmem_create(&x, buf, (u_int)size, XDR_DECODE);
		bool_t ok;
		if (listing_kind) {
			listing_result r;
			memset(&r, 0, sizeof r);
			ok = xdr_listing_result(&x, &r);
			xdr_free((xdrproc_t)xdr_listing_result, (char *)&r);
		} else {
			read_result r;
			memset(&r, 0, sizeof r);
			r.read_result_u.ok.data.data_val = own;
			ok = xdr_read_result(&x, &r);
			if (!into)
				xdr_free((xdrproc_t)xdr_read_result, (char *)&r);
		}
		if (!ok) {
			fprintf(stderr, "decode_c: cannot decode %s\n", path);
			return 1;
		}
		rounds++;
		t = now_ns();
	} while (t < end);
	printf("ns_per_decode %.1f\n", (t - start) / (double)rounds);
	free(buf);
	free(own);
	return 0;
}

int main(int argc, char **argv)
{
	if (argc == 5 && strcmp(argv[1], "write") == 0)
		return write_replies(argv[2], (unsigned)atoi(argv[3]), (unsigned)atoi(argv[4]));
	if (argc == 5 && strcmp(argv[1], "time") == 0)
		return time_decode(argv[2], argv[3], atof(argv[4]));
	fprintf(stderr, "usage: decode_c write DIR ENTRIES READ_BYTES | time FILE listing|read|read_into MILLISECONDS\n");
	return 2;
}
