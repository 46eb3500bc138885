// SPDX-License-Identifier: Apache-2.0
import static org.junit.jupiter.api.Assertions.*;

import java.time.Duration;
import java.util.Arrays;
import java.util.concurrent.CountDownLatch;
import java.util.concurrent.atomic.AtomicReference;
import kelvaro.ZELT.*;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;

/** The client against hand-built replies: every reply status, time-outs, retransmission and xid matching. */
class ClientStatusTest {
    static final String ACC = "00000001 00000000 00000000 00000000 ";
    static final String N7 = ACC + "00000000 00000002 6e370000";

    @ParameterizedTest(name = "{0}")
    @CsvSource(delimiter = '|', value = {
        "success                  | " + N7 + "| SUCCESS | n7",
        "RPC version mismatch     | 00000001 00000001 00000000 00000002 00000002 | VERS_MISMATCH | RPC: Incompatible versions of RPC; low version = 2, high version = 2",
        "authentication: too weak | 00000001 00000001 00000001 00000005 | AUTH_ERROR | RPC: Authentication error; why = Client credential too weak",
        "authentication: bad cred | 00000001 00000001 00000001 00000001 | AUTH_ERROR | RPC: Authentication error; why = Invalid client credential",
        "program unavailable      | " + ACC + "00000001 | PROG_UNAVAIL | RPC: Program unavailable",
        "version mismatch         | " + ACC + "00000002 00000001 00000002 | PROG_VERS_MISMATCH | RPC: Program/version mismatch; low version = 1, high version = 2",
        "procedure unavailable    | " + ACC + "00000003 | PROC_UNAVAIL | RPC: Procedure unavailable",
        "garbage arguments        | " + ACC + "00000004 | CANT_DECODE_ARGS | RPC: Server can't decode arguments",
        "system error             | " + ACC + "00000005 | SYSTEM_ERROR | RPC: Remote system error",
        "unknown accept status    | " + ACC + "00000009 | FAILED | RPC: Failed (unspecified error); unknown accept status 9",
        "result missing           | " + ACC + "00000000 | CANT_DECODE_RES | RPC: Can't decode result",
        "result cut short         | " + ACC + "00000000 00000005 6e37 | CANT_DECODE_RES | RPC: Can't decode result",
        "a call, not a reply      | 00000000 | CANT_DECODE_RES | RPC: Can't decode result; message is not a reply",
        "verifier of 500 bytes    | 00000001 00000000 00000000 000001f4 | CANT_DECODE_RES | RPC: Can't decode result; bad verifier length 500",
        "reply status 2           | 00000001 00000002 | CANT_DECODE_RES | RPC: Can't decode result; unknown reply status 2",
    })
    void maps_every_reply_to_its_status(String what, String body, RpcStatus status, String message) throws Exception {
        for (String proto : new String[] {"tcp", "udp"}) {
            // The first call gets the reply under test, the second a good one on the same connection.
            Scripted.Script script = (n, call, out) -> {
                byte[] r = Scripted.reply(call, n == 0 ? body : N7);
                if (out != null)
                    Wire.send(out, r);
                return r;
            };
            try (Scripted peer = proto.equals("tcp") ? Scripted.tcp(script) : Scripted.udp(script);
                    GEOPROG_cln c = new GEOPROG_cln(Wire.LOOPBACK, GEOPROG._def_pno, 1, peer.port(), proto)) {
                if (status == RpcStatus.SUCCESS) {
                    assertEquals(message, c.NAME(7), what);
                } else {
                    rpc_err e = assertThrows(rpc_err.class, () -> c.NAME(7), what);
                    assertEquals(status, e.status(), what + " over " + proto);
                    if (message.endsWith("result"))
                        assertTrue(e.getMessage().startsWith(message), e.getMessage());
                    else
                        assertEquals(message, e.getMessage(), what + " over " + proto);
                }
                assertEquals("n7", c.NAME(7), what + ": the next call over " + proto);
            }
        }
    }

