// SPDX-License-Identifier: Apache-2.0
import kelvaro.ZELT.*;

/** XDR codec against byte sequences worked out by hand from RFC 4506. */
public class CodecTest {
    interface Encoder {
        void run(XDR x) throws XDRError;
    }

    interface Decoder {
        Object run(XDR x) throws XDRError;
    }

    static void encodes(String hex, String what, Encoder e) {
        Check.runs(what, () -> {
            XDR x = new XDR();
            e.run(x);
            Check.equal(Check.hex(hex), x.toByteArray(), "encode " + what);
        });
    }

    static void decodes(String hex, Object expected, String what, Decoder d) {
        Check.runs(what, () -> {
            XDR x = new XDR(Check.hex(hex));
            Check.equal(expected, d.run(x), "decode " + what);
            Check.equal(0, x.remaining(), "decode " + what + " uses all input");
        });
    }

    static void rejects(String hex, String text, String what, Decoder d) {
        Check.fails(XDRError.class, text, "reject " + what, () -> d.run(new XDR(Check.hex(hex))));
    }

    /** Encodes obj, checks the bytes, decodes them into fresh and re-encodes it to the same bytes. */
    static void round_trip(String hex, XDT obj, XDT fresh, String what) {
        encodes(hex, what, obj::xdr);
        Check.runs(what, () -> {
            XDR in = new XDR(Check.hex(hex));
            fresh.xdr(in);
            Check.equal(0, in.remaining(), "decode " + what + " uses all input");
            XDR again = new XDR();
            fresh.xdr(again);
            Check.equal(Check.hex(hex), again.toByteArray(), "re-encode " + what);
        });
    }

    static void single_values() {
        encodes("00000001", "int 1", x -> x.enc_int(1));
        encodes("fffffffe", "int -2", x -> x.enc_int(-2));
        decodes("80000000", Integer.MIN_VALUE, "int min", XDR::dec_int);
        encodes("ffffffff", "short -1", x -> x.enc_short((short) -1));
        decodes("0000ffff", (short) -1, "unsigned short 65535", XDR::dec_short);
        decodes("ffff8000", Short.MIN_VALUE, "short min", XDR::dec_short);
        rejects("00010000", "out of range", "short 65536", XDR::dec_short);
        rejects("ffff7fff", "out of range", "short -32769", XDR::dec_short);
        encodes("00000041", "char A", x -> x.enc_char('A'));
        decodes("0000ffff", '\uffff', "char 65535", XDR::dec_char);
        encodes("00000001", "bool TRUE", x -> x.enc_boolean(true));
        encodes("00000000", "bool FALSE", x -> x.enc_boolean(false));
        decodes("00000001", true, "bool TRUE", XDR::dec_boolean);
        rejects("00000002", "bool", "bool 2", XDR::dec_boolean);
        encodes("0102030405060708", "hyper", x -> x.enc_long(0x0102030405060708L));
        encodes("fffffffffffffffe", "hyper -2", x -> x.enc_long(-2));
        decodes("00000000ffffffff", 0xffffffffL, "hyper with low word set", XDR::dec_long);
        decodes("0000000100000000", 0x100000000L, "hyper 2^32", XDR::dec_long);
        encodes("3f800000", "float 1", x -> x.enc_float(1f));
        encodes("c0200000", "float -2.5", x -> x.enc_float(-2.5f));
        decodes("7fc00001", 0x7fc00001, "float NaN payload", x -> Float.floatToRawIntBits(x.dec_float()));
        encodes("3ff0000000000000", "double 1", x -> x.enc_double(1.0));
        encodes("8000000000000000", "double -0", x -> x.enc_double(-0.0));
        decodes("c004000000000000", -2.5, "double -2.5", XDR::dec_double);
    }

    static void strings_and_opaque() {
        encodes("00000005 68656c6c6f 000000", "string hello", x -> x.enc_String("hello"));
        encodes("00000004 61626364", "string of 4 needs no padding", x -> x.enc_String("abcd"));
        encodes("00000000", "empty string", x -> x.enc_String(""));
        encodes("00000000", "null string", x -> x.enc_String(null));
        encodes("00000002 c3a9 0000", "string in UTF-8", x -> x.enc_String("\u00e9"));
        decodes("00000005 68656c6c6f 000000", "hello", "string hello", XDR::dec_String);
        encodes("00000003 010203 00", "opaque<>", x -> x.enc_bytes(new byte[] {1, 2, 3}));
        encodes("00000000", "null opaque<>", x -> x.enc_bytes(null));
        decodes("00000003 010203 00", new byte[] {1, 2, 3}, "opaque<>", XDR::dec_bytes);
        encodes("0908070605 000000", "opaque[5]", x -> x.xdr_byte_vec(new byte[] {9, 8, 7, 6, 5}));
        decodes("0908070605 000000", new byte[] {9, 8, 7, 6, 5}, "opaque[5]", x -> {
            byte[] b = new byte[5];
            x.xdr_byte_vec(b);
            return b;
        });
    }

