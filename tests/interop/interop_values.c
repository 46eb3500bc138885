// SPDX-License-Identifier: Apache-2.0
/*
 * Test values of the C peer and their text form.  Values are compared
 * through their text form, which shows floating-point numbers by their
 * bits so that -0.0, infinities and denormals compare exactly.
 */
#include "interop.h"

#include <float.h>
#include <limits.h>
#include <math.h>
#include <stdlib.h>
#include <string.h>

/* ---- text form ---------------------------------------------------------- */

static void put_string(FILE *out, const char *s)
{
	if (s == NULL) {
		fputs("null", out);
		return;
	}
	fputc('"', out);
	for (; *s != '\0'; ++s) {
		unsigned char ch = (unsigned char)*s;
		if (ch < 0x20 || ch >= 0x7f || ch == '"' || ch == '\\')
			fprintf(out, "\\x%02x", ch);
		else
			fputc(ch, out);
	}
	fputc('"', out);
}

static void put_bytes(FILE *out, const char *bytes, u_int len)
{
	fputc('[', out);
	for (u_int n = 0; n < len; ++n)
		fprintf(out, "%s%d", n ? "," : "", (signed char)bytes[n]);
	fputc(']', out);
}

static void put_float(FILE *out, float f)
{
	uint32_t bits;
	memcpy(&bits, &f, sizeof bits);
	fprintf(out, "f%08x", (unsigned)bits);
}

static void put_double(FILE *out, double d)
{
	uint64_t bits;
	memcpy(&bits, &d, sizeof bits);
	fprintf(out, "d%016llx", (unsigned long long)bits);
}

static void put_hyper(FILE *out, quad_t v)
{
	fprintf(out, "%lld", (long long)v);
}

static void put_uhyper(FILE *out, u_quad_t v)
{
	/* Java has no unsigned 64-bit type: both sides show the bits as signed. */
	fprintf(out, "%lld", (long long)v);
}

#define PUT_LIST(out, count, expr)                                            \
	do {                                                                  \
		fputc('[', out);                                              \
		for (size_t n_ = 0; n_ < (size_t)(count); ++n_) {             \
			if (n_)                                               \
				fputc(',', out);                              \
			size_t n = n_;                                        \
			expr;                                                 \
		}                                                             \
		fputc(']', out);                                              \
	} while (0)

static void render_int(FILE *out, const void *v) { fprintf(out, "%d", *(const int *)v); }
static void render_uint(FILE *out, const void *v) { fprintf(out, "%d", (int)*(const u_int *)v); }
static void render_hyper(FILE *out, const void *v) { put_hyper(out, *(const quad_t *)v); }
static void render_uhyper(FILE *out, const void *v) { put_uhyper(out, *(const u_quad_t *)v); }
static void render_bool(FILE *out, const void *v) { fputs(*(const bool_t *)v ? "true" : "false", out); }
static void render_float(FILE *out, const void *v) { put_float(out, *(const float *)v); }
static void render_double(FILE *out, const void *v) { put_double(out, *(const double *)v); }
static void render_string(FILE *out, const void *v) { put_string(out, *(char *const *)v); }
static void render_enum(FILE *out, const void *v) { fprintf(out, "%d", *(const int *)v); }

void render_point(FILE *out, const void *v)
{
	const point *p = v;
	fprintf(out, "{x=%d,y=%d}", p->x, p->y);
}

static void render_pair(FILE *out, const void *v)
{
	const point *p = v;
	PUT_LIST(out, 2, render_point(out, &p[n]));
}

static void render_blob(FILE *out, const void *v)
{
	const blob *b = v;
	put_bytes(out, b->blob_val, b->blob_len);
}

static void render_palette(FILE *out, const void *v)
{
	const palette *p = v;
	PUT_LIST(out, p->palette_len, render_enum(out, &p->palette_val[n]));
}

