// SPDX-License-Identifier: Apache-2.0
import java.net.InetAddress;
import java.util.Arrays;
import java.util.concurrent.CountDownLatch;
import java.util.concurrent.CyclicBarrier;
import java.util.concurrent.atomic.AtomicBoolean;
import kelvaro.ZELT.*;

/**
 * The benchmark's Java client, on the client class vorlith writes from
 * bench.x: one or more threads share one client object and call one
 * procedure on 127.0.0.1 for a given time, checking every reply.
 *
 *   java BenchClient -p PORT [-u UDP_PORT] [-m int|blob] [-s BYTES]
 *                    [-t SECONDS] [-w SECONDS] [-n THREADS] [-i SECONDS]
 *
 * The options mean what they mean for bench_rpc_cln (-n: threads, -i: the
 * first thread prints its rate every this many seconds); with -u the
 * client object, STATS included, goes over UDP to that port. Each thread sends
 * values no other thread sends (its number in the top byte of each int, or
 * in the first bytes of each blob, with a sequence number) and checks that
 * each reply is exactly what it sent. The threads warm up, then start their
 * timed calls together; STATS, asked just before and after, must count
 * exactly the timed calls made.
 *
 * Prints one line:
 *   threads=N calls=C seconds=S calls_per_s=R served=D
 *   caller_alloc_per_call=A client_alloc_per_call=B server_alloc_per_call=E
 * A: bytes the calling threads allocated per timed call; B: the same for
 * every thread of this JVM; E: what the server reports (-1: not measured).
 * Exit status 0 when every check passed, 1 otherwise, 2 on a usage error.
 */
public class BenchClient {
    private final BENCH_PROG_cln client;
    private final boolean blob_mode;
    private final int size;
    private final AtomicBoolean failed = new AtomicBoolean();

    BenchClient(BENCH_PROG_cln client, boolean blob_mode, int size) {
        this.client = client;
        this.blob_mode = blob_mode;
        this.size = size;
    }

    /** One thread's calls: its number, buffers and counts. */
    final class Caller {
        final int id;
        int seq;
        final blob out = new blob();
        long calls;
        long allocated;
        double elapsed;

        Caller(int id) {
            this.id = id;
            out.value = new byte[size];
        }

        /**
         * Calls until the time end (of now()), counting the calls that
         * succeed; with interval > 0 prints the rate every interval seconds.
         * The warm-up and the timed calls both run this method, so that the
         * timed calls start on the loop the JIT compiled during the warm-up
         * rather than on a second loop of their own, still interpreted.
         * Returns the time it stopped.
         */
        double calls_until(double end, double interval) {
            double t = now(), last = t, t0 = t;
            long reported = 0;
            while (!failed.get() && t < end) {
                if (call_once())
                    calls++;
                t = now();
                if (interval > 0 && t >= last + interval) {
                    System.out.printf("interval t=%.1f calls_per_s=%.0f%n", t - t0, (calls - reported) / (t - last));
                    reported = calls;
                    last = t;
                }
            }
            return t;
        }

        /** One call with a value only this thread sends; true when the reply is it. */
        boolean call_once() {
            int n = seq++;
            try {
                if (!blob_mode) {
                    int v = (id << 24) | (n & 0xffffff);
                    int r = client.ECHO_INT(v);
                    if (r == v)
                        return true;
                    return fail("thread " + id + ": sent " + v + ", got " + r + " back");
                }
                byte[] b = out.value;
                // The tag: id, 0, 0, 0, then the sequence number, big-endian.
                for (int k = 0; k < 8 && k < b.length; k++)
                    b[k] = k == 0 ? (byte) id : k < 4 ? 0 : (byte) (n >>> (8 * (7 - k)));
                if (b.length > 8)
                    Arrays.fill(b, 8, b.length, (byte) (id * 37 + n));
                blob r = client.ECHO_BLOB(out);
                if (r != null && Arrays.equals(r.value, b))
                    return true;
                return fail("thread " + id + ": call " + n + ": the " + b.length + " bytes sent came back altered");
            } catch (rpc_err e) {
                return fail("thread " + id + ": call " + n + " failed: " + e.getMessage());
            }
        }
    }

    boolean fail(String message) {
        failed.set(true);
        System.err.println("BenchClient: " + message);
        return false;
    }

    static double now() {
        return System.nanoTime() / 1e9;
    }

