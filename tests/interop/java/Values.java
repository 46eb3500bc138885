// SPDX-License-Identifier: Apache-2.0
import kelvaro.ZELT.*;

/**
 * The test values of the Java side, written independently of the C peer's
 * list (interop_values.c) and equal to it value by value and in order:
 * the Java client sends these and expects them back, the Java server
 * expects the n-th call of each echo procedure to carry the n-th value.
 */
final class Values {
    private Values() {
    }

    // ---- builders of the generated classes

    static point pt(int x, int y) {
        point p = new point();
        p.x = x;
        p.y = y;
        return p;
    }

    static color col(int v) {
        color c = new color();
        c.value = v;
        return c;
    }

    static level lvl(int v) {
        level l = new level();
        l.value = v;
        return l;
    }

    static counter cnt(int v) {
        counter c = new counter();
        c.value = v;
        return c;
    }

    static label lab(String s) {
        label l = new label();
        l.value = s;
        return l;
    }

    static blob blb(byte... bytes) {
        blob b = new blob();
        b.value = bytes;
        return b;
    }

    static pointpair pair(point a, point b) {
        pointpair p = new pointpair();
        p.value[0] = a;
        p.value[1] = b;
        return p;
    }

    static palette pal(int... colors) {
        palette p = new palette();
        p.value = new color[colors.length];
        for (int i = 0; i < colors.length; i++)
            p.value[i] = col(colors[i]);
        return p;
    }

    static node nd(int value, String tag, node next) {
        node n = new node();
        n.value = value;
        n.tag = lab(tag);
        n.next = next;
        return n;
    }

    static nodelist list(node head) {
        nodelist l = new nodelist();
        l.value = head;
        return l;
    }

    static scalars sc(int i, int ui, int l, int ul, long h, long uh, boolean b, float f, double d,
            int s, int us, char c, char uc, int color, int level, int count, String text) {
        scalars v = new scalars();
        v.i = i;
        v.ui = ui;
        v.l = l;
        v.ul = ul;
        v.h = h;
        v.uh = uh;
        v.b = b;
        v.f = f;
        v.d = d;
        v.s = (short) s;
        v.us = (short) us;
        v.c = c;
        v.uc = uc;
        v.col = col(color);
        v.lvl = lvl(level);
        v.cnt = cnt(count);
        v.text = text;
        return v;
    }

    static numval num_int(int i) {
        numval n = new numval();
        n.kind = 1;
        n.i = i;
        return n;
    }

    static numval num_hyper(long h) {
        numval n = new numval();
        n.kind = 2;
        n.h = h;
        return n;
    }

    static numval num_text(String text) {
        numval n = new numval();
        n.kind = INTEROP_PROG.ARM_TEXT;
        n.text = text;
        return n;
    }

    static numval num_none() {
        numval n = new numval();
        n.kind = INTEROP_PROG.ARM_NONE;
        return n;
    }

    static numval num_point(point p) {
        numval n = new numval();
        n.kind = 0x10;
        n.p = p;
        return n;
    }

    static numval num_default(int kind, double d) {
        numval n = new numval();
        n.kind = kind;
        n.d = d;
        return n;
    }

    static shape shp_center(point p) {
        shape s = new shape();
        s.c = col(color.RED);
        s.center = p;
        return s;
    }

    static shape shp_corners(point... corners) {
        shape s = new shape();
        s.c = col(color.GREEN);
        s.corners = corners;
        return s;
    }

    static shape shp_none() {
        shape s = new shape();
        s.c = col(color.BLUE);
        return s;
    }

    static reply rep(String greeting) {
        reply r = new reply();
        r.ok = greeting != null;
        if (greeting != null)
            r.greeting = lab(greeting);
        return r;
    }

    static tagged tag_void() {
        return new tagged();
    }

    static tagged tag_big(long big) {
        tagged t = new tagged();
        t.tag = 0xFFFFFFFF;
        t.big = big;
        return t;
    }

    static tagged tag_nums(int a, int b, int c) {
        tagged t = new tagged();
        t.tag = 7;
        t.nums = new int[] { a, b, c };
        return t;
    }

