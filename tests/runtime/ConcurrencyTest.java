// SPDX-License-Identifier: Apache-2.0
import static org.junit.jupiter.api.Assertions.*;

import java.io.InputStream;
import java.io.OutputStream;
import java.lang.management.ManagementFactory;
import java.net.ServerSocket;
import java.net.Socket;
import java.nio.ByteBuffer;
import java.nio.charset.StandardCharsets;
import java.time.Duration;
import java.util.ArrayList;
import java.util.HashMap;
import java.util.List;
import java.util.Map;
import java.util.concurrent.CompletableFuture;
import java.util.concurrent.CountDownLatch;
import java.util.concurrent.ExecutionException;
import java.util.concurrent.Executors;
import java.util.concurrent.ScheduledExecutorService;
import java.util.concurrent.TimeUnit;
import java.util.concurrent.atomic.AtomicInteger;
import kelvaro.ZELT.*;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.Test;

/**
 * What a service and a client can rely on about concurrency: calls of one
 * connection run at once up to the bound, a connection at its bound is not
 * read, one-at-a-time order on request, a shared client's fast call does
 * not wait for another thread's slow one, asynchronous calls by the
 * thousand on one connection, deferred replies, and the messages of a
 * time-out and of a local failure. Latches, not clocks, show what ran
 * together; each case bounds its own time.
 */
class ConcurrencyTest {
    static final int PROG = GEOPROG._def_pno;
    static final int NAME = 2;

    /**
     * NAME(i) by the range of i: 1000..1999 wait at the gate; 2000..2999
     * defer the reply and give it 100 ms later from another thread; -1
     * defers it and never gives it; 3000..3999 sleep (i - 3000) ms;
     * anything else answers at once. Counts the calls running together.
     */
    static final class Controlled extends GeoService {
        final CountDownLatch gate = new CountDownLatch(1);
        final AtomicInteger entered = new AtomicInteger();
        final AtomicInteger running = new AtomicInteger();
        final AtomicInteger most = new AtomicInteger();
        final List<Integer> order = java.util.Collections.synchronizedList(new ArrayList<>());
        final ScheduledExecutorService later = Executors.newSingleThreadScheduledExecutor(r -> {
            Thread t = new Thread(r, "test later");
            t.setDaemon(true);
            return t;
        });

        @Override
        public String NAME(int i) {
            int now = running.incrementAndGet();
            most.accumulateAndGet(now, Math::max);
            order.add(i);
            try {
                if (i >= 1000 && i < 2000) {
                    entered.incrementAndGet();
                    gate.await(20, TimeUnit.SECONDS);
                } else if (i >= 2000 && i < 3000) {
                    ReplyHandle h = Svc.deferReply();
                    later.schedule(() -> h.reply(new XDTString("n" + i)), 100, TimeUnit.MILLISECONDS);
                    return null;
                } else if (i == -1) {
                    Svc.deferReply();
                    return null;
                } else if (i >= 3000 && i < 4000) {
                    Thread.sleep(i - 3000);
                }
            } catch (InterruptedException e) {
                Thread.currentThread().interrupt();
            } finally {
                running.decrementAndGet();
            }
            return "n" + i;
        }
    }

    Controlled service = new Controlled();
    RpcServer server;

    RpcServer start(ServerSettings settings) throws Exception {
        server = new RpcServer(settings.address(Wire.LOOPBACK));
        server.add(service);
        server.start();
        return server;
    }

    @AfterEach
    void stop() {
        service.gate.countDown();
        if (server != null)
            server.close();
        service.later.shutdownNow();
    }

    static byte[] name_call(int xid, int i) {
        return Wire.hex(Wire.call(xid, PROG, 1, NAME) + Wire.word(i));
    }

    /** The xid of a reply and its NAME result; fails on anything but SUCCESS. */
    static Map.Entry<Integer, String> name_reply(byte[] r) {
        ByteBuffer b = ByteBuffer.wrap(r);
        int xid = b.getInt();
        b.position(20);
        assertEquals(0, b.getInt(), "accept status of xid " + xid);
        byte[] s = new byte[b.getInt()];
        b.get(s);
        return Map.entry(xid, new String(s, StandardCharsets.US_ASCII));
    }

    static void await(String what, java.util.function.BooleanSupplier done) throws InterruptedException {
        long until = System.nanoTime() + 10_000_000_000L;
        while (!done.getAsBoolean()) {
            assertTrue(System.nanoTime() < until, what);
            Thread.sleep(5);
        }
    }

