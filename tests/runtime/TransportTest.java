// SPDX-License-Identifier: Apache-2.0
import static org.junit.jupiter.api.Assertions.*;

import java.io.InputStream;
import java.io.OutputStream;
import java.net.Socket;
import java.time.Duration;
import java.util.ArrayList;
import java.util.List;
import java.util.concurrent.atomic.AtomicInteger;
import kelvaro.ZELT.*;
import org.junit.jupiter.api.Test;

/** The transports under load and under attack: 16 threads on one client, hostile TCP peers, eviction. */
class TransportTest {
    static final int PROG = GEOPROG._def_pno;

    static RpcServer started(int max_connections, Duration record_timeout) throws Exception {
        RpcServer s = new RpcServer();
        s.setAddress(Wire.LOOPBACK);
        s.setMaxConnections(max_connections);
        s.setRecordTimeout(record_timeout);
        s.add(new GeoService());
        s.start();
        return s;
    }

    @Test
    void sixteen_threads_share_one_client_without_crossed_replies() throws Exception {
        try (RpcServer server = started(64, Duration.ofSeconds(30))) {
            for (String proto : new String[] {"tcp", "udp"}) {
                try (GEOPROG_cln c = new GEOPROG_cln(Wire.LOOPBACK, PROG, 1, server.tcpPort(), proto)) {
                    AtomicInteger good = new AtomicInteger();
                    List<String> bad = new ArrayList<>();
                    List<Thread> threads = new ArrayList<>();
                    for (int t = 0; t < 16; t++) {
                        int base = t * 100_000;
                        threads.add(new Thread(() -> {
                            try {
                                for (int i = 0; i < 300; i++) {
                                    String got = c.NAME(base + i);
                                    if (got.equals("n" + (base + i)))
                                        good.incrementAndGet();
                                    else
                                        synchronized (bad) {
                                            bad.add(got + " for " + (base + i));
                                        }
                                }
                            } catch (rpc_err e) {
                                synchronized (bad) {
                                    bad.add(e.getMessage());
                                }
                            }
                        }));
                    }
                    threads.forEach(Thread::start);
                    for (Thread t : threads)
                        t.join(60_000);
                    assertEquals(List.of(), bad, proto);
                    assertEquals(16 * 300, good.get(), proto);
                }
            }
        }
    }

    /** True when the server closes the connection within the time (the read sees its end or a reset). */
    static boolean closed_by_server(Socket s, int ms) throws Exception {
        s.setSoTimeout(ms);
        try {
            InputStream in = s.getInputStream();
            return in.read() < 0;
        } catch (java.net.SocketTimeoutException e) {
            return false;
        } catch (java.net.SocketException e) {
            return true;
        }
    }

    @Test
    void hostile_peers_lose_their_connections_while_a_good_client_is_served() throws Exception {
        try (RpcServer server = started(64, Duration.ofMillis(1500))) {
            int port = server.tcpPort();
            List<Socket> stalled = new ArrayList<>();
            List<Socket> huge = new ArrayList<>();
            List<Socket> garbage = new ArrayList<>();
            try (GEOPROG_cln good = new GEOPROG_cln(Wire.LOOPBACK, PROG, 1, port, "tcp")) {
                for (int i = 0; i < 40; i++) {
                    // Announces 4 MiB (within the limit), sends 1,000 bytes and stalls.
                    Socket s = new Socket(Wire.LOOPBACK, port);
                    OutputStream out = s.getOutputStream();
                    out.write(Wire.hex("80400000"));
                    out.write(new byte[1000]);
                    stalled.add(s);
                }
                for (int i = 0; i < 14; i++) {
                    Socket s = new Socket(Wire.LOOPBACK, port);
                    s.getOutputStream().write(Wire.hex("81000000")); // 16 MiB: over the limit
                    huge.add(s);
                }
                for (int i = 0; i < 5; i++) {
                    Socket s = new Socket(Wire.LOOPBACK, port);
                    s.getOutputStream().write(Wire.hex("80000008 00000001 00000001")); // a reply, not a call
                    garbage.add(s);
                }
                for (int i = 0; i < 20; i++)
                    assertEquals("n" + i, good.NAME(i));
                polygon big = Wire.polygon("big");
                big.blob = new byte[3 << 20];
                big.blob[12345] = 7;
                polygon back = good.ECHO(big);
                assertEquals(3 << 20, back.blob.length, "a 3 MiB call among the hostile peers");
                assertEquals(7, back.blob[12345]);

                for (Socket s : huge)
                    assertTrue(closed_by_server(s, 5000), "a 16 MiB claim closes the connection at once");
                for (Socket s : garbage)
                    assertTrue(closed_by_server(s, 5000), "garbage closes the connection");
                for (Socket s : stalled)
                    assertTrue(closed_by_server(s, 10_000), "a stall inside a record closes the connection");
                assertEquals("n99", good.NAME(99), "the good client is still served");
                assertEquals(1, server.connectionCount(), "only the good connection is left");
            } finally {
                for (List<Socket> l : List.of(stalled, huge, garbage))
                    for (Socket s : l)
                        s.close();
            }
        }
    }