    static tagged tag_raw(int tag, byte... raw) {
        tagged t = new tagged();
        t.tag = tag;
        t.raw = raw;
        return t;
    }

    static hued hd_warm(int c, int warm) {
        hued h = new hued();
        h.h.value = col(c);
        h.warm = warm;
        return h;
    }

    static hued hd_name(String name) {
        hued h = new hued();
        h.h.value = col(color.GREEN);
        h.name = name;
        return h;
    }

    static wide wd_small(long w, int small) {
        wide v = new wide();
        v.w = w;
        v.small = small;
        return v;
    }

    static wide wd_text(String text) {
        wide v = new wide();
        v.w = INTEROP_PROG.WIDETAG;
        v.text = text;
        return v;
    }

    static wide wd_none() {
        wide v = new wide();
        v.w = -1;
        return v;
    }

    static wide wd_other(long w, long other) {
        wide v = new wide();
        v.w = w;
        v.other = other;
        return v;
    }

    static mark mk_top(int m, long top) {
        mark v = new mark();
        v.m = m;
        v.top = top;
        return v;
    }

    static mark mk_none(int m) {
        mark v = new mark();
        v.m = m;
        return v;
    }

    static mark mk_other(int m, int other) {
        mark v = new mark();
        v.m = m;
        v.other = other;
        return v;
    }

    // ---- the values, in the order of the C peer's lists

    static final int IMIN = Integer.MIN_VALUE;
    static final int IMAX = Integer.MAX_VALUE;
    static final String S16 = "0123456789abcdef";

    static final Object[] INTS = { 0, 1, -1, IMIN, IMAX, 0x12345678, 0xDEADBEEF };

    static final Object[] UINTS = { 0, 1, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF };

    static final Object[] HYPERS = { 0L, 1L, -1L, Long.MIN_VALUE, Long.MAX_VALUE, 0x0123456789ABCDEFL,
            -4294967296L };

    static final Object[] UHYPERS = { 0L, 1L, 0xFFFFFFFFL, 0x100000000L, 0x8000000000000000L,
            0xFFFFFFFFFFFFFFFFL };

    static final Object[] BOOLS = { true, false };

    static final Object[] FLOATS = { 0.0f, -0.0f, 1.5f, -3.25f, Float.MAX_VALUE, -Float.MAX_VALUE,
            Float.MIN_NORMAL, Float.MIN_VALUE, Float.POSITIVE_INFINITY, Float.NEGATIVE_INFINITY };

    static final Object[] DOUBLES = { 0.0, -0.0, 3.141592653589793, -1e300, Double.MAX_VALUE,
            Double.MIN_NORMAL, Double.MIN_VALUE, Double.POSITIVE_INFINITY, Double.NEGATIVE_INFINITY,
            0x1.23456789abcdep+100 };

    static final Object[] STRINGS = { "", "a", "ab", "abc", "abcd", "abcde",
            "tab\there \"quoted\" back\\slash",
            " !\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`abcdefghijklmnopqrstuvwxyz{|}~",
            "\u0001\u001f\u007f",
            S16.repeat(16) + "!" };

    static final Object[] COLORS = { col(color.RED), col(color.GREEN), col(color.BLUE) };

    static final Object[] LEVELS = { lvl(level.BOTTOM), lvl(level.MIDDLE), lvl(level.TOP) };

    static final Object[] COUNTERS = { cnt(0), cnt(-7), cnt(IMAX) };

    static final Object[] LABELS = { lab(""), lab("x"), lab(S16.repeat(4)) };

    static final Object[] POINTS = { pt(0, 0), pt(-1, 1), pt(IMIN, IMAX) };