    @Test
    void the_call_message_is_as_rfc_5531_writes_it() throws Exception {
        try (Scripted peer = Scripted.tcp((n, call, out) -> {
                    Wire.send(out, Scripted.reply(call, N7));
                    return null;
                });
                GEOPROG_cln c = new GEOPROG_cln(Wire.LOOPBACK, GEOPROG._def_pno, 1, peer.port(), "tcp")) {
            c.getClient().setCredentials(new AuthSys(9, "ab", 1, 2, new int[] {3}));
            c.NAME(7);
            byte[] call = peer.calls.get(0);
            assertEquals(Wire.show(Wire.hex("00000000 00000002 20000123 00000001 00000002"
                    + " 00000001 0000001c 00000009 00000002 61620000 00000001 00000002 00000001 00000003"
                    + " 00000000 00000000 00000007")), Wire.show(Arrays.copyOfRange(call, 4, call.length)));
        }
    }

    @Test
    void a_timed_out_call_leaves_the_connection_usable_and_its_late_reply_is_dropped() throws Exception {
        CountDownLatch late = new CountDownLatch(1);
        try (Scripted peer = Scripted.tcp((n, call, out) -> {
                    if (n == 0) {
                        try {
                            late.await();
                        } catch (InterruptedException e) {
                            return null;
                        }
                        Wire.send(out, Scripted.reply(call, ACC + "00000000 00000002 6c617465")); // "late"
                    } else {
                        Wire.send(out, Scripted.reply(call, N7));
                    }
                    return null;
                });
                GEOPROG_cln c = new GEOPROG_cln(Wire.LOOPBACK, GEOPROG._def_pno, 1, peer.port(), "tcp")) {
            c.getClient().setTimeout(Duration.ofMillis(300));
            rpc_err e = assertThrows(rpc_err.class, () -> c.NAME(1));
            // The message names the call and its time-out.
            assertEquals("RPC: Timed out; program 536871203 version 1 procedure 2 got no reply within 300 ms",
                    e.getMessage());
            late.countDown();
            c.getClient().setTimeout(Duration.ofSeconds(10));
            assertEquals("n7", c.NAME(2));
        }
    }

    @Test
    void a_reader_whose_call_times_out_hands_the_reading_on() throws Exception {
        CountDownLatch timed_out = new CountDownLatch(1);
        try (Scripted peer = Scripted.tcp((n, call, out) -> {
                    // The first call gets no reply; the second is answered once the first has timed out.
                    if (n == 1) {
                        try {
                            timed_out.await();
                        } catch (InterruptedException e) {
                            return null;
                        }
                        Wire.send(out, Scripted.reply(call, N7));
                    }
                    return null;
                });
                GEOPROG_cln c = new GEOPROG_cln(Wire.LOOPBACK, GEOPROG._def_pno, 1, peer.port(), "tcp")) {
            c.getClient().setTimeout(Duration.ofMillis(400));
            AtomicReference<Object> first = new AtomicReference<>();
            Thread t = new Thread(() -> {
                try {
                    first.set(c.NAME(1));
                } catch (rpc_err e) {
                    first.set(e);
                }
                timed_out.countDown();
            });
            t.start();
            // The first caller reads the connection while the second waits for its reply.
            while (peer.calls.isEmpty())
                Thread.sleep(5);
            c.getClient().setTimeout(Duration.ofSeconds(10));
            assertEquals("n7", c.NAME(7));
            t.join(10_000);
            assertTrue(first.get() instanceof rpc_err e && e.status() == RpcStatus.TIMED_OUT, String.valueOf(first.get()));
        }
    }

