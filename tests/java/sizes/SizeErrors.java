// SPDX-License-Identifier: Apache-2.0
import java.net.InetAddress;
import java.util.ArrayList;
import java.util.List;
import java.util.function.Consumer;
import java.util.logging.Handler;
import java.util.logging.LogRecord;
import java.util.logging.Logger;
import kelvaro.ZELT.*;

/**
 * Size errors name the member that was set, with its path from the object
 * the caller handed to the call: on the client for an argument, on the
 * server (in its log) for a result. Every case is a call to a live server
 * on the loopback interface, over TCP and UDP for arguments.
 */
public class SizeErrors extends SIZES_svcb {
    /** What GET returns, set by each server-side case. */
    volatile batch reply = new batch();
    final List<batch> received = new ArrayList<>();

    public synchronized void PUT(batch b) {
        received.add(b);
    }

    public batch GET(int which) {
        return reply;
    }

    static int failures = 0;

    static void check(boolean ok, String what) {
        if (!ok) {
            failures++;
            System.err.println("FAIL: " + what);
        }
    }

    static name name(String s) {
        name n = new name();
        n.value = s;
        return n;
    }

    static item item(String label) {
        item i = new item();
        i.label = name(label);
        i.counts = new int[] {1};
        return i;
    }

    static batch batch(item... items) {
        batch b = new batch();
        b.items = items;
        return b;
    }

    /** A case: what to break in a valid batch, and the message expected. */
    record Case(String what, Consumer<batch> breakIt, String expected) {
    }

