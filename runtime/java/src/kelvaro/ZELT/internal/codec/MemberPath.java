// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT.internal.codec;

import java.lang.reflect.Field;
import java.lang.reflect.Modifier;
import java.util.ArrayDeque;
import java.util.ArrayList;
import java.util.IdentityHashMap;
import java.util.List;
import java.util.Map;
import java.util.concurrent.ConcurrentHashMap;
import kelvaro.ZELT.XDR;
import kelvaro.ZELT.XDRError;
import kelvaro.ZELT.XDT;
import kelvaro.ZELT.internal.access.Access;
import kelvaro.ZELT.internal.access.XdrAccess;

/**
 * Where in a caller's object a size error lies, for its message. A
 * generated class passes its own member's name to the sized calls of
 * {@link XDR}, so a typedef wrapper says {@code value} whichever member of
 * the argument holds it; this finds the value that was refused (by
 * identity) in the object the caller handed to the call, walking the
 * public fields of {@link XDT} objects and the elements of arrays, and
 * names it from the object's class: {@code putargs.key},
 * {@code listres.keys[3]}. The {@code .value} of a class whose one field
 * is {@code value} (a typedef or an enumeration) is left out.
 *
 * <p>Only failures take this path, never a call that encodes; it visits
 * at most {@link #LIMIT} objects and otherwise keeps the error's own text.
 */
public final class MemberPath {
    private static final XdrAccess XDRS = Access.xdr();

    private MemberPath() {
    }

    /** The most objects one search visits. */
    static final int LIMIT = 1_000_000;

    /** A run of more than this many equal steps (a long list) is written once with its count. */
    private static final int RUN = 3;

    private static final Map<Class<?>, Field[]> FIELDS = new ConcurrentHashMap<>();

    /** One object reached: how, and from where. */
    private record Node(Object value, Node parent, String step) {
    }

    /**
     * The text for an error met while encoding root: the member's path and
     * what is wrong with it ({@code putargs.key holds 257 bytes, more than
     * its maximum of 256}) for a size error whose value is found in root;
     * the error's own message otherwise.
     *
     * @param e the error
     * @param root the object the caller handed to the call, or null
     * @return the text
     */
    public static String message(XDRError e, Object root) {
        if (XDRS.member(e) == null || root == null)
            return e.getMessage();
        String path;
        try {
            path = find(root, XDRS.member(e), XDRS.value(e));
        } catch (RuntimeException | LinkageError x) {
            return e.getMessage(); // a class the walk cannot read; the plain text still says what is wrong
        }
        return path == null ? e.getMessage() : path + " " + XDRS.problem(e);
    }

    /**
     * The path of target below root: a field that holds that very object
     * (for null, a field of that name that is null), the one named member
     * when several hold it.
     */
    private static String find(Object root, String member, Object target) {
        Node first = null;
        ArrayDeque<Node> todo = new ArrayDeque<>();
        IdentityHashMap<Object, Boolean> seen = new IdentityHashMap<>();
        todo.push(new Node(root, null, null));
        seen.put(root, Boolean.TRUE);
        int visited = 0;
        while (!todo.isEmpty() && visited++ < LIMIT) {
            Node n = todo.pop();
            Object o = n.value();
            if (o instanceof Object[] array) {
                for (int i = array.length - 1; i >= 0; i--) {
                    Object v = array[i];
                    if (target != null && v == target && first == null)
                        first = new Node(v, n, "[" + i + "]");
                    follow(v, n, "[" + i + "]", todo, seen);
                }
            } else if (o instanceof XDT) {
                Field[] fields = fields(o.getClass());
                for (int i = fields.length - 1; i >= 0; i--) {
                    Field f = fields[i];
                    Object v;
                    try {
                        v = f.get(o);
                    } catch (IllegalAccessException x) {
                        continue;
                    }
                    boolean hit = target == null ? v == null && f.getName().equals(member) : v == target;
                    if (hit) {
                        Node found = new Node(v, n, f.getName());
                        if (f.getName().equals(member))
                            return text(found);
                        if (first == null)
                            first = found;
                    }
                    follow(v, n, f.getName(), todo, seen);
                }
            }
        }
        return first == null ? null : text(first);
    }

    private static void follow(Object v, Node parent, String step, ArrayDeque<Node> todo,
            IdentityHashMap<Object, Boolean> seen) {
        if ((v instanceof XDT || v instanceof Object[]) && seen.put(v, Boolean.TRUE) == null)
            todo.push(new Node(v, parent, step));
    }

    /** The public instance fields of a class, in declaration order, superclasses first. */
    private static Field[] fields(Class<?> c) {
        return FIELDS.computeIfAbsent(c, k -> {
            List<Field> list = new ArrayList<>();
            for (Class<?> at = k; at != null && at != Object.class; at = at.getSuperclass()) {
                List<Field> own = new ArrayList<>();
                for (Field f : at.getDeclaredFields())
                    if (Modifier.isPublic(f.getModifiers()) && !Modifier.isStatic(f.getModifiers())
                            && Modifier.isPublic(at.getModifiers()))
                        own.add(f);
                list.addAll(0, own);
            }
            return list.toArray(new Field[0]);
        });
    }

    /** Whether a class is a wrapper whose one public field is {@code value}. */
    private static boolean wrapper(Class<?> c) {
        Field[] f = fields(c);
        return f.length == 1 && f[0].getName().equals("value");
    }

    private static String text(Node leaf) {
        List<String> steps = new ArrayList<>();
        Node root = leaf;
        for (Node n = leaf; n.parent() != null; n = n.parent()) {
            root = n.parent();
            // A wrapper's value stands for the wrapper itself.
            if (n.step().equals("value") && wrapper(n.parent().value().getClass()))
                continue;
            steps.add(0, n.step().startsWith("[") ? n.step() : "." + n.step());
        }
        Class<?> c = root.value().getClass();
        StringBuilder b = new StringBuilder(c.getSimpleName().isEmpty() ? c.getName() : c.getSimpleName());
        for (int i = 0; i < steps.size();) {
            int j = i;
            while (j < steps.size() && steps.get(j).equals(steps.get(i)))
                j++;
            if (j - i > RUN)
                b.append('(').append(steps.get(i)).append(")*").append(j - i);
            else
                for (int k = i; k < j; k++)
                    b.append(steps.get(k));
            i = j;
        }
        return b.toString();
    }
}