    @Test
    void replies_in_another_order_reach_their_callers() throws Exception {
        CountDownLatch both = new CountDownLatch(2);
        byte[][] held = new byte[2][];
        try (Scripted peer = Scripted.tcp((n, call, out) -> {
                    // Hold the first call until the second has come, then answer the second first.
                    if (n == 0) {
                        held[0] = call;
                        both.countDown();
                        return null;
                    }
                    both.countDown();
                    int v = call[call.length - 1];
                    int v0 = held[0][held[0].length - 1];
                    synchronized (out) {
                        Wire.send(out, Scripted.reply(call, ACC + "00000000 00000002 6e" + (30 + v) + "0000"));
                        Wire.send(out, Scripted.reply(held[0], ACC + "00000000 00000002 6e" + (30 + v0) + "0000"));
                    }
                    return null;
                });
                GEOPROG_cln c = new GEOPROG_cln(Wire.LOOPBACK, GEOPROG._def_pno, 1, peer.port(), "tcp")) {
            AtomicReference<Object> other = new AtomicReference<>();
            Thread t = new Thread(() -> {
                try {
                    other.set(c.NAME(4));
                } catch (rpc_err e) {
                    other.set(e);
                }
            });
            t.start();
            while (peer.calls.isEmpty())
                Thread.sleep(5);
            assertEquals("n5", c.NAME(5));
            t.join(10_000);
            assertEquals("n4", other.get());
        }
    }

    @Test
    void an_error_decoding_another_callers_result_reaches_that_caller() throws Exception {
        // Both results fail to decode with an Error. Whichever caller reads the
        // connection decodes the other's reply first (it is answered first), so
        // the Error must go to the other caller, and the reader must go on to its own.
        byte[][] held = new byte[1][];
        try (Scripted peer = Scripted.tcp((n, call, out) -> {
                    if (n == 0) {
                        held[0] = call;
                        return null;
                    }
                    synchronized (out) {
                        Wire.send(out, Scripted.reply(call, N7));
                        Wire.send(out, Scripted.reply(held[0], N7));
                    }
                    return null;
                });
                GEOPROG_cln c = new GEOPROG_cln(Wire.LOOPBACK, GEOPROG._def_pno, 1, peer.port(), "tcp")) {
            AtomicReference<Throwable> first = new AtomicReference<>();
            Thread t = new Thread(() -> {
                try {
                    c.getClient().call(GEOPROG._NAME_proc, new XDTint(4), faulty("result 4"));
                } catch (Throwable e) {
                    first.set(e);
                }
            });
            t.start();
            while (peer.calls.isEmpty())
                Thread.sleep(5);
            AssertionError e = assertTimeoutPreemptively(Duration.ofSeconds(10), () -> assertThrows(AssertionError.class,
                    () -> c.getClient().call(GEOPROG._NAME_proc, new XDTint(5), faulty("result 5"))));
            assertEquals("result 5", e.getMessage());
            t.join(10_000);
            assertFalse(t.isAlive(), "the other caller still waits");
            assertTrue(first.get() instanceof AssertionError a && a.getMessage().equals("result 4"),
                    String.valueOf(first.get()));
            assertEquals("n7", c.NAME(7), "the connection stays usable");
        }
    }

    /** A result whose decoding fails with an Error that names it. */
    static XDT faulty(String name) {
        return new XDTvoid() {
            @Override
            public void xdr(XDR x) {
                throw new AssertionError(name);
            }
        };
    }