static void render_node(FILE *out, const void *v)
{
	const node *p = v;
	fprintf(out, "{value=%d,tag=", p->value);
	put_string(out, p->tag);
	fputs(",next=", out);
	if (p->next == NULL)
		fputs("null", out);
	else
		render_node(out, p->next);
	fputc('}', out);
}

static void render_nodelist(FILE *out, const void *v)
{
	const nodelist *l = v;
	if (*l == NULL)
		fputs("null", out);
	else
		render_node(out, *l);
}

static void render_scalars(FILE *out, const void *v)
{
	const scalars *s = v;
	fprintf(out, "{i=%d,ui=%d,l=%d,ul=%d,h=", s->i, (int)s->ui, (int)s->l, (int)s->ul);
	put_hyper(out, s->h);
	fputs(",uh=", out);
	put_uhyper(out, s->uh);
	fprintf(out, ",b=%s,f=", s->b ? "true" : "false");
	put_float(out, s->f);
	fputs(",d=", out);
	put_double(out, s->d);
	fprintf(out, ",s=%d,us=%u,c=%d,uc=%u,col=%d,lvl=%d,cnt=%d,text=", s->s, s->us,
		s->c, s->uc, (int)s->col, (int)s->lvl, s->cnt);
	put_string(out, s->text);
	fputc('}', out);
}

static void render_numval(FILE *out, const void *v)
{
	const numval *u = v;
	fprintf(out, "{kind=%d,", u->kind);
	switch (u->kind) {
	case 1: fprintf(out, "i=%d", u->u.i); break;
	case 2: fputs("h=", out); put_hyper(out, u->u.h); break;
	case ARM_TEXT: fputs("text=", out); put_string(out, u->u.text); break;
	case ARM_NONE: fputs("void", out); break;
	case 0x10: fputs("p=", out); render_point(out, &u->u.p); break;
	default: fputs("d=", out); put_double(out, u->u.d); break;
	}
	fputc('}', out);
}

static void render_shape(FILE *out, const void *v)
{
	const shape *u = v;
	fprintf(out, "{c=%d,", (int)u->c);
	switch (u->c) {
	case RED: fputs("center=", out); render_point(out, &u->u.center); break;
	case GREEN:
		fputs("corners=", out);
		PUT_LIST(out, u->u.corners.corners_len, render_point(out, &u->u.corners.corners_val[n]));
		break;
	default: fputs("void", out); break;
	}
	fputc('}', out);
}

static void render_reply(FILE *out, const void *v)
{
	const reply *u = v;
	fprintf(out, "{ok=%s,", u->ok ? "true" : "false");
	if (u->ok) {
		fputs("greeting=", out);
		put_string(out, u->u.greeting);
	} else {
		fputs("void", out);
	}
	fputc('}', out);
}

static void render_tagged(FILE *out, const void *v)
{
	const tagged *u = v;
	fprintf(out, "{tag=%d,", (int)u->tag);
	switch (u->tag) {
	case 0: fputs("void", out); break;
	case 0xFFFFFFFFu: fputs("big=", out); put_uhyper(out, u->u.big); break;
	case 7: fputs("nums=", out); PUT_LIST(out, MAXPTS, fprintf(out, "%d", u->u.nums[n])); break;
	default: fputs("raw=", out); put_bytes(out, u->u.raw.blob_val, u->u.raw.blob_len); break;
	}
	fputc('}', out);
}

static void render_hued(FILE *out, const void *v)
{
	const hued *u = v;
	fprintf(out, "{h=%d,", (int)u->h);
	switch (u->h) {
	case RED:
	case BLUE: fprintf(out, "warm=%d", u->u.warm); break;
	case GREEN: fputs("name=", out); put_string(out, u->u.name); break;
	default: fputs("?", out); break;
	}
	fputc('}', out);
}

