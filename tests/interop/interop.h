// SPDX-License-Identifier: Apache-2.0
/*
 * C types and XDR routines for interop.x, written by hand on libtirpc's
 * primitives so that the C peer shares no code with the Java generator.
 */
#ifndef INTEROP_H
#define INTEROP_H

#include <rpc/rpc.h>
#include <stdint.h>
#include <stdio.h>

#define MAXPTS 3
#define KEYLEN 5
#define LABELMAX 64
#define ARM_TEXT (-1)
#define ARM_NONE 3
#define BIGTAG 4294967295u
#define WIDETAG 0x100000001ll

#define INTEROP_PROG 0x20000101
#define INTEROP_V1 1
#define INTEROP_V2 2

/* version 1 */
#define P_PING 1
#define P_ECHO_INT 2
#define P_ECHO_UINT 3
#define P_ECHO_HYPER 4
#define P_ECHO_UHYPER 5
#define P_ECHO_BOOL 6
#define P_ECHO_FLOAT 7
#define P_ECHO_DOUBLE 8
#define P_ECHO_STRING 9
#define P_ECHO_COLOR 10
#define P_ECHO_COUNTER 11
#define P_ECHO_LABEL 12
#define P_ECHO_POINT 13
#define P_ECHO_SCALARS 14
#define P_ECHO_ARRAYS 15
#define P_ECHO_OPTIONALS 16
#define P_ECHO_NUMVAL 17
#define P_ECHO_SHAPE 18
#define P_ECHO_REPLY 19
#define P_ECHO_TAGGED 20
#define P_ECHO_LIST 21
#define P_ECHO_BLOB 22
#define P_ECHO_PAIR 23
#define P_ECHO_PALETTE 24
#define P_ECHO_LEVEL 25
#define P_STORE 26
#define P_LOAD 27
#define P_ADD 28
#define P_TOTAL 29
#define P_AREA 30
#define P_ORIGIN_AT 31
#define P_GREET 32
#define P_ERRORS 33
#define P_ECHO_HUED 34
#define P_ECHO_WIDE 35
#define P_ECHO_MARK 36
#define V1_LAST_PROC 36

/* version 2 */
#define V2_NULLPROC 0
#define V2_VERSION 1
#define V2_NULLCALLS 2
#define V2_ECHO_INT 3
#define V2_ECHO_SIZED 4
#define V2_SIZED_OF 5
#define V2_LAST_PROC 5

#define NAMEMAX 8

typedef enum color { RED = 0, GREEN = 5, BLUE = 6 } color;
typedef enum level { BOTTOM = (-2147483647 - 1), MIDDLE = 0, TOP = 2147483647 } level;

typedef struct point {
	int x;
	int y;
} point;

typedef int counter;
typedef char *label;
typedef struct {
	u_int blob_len;
	char *blob_val;
} blob;
typedef point pointpair[2];
typedef struct {
	u_int palette_len;
	color *palette_val;
} palette;

typedef struct node {
	int value;
	label tag;
	struct node *next;
} node;
typedef node *nodelist;

typedef struct scalars {
	int i;
	u_int ui;
	int32_t l;
	uint32_t ul;
	quad_t h;
	u_quad_t uh;
	bool_t b;
	float f;
	double d;
	short s;
	u_short us;
	char c;
	u_char uc;
	color col;
	level lvl;
	counter cnt;
	char *text;
} scalars;

typedef struct numval {
	int kind;
	union {
		int i;
		quad_t h;
		char *text;
		point p;
		double d;
	} u;
} numval;

typedef struct {
	u_int corners_len;
	point *corners_val;
} pointvec;

typedef struct shape {
	color c;
	union {
		point center;
		pointvec corners;
	} u;
} shape;

typedef struct reply {
	bool_t ok;
	union {
		label greeting;
	} u;
} reply;

typedef struct tagged {
	u_int tag;
	union {
		u_quad_t big;
		int nums[MAXPTS];
		blob raw;
	} u;
} tagged;

typedef color hue;

typedef struct hued {
	hue h;
	union {
		int warm;
		char *name;
	} u;
} hued;

typedef struct wide {
	quad_t w;
	union {
		int small;
		char *text;
		quad_t other;
	} u;
} wide;

