// SPDX-License-Identifier: Apache-2.0
/*
 * XDR routines for interop.x, built from libtirpc's primitives the way
 * the XDR standard lays the data out: 4-byte units, big-endian, strings
 * and opaque data padded to a multiple of 4, optional data as a boolean
 * followed by the value, unions as the discriminant followed by its arm.
 */
#include "interop.h"

#define NOMAX (~0u)

bool_t xdr_none(XDR *xdrs, void *v)
{
	(void)xdrs;
	(void)v;
	return TRUE;
}

bool_t xdr_color(XDR *xdrs, color *v)
{
	return xdr_enum(xdrs, (enum_t *)v);
}

bool_t xdr_level(XDR *xdrs, level *v)
{
	return xdr_enum(xdrs, (enum_t *)v);
}

bool_t xdr_point(XDR *xdrs, point *v)
{
	return xdr_int(xdrs, &v->x) && xdr_int(xdrs, &v->y);
}

bool_t xdr_counter(XDR *xdrs, counter *v)
{
	return xdr_int(xdrs, v);
}

bool_t xdr_label(XDR *xdrs, label *v)
{
	return xdr_string(xdrs, v, LABELMAX);
}

bool_t xdr_blob(XDR *xdrs, blob *v)
{
	return xdr_bytes(xdrs, &v->blob_val, &v->blob_len, NOMAX);
}

bool_t xdr_pointpair(XDR *xdrs, point *v)
{
	return xdr_vector(xdrs, (char *)v, 2, sizeof(point), (xdrproc_t)xdr_point);
}

bool_t xdr_palette(XDR *xdrs, palette *v)
{
	return xdr_array(xdrs, (char **)&v->palette_val, &v->palette_len, NOMAX,
			 sizeof(color), (xdrproc_t)xdr_color);
}

bool_t xdr_node(XDR *xdrs, node *v)
{
	return xdr_int(xdrs, &v->value) && xdr_label(xdrs, &v->tag) &&
	       xdr_pointer(xdrs, (char **)&v->next, sizeof(node), (xdrproc_t)xdr_node);
}

bool_t xdr_nodelist(XDR *xdrs, nodelist *v)
{
	return xdr_pointer(xdrs, (char **)v, sizeof(node), (xdrproc_t)xdr_node);
}

bool_t xdr_scalars(XDR *xdrs, scalars *v)
{
	return xdr_int(xdrs, &v->i) && xdr_u_int(xdrs, &v->ui) &&
	       xdr_int32_t(xdrs, &v->l) && xdr_uint32_t(xdrs, &v->ul) &&
	       xdr_hyper(xdrs, &v->h) && xdr_u_hyper(xdrs, &v->uh) &&
	       xdr_bool(xdrs, &v->b) && xdr_float(xdrs, &v->f) &&
	       xdr_double(xdrs, &v->d) && xdr_short(xdrs, &v->s) &&
	       xdr_u_short(xdrs, &v->us) && xdr_char(xdrs, &v->c) &&
	       xdr_u_char(xdrs, &v->uc) && xdr_color(xdrs, &v->col) &&
	       xdr_level(xdrs, &v->lvl) && xdr_counter(xdrs, &v->cnt) &&
	       xdr_string(xdrs, &v->text, NOMAX);
}

/* xdr_union hands every arm the address of the arm storage only. */
static bool_t xdr_quad_arm(XDR *xdrs, quad_t *v)
{
	return xdr_hyper(xdrs, v);
}

static bool_t xdr_uquad_arm(XDR *xdrs, u_quad_t *v)
{
	return xdr_u_hyper(xdrs, v);
}

static bool_t xdr_pointvec(XDR *xdrs, pointvec *v)
{
	return xdr_array(xdrs, (char **)&v->corners_val, &v->corners_len, MAXPTS,
			 sizeof(point), (xdrproc_t)xdr_point);
}

static bool_t xdr_nums_arm(XDR *xdrs, int *v)
{
	return xdr_vector(xdrs, (char *)v, MAXPTS, sizeof(int), (xdrproc_t)xdr_int);
}

static const struct xdr_discrim numval_arms[] = {
	{ 1, (xdrproc_t)xdr_int },
	{ 2, (xdrproc_t)xdr_quad_arm },
	{ ARM_TEXT, (xdrproc_t)xdr_wrapstring },
	{ ARM_NONE, (xdrproc_t)xdr_none },
	{ 0x10, (xdrproc_t)xdr_point },
	{ __dontcare__, NULL },
};