static void render_wide(FILE *out, const void *v)
{
	const wide *u = v;
	fputs("{w=", out);
	put_hyper(out, u->w);
	fputc(',', out);
	switch (u->w) {
	case 1:
	case 3: fprintf(out, "small=%d", u->u.small); break;
	case WIDETAG: fputs("text=", out); put_string(out, u->u.text); break;
	case -1: fputs("void", out); break;
	default: fputs("other=", out); put_hyper(out, u->u.other); break;
	}
	fputc('}', out);
}

static void render_mark(FILE *out, const void *v)
{
	const mark *u = v;
	fprintf(out, "{m=%u,", u->m);
	switch (u->m) {
	case BIGTAG:
	case 3000000000u: fputs("top=", out); put_uhyper(out, u->u.top); break;
	case 1:
	case 2:
	case 3: fputs("void", out); break;
	default: fprintf(out, "other=%d", u->u.other); break;
	}
	fputc('}', out);
}

static void render_arrays(FILE *out, const void *v)
{
	const arrays *a = v;
	fputs("{vbytes=", out);
	put_bytes(out, a->vbytes.blob_val, a->vbytes.blob_len);
	fputs(",fbytes=", out);
	put_bytes(out, a->fbytes, KEYLEN);
	fputs(",vints=", out);
	PUT_LIST(out, a->vints.len, fprintf(out, "%d", a->vints.val[n]));
	fputs(",vhypers=", out);
	PUT_LIST(out, a->vhypers.len, put_hyper(out, a->vhypers.val[n]));
	fputs(",vuhypers=", out);
	PUT_LIST(out, a->vuhypers.len, put_uhyper(out, a->vuhypers.val[n]));
	fputs(",vbools=", out);
	PUT_LIST(out, a->vbools.len, render_bool(out, &a->vbools.val[n]));
	fputs(",vfloats=", out);
	PUT_LIST(out, a->vfloats.len, put_float(out, a->vfloats.val[n]));
	fputs(",vdoubles=", out);
	PUT_LIST(out, a->vdoubles.len, put_double(out, a->vdoubles.val[n]));
	fputs(",vshorts=", out);
	PUT_LIST(out, a->vshorts.len, fprintf(out, "%d", a->vshorts.val[n]));
	fputs(",fints=", out);
	PUT_LIST(out, MAXPTS, fprintf(out, "%d", a->fints[n]));
	fputs(",fdoubles=", out);
	PUT_LIST(out, 2, put_double(out, a->fdoubles[n]));
	fputs(",fbools=", out);
	PUT_LIST(out, 2, render_bool(out, &a->fbools[n]));
	fputs(",vpoints=", out);
	PUT_LIST(out, a->vpoints.len, render_point(out, &a->vpoints.val[n]));
	fputs(",fpoints=", out);
	PUT_LIST(out, MAXPTS, render_point(out, &a->fpoints[n]));
	fputs(",vcounters=", out);
	PUT_LIST(out, a->vcounters.len, fprintf(out, "%d", a->vcounters.val[n]));
	fputs(",fcounters=", out);
	PUT_LIST(out, 2, fprintf(out, "%d", a->fcounters[n]));
	fputs(",vlabels=", out);
	PUT_LIST(out, a->vlabels.len, put_string(out, a->vlabels.val[n]));
	fputs(",vcolors=", out);
	PUT_LIST(out, a->vcolors.len, render_enum(out, &a->vcolors.val[n]));
	fputs(",fcolors=", out);
	PUT_LIST(out, 2, render_enum(out, &a->fcolors[n]));
	fputs(",vnums=", out);
	PUT_LIST(out, a->vnums.len, render_numval(out, &a->vnums.val[n]));
	fputs(",fshapes=", out);
	PUT_LIST(out, 2, render_shape(out, &a->fshapes[n]));
	fputs(",ffloats=", out);
	PUT_LIST(out, 2, put_float(out, a->ffloats[n]));
	fputs(",fuhypers=", out);
	PUT_LIST(out, 2, put_uhyper(out, a->fuhypers[n]));
	fputs(",fshorts=", out);
	PUT_LIST(out, 2, fprintf(out, "%d", a->fshorts[n]));
	fputs(",fchars=", out);
	PUT_LIST(out, 3, fprintf(out, "%d", a->fchars[n]));
	fputs(",vuchars=", out);
	PUT_LIST(out, a->vuchars.len, fprintf(out, "%u", a->vuchars.val[n]));
	fputs(",vushorts=", out);
	PUT_LIST(out, a->vushorts.len, fprintf(out, "%u", a->vushorts.val[n]));
	fputc('}', out);
}