    static final Object[] SCALARS = {
            sc(0, 0, 0, 0, 0L, 0L, false, 0.0f, 0.0, 0, 0, (char) 0, (char) 0, color.RED, level.MIDDLE, 0, ""),
            sc(IMIN, 0xFFFFFFFF, IMAX, 0x80000000, Long.MIN_VALUE, 0xFFFFFFFFFFFFFFFFL, true, -1.5f, -0.0,
                    Short.MIN_VALUE, 32767, 'A', (char) 255, color.BLUE, level.BOTTOM, -1, "scalars"),
            sc(IMAX, 0x80000000, IMIN, 0xFFFFFFFF, Long.MAX_VALUE, 0x8000000000000000L, true,
                    Float.POSITIVE_INFINITY, Double.MIN_VALUE, Short.MAX_VALUE, 0, (char) 127, (char) 0,
                    color.GREEN, level.TOP, IMIN, "abc"),
    };

    static final Object[] NUMVALS = { num_int(IMIN), num_hyper(Long.MAX_VALUE), num_text(""),
            num_text("arm text"), num_none(), num_point(pt(-3, 4)), num_default(0, 1.25),
            num_default(IMAX, -0.0), num_default(IMIN, Double.POSITIVE_INFINITY) };

    static final Object[] SHAPES = { shp_center(pt(5, 6)), shp_corners(),
            shp_corners(pt(1, 2), pt(IMIN, 0), pt(0, IMAX)), shp_none() };

    static final Object[] REPLIES = { rep("hi there"), rep(""), rep(null) };

    static final Object[] TAGGEDS = { tag_void(), tag_big(0xFFFFFFFFFFFFFFFFL), tag_nums(1, -2, IMAX),
            tag_raw(1), tag_raw(0x80000000, (byte) 1, (byte) 2, (byte) 3, (byte) 4, (byte) 5, (byte) 6) };

    static final Object[] HUEDS = { hd_warm(color.RED, 1), hd_warm(color.BLUE, IMIN), hd_name("green") };

    static final Object[] WIDES = { wd_small(1, 5), wd_small(3, -1), wd_text("wide"), wd_none(),
            wd_other(0x100000000L, 7), wd_other(0x100000003L, Long.MIN_VALUE), wd_other(Long.MIN_VALUE, -2) };

    static final Object[] MARKS = { mk_top(INTEROP_PROG.BIGTAG, 0xFFFFFFFFFFFFFFFFL), mk_top((int) 3000000000L, 1),
            mk_none(2), mk_other(0x80000000, 5), mk_other(0, IMIN) };

    static final Object[] LISTS = { list(null), list(nd(IMIN, "only", null)),
            list(nd(1, "a", nd(2, "", nd(3, "ccc", null)))) };

    static final Object[] BLOBS = { blb(), blb((byte) 0xAB), blb((byte) 0, (byte) 1, (byte) 2, (byte) 3),
            blb((byte) -1, (byte) -1, (byte) -1, (byte) -1, (byte) -1, (byte) -1, (byte) -1) };

    static final Object[] PAIRS = { pair(pt(1, 2), pt(3, 4)), pair(pt(IMIN, IMIN), pt(IMAX, IMAX)) };

    static final Object[] PALETTES = { pal(), pal(color.BLUE), pal(color.RED, color.GREEN, color.BLUE, color.RED) };

    static final Object[] ARRAYS = { empty_arrays(), full_arrays() };

    static final Object[] OPTIONALS = { no_optionals(), all_optionals(), some_optionals() };

    private static arrays empty_arrays() {
        arrays a = new arrays();
        a.vbytes = new byte[0];
        a.vints = new int[0];
        a.vhypers = new long[0];
        a.vuhypers = new long[0];
        a.vbools = new boolean[0];
        a.vfloats = new float[0];
        a.vdoubles = new double[0];
        a.vshorts = new short[0];
        a.vpoints = new point[0];
        for (int i = 0; i < a.fpoints.length; i++)
            a.fpoints[i] = pt(0, 0);
        a.vcounters = new counter[0];
        a.fcounters[0] = cnt(0);
        a.fcounters[1] = cnt(0);
        a.vlabels = new label[0];
        a.vcolors = new color[0];
        a.fcolors[0] = col(color.RED);
        a.fcolors[1] = col(color.RED);
        a.vnums = new numval[0];
        a.fshapes[0] = shp_center(pt(0, 0));
        a.fshapes[1] = shp_center(pt(0, 0));
        a.vuchars = new char[0];
        a.vushorts = new short[0];
        return a;
    }