bool_t xdr_numval(XDR *xdrs, numval *v)
{
	return xdr_union(xdrs, (enum_t *)&v->kind, (char *)&v->u, numval_arms,
			 (xdrproc_t)xdr_double);
}

static const struct xdr_discrim shape_arms[] = {
	{ RED, (xdrproc_t)xdr_point },
	{ GREEN, (xdrproc_t)xdr_pointvec },
	{ BLUE, (xdrproc_t)xdr_none },
	{ __dontcare__, NULL },
};

bool_t xdr_shape(XDR *xdrs, shape *v)
{
	/* No default arm: an unknown colour fails, as the standard asks. */
	return xdr_union(xdrs, (enum_t *)&v->c, (char *)&v->u, shape_arms, NULL);
}

static const struct xdr_discrim reply_arms[] = {
	{ TRUE, (xdrproc_t)xdr_label },
	{ FALSE, (xdrproc_t)xdr_none },
	{ __dontcare__, NULL },
};

bool_t xdr_reply(XDR *xdrs, reply *v)
{
	return xdr_union(xdrs, (enum_t *)&v->ok, (char *)&v->u, reply_arms, NULL);
}

static const struct xdr_discrim tagged_arms[] = {
	{ 0, (xdrproc_t)xdr_none },
	{ (int)0xFFFFFFFFu, (xdrproc_t)xdr_uquad_arm },
	{ 7, (xdrproc_t)xdr_nums_arm },
	{ __dontcare__, NULL },
};

bool_t xdr_tagged(XDR *xdrs, tagged *v)
{
	return xdr_union(xdrs, (enum_t *)&v->tag, (char *)&v->u, tagged_arms,
			 (xdrproc_t)xdr_blob);
}

static const struct xdr_discrim hued_arms[] = {
	{ RED, (xdrproc_t)xdr_int },
	{ BLUE, (xdrproc_t)xdr_int },
	{ GREEN, (xdrproc_t)xdr_wrapstring },
	{ __dontcare__, NULL },
};

bool_t xdr_hued(XDR *xdrs, hued *v)
{
	return xdr_union(xdrs, (enum_t *)&v->h, (char *)&v->u, hued_arms, NULL);
}

/* xdr_union takes 32-bit discriminants only: the hyper one is by hand. */
bool_t xdr_wide(XDR *xdrs, wide *v)
{
	if (!xdr_hyper(xdrs, &v->w))
		return FALSE;
	switch (v->w) {
	case 1:
	case 3:
		return xdr_int(xdrs, &v->u.small);
	case WIDETAG:
		return xdr_wrapstring(xdrs, &v->u.text);
	case -1:
		return TRUE;
	default:
		return xdr_hyper(xdrs, &v->u.other);
	}
}

static const struct xdr_discrim mark_arms[] = {
	{ (int)BIGTAG, (xdrproc_t)xdr_uquad_arm },
	{ (int)3000000000u, (xdrproc_t)xdr_uquad_arm },
	{ 1, (xdrproc_t)xdr_none },
	{ 2, (xdrproc_t)xdr_none },
	{ 3, (xdrproc_t)xdr_none },
	{ __dontcare__, NULL },
};

bool_t xdr_mark(XDR *xdrs, mark *v)
{
	return xdr_union(xdrs, (enum_t *)&v->m, (char *)&v->u, mark_arms, (xdrproc_t)xdr_int);
}

#define XDR_VARRAY(xdrs, field, max, elproc)                                   \
	xdr_array(xdrs, (char **)&(field).val, &(field).len, max,              \
		  sizeof(*(field).val), (xdrproc_t)(elproc))
#define XDR_FIXED(xdrs, field, elproc)                                         \
	xdr_vector(xdrs, (char *)(field), sizeof(field) / sizeof((field)[0]),  \
		   sizeof((field)[0]), (xdrproc_t)(elproc))