#define PUT_OPTIONAL(out, ptr, expr)                                          \
	do {                                                                  \
		if ((ptr) == NULL)                                            \
			fputs("null", out);                                   \
		else {                                                        \
			fputc('&', out);                                      \
			expr;                                                 \
		}                                                             \
	} while (0)

static void render_optionals(FILE *out, const void *v)
{
	const optionals *o = v;
	fputs("{oint=", out);
	PUT_OPTIONAL(out, o->oint, fprintf(out, "%d", *o->oint));
	fputs(",ohyper=", out);
	PUT_OPTIONAL(out, o->ohyper, put_hyper(out, *o->ohyper));
	fputs(",obool=", out);
	PUT_OPTIONAL(out, o->obool, render_bool(out, o->obool));
	fputs(",odouble=", out);
	PUT_OPTIONAL(out, o->odouble, put_double(out, *o->odouble));
	fputs(",opoint=", out);
	PUT_OPTIONAL(out, o->opoint, render_point(out, o->opoint));
	fputs(",ocolor=", out);
	PUT_OPTIONAL(out, o->ocolor, render_enum(out, o->ocolor));
	fputs(",olabel=", out);
	PUT_OPTIONAL(out, o->olabel, put_string(out, *o->olabel));
	fputs(",oshape=", out);
	PUT_OPTIONAL(out, o->oshape, render_shape(out, o->oshape));
	fputs(",head=", out);
	render_nodelist(out, &o->head);
	fputs(",ofloat=", out);
	PUT_OPTIONAL(out, o->ofloat, put_float(out, *o->ofloat));
	fputs(",ouchar=", out);
	PUT_OPTIONAL(out, o->ouchar, fprintf(out, "%u", *o->ouchar));
	fputc('}', out);
}

char *render_value(render_fn render, const void *value)
{
	char *text = NULL;
	size_t size = 0;
	FILE *out = open_memstream(&text, &size);
	if (out == NULL) {
		perror("open_memstream");
		exit(2);
	}
	render(out, value);
	if (fclose(out) != 0) {
		perror("open_memstream");
		exit(2);
	}
	return text;
}

/* ---- values --------------------------------------------------------------- */

#define COUNT(a) (sizeof(a) / sizeof((a)[0]))

static int int_values[] = { 0, 1, -1, INT_MIN, INT_MAX, 0x12345678, (int)0xDEADBEEFu };

static u_int uint_values[] = { 0, 1, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu };

static quad_t hyper_values[] = {
	0, 1, -1, INT64_MIN, INT64_MAX, 0x0123456789ABCDEFLL, -4294967296LL,
};

static u_quad_t uhyper_values[] = {
	0, 1, 0xFFFFFFFFull, 0x100000000ull, 0x8000000000000000ull, 0xFFFFFFFFFFFFFFFFull,
};

static bool_t bool_values[] = { TRUE, FALSE };

static float float_values[] = {
	0.0f, -0.0f, 1.5f, -3.25f, FLT_MAX, -FLT_MAX, FLT_MIN, 0x1p-149f, INFINITY, -INFINITY,
};

static double double_values[] = {
	0.0, -0.0, 3.141592653589793, -1e300, DBL_MAX, DBL_MIN, 0x1p-1074,
	INFINITY, -INFINITY, 0x1.23456789abcdep+100,
};

