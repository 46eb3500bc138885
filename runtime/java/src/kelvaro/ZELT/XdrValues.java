// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT;

import java.util.ArrayList;
import java.util.Arrays;
import java.util.Collections;
import java.util.List;
import java.util.Optional;
import kelvaro.ZELT.internal.codec.StringCodec;

/**
 * What the value classes of the idiomatic output share: the checks of
 * their constructors, and equality, hash and text by content for members
 * that hold arrays. Sizes follow the XDR stream's rules: a maximum is read
 * as unsigned, so -1 means none.
 */
public final class XdrValues {
    private XdrValues() {
    }

    /** Opaque data longer than this is shown by its first bytes. */
    static final int SHOWN_BYTES = 32;
    /** Arrays and lists longer than this are shown by their first items. */
    static final int SHOWN_ITEMS = 64;

    private static IllegalArgumentException over(String name, long n, int max, String unit) {
        return new IllegalArgumentException(
                name + " holds " + n + " " + unit + ", more than its maximum of " + Integer.toUnsignedString(max));
    }

    /**
     * Checks a string against its maximum in encoded bytes (UTF-8, see
     * {@link XDR}).
     *
     * @param s the string
     * @param max the maximum
     * @param name the member, for the message
     * @throws NullPointerException when s is null
     * @throws IllegalArgumentException when s encodes to more than max
     *         bytes, or holds a surrogate that has no byte form
     */
    public static void checkString(String s, int max, String name) {
        if (s == null)
            throw new NullPointerException(name);
        long limit = max & 0xffffffffL;
        // At most 3 bytes a char: a short string needs no count.
        if (3L * s.length() <= limit)
            return;
        long n;
        try {
            n = StringCodec.encoded_length(s, 0);
        } catch (XDRError e) {
            throw new IllegalArgumentException(name + ": " + e.getMessage(), e);
        }
        if (n > limit)
            throw over(name, n, max, "bytes");
    }

    /**
     * Checks the length of a variable-length array against its maximum.
     *
     * @param array the array (byte[] for opaque data, or an array of a built-in type)
     * @param max the maximum
     * @param name the member, for the message
     * @throws NullPointerException when array is null
     * @throws IllegalArgumentException when it is longer than max
     */
    public static void checkSize(Object array, int max, String name) {
        if (array == null)
            throw new NullPointerException(name);
        int n = java.lang.reflect.Array.getLength(array);
        if (n > (max & 0xffffffffL))
            throw over(name, n, max, array instanceof byte[] ? "bytes" : "items");
    }

    /**
     * Checks the length of a fixed-length array.
     *
     * @param array the array (byte[] for opaque data, or an array of a built-in type)
     * @param length the declared length
     * @param name the member, for the message
     * @throws NullPointerException when array is null
     * @throws IllegalArgumentException when it is of another length
     */
    public static void checkLength(Object array, int length, String name) {
        if (array == null)
            throw new NullPointerException(name);
        int n = java.lang.reflect.Array.getLength(array);
        if (n != length)
            throw new IllegalArgumentException(name + " holds " + n + (array instanceof byte[] ? " bytes" : " items")
                    + ", its fixed length is " + length);
    }

    /**
     * An unmodifiable copy of a list whose items are never null, checked
     * against its size; a list this runtime decoded is taken as it is.
     *
     * @param <T> the items' type
     * @param list the list
     * @param size the maximum, or the exact length
     * @param exact true for a fixed length
     * @param name the member, for the message
     * @return the unmodifiable list
     * @throws NullPointerException when the list or an item is null
     * @throws IllegalArgumentException when the list is not of its size
     */
    public static <T> List<T> listOf(List<T> list, int size, boolean exact, String name) {
        if (list == null)
            throw new NullPointerException(name);
        checkListSize(list.size(), size, exact, name);
        return List.copyOf(list);
    }

    /**
     * An unmodifiable copy of a list whose items may be null (optional
     * data), checked against its size.
     *
     * @param <T> the items' type
     * @param list the list
     * @param size the maximum, or the exact length
     * @param exact true for a fixed length
     * @param name the member, for the message
     * @return the unmodifiable list
     * @throws NullPointerException when the list is null
     * @throws IllegalArgumentException when the list is not of its size
     */
    public static <T> List<T> nullableListOf(List<T> list, int size, boolean exact, String name) {
        if (list == null)
            throw new NullPointerException(name);
        checkListSize(list.size(), size, exact, name);
        return Collections.unmodifiableList(new ArrayList<>(list));
    }