    private static arrays full_arrays() {
        arrays a = new arrays();
        a.vbytes = new byte[] { 0, -1, -128, 127, 1 };
        a.fbytes = new byte[] { 'k', 'e', 'y', (byte) 0xFE, 0 };
        a.vints = new int[] { IMIN, 0, IMAX };
        a.vhypers = new long[] { Long.MIN_VALUE, -1L, Long.MAX_VALUE };
        a.vuhypers = new long[] { 0xFFFFFFFFFFFFFFFFL, 0L };
        a.vbools = new boolean[] { true, false, true };
        a.vfloats = new float[] { 1.5f, -0.0f, Float.NEGATIVE_INFINITY };
        a.vdoubles = new double[] { Double.MIN_NORMAL, -2.5 };
        a.vshorts = new short[] { Short.MIN_VALUE, -1, Short.MAX_VALUE };
        a.fints = new int[] { 1, -2, 3 };
        a.fdoubles = new double[] { 0.5, -1e300 };
        a.fbools = new boolean[] { true, false };
        a.vpoints = new point[] { pt(1, 2), pt(3, 4) };
        a.fpoints = new point[] { pt(-1, -2), pt(IMIN, IMAX), pt(0, 7) };
        a.vcounters = new counter[] { cnt(5), cnt(-5) };
        a.fcounters = new counter[] { cnt(IMAX), cnt(IMIN) };
        a.vlabels = new label[] { lab(""), lab("one"), lab("three") };
        a.vcolors = new color[] { col(color.BLUE), col(color.RED), col(color.GREEN), col(color.GREEN) };
        a.fcolors = new color[] { col(color.GREEN), col(color.BLUE) };
        a.vnums = new numval[] { num_int(42), num_none(), num_text("t"), num_default(99, 0.25) };
        a.fshapes = new shape[] { shp_none(), shp_corners(pt(9, 8)) };
        a.ffloats = new float[] { Float.MIN_VALUE, -Float.MAX_VALUE };
        a.fuhypers = new long[] { 0xFFFFFFFFFFFFFFFFL, 0x8000000000000000L };
        a.fshorts = new short[] { Short.MIN_VALUE, Short.MAX_VALUE };
        a.fchars = new char[] { 'x', 0, 127 };
        a.vuchars = new char[] { 0, 255, 128 };
        a.vushorts = new short[] { 0, 32767, 1 };
        return a;
    }

    private static optionals no_optionals() {
        return new optionals();
    }

    private static optionals all_optionals() {
        optionals o = new optionals();
        o.oint = new XDTint(-5);
        o.ohyper = new XDTLong(Long.MIN_VALUE);
        o.obool = new XDTboolean(false);
        o.odouble = new XDTdouble(-0.0);
        o.opoint = pt(7, -7);
        o.ocolor = col(color.GREEN);
        o.olabel = lab("");
        o.oshape = shp_center(pt(1, 1));
        o.head = list(nd(1, "a", nd(2, "", nd(3, "ccc", null))));
        o.ofloat = new XDTfloat(-1.5f);
        o.ouchar = new XDTchar((char) 255);
        return o;
    }

    private static optionals some_optionals() {
        optionals o = new optionals();
        o.oint = new XDTint(0);
        o.obool = new XDTboolean(true);
        o.ocolor = col(color.BLUE);
        o.olabel = lab("present");
        o.oshape = shp_none();
        o.head = list(nd(-1, "single", null));
        o.ouchar = new XDTchar((char) 0);
        return o;
    }

    // ---- inputs and answers of the procedures that are no echo

    static final point STORE_VALUE = pt(123, -456);
    static final int[] ADD_VALUES = { IMAX, IMAX, IMIN };
    static final long TOTAL_AFTER_ADDS = 2147483646L;
    static final pointpair AREA_VALUE = pair(pt(1, 2), pt(3, -1));
    static final int AREA_RESULT = -6;
    static final int ORIGIN_ARG = IMIN;
    static final point ORIGIN_RESULT = pt(IMIN, IMAX);
    static final String GREET_ARG = "world";
    static final String GREET_RESULT = "hello, world";
}
