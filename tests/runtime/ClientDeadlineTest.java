// SPDX-License-Identifier: Apache-2.0
import static org.junit.jupiter.api.Assertions.*;

import java.io.IOException;
import java.io.OutputStream;
import java.time.Duration;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.concurrent.atomic.AtomicBoolean;
import kelvaro.ZELT.*;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;

/**
 * A TCP client against servers that answer slowly, in bad fragments or not
 * at all: every caller of a shared client returns by its own deadline,
 * the one reading the connection for the others included.
 */
class ClientDeadlineTest {
    /** Longest a hostile server keeps at it; far past every time-out here. */
    static final long HOSTILE_MS = 30_000;
    /** A caller counts as hanging once it is this far past its deadline. */
    static final long HANG_MS = 6_000;

    /** Writes bytes as the behaviour says until the client goes away, the test is over or HOSTILE_MS pass. */
    static void misbehave(String behaviour, byte[] call, OutputStream out, AtomicBoolean over) throws IOException {
        long end = System.currentTimeMillis() + HOSTILE_MS;
        byte[] xid = Arrays.copyOf(call, 4);
        switch (behaviour) {
        case "trickle" -> {
            // A reply of 1,000 bytes announced, then a byte every 50 ms: 50 s for the record.
            out.write(Wire.concat(Wire.hex("800003e8"), xid));
            while (!over.get() && System.currentTimeMillis() < end) {
                out.write(0);
                out.flush();
                pause(50);
            }
        }
        case "header" -> {
            out.write(Wire.hex("800003e8"));
            out.flush();
            while (!over.get() && System.currentTimeMillis() < end)
                pause(50);
        }
        case "empty" -> {
            byte[] headers = new byte[4096]; // 1,024 empty fragments, none of them the last
            while (!over.get() && System.currentTimeMillis() < end)
                out.write(headers);
        }
        case "tiny" -> {
            byte[] fragments = new byte[5 * 1000]; // fragments of one byte each, none of them the last
            for (int i = 0; i < fragments.length; i += 5) {
                fragments[i + 3] = 1;
                fragments[i + 4] = xid[(i / 5) % 4];
            }
            while (!over.get() && System.currentTimeMillis() < end)
                out.write(fragments);
        }
        case "silence" -> {
            while (!over.get() && System.currentTimeMillis() < end)
                pause(50);
        }
        default -> throw new IllegalArgumentException(behaviour);
        }
    }

    static void pause(long ms) {
        try {
            Thread.sleep(ms);
        } catch (InterruptedException e) {
            Thread.currentThread().interrupt();
        }
    }

    /** One caller on its own thread: what its call ended with, and when. */
    static final class Caller extends Thread {
        final GEOPROG_cln client;
        final int arg;
        final long timeout_ms;
        volatile Object outcome; // the result, or the rpc_err
        volatile long elapsed_ms = -1;

        Caller(GEOPROG_cln client, int arg, long timeout_ms) {
            this.client = client;
            this.arg = arg;
            this.timeout_ms = timeout_ms;
            setDaemon(true);
        }

        @Override
        public void run() {
            long t0 = System.nanoTime();
            try {
                outcome = client.NAME(arg);
            } catch (rpc_err e) {
                outcome = e;
            } catch (RuntimeException e) {
                outcome = e;
            }
            elapsed_ms = (System.nanoTime() - t0) / 1_000_000;
        }

        /** Waits for the call's end, at most until it counts as hanging. */
        void await_end() throws InterruptedException {
            join(timeout_ms + HANG_MS);
        }

        String describe() {
            return "caller " + arg + " (time-out " + timeout_ms + " ms): "
                    + (isAlive() ? "still waiting" : outcome + " after " + elapsed_ms + " ms");
        }
    }

