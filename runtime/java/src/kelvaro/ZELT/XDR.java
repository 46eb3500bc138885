// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT;

import java.lang.reflect.Array;
import java.nio.charset.StandardCharsets;
import java.util.Arrays;
import kelvaro.ZELT.internal.access.Access;
import kelvaro.ZELT.internal.codec.DeepData;
import kelvaro.ZELT.internal.codec.StringCodec;

/**
 * An XDR stream (RFC 4506) over a byte array, either for encoding
 * ({@link #XDR()}) or for decoding given bytes ({@link #XDR(byte[])}).
 * {@link #xdr_op} tells the {@code xdr} methods of generated classes which
 * way to go.
 *
 * <h2>Mapping of Java types</h2>
 * {@code int}, {@code short}, {@code char} and {@code boolean} travel as
 * 4-byte integers, {@code long} as an 8-byte hyper, {@code float} and
 * {@code double} in IEEE 754 form, {@code byte[]} as opaque data and
 * {@code String} as a counted byte string (below). Variable-length items
 * ({@code enc_..._array}, {@code enc_bytes}, {@code enc_array}) carry a
 * 4-byte count; fixed-length ones ({@code xdr_..._vec}, {@code xdr_vec})
 * carry none. Every item is padded with zero bytes to a multiple of 4. A
 * {@code null} string or variable-length array is encoded as an empty one.
 * Decoding {@code short} and {@code char} accepts both the signed and the
 * unsigned 16-bit range; a {@code bool} other than 0 or 1 is an error.
 *
 * <h2>Strings</h2>
 * The bytes of a string are read as UTF-8, losslessly: a valid UTF-8
 * sequence becomes its characters, and every byte that is not part of a
 * valid sequence (including overlong forms and encoded surrogates) becomes
 * the lone surrogate {@code U+DC00} plus the byte value ({@code U+DC80} to
 * {@code U+DCFF}). Encoding writes characters as UTF-8 and each such lone
 * surrogate back as its single byte, so every byte string comes back
 * unchanged: {@code 41 ff fe 42} decodes to {@code "A\uDCFF\uDCFEB"} and
 * encodes to {@code 41 ff fe 42} again. A string holding any other
 * unpaired surrogate cannot be encoded: {@link #enc_String} throws
 * {@link XDRError}; nothing is ever replaced silently.
 *
 * <h2>Declared sizes</h2>
 * The methods that take a declared size and a member name hold a value to
 * its interface's contract: a variable-length item to its maximum, a
 * fixed-length array to its exact length. Encoding refuses a value that
 * breaks it before anything of the value is written, and decoding refuses
 * a peer's count over the maximum before anything is allocated; the
 * {@link XDRError} names the member, the declared size and the actual one.
 *
 * <h2>Bounds</h2>
 * Decoding checks every count against the bytes left before it allocates
 * anything: an opaque or string count must fit in the remaining input with
 * its padding, and an array count must fit at 4 bytes an element (8 for
 * hyper and double). Optional data and arrays of objects may nest at most
 * {@link #MAX_DEPTH} levels deep; deeper data is an {@link XDRError} in
 * either direction. Walking such data takes stack: about 56 bytes a level
 * once compiled and about 216 bytes a level in the interpreter for a linked
 * list, so the RPC classes decode and encode deep data on threads with
 * large stacks; code that uses an {@code XDR} directly on deep data must
 * do the same.
 *
 * <p>An {@code XDR} is not safe for use by several threads at once.
 */
public class XDR {
    static {
        Access.register(new XdrBridge());
    }

    /** {@link #xdr_op} of a stream that encodes. */
    public static final int XDR_ENCODE = 0;
    /** {@link #xdr_op} of a stream that decodes. */
    public static final int XDR_DECODE = 1;

    /**
     * The deepest nesting of optional data and arrays of objects that a
     * stream encodes or decodes: 250,000 levels. Each optional datum that is
     * present and each array of objects is one level; an absent one ends
     * the nesting and is not a level, so a linked list of 250,000 nodes
     * ({@code typedef node *list}) is exactly 250,000 levels deep and
     * passes, and one of 250,001 nodes fails.
     */
    public static final int MAX_DEPTH = 250_000;

    /** Which way the stream goes: {@link #XDR_ENCODE} or {@link #XDR_DECODE}. */
    public int xdr_op;

    private static final byte[] EMPTY = new byte[0];

    private byte[] buf;
    private int pos;
    private int limit; // end of the input when decoding

    private int depth;
    // Past this depth the stream asks its caller to go on on a larger stack.
    private int switch_depth = Integer.MAX_VALUE;

    // Opaque data of at least refer_from bytes is not copied into buf but
    // referred to: segment k's bytes come before buf[segment_at[k]] in the
    // encoded output. A TCP call is then copied once, from the caller's
    // arrays into the socket's buffer.
    private int refer_from = Integer.MAX_VALUE;
    private byte[][] segments = new byte[0][];
    private int[] segment_at = new int[0];
    private int segment_count;
    private long segment_bytes;

    /** A stream that encodes into a growing buffer. */
    public XDR() {
        this(64);
    }

    /** A stream that encodes into a buffer of the given initial capacity. */
    XDR(int capacity) {
        xdr_op = XDR_ENCODE;
        buf = new byte[capacity];
    }

    /**
     * A stream that decodes all of the given bytes; the array is used, not
     * copied.
     *
     * @param data the encoded bytes
     */
    public XDR(byte[] data) {
        this(data, 0, data.length);
    }

    /**
     * A stream that decodes {@code length} bytes of {@code data} from
     * {@code offset} on; the array is used, not copied.
     *
     * @param data the array holding the encoded bytes
     * @param offset where the encoded bytes start
     * @param length how many bytes there are
     * @throws IndexOutOfBoundsException when the range lies outside the array
     */
    public XDR(byte[] data, int offset, int length) {
        reset_decode(data, offset, length);
    }

    /**
     * The bytes encoded so far, as a new array.
     *
     * @return a copy of the encoded bytes
     */
    public byte[] toByteArray() {
        if (segment_count == 0)
            return Arrays.copyOf(buf, pos);
        byte[] all = new byte[size()];
        copy_encoded(0, java.nio.ByteBuffer.wrap(all));
        return all;
    }

    /**
     * The number of bytes encoded so far.
     *
     * @return the encoded length
     */
    public int size() {
        return (int) (pos + segment_bytes);
    }

    /**
     * The number of input bytes not yet decoded.
     *
     * @return the bytes left, 0 for an encoding stream
     */
    public int remaining() {
        return xdr_op == XDR_DECODE ? limit - pos : 0;
    }

    // ---- reuse by the RPC classes

    void reset_encode(int start) {
        forget_references();
        refer_from = Integer.MAX_VALUE;
        xdr_op = XDR_ENCODE;
        limit = 0;
        if (buf.length < start)
            buf = new byte[Math.max(64, start)];
        pos = start;
        depth = 0;
    }

    void reset_decode(byte[] data, int offset, int length) {
        if (offset < 0 || length < 0 || length > data.length - offset)
            throw new IndexOutOfBoundsException("range " + offset + "+" + length + " of " + data.length + " bytes");
        xdr_op = XDR_DECODE;
        buf = data;
        pos = offset;
        limit = offset + length;
        depth = 0;
    }

