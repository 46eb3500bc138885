// SPDX-License-Identifier: Apache-2.0
import java.util.Arrays;
import java.util.Objects;

/** Assertions for the runtime's test programs: each failure is reported, and finish() exits non-zero after any. */
final class Check {
    private static int checks;
    private static int failures;

    private Check() {
    }

    interface Action {
        void run() throws Exception;
    }

    static void that(boolean ok, String what) {
        checks++;
        if (!ok) {
            failures++;
            System.err.println("FAIL: " + what);
        }
    }

    static void equal(Object expected, Object actual, String what) {
        that(Objects.deepEquals(expected, actual), what + ": expected " + show(expected) + ", got " + show(actual));
    }

    /** Runs action and checks that it throws type with a message containing text. */
    static void fails(Class<? extends Throwable> type, String text, String what, Action action) {
        try {
            action.run();
            that(false, what + ": no " + type.getSimpleName() + " thrown");
        } catch (Throwable e) {
            boolean ok = type.isInstance(e) && String.valueOf(e.getMessage()).contains(text);
            that(ok, what + ": expected " + type.getSimpleName() + " containing \"" + text + "\", got " + e);
        }
    }

    /** Runs action and reports anything it throws as a failure. */
    static void runs(String what, Action action) {
        try {
            action.run();
        } catch (Throwable e) {
            that(false, what + ": unexpected " + e);
            e.printStackTrace();
        }
    }

    /** Bytes from hex text; blanks are ignored ("0000 0001" is four bytes). */
    static byte[] hex(String text) {
        String digits = text.replace(" ", "");
        byte[] b = new byte[digits.length() / 2];
        for (int i = 0; i < b.length; i++)
            b[i] = (byte) Integer.parseInt(digits.substring(2 * i, 2 * i + 2), 16);
        return b;
    }

    static String show(Object o) {
        if (o instanceof byte[]) {
            StringBuilder s = new StringBuilder();
            for (byte b : (byte[]) o)
                s.append(String.format("%02x", b));
            return s.toString();
        }
        if (o instanceof Object[])
            return Arrays.deepToString((Object[]) o);
        if (o != null && o.getClass().isArray())
            return Arrays.deepToString(new Object[] {o});
        return String.valueOf(o);
    }

    static void finish(String name) {
        if (failures > 0) {
            System.err.println(name + ": " + failures + " of " + checks + " checks failed");
            System.exit(1);
        }
        System.out.println(name + ": " + checks + " checks passed");
    }
}
