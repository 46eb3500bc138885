// SPDX-License-Identifier: Apache-2.0
import kelvaro.ZELT.*;

/**
 * Calls every procedure of both versions of INTEROP_PROG through the
 * generated client classes and checks every answer.
 *
 *   java InteropClient [host [tcp|udp]]
 *
 * Echo procedures get each of their test values (Values) and must return
 * them unchanged; the other procedures have fixed answers; ERRORS, called
 * last, must report that the server found every argument as expected.
 * Exit status 0 when every check passed, 1 otherwise.
 */
public class InteropClient {
    private final String proto;
    private int checks;
    private int failures;

    InteropClient(String proto) {
        this.proto = proto;
    }

    interface Call {
        Object call(Object argument) throws rpc_err;
    }

    interface Action {
        void run() throws rpc_err;
    }

    private void fail(String what, String message) {
        failures++;
        System.err.println("InteropClient: FAIL " + what + ": " + message);
    }

    private void expect(String what, Object want, Object got) {
        String w = Render.of(want);
        String g = Render.of(got);
        if (!w.equals(g))
            fail(what, "expected " + w + ", got " + g);
    }

    /** Runs one call; a call that fails counts as a failed check. */
    private void attempt(String what, Action action) {
        checks++;
        try {
            action.run();
        } catch (rpc_err e) {
            fail(what, "call failed: " + e.getMessage());
        } catch (RuntimeException e) {
            fail(what, "call failed: " + e);
        }
    }

    private void echo(String name, Object[] values, Call call) {
        for (int n = 0; n < values.length; n++) {
            String what = name + " value " + n;
            Object value = values[n];
            String sent = Render.of(value);
            attempt(what, () -> {
                Object got = call.call(value);
                expect(what, value, got);
            });
            // Encoding must leave the caller's value as it was.
            expect(what + " (argument after the call)", sent, Render.of(value));
        }
    }

    private void run_version_1(INTEROP_PROG_cln c) {
        attempt("PING", c::PING);

        attempt("STORE", () -> c.STORE(Values.STORE_VALUE));
        attempt("LOAD", () -> expect("LOAD", Values.STORE_VALUE, c.LOAD()));
        for (int v : Values.ADD_VALUES)
            attempt("ADD", () -> c.ADD(v));
        attempt("TOTAL", () -> expect("TOTAL", Values.TOTAL_AFTER_ADDS, c.TOTAL()));
        attempt("AREA", () -> expect("AREA", Values.AREA_RESULT, c.AREA(Values.AREA_VALUE)));
        attempt("ORIGIN_AT", () -> expect("ORIGIN_AT", Values.ORIGIN_RESULT, c.ORIGIN_AT(Values.ORIGIN_ARG)));
        attempt("GREET", () -> expect("GREET", Values.GREET_RESULT, c.GREET(Values.lab(Values.GREET_ARG))));

        echo("ECHO_INT", Values.INTS, v -> c.ECHO_INT((Integer) v));
        echo("ECHO_UINT", Values.UINTS, v -> c.ECHO_UINT((Integer) v));
        echo("ECHO_HYPER", Values.HYPERS, v -> c.ECHO_HYPER((Long) v));
        echo("ECHO_UHYPER", Values.UHYPERS, v -> c.ECHO_UHYPER((Long) v));
        echo("ECHO_BOOL", Values.BOOLS, v -> c.ECHO_BOOL((Boolean) v));
        echo("ECHO_FLOAT", Values.FLOATS, v -> c.ECHO_FLOAT((Float) v));
        echo("ECHO_DOUBLE", Values.DOUBLES, v -> c.ECHO_DOUBLE((Double) v));
        echo("ECHO_STRING", Values.STRINGS, v -> c.ECHO_STRING((String) v));
        echo("ECHO_COLOR", Values.COLORS, v -> c.ECHO_COLOR((color) v));
        echo("ECHO_COUNTER", Values.COUNTERS, v -> c.ECHO_COUNTER((counter) v));
        echo("ECHO_LABEL", Values.LABELS, v -> c.ECHO_LABEL((label) v));
        echo("ECHO_POINT", Values.POINTS, v -> c.ECHO_POINT((point) v));
        echo("ECHO_SCALARS", Values.SCALARS, v -> c.ECHO_SCALARS((scalars) v));
        echo("ECHO_ARRAYS", Values.ARRAYS, v -> c.ECHO_ARRAYS((arrays) v));
        echo("ECHO_OPTIONALS", Values.OPTIONALS, v -> c.ECHO_OPTIONALS((optionals) v));
        echo("ECHO_NUMVAL", Values.NUMVALS, v -> c.ECHO_NUMVAL((numval) v));
        echo("ECHO_SHAPE", Values.SHAPES, v -> c.ECHO_SHAPE((shape) v));
        echo("ECHO_REPLY", Values.REPLIES, v -> c.ECHO_REPLY((reply) v));
        echo("ECHO_TAGGED", Values.TAGGEDS, v -> c.ECHO_TAGGED((tagged) v));
        echo("ECHO_HUED", Values.HUEDS, v -> c.ECHO_HUED((hued) v));
        echo("ECHO_WIDE", Values.WIDES, v -> c.ECHO_WIDE((wide) v));
        echo("ECHO_MARK", Values.MARKS, v -> c.ECHO_MARK((mark) v));
        echo("ECHO_LIST", Values.LISTS, v -> c.ECHO_LIST((nodelist) v));
        echo("ECHO_BLOB", Values.BLOBS, v -> c.ECHO_BLOB((blob) v));
        echo("ECHO_PAIR", Values.PAIRS, v -> c.ECHO_PAIR((pointpair) v));
        echo("ECHO_PALETTE", Values.PALETTES, v -> c.ECHO_PALETTE((palette) v));
        echo("ECHO_LEVEL", Values.LEVELS, v -> c.ECHO_LEVEL((level) v));
    }

