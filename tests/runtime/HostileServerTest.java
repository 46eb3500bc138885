// SPDX-License-Identifier: Apache-2.0
import static org.junit.jupiter.api.Assertions.*;

import java.io.IOException;
import java.io.OutputStream;
import java.net.DatagramSocket;
import java.net.Socket;
import java.time.Duration;
import java.util.ArrayList;
import java.util.List;
import java.util.concurrent.atomic.AtomicBoolean;
import kelvaro.ZELT.*;
import org.junit.jupiter.api.Test;

/**
 * The server against peers that try to starve it with raw sockets: slow,
 * stalled and header-only connections, endless empty fragments, a flood of
 * idle connections, and a slow UDP procedure. Each case bounds its own time.
 */
class HostileServerTest {
    static final int PROG = GEOPROG._def_pno;

    static RpcServer started(ServerSettings settings) throws Exception {
        RpcServer s = new RpcServer(settings.address(Wire.LOOPBACK));
        s.add(new GeoService());
        s.start();
        return s;
    }

    /** One call on a fresh connection; true when it was answered correctly. */
    static boolean fresh_call(int port, int i) {
        try (GEOPROG_cln c = new GEOPROG_cln(Wire.LOOPBACK, PROG, 1, port, "tcp")) {
            c.getClient().setTimeout(Duration.ofSeconds(3));
            return ("n" + i).equals(c.NAME(i));
        } catch (rpc_err e) {
            return false;
        }
    }

    /** Sends a record header and then one byte at a time, as long as the flag is up. */
    static Thread trickle(List<Socket> sockets, AtomicBoolean on, long every_ms) {
        Thread t = new Thread(() -> {
            try {
                for (Socket s : sockets)
                    s.getOutputStream().write(Wire.hex("80001000"));
                while (on.get()) {
                    for (Socket s : sockets) {
                        try {
                            s.getOutputStream().write(0);
                        } catch (IOException e) {
                            // closed by the server: as it should be
                        }
                    }
                    Thread.sleep(every_ms);
                }
            } catch (IOException | InterruptedException e) {
                // stop
            }
        });
        t.setDaemon(true);
        t.start();
        return t;
    }

    @Test
    void trickling_and_header_only_connections_neither_block_fresh_callers_nor_outlive_the_record_deadline()
            throws Exception {
        // Default settings but for a short record time-out.
        try (RpcServer server = started(new ServerSettings().recordTimeout(Duration.ofMillis(1500)))) {
            int port = server.tcpPort();
            List<Socket> slow = new ArrayList<>(), silent = new ArrayList<>();
            AtomicBoolean on = new AtomicBoolean(true);
            try {
                for (int i = 0; i < 64; i++)
                    slow.add(new Socket(Wire.LOOPBACK, port));
                for (int i = 0; i < 64; i++) {
                    Socket s = new Socket(Wire.LOOPBACK, port);
                    s.getOutputStream().write(Wire.hex("80000100")); // a header, then nothing
                    silent.add(s);
                }
                Thread t = trickle(slow, on, 100);
                Thread.sleep(300);
                int good = 0;
                for (int i = 0; i < 20; i++)
                    if (fresh_call(port, i))
                        good++;
                assertEquals(20, good, "fresh callers are served among 128 slow and silent connections");
                // A record that keeps getting bytes is still closed at its deadline, counted from its first byte.
                for (Socket s : slow)
                    assertTrue(TransportTest.closed_by_server(s, 6000), "a trickled record passes its deadline");
                for (Socket s : silent)
                    assertTrue(TransportTest.closed_by_server(s, 6000), "a header alone passes its deadline");
                on.set(false);
                t.join(5000);
                ServerStats st = server.stats();
                assertTrue(st.deadlinesPassed() >= 128, st.toString());
                assertEquals(0, st.connectionsRefused(), st.toString());
                assertTrue(fresh_call(port, 99));
            } finally {
                on.set(false);
                for (Socket s : slow)
                    s.close();
                for (Socket s : silent)
                    s.close();
            }
        }
    }