#define S16 "0123456789abcdef"
#define S256 S16 S16 S16 S16 S16 S16 S16 S16 S16 S16 S16 S16 S16 S16 S16 S16

static char *string_values[] = {
	"", "a", "ab", "abc", "abcd", "abcde",
	"tab\there \"quoted\" back\\slash",
	" !\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`"
	"abcdefghijklmnopqrstuvwxyz{|}~",
	"\x01\x1f\x7f",
	S256 "!",
};

static color color_values[] = { RED, GREEN, BLUE };

static level level_values[] = { BOTTOM, MIDDLE, TOP };

static counter counter_values[] = { 0, -7, INT_MAX };

static label label_values[] = { "", "x", S16 S16 S16 S16 };

static point point_values[] = { { 0, 0 }, { -1, 1 }, { INT_MIN, INT_MAX } };

static scalars scalars_values[] = {
	{ 0, 0, 0, 0, 0, 0, FALSE, 0.0f, 0.0, 0, 0, 0, 0, RED, MIDDLE, 0, "" },
	{ INT_MIN, 0xFFFFFFFFu, INT32_MAX, 0x80000000u, INT64_MIN, UINT64_MAX, TRUE,
	  -1.5f, -0.0, SHRT_MIN, 32767, 'A', 255, BLUE, BOTTOM, -1, "scalars" },
	{ INT_MAX, 0x80000000u, INT32_MIN, 0xFFFFFFFFu, INT64_MAX, 0x8000000000000000ull,
	  TRUE, INFINITY, 0x1p-1074, SHRT_MAX, 0, 127, 0, GREEN, TOP, INT_MIN, "abc" },
};

static numval numval_values[] = {
	{ 1, { .i = INT_MIN } },
	{ 2, { .h = INT64_MAX } },
	{ ARM_TEXT, { .text = "" } },
	{ ARM_TEXT, { .text = "arm text" } },
	{ ARM_NONE, { .i = 0 } },
	{ 0x10, { .p = { -3, 4 } } },
	{ 0, { .d = 1.25 } },
	{ INT_MAX, { .d = -0.0 } },
	{ INT_MIN, { .d = INFINITY } },
};

static shape shape_values[] = {
	{ RED, { .center = { 5, 6 } } },
	{ GREEN, { .corners = { 0, NULL } } },
	{ GREEN, { .corners = { 3, (point[]){ { 1, 2 }, { INT_MIN, 0 }, { 0, INT_MAX } } } } },
	{ BLUE, { .center = { 0, 0 } } },
};

static reply reply_values[] = {
	{ TRUE, { "hi there" } },
	{ TRUE, { "" } },
	{ FALSE, { NULL } },
};

static tagged tagged_values[] = {
	{ 0, { .big = 0 } },
	{ 0xFFFFFFFFu, { .big = UINT64_MAX } },
	{ 7, { .nums = { 1, -2, INT_MAX } } },
	{ 1, { .raw = { 0, NULL } } },
	{ 0x80000000u, { .raw = { 6, (char[]){ 1, 2, 3, 4, 5, 6 } } } },
};

static hued hued_values[] = {
	{ RED, { .warm = 1 } },
	{ BLUE, { .warm = INT_MIN } },
	{ GREEN, { .name = "green" } },
};

/* 0x100000000 and 0x100000003 share their low 32 bits with no arm and
 * with arm 3: only all 64 bits choose the default arm for them. */
static wide wide_values[] = {
	{ 1, { .small = 5 } },
	{ 3, { .small = -1 } },
	{ WIDETAG, { .text = "wide" } },
	{ -1, { .small = 0 } },
	{ 0x100000000ll, { .other = 7 } },
	{ 0x100000003ll, { .other = INT64_MIN } },
	{ INT64_MIN, { .other = -2 } },
};

