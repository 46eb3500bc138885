// SPDX-License-Identifier: Apache-2.0
import idi.*;
import java.util.List;
import java.util.function.Function;
import java.util.function.Supplier;
import kelvaro.ZELT.*;

/**
 * Calls every procedure of both versions of INTEROP_PROG through the
 * idiomatic output's clients, with the test values of InteropClient
 * (carried over through their bytes), and checks every answer against
 * them; half the calls go through the future-returning methods.
 *
 *   java IdiomaticClient host tcp|udp
 *
 * Exit status 0 when every check passed.
 */
public class IdiomaticClient {
    private int checks;
    private int failures;

    private void fail(String what, String message) {
        failures++;
        System.err.println("IdiomaticClient: FAIL " + what + ": " + message);
    }

    private void expect(String what, Object want, Object got) {
        String w = Render.of(want), g = Render.of(got);
        if (!w.equals(g))
            fail(what, "expected " + w + ", got " + g);
    }

    private void attempt(String what, Runnable action) {
        checks++;
        try {
            action.run();
        } catch (RuntimeException e) {
            fail(what, "call failed: " + e);
        }
    }

    /** Built-in values go as they are. */
    private <T> void echo(String name, Object[] values, Function<T, T> call) {
        for (int n = 0; n < values.length; n++) {
            @SuppressWarnings("unchecked")
            T value = (T) values[n];
            attempt(name + " value " + n, () -> expect(name, value, call.apply(value)));
        }
    }

    /** Values of generated types go over to the idiomatic types and back. */
    private <T> void echo(String name, Object[] values, XdrReader<T> reader, XdrWriter<T> writer,
            Supplier<XDT> fresh, Function<T, T> call, Function<T, java.util.concurrent.CompletableFuture<T>> async) {
        for (int n = 0; n < values.length; n++) {
            XDT value = (XDT) values[n];
            final int k = n;
            attempt(name + " value " + n, () -> {
                T sent = Bridge.toIdiomatic(value, reader);
                T got = k % 2 == 0 ? call.apply(sent) : async.apply(sent).join();
                if (!XdrValues.deepEquals(sent, got) || XdrValues.deepHashCode(sent) != XdrValues.deepHashCode(got))
                    fail(name + " value " + k, "the answer is not equal to the value sent: " + XdrValues.text(got));
                expect(name + " value " + k, value, Bridge.toDefault(got, writer, fresh.get()));
            });
        }
    }

