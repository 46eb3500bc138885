// SPDX-License-Identifier: Apache-2.0
import cm.i.*;
import java.net.InetAddress;
import java.time.Duration;
import java.util.HashSet;
import java.util.List;
import java.util.Set;
import kelvaro.ZELT.*;

/**
 * What the idiomatic output promises a Java developer, on every_shape.x
 * (package cm.i): values by content, checks at construction, decoding that
 * refuses what the interface does not declare, and a client and service
 * over TCP and UDP with statuses as unchecked exceptions.
 */
public final class Behaviour {
    private Behaviour() {
    }

    static int checks, failures;

    static void check(String what, boolean ok) {
        checks++;
        if (!ok) {
            failures++;
            System.out.println("FAIL " + what);
        }
    }

    interface Step {
        void run() throws Exception;
    }

    /** The step must throw an exception of that class whose message names every text. */
    static void refuses(String what, Class<? extends Exception> kind, Step step, String... named) {
        checks++;
        try {
            step.run();
            failures++;
            System.out.println("FAIL " + what + ": nothing thrown");
        } catch (Exception e) {
            boolean ok = kind.isInstance(e);
            for (String text : named)
                ok &= e.getMessage() != null && e.getMessage().contains(text);
            if (!ok) {
                failures++;
                System.out.println("FAIL " + what + ": " + e);
            }
        }
    }

    static byte[] words(int... w) {
        byte[] b = new byte[4 * w.length];
        for (int i = 0; i < w.length; i++)
            for (int k = 0; k < 4; k++)
                b[4 * i + k] = (byte) (w[i] >>> (24 - 8 * k));
        return b;
    }

    static void values() throws Exception {
        Set<Object> set = new HashSet<>(List.of(new Point(1, 2), new Point(1, 2), new ByTypedefEnum.Data(new byte[] {1})));
        set.add(new ByTypedefEnum.Data(new byte[] {1}));
        check("equal values are one in a set", set.size() == 2);
        check("records show their members", new Point(1, 2).toString().equals("Point[x=1, y=2]"));
        String shown = new ByTypedefEnum.Data(new byte[1 << 20]).toString();
        check("long opaque data is shortened: " + shown.length(), shown.length() < 200 && shown.contains("1048576 bytes"));
        Entry list = new Entry(1, "a", null, new Entry(2, "b", new Point(0, 0), null));
        check("a linked list is compared by content", list.equals(new Entry(1, "a", null,
                new Entry(2, "b", new Point(0, 0), null))));
        Scalars s = Scalars.builder().i(5).b(true).build();
        check("a builder starts at the defaults", s.equals(new Scalars(5, 0, 0, 0, true, 0, 0, (short) 0, (short) 0,
                (char) 0, (char) 0, 0, 0)));
        check("toBuilder keeps the members", s.toBuilder().h(7).build().equals(Scalars.builder().i(5).b(true).h(7).build()));
        check("unsigned members show unsigned", s.toBuilder().u(-1).build().toString().contains("u=4294967295"));

        refuses("a member that must be set", NullPointerException.class, () -> new Entry(1, null, null, null),
                "entry.filename");
        refuses("a string over its maximum", IllegalArgumentException.class,
                () -> new Entry(1, "x".repeat(13), null, null), "entry.filename", "13", "12");
        refuses("a fixed length", IllegalArgumentException.class,
                () -> Arrays.builder().fi(new int[2]).build(), "arrays.fi", "3");
        refuses("a builder without a struct member", NullPointerException.class, () -> Bundle.builder().build());
        refuses("the default arm with another arm's discriminant", IllegalArgumentException.class,
                () -> new ByInt.Other(2, "x"), "by_int", "2");
        refuses("an arm with several labels and another", IllegalArgumentException.class,
                () -> new ByInt.ThreeLabels(4, 0), "by_int");
        check("an arm with a fixed label knows its discriminant", new ByInt.P(new Point(0, 0)).k() == 4);

        refuses("a number the enum does not declare", XDRError.class, () -> Colour.decode(new XDR(words(99))),
                "colour", "99");
        refuses("forNumber of a number the enum does not declare", IllegalArgumentException.class,
                () -> Colour.forNumber(99), "colour", "99");
        check("forNumber of an alias gives the first constant", Colour.forNumber(5) == Colour.GREEN);
        check("a negative number", Colour.forNumber(-2) == Colour.DARK && Colour.DARK.number() == -2);
        refuses("a discriminant no arm lists", XDRError.class, () -> ByUnsigned.decode(new XDR(words(7))),
                "by_unsigned", "7");
        check("a discriminant of the default arm", ByInt.decode(new XDR(words(9, 1, 0x61000000)))
                .equals(new ByInt.Other(9, "a")));
        check("no object for an arm not taken", ByBool.decode(new XDR(words(0))) instanceof ByBool.False);
    }