    byte[] buffer() {
        return buf;
    }

    int position() {
        return pos;
    }

    void set_position(int p) {
        pos = p;
        depth = 0;
        while (segment_count > 0 && segment_at[segment_count - 1] >= p) {
            segment_bytes -= segments[--segment_count].length;
            segments[segment_count] = null;
        }
    }

    /**
     * From now until the next reset, opaque data of at least min bytes is
     * referred to rather than copied; the arrays must not change until the
     * encoded bytes have been copied out ({@link #copy_encoded}).
     */
    void refer_to_opaque(int min) {
        refer_from = min;
    }

    /** Drops the references to opaque data, so that the stream holds none of a caller's arrays. */
    void forget_references() {
        Arrays.fill(segments, 0, segment_count, null);
        segment_count = 0;
        segment_bytes = 0;
    }

    /** True when some encoded bytes are in arrays referred to, not in {@link #buffer()}. */
    boolean refers() {
        return segment_count > 0;
    }

    /**
     * Copies the encoded bytes from offset from on into dst, as many as fit.
     *
     * @return how many bytes were copied
     */
    int copy_encoded(long from, java.nio.ByteBuffer dst) {
        int copied = 0;
        long at = 0; // where the next piece starts in the encoded output
        int in_buf = 0; // where the next piece of buf starts
        for (int k = 0; k <= segment_count && dst.hasRemaining(); k++) {
            int buf_end = k < segment_count ? segment_at[k] : pos;
            for (int piece = 0; piece < 2 && dst.hasRemaining(); piece++) {
                byte[] a = piece == 0 ? buf : k < segment_count ? segments[k] : null;
                if (a == null)
                    break;
                int off = piece == 0 ? in_buf : 0;
                int len = piece == 0 ? buf_end - in_buf : a.length;
                if (from < at + len) {
                    int skip = (int) Math.max(0, from - at);
                    int n = Math.min(len - skip, dst.remaining());
                    dst.put(a, off + skip, n);
                    copied += n;
                }
                at += len;
            }
            in_buf = buf_end;
        }
        return copied;
    }

    int capacity() {
        return buf.length;
    }

    void set_switch_depth(int d) {
        switch_depth = d;
    }

    /** Writes v over the 4 bytes at offset at of the encoded output. */
    void put_int_at(int at, int v) {
        buf[at] = (byte) (v >>> 24);
        buf[at + 1] = (byte) (v >>> 16);
        buf[at + 2] = (byte) (v >>> 8);
        buf[at + 3] = (byte) v;
    }

    // ---- raw 4-byte units and opaque bytes

    private void ensure(int n) {
        if (xdr_op != XDR_ENCODE)
            throw new IllegalStateException("XDR: encoding into a decoding stream");
        if (n > buf.length - pos) {
            long want = Math.max((long) buf.length * 2, (long) pos + n);
            if (want > Integer.MAX_VALUE - 8 || (long) pos + n + segment_bytes > Integer.MAX_VALUE - 8)
                throw new OutOfMemoryError("XDR: encoded data over 2 GB");
            buf = Arrays.copyOf(buf, (int) want);
        }
    }

    private void need(int n) throws XDRError {
        if (xdr_op != XDR_DECODE)
            throw new IllegalStateException("XDR: decoding from an encoding stream");
        if (n > limit - pos)
            throw new XDRError("XDR: input ends " + (limit - pos) + " bytes short of a " + n + "-byte item");
    }

    private void put4(int v) {
        ensure(4);
        byte[] b = buf;
        int p = pos;
        b[p] = (byte) (v >>> 24);
        b[p + 1] = (byte) (v >>> 16);
        b[p + 2] = (byte) (v >>> 8);
        b[p + 3] = (byte) v;
        pos = p + 4;
    }

    private int get4() throws XDRError {
        need(4);
        byte[] b = buf;
        int p = pos;
        pos = p + 4;
        return (b[p] & 0xff) << 24 | (b[p + 1] & 0xff) << 16 | (b[p + 2] & 0xff) << 8 | (b[p + 3] & 0xff);
    }

    private static int padding(int n) {
        return (4 - (n & 3)) & 3;
    }

    private void put_opaque(byte[] b, int n) {
        int pad = padding(n);
        if (n >= refer_from && n == b.length) {
            refer(b);
            n = 0;
        }
        ensure(n + pad);
        System.arraycopy(b, 0, buf, pos, n);
        pos += n;
        for (int i = 0; i < pad; i++)
            buf[pos++] = 0;
    }

    /** Refers to b as the next encoded bytes. */
    private void refer(byte[] b) {
        if (xdr_op != XDR_ENCODE)
            throw new IllegalStateException("XDR: encoding into a decoding stream");
        if (pos + segment_bytes + b.length > Integer.MAX_VALUE - 8)
            throw new OutOfMemoryError("XDR: encoded data over 2 GB");
        if (segment_count == segments.length) {
            segments = Arrays.copyOf(segments, Math.max(4, 2 * segment_count));
            segment_at = Arrays.copyOf(segment_at, segments.length);
        }
        segments[segment_count] = b;
        segment_at[segment_count++] = pos;
        segment_bytes += b.length;
    }