    static void bad_input() {
        rejects("000000", "short", "int cut short", XDR::dec_int);
        rejects("00000001", "short", "hyper cut short", XDR::dec_long);
        rejects("00000001 61", "exceeds", "string without its padding", XDR::dec_String);
        rejects("7fffffff 00000000", "exceeds", "string count beyond the input", XDR::dec_String);
        rejects("ffffffff", "exceeds", "opaque count 2^32-1", XDR::dec_bytes);
        rejects("00000003 00000001", "exceeds", "int array count beyond the input", XDR::dec_int_array);
        rejects("00000001 00000000", "exceeds", "hyper array of 1 with 4 bytes", XDR::dec_long_array);
        rejects("00000002 00000001", "short", "fixed int array cut short", x -> {
            x.xdr_int_vec(new int[3]);
            return null;
        });
        Check.fails(IllegalStateException.class, "decoding stream", "encode into a decoding stream",
                () -> new XDR(new byte[4]).enc_int(1));
    }

    static void built_in_arrays() {
        encodes("00000002 00000001 ffffffff", "int<>", x -> x.enc_int_array(new int[] {1, -1}));
        encodes("00000000", "null int<>", x -> x.enc_int_array(null));
        encodes("00000001 ffffffff", "short<>", x -> x.enc_short_array(new short[] {-1}));
        encodes("00000002 00000061 00000062", "char<>", x -> x.enc_char_array(new char[] {'a', 'b'}));
        encodes("00000002 00000001 00000000", "bool<>", x -> x.enc_boolean_array(new boolean[] {true, false}));
        encodes("00000001 0000000000000001", "hyper<>", x -> x.enc_long_array(new long[] {1}));
        encodes("00000001 3f800000", "float<>", x -> x.enc_float_array(new float[] {1f}));
        encodes("00000001 3ff0000000000000", "double<>", x -> x.enc_double_array(new double[] {1.0}));
        encodes("00000002 00000001 61000000 00000002 62630000", "string<>",
                x -> x.enc_String_array(new String[] {"a", "bc"}));
        decodes("00000002 00000001 ffffffff", new int[] {1, -1}, "int<>", XDR::dec_int_array);
        decodes("00000001 ffffffff", new short[] {-1}, "short<>", XDR::dec_short_array);
        decodes("00000002 00000061 00000062", new char[] {'a', 'b'}, "char<>", XDR::dec_char_array);
        decodes("00000002 00000001 00000000", new boolean[] {true, false}, "bool<>", XDR::dec_boolean_array);
        decodes("00000001 0000000000000001", new long[] {1}, "hyper<>", XDR::dec_long_array);
        decodes("00000001 3f800000", new float[] {1f}, "float<>", XDR::dec_float_array);
        decodes("00000001 3ff0000000000000", new double[] {1.0}, "double<>", XDR::dec_double_array);
        decodes("00000002 00000001 61000000 00000002 62630000", new String[] {"a", "bc"}, "string<>",
                XDR::dec_String_array);
    }