    @ParameterizedTest(name = "{0}")
    @CsvSource(delimiter = '|', value = {
        // what the server does                | how  | the reader's call ends | the others' calls end
        "a reply trickled a byte every 50 ms   | trickle | TIMED_OUT CANT_RECV | TIMED_OUT CANT_RECV",
        "a record header, then nothing         | header  | TIMED_OUT CANT_RECV | TIMED_OUT CANT_RECV",
        "empty fragments without end           | empty   | CANT_RECV           | TIMED_OUT CANT_RECV",
        "one-byte fragments without end        | tiny    | CANT_RECV           | TIMED_OUT CANT_RECV",
        "no reply at all                       | silence | TIMED_OUT           | TIMED_OUT",
    })
    void every_caller_of_a_shared_client_returns_by_its_deadline(String what, String behaviour, String reader_ends,
            String others_end) throws Exception {
        AtomicBoolean over = new AtomicBoolean();
        // The first call meets the behaviour; the calls behind it on the connection are never answered.
        try (Scripted peer = Scripted.tcp((n, call, out) -> {
                    if (n == 0)
                        misbehave(behaviour, call, out, over);
                    return null;
                });
                GEOPROG_cln c = new GEOPROG_cln(Wire.LOOPBACK, GEOPROG._def_pno, 1, peer.port(), "tcp")) {
            c.getClient().setTimeout(Duration.ofMillis(1000));
            List<Caller> callers = new ArrayList<>();
            // The first caller starts alone, so that it is the one reading the connection.
            callers.add(new Caller(c, 1, 1000));
            callers.get(0).start();
            while (peer.calls.isEmpty())
                Thread.sleep(5);
            for (int i = 2; i <= 4; i++) {
                Caller k = new Caller(c, i, 1000);
                callers.add(k);
                k.start();
            }
            for (Caller k : callers)
                k.await_end();
            over.set(true);
            // A call that had not gone out when the connection broke goes on a new one,
            // where the server never answers it.
            for (Caller k : callers) {
                assertFalse(k.isAlive(), what + ": " + k.describe());
                List<String> allowed = List.of((k == callers.get(0) ? reader_ends : others_end).split(" "));
                assertTrue(k.outcome instanceof rpc_err e && allowed.contains(e.status().name()), what + ": " + k.describe());
            }
        } finally {
            over.set(true);
        }
    }

    @Test
    void a_caller_whose_deadline_passes_while_another_reads_times_out_at_once() throws Exception {
        AtomicBoolean over = new AtomicBoolean();
        try (Scripted peer = Scripted.tcp((n, call, out) -> {
                    if (n == 0)
                        misbehave("trickle", call, out, over);
                    return null;
                });
                GEOPROG_cln c = new GEOPROG_cln(Wire.LOOPBACK, GEOPROG._def_pno, 1, peer.port(), "tcp")) {
            // The reader has a long time-out; the other caller a short one, and the client's
            // time-out (which bounds the reply record) is the long one.
            c.getClient().setTimeout(Duration.ofMillis(3000));
            Caller reader = new Caller(c, 1, 3000);
            reader.start();
            while (peer.calls.isEmpty())
                Thread.sleep(5);
            Thread.sleep(300); // the reply record has begun, under the long time-out
            c.getClient().setTimeout(Duration.ofMillis(300));
            Caller other = new Caller(c, 2, 300);
            other.start();
            other.await_end();
            boolean reader_still_reading = reader.isAlive();
            reader.await_end();
            over.set(true);
            assertTrue(other.outcome instanceof rpc_err e && e.status() == RpcStatus.TIMED_OUT, other.describe());
            assertTrue(reader_still_reading, "the other caller returned before the reader's deadline; " + reader.describe());
            assertFalse(reader.isAlive(), reader.describe());
            assertTrue(reader.outcome instanceof rpc_err e
                    && (e.status() == RpcStatus.TIMED_OUT || e.status() == RpcStatus.CANT_RECV), reader.describe());
        } finally {
            over.set(true);
        }
    }

    @Test
    void a_large_call_the_server_never_reads_ends_at_its_deadline() throws Exception {
        try (java.net.ServerSocket deaf = new java.net.ServerSocket(0, 1, Wire.LOOPBACK);
                GEOPROG_cln c = new GEOPROG_cln(Wire.LOOPBACK, GEOPROG._def_pno, 1, deaf.getLocalPort(), "tcp")) {
            c.getClient().setTimeout(Duration.ofMillis(1000));
            polygon big = Wire.polygon("big");
            big.blob = new byte[8 << 20]; // far more than the socket buffers hold
            long t0 = System.nanoTime();
            rpc_err e = assertThrows(rpc_err.class, () -> c.ECHO(big));
            long ms = (System.nanoTime() - t0) / 1_000_000;
            assertEquals(RpcStatus.TIMED_OUT, e.status(), e.getMessage());
            assertTrue(ms >= 900 && ms < 1000 + HANG_MS, "returned after " + ms + " ms");
        }
    }
}