bool_t xdr_arrays(XDR *xdrs, arrays *v)
{
	return xdr_blob(xdrs, &v->vbytes) &&
	       xdr_opaque(xdrs, v->fbytes, KEYLEN) &&
	       XDR_VARRAY(xdrs, v->vints, NOMAX, xdr_int) &&
	       XDR_VARRAY(xdrs, v->vhypers, 16, xdr_hyper) &&
	       XDR_VARRAY(xdrs, v->vuhypers, NOMAX, xdr_u_hyper) &&
	       XDR_VARRAY(xdrs, v->vbools, NOMAX, xdr_bool) &&
	       XDR_VARRAY(xdrs, v->vfloats, NOMAX, xdr_float) &&
	       XDR_VARRAY(xdrs, v->vdoubles, NOMAX, xdr_double) &&
	       XDR_VARRAY(xdrs, v->vshorts, NOMAX, xdr_short) &&
	       XDR_FIXED(xdrs, v->fints, xdr_int) &&
	       XDR_FIXED(xdrs, v->fdoubles, xdr_double) &&
	       XDR_FIXED(xdrs, v->fbools, xdr_bool) &&
	       XDR_VARRAY(xdrs, v->vpoints, NOMAX, xdr_point) &&
	       XDR_FIXED(xdrs, v->fpoints, xdr_point) &&
	       XDR_VARRAY(xdrs, v->vcounters, NOMAX, xdr_counter) &&
	       XDR_FIXED(xdrs, v->fcounters, xdr_counter) &&
	       XDR_VARRAY(xdrs, v->vlabels, NOMAX, xdr_label) &&
	       XDR_VARRAY(xdrs, v->vcolors, NOMAX, xdr_color) &&
	       XDR_FIXED(xdrs, v->fcolors, xdr_color) &&
	       XDR_VARRAY(xdrs, v->vnums, NOMAX, xdr_numval) &&
	       XDR_FIXED(xdrs, v->fshapes, xdr_shape) &&
	       XDR_FIXED(xdrs, v->ffloats, xdr_float) &&
	       XDR_FIXED(xdrs, v->fuhypers, xdr_u_hyper) &&
	       XDR_FIXED(xdrs, v->fshorts, xdr_short) &&
	       XDR_FIXED(xdrs, v->fchars, xdr_char) &&
	       XDR_VARRAY(xdrs, v->vuchars, NOMAX, xdr_u_char) &&
	       XDR_VARRAY(xdrs, v->vushorts, NOMAX, xdr_u_short);
}

bool_t xdr_optionals(XDR *xdrs, optionals *v)
{
	return xdr_pointer(xdrs, (char **)&v->oint, sizeof(int), (xdrproc_t)xdr_int) &&
	       xdr_pointer(xdrs, (char **)&v->ohyper, sizeof(quad_t), (xdrproc_t)xdr_hyper) &&
	       xdr_pointer(xdrs, (char **)&v->obool, sizeof(bool_t), (xdrproc_t)xdr_bool) &&
	       xdr_pointer(xdrs, (char **)&v->odouble, sizeof(double), (xdrproc_t)xdr_double) &&
	       xdr_pointer(xdrs, (char **)&v->opoint, sizeof(point), (xdrproc_t)xdr_point) &&
	       xdr_pointer(xdrs, (char **)&v->ocolor, sizeof(color), (xdrproc_t)xdr_color) &&
	       xdr_pointer(xdrs, (char **)&v->olabel, sizeof(label), (xdrproc_t)xdr_label) &&
	       xdr_pointer(xdrs, (char **)&v->oshape, sizeof(shape), (xdrproc_t)xdr_shape) &&
	       xdr_nodelist(xdrs, &v->head) &&
	       xdr_pointer(xdrs, (char **)&v->ofloat, sizeof(float), (xdrproc_t)xdr_float) &&
	       xdr_pointer(xdrs, (char **)&v->ouchar, sizeof(u_char), (xdrproc_t)xdr_u_char);
}

static bool_t xdr_sized_within(XDR *xdrs, sized *v, u_int name_max, u_int nums_max)
{
	return xdr_string(xdrs, &v->name, name_max) &&
	       xdr_array(xdrs, (char **)&v->nums.nums_val, &v->nums.nums_len, nums_max, sizeof(int),
			 (xdrproc_t)xdr_int) &&
	       xdr_opaque(xdrs, v->id, sizeof v->id);
}

bool_t xdr_sized(XDR *xdrs, sized *v)
{
	return xdr_sized_within(xdrs, v, NAMEMAX, 2);
}

bool_t xdr_sized_loose(XDR *xdrs, sized *v)
{
	return xdr_sized_within(xdrs, v, NOMAX, NOMAX);
}