    @Test
    void calls_on_one_connection_run_together_and_a_ready_reply_goes_out_first() throws Exception {
        start(new ServerSettings());
        try (Socket s = new Socket(Wire.LOOPBACK, server.tcpPort())) {
            s.setSoTimeout(10_000);
            OutputStream out = s.getOutputStream();
            for (int k = 0; k < 16; k++)
                Wire.send(out, name_call(k + 1, 1000 + k));
            Wire.send(out, name_call(99, 5));
            // Sixteen calls at the gate at once: only concurrent calls get there.
            await("16 calls of one connection running together", () -> service.entered.get() == 16);
            InputStream in = s.getInputStream();
            assertEquals(Map.entry(99, "n5"), name_reply(Wire.receive(in)), "the fast call is answered first");
            service.gate.countDown();
            Map<Integer, String> got = new HashMap<>();
            for (int k = 0; k < 16; k++) {
                Map.Entry<Integer, String> e = name_reply(Wire.receive(in));
                got.put(e.getKey(), e.getValue());
            }
            for (int k = 0; k < 16; k++)
                assertEquals("n" + (1000 + k), got.get(k + 1), "reply to xid " + (k + 1));
        }
    }

    @Test
    void a_connection_at_its_bound_is_not_read_until_a_call_ends() throws Exception {
        start(new ServerSettings().maxCallsPerConnection(4));
        try (Socket s = new Socket(Wire.LOOPBACK, server.tcpPort())) {
            s.setSoTimeout(10_000);
            for (int k = 0; k < 10; k++)
                Wire.send(s.getOutputStream(), name_call(k + 1, 1000 + k));
            await("4 calls running", () -> service.entered.get() == 4);
            Thread.sleep(300);
            assertEquals(4, service.entered.get(), "no call past the bound began");
            service.gate.countDown();
            Map<Integer, String> got = new HashMap<>();
            for (int k = 0; k < 10; k++) {
                Map.Entry<Integer, String> e = name_reply(Wire.receive(s.getInputStream()));
                got.put(e.getKey(), e.getValue());
            }
            assertEquals(10, got.size());
            assertTrue(service.most.get() <= 4, "at most 4 at once, saw " + service.most.get());
        }
    }

    @Test
    void one_call_at_a_time_answers_in_the_order_of_the_calls() throws Exception {
        start(new ServerSettings().maxCallsPerConnection(1));
        try (Socket s = new Socket(Wire.LOOPBACK, server.tcpPort())) {
            s.setSoTimeout(10_000);
            // The earlier calls take longer: with concurrency their replies would come last.
            for (int k = 0; k < 8; k++)
                Wire.send(s.getOutputStream(), name_call(k + 1, 3000 + (8 - k) * 10));
            for (int k = 0; k < 8; k++)
                assertEquals(k + 1, name_reply(Wire.receive(s.getInputStream())).getKey(), "reply " + k);
            assertEquals(1, service.most.get(), "one call at a time");
        }
    }

    @Test
    void a_fast_call_returns_while_another_threads_slow_call_is_outstanding_on_a_shared_client() throws Exception {
        start(new ServerSettings());
        try (GEOPROG_cln c = new GEOPROG_cln(Wire.LOOPBACK, PROG, 1, server.tcpPort(), "tcp")) {
            CompletableFuture<String> slow = CompletableFuture.supplyAsync(() -> {
                try {
                    return c.NAME(1001);
                } catch (rpc_err e) {
                    throw new IllegalStateException(e);
                }
            });
            await("the slow call runs", () -> service.entered.get() == 1);
            assertEquals("n7", c.NAME(7));
            assertFalse(slow.isDone(), "the slow call is still outstanding");
            service.gate.countDown();
            assertEquals("n1001", slow.get(10, TimeUnit.SECONDS));
        }
    }

    @Test
    void ten_thousand_asynchronous_calls_on_one_connection_with_deferred_replies_need_few_threads()
            throws Exception {
        start(new ServerSettings().workerThreads(8).protocols(true, false));
        int n = 10_000;
        try (GEOPROG_cln c = new GEOPROG_cln(Wire.LOOPBACK, PROG, 1, server.tcpPort(), "tcp")) {
            c.getClient().setTimeout(Duration.ofSeconds(60));
            List<CompletableFuture<XDTString>> calls = new ArrayList<>(n);
            int threads = 0;
            for (int k = 0; k < n; k++) {
                calls.add(c.getClient().callAsync(NAME, new XDTint(2000 + k % 1000), new XDTString()));
                if (k % 1000 == 999)
                    threads = Math.max(threads, ManagementFactory.getThreadMXBean().getThreadCount());
            }
            CompletableFuture.allOf(calls.toArray(new CompletableFuture<?>[0])).get(120, TimeUnit.SECONDS);
            for (int k = 0; k < n; k++)
                assertEquals("n" + (2000 + k % 1000), calls.get(k).get().value, "call " + k);
            assertTrue(threads < 100, "threads of client and server together: " + threads);
        }
        assertEquals(n, server.stats().success());
    }

