// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT.internal.codec;

import kelvaro.ZELT.XDR;
import kelvaro.ZELT.XDRError;

/**
 * The lossless mapping between XDR byte strings and Java strings that
 * {@link XDR} documents: UTF-8, with each byte outside a valid UTF-8
 * sequence carried as the lone surrogate U+DC00 plus the byte.
 */
public final class StringCodec {
    private StringCodec() {
    }

    private static final int ESCAPE_BASE = 0xDC00;

    private static boolean is_escape(char c) {
        return c >= 0xDC80 && c <= 0xDCFF;
    }

    /**
     * The number of bytes that s from index from on encodes to.
     *
     * @param s the string
     * @param from the first index encoded
     * @throws XDRError for an unpaired surrogate that is no escaped byte
     * @return the byte count
     */
    public static int encoded_length(String s, int from) throws XDRError {
        int n = 0;
        int len = s.length();
        for (int i = from; i < len; i++) {
            char c = s.charAt(i);
            if (c < 0x80) {
                n += 1;
            } else if (c < 0x800) {
                n += 2;
            } else if (Character.isHighSurrogate(c) && i + 1 < len && Character.isLowSurrogate(s.charAt(i + 1))) {
                n += 4;
                i++;
            } else if (Character.isSurrogate(c)) {
                if (!is_escape(c))
                    throw new XDRError(String.format(
                            "XDR: string holds the unpaired surrogate U+%04X at index %d, which has no byte form", (int) c, i));
                n += 1;
            } else {
                n += 3;
            }
        }
        return n;
    }

    /**
     * Writes s from index from on into b at p, which has room for the
     * length encoded_length gave; returns the position after the last byte.
     *
     * @param s the string
     * @param from the first index encoded
     * @param b where to
     * @param p the offset in b
     * @return the offset after the last byte written
     */
    public static int encode(String s, int from, byte[] b, int p) {
        int len = s.length();
        for (int i = from; i < len; i++) {
            char c = s.charAt(i);
            if (c < 0x80) {
                b[p++] = (byte) c;
            } else if (c < 0x800) {
                b[p++] = (byte) (0xC0 | c >> 6);
                b[p++] = (byte) (0x80 | c & 0x3F);
            } else if (Character.isHighSurrogate(c) && i + 1 < len && Character.isLowSurrogate(s.charAt(i + 1))) {
                int cp = Character.toCodePoint(c, s.charAt(++i));
                b[p++] = (byte) (0xF0 | cp >> 18);
                b[p++] = (byte) (0x80 | cp >> 12 & 0x3F);
                b[p++] = (byte) (0x80 | cp >> 6 & 0x3F);
                b[p++] = (byte) (0x80 | cp & 0x3F);
            } else if (Character.isSurrogate(c)) {
                b[p++] = (byte) (c - ESCAPE_BASE); // an escaped byte, checked by encoded_length
            } else {
                b[p++] = (byte) (0xE0 | c >> 12);
                b[p++] = (byte) (0x80 | c >> 6 & 0x3F);
                b[p++] = (byte) (0x80 | c & 0x3F);
            }
        }
        return p;
    }

    private static boolean is_cont(byte x) {
        return (x & 0xC0) == 0x80;
    }

    /**
     * Decodes b[start, end): valid UTF-8 sequences become their characters,
     * every other byte its escape. One char per byte is enough room, since no
     * sequence yields more chars than it has bytes.
     *
     * @param b the bytes
     * @param start the first
     * @param end the offset after the last
     * @return the string
     */
    public static String decode(byte[] b, int start, int end) {
        char[] out = new char[end - start];
        int n = 0;
        int i = start;
        while (i < end) {
            int b0 = b[i] & 0xFF;
            if (b0 < 0x80) {
                out[n++] = (char) b0;
                i++;
                continue;
            }
            int need; // continuation bytes
            int cp;
            int lo = 0x80, hi = 0xBF; // range of the first continuation byte
            if (b0 >= 0xC2 && b0 <= 0xDF) {
                need = 1;
                cp = b0 & 0x1F;
            } else if (b0 >= 0xE0 && b0 <= 0xEF) {
                need = 2;
                cp = b0 & 0x0F;
                if (b0 == 0xE0)
                    lo = 0xA0; // no overlong forms
                else if (b0 == 0xED)
                    hi = 0x9F; // no encoded surrogates
            } else if (b0 >= 0xF0 && b0 <= 0xF4) {
                need = 3;
                cp = b0 & 0x07;
                if (b0 == 0xF0)
                    lo = 0x90;
                else if (b0 == 0xF4)
                    hi = 0x8F; // nothing above U+10FFFF
            } else {
                out[n++] = (char) (ESCAPE_BASE + b0);
                i++;
                continue;
            }
            boolean ok = i + need < end;
            if (ok) {
                int b1 = b[i + 1] & 0xFF;
                ok = b1 >= lo && b1 <= hi;
                for (int k = 2; ok && k <= need; k++)
                    ok = is_cont(b[i + k]);
            }
            if (!ok) {
                out[n++] = (char) (ESCAPE_BASE + b0);
                i++;
                continue;
            }
            for (int k = 1; k <= need; k++)
                cp = cp << 6 | b[i + k] & 0x3F;
            i += need + 1;
            if (cp >= 0x10000) {
                out[n++] = Character.highSurrogate(cp);
                out[n++] = Character.lowSurrogate(cp);
            } else {
                out[n++] = (char) cp;
            }
        }
        return new String(out, 0, n);
    }
}
