// SPDX-License-Identifier: Apache-2.0
import java.util.concurrent.atomic.AtomicLong;
import kelvaro.ZELT.*;

/**
 * The benchmark's Java server, on the server class vorlith writes from
 * bench.x: ECHO_INT and ECHO_BLOB answer with their argument, STATS with the
 * number of echo calls served and the bytes this JVM's threads have
 * allocated so far (Allocation.total: the threads that serve the
 * connections, and the main thread, which only sleeps). SLEEP_MS sleeps on
 * the serving thread; LATER_MS defers its reply ({@code Svc.deferReply})
 * and answers from a timer thread.
 *
 *   java BenchServer [-x N] [-l SECONDS]
 *
 * Listens on a free port for TCP and UDP, prints "ready PORT UDP_PORT" and
 * serves until SIGTERM or
 * SIGINT, or for -l SECONDS (default 3600). It does not register with the
 * portmapper. With -x N every N-th echo is altered on purpose (one bit), so
 * that a test can see the clients catch it.
 */
public class BenchServer extends BENCH_PROG_svcb {
    private final AtomicLong calls = new AtomicLong();
    private final long corrupt_every;

    BenchServer(long corrupt_every) {
        this.corrupt_every = corrupt_every;
    }

    private boolean corrupt_this(long call) {
        return corrupt_every != 0 && call % corrupt_every == 0;
    }

    public int ECHO_INT(int in_arg) {
        return corrupt_this(calls.incrementAndGet()) ? in_arg ^ 1 : in_arg;
    }

    public blob ECHO_BLOB(blob in_arg) {
        if (corrupt_this(calls.incrementAndGet()) && in_arg.value != null && in_arg.value.length > 0)
            in_arg.value[in_arg.value.length - 1] ^= 1;
        return in_arg;
    }

    /** Sleeps on the serving thread, then answers. */
    public int SLEEP_MS(int ms) {
        try {
            Thread.sleep(Math.max(0, Math.min(ms, 60_000)));
        } catch (InterruptedException e) {
            Thread.currentThread().interrupt();
        }
        return ms;
    }

    private static final java.util.concurrent.ScheduledExecutorService LATER =
            java.util.concurrent.Executors.newSingleThreadScheduledExecutor(r -> {
                Thread t = new Thread(r, "bench later");
                t.setDaemon(true);
                return t;
            });

    /** Defers the reply and gives it that many milliseconds later from another thread: holds no serving thread. */
    public int LATER_MS(int ms) {
        ReplyHandle reply = Svc.deferReply();
        LATER.schedule(() -> reply.reply(new XDTint(ms)), Math.max(0, Math.min(ms, 60_000)),
                java.util.concurrent.TimeUnit.MILLISECONDS);
        return 0; // ignored: the handle answers
    }

    public bench_stats STATS() {
        bench_stats s = new bench_stats();
        s.calls = calls.get();
        s.allocated = Allocation.total();
        return s;
    }

    public static void main(String[] args) throws Exception {
        long corrupt_every = 0;
        long lifetime = 3600;
        for (int i = 0; i < args.length; i += 2) {
            String option = args[i];
            if (i + 1 >= args.length || !(option.equals("-x") || option.equals("-l"))) {
                System.err.println("usage: java BenchServer [-x N] [-l SECONDS]");
                System.exit(2);
            }
            if (option.equals("-x"))
                corrupt_every = Long.parseLong(args[i + 1]);
            else
                lifetime = Long.parseLong(args[i + 1]);
        }
        BenchServer server = new BenchServer(corrupt_every);
        int port = server.start(0);
        Runtime.getRuntime().addShutdownHook(new Thread(server::stop));
        System.out.println("ready " + port + " " + server.udpPort());
        System.out.flush();
        Thread.sleep(lifetime * 1000L);
        System.exit(0);
    }
}
