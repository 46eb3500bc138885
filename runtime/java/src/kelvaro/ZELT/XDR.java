package kelvaro.ZELT;

import java.lang.reflect.Array;
import java.nio.charset.StandardCharsets;
import java.util.Arrays;

/**
 * An XDR stream (RFC 4506) over a byte buffer, either for encoding (new XDR())
 * or for decoding given bytes (new XDR(bytes)). xdr_op tells generated xdr
 * methods which way to go.
 *
 * Mapping: int, short, char and boolean travel as 4-byte ints, long as a
 * hyper, float and double as IEEE 754; String is a counted UTF-8 byte string;
 * byte[] is opaque data. Variable-length items carry a 4-byte count, fixed
 * ones (xdr_..._vec) none; everything is padded to a multiple of 4 bytes.
 * A null String or variable-length array encodes as empty.
 */
public class XDR {
    public static final int XDR_ENCODE = 0;
    public static final int XDR_DECODE = 1;

    public int xdr_op;

    private static final byte[] EMPTY = new byte[0];

    private byte[] buf;
    private int pos;
    private final int limit; // end of the input when decoding

    /** A stream that encodes into a growing buffer. */
    public XDR() {
        xdr_op = XDR_ENCODE;
        buf = new byte[64];
        limit = 0;
    }

    /** A stream that decodes the given bytes. */
    public XDR(byte[] data) {
        this(data, 0, data.length);
    }

    public XDR(byte[] data, int offset, int length) {
        xdr_op = XDR_DECODE;
        buf = data;
        pos = offset;
        limit = offset + length;
    }

    /** The bytes encoded so far. */
    public byte[] toByteArray() {
        return Arrays.copyOf(buf, pos);
    }

    /** The number of input bytes not yet decoded. */
    public int remaining() {
        return limit - pos;
    }

    // ---- raw 4-byte units and opaque bytes

    private void ensure(int n) {
        if (xdr_op != XDR_ENCODE)
            throw new IllegalStateException("XDR: encoding into a decoding stream");
        if (pos + n > buf.length)
            buf = Arrays.copyOf(buf, Math.max(buf.length * 2, pos + n));
    }

    private void need(int n) throws XDRError {
        if (n > limit - pos)
            throw new XDRError("XDR: input ends " + (limit - pos) + " bytes short of a " + n + "-byte item");
    }

    private void put4(int v) {
        ensure(4);
        buf[pos++] = (byte) (v >>> 24);
        buf[pos++] = (byte) (v >>> 16);
        buf[pos++] = (byte) (v >>> 8);
        buf[pos++] = (byte) v;
    }

    private int get4() throws XDRError {
        need(4);
        int v = (buf[pos] & 0xff) << 24 | (buf[pos + 1] & 0xff) << 16 | (buf[pos + 2] & 0xff) << 8 | (buf[pos + 3] & 0xff);
        pos += 4;
        return v;
    }

    private static int padding(int n) {
        return (4 - (n & 3)) & 3;
    }

    private void put_opaque(byte[] b) {
        ensure(b.length + padding(b.length));
        System.arraycopy(b, 0, buf, pos, b.length);
        pos += b.length;
        for (int i = padding(b.length); i > 0; i--)
            buf[pos++] = 0;
    }

    private void get_opaque(byte[] b) throws XDRError {
        need(b.length + padding(b.length));
        System.arraycopy(buf, pos, b, 0, b.length);
        pos += b.length + padding(b.length);
    }

    /** Appends bytes that are already XDR-encoded (a multiple of 4 bytes long). */
    void put_encoded(byte[] b) {
        ensure(b.length);
        System.arraycopy(b, 0, buf, pos, b.length);
        pos += b.length;
    }

    /** Writes the count of a variable-length array (0 for null) and returns it. */
    private int enc_count(Object array) {
        int n = array == null ? 0 : Array.getLength(array);
        put4(n);
        return n;
    }

    /**
     * Reads a count of items that take at least unit bytes each. A count the
     * remaining input cannot hold is refused before anything is allocated.
     */
    private int dec_count(int unit) throws XDRError {
        long n = get4() & 0xffffffffL;
        if (n * unit > limit - pos)
            throw new XDRError("XDR: count " + n + " exceeds the remaining " + (limit - pos) + " bytes");
        return (int) n;
    }