    public static void main(String[] args) throws Exception {
        String shared = "toolong";
        batch chain = batch(item("a"));
        batch end = chain;
        for (int i = 0; i < 9; i++) {
            end.next = batch(item("b"));
            end = end.next;
        }
        batch last = end;
        List<Case> cases = List.of(
            new Case("a string through a typedef, in an array", b -> b.items[1].label.value = "12345",
                "batch.items[1].label holds 5 bytes, more than its maximum of 4"),
            new Case("too many elements", b -> b.items = new item[] {item("a"), item("b"), item("c"), item("d")},
                "batch.items holds 4 items, more than its maximum of 3"),
            new Case("a variable-length int array", b -> b.items[0].counts = new int[] {1, 2, 3},
                "batch.items[0].counts holds 3 items, more than its maximum of 2"),
            new Case("a fixed-length opaque of another length", b -> b.items[1].tag = new byte[3],
                "batch.items[1].tag holds 3 items, its fixed length is 2"),
            new Case("a fixed-length opaque that is null", b -> b.items[0].tag = null,
                "batch.items[0].tag is null, its fixed length is 2"),
            new Case("optional data", b -> b.next = batch(item("ok"), item("12345")),
                "batch.next.items[1].label holds 5 bytes, more than its maximum of 4"),
            new Case("one string in two places", b -> {
                    b.items[0].label.value = shared;
                    b.items[1].label.value = shared;
                }, "batch.items[0].label holds 7 bytes, more than its maximum of 4"),
            new Case("the end of a long list", b -> {
                    b.next = chain;
                    last.items[0].label.value = "12345";
                }, "batch(.next)*10.items[0].label holds 5 bytes, more than its maximum of 4"));

        SizeErrors server = new SizeErrors();
        InetAddress here = InetAddress.getLoopbackAddress();
        int port = server.start(here, 0);

        // The server's log: the WARNING records of kelvaro.ZELT.server.
        List<String> logged = new ArrayList<>();
        Logger log = Logger.getLogger("kelvaro.ZELT.server");
        log.setUseParentHandlers(false);
        log.addHandler(new Handler() {
            @Override
            public void publish(LogRecord r) {
                synchronized (logged) {
                    logged.add(r.getMessage());
                }
            }

            @Override
            public void flush() {
            }

            @Override
            public void close() {
            }
        });

        try {
            for (String proto : new String[] {"tcp", "udp"}) {
                try (SIZES_cln c = new SIZES_cln(here, SIZES._def_pno, SIZES._def_vno, port, proto)) {
                    c.PUT(batch(item("ok"), item("fine")));
                    check(server.received.size() == 1, proto + ": a valid batch gets through");
                    server.received.clear();
                    for (Case k : cases) {
                        batch b = batch(item("ok"), item("fine"));
                        k.breakIt().accept(b);
                        try {
                            c.PUT(b);
                            check(false, proto + ", " + k.what() + ": the call went through");
                        } catch (rpc_err e) {
                            String want = "RPC: Can't encode arguments; " + k.expected();
                            check(e.status() == RpcStatus.CANT_ENCODE_ARGS && e.getMessage().equals(want),
                                    proto + ", " + k.what() + ": expected \"" + want + "\", got \"" + e.getMessage()
                                            + "\"");
                        }
                    }
                    check(server.received.isEmpty(), proto + ": nothing that failed reached the server");

                    // The key-value store: a key and a value over their sizes, both typedefs whose
                    // own member is "value", are told apart. The call fails before anything is
                    // sent, so the server at the port need not be that store's.
                    try (KVSTORE_cln kv = new KVSTORE_cln(here, KVSTORE._def_pno, KVSTORE._def_vno, port, proto)) {
                        putargs put = new putargs();
                        put.key.value = "k".repeat(256);
                        put.value.value = new byte[1];
                        String[] got = new String[2];
                        try {
                            kv.KV_PUT(put);
                        } catch (rpc_err e) {
                            got[0] = e.getMessage();
                        }
                        put.key.value = "k";
                        put.value.value = new byte[65537];
                        try {
                            kv.KV_PUT(put);
                        } catch (rpc_err e) {
                            got[1] = e.getMessage();
                        }
                        check("RPC: Can't encode arguments; putargs.key holds 256 bytes, more than its maximum of 255"
                                .equals(got[0]), proto + ": a key too long: " + got[0]);
                        check("RPC: Can't encode arguments; putargs.value holds 65537 bytes, more than its maximum of 65536"
                                .equals(got[1]), proto + ": a value too long: " + got[1]);
                    }

                    // The root may be a typedef itself: a call whose argument is one.
                    // (A name argument is not in this interface; the client's own call does it.)
                    name tooLong = name("12345");
                    try {
                        c.getClient().call(SIZES._PUT_proc, tooLong, new XDTvoid());
                        check(false, proto + ": a typedef argument went through");
                    } catch (rpc_err e) {
                        check(e.getMessage().equals("RPC: Can't encode arguments; name holds 5 bytes, more than its maximum of 4"),
                                proto + ": a typedef argument: " + e.getMessage());
                    }

                    // A result over its size: the caller gets SYSTEM_ERR, the server's log the path.
                    // Over TCP only: the server encodes results alike for both, and logs at most
                    // ten faults of a kind every ten seconds.
                    if (!proto.equals("tcp"))
                        continue;
                    for (Case k : cases) {
                        batch b = batch(item("ok"), item("fine"));
                        k.breakIt().accept(b);
                        server.reply = b;
                        synchronized (logged) {
                            logged.clear();
                        }
                        try {
                            c.GET(0);
                            check(false, proto + ", result, " + k.what() + ": the call succeeded");
                        } catch (rpc_err e) {
                            check(e.status() == RpcStatus.SYSTEM_ERROR, proto + ", result, " + k.what() + ": " + e);
                        }
                        String want = "the service gave a result that cannot be encoded: " + k.expected()
                                + "; answered SYSTEM_ERR";
                        synchronized (logged) {
                            check(logged.size() == 1 && logged.get(0).endsWith(want),
                                    proto + ", result, " + k.what() + ": logged " + logged);
                        }
                    }
                }
            }
        } finally {
            server.stop();
        }
        if (failures != 0) {
            System.err.println("SizeErrors: " + failures + " checks failed");
            System.exit(1);
        }
        System.out.println("SizeErrors: ok");
    }
}
