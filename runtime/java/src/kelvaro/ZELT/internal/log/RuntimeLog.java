// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT.internal.log;

import java.util.concurrent.ConcurrentHashMap;
import java.util.function.Supplier;

/**
 * The runtime's loggers and a rate limit for records that a peer can cause.
 * Every logger is named {@code kelvaro.ZELT.<part>} so that an operator can
 * turn a part on or off by name. Records about limits and hostile input are
 * limited per kind: at most {@link #BURST} in each {@link #WINDOW_NANOS}, and
 * the next record of the kind that is written says how many were left out
 * before it, so an attacker cannot flood the log while an operator still
 * sees that it happens. When no record of the kind comes again, a summary
 * record ("N records of kind K left out") is written once the window has
 * ended, so that a burst that stops is still counted in the log.
 */
public final class RuntimeLog {
    /** Records of one kind let through in each window. */
    static final int BURST = 10;
    /** The window of the rate limit: ten seconds. */
    static final long WINDOW_NANOS = 10_000_000_000L;

    /** The window in force: {@link #WINDOW_NANOS}, shorter in tests. */
    static volatile long window_nanos = WINDOW_NANOS;

    private static final ConcurrentHashMap<String, Window> windows = new ConcurrentHashMap<>();

    private RuntimeLog() {
    }

    /**
     * The logger named {@code kelvaro.ZELT.<part>}.
     *
     * @param part the part of the runtime
     * @return the logger
     */
    public static System.Logger logger(String part) {
        return System.getLogger("kelvaro.ZELT." + part);
    }

    /**
     * Logs a record of the given kind unless that kind has used up its
     * burst in the current window. The message is built only when the
     * record is written.
     *
     * @param log the logger
     * @param level the record's level
     * @param kind the kind the limit counts
     * @param message the text, asked for only when written
     */
    public static void limited(System.Logger log, System.Logger.Level level, String kind, Supplier<String> message) {
        limited(log, level, kind, message, null);
    }

    /**
     * As {@link #limited(System.Logger, System.Logger.Level, String, Supplier)}, with a throwable's stack trace.
     *
     * @param log the logger
     * @param level the record's level
     * @param kind the kind the limit counts
     * @param message the text, asked for only when written
     * @param thrown the throwable
     */
    public static void limited(System.Logger log, System.Logger.Level level, String kind, Supplier<String> message,
            Throwable thrown) {
        if (!log.isLoggable(level)) {
            return;
        }
        Window w = windows.computeIfAbsent(log.getName() + '/' + kind, k -> new Window(log, level, kind));
        long dropped = w.admit(System.nanoTime());
        if (dropped < 0) {
            return;
        }
        String text = message.get();
        if (dropped != 0)
            text += " (" + dropped + " similar records left out before this one)";
        if (thrown == null)
            log.log(level, text);
        else
            log.log(level, text, thrown);
    }

    /** Writes the summaries of kinds that were left out and not written again; one daemon thread, made when needed. */
    private static final java.util.concurrent.ScheduledThreadPoolExecutor FLUSHER = flusher();

    private static java.util.concurrent.ScheduledThreadPoolExecutor flusher() {
        java.util.concurrent.ScheduledThreadPoolExecutor e = new java.util.concurrent.ScheduledThreadPoolExecutor(1,
                r -> {
                    Thread t = new Thread(r, "kelvaro-zelt log");
                    t.setDaemon(true);
                    return t;
                });
        e.setKeepAliveTime(5, java.util.concurrent.TimeUnit.SECONDS);
        e.allowCoreThreadTimeOut(true);
        return e;
    }

    /** One kind's current window: when it began, how many passed and were dropped in it. */
    private static final class Window {
        private final System.Logger log;
        private final System.Logger.Level level;
        private final String kind;
        private long start;
        private int passed;
        private long dropped;
        private boolean flush_due; // a summary is scheduled

        Window(System.Logger log, System.Logger.Level level, String kind) {
            this.log = log;
            this.level = level;
            this.kind = kind;
        }

        /** -1 when the record is to be dropped, else how many were dropped before it. */
        synchronized long admit(long now) {
            if (passed == 0 || now - start >= window_nanos) {
                start = now;
                passed = 0;
            }
            if (passed >= BURST) {
                if (dropped++ == 0 && !flush_due) {
                    flush_due = true;
                    long delay = start + window_nanos - now;
                    FLUSHER.schedule(this::flush, Math.max(1, delay), java.util.concurrent.TimeUnit.NANOSECONDS);
                }
                return -1;
            }
            passed++;
            long before = dropped;
            dropped = 0;
            return before;
        }

        /** At the end of a window with records left out: says how many, unless a later record said it already. */
        void flush() {
            long n;
            synchronized (this) {
                flush_due = false;
                n = dropped;
                if (n == 0)
                    return;
                long now = System.nanoTime();
                if (now - start < window_nanos) { // a new window began meanwhile: summarize at its end
                    flush_due = true;
                    FLUSHER.schedule(this::flush, Math.max(1, start + window_nanos - now),
                            java.util.concurrent.TimeUnit.NANOSECONDS);
                    return;
                }
                dropped = 0;
            }
            log.log(level, n + " records of kind " + kind + " left out by the rate limit of " + BURST
                    + " every " + window_nanos / 1_000_000L + " ms");
        }
    }
}