    /** The service of every_shape.x: echoes, and a list of n entries. */
    static final class Shapes implements ShapesV1Service {
        volatile String lastProtocol;

        public Bundle echoBundle(Bundle arg, CallContext call) {
            lastProtocol = call.protocol();
            return arg;
        }

        public Entry list(String arg, CallContext call) {
            Entry e = null;
            for (int i = Integer.parseInt(arg); i > 0; i--)
                e = new Entry(i, "f" + i, null, e);
            return e;
        }

        public String nameOf(int arg, CallContext call) {
            return arg < 0 ? null : "n" + arg;
        }

        public int count(List<String> arg, CallContext call) {
            return arg.size();
        }

        public ByEnum pick(Colour arg, CallContext call) {
            return arg == Colour.BLUE ? new ByEnum.Default(Colour.BLUE) : new ByEnum.List(arg, null);
        }
    }

    static void calls() throws Exception {
        Shapes shapes = new Shapes();
        Svc svc = shapes.asSvc();
        int port = svc.start(InetAddress.getLoopbackAddress(), 0);
        try {
            for (String proto : new String[] {"tcp", "udp"}) {
                try (ShapesV1Client c = ShapesV1Client.connect(InetAddress.getLoopbackAddress(), port, proto)) {
                    c.nullproc();
                    check(proto + ": a list comes back", c.list("3").next().next().filename().equals("f3"));
                    check(proto + ": an absent result", c.list("0") == null);
                    check(proto + ": a future", c.withTimeout(Duration.ofSeconds(5)).listAsync("2").get().next() != null);
                    check(proto + ": a list argument", c.count(List.of("a", "b")) == 2);
                    check(proto + ": a union result", c.pick(Colour.GREEN).equals(new ByEnum.List(Colour.GREEN, null)));
                    refuses(proto + ": a null result of the service", RpcException.class, () -> c.nameOf(-1),
                            "Remote system error");
                    checks++;
                    try {
                        c.nameOf(-1);
                    } catch (RpcException e) {
                        if (e.status() != RpcStatus.SYSTEM_ERROR)
                            check(proto + ": status of a null result " + e.status(), false);
                    }
                    // Not a record: held to its size as it is encoded, before anything is sent.
                    refuses(proto + ": an argument over its maximum", RpcException.class,
                            () -> c.count(List.of("a", "b", "c", "d")), "Can't encode arguments", "4", "3");
                }
            }
            check("the service saw the protocol", shapes.lastProtocol == null || shapes.lastProtocol.equals("udp"));
        } finally {
            svc.stop();
        }
        refuses("a call to nobody", RpcException.class, () -> {
            try (ShapesV1Client c = ShapesV1Client.connect(InetAddress.getLoopbackAddress(), port, "tcp")) {
                c.nullproc();
            }
        });
    }

    public static void main(String[] args) throws Exception {
        values();
        calls();
        System.out.println("Behaviour: " + checks + " checks, " + failures + " failed");
        System.exit(failures == 0 ? 0 : 1);
    }
}