    @Test
    void empty_and_surplus_fragments_close_the_connection_at_once() throws Exception {
        try (RpcServer server = started(new ServerSettings().maxFragments(4))) {
            int port = server.tcpPort();
            // Endless empty fragments that are not the last: closed at the first.
            try (Socket s = new Socket(Wire.LOOPBACK, port)) {
                AtomicBoolean on = new AtomicBoolean(true);
                Thread writer = new Thread(() -> {
                    byte[] empties = new byte[4096];
                    try {
                        OutputStream out = s.getOutputStream();
                        while (on.get())
                            out.write(empties);
                    } catch (IOException e) {
                        // closed by the server
                    }
                });
                writer.setDaemon(true);
                writer.start();
                try {
                    assertTrue(TransportTest.closed_by_server(s, 3000), "empty fragments close the connection");
                } finally {
                    on.set(false);
                }
                writer.join(5000);
                assertFalse(writer.isAlive(), "the writer saw its connection closed");
            }
            // A NAME call (xid 7, argument 5) in fragments: 4 pass, 5 close.
            byte[] call = Wire.hex(Wire.call(7, PROG, 1, GEOPROG._NAME_proc) + "00000005");
            for (int pieces : new int[] {4, 5}) {
                try (Socket s = new Socket(Wire.LOOPBACK, port)) {
                    s.setSoTimeout(5000);
                    s.getOutputStream().write(in_fragments(call, pieces));
                    if (pieces <= 4) {
                        byte[] reply = Wire.receive(s.getInputStream());
                        assertEquals(Wire.show(Wire.hex(Wire.accepted(7) + "00000000 00000002 6e350000")),
                                Wire.show(reply));
                    } else {
                        assertTrue(TransportTest.closed_by_server(s, 3000), "a fifth fragment closes the connection");
                    }
                }
            }
            assertTrue(server.stats().connectionsClosedForFaults() >= 2, server.stats().toString());
            assertTrue(fresh_call(port, 3));
        }
    }

    /** The record in n fragments, the last n - 1 of 4 bytes each. */
    static byte[] in_fragments(byte[] record, int n) {
        List<byte[]> parts = new ArrayList<>();
        int first = record.length - 4 * (n - 1);
        int at = 0;
        for (int i = 0; i < n; i++) {
            int len = i == 0 ? first : 4;
            int h = len | (i == n - 1 ? 0x80000000 : 0);
            parts.add(new byte[] {(byte) (h >>> 24), (byte) (h >>> 16), (byte) (h >>> 8), (byte) h});
            parts.add(java.util.Arrays.copyOfRange(record, at, at + len));
            at += len;
        }
        return Wire.concat(parts.toArray(new byte[0][]));
    }

    @Test
    void a_flood_of_idle_connections_does_not_evict_a_connection_that_has_called() throws Exception {
        try (RpcServer server = started(new ServerSettings().maxConnections(8))) {
            int port = server.tcpPort();
            try (Socket legit = new Socket(Wire.LOOPBACK, port)) {
                legit.setSoTimeout(5000);
                assertNotNull(Wire.exchange(legit, Wire.hex(Wire.call(1, PROG, 1, 0))));
                List<Socket> flood = new ArrayList<>();
                try {
                    for (int i = 0; i < 40; i++)
                        flood.add(new Socket(Wire.LOOPBACK, port));
                    long deadline = System.nanoTime() + 5_000_000_000L;
                    while (server.stats().connectionsEvicted() < 40 - 7 && System.nanoTime() < deadline)
                        Thread.sleep(10);
                    assertNotNull(Wire.exchange(legit, Wire.hex(Wire.call(2, PROG, 1, 0))),
                            "the connection that called survives the flood");
                    assertEquals(8, server.connectionCount());
                } finally {
                    for (Socket s : flood)
                        s.close();
                }
            }
        }
    }

    @Test
    void a_per_address_limit_closes_that_address_s_idle_connections_first() throws Exception {
        try (RpcServer server = started(new ServerSettings().maxConnectionsPerAddress(3))) {
            int port = server.tcpPort();
            List<Socket> all = new ArrayList<>();
            try {
                for (int i = 0; i < 10; i++)
                    all.add(new Socket(Wire.LOOPBACK, port));
                long deadline = System.nanoTime() + 5_000_000_000L;
                while (server.stats().connectionsEvicted() < 7 && System.nanoTime() < deadline)
                    Thread.sleep(10);
                assertEquals(7, server.stats().connectionsEvicted());
                assertEquals(3, server.connectionCount());
                for (int i = 0; i < 7; i++)
                    assertTrue(TransportTest.closed_by_server(all.get(i), 3000), "the oldest went first");
            } finally {
                for (Socket s : all)
                    s.close();
            }
        }
    }

    /** A program whose procedure 1 sleeps for the milliseconds it is given, and counts its runs. */
    static final class Slow extends Svc {
        final java.util.concurrent.atomic.AtomicInteger runs = new java.util.concurrent.atomic.AtomicInteger();

        Slow() {
            super(0x20000999, 1);
        }

        @Override
        public XDT proc_call(int proc, XDR in) throws XDRError {
            if (proc != 1)
                return proc == 0 ? new XDTvoid() : null;
            int ms = in.dec_int();
            int n = runs.incrementAndGet();
            try {
                Thread.sleep(ms);
            } catch (InterruptedException e) {
                Thread.currentThread().interrupt();
            }
            return new XDTint(n);
        }
    }