    @Test
    void a_deferred_reply_comes_from_another_thread_and_one_never_given_is_answered_system_err() throws Exception {
        start(new ServerSettings().deferredReplyTimeout(Duration.ofMillis(300)));
        for (String proto : new String[] {"tcp", "udp"}) {
            int port = proto.equals("tcp") ? server.tcpPort() : server.udpPort();
            try (GEOPROG_cln c = new GEOPROG_cln(Wire.LOOPBACK, PROG, 1, port, proto)) {
                c.getClient().setTimeout(Duration.ofSeconds(10));
                assertEquals("n2500", c.NAME(2500));
                rpc_err e = assertThrows(rpc_err.class, () -> c.NAME(-1));
                assertEquals(RpcStatus.SYSTEM_ERROR, e.status(), e.getMessage());
                assertEquals("n3", c.NAME(3), "the connection stays usable");
            }
        }
        assertEquals(2, server.stats().repliesAbandoned());
    }

    @Test
    void a_reply_handle_answers_once_and_outside_a_call_there_is_none() throws Exception {
        assertThrows(IllegalStateException.class, Svc::deferReply);
        CompletableFuture<ReplyHandle> handle = new CompletableFuture<>();
        GeoService s = new GeoService() {
            @Override
            public String NAME(int i) {
                ReplyHandle h = Svc.deferReply();
                assertThrows(IllegalStateException.class, Svc::deferReply, "deferred twice");
                handle.complete(h);
                return "ignored";
            }
        };
        server = new RpcServer(new ServerSettings().address(Wire.LOOPBACK));
        server.add(s);
        server.start();
        try (GEOPROG_cln c = new GEOPROG_cln(Wire.LOOPBACK, PROG, 1, server.tcpPort(), "tcp")) {
            CompletableFuture<XDTString> call = c.getClient().callAsync(NAME, new XDTint(4), new XDTString());
            ReplyHandle h = handle.get(10, TimeUnit.SECONDS);
            assertEquals(NAME, h.call().procedure());
            assertFalse(h.isDone());
            CompletableFuture<XDT> stage = new CompletableFuture<>();
            h.replyWhen(stage);
            stage.complete(new XDTString("later"));
            assertEquals("later", call.get(10, TimeUnit.SECONDS).value);
            assertTrue(h.isDone());
            assertFalse(h.reply(new XDTString("again")), "a second answer does nothing");
            assertFalse(h.systemError());
        }
    }

    @Test
    void a_cancelled_asynchronous_call_is_forgotten_and_its_late_reply_dropped() throws Exception {
        start(new ServerSettings());
        try (GEOPROG_cln c = new GEOPROG_cln(Wire.LOOPBACK, PROG, 1, server.tcpPort(), "tcp")) {
            CompletableFuture<XDTString> slow = c.getClient().callAsync(NAME, new XDTint(1002), new XDTString());
            await("the slow call runs", () -> service.entered.get() == 1);
            assertTrue(slow.cancel(true));
            service.gate.countDown();
            assertEquals("n8", c.NAME(8), "the connection stays usable after the late reply");
            assertTrue(slow.isCancelled());
        }
    }

    @Test
    void a_time_out_names_the_call_and_its_time_out_and_a_refused_connection_says_it_is_local() throws Exception {
        start(new ServerSettings());
        try (GEOPROG_cln c = new GEOPROG_cln(Wire.LOOPBACK, PROG, 1, server.tcpPort(), "tcp")) {
            rpc_err sync = assertThrows(rpc_err.class,
                    () -> c.getClient().call(NAME, new XDTint(1003), new XDTString(), Duration.ofMillis(200)));
            assertEquals(RpcStatus.TIMED_OUT, sync.status());
            assertEquals("RPC: Timed out; program 536871203 version 1 procedure 2 got no reply within 200 ms",
                    sync.getMessage());
            CompletableFuture<XDTString> async = c.getClient().callAsync(NAME, new XDTint(1004), new XDTString(),
                    Duration.ofMillis(250));
            ExecutionException e = assertThrows(ExecutionException.class, () -> async.get(10, TimeUnit.SECONDS));
            assertTrue(e.getCause() instanceof rpc_err r && r.status() == RpcStatus.TIMED_OUT
                    && r.getMessage().endsWith("procedure 2 got no reply within 250 ms"), String.valueOf(e.getCause()));
        }
        int port;
        try (ServerSocket gone = new ServerSocket(0, 1, Wire.LOOPBACK)) {
            port = gone.getLocalPort();
        }
        rpc_err refused = assertThrows(rpc_err.class, () -> new GEOPROG_cln(Wire.LOOPBACK, PROG, 1, port, "tcp"));
        assertEquals(RpcStatus.SYSTEM_ERROR, refused.status());
        assertTrue(refused.getMessage().startsWith("RPC: Local system error; cannot connect to 127.0.0.1 port "
                + port + ": Connection refused"), refused.getMessage());
    }
}