    private void version1(InteropV1Client c) {
        attempt("PING", c::ping);
        attempt("STORE", () -> c.store(Bridge.toIdiomatic(Values.STORE_VALUE, Point::decode)));
        attempt("LOAD", () -> expect("LOAD", Values.STORE_VALUE, Bridge.toDefault(c.load(), Point::encode, new point())));
        for (int v : Values.ADD_VALUES)
            attempt("ADD", () -> c.add(v));
        attempt("TOTAL", () -> expect("TOTAL", Values.TOTAL_AFTER_ADDS, c.total()));
        XdrReader<List<Point>> pair = x -> x.dec_fixed_list(Point::decode, 2, "pointpair");
        attempt("AREA", () -> expect("AREA", Values.AREA_RESULT, c.area(Bridge.toIdiomatic(Values.AREA_VALUE, pair))));
        attempt("ORIGIN_AT", () -> expect("ORIGIN_AT", Values.ORIGIN_RESULT,
                Bridge.toDefault(c.originAt(Values.ORIGIN_ARG), Point::encode, new point())));
        attempt("GREET", () -> expect("GREET", Values.GREET_RESULT, c.greet(Values.GREET_ARG)));

        echo("ECHO_INT", Values.INTS, c::echoInt);
        echo("ECHO_UINT", Values.UINTS, c::echoUint);
        echo("ECHO_HYPER", Values.HYPERS, c::echoHyper);
        echo("ECHO_UHYPER", Values.UHYPERS, c::echoUhyper);
        echo("ECHO_BOOL", Values.BOOLS, c::echoBool);
        echo("ECHO_FLOAT", Values.FLOATS, c::echoFloat);
        echo("ECHO_DOUBLE", Values.DOUBLES, c::echoDouble);
        echo("ECHO_STRING", Values.STRINGS, c::echoString);
        echo("ECHO_COLOR", Values.COLORS, Color::decode, Color::encode, color::new, c::echoColor, c::echoColorAsync);
        echo("ECHO_COUNTER", Values.COUNTERS, XDR::dec_int, (v, x) -> x.enc_int(v), counter::new, c::echoCounter,
                c::echoCounterAsync);
        echo("ECHO_LABEL", Values.LABELS, XDR::dec_String, (v, x) -> x.enc_String(v), label::new, c::echoLabel,
                c::echoLabelAsync);
        echo("ECHO_POINT", Values.POINTS, Point::decode, Point::encode, point::new, c::echoPoint, c::echoPointAsync);
        echo("ECHO_SCALARS", Values.SCALARS, Scalars::decode, Scalars::encode, scalars::new, c::echoScalars,
                c::echoScalarsAsync);
        echo("ECHO_ARRAYS", Values.ARRAYS, Arrays::decode, Arrays::encode, arrays::new, c::echoArrays,
                c::echoArraysAsync);
        echo("ECHO_OPTIONALS", Values.OPTIONALS, Optionals::decode, Optionals::encode, optionals::new,
                c::echoOptionals, c::echoOptionalsAsync);
        echo("ECHO_NUMVAL", Values.NUMVALS, Numval::decode, Numval::encode, numval::new, c::echoNumval,
                c::echoNumvalAsync);
        echo("ECHO_SHAPE", Values.SHAPES, Shape::decode, Shape::encode, shape::new, c::echoShape, c::echoShapeAsync);
        echo("ECHO_REPLY", Values.REPLIES, Reply::decode, Reply::encode, reply::new, c::echoReply, c::echoReplyAsync);
        echo("ECHO_TAGGED", Values.TAGGEDS, Tagged::decode, Tagged::encode, tagged::new, c::echoTagged,
                c::echoTaggedAsync);
        echo("ECHO_HUED", Values.HUEDS, Hued::decode, Hued::encode, hued::new, c::echoHued, c::echoHuedAsync);
        echo("ECHO_WIDE", Values.WIDES, Wide::decode, Wide::encode, wide::new, c::echoWide, c::echoWideAsync);
        echo("ECHO_MARK", Values.MARKS, Mark::decode, Mark::encode, mark::new, c::echoMark, c::echoMarkAsync);
        echo("ECHO_LIST", Values.LISTS, x -> x.dec_optional(Node::decode), (v, x) -> x.enc_optional(v, Node::encode),
                nodelist::new, c::echoList, c::echoListAsync);
        echo("ECHO_BLOB", Values.BLOBS, XDR::dec_bytes, (v, x) -> x.enc_bytes(v), blob::new, c::echoBlob,
                c::echoBlobAsync);
        echo("ECHO_PAIR", Values.PAIRS, pair, (v, x) -> x.enc_fixed_list(v, Point::encode, 2, "pointpair"),
                pointpair::new, c::echoPair, c::echoPairAsync);
        echo("ECHO_PALETTE", Values.PALETTES, x -> x.dec_list(Color::decode), (v, x) -> x.enc_list(v, Color::encode),
                palette::new, c::echoPalette, c::echoPaletteAsync);
        echo("ECHO_LEVEL", Values.LEVELS, Level::decode, Level::encode, level::new, c::echoLevel, c::echoLevelAsync);
    }

    private void version2(InteropV2Client c) {
        attempt("version 2 NULLPROC", c::nullproc);
        attempt("version 2 NULLCALLS", () -> expect("version 2 NULLCALLS", 1, c.nullcalls()));
        attempt("version 2 VERSION", () -> expect("version 2 VERSION", InteropV2.VERSION, c.version()));
        echo("version 2 ECHO_INT", Values.INTS, c::echoInt);
        Sized at_max = new Sized("12345678", new int[] {7, -7}, new byte[] {1, 2, 3, 4});
        attempt("version 2 ECHO_SIZED", () -> expect("ECHO_SIZED", at_max.toString(), c.echoSized(at_max).toString()));
        // Over its maximum the value cannot even be made.
        checks++;
        try {
            new Sized("123456789", new int[0], new byte[4]);
            fail("Sized over the maximum", "was made");
        } catch (IllegalArgumentException e) {
            if (!e.getMessage().contains("name"))
                fail("Sized over the maximum", "the message does not name the member: " + e.getMessage());
        }
        // A result over its maximum is refused with the RPC status.
        checks++;
        try {
            c.withTimeout(java.time.Duration.ofSeconds(10)).sizedOf(9);
            fail("SIZED_OF over the maximum", "the call succeeded");
        } catch (RpcException e) {
            if (e.status() != RpcStatus.CANT_DECODE_RES)
                fail("SIZED_OF over the maximum", "status " + e.status());
        }
    }

    public static void main(String[] args) throws Exception {
        String proto = args[1];
        IdiomaticClient t = new IdiomaticClient();
        try (InteropV1Client v1 = InteropV1Client.connect(args[0], proto)) {
            t.version1(v1);
            // The second version at the address and port rpcbind gives for it.
            try (InteropV2Client found = InteropV2Client.connect(args[0], proto);
                    InteropV2Client v2 = InteropV2Client.connect(found.rpcClient().remoteAddress().getAddress(),
                            found.rpcClient().remoteAddress().getPort(), proto)) {
                t.version2(v2);
            }
            t.attempt("ERRORS", () -> t.expect("ERRORS (argument checks failed on the server)", 0, v1.errors()));
        }
        System.out.println("IdiomaticClient: " + t.checks + " calls, " + t.failures + " failures");
        System.exit(t.failures == 0 ? 0 : 1);
    }
}