    @Test
    void a_slow_udp_procedure_does_not_hold_up_other_udp_callers() throws Exception {
        Slow slow = new Slow();
        try (RpcServer server = new RpcServer(new ServerSettings().address(Wire.LOOPBACK));
                DatagramSocket a = new DatagramSocket(); DatagramSocket b = new DatagramSocket()) {
            server.add(slow);
            server.start();
            int port = server.udpPort();
            byte[] long_call = Wire.hex(Wire.call(1, 0x20000999, 1, 1) + "00000bb8"); // 3 s
            a.send(new java.net.DatagramPacket(long_call, long_call.length, Wire.LOOPBACK, port));
            Thread.sleep(200);
            b.setSoTimeout(1500);
            byte[] reply = Wire.exchange(b, port, Wire.hex(Wire.call(2, 0x20000999, 1, 0)));
            assertEquals(Wire.show(Wire.hex(Wire.accepted(2) + "00000000")), Wire.show(reply),
                    "answered while the slow call runs");
        }
    }

    @Test
    void the_duplicate_reply_cache_answers_a_retransmission_without_running_it_again() throws Exception {
        for (boolean on : new boolean[] {true, false}) {
            Slow slow = new Slow();
            ServerSettings settings = new ServerSettings().address(Wire.LOOPBACK);
            if (on)
                settings.duplicateReplyCache(100, 1 << 20);
            try (RpcServer server = new RpcServer(settings); DatagramSocket s = new DatagramSocket()) {
                server.add(slow);
                server.start();
                int port = server.udpPort();
                s.setSoTimeout(5000);
                byte[] call = Wire.hex(Wire.call(41, 0x20000999, 1, 1) + "00000000");
                byte[] first = Wire.exchange(s, port, call);
                byte[] again = Wire.exchange(s, port, call);
                assertEquals(Wire.show(Wire.hex(Wire.accepted(41) + "00000000 00000001")), Wire.show(first));
                if (on) {
                    assertEquals(Wire.show(first), Wire.show(again), "the cached reply");
                    assertEquals(1, slow.runs.get(), "ran once");
                    assertEquals(1, server.stats().duplicateReplies());
                } else {
                    assertEquals(Wire.show(Wire.hex(Wire.accepted(41) + "00000000 00000002")), Wire.show(again));
                    assertEquals(2, slow.runs.get(), "without the cache the call runs again");
                }
                // Another xid, or another procedure with the same xid, runs.
                Wire.exchange(s, port, Wire.hex(Wire.call(42, 0x20000999, 1, 1) + "00000000"));
                assertEquals(on ? 2 : 3, slow.runs.get());
                // A copy that comes while the first still runs is not run a second time.
                byte[] slow_call = Wire.hex(Wire.call(43, 0x20000999, 1, 1) + "000001f4"); // 500 ms
                s.send(new java.net.DatagramPacket(slow_call, slow_call.length, Wire.LOOPBACK, port));
                Thread.sleep(100);
                s.send(new java.net.DatagramPacket(slow_call, slow_call.length, Wire.LOOPBACK, port));
                Wire.exchange(s, port, Wire.hex(Wire.call(44, 0x20000999, 1, 0))); // drain: order may vary
                long deadline = System.nanoTime() + 3_000_000_000L;
                while (slow.runs.get() < (on ? 3 : 5) && System.nanoTime() < deadline)
                    Thread.sleep(20);
                Thread.sleep(700);
                assertEquals(on ? 3 : 5, slow.runs.get());
            }
        }
    }

    @Test
    void a_list_exactly_as_deep_as_the_documented_limit_passes_and_one_node_more_fails() throws Exception {
        try (RpcServer server = started(new ServerSettings());
                GEOPROG_cln c = new GEOPROG_cln(Wire.LOOPBACK, PROG, 1, server.tcpPort(), "tcp")) {
            polygon p = Wire.polygon("edge");
            p.list = Wire.list(XDR.MAX_DEPTH);
            assertEquals(XDR.MAX_DEPTH, Wire.length(c.ECHO(p).list), "MAX_DEPTH nodes go both ways");
            p.list = Wire.list(XDR.MAX_DEPTH + 1);
            rpc_err e = assertThrows(rpc_err.class, () -> c.ECHO(p));
            assertEquals(RpcStatus.CANT_ENCODE_ARGS, e.status(), e.getMessage());
            // The server draws the line at the same place.
            try (Socket s = new Socket(Wire.LOOPBACK, server.tcpPort())) {
                s.setSoTimeout(60_000);
                byte[] over = Wire.concat(Wire.hex(Wire.call(5, PROG, 1, GEOPROG._ECHO_proc)),
                        DeepDataTest.polygon_bytes(XDR.MAX_DEPTH + 1));
                assertEquals(Wire.show(Wire.hex(Wire.accepted(5) + "00000004")), Wire.show(Wire.exchange(s, over)));
            }
        }
    }
}