static mark mark_values[] = {
	{ BIGTAG, { .top = UINT64_MAX } },
	{ 3000000000u, { .top = 1 } },
	{ 2, { .top = 0 } },
	{ 0x80000000u, { .other = 5 } },
	{ 0, { .other = INT_MIN } },
};

static nodelist nodelist_values[] = {
	NULL,
	&(node){ INT_MIN, "only", NULL },
	&(node){ 1, "a", &(node){ 2, "", &(node){ 3, "ccc", NULL } } },
};

static blob blob_values[] = {
	{ 0, NULL },
	{ 1, (char[]){ (char)0xAB } },
	{ 4, (char[]){ 0, 1, 2, 3 } },
	{ 7, (char[]){ -1, -1, -1, -1, -1, -1, -1 } },
};

static pointpair pair_values[] = {
	{ { 1, 2 }, { 3, 4 } },
	{ { INT_MIN, INT_MIN }, { INT_MAX, INT_MAX } },
};

static palette palette_values[] = {
	{ 0, NULL },
	{ 1, (color[]){ BLUE } },
	{ 4, (color[]){ RED, GREEN, BLUE, RED } },
};

#define VA(type, ...) { COUNT(((type[]){ __VA_ARGS__ })), (type[]){ __VA_ARGS__ } }

static arrays arrays_values[] = {
	{
		.fcolors = { RED, RED },
		.fshapes = { { RED, { .center = { 0, 0 } } }, { RED, { .center = { 0, 0 } } } },
	},
	{
		.vbytes = { 5, (char[]){ 0, -1, -128, 127, 1 } },
		.fbytes = { 'k', 'e', 'y', (char)0xFE, 0 },
		.vints = VA(int, INT_MIN, 0, INT_MAX),
		.vhypers = VA(quad_t, INT64_MIN, -1, INT64_MAX),
		.vuhypers = VA(u_quad_t, UINT64_MAX, 0),
		.vbools = VA(bool_t, TRUE, FALSE, TRUE),
		.vfloats = VA(float, 1.5f, -0.0f, -INFINITY),
		.vdoubles = VA(double, DBL_MIN, -2.5),
		.vshorts = VA(short, SHRT_MIN, -1, SHRT_MAX),
		.fints = { 1, -2, 3 },
		.fdoubles = { 0.5, -1e300 },
		.fbools = { TRUE, FALSE },
		.vpoints = VA(point, { 1, 2 }, { 3, 4 }),
		.fpoints = { { -1, -2 }, { INT_MIN, INT_MAX }, { 0, 7 } },
		.vcounters = VA(counter, 5, -5),
		.fcounters = { INT_MAX, INT_MIN },
		.vlabels = VA(label, "", "one", "three"),
		.vcolors = VA(color, BLUE, RED, GREEN, GREEN),
		.fcolors = { GREEN, BLUE },
		.vnums = VA(numval, { 1, { .i = 42 } }, { ARM_NONE, { .i = 0 } },
			    { ARM_TEXT, { .text = "t" } }, { 99, { .d = 0.25 } }),
		.fshapes = { { BLUE, { .center = { 0, 0 } } },
			     { GREEN, { .corners = { 1, (point[]){ { 9, 8 } } } } } },
		.ffloats = { 0x1p-149f, -FLT_MAX },
		.fuhypers = { UINT64_MAX, 0x8000000000000000ull },
		.fshorts = { SHRT_MIN, SHRT_MAX },
		.fchars = { 'x', 0, 127 },
		.vuchars = VA(u_char, 0, 255, 128),
		.vushorts = VA(u_short, 0, 32767, 1),
	},
};

