// SPDX-License-Identifier: Apache-2.0
import static org.junit.jupiter.api.Assertions.*;

import java.io.InputStream;
import java.net.DatagramPacket;
import java.net.DatagramSocket;
import java.net.InetAddress;
import java.net.InetSocketAddress;
import java.net.Socket;
import java.net.SocketException;
import java.nio.ByteBuffer;
import java.time.Duration;
import java.util.ArrayList;
import java.util.List;
import java.util.concurrent.CountDownLatch;
import java.util.concurrent.TimeUnit;
import kelvaro.ZELT.*;
import org.junit.jupiter.api.Assumptions;
import org.junit.jupiter.api.Test;

/**
 * Attacks on the server's fairness with raw sockets, each with a legitimate
 * caller beside it that must be served: connections that trickle a record
 * to hold a place, half records that spend the buffer budget, deep calls
 * that would hold the workers, a connection with a long queue, a UDP flood
 * of slow calls, and a reused xid that the duplicate-reply cache must not
 * answer with another call's reply. Each case bounds its own time.
 */
class ServerAttackTest {
    static final int PROG = GEOPROG._def_pno;

    static RpcServer started(ServerSettings settings, Svc service) throws Exception {
        RpcServer s = new RpcServer(settings.address(null));
        s.add(service);
        s.start();
        return s;
    }

    /** NAME(i) sleeps i - 3000 ms for 3000..3999; ECHO waits at the gate for data deeper than 1,000 nodes. */
    static final class Slow extends GeoService {
        final CountDownLatch gate = new CountDownLatch(1);

        @Override
        public String NAME(int i) {
            if (i >= 3000 && i < 4000) {
                try {
                    Thread.sleep(i - 3000);
                } catch (InterruptedException e) {
                    Thread.currentThread().interrupt();
                }
            }
            return "n" + i;
        }

        @Override
        public polygon ECHO(polygon p) {
            if (Wire.length(p.list) > 1000) {
                try {
                    gate.await(20, TimeUnit.SECONDS);
                } catch (InterruptedException e) {
                    Thread.currentThread().interrupt();
                }
            }
            return p;
        }
    }

    static boolean fresh_call(int port, int i) {
        try (GEOPROG_cln c = new GEOPROG_cln(Wire.LOOPBACK, PROG, 1, port, "tcp")) {
            c.getClient().setTimeout(Duration.ofSeconds(5));
            return ("n" + i).equals(c.NAME(i));
        } catch (rpc_err e) {
            return false;
        }
    }

    static boolean closed_by_server(Socket s, int ms) throws Exception {
        s.setSoTimeout(ms);
        try {
            InputStream in = s.getInputStream();
            return in.read() < 0;
        } catch (java.net.SocketTimeoutException e) {
            return false;
        } catch (SocketException e) {
            return true;
        }
    }

    @Test
    void connections_that_trickle_a_record_make_room_for_a_caller_when_the_table_is_full() throws Exception {
        try (RpcServer server = started(new ServerSettings().maxConnections(8), new Slow())) {
            List<Socket> held = new ArrayList<>();
            try {
                for (int k = 0; k < 8; k++) {
                    Socket s = new Socket(Wire.LOOPBACK, server.tcpPort());
                    s.getOutputStream().write(Wire.hex("80000040 0000")); // 2 bytes of a 64-byte record
                    held.add(s);
                }
                long until = System.nanoTime() + 5_000_000_000L;
                while (server.connectionCount() < 8 && System.nanoTime() < until)
                    Thread.sleep(10);
                for (int i = 0; i < 5; i++)
                    assertTrue(fresh_call(server.tcpPort(), i), "call " + i + " served beside 8 trickling connections");
                assertTrue(server.stats().connectionsEvicted() >= 1, server.stats().toString());
            } finally {
                for (Socket s : held)
                    s.close();
            }
        }
    }

    @Test
    void a_record_slower_than_the_minimum_rate_is_closed_long_before_the_record_time_out() throws Exception {
        try (RpcServer server = started(new ServerSettings().recordTimeout(Duration.ofSeconds(30)), new Slow());
                Socket s = new Socket(Wire.LOOPBACK, server.tcpPort())) {
            s.getOutputStream().write(Wire.hex("80000040 00000001 00000000")); // 8 of 64 bytes, then nothing
            assertTrue(closed_by_server(s, 8000), "closed within 8 s for arriving too slowly");
            assertTrue(fresh_call(server.tcpPort(), 1));
        }
    }