    private int dec_ranged(int low, int high, String what) throws XDRError {
        int v = get4();
        if (v < low || v > high)
            throw new XDRError("XDR: " + v + " is out of range for " + what);
        return v;
    }

    // ---- single values

    public void enc_int(int v) { put4(v); }
    public int dec_int() throws XDRError { return get4(); }

    // short and char accept both the signed and the unsigned 16-bit range.
    public void enc_short(short v) { put4(v); }
    public short dec_short() throws XDRError { return (short) dec_ranged(Short.MIN_VALUE, 0xffff, "short"); }

    public void enc_char(char v) { put4(v); }
    public char dec_char() throws XDRError { return (char) dec_ranged(Short.MIN_VALUE, 0xffff, "char"); }

    public void enc_boolean(boolean v) { put4(v ? 1 : 0); }
    public boolean dec_boolean() throws XDRError { return dec_ranged(0, 1, "bool") == 1; }

    public void enc_long(long v) {
        put4((int) (v >>> 32));
        put4((int) v);
    }

    public long dec_long() throws XDRError {
        long high = get4();
        return high << 32 | (get4() & 0xffffffffL);
    }

    public void enc_float(float v) { put4(Float.floatToRawIntBits(v)); }
    public float dec_float() throws XDRError { return Float.intBitsToFloat(get4()); }

    public void enc_double(double v) { enc_long(Double.doubleToRawLongBits(v)); }
    public double dec_double() throws XDRError { return Double.longBitsToDouble(dec_long()); }

    public void enc_String(String s) { enc_bytes(s == null ? EMPTY : s.getBytes(StandardCharsets.UTF_8)); }
    public String dec_String() throws XDRError { return new String(dec_bytes(), StandardCharsets.UTF_8); }

    /** Variable-length opaque data. */
    public void enc_bytes(byte[] b) {
        if (b == null)
            b = EMPTY;
        put4(b.length);
        put_opaque(b);
    }

    public byte[] dec_bytes() throws XDRError {
        byte[] b = new byte[dec_count(1)];
        get_opaque(b);
        return b;
    }

    // ---- variable-length arrays of built-in values: a count, then the items

    public void enc_int_array(int[] a) { for (int i = 0, n = enc_count(a); i < n; i++) enc_int(a[i]); }
    public void enc_short_array(short[] a) { for (int i = 0, n = enc_count(a); i < n; i++) enc_short(a[i]); }
    public void enc_char_array(char[] a) { for (int i = 0, n = enc_count(a); i < n; i++) enc_char(a[i]); }
    public void enc_boolean_array(boolean[] a) { for (int i = 0, n = enc_count(a); i < n; i++) enc_boolean(a[i]); }
    public void enc_long_array(long[] a) { for (int i = 0, n = enc_count(a); i < n; i++) enc_long(a[i]); }
    public void enc_float_array(float[] a) { for (int i = 0, n = enc_count(a); i < n; i++) enc_float(a[i]); }
    public void enc_double_array(double[] a) { for (int i = 0, n = enc_count(a); i < n; i++) enc_double(a[i]); }
    public void enc_String_array(String[] a) { for (int i = 0, n = enc_count(a); i < n; i++) enc_String(a[i]); }

    public int[] dec_int_array() throws XDRError { int[] a = new int[dec_count(4)]; dec_int_vec(a); return a; }
    public short[] dec_short_array() throws XDRError { short[] a = new short[dec_count(4)]; dec_short_vec(a); return a; }
    public char[] dec_char_array() throws XDRError { char[] a = new char[dec_count(4)]; dec_char_vec(a); return a; }
    public boolean[] dec_boolean_array() throws XDRError { boolean[] a = new boolean[dec_count(4)]; dec_boolean_vec(a); return a; }
    public long[] dec_long_array() throws XDRError { long[] a = new long[dec_count(8)]; dec_long_vec(a); return a; }
    public float[] dec_float_array() throws XDRError { float[] a = new float[dec_count(4)]; dec_float_vec(a); return a; }
    public double[] dec_double_array() throws XDRError { double[] a = new double[dec_count(8)]; dec_double_vec(a); return a; }
    public String[] dec_String_array() throws XDRError { String[] a = new String[dec_count(4)]; dec_String_vec(a); return a; }