    @Test
    void udp_calls_are_sent_again_until_answered_and_time_out_in_the_end() throws Exception {
        try (Scripted peer = Scripted.udp((n, call, out) -> n == 0 ? null : Scripted.reply(call, N7));
                GEOPROG_cln c = new GEOPROG_cln(Wire.LOOPBACK, GEOPROG._def_pno, 1, peer.port(), "udp")) {
            c.getClient().setRetransmitInterval(Duration.ofMillis(200));
            assertEquals("n7", c.NAME(7));
            assertEquals(2, peer.calls.size());
            assertArrayEquals(peer.calls.get(0), peer.calls.get(1), "the same datagram, the same xid");
        }
        try (Scripted peer = Scripted.udp((n, call, out) -> null);
                GEOPROG_cln c = new GEOPROG_cln(Wire.LOOPBACK, GEOPROG._def_pno, 1, peer.port(), "udp")) {
            c.getClient().setRetransmitInterval(Duration.ofMillis(100));
            c.getClient().setTimeout(Duration.ofMillis(550));
            long t0 = System.nanoTime();
            rpc_err e = assertThrows(rpc_err.class, () -> c.NAME(7));
            assertEquals(RpcStatus.TIMED_OUT, e.status());
            assertTrue(System.nanoTime() - t0 >= 500_000_000L, "waited the whole time-out");
            assertTrue(peer.calls.size() >= 2 && peer.calls.size() <= 7, peer.calls.size() + " datagrams, one every 100 ms for 550 ms");
        }
    }

    @Test
    void failures_before_and_after_the_wire() throws Exception {
        try (Scripted peer = Scripted.udp((n, call, out) -> Scripted.reply(call, N7));
                ClientGeneric c = new ClientGeneric(Wire.LOOPBACK, 1, 1, peer.port(), "udp")) {
            rpc_err e = assertThrows(rpc_err.class, () -> c.getClient().call(1, new XDTbytes(new byte[70_000]), new XDTvoid()));
            assertEquals(RpcStatus.CANT_ENCODE_ARGS, e.status());
            assertTrue(peer.calls.isEmpty(), "nothing sent");
            e = assertThrows(rpc_err.class, () -> c.getClient().call(1, new XDTString("\uD800"), new XDTvoid()));
            assertEquals(RpcStatus.CANT_ENCODE_ARGS, e.status());
        }
        rpc_err e = assertThrows(rpc_err.class, () -> new ClientGeneric(Wire.LOOPBACK, 1, 1, 1, "sctp"));
        assertEquals("RPC: Unknown protocol; sctp", e.getMessage());
        e = assertThrows(rpc_err.class, () -> new GEOPROG_cln().NAME(1));
        assertEquals(RpcStatus.CANT_SEND, e.status());

        try (Scripted peer = Scripted.tcp((n, call, out) -> {
                    Wire.send(out, Scripted.reply(call, n == 0 ? N7 + "00".repeat(200) : N7));
                    return null;
                });
                GEOPROG_cln c = new GEOPROG_cln(Wire.LOOPBACK, GEOPROG._def_pno, 1, peer.port(), "tcp")) {
            c.getClient().setRecordLimit(100);
            e = assertThrows(rpc_err.class, () -> c.NAME(7));
            assertEquals(RpcStatus.CANT_RECV, e.status(), "a reply over the record limit: " + e.getMessage());
            assertEquals("n7", c.NAME(7), "the next call goes on a new connection");
            assertEquals(2, peer.calls.size(), "the call in flight was not sent again");
        }
        try (Scripted peer = Scripted.tcp((n, call, out) -> {
                    out.close();
                    return null;
                });
                GEOPROG_cln c = new GEOPROG_cln(Wire.LOOPBACK, GEOPROG._def_pno, 1, peer.port(), "tcp")) {
            e = assertThrows(rpc_err.class, () -> c.NAME(7));
            assertEquals("RPC: Unable to receive; server closed the connection", e.getMessage());
        }
        try (Scripted peer = Scripted.tcp((n, call, out) -> {
                    out.write(Wire.concat(Wire.hex("80000100"), Arrays.copyOf(call, 4))); // 256 bytes announced, 4 sent
                    out.close();
                    return null;
                });
                GEOPROG_cln c = new GEOPROG_cln(Wire.LOOPBACK, GEOPROG._def_pno, 1, peer.port(), "tcp")) {
            e = assertThrows(rpc_err.class, () -> c.NAME(7));
            assertEquals("RPC: Unable to receive; stream ended inside a record", e.getMessage());
        }
    }
}