    @Test
    void half_records_that_spend_the_buffer_budget_are_shed_and_a_small_call_is_served() throws Exception {
        // The default budget is bounded in bytes, whatever the heap: half of a 23 GB machine's heap was not.
        assertTrue(new ServerSettings().bufferBudget() <= 256L << 20, "default budget "
                + new ServerSettings().bufferBudget());
        try (RpcServer server = started(new ServerSettings().bufferBudget(4 << 20), new Slow())) {
            List<Socket> big = new ArrayList<>();
            try {
                byte[] half = new byte[4 + 900 * 1024];
                System.arraycopy(Wire.hex("80100000"), 0, half, 0, 4); // a 1 MiB record, 900 KiB of it
                for (int k = 0; k < 6; k++) {
                    Socket s = new Socket(Wire.LOOPBACK, server.tcpPort());
                    big.add(s);
                    try {
                        s.getOutputStream().write(half);
                    } catch (java.io.IOException e) {
                        // shed while it wrote: as may be
                    }
                    Thread.sleep(100);
                }
                for (int i = 0; i < 5; i++)
                    assertTrue(fresh_call(server.tcpPort(), i), "small call " + i + " served");
                int closed = 0;
                for (Socket s : big)
                    if (closed_by_server(s, 100))
                        closed++;
                assertTrue(closed >= 1, "a large holder was shed");
            } finally {
                for (Socket s : big)
                    s.close();
            }
        }
    }

    @Test
    void deep_calls_waiting_for_the_large_stack_threads_hold_no_worker() throws Exception {
        Slow service = new Slow();
        try (RpcServer server = started(new ServerSettings().workerThreads(2).protocols(true, false), service)) {
            polygon deep = Wire.polygon("deep");
            deep.list = Wire.list(5000);
            List<GEOPROG_cln> clients = new ArrayList<>();
            List<Thread> callers = new ArrayList<>();
            int[] echoed = new int[1];
            try {
                for (int k = 0; k < 6; k++) {
                    GEOPROG_cln c = new GEOPROG_cln(Wire.LOOPBACK, PROG, 1, server.tcpPort(), "tcp");
                    c.getClient().setTimeout(Duration.ofSeconds(30));
                    clients.add(c);
                    Thread t = new Thread(() -> {
                        try {
                            if (Wire.length(c.ECHO(deep).list) == 5000) {
                                synchronized (echoed) {
                                    echoed[0]++;
                                }
                            }
                        } catch (rpc_err e) {
                            // counted as not echoed
                        }
                    });
                    t.setDaemon(true);
                    t.start();
                    callers.add(t);
                }
                Thread.sleep(500); // the deep calls reach the large-stack threads, which wait at the gate
                for (int i = 0; i < 5; i++)
                    assertTrue(fresh_call(server.tcpPort(), i), "small call " + i + " while deep calls wait");
                service.gate.countDown();
                for (Thread t : callers)
                    t.join(30_000);
                synchronized (echoed) {
                    assertEquals(6, echoed[0], "every deep call answered once the gate opened");
                }
            } finally {
                service.gate.countDown();
                for (GEOPROG_cln c : clients)
                    c.close();
            }
        }
    }

    @Test
    void a_connection_with_a_long_queue_delays_another_connections_call_by_about_one_call() throws Exception {
        try (RpcServer server = started(new ServerSettings().workerThreads(1).protocols(true, false), new Slow());
                Socket greedy = new Socket(Wire.LOOPBACK, server.tcpPort())) {
            greedy.setSoTimeout(30_000);
            ByteBuffer calls = ByteBuffer.allocate(200 * 48);
            for (int k = 0; k < 200; k++) {
                byte[] call = Wire.hex(Wire.call(k + 1, PROG, 1, 2) + Wire.word(3010));
                calls.putInt(0x80000000 | call.length).put(call);
            }
            greedy.getOutputStream().write(calls.array(), 0, calls.position());
            Thread.sleep(100);
            try (GEOPROG_cln c = new GEOPROG_cln(Wire.LOOPBACK, PROG, 1, server.tcpPort(), "tcp")) {
                c.getClient().setTimeout(Duration.ofSeconds(30));
                assertEquals("n5", c.NAME(5));
            }
            // 200 calls of 10 ms on one thread take 2 s; the other call came before half of them.
            long answered = server.stats().success();
            assertTrue(answered < 100, "calls answered before the other connection's: " + answered);
            for (int k = 0; k < 200; k++)
                assertNotNull(Wire.receive(greedy.getInputStream()));
        }
    }