    @Test
    void records_past_the_buffer_budget_close_their_connection_and_give_it_back() throws Exception {
        RpcServer server = new RpcServer();
        server.setAddress(Wire.LOOPBACK);
        server.setBufferBudget(1 << 20);
        server.add(new GeoService());
        server.start();
        try (server) {
            polygon big = Wire.polygon("big");
            big.blob = new byte[2 << 20];
            try (GEOPROG_cln c = new GEOPROG_cln(Wire.LOOPBACK, PROG, 1, server.tcpPort(), "tcp")) {
                rpc_err e = assertThrows(rpc_err.class, () -> c.ECHO(big));
                assertTrue(e.status() == RpcStatus.CANT_RECV || e.status() == RpcStatus.CANT_SEND, e.getMessage());
            }
            big.blob = new byte[600_000];
            for (int i = 0; i < 3; i++) {
                // A closed connection gives its bytes back once its worker has seen the end.
                long deadline = System.nanoTime() + 10_000_000_000L;
                while (server.connectionCount() > 0 && System.nanoTime() < deadline)
                    Thread.sleep(10);
                try (GEOPROG_cln c = new GEOPROG_cln(Wire.LOOPBACK, PROG, 1, server.tcpPort(), "tcp")) {
                    assertEquals(600_000, c.ECHO(big).blob.length, "within the budget, again and again");
                }
            }
        }
    }

    @Test
    void a_peer_that_takes_no_replies_loses_its_connection() throws Exception {
        try (RpcServer server = started(64, Duration.ofMillis(700));
                Socket greedy = new Socket(Wire.LOOPBACK, server.tcpPort());
                GEOPROG_cln good = new GEOPROG_cln(Wire.LOOPBACK, PROG, 1, server.tcpPort(), "tcp")) {
            XDR x = new XDR();
            polygon big = Wire.polygon("big");
            big.blob = new byte[3 << 20];
            big.xdr(x);
            byte[] call = Wire.concat(Wire.hex(Wire.call(1, PROG, 1, GEOPROG._ECHO_proc)), x.toByteArray());
            // Calls whose replies (3 MiB each) are never read, written from another thread since the
            // writes block once the server stops reading.
            Thread writer = new Thread(() -> {
                try {
                    for (int i = 0; i < 8; i++)
                        Wire.send(greedy.getOutputStream(), call);
                } catch (java.io.IOException e) {
                    // closed by the server, as it should be
                }
            });
            writer.setDaemon(true);
            writer.start();
            Thread.sleep(300);
            assertEquals("n1", good.NAME(1), "served while the greedy peer blocks a worker");
            long deadline = System.nanoTime() + 10_000_000_000L;
            while (server.connectionCount() > 1 && System.nanoTime() < deadline)
                Thread.sleep(50);
            assertEquals(1, server.connectionCount(), "the greedy connection was closed");
            writer.join(10_000);
            assertFalse(writer.isAlive(), "the greedy writer saw its connection closed");
            assertEquals("n2", good.NAME(2));
        }
    }

    @Test
    void a_full_server_evicts_the_longest_idle_connection_or_refuses() throws Exception {
        try (RpcServer server = started(2, Duration.ofSeconds(30))) {
            int port = server.tcpPort();
            try (Socket older = new Socket(Wire.LOOPBACK, port); Socket newer = new Socket(Wire.LOOPBACK, port)) {
                older.setSoTimeout(5000);
                assertNotNull(Wire.exchange(older, Wire.hex(Wire.call(1, PROG, 1, 0))));
                Thread.sleep(50);
                newer.setSoTimeout(5000);
                assertNotNull(Wire.exchange(newer, Wire.hex(Wire.call(2, PROG, 1, 0))));
                try (GEOPROG_cln c = new GEOPROG_cln(Wire.LOOPBACK, PROG, 1, port, "tcp")) {
                    assertEquals("n1", c.NAME(1), "a third connection is served");
                    assertTrue(closed_by_server(older, 5000), "the longest idle connection made room");
                    assertNotNull(Wire.exchange(newer, Wire.hex(Wire.call(3, PROG, 1, 0))), "the other one stays");
                }
            }
        }
        // Two connections inside records that arrive at a good rate: nothing may go, so a third is refused.
        try (RpcServer server = started(2, Duration.ofSeconds(30));
                Socket a = new Socket(Wire.LOOPBACK, server.tcpPort());
                Socket b = new Socket(Wire.LOOPBACK, server.tcpPort())) {
            byte[] half = new byte[4 + 64 * 1024];
            System.arraycopy(Wire.hex("80020000"), 0, half, 0, 4);
            a.getOutputStream().write(half);
            b.getOutputStream().write(half);
            long deadline = System.nanoTime() + 5_000_000_000L;
            while (server.connectionCount() < 2 && System.nanoTime() < deadline)
                Thread.sleep(10);
            Thread.sleep(500); // for the workers to read the first bytes of the records
            try (Socket c = new Socket(Wire.LOOPBACK, server.tcpPort())) {
                assertTrue(closed_by_server(c, 5000), "refused while every connection is busy");
            }
            assertEquals(2, server.connectionCount(), "the busy connections stay");
        }
    }
}