    // ---- fixed-length arrays: no count; encoded from, or decoded into, the array given

    private void dec_int_vec(int[] a) throws XDRError { for (int i = 0; i < a.length; i++) a[i] = dec_int(); }
    private void dec_short_vec(short[] a) throws XDRError { for (int i = 0; i < a.length; i++) a[i] = dec_short(); }
    private void dec_char_vec(char[] a) throws XDRError { for (int i = 0; i < a.length; i++) a[i] = dec_char(); }
    private void dec_boolean_vec(boolean[] a) throws XDRError { for (int i = 0; i < a.length; i++) a[i] = dec_boolean(); }
    private void dec_long_vec(long[] a) throws XDRError { for (int i = 0; i < a.length; i++) a[i] = dec_long(); }
    private void dec_float_vec(float[] a) throws XDRError { for (int i = 0; i < a.length; i++) a[i] = dec_float(); }
    private void dec_double_vec(double[] a) throws XDRError { for (int i = 0; i < a.length; i++) a[i] = dec_double(); }
    private void dec_String_vec(String[] a) throws XDRError { for (int i = 0; i < a.length; i++) a[i] = dec_String(); }

    private boolean encoding() { return xdr_op == XDR_ENCODE; }

    public void xdr_int_vec(int[] a) throws XDRError { if (encoding()) for (int v : a) enc_int(v); else dec_int_vec(a); }
    public void xdr_short_vec(short[] a) throws XDRError { if (encoding()) for (short v : a) enc_short(v); else dec_short_vec(a); }
    public void xdr_char_vec(char[] a) throws XDRError { if (encoding()) for (char v : a) enc_char(v); else dec_char_vec(a); }
    public void xdr_boolean_vec(boolean[] a) throws XDRError { if (encoding()) for (boolean v : a) enc_boolean(v); else dec_boolean_vec(a); }
    public void xdr_long_vec(long[] a) throws XDRError { if (encoding()) for (long v : a) enc_long(v); else dec_long_vec(a); }
    public void xdr_float_vec(float[] a) throws XDRError { if (encoding()) for (float v : a) enc_float(v); else dec_float_vec(a); }
    public void xdr_double_vec(double[] a) throws XDRError { if (encoding()) for (double v : a) enc_double(v); else dec_double_vec(a); }
    public void xdr_String_vec(String[] a) throws XDRError { if (encoding()) for (String v : a) enc_String(v); else dec_String_vec(a); }

    /** Fixed-length opaque data: the bytes and their padding, no count. */
    public void xdr_byte_vec(byte[] a) throws XDRError { if (encoding()) put_opaque(a); else get_opaque(a); }

    // ---- arrays and optional data of XDT objects

    /** A fixed-length array of objects; when decoding, each slot gets a new proto.Clone(). */
    public void xdr_vec(XDT[] a, XDT proto) throws XDRError {
        for (int i = 0; i < a.length; i++) {
            if (!encoding())
                a[i] = proto.Clone();
            else if (a[i] == null)
                throw new XDRError("XDR: element " + i + " of a fixed-length array is null");
            a[i].xdr(this);
        }
    }

    public void enc_array(XDT[] a) throws XDRError {
        for (int i = 0, n = enc_count(a); i < n; i++) {
            if (a[i] == null)
                throw new XDRError("XDR: element " + i + " of an array is null");
            a[i].xdr(this);
        }
    }

    /**
     * A variable-length array of objects, returned as an array of proto's own
     * class. Each element is assumed to take at least one byte, which bounds
     * the count by the input left.
     */
    public XDT[] dec_array(XDT proto) throws XDRError {
        XDT[] a = proto.getArray(dec_count(1));
        for (int i = 0; i < a.length; i++) {
            a[i] = proto.Clone();
            a[i].xdr(this);
        }
        return a;
    }

    /** Optional data: TRUE and the object, or FALSE for null. */
    public void enc_ref(XDT v) throws XDRError {
        enc_boolean(v != null);
        if (v != null)
            v.xdr(this);
    }

    /** Decodes optional data into proto and returns it, or returns null when absent. */
    public XDT dec_ref(XDT proto) throws XDRError {
        if (!dec_boolean())
            return null;
        proto.xdr(this);
        return proto;
    }
}
