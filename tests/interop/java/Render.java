// SPDX-License-Identifier: Apache-2.0
import java.lang.reflect.Array;
import java.lang.reflect.Field;
import java.lang.reflect.Modifier;
import java.util.Arrays;
import java.util.Comparator;

/**
 * The text form of a value of the generated classes, used to compare a
 * value with the one expected and to show both when they differ. Objects
 * show their class and every public instance field (in name order, the
 * inherited value field of wrappers and enums included), arrays their
 * elements, floating-point numbers their bits, so -0.0, infinities and
 * denormals compare exactly and null differs from every other value.
 */
final class Render {
    private Render() {
    }

    static String of(Object v) {
        StringBuilder b = new StringBuilder();
        put(b, v);
        return b.toString();
    }

    private static void put(StringBuilder b, Object v) {
        if (v == null) {
            b.append("null");
        } else if (v instanceof Float) {
            b.append(String.format("f%08x", Float.floatToRawIntBits((Float) v)));
        } else if (v instanceof Double) {
            b.append(String.format("d%016x", Double.doubleToRawLongBits((Double) v)));
        } else if (v instanceof Character) {
            b.append("c").append((int) (Character) v);
        } else if (v instanceof String) {
            put_string(b, (String) v);
        } else if (v instanceof Number || v instanceof Boolean) {
            b.append(v);
        } else if (v.getClass().isArray()) {
            b.append('[');
            for (int i = 0, n = Array.getLength(v); i < n; i++) {
                if (i > 0)
                    b.append(',');
                put(b, Array.get(v, i));
            }
            b.append(']');
        } else {
            put_object(b, v);
        }
    }

    private static void put_string(StringBuilder b, String s) {
        b.append('"');
        for (int i = 0; i < s.length(); i++) {
            char c = s.charAt(i);
            if (c < 0x20 || c >= 0x7f || c == '"' || c == '\\')
                b.append(String.format("\\u%04x", (int) c));
            else
                b.append(c);
        }
        b.append('"');
    }

    private static void put_object(StringBuilder b, Object v) {
        Field[] fields = v.getClass().getFields();
        Arrays.sort(fields, Comparator.comparing(Field::getName));
        b.append(v.getClass().getSimpleName()).append('{');
        boolean first = true;
        for (Field f : fields) {
            if (Modifier.isStatic(f.getModifiers()))
                continue;
            if (!first)
                b.append(',');
            first = false;
            b.append(f.getName()).append('=');
            try {
                put(b, f.get(v));
            } catch (IllegalAccessException e) {
                throw new IllegalStateException("field " + f + " is not readable", e);
            }
        }
        b.append('}');
    }
}