    static void usage() {
        System.err.println("usage: java BenchClient -p PORT [-u UDP_PORT] [-m int|blob] [-s BYTES] [-t SECONDS]"
                + " [-w SECONDS] [-n THREADS] [-i SECONDS]");
        System.exit(2);
    }

    public static void main(String[] args) throws Exception {
        int port = 0, udp_port = 0, size = 65536, threads = 1;
        boolean blob_mode = false;
        double seconds = 5, warmup = 1, interval = 0;
        for (int i = 0; i < args.length; i += 2) {
            if (i + 1 >= args.length)
                usage();
            String v = args[i + 1];
            switch (args[i]) {
                case "-p" -> port = Integer.parseInt(v);
                case "-u" -> udp_port = Integer.parseInt(v);
                case "-m" -> {
                    if (!v.equals("int") && !v.equals("blob"))
                        usage();
                    blob_mode = v.equals("blob");
                }
                case "-s" -> size = Integer.parseInt(v);
                case "-t" -> seconds = Double.parseDouble(v);
                case "-w" -> warmup = Double.parseDouble(v);
                case "-n" -> threads = Integer.parseInt(v);
                case "-i" -> interval = Double.parseDouble(v);
                default -> usage();
            }
        }
        if (port <= 0 && udp_port <= 0 || threads < 1 || threads > 255 || !(seconds > 0) || warmup < 0 || size < 0)
            usage();

        BENCH_PROG_cln client = new BENCH_PROG_cln(InetAddress.getLoopbackAddress(),
                BENCH_PROG._def_pno, BENCH_PROG._def_vno, udp_port > 0 ? udp_port : port, udp_port > 0 ? "udp" : "tcp");
        BenchClient bench = new BenchClient(client, blob_mode, size);
        System.exit(bench.run(threads, seconds, warmup, interval));
    }

    int run(int threads, double seconds, double warmup, double interval) throws Exception {
        CyclicBarrier ready = new CyclicBarrier(threads + 1);
        CyclicBarrier go = new CyclicBarrier(threads + 1);
        CyclicBarrier done = new CyclicBarrier(threads + 1);
        // The callers stay alive until the JVM's count is read: an ended
        // thread's allocation after its last reading would be missed.
        CountDownLatch counted = new CountDownLatch(1);
        Caller[] callers = new Caller[threads];
        Thread[] workers = new Thread[threads];
        for (int i = 0; i < threads; i++) {
            Caller c = callers[i] = new Caller(i + 1);
            boolean reports = i == 0 && interval > 0;
            workers[i] = new Thread(() -> {
                try {
                    c.calls_until(now() + warmup, 0);
                    ready.await();
                    go.await();
                    c.calls = 0;
                    long a0 = Allocation.current_thread();
                    double t0 = now();
                    double t = c.calls_until(t0 + seconds, reports ? interval : 0);
                    c.allocated = Allocation.current_thread() - a0;
                    c.elapsed = t - t0;
                    done.await();
                    counted.await();
                } catch (Exception e) {
                    fail("thread " + c.id + ": " + e);
                    ready.reset();
                    go.reset();
                    done.reset();
                }
            }, "caller " + (i + 1));
            workers[i].setDaemon(true);
            workers[i].start();
        }
        try {
            ready.await();
            bench_stats before = client.STATS();
            long jvm0 = Allocation.total();
            go.await();
            done.await();
            long jvm1 = Allocation.total();
            counted.countDown();
            bench_stats after = client.STATS();
            if (failed.get())
                return 1;
            long calls = 0, allocated = 0;
            double longest = 0;
            for (Caller c : callers) {
                calls += c.calls;
                allocated += c.allocated;
                longest = Math.max(longest, c.elapsed);
            }
            long served = after.calls - before.calls;
            double server_alloc = before.allocated < 0 || served == 0
                    ? -1 : (double) (after.allocated - before.allocated) / served;
            System.out.printf("threads=%d calls=%d seconds=%.3f calls_per_s=%.1f served=%d"
                    + " caller_alloc_per_call=%.0f client_alloc_per_call=%.0f server_alloc_per_call=%.0f%n",
                    threads, calls, longest, calls / longest, served,
                    (double) allocated / calls, (double) (jvm1 - jvm0) / calls, server_alloc);
            if (served != calls) {
                System.err.println("BenchClient: the server served " + served + " calls, the clients made " + calls);
                return 1;
            }
            return 0;
        } catch (java.util.concurrent.BrokenBarrierException | rpc_err e) {
            fail(e.toString());
            return 1;
        }
    }
}