    private static void checkListSize(int n, int size, boolean exact, String name) {
        if (exact && n != size)
            throw new IllegalArgumentException(name + " holds " + n + " items, its fixed length is " + size);
        if (!exact && n > (size & 0xffffffffL))
            throw over(name, n, size, "items");
    }

    /**
     * Equality by content through lists, optional values and arrays.
     *
     * @param a a value
     * @param b another value
     * @return true when both hold equal content
     */
    public static boolean deepEquals(Object a, Object b) {
        if (a == b)
            return true;
        if (a == null || b == null)
            return false;
        if (a instanceof List<?> x && b instanceof List<?> y) {
            if (x.size() != y.size())
                return false;
            for (int i = 0; i < x.size(); i++)
                if (!deepEquals(x.get(i), y.get(i)))
                    return false;
            return true;
        }
        if (a instanceof Optional<?> x && b instanceof Optional<?> y)
            return deepEquals(x.orElse(null), y.orElse(null));
        return java.util.Objects.deepEquals(a, b);
    }

    /**
     * A hash consistent with {@link #deepEquals}.
     *
     * @param a the value
     * @return the hash
     */
    public static int deepHashCode(Object a) {
        if (a instanceof List<?> x) {
            int h = 1;
            for (Object item : x)
                h = 31 * h + deepHashCode(item);
            return h;
        }
        if (a instanceof Optional<?> x)
            return deepHashCode(x.orElse(null)) + 1;
        return Arrays.deepHashCode(new Object[] {a}) - 31;
    }

    /**
     * A value as text: strings in quotes, opaque data as its size and first
     * bytes in hexadecimal, arrays and lists item by item (the first
     * {@value #SHOWN_ITEMS}), anything else as its {@code toString}.
     *
     * @param a the value
     * @return the text
     */
    public static String text(Object a) {
        StringBuilder b = new StringBuilder();
        append(b, a);
        return b.toString();
    }

    private static void append(StringBuilder b, Object a) {
        if (a == null) {
            b.append("null");
        } else if (a instanceof String s) {
            b.append('"');
            for (int i = 0; i < s.length(); i++) {
                char c = s.charAt(i);
                if (c == '"' || c == '\\')
                    b.append('\\').append(c);
                else if (c < 0x20 || c == 0x7f)
                    b.append(String.format("\\u%04x", (int) c));
                else
                    b.append(c);
            }
            b.append('"');
        } else if (a instanceof byte[] bytes) {
            b.append('[').append(bytes.length).append(bytes.length == 1 ? " byte" : " bytes");
            if (bytes.length > 0)
                b.append(':');
            for (int i = 0; i < Math.min(bytes.length, SHOWN_BYTES); i++)
                b.append(' ').append(Character.forDigit((bytes[i] >> 4) & 15, 16))
                        .append(Character.forDigit(bytes[i] & 15, 16));
            if (bytes.length > SHOWN_BYTES)
                b.append(" ...");
            b.append(']');
        } else if (a instanceof List<?> list) {
            b.append('[');
            for (int i = 0; i < Math.min(list.size(), SHOWN_ITEMS); i++) {
                if (i > 0)
                    b.append(", ");
                append(b, list.get(i));
            }
            if (list.size() > SHOWN_ITEMS)
                b.append(", ... (").append(list.size()).append(" items)");
            b.append(']');
        } else if (a instanceof Optional<?> o) {
            if (o.isPresent()) {
                b.append("Optional[");
                append(b, o.get());
                b.append(']');
            } else {
                b.append("Optional.empty");
            }
        } else if (a.getClass().isArray()) {
            int n = java.lang.reflect.Array.getLength(a);
            b.append('[');
            for (int i = 0; i < Math.min(n, SHOWN_ITEMS); i++) {
                if (i > 0)
                    b.append(", ");
                b.append(java.lang.reflect.Array.get(a, i));
            }
            if (n > SHOWN_ITEMS)
                b.append(", ... (").append(n).append(" items)");
            b.append(']');
        } else {
            b.append(a);
        }
    }
}