    static void fixed_arrays() {
        encodes("00000007 00000008", "int[2]", x -> x.xdr_int_vec(new int[] {7, 8}));
        encodes("ffffffff", "short[1]", x -> x.xdr_short_vec(new short[] {-1}));
        encodes("00000061", "char[1]", x -> x.xdr_char_vec(new char[] {'a'}));
        encodes("00000001", "bool[1]", x -> x.xdr_boolean_vec(new boolean[] {true}));
        encodes("0000000000000002", "hyper[1]", x -> x.xdr_long_vec(new long[] {2}));
        encodes("c0200000", "float[1]", x -> x.xdr_float_vec(new float[] {-2.5f}));
        encodes("3ff0000000000000", "double[1]", x -> x.xdr_double_vec(new double[] {1.0}));
        encodes("00000001 61000000", "string[1]", x -> x.xdr_String_vec(new String[] {"a"}));
        // Decoding fills the caller's array in place.
        decodes("00000007 00000008", new int[] {7, 8}, "int[2]", x -> { int[] a = new int[2]; x.xdr_int_vec(a); return a; });
        decodes("ffffffff", new short[] {-1}, "short[1]", x -> { short[] a = new short[1]; x.xdr_short_vec(a); return a; });
        decodes("00000061", new char[] {'a'}, "char[1]", x -> { char[] a = new char[1]; x.xdr_char_vec(a); return a; });
        decodes("00000001", new boolean[] {true}, "bool[1]", x -> { boolean[] a = new boolean[1]; x.xdr_boolean_vec(a); return a; });
        decodes("0000000000000002", new long[] {2}, "hyper[1]", x -> { long[] a = new long[1]; x.xdr_long_vec(a); return a; });
        decodes("c0200000", new float[] {-2.5f}, "float[1]", x -> { float[] a = new float[1]; x.xdr_float_vec(a); return a; });
        decodes("3ff0000000000000", new double[] {1.0}, "double[1]", x -> { double[] a = new double[1]; x.xdr_double_vec(a); return a; });
        decodes("00000001 61000000", new String[] {"a"}, "string[1]", x -> { String[] a = new String[1]; x.xdr_String_vec(a); return a; });
    }

    static point pt(int x, int y) {
        point p = new point();
        p.x = x;
        p.y = y;
        return p;
    }

    static void objects() {
        encodes("00000000", "absent optional", x -> x.enc_ref(null));
        encodes("00000001 00000005", "present optional", x -> x.enc_ref(new XDTint(5)));
        decodes("00000000", null, "absent optional", x -> x.dec_ref(new XDTint()));
        Check.runs("present optional", () -> {
            XDTint proto = new XDTint();
            XDT got = new XDR(Check.hex("00000001 00000005")).dec_ref(proto);
            Check.that(got == proto && proto.value == 5, "dec_ref decodes into the object given");
        });
        rejects("00000002 00000005", "bool", "optional flag 2", x -> x.dec_ref(new XDTint()));

        String two_points = "00000002 00000001 00000002 00000003 00000004";
        encodes(two_points, "point<>", x -> x.enc_array(new point[] {pt(1, 2), pt(3, 4)}));
        encodes("00000000", "null point<>", x -> x.enc_array(null));
        Check.runs("point<>", () -> {
            XDT[] got = new XDR(Check.hex(two_points)).dec_array(new point());
            // Generated code casts the result to point[], so the array's own class matters.
            Check.equal(point[].class, got.getClass(), "dec_array array class");
            point[] pts = (point[]) got;
            Check.that(pts[0].x == 1 && pts[0].y == 2 && pts[1].x == 3 && pts[1].y == 4, "dec_array values");
            Check.that(pts[0] != pts[1], "dec_array gives each element its own object");
        });
        rejects("00000002 00000001 00000002", "short", "point<> cut short", x -> x.dec_array(new point()));
        encodes("00000001 00000002 00000003 00000004", "point[2]", x -> x.xdr_vec(new point[] {pt(1, 2), pt(3, 4)}, null));
        Check.fails(XDRError.class, "element 1", "point[2] with an empty slot",
                () -> new XDR().xdr_vec(new point[] {pt(1, 2), null}, null));
        Check.fails(XDRError.class, "element 0", "point<> with an empty slot",
                () -> new XDR().enc_array(new point[] {null}));
        Check.runs("point[2]", () -> {
            point[] pts = new point[2];
            XDR in = new XDR(Check.hex("00000001 00000002 00000003 00000004"));
            in.xdr_vec(pts, new point());
            Check.that(pts[1] != null && pts[1].x == 3 && pts[1].y == 4, "xdr_vec decodes into new elements");
        });
        Check.runs("color<>", () -> {
            XDT[] got = new XDR(Check.hex("00000002 00000000 00000006")).dec_array(new color());
            Check.equal(color[].class, got.getClass(), "enum dec_array array class");
            Check.equal(color.BLUE, ((color) got[1]).value, "enum element value");
        });
    }

