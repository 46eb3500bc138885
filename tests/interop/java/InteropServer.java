// SPDX-License-Identifier: Apache-2.0
import java.util.HashMap;
import java.util.Map;
import kelvaro.ZELT.*;

/**
 * Version 1 of INTEROP_PROG on the generated server class. Each echo
 * procedure checks that its n-th call carries the n-th test value (Values)
 * and returns the argument; a mismatch is reported on standard error and
 * counted, and ERRORS returns the count of both versions.
 */
public class InteropServer extends INTEROP_PROG_svcb {
    private static int errors;
    private static final Map<String, Integer> next_value = new HashMap<>();

    private point stored = Values.pt(0, 0);
    private long total;
    private int next_add;

    static synchronized void fail(String message) {
        errors++;
        System.err.println("InteropServer: " + message);
    }

    static synchronized int errors() {
        return errors;
    }

    static void check(String what, Object want, Object got) {
        String w = Render.of(want);
        String g = Render.of(got);
        if (!w.equals(g))
            fail(what + ": expected " + w + ", received " + g);
    }

    /** Checks the argument of the next call of an echo procedure and returns it. */
    static synchronized <T> T expect(String name, Object[] values, T got) {
        int n = next_value.getOrDefault(name, 0);
        next_value.put(name, n + 1);
        if (n < values.length)
            check(name + " value " + n, values[n], got);
        else
            fail(name + ": more calls than test values");
        return got;
    }

    public void PING() {
    }

    public int ECHO_INT(int in_arg) { return expect("ECHO_INT", Values.INTS, in_arg); }
    public int ECHO_UINT(int in_arg) { return expect("ECHO_UINT", Values.UINTS, in_arg); }
    public long ECHO_HYPER(long in_arg) { return expect("ECHO_HYPER", Values.HYPERS, in_arg); }
    public long ECHO_UHYPER(long in_arg) { return expect("ECHO_UHYPER", Values.UHYPERS, in_arg); }
    public boolean ECHO_BOOL(boolean in_arg) { return expect("ECHO_BOOL", Values.BOOLS, in_arg); }
    public float ECHO_FLOAT(float in_arg) { return expect("ECHO_FLOAT", Values.FLOATS, in_arg); }
    public double ECHO_DOUBLE(double in_arg) { return expect("ECHO_DOUBLE", Values.DOUBLES, in_arg); }
    public String ECHO_STRING(String in_arg) { return expect("ECHO_STRING", Values.STRINGS, in_arg); }
    public color ECHO_COLOR(color in_arg) { return expect("ECHO_COLOR", Values.COLORS, in_arg); }
    public counter ECHO_COUNTER(counter in_arg) { return expect("ECHO_COUNTER", Values.COUNTERS, in_arg); }
    public label ECHO_LABEL(label in_arg) { return expect("ECHO_LABEL", Values.LABELS, in_arg); }
    public point ECHO_POINT(point in_arg) { return expect("ECHO_POINT", Values.POINTS, in_arg); }
    public scalars ECHO_SCALARS(scalars in_arg) { return expect("ECHO_SCALARS", Values.SCALARS, in_arg); }
    public arrays ECHO_ARRAYS(arrays in_arg) { return expect("ECHO_ARRAYS", Values.ARRAYS, in_arg); }
    public optionals ECHO_OPTIONALS(optionals in_arg) { return expect("ECHO_OPTIONALS", Values.OPTIONALS, in_arg); }
    public numval ECHO_NUMVAL(numval in_arg) { return expect("ECHO_NUMVAL", Values.NUMVALS, in_arg); }
    public shape ECHO_SHAPE(shape in_arg) { return expect("ECHO_SHAPE", Values.SHAPES, in_arg); }
    public reply ECHO_REPLY(reply in_arg) { return expect("ECHO_REPLY", Values.REPLIES, in_arg); }
    public tagged ECHO_TAGGED(tagged in_arg) { return expect("ECHO_TAGGED", Values.TAGGEDS, in_arg); }
    public hued ECHO_HUED(hued in_arg) { return expect("ECHO_HUED", Values.HUEDS, in_arg); }
    public wide ECHO_WIDE(wide in_arg) { return expect("ECHO_WIDE", Values.WIDES, in_arg); }
    public mark ECHO_MARK(mark in_arg) { return expect("ECHO_MARK", Values.MARKS, in_arg); }
    public nodelist ECHO_LIST(nodelist in_arg) { return expect("ECHO_LIST", Values.LISTS, in_arg); }
    public blob ECHO_BLOB(blob in_arg) { return expect("ECHO_BLOB", Values.BLOBS, in_arg); }
    public pointpair ECHO_PAIR(pointpair in_arg) { return expect("ECHO_PAIR", Values.PAIRS, in_arg); }
    public palette ECHO_PALETTE(palette in_arg) { return expect("ECHO_PALETTE", Values.PALETTES, in_arg); }
    public level ECHO_LEVEL(level in_arg) { return expect("ECHO_LEVEL", Values.LEVELS, in_arg); }

    public void STORE(point in_arg) {
        check("STORE", Values.STORE_VALUE, in_arg);
        stored = in_arg;
    }

    public point LOAD() {
        return stored;
    }

    public void ADD(int in_arg) {
        if (next_add < Values.ADD_VALUES.length)
            check("ADD", Values.ADD_VALUES[next_add], in_arg);
        else
            fail("ADD: more calls than test values");
        next_add++;
        total += in_arg;
    }

    public long TOTAL() {
        return total;
    }

    public int AREA(pointpair in_arg) {
        check("AREA", Values.AREA_VALUE, in_arg);
        point a = in_arg.value[0], b = in_arg.value[1];
        return (b.x - a.x) * (b.y - a.y);
    }

    public point ORIGIN_AT(int in_arg) {
        check("ORIGIN_AT", Values.ORIGIN_ARG, in_arg);
        return Values.pt(in_arg, ~in_arg);
    }

    public String GREET(label in_arg) {
        check("GREET", Values.lab(Values.GREET_ARG), in_arg);
        return "hello, " + in_arg.value;
    }

    public int ERRORS() {
        return errors();
    }
}