    private void get_opaque(byte[] b) throws XDRError {
        int n = b.length;
        need(n + padding(n));
        System.arraycopy(buf, pos, b, 0, n);
        pos += n + padding(n);
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

    /** Reads the count of an opaque or string item and checks it, with its padding, against the input left. */
    private int dec_byte_count() throws XDRError {
        long n = get4() & 0xffffffffL;
        if (n + padding((int) n) > limit - pos)
            throw new XDRError("XDR: count " + n + " exceeds the remaining " + (limit - pos) + " bytes");
        return (int) n;
    }

    private int dec_ranged(int low, int high, String what) throws XDRError {
        int v = get4();
        if (v < low || v > high)
            throw new XDRError("XDR: " + v + " is out of range for " + what);
        return v;
    }

    // ---- nesting depth

    private void enter() throws XDRError {
        int d = depth + 1;
        if (d > MAX_DEPTH)
            throw new XDRError("XDR: data nested deeper than " + MAX_DEPTH + " levels");
        if (d > switch_depth)
            throw DeepData.SIGNAL;
        depth = d;
    }

    // ---- single values

    /**
     * Encodes an int.
     *
     * @param v the value
     */
    public void enc_int(int v) {
        put4(v);
    }

    /**
     * Decodes an int.
     *
     * @return the value
     * @throws XDRError when fewer than 4 bytes are left
     */
    public int dec_int() throws XDRError {
        return get4();
    }

    /**
     * Encodes a short as a 4-byte integer (sign-extended).
     *
     * @param v the value
     */
    public void enc_short(short v) {
        put4(v);
    }

    /**
     * Decodes a short; values from -32768 to 65535 are accepted, those above
     * 32767 wrapping as an unsigned short would.
     *
     * @return the value
     * @throws XDRError when the input is short or the value out of range
     */
    public short dec_short() throws XDRError {
        return (short) dec_ranged(Short.MIN_VALUE, 0xffff, "short");
    }

    /**
     * Encodes a char as a 4-byte integer (0 to 65535).
     *
     * @param v the value
     */
    public void enc_char(char v) {
        put4(v);
    }

    /**
     * Decodes a char; values from -32768 to 65535 are accepted, negative
     * ones wrapping as a signed short would.
     *
     * @return the value
     * @throws XDRError when the input is short or the value out of range
     */
    public char dec_char() throws XDRError {
        return (char) dec_ranged(Short.MIN_VALUE, 0xffff, "char");
    }

    /**
     * Encodes a bool: 1 for true, 0 for false.
     *
     * @param v the value
     */
    public void enc_boolean(boolean v) {
        put4(v ? 1 : 0);
    }

    /**
     * Decodes a bool.
     *
     * @return the value
     * @throws XDRError when the input is short or the value is neither 0 nor 1
     */
    public boolean dec_boolean() throws XDRError {
        return dec_ranged(0, 1, "bool") == 1;
    }

    /**
     * Encodes a hyper (8 bytes, most significant first).
     *
     * @param v the value
     */
    public void enc_long(long v) {
        put4((int) (v >>> 32));
        put4((int) v);
    }

    /**
     * Decodes a hyper.
     *
     * @return the value
     * @throws XDRError when fewer than 8 bytes are left
     */
    public long dec_long() throws XDRError {
        need(8);
        long high = get4();
        return high << 32 | (get4() & 0xffffffffL);
    }

    /**
     * Encodes a float in IEEE 754 single precision, NaN payloads included.
     *
     * @param v the value
     */
    public void enc_float(float v) {
        put4(Float.floatToRawIntBits(v));
    }

    /**
     * Decodes a float.
     *
     * @return the value
     * @throws XDRError when fewer than 4 bytes are left
     */
    public float dec_float() throws XDRError {
        return Float.intBitsToFloat(get4());
    }

    /**
     * Encodes a double in IEEE 754 double precision, NaN payloads included.
     *
     * @param v the value
     */
    public void enc_double(double v) {
        enc_long(Double.doubleToRawLongBits(v));
    }

    /**
     * Decodes a double.
     *
     * @return the value
     * @throws XDRError when fewer than 8 bytes are left
     */
    public double dec_double() throws XDRError {
        return Double.longBitsToDouble(dec_long());
    }

    /**
     * Encodes a string as a counted byte string, mapped as the class
     * description says; null is encoded as the empty string.
     *
     * @param s the string
     * @throws XDRError when s holds an unpaired surrogate outside
     *         U+DC80..U+DCFF, which no byte string decodes to
     */
    public void enc_String(String s) throws XDRError {
        if (s == null)
            s = "";
        int n = s.length();
        ensure(4 + n + 3);
        int start = pos + 4;
        int p = start;
        byte[] b = buf;
        int i = 0;
        for (; i < n; i++) {
            char c = s.charAt(i);
            if (c >= 0x80)
                break;
            b[p++] = (byte) c;
        }
        if (i < n) {
            int rest = StringCodec.encoded_length(s, i);
            pos = p;
            ensure(rest + 3);
            p = StringCodec.encode(s, i, buf, p);
        }
        int len = p - start;
        put_int_at(start - 4, len);
        pos = p;
        for (int k = padding(len); k > 0; k--)
            buf[pos++] = 0;
    }

    /**
     * Decodes a counted byte string, mapped as the class description says.
     *
     * @return the string
     * @throws XDRError when the count exceeds the input left
     */
    public String dec_String() throws XDRError {
        int n = dec_byte_count();
        byte[] b = buf;
        int start = pos;
        int end = start + n;
        int i = start;
        while (i < end && b[i] >= 0)
            i++;
        String s = i == end ? new String(b, start, n, StandardCharsets.ISO_8859_1)
                : StringCodec.decode(b, start, end);
        pos = end + padding(n);
        return s;
    }

    /**
     * Encodes variable-length opaque data: a count, the bytes and their
     * padding; null is encoded as no bytes.
     *
     * @param b the bytes
     */
    public void enc_bytes(byte[] b) {
        if (b == null)
            b = EMPTY;
        put4(b.length);
        put_opaque(b, b.length);
    }

    /**
     * Decodes variable-length opaque data into a new array.
     *
     * @return the bytes
     * @throws XDRError when the count exceeds the input left
     */
    public byte[] dec_bytes() throws XDRError {
        int n = dec_byte_count();
        // A copy of a range is made without first zeroing the new array.
        byte[] b = Arrays.copyOfRange(buf, pos, pos + n);
        pos += n + padding(n);
        return b;
    }

    // ---- variable-length arrays of built-in values: a count, then the items

    /**
     * Encodes a variable-length array of int; null is an empty array.
     *
     * @param a the array
     */
    public void enc_int_array(int[] a) {
        for (int i = 0, n = enc_count(a); i < n; i++)
            enc_int(a[i]);
    }

    /**
     * Encodes a variable-length array of short; null is an empty array.
     *
     * @param a the array
     */
    public void enc_short_array(short[] a) {
        for (int i = 0, n = enc_count(a); i < n; i++)
            enc_short(a[i]);
    }

    /**
     * Encodes a variable-length array of char; null is an empty array.
     *
     * @param a the array
     */
    public void enc_char_array(char[] a) {
        for (int i = 0, n = enc_count(a); i < n; i++)
            enc_char(a[i]);
    }

    /**
     * Encodes a variable-length array of bool; null is an empty array.
     *
     * @param a the array
     */
    public void enc_boolean_array(boolean[] a) {
        for (int i = 0, n = enc_count(a); i < n; i++)
            enc_boolean(a[i]);
    }

    /**
     * Encodes a variable-length array of hyper; null is an empty array.
     *
     * @param a the array
     */
    public void enc_long_array(long[] a) {
        for (int i = 0, n = enc_count(a); i < n; i++)
            enc_long(a[i]);
    }

    /**
     * Encodes a variable-length array of float; null is an empty array.
     *
     * @param a the array
     */
    public void enc_float_array(float[] a) {
        for (int i = 0, n = enc_count(a); i < n; i++)
            enc_float(a[i]);
    }

    /**
     * Encodes a variable-length array of double; null is an empty array.
     *
     * @param a the array
     */
    public void enc_double_array(double[] a) {
        for (int i = 0, n = enc_count(a); i < n; i++)
            enc_double(a[i]);
    }

    /**
     * Encodes a variable-length array of strings; null is an empty array,
     * a null element an empty string.
     *
     * @param a the array
     * @throws XDRError when a string cannot be encoded ({@link #enc_String})
     */
    public void enc_String_array(String[] a) throws XDRError {
        for (int i = 0, n = enc_count(a); i < n; i++)
            enc_String(a[i]);
    }

    /**
     * Decodes a variable-length array of int.
     *
     * @return the array
     * @throws XDRError when the count exceeds the input left or the input is short
     */
    public int[] dec_int_array() throws XDRError {
        int[] a = new int[dec_count(4)];
        dec_int_vec(a);
        return a;
    }

    /**
     * Decodes a variable-length array of short.
     *
     * @return the array
     * @throws XDRError when the count exceeds the input left or an item is bad
     */
    public short[] dec_short_array() throws XDRError {
        short[] a = new short[dec_count(4)];
        dec_short_vec(a);
        return a;
    }

    /**
     * Decodes a variable-length array of char.
     *
     * @return the array
     * @throws XDRError when the count exceeds the input left or an item is bad
     */
    public char[] dec_char_array() throws XDRError {
        char[] a = new char[dec_count(4)];
        dec_char_vec(a);
        return a;
    }

    /**
     * Decodes a variable-length array of bool.
     *
     * @return the array
     * @throws XDRError when the count exceeds the input left or an item is bad
     */
    public boolean[] dec_boolean_array() throws XDRError {
        boolean[] a = new boolean[dec_count(4)];
        dec_boolean_vec(a);
        return a;
    }

    /**
     * Decodes a variable-length array of hyper.
     *
     * @return the array
     * @throws XDRError when the count exceeds the input left
     */
    public long[] dec_long_array() throws XDRError {
        long[] a = new long[dec_count(8)];
        dec_long_vec(a);
        return a;
    }

    /**
     * Decodes a variable-length array of float.
     *
     * @return the array
     * @throws XDRError when the count exceeds the input left
     */
    public float[] dec_float_array() throws XDRError {
        float[] a = new float[dec_count(4)];
        dec_float_vec(a);
        return a;
    }

    /**
     * Decodes a variable-length array of double.
     *
     * @return the array
     * @throws XDRError when the count exceeds the input left
     */
    public double[] dec_double_array() throws XDRError {
        double[] a = new double[dec_count(8)];
        dec_double_vec(a);
        return a;
    }

    /**
     * Decodes a variable-length array of strings.
     *
     * @return the array
     * @throws XDRError when a count exceeds the input left
     */
    public String[] dec_String_array() throws XDRError {
        String[] a = new String[dec_count(4)];
        dec_String_vec(a);
        return a;
    }

    // ---- fixed-length arrays: no count; encoded from, or decoded into, the array given

    private void dec_int_vec(int[] a) throws XDRError {
        need(4 * a.length);
        for (int i = 0; i < a.length; i++)
            a[i] = get4();
    }

    private void dec_short_vec(short[] a) throws XDRError {
        for (int i = 0; i < a.length; i++)
            a[i] = dec_short();
    }

    private void dec_char_vec(char[] a) throws XDRError {
        for (int i = 0; i < a.length; i++)
            a[i] = dec_char();
    }

    private void dec_boolean_vec(boolean[] a) throws XDRError {
        for (int i = 0; i < a.length; i++)
            a[i] = dec_boolean();
    }

    private void dec_long_vec(long[] a) throws XDRError {
        for (int i = 0; i < a.length; i++)
            a[i] = dec_long();
    }

    private void dec_float_vec(float[] a) throws XDRError {
        for (int i = 0; i < a.length; i++)
            a[i] = dec_float();
    }

    private void dec_double_vec(double[] a) throws XDRError {
        for (int i = 0; i < a.length; i++)
            a[i] = dec_double();
    }

    private void dec_String_vec(String[] a) throws XDRError {
        for (int i = 0; i < a.length; i++)
            a[i] = dec_String();
    }

    private boolean encoding() {
        return xdr_op == XDR_ENCODE;
    }

    /**
     * Encodes, or decodes into, a fixed-length array of int (no count).
     *
     * @param a the array; its length is the item count
     * @throws XDRError when decoding and the input is short
     */
    public void xdr_int_vec(int[] a) throws XDRError {
        if (encoding())
            for (int v : a)
                enc_int(v);
        else
            dec_int_vec(a);
    }

    /**
     * Encodes, or decodes into, a fixed-length array of short (no count).
     *
     * @param a the array; its length is the item count
     * @throws XDRError when decoding and an item is short or out of range
     */
    public void xdr_short_vec(short[] a) throws XDRError {
        if (encoding())
            for (short v : a)
                enc_short(v);
        else
            dec_short_vec(a);
    }

    /**
     * Encodes, or decodes into, a fixed-length array of char (no count).
     *
     * @param a the array; its length is the item count
     * @throws XDRError when decoding and an item is short or out of range
     */
    public void xdr_char_vec(char[] a) throws XDRError {
        if (encoding())
            for (char v : a)
                enc_char(v);
        else
            dec_char_vec(a);
    }

    /**
     * Encodes, or decodes into, a fixed-length array of bool (no count).
     *
     * @param a the array; its length is the item count
     * @throws XDRError when decoding and an item is short or not 0 or 1
     */
    public void xdr_boolean_vec(boolean[] a) throws XDRError {
        if (encoding())
            for (boolean v : a)
                enc_boolean(v);
        else
            dec_boolean_vec(a);
    }

    /**
     * Encodes, or decodes into, a fixed-length array of hyper (no count).
     *
     * @param a the array; its length is the item count
     * @throws XDRError when decoding and the input is short
     */
    public void xdr_long_vec(long[] a) throws XDRError {
        if (encoding())
            for (long v : a)
                enc_long(v);
        else
            dec_long_vec(a);
    }

    /**
     * Encodes, or decodes into, a fixed-length array of float (no count).
     *
     * @param a the array; its length is the item count
     * @throws XDRError when decoding and the input is short
     */
    public void xdr_float_vec(float[] a) throws XDRError {
        if (encoding())
            for (float v : a)
                enc_float(v);
        else
            dec_float_vec(a);
    }

    /**
     * Encodes, or decodes into, a fixed-length array of double (no count).
     *
     * @param a the array; its length is the item count
     * @throws XDRError when decoding and the input is short
     */
    public void xdr_double_vec(double[] a) throws XDRError {
        if (encoding())
            for (double v : a)
                enc_double(v);
        else
            dec_double_vec(a);
    }

    /**
     * Encodes, or decodes into, a fixed-length array of strings (no count
     * for the array; each string has its own).
     *
     * @param a the array; its length is the item count
     * @throws XDRError when a string cannot be encoded, or decoding and the input is short
     */
    public void xdr_String_vec(String[] a) throws XDRError {
        if (encoding())
            for (String v : a)
                enc_String(v);
        else
            dec_String_vec(a);
    }

    /**
     * Encodes, or decodes into, fixed-length opaque data: the bytes and
     * their padding, no count.
     *
     * @param a the bytes; its length is the byte count
     * @throws XDRError when decoding and the input is short
     */
    public void xdr_byte_vec(byte[] a) throws XDRError {
        if (encoding())
            put_opaque(a, a.length);
        else
            get_opaque(a);
    }

    // ---- arrays and optional data of XDT objects

    /**
     * Encodes, or decodes into, a fixed-length array of objects (no count).
     * When decoding, each slot gets a new {@code proto.Clone()}.
     *
     * @param a the array; its length is the item count
     * @param proto the element factory when decoding; unused when encoding
     * @throws XDRError when an element is null while encoding, when an element
     *         cannot be encoded or decoded, or past {@link #MAX_DEPTH}
     */
    public void xdr_vec(XDT[] a, XDT proto) throws XDRError {
        enter();
        try {
            boolean enc = encoding();
            for (int i = 0; i < a.length; i++) {
                if (!enc)
                    a[i] = proto.Clone();
                else if (a[i] == null)
                    throw new XDRError("XDR: element " + i + " of a fixed-length array is null");
                a[i].xdr(this);
            }
        } finally {
            depth--;
        }
    }

    /**
     * Encodes a variable-length array of objects: a count, then each element;
     * null is an empty array.
     *
     * @param a the array
     * @throws XDRError when an element is null or cannot be encoded, or past {@link #MAX_DEPTH}
     */
    public void enc_array(XDT[] a) throws XDRError {
        enter();
        try {
            for (int i = 0, n = enc_count(a); i < n; i++) {
                if (a[i] == null)
                    throw new XDRError("XDR: element " + i + " of an array is null");
                a[i].xdr(this);
            }
        } finally {
            depth--;
        }
    }

    /**
     * Decodes a variable-length array of objects, returned as an array of
     * {@code proto}'s own class (made by {@code proto.getArray}) whose
     * elements are new {@code proto.Clone()} objects. Each element is taken
     * to need at least 4 bytes, which bounds the count by the input left.
     *
     * @param proto the element factory
     * @return the array
     * @throws XDRError when the count exceeds the input left, an element cannot
     *         be decoded, or past {@link #MAX_DEPTH}
     */
    public XDT[] dec_array(XDT proto) throws XDRError {
        enter();
        try {
            XDT[] a = proto.getArray(dec_count(4));
            for (int i = 0; i < a.length; i++) {
                a[i] = proto.Clone();
                a[i].xdr(this);
            }
            return a;
        } finally {
            depth--;
        }
    }

    /**
     * Encodes optional data: TRUE and the object, or FALSE for null.
     *
     * @param v the object or null
     * @throws XDRError when the object cannot be encoded, or past {@link #MAX_DEPTH}
     */
    public void enc_ref(XDT v) throws XDRError {
        enc_boolean(v != null);
        if (v == null)
            return; // absent data nests nothing
        enter();
        try {
            v.xdr(this);
        } finally {
            depth--;
        }
    }

    /**
     * Decodes optional data into {@code proto}.
     *
     * @param proto the object to decode into
     * @return proto when the data is present, null when it is absent
     * @throws XDRError when the flag is neither 0 nor 1, the object cannot be
     *         decoded, or past {@link #MAX_DEPTH}
     */
    public XDT dec_ref(XDT proto) throws XDRError {
        if (!dec_boolean())
            return null; // absent data nests nothing
        enter();
        try {
            proto.xdr(this);
            return proto;
        } finally {
            depth--;
        }
    }

    // ---- declared sizes: a maximum for variable-length items, an exact
    // length for fixed-length ones. Encoding checks before it writes
    // anything; decoding checks a count before it allocates.

    private static void check_max(Object a, long n, int max, String name) throws XDRError {
        if (n > (max & 0xffffffffL))
            throw new XDRError(name, a, "holds " + n + " items, more than its maximum of " + max);
    }

    private static void check_fixed(Object a, int length, String name) throws XDRError {
        if (a == null)
            throw new XDRError(name, null, "is null, its fixed length is " + length);
        int n = Array.getLength(a);
        if (n != length)
            throw new XDRError(name, a, "holds " + n + " items, its fixed length is " + length);
    }

    /** Reads a count ahead without taking it, and refuses it when it is over max. */
    private void peek_count(int max, String name) throws XDRError {
        int at = pos;
        long n = get4() & 0xffffffffL;
        pos = at;
        if (n > (max & 0xffffffffL))
            throw new XDRError("XDR: count " + n + " for " + name + " exceeds its maximum of " + max);
    }

    /**
     * Encodes a string of at most max bytes ({@link #enc_String(String)}).
     *
     * @param s the string
     * @param max the declared maximum, in encoded bytes
     * @param name the member's name, for the error
     * @throws XDRError when the encoded string is longer than max (nothing is
     *         written then), or it cannot be encoded
     */
    public void enc_String(String s, int max, String name) throws XDRError {
        int start = pos;
        enc_String(s);
        long n = (buf[start] & 0xffL) << 24 | (buf[start + 1] & 0xff) << 16 | (buf[start + 2] & 0xff) << 8
                | (buf[start + 3] & 0xff);
        if (n > (max & 0xffffffffL)) {
            pos = start;
            throw new XDRError(name, s, "holds " + n + " bytes, more than its maximum of " + max);
        }
    }

    /**
     * Decodes a string of at most max bytes ({@link #dec_String()}).
     *
     * @param max the declared maximum, in bytes
     * @param name the member's name, for the error
     * @return the string
     * @throws XDRError when the count is over max or exceeds the input left
     */
    public String dec_String(int max, String name) throws XDRError {
        peek_count(max, name);
        return dec_String();
    }

    /**
     * Encodes variable-length opaque data of at most max bytes.
     *
     * @param b the bytes; null is no bytes
     * @param max the declared maximum
     * @param name the member's name, for the error
     * @throws XDRError when b is longer than max; nothing is written then
     */
    public void enc_bytes(byte[] b, int max, String name) throws XDRError {
        if (b != null && (long) b.length > (max & 0xffffffffL))
            throw new XDRError(name, b, "holds " + b.length + " bytes, more than its maximum of " + max);
        enc_bytes(b);
    }

    /**
     * Decodes variable-length opaque data of at most max bytes.
     *
     * @param max the declared maximum
     * @param name the member's name, for the error
     * @return the bytes
     * @throws XDRError when the count is over max or exceeds the input left
     */
    public byte[] dec_bytes(int max, String name) throws XDRError {
        peek_count(max, name);
        return dec_bytes();
    }

    /**
     * Encodes a variable-length array of int of at most max items.
     *
     * @param a the array; null is an empty array
     * @param max the declared maximum
     * @param name the member's name, for the error
     * @throws XDRError when a has more than max items (nothing is written
     *         then)
     */
    public void enc_int_array(int[] a, int max, String name) throws XDRError {
        if (a != null)
            check_max(a, a.length, max, name);
        enc_int_array(a);
    }

    /**
     * Decodes a variable-length array of int of at most max items.
     *
     * @param max the declared maximum
     * @param name the member's name, for the error
     * @return the array
     * @throws XDRError when the count is over max or exceeds the input left, or an item is bad
     */
    public int[] dec_int_array(int max, String name) throws XDRError {
        peek_count(max, name);
        return dec_int_array();
    }

    /**
     * Encodes, or decodes into, a fixed-length array of int whose declared
     * length is length ({@link #xdr_int_vec(int[])}).
     *
     * @param a the array
     * @param length the declared length
     * @param name the member's name, for the error
     * @throws XDRError when a is null or not of the declared length (nothing
     *         is written or read then), or as {@link #xdr_int_vec(int[])} does
     */
    public void xdr_int_vec(int[] a, int length, String name) throws XDRError {
        check_fixed(a, length, name);
        xdr_int_vec(a);
    }

    /**
     * Encodes a variable-length array of short of at most max items.
     *
     * @param a the array; null is an empty array
     * @param max the declared maximum
     * @param name the member's name, for the error
     * @throws XDRError when a has more than max items (nothing is written
     *         then)
     */
    public void enc_short_array(short[] a, int max, String name) throws XDRError {
        if (a != null)
            check_max(a, a.length, max, name);
        enc_short_array(a);
    }

    /**
     * Decodes a variable-length array of short of at most max items.
     *
     * @param max the declared maximum
     * @param name the member's name, for the error
     * @return the array
     * @throws XDRError when the count is over max or exceeds the input left, or an item is bad
     */
    public short[] dec_short_array(int max, String name) throws XDRError {
        peek_count(max, name);
        return dec_short_array();
    }

    /**
     * Encodes, or decodes into, a fixed-length array of short whose declared
     * length is length ({@link #xdr_short_vec(short[])}).
     *
     * @param a the array
     * @param length the declared length
     * @param name the member's name, for the error
     * @throws XDRError when a is null or not of the declared length (nothing
     *         is written or read then), or as {@link #xdr_short_vec(short[])} does
     */
    public void xdr_short_vec(short[] a, int length, String name) throws XDRError {
        check_fixed(a, length, name);
        xdr_short_vec(a);
    }

    /**
     * Encodes a variable-length array of char of at most max items.
     *
     * @param a the array; null is an empty array
     * @param max the declared maximum
     * @param name the member's name, for the error
     * @throws XDRError when a has more than max items (nothing is written
     *         then)
     */
    public void enc_char_array(char[] a, int max, String name) throws XDRError {
        if (a != null)
            check_max(a, a.length, max, name);
        enc_char_array(a);
    }

    /**
     * Decodes a variable-length array of char of at most max items.
     *
     * @param max the declared maximum
     * @param name the member's name, for the error
     * @return the array
     * @throws XDRError when the count is over max or exceeds the input left, or an item is bad
     */
    public char[] dec_char_array(int max, String name) throws XDRError {
        peek_count(max, name);
        return dec_char_array();
    }

    /**
     * Encodes, or decodes into, a fixed-length array of char whose declared
     * length is length ({@link #xdr_char_vec(char[])}).
     *
     * @param a the array
     * @param length the declared length
     * @param name the member's name, for the error
     * @throws XDRError when a is null or not of the declared length (nothing
     *         is written or read then), or as {@link #xdr_char_vec(char[])} does
     */
    public void xdr_char_vec(char[] a, int length, String name) throws XDRError {
        check_fixed(a, length, name);
        xdr_char_vec(a);
    }

    /**
     * Encodes a variable-length array of boolean of at most max items.
     *
     * @param a the array; null is an empty array
     * @param max the declared maximum
     * @param name the member's name, for the error
     * @throws XDRError when a has more than max items (nothing is written
     *         then)
     */
    public void enc_boolean_array(boolean[] a, int max, String name) throws XDRError {
        if (a != null)
            check_max(a, a.length, max, name);
        enc_boolean_array(a);
    }

    /**
     * Decodes a variable-length array of boolean of at most max items.
     *
     * @param max the declared maximum
     * @param name the member's name, for the error
     * @return the array
     * @throws XDRError when the count is over max or exceeds the input left, or an item is bad
     */
    public boolean[] dec_boolean_array(int max, String name) throws XDRError {
        peek_count(max, name);
        return dec_boolean_array();
    }

    /**
     * Encodes, or decodes into, a fixed-length array of boolean whose declared
     * length is length ({@link #xdr_boolean_vec(boolean[])}).
     *
     * @param a the array
     * @param length the declared length
     * @param name the member's name, for the error
     * @throws XDRError when a is null or not of the declared length (nothing
     *         is written or read then), or as {@link #xdr_boolean_vec(boolean[])} does
     */
    public void xdr_boolean_vec(boolean[] a, int length, String name) throws XDRError {
        check_fixed(a, length, name);
        xdr_boolean_vec(a);
    }

    /**
     * Encodes a variable-length array of long of at most max items.
     *
     * @param a the array; null is an empty array
     * @param max the declared maximum
     * @param name the member's name, for the error
     * @throws XDRError when a has more than max items (nothing is written
     *         then)
     */
    public void enc_long_array(long[] a, int max, String name) throws XDRError {
        if (a != null)
            check_max(a, a.length, max, name);
        enc_long_array(a);
    }

    /**
     * Decodes a variable-length array of long of at most max items.
     *
     * @param max the declared maximum
     * @param name the member's name, for the error
     * @return the array
     * @throws XDRError when the count is over max or exceeds the input left, or an item is bad
     */
    public long[] dec_long_array(int max, String name) throws XDRError {
        peek_count(max, name);
        return dec_long_array();
    }

    /**
     * Encodes, or decodes into, a fixed-length array of long whose declared
     * length is length ({@link #xdr_long_vec(long[])}).
     *
     * @param a the array
     * @param length the declared length
     * @param name the member's name, for the error
     * @throws XDRError when a is null or not of the declared length (nothing
     *         is written or read then), or as {@link #xdr_long_vec(long[])} does
     */
    public void xdr_long_vec(long[] a, int length, String name) throws XDRError {
        check_fixed(a, length, name);
        xdr_long_vec(a);
    }

    /**
     * Encodes a variable-length array of float of at most max items.
     *
     * @param a the array; null is an empty array
     * @param max the declared maximum
     * @param name the member's name, for the error
     * @throws XDRError when a has more than max items (nothing is written
     *         then)
     */
    public void enc_float_array(float[] a, int max, String name) throws XDRError {
        if (a != null)
            check_max(a, a.length, max, name);
        enc_float_array(a);
    }

    /**
     * Decodes a variable-length array of float of at most max items.
     *
     * @param max the declared maximum
     * @param name the member's name, for the error
     * @return the array
     * @throws XDRError when the count is over max or exceeds the input left, or an item is bad
     */
    public float[] dec_float_array(int max, String name) throws XDRError {
        peek_count(max, name);
        return dec_float_array();
    }

    /**
     * Encodes, or decodes into, a fixed-length array of float whose declared
     * length is length ({@link #xdr_float_vec(float[])}).
     *
     * @param a the array
     * @param length the declared length
     * @param name the member's name, for the error
     * @throws XDRError when a is null or not of the declared length (nothing
     *         is written or read then), or as {@link #xdr_float_vec(float[])} does
     */
    public void xdr_float_vec(float[] a, int length, String name) throws XDRError {
        check_fixed(a, length, name);
        xdr_float_vec(a);
    }

    /**
     * Encodes a variable-length array of double of at most max items.
     *
     * @param a the array; null is an empty array
     * @param max the declared maximum
     * @param name the member's name, for the error
     * @throws XDRError when a has more than max items (nothing is written
     *         then)
     */
    public void enc_double_array(double[] a, int max, String name) throws XDRError {
        if (a != null)
            check_max(a, a.length, max, name);
        enc_double_array(a);
    }

    /**
     * Decodes a variable-length array of double of at most max items.
     *
     * @param max the declared maximum
     * @param name the member's name, for the error
     * @return the array
     * @throws XDRError when the count is over max or exceeds the input left, or an item is bad
     */
    public double[] dec_double_array(int max, String name) throws XDRError {
        peek_count(max, name);
        return dec_double_array();
    }

    /**
     * Encodes, or decodes into, a fixed-length array of double whose declared
     * length is length ({@link #xdr_double_vec(double[])}).
     *
     * @param a the array
     * @param length the declared length
     * @param name the member's name, for the error
     * @throws XDRError when a is null or not of the declared length (nothing
     *         is written or read then), or as {@link #xdr_double_vec(double[])} does
     */
    public void xdr_double_vec(double[] a, int length, String name) throws XDRError {
        check_fixed(a, length, name);
        xdr_double_vec(a);
    }

    /**
     * Encodes a variable-length array of String of at most max items.
     *
     * @param a the array; null is an empty array
     * @param max the declared maximum
     * @param name the member's name, for the error
     * @throws XDRError when a has more than max items (nothing is written
     *         then), or a string cannot be encoded
     */
    public void enc_String_array(String[] a, int max, String name) throws XDRError {
        if (a != null)
            check_max(a, a.length, max, name);
        enc_String_array(a);
    }

    /**
     * Decodes a variable-length array of String of at most max items.
     *
     * @param max the declared maximum
     * @param name the member's name, for the error
     * @return the array
     * @throws XDRError when the count is over max or exceeds the input left, or an item is bad
     */
    public String[] dec_String_array(int max, String name) throws XDRError {
        peek_count(max, name);
        return dec_String_array();
    }

    /**
     * Encodes, or decodes into, a fixed-length array of String whose declared
     * length is length ({@link #xdr_String_vec(String[])}).
     *
     * @param a the array
     * @param length the declared length
     * @param name the member's name, for the error
     * @throws XDRError when a is null or not of the declared length (nothing
     *         is written or read then), or as {@link #xdr_String_vec(String[])} does
     */
    public void xdr_String_vec(String[] a, int length, String name) throws XDRError {
        check_fixed(a, length, name);
        xdr_String_vec(a);
    }

    /**
     * Encodes, or decodes into, fixed-length opaque data whose declared
     * length is length ({@link #xdr_byte_vec(byte[])}).
     *
     * @param a the bytes
     * @param length the declared length
     * @param name the member's name, for the error
     * @throws XDRError when a is null or not of the declared length (nothing
     *         is written or read then), or decoding and the input is short
     */
    public void xdr_byte_vec(byte[] a, int length, String name) throws XDRError {
        check_fixed(a, length, name);
        xdr_byte_vec(a);
    }

    /**
     * Encodes, or decodes into, a fixed-length array of objects whose
     * declared length is length ({@link #xdr_vec(XDT[], XDT)}).
     *
     * @param a the array
     * @param proto the element factory when decoding; unused when encoding
     * @param length the declared length
     * @param name the member's name, for the error
     * @throws XDRError when a is null or not of the declared length (nothing
     *         is written or read then), or as {@link #xdr_vec(XDT[], XDT)} does
     */
    public void xdr_vec(XDT[] a, XDT proto, int length, String name) throws XDRError {
        check_fixed(a, length, name);
        xdr_vec(a, proto);
    }

    /**
     * Encodes a variable-length array of objects of at most max items
     * ({@link #enc_array(XDT[])}).
     *
     * @param a the array; null is an empty array
     * @param max the declared maximum
     * @param name the member's name, for the error
     * @throws XDRError when a has more than max items (nothing is written
     *         then), or as {@link #enc_array(XDT[])} does
     */
    public void enc_array(XDT[] a, int max, String name) throws XDRError {
        if (a != null)
            check_max(a, a.length, max, name);
        enc_array(a);
    }

    /**
     * Decodes a variable-length array of objects of at most max items
     * ({@link #dec_array(XDT)}).
     *
     * @param proto the element factory
     * @param max the declared maximum
     * @param name the member's name, for the error
     * @return the array
     * @throws XDRError when the count is over max, or as {@link #dec_array(XDT)} does
     */
    public XDT[] dec_array(XDT proto, int max, String name) throws XDRError {
        peek_count(max, name);
        return dec_array(proto);
    }

    // ---- values of the idiomatic output: optional data, lists and
    // fixed-length arrays through a writer and a reader of their items

    /**
     * Encodes optional data: TRUE and the value, or FALSE for null.
     *
     * @param <T> the value's type
     * @param v the value or null
     * @param writer what encodes a value
     * @throws XDRError when the value cannot be encoded, or past {@link #MAX_DEPTH}
     */
    public <T> void enc_optional(T v, XdrWriter<? super T> writer) throws XDRError {
        enc_boolean(v != null);
        if (v == null)
            return; // absent data nests nothing
        enter();
        try {
            writer.write(v, this);
        } finally {
            depth--;
        }
    }

    /**
     * Decodes optional data.
     *
     * @param <T> the value's type
     * @param reader what decodes a value
     * @return the value, or null when it is absent
     * @throws XDRError when the flag is neither 0 nor 1, the value cannot be
     *         decoded, or past {@link #MAX_DEPTH}
     */
    public <T> T dec_optional(XdrReader<? extends T> reader) throws XDRError {
        if (!dec_boolean())
            return null; // absent data nests nothing
        enter();
        try {
            return reader.read(this);
        } finally {
            depth--;
        }
    }

    /**
     * Encodes a variable-length array: a count, then each item.
     *
     * @param <T> the items' type
     * @param list the items
     * @param writer what encodes an item
     * @throws XDRError when an item is null or cannot be encoded, or past {@link #MAX_DEPTH}
     */
    public <T> void enc_list(java.util.List<? extends T> list, XdrWriter<? super T> writer) throws XDRError {
        enc_list(list, writer, -1, "list");
    }

    /**
     * Encodes a variable-length array of at most max items: a count, then
     * each item.
     *
     * @param <T> the items' type
     * @param list the items
     * @param writer what encodes an item
     * @param max the declared maximum (-1: none)
     * @param name the member's name, for the error
     * @throws XDRError when the list has more than max items (nothing is
     *         written then), an item is null or cannot be encoded, or past
     *         {@link #MAX_DEPTH}
     */
    public <T> void enc_list(java.util.List<? extends T> list, XdrWriter<? super T> writer, int max, String name)
            throws XDRError {
        int n = list.size();
        check_max(list, n, max, name);
        put4(n);
        enter();
        try {
            for (int i = 0; i < n; i++)
                write_item(list.get(i), writer);
        } finally {
            depth--;
        }
    }

    /**
     * Encodes a fixed-length array: each item, no count.
     *
     * @param <T> the items' type
     * @param list the items
     * @param writer what encodes an item
     * @param length the declared length
     * @param name the member's name, for the error
     * @throws XDRError when the list is not of the declared length (nothing is
     *         written then), an item is null or cannot be encoded, or past
     *         {@link #MAX_DEPTH}
     */
    public <T> void enc_fixed_list(java.util.List<? extends T> list, XdrWriter<? super T> writer, int length,
            String name) throws XDRError {
        if (list.size() != length)
            throw new XDRError(name, list, "holds " + list.size() + " items, its fixed length is " + length);
        enter();
        try {
            for (int i = 0; i < length; i++)
                write_item(list.get(i), writer);
        } finally {
            depth--;
        }
    }

    /** An item of a list; null only where the items are optional data, whose writer encodes it. */
    private <T> void write_item(T item, XdrWriter<? super T> writer) throws XDRError {
        writer.write(item, this);
    }

    /**
     * Decodes a variable-length array. Each item is taken to need at least
     * 4 bytes, which bounds the count by the input left.
     *
     * @param <T> the items' type
     * @param reader what decodes an item
     * @return the items, an unmodifiable list
     * @throws XDRError when the count exceeds the input left, an item cannot
     *         be decoded, or past {@link #MAX_DEPTH}
     */
    public <T> java.util.List<T> dec_list(XdrReader<? extends T> reader) throws XDRError {
        return dec_list(reader, -1, "list");
    }

    /**
     * Decodes a variable-length array of at most max items.
     *
     * @param <T> the items' type
     * @param reader what decodes an item
     * @param max the declared maximum (-1: none)
     * @param name the member's name, for the error
     * @return the items, an unmodifiable list (items may be null when they are optional data)
     * @throws XDRError when the count is over max or exceeds the input left,
     *         an item cannot be decoded, or past {@link #MAX_DEPTH}
     */
    public <T> java.util.List<T> dec_list(XdrReader<? extends T> reader, int max, String name) throws XDRError {
        peek_count(max, name);
        return read_items(reader, dec_count(4));
    }

    /**
     * Decodes a fixed-length array.
     *
     * @param <T> the items' type
     * @param reader what decodes an item
     * @param length the declared length
     * @param name the member's name, for the error
     * @return the items, an unmodifiable list
     * @throws XDRError when the input cannot hold length items, an item
     *         cannot be decoded, or past {@link #MAX_DEPTH}
     */
    public <T> java.util.List<T> dec_fixed_list(XdrReader<? extends T> reader, int length, String name)
            throws XDRError {
        if (length < 0 || 4L * length > limit - pos)
            throw new XDRError("XDR: " + name + " needs " + length + " items, more than the remaining " + (limit - pos)
                    + " bytes hold");
        return read_items(reader, length);
    }

    private <T> java.util.List<T> read_items(XdrReader<? extends T> reader, int n) throws XDRError {
        enter();
        try {
            Object[] items = new Object[n];
            boolean nulls = false;
            for (int i = 0; i < n; i++) {
                Object item = reader.read(this);
                items[i] = item;
                nulls |= item == null;
            }
            @SuppressWarnings("unchecked")
            java.util.List<T> list = (java.util.List<T>) (nulls
                    ? java.util.Collections.unmodifiableList(java.util.Arrays.asList(items))
                    : java.util.List.of(items));
            return list;
        } finally {
            depth--;
        }
    }

    /**
     * Decodes fixed-length opaque data of the declared length into a new array.
     *
     * @param length the declared length
     * @param name the member's name, for the error
     * @return the bytes
     * @throws XDRError when the input is short
     */
    public byte[] dec_byte_fixed(int length, String name) throws XDRError {
        if (length < 0 || length + (long) padding(length) > limit - pos)
            throw new XDRError("XDR: " + name + " needs " + length + " bytes, more than the remaining " + (limit - pos));
        byte[] b = Arrays.copyOfRange(buf, pos, pos + length);
        pos += length + padding(length);
        return b;
    }

    /**
     * Decodes a fixed-length array of int of the declared length.
     *
     * @param length the declared length
     * @param name the member's name, for the error
     * @return the array
     * @throws XDRError when the input is short
     */
    public int[] dec_int_fixed(int length, String name) throws XDRError {
        int[] a = new int[fixed_items(length, 4, name)];
        dec_int_vec(a);
        return a;
    }

    /**
     * Decodes a fixed-length array of short of the declared length.
     *
     * @param length the declared length
     * @param name the member's name, for the error
     * @return the array
     * @throws XDRError when the input is short or an item out of range
     */
    public short[] dec_short_fixed(int length, String name) throws XDRError {
        short[] a = new short[fixed_items(length, 4, name)];
        dec_short_vec(a);
        return a;
    }

    /**
     * Decodes a fixed-length array of char of the declared length.
     *
     * @param length the declared length
     * @param name the member's name, for the error
     * @return the array
     * @throws XDRError when the input is short or an item out of range
     */
    public char[] dec_char_fixed(int length, String name) throws XDRError {
        char[] a = new char[fixed_items(length, 4, name)];
        dec_char_vec(a);
        return a;
    }

    /**
     * Decodes a fixed-length array of bool of the declared length.
     *
     * @param length the declared length
     * @param name the member's name, for the error
     * @return the array
     * @throws XDRError when the input is short or an item is neither 0 nor 1
     */
    public boolean[] dec_boolean_fixed(int length, String name) throws XDRError {
        boolean[] a = new boolean[fixed_items(length, 4, name)];
        dec_boolean_vec(a);
        return a;
    }

    /**
     * Decodes a fixed-length array of hyper of the declared length.
     *
     * @param length the declared length
     * @param name the member's name, for the error
     * @return the array
     * @throws XDRError when the input is short
     */
    public long[] dec_long_fixed(int length, String name) throws XDRError {
        long[] a = new long[fixed_items(length, 8, name)];
        dec_long_vec(a);
        return a;
    }

    /**
     * Decodes a fixed-length array of float of the declared length.
     *
     * @param length the declared length
     * @param name the member's name, for the error
     * @return the array
     * @throws XDRError when the input is short
     */
    public float[] dec_float_fixed(int length, String name) throws XDRError {
        float[] a = new float[fixed_items(length, 4, name)];
        dec_float_vec(a);
        return a;
    }

    /**
     * Decodes a fixed-length array of double of the declared length.
     *
     * @param length the declared length
     * @param name the member's name, for the error
     * @return the array
     * @throws XDRError when the input is short
     */
    public double[] dec_double_fixed(int length, String name) throws XDRError {
        double[] a = new double[fixed_items(length, 8, name)];
        dec_double_vec(a);
        return a;
    }

    /** A fixed length checked against the input left before anything is allocated. */
    private int fixed_items(int length, int unit, String name) throws XDRError {
        if (xdr_op != XDR_DECODE)
            throw new IllegalStateException("XDR: decoding from an encoding stream");
        if (length < 0 || (long) length * unit > limit - pos)
            throw new XDRError("XDR: " + name + " needs " + length + " items, more than the remaining " + (limit - pos)
                    + " bytes hold");
        return length;
    }

    /**
     * Decodes variable-length opaque data of at most max bytes into a
     * buffer the caller keeps, for bulk data that is not to be copied into
     * a new array for each reply: the bytes go to {@code dst} from
     * {@code offset} on, and nothing is allocated.
     *
     * @param dst the buffer
     * @param offset where the bytes go in it
     * @param max the declared maximum (-1: none)
     * @param name the member's name, for the error
     * @return the number of bytes decoded
     * @throws XDRError when the count is over max, exceeds the input left or
     *         the room in dst from offset on
     */
    public int dec_bytes_into(byte[] dst, int offset, int max, String name) throws XDRError {
        peek_count(max, name);
        int n = dec_byte_count();
        if (offset < 0 || n > dst.length - (long) offset) {
            pos -= 4;
            throw new XDRError("XDR: " + name + " holds " + n + " bytes, more than the " + Math.max(0, dst.length - offset)
                    + " bytes of room in the buffer");
        }
        System.arraycopy(buf, pos, dst, offset, n);
        pos += n + padding(n);
        return n;
    }
}