    static void wrappers() {
        round_trip("fffffffe", new XDTint(-2), new XDTint(), "XDTint");
        round_trip("00000007", new XDTshort((short) 7), new XDTshort(), "XDTshort");
        round_trip("00000001", new XDTboolean(true), new XDTboolean(), "XDTboolean");
        round_trip("00000002 6f6b0000", new XDTString("ok"), new XDTString(), "XDTString");
        round_trip("3ff0000000000000", new XDTdouble(1.0), new XDTdouble(), "XDTdouble");
        round_trip("8000000000000000", new XDTLong(Long.MIN_VALUE), new XDTLong(), "XDTLong");
        round_trip("0000007a", new XDTchar('z'), new XDTchar(), "XDTchar");
        round_trip("00000001 ff000000", new XDTbytes(new byte[] {-1}), new XDTbytes(), "XDTbytes");
        round_trip("3f800000", new XDTfloat(1f), new XDTfloat(), "XDTfloat");
        round_trip("", new XDTvoid(), new XDTvoid(), "XDTvoid");
        XDTString s = new XDTString();
        Check.runs("XDTString decode", () -> s.xdr(new XDR(Check.hex("00000002 6f6b0000"))));
        Check.equal("ok", s.value, "XDTString decoded value");
    }

    /** The classes in geo/ are written in the generator's forms for geo/geo.x. */
    static void generated_forms() {
        node list = new node();
        list.v = 1;
        list.next = new node();
        list.next.v = 2;
        list.next.next = new node();
        list.next.next.v = 3;
        round_trip("00000001 00000001 00000002 00000001 00000003 00000000", list, new node(), "linked list");

        shape red = new shape();
        red.kind.value = color.RED;
        red.center = pt(1, 2);
        round_trip("00000000 00000001 00000002", red, new shape(), "union arm on an enum label");
        shape green = new shape();
        green.kind.value = color.GREEN;
        round_trip("00000005", green, new shape(), "union void arm");
        shape seven = new shape();
        seven.kind.value = 7;
        seven.side = 9;
        round_trip("00000007 00000009", seven, new shape(), "union arm on a numeric label");
        shape blue = new shape();
        blue.kind.value = color.BLUE;
        blue.label = "hi";
        round_trip("00000006 00000002 68690000", blue, new shape(), "union default arm");

        maybe yes = new maybe();
        yes.present = true;
        yes.v = 1;
        round_trip("00000001 0000000000000001", yes, new maybe(), "union on bool TRUE");
        round_trip("00000000", new maybe(), new maybe(), "union on bool FALSE");

        reading r = new reading();
        r.unit = -1;
        round_trip("ffffffff", r, new reading(), "union on a negative label");
        r.unit = GEOPROG.MAXPTS;
        r.celsius = 1f;
        round_trip("00000003 3f800000", r, new reading(), "union on a constant label");
        r.unit = 0;
        r.raw = 1.0;
        round_trip("00000000 3ff0000000000000", r, new reading(), "union on int default arm");

        intlist il = new intlist();
        il.value = new int[] {5};
        round_trip("00000001 00000005", il, new intlist(), "typedef of int<>");

        polygon p = new polygon();
        p.name = "ab";
        p.id = 0x100000000L;
        p.closed = true;
        p.sh = -2;
        p.ch = 'z';
        p.tag = new byte[] {1, 2, 3, 4, 5};
        p.blob = new byte[0];
        p.weights = new float[] {1f, -2.5f};
        p.scale = 1.0;
        p.counts = new int[] {7};
        p.corners = new point[] {pt(1, 2), pt(3, 4), pt(5, 6)};
        p.opt = new XDTint(9);
        p.col.value = color.GREEN;
        p.sh2.kind.value = color.GREEN;
        p.r.unit = -1;
        String polygon_bytes = "00000002 61620000" + "00000001 00000000" + "00000001" + "fffffffe" + "0000007a"
                + "0102030405000000" + "00000000" + "3f800000 c0200000" + "3ff0000000000000" + "00000001 00000007"
                + "00000001 00000002 00000003 00000004 00000005 00000006" + "00000000" + "00000001 00000009"
                + "00000000" + "00000005" + "00000005" + "00000000" + "ffffffff" + "00000000";
        polygon q = new polygon();
        round_trip(polygon_bytes, p, q, "struct of every member shape");
        Check.that("ab".equals(q.name) && q.id == 0x100000000L && q.corners[2].y == 6 && q.opt.value == 9
                && q.list == null && q.extra.length == 0 && q.col.value == color.GREEN, "decoded struct fields");
    }

    public static void main(String[] args) {
        single_values();
        strings_and_opaque();
        bad_input();
        built_in_arrays();
        fixed_arrays();
        objects();
        wrappers();
        generated_forms();
        Check.finish("CodecTest");
    }
}