    @Test
    void a_udp_flood_of_slow_calls_from_one_address_leaves_another_address_served() throws Exception {
        InetAddress other = InetAddress.getByName("127.0.0.2");
        DatagramSocket legit;
        try {
            legit = new DatagramSocket(new InetSocketAddress(other, 0));
        } catch (SocketException e) {
            Assumptions.abort("no second loopback address here: " + e.getMessage());
            return;
        }
        // 200 calls of 200 ms on 2 threads: 20 s of work queued ahead.
        udp_flood_leaves_served(legit, 40, 5, 200);
    }

    @Test
    void a_udp_flood_from_many_ports_leaves_another_port_of_that_address_served() throws Exception {
        // 200 calls of 100 ms on 2 threads: 10 s of work queued ahead, but
        // only one call of each of the 20 flooding ports before the caller's.
        udp_flood_leaves_served(new DatagramSocket(new InetSocketAddress(Wire.LOOPBACK, 0)), 20, 10, 100);
    }

    /** Floods from ports of 127.0.0.1 with slow calls, then legit must get 3 replies, each within 3 s. */
    private static void udp_flood_leaves_served(DatagramSocket legit, int ports, int calls_per_port, int ms)
            throws Exception {
        try (RpcServer server = started(new ServerSettings().workerThreads(2).protocols(false, true), new Slow());
                DatagramSocket l = legit) {
            int port = server.udpPort();
            List<DatagramSocket> flood = new ArrayList<>();
            try {
                int xid = 1;
                for (int k = 0; k < ports; k++) {
                    DatagramSocket d = new DatagramSocket(new InetSocketAddress(Wire.LOOPBACK, 0));
                    flood.add(d);
                    for (int j = 0; j < calls_per_port; j++) {
                        byte[] call = Wire.hex(Wire.call(xid++, PROG, 1, 2) + Wire.word(3000 + ms));
                        d.send(new DatagramPacket(call, call.length, Wire.LOOPBACK, port));
                    }
                }
                Thread.sleep(300);
                l.setSoTimeout(3000);
                for (int i = 0; i < 3; i++) {
                    byte[] call = Wire.hex(Wire.call(9000 + i, PROG, 1, 2) + Wire.word(i));
                    l.send(new DatagramPacket(call, call.length, Wire.LOOPBACK, port));
                    byte[] buf = new byte[512];
                    DatagramPacket p = new DatagramPacket(buf, buf.length);
                    l.receive(p);
                    assertEquals(9000 + i, ByteBuffer.wrap(buf).getInt(), "the legitimate caller's reply " + i);
                }
            } finally {
                for (DatagramSocket d : flood)
                    d.close();
            }
        }
    }

    @Test
    void a_reused_xid_with_other_arguments_runs_and_only_a_true_retransmission_is_cached() throws Exception {
        try (RpcServer server = started(new ServerSettings().protocols(false, true).duplicateReplyCache(100, 1 << 20),
                new Slow()); DatagramSocket d = new DatagramSocket(new InetSocketAddress(Wire.LOOPBACK, 0))) {
            d.setSoTimeout(5000);
            byte[] first = Wire.hex(Wire.call(7, PROG, 1, 2) + Wire.word(1));
            byte[] second = Wire.hex(Wire.call(7, PROG, 1, 2) + Wire.word(2));
            String n1 = Wire.accepted(7) + "00000000 00000002 6e310000";
            String n2 = Wire.accepted(7) + "00000000 00000002 6e320000";
            assertEquals(Wire.show(Wire.hex(n1)), Wire.show(Wire.exchange(d, server.udpPort(), first)));
            assertEquals(Wire.show(Wire.hex(n2)), Wire.show(Wire.exchange(d, server.udpPort(), second)),
                    "the same xid with other arguments is another call");
            assertEquals(Wire.show(Wire.hex(n2)), Wire.show(Wire.exchange(d, server.udpPort(), second)));
            ServerStats stats = server.stats();
            assertEquals(1, stats.duplicateReplies(), stats.toString());
            assertEquals(2, stats.replyCacheMisses(), stats.toString());
            assertEquals(2, stats.calls(), stats.toString());
        }
    }
}
