// SPDX-License-Identifier: Apache-2.0
import java.io.DataInputStream;
import java.io.IOException;
import java.io.OutputStream;
import java.lang.management.ManagementFactory;
import java.net.InetAddress;
import java.net.Socket;
import java.nio.ByteBuffer;
import java.util.ArrayList;
import java.util.List;
import java.util.concurrent.CompletableFuture;
import java.util.concurrent.TimeUnit;
import java.util.concurrent.atomic.AtomicLong;
import kelvaro.ZELT.*;

/**
 * How a server serves calls that are in flight together, against the
 * benchmark's Java or C server (bench.x; see concurrency.sh):
 *
 *   java ConcurrencyBench PORT pipe16            16 SLEEP_MS(200) written back to back on one connection: seconds
 *   java ConcurrencyBench PORT threads16         16 threads on one client, SLEEP_MS(200) each: seconds
 *   java ConcurrencyBench PORT beside            ECHO_INT while another thread's SLEEP_MS(3000) is out: ms
 *   java ConcurrencyBench PORT async N MS        N LATER_MSAsync(MS) from one thread on one connection: seconds
 *   java ConcurrencyBench PORT inflight N PROC ARG SECONDS   N calls kept in flight on one connection: calls/s
 *   java ConcurrencyBench PORT callers N PROC ARG SECONDS    N threads sharing one client: calls/s
 *
 * PROC is ECHO_INT or SLEEP_MS. Every reply is checked (its xid and the
 * argument it echoes); a wrong one ends the run with status 1. Prints one
 * line: the figure, then "threads=N" for the runs where this JVM's thread
 * count matters.
 */
public class ConcurrencyBench {
    static final int PROG = 0x20000BE0;
    static final InetAddress LO = InetAddress.getLoopbackAddress();

    static int proc(String name) {
        switch (name) {
        case "ECHO_INT": return 1;
        case "SLEEP_MS": return 4;
        case "LATER_MS": return 5;
        default: throw new IllegalArgumentException("procedure " + name);
        }
    }

    /** One call record, record mark included. */
    static void put_call(ByteBuffer b, int xid, int proc, int arg) {
        b.putInt(0x80000000 | 44).putInt(xid).putInt(0).putInt(2).putInt(PROG).putInt(1).putInt(proc)
                .putInt(0).putInt(0).putInt(0).putInt(0).putInt(arg);
    }

    /** Reads one reply record; returns its xid after checking it answers arg. */
    static int take_reply(DataInputStream in, int expect_arg_of_xid_mask) throws IOException {
        int h = in.readInt();
        byte[] r = new byte[h & 0x7fffffff];
        in.readFully(r);
        if (h >= 0 || r.length != 28)
            throw new IOException("unexpected reply record of " + r.length + " bytes");
        ByteBuffer b = ByteBuffer.wrap(r);
        int xid = b.getInt();
        if (b.getInt(20) != 0)
            throw new IOException("accept status " + b.getInt(20));
        int v = b.getInt(24);
        if (expect_arg_of_xid_mask != 0 && v != (xid & expect_arg_of_xid_mask))
            throw new IOException("reply to xid " + xid + " carries " + v);
        return xid;
    }

    static BENCH_PROG_cln client(int port) throws rpc_err {
        BENCH_PROG_cln c = new BENCH_PROG_cln(LO, PROG, 1, port, "tcp");
        c.getClient().setTimeout(java.time.Duration.ofSeconds(120));
        return c;
    }

    static int threads() {
        return ManagementFactory.getThreadMXBean().getThreadCount();
    }