    /** A call that must fail with the given status, and whose message names all of the given texts. */
    private void expect_failure(String what, RpcStatus status, Action action, String... named) {
        checks++;
        try {
            action.run();
            fail(what, "the call succeeded");
        } catch (rpc_err e) {
            if (e.status() != status)
                fail(what, "expected " + status + ", got " + e.status() + ": " + e.getMessage());
            for (String text : named)
                if (e.getMessage() == null || !e.getMessage().contains(text))
                    fail(what, "the message does not name " + text + ": " + e.getMessage());
        } catch (RuntimeException e) {
            fail(what, "call failed: " + e);
        }
    }

    private static sized sized_value(String name, int[] nums, byte[] id) {
        sized s = new sized();
        s.name = name;
        s.nums = nums;
        s.id = id;
        return s;
    }

    /** sized with no maximum on its name: what a careless peer would send. */
    private static final class LooseSized implements XDT {
        private final sized value;

        LooseSized(sized value) {
            this.value = value;
        }

        public XDT Clone() {
            return new LooseSized(new sized());
        }

        public XDT[] getArray(int len) {
            return new LooseSized[len];
        }

        public void xdr(XDR xdrs) throws XDRError {
            xdrs.enc_String(value.name);
            xdrs.enc_int_array(value.nums);
            xdrs.xdr_byte_vec(value.id);
        }
    }

    /*
     * Declared sizes against the C service: at the maximum a value travels
     * both ways; over it, the client refuses to send it (the XDRError names
     * the member, its maximum and its size); a result over it is refused
     * as the C client refuses one; and the C service refuses, with
     * GARBAGE_ARGS, what breaks the sizes when it is sent anyway.
     */
    private void run_sizes(interop_prog_2_cln c) {
        sized at_max = sized_value("12345678", new int[] {7, -7}, new byte[] {1, 2, 3, 4});
        attempt("version 2 ECHO_SIZED at the maximum",
                () -> expect("version 2 ECHO_SIZED at the maximum", at_max, c.ECHO_SIZED(at_max)));
        expect_failure("version 2 ECHO_SIZED name over the maximum", RpcStatus.CANT_ENCODE_ARGS,
                () -> c.ECHO_SIZED(sized_value("123456789", new int[0], new byte[4])), "name", "8", "9");
        expect_failure("version 2 ECHO_SIZED array over the maximum", RpcStatus.CANT_ENCODE_ARGS,
                () -> c.ECHO_SIZED(sized_value("", new int[3], new byte[4])), "nums", "2", "3");
        expect_failure("version 2 ECHO_SIZED fixed opaque of another length", RpcStatus.CANT_ENCODE_ARGS,
                () -> c.ECHO_SIZED(sized_value("", new int[0], new byte[5])), "id", "4", "5");
        attempt("version 2 SIZED_OF the maximum",
                () -> expect("version 2 SIZED_OF the maximum", 8, c.SIZED_OF(8).name.length()));
        expect_failure("version 2 SIZED_OF over the maximum", RpcStatus.CANT_DECODE_RES, () -> c.SIZED_OF(9));
        expect_failure("version 2 ECHO_SIZED sent over the maximum", RpcStatus.CANT_DECODE_ARGS,
                () -> c.getClient().call(interop_prog_2._ECHO_SIZED_proc,
                        new LooseSized(sized_value("123456789", new int[0], new byte[4])), new sized()));
    }

    private void run_version_2(String host) {
        interop_prog_2_cln c;
        checks++;
        try {
            c = new interop_prog_2_cln(host, proto);
        } catch (rpc_err e) {
            fail("version 2", "no client: " + e.getMessage());
            return;
        }
        attempt("version 2 NULLPROC", c::NULLPROC);
        attempt("version 2 NULLCALLS", () -> expect("version 2 NULLCALLS", 1, c.NULLCALLS()));
        attempt("version 2 VERSION", () -> expect("version 2 VERSION", interop_prog_2._def_vno, c.VERSION()));
        echo("version 2 ECHO_INT", Values.INTS, v -> c.ECHO_INT((Integer) v));
        run_sizes(c);
        c.close();
    }

    private int run(String host) {
        INTEROP_PROG_cln c;
        try {
            c = new INTEROP_PROG_cln(host, proto);
        } catch (rpc_err e) {
            System.err.println("InteropClient: no client for " + host + ": " + e.getMessage());
            return 2;
        }
        run_version_1(c);
        run_version_2(host);
        attempt("ERRORS", () -> expect("ERRORS (argument checks failed on the server)", 0, c.ERRORS()));
        c.close();
        System.out.println("InteropClient: " + checks + " calls, " + failures + " failures");
        return failures == 0 ? 0 : 1;
    }

    public static void main(String[] args) {
        String host = args.length > 0 ? args[0] : "127.0.0.1";
        String proto = args.length > 1 ? args[1] : "tcp";
        System.exit(new InteropClient(proto).run(host));
    }
}