static optionals optionals_values[] = {
	{ NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL },
	{
		&(int){ -5 },
		&(quad_t){ INT64_MIN },
		&(bool_t){ FALSE },
		&(double){ -0.0 },
		&(point){ 7, -7 },
		&(color){ GREEN },
		&(label){ "" },
		&(shape){ RED, { .center = { 1, 1 } } },
		&(node){ 1, "a", &(node){ 2, "", &(node){ 3, "ccc", NULL } } },
		&(float){ -1.5f },
		&(u_char){ 255 },
	},
	{
		&(int){ 0 }, NULL, &(bool_t){ TRUE }, NULL, NULL, &(color){ BLUE },
		&(label){ "present" }, &(shape){ BLUE, { .center = { 0, 0 } } },
		&(node){ -1, "single", NULL },
		NULL,
		&(u_char){ 0 },
	},
};

#define CASE(proc, xdr, type, values, render)                                 \
	{ proc, #proc + 2, (xdrproc_t)(xdr), sizeof(type), (void *)(values),      \
	  COUNT(values), render }

const echo_case echo_cases[] = {
	CASE(P_ECHO_INT, xdr_int, int, int_values, render_int),
	CASE(P_ECHO_UINT, xdr_u_int, u_int, uint_values, render_uint),
	CASE(P_ECHO_HYPER, xdr_hyper, quad_t, hyper_values, render_hyper),
	CASE(P_ECHO_UHYPER, xdr_u_hyper, u_quad_t, uhyper_values, render_uhyper),
	CASE(P_ECHO_BOOL, xdr_bool, bool_t, bool_values, render_bool),
	CASE(P_ECHO_FLOAT, xdr_float, float, float_values, render_float),
	CASE(P_ECHO_DOUBLE, xdr_double, double, double_values, render_double),
	CASE(P_ECHO_STRING, xdr_wrapstring, char *, string_values, render_string),
	CASE(P_ECHO_COLOR, xdr_color, color, color_values, render_enum),
	CASE(P_ECHO_COUNTER, xdr_counter, counter, counter_values, render_int),
	CASE(P_ECHO_LABEL, xdr_label, label, label_values, render_string),
	CASE(P_ECHO_POINT, xdr_point, point, point_values, render_point),
	CASE(P_ECHO_SCALARS, xdr_scalars, scalars, scalars_values, render_scalars),
	CASE(P_ECHO_ARRAYS, xdr_arrays, arrays, arrays_values, render_arrays),
	CASE(P_ECHO_OPTIONALS, xdr_optionals, optionals, optionals_values, render_optionals),
	CASE(P_ECHO_NUMVAL, xdr_numval, numval, numval_values, render_numval),
	CASE(P_ECHO_SHAPE, xdr_shape, shape, shape_values, render_shape),
	CASE(P_ECHO_REPLY, xdr_reply, reply, reply_values, render_reply),
	CASE(P_ECHO_TAGGED, xdr_tagged, tagged, tagged_values, render_tagged),
	CASE(P_ECHO_LIST, xdr_nodelist, nodelist, nodelist_values, render_nodelist),
	CASE(P_ECHO_BLOB, xdr_blob, blob, blob_values, render_blob),
	CASE(P_ECHO_PAIR, xdr_pointpair, pointpair, pair_values, render_pair),
	CASE(P_ECHO_PALETTE, xdr_palette, palette, palette_values, render_palette),
	CASE(P_ECHO_LEVEL, xdr_level, level, level_values, render_enum),
	CASE(P_ECHO_HUED, xdr_hued, hued, hued_values, render_hued),
	CASE(P_ECHO_WIDE, xdr_wide, wide, wide_values, render_wide),
	CASE(P_ECHO_MARK, xdr_mark, mark, mark_values, render_mark),
};
const size_t echo_case_count = COUNT(echo_cases);

const echo_case *find_echo_case(u_long proc)
{
	for (size_t n = 0; n < echo_case_count; ++n)
		if (echo_cases[n].proc == proc)
			return &echo_cases[n];
	return NULL;
}

const point store_value = { 123, -456 };
const int add_values[3] = { INT_MAX, INT_MAX, INT_MIN };
const pointpair area_value = { { 1, 2 }, { 3, -1 } };
const char *const greet_arg = "world";
const char *const greet_result = "hello, world";