typedef struct mark {
	u_int m;
	union {
		u_quad_t top;
		int other;
	} u;
} mark;

/* A variable-length array: length and elements, as xdr_array keeps them. */
#define VARRAY(type, name) struct { u_int len; type *val; } name

typedef struct arrays {
	blob vbytes;
	char fbytes[KEYLEN];
	VARRAY(int, vints);
	VARRAY(quad_t, vhypers);
	VARRAY(u_quad_t, vuhypers);
	VARRAY(bool_t, vbools);
	VARRAY(float, vfloats);
	VARRAY(double, vdoubles);
	VARRAY(short, vshorts);
	int fints[MAXPTS];
	double fdoubles[2];
	bool_t fbools[2];
	VARRAY(point, vpoints);
	point fpoints[MAXPTS];
	VARRAY(counter, vcounters);
	counter fcounters[2];
	VARRAY(label, vlabels);
	VARRAY(color, vcolors);
	color fcolors[2];
	VARRAY(numval, vnums);
	shape fshapes[2];
	float ffloats[2];
	u_quad_t fuhypers[2];
	short fshorts[2];
	char fchars[3];
	VARRAY(u_char, vuchars);
	VARRAY(u_short, vushorts);
} arrays;

typedef struct optionals {
	int *oint;
	quad_t *ohyper;
	bool_t *obool;
	double *odouble;
	point *opoint;
	color *ocolor;
	label *olabel;
	shape *oshape;
	nodelist head;
	float *ofloat;
	u_char *ouchar;
} optionals;

typedef struct sized {
	char *name;
	struct {
		u_int nums_len;
		int *nums_val;
	} nums;
	char id[4];
} sized;

/* xdr_void with the signature of every other routine. */
bool_t xdr_none(XDR *, void *);
bool_t xdr_color(XDR *, color *);
bool_t xdr_level(XDR *, level *);
bool_t xdr_point(XDR *, point *);
bool_t xdr_counter(XDR *, counter *);
bool_t xdr_label(XDR *, label *);
bool_t xdr_blob(XDR *, blob *);
bool_t xdr_pointpair(XDR *, point *);
bool_t xdr_palette(XDR *, palette *);
bool_t xdr_node(XDR *, node *);
bool_t xdr_nodelist(XDR *, nodelist *);
bool_t xdr_scalars(XDR *, scalars *);
bool_t xdr_numval(XDR *, numval *);
bool_t xdr_shape(XDR *, shape *);
bool_t xdr_reply(XDR *, reply *);
bool_t xdr_tagged(XDR *, tagged *);
bool_t xdr_hued(XDR *, hued *);
bool_t xdr_wide(XDR *, wide *);
bool_t xdr_mark(XDR *, mark *);
bool_t xdr_arrays(XDR *, arrays *);
bool_t xdr_optionals(XDR *, optionals *);
/* sized held to its declared sizes, and the same without any maximum: to
 * send what breaks them. */
bool_t xdr_sized(XDR *, sized *);
bool_t xdr_sized_loose(XDR *, sized *);

/*
 * Test values.  The C service checks that the n-th call of an echo
 * procedure carries the n-th value of that procedure's list and sends it
 * back; the C client sends every value of every list and checks the
 * reply.  The Java side keeps its own, independently written lists of the
 * same values.
 */
typedef void (*render_fn)(FILE *, const void *);

typedef struct echo_case {
	u_long proc;
	const char *name;
	xdrproc_t xdr;
	size_t size;          /* size of one value */
	void *values;         /* array of count values */
	size_t count;
	render_fn render;
} echo_case;

extern const echo_case echo_cases[];
extern const size_t echo_case_count;

/* Finds the case of a version 1 procedure; NULL when it is no echo. */
const echo_case *find_echo_case(u_long proc);

/* The text form of a value, for comparing and for messages (malloc'd). */
char *render_value(render_fn render, const void *value);

/* Fixed inputs and answers of the procedures that are no echo. */
extern const point store_value;
extern const int add_values[3];
#define TOTAL_AFTER_ADDS ((quad_t)2147483646)
extern const pointpair area_value;
#define AREA_RESULT (-6)
#define ORIGIN_ARG (-2147483647 - 1)
extern const char *const greet_arg;
extern const char *const greet_result;

void render_point(FILE *, const void *);

#endif