    public static void main(String[] args) throws Exception {
        int port = Integer.parseInt(args[0]);
        String mode = args[1];
        switch (mode) {
        case "pipe16": {
            try (Socket s = new Socket(LO, port)) {
                s.setTcpNoDelay(true);
                ByteBuffer b = ByteBuffer.allocate(16 * 48);
                for (int k = 0; k < 16; k++)
                    put_call(b, 200 + k * 0x10000, proc("SLEEP_MS"), 200);
                long t0 = System.nanoTime();
                s.getOutputStream().write(b.array(), 0, b.position());
                DataInputStream in = new DataInputStream(s.getInputStream());
                for (int k = 0; k < 16; k++)
                    take_reply(in, 0xffff);
                System.out.printf("%.3f%n", (System.nanoTime() - t0) / 1e9);
            }
            break;
        }
        case "threads16": {
            try (BENCH_PROG_cln c = client(port)) {
                c.SLEEP_MS(1); // connected and warm
                List<Thread> ts = new ArrayList<>();
                AtomicLong bad = new AtomicLong();
                long t0 = System.nanoTime();
                for (int k = 0; k < 16; k++) {
                    Thread t = new Thread(() -> {
                        try {
                            if (c.SLEEP_MS(200) != 200)
                                bad.incrementAndGet();
                        } catch (rpc_err e) {
                            bad.incrementAndGet();
                        }
                    });
                    t.start();
                    ts.add(t);
                }
                for (Thread t : ts)
                    t.join();
                if (bad.get() != 0)
                    throw new IllegalStateException(bad.get() + " calls failed");
                System.out.printf("%.3f%n", (System.nanoTime() - t0) / 1e9);
            }
            break;
        }
        case "beside": {
            try (BENCH_PROG_cln c = client(port)) {
                c.ECHO_INT(1);
                CompletableFuture<Integer> slow = CompletableFuture.supplyAsync(() -> {
                    try {
                        return c.SLEEP_MS(3000);
                    } catch (rpc_err e) {
                        throw new IllegalStateException(e);
                    }
                });
                Thread.sleep(200);
                long t0 = System.nanoTime();
                if (c.ECHO_INT(7) != 7)
                    throw new IllegalStateException("wrong echo");
                long ns = System.nanoTime() - t0;
                boolean outstanding = !slow.isDone();
                slow.get(30, TimeUnit.SECONDS);
                System.out.printf("%.1f ms%s%n", ns / 1e6, outstanding ? "" : " (the slow call had ended)");
            }
            break;
        }
        case "async": {
            int n = Integer.parseInt(args[2]);
            int ms = Integer.parseInt(args[3]);
            try (BENCH_PROG_cln c = client(port)) {
                c.ECHO_INT(1);
                List<CompletableFuture<Integer>> calls = new ArrayList<>(n);
                int most = threads();
                long t0 = System.nanoTime();
                for (int k = 0; k < n; k++) {
                    calls.add(c.LATER_MSAsync(ms));
                    if (k % 500 == 0)
                        most = Math.max(most, threads());
                }
                for (CompletableFuture<Integer> f : calls) {
                    if (f.get(120, TimeUnit.SECONDS) != ms)
                        throw new IllegalStateException("wrong result");
                    most = Math.max(most, threads());
                }
                System.out.printf("%.3f threads=%d%n", (System.nanoTime() - t0) / 1e9, most);
            }
            break;
        }
        case "inflight": {
            int n = Integer.parseInt(args[2]);
            int proc = proc(args[3]);
            int arg = Integer.parseInt(args[4]);
            double seconds = Double.parseDouble(args[5]);
            try (Socket s = new Socket(LO, port)) {
                s.setTcpNoDelay(true);
                OutputStream out = s.getOutputStream();
                DataInputStream in = new DataInputStream(new java.io.BufferedInputStream(s.getInputStream(), 65536));
                ByteBuffer one = ByteBuffer.allocate(48);
                int xid = 1;
                ByteBuffer b = ByteBuffer.allocate(n * 48);
                for (int k = 0; k < n; k++)
                    put_call(b, xid++, proc, arg);
                out.write(b.array(), 0, b.position());
                long warm_until = System.nanoTime() + 2_000_000_000L;
                long count = 0, t0 = 0, end = Long.MAX_VALUE;
                while (true) {
                    take_reply(in, 0);
                    long now = System.nanoTime();
                    if (t0 == 0 && now - warm_until >= 0) {
                        t0 = now;
                        end = now + (long) (seconds * 1e9);
                    } else if (t0 != 0) {
                        count++;
                        if (now - end >= 0)
                            break;
                    }
                    one.clear();
                    put_call(one, xid++, proc, arg);
                    out.write(one.array(), 0, one.position());
                }
                System.out.printf("%.0f%n", count / ((System.nanoTime() - t0) / 1e9));
            }
            break;
        }
        case "callers": {
            int n = Integer.parseInt(args[2]);
            String proc = args[3];
            int arg = Integer.parseInt(args[4]);
            double seconds = Double.parseDouble(args[5]);
            try (BENCH_PROG_cln c = client(port)) {
                c.ECHO_INT(1);
                AtomicLong done = new AtomicLong();
                AtomicLong bad = new AtomicLong();
                long warm = 2_000_000_000L;
                long start = System.nanoTime();
                long t0 = start + warm, end = t0 + (long) (seconds * 1e9);
                List<Thread> ts = new ArrayList<>();
                for (int k = 0; k < n; k++) {
                    Thread t = new Thread(() -> {
                        try {
                            while (true) {
                                int r = proc.equals("SLEEP_MS") ? c.SLEEP_MS(arg) : c.ECHO_INT(arg);
                                long now = System.nanoTime();
                                if (r != arg)
                                    bad.incrementAndGet();
                                if (now - end >= 0)
                                    return;
                                if (now - t0 >= 0)
                                    done.incrementAndGet();
                            }
                        } catch (rpc_err e) {
                            bad.incrementAndGet();
                        }
                    });
                    t.start();
                    ts.add(t);
                }
                for (Thread t : ts)
                    t.join();
                if (bad.get() != 0)
                    throw new IllegalStateException(bad.get() + " calls failed");
                System.out.printf("%.0f%n", done.get() / seconds);
            }
            break;
        }
        default:
            System.err.println("usage: see the class comment");
            System.exit(2);
        }
    }
}
