// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT;

import java.util.concurrent.ConcurrentHashMap;
import java.util.function.Supplier;

/**
 * The runtime's loggers and a rate limit for records that a peer can cause.
 * Every logger is named {@code kelvaro.ZELT.<part>} so that an operator can
 * turn a part on or off by name. Records about limits and hostile input are
 * limited per kind: at most {@link #BURST} in each {@link #WINDOW_NANOS}, and
 * the next record that passes says how many were dropped, so an attacker
 * cannot flood the log while an operator still sees that it happens.
 */
final class RuntimeLog {
    /** Records of one kind let through in each window. */
    static final int BURST = 10;
    /** The window of the rate limit: ten seconds. */
    static final long WINDOW_NANOS = 10_000_000_000L;

    private static final ConcurrentHashMap<String, Window> windows = new ConcurrentHashMap<>();

    private RuntimeLog() {
    }

    /** The logger named {@code kelvaro.ZELT.<part>}. */
    static System.Logger logger(String part) {
        return System.getLogger("kelvaro.ZELT." + part);
    }

    /**
     * Logs a record of the given kind unless that kind has used up its
     * burst in the current window. The message is built only when the
     * record is written.
     */
    static void limited(System.Logger log, System.Logger.Level level, String kind, Supplier<String> message) {
        limited(log, level, kind, message, null);
    }

    /** As {@link #limited(System.Logger, System.Logger.Level, String, Supplier)}, with a throwable's stack trace. */
    static void limited(System.Logger log, System.Logger.Level level, String kind, Supplier<String> message,
            Throwable thrown) {
        if (!log.isLoggable(level)) {
            return;
        }
        long dropped = windows.computeIfAbsent(log.getName() + '/' + kind, k -> new Window()).admit(System.nanoTime());
        if (dropped < 0) {
            return;
        }
        String text = message.get();
        if (dropped != 0)
            text += " (" + dropped + " similar records dropped)";
        if (thrown == null)
            log.log(level, text);
        else
            log.log(level, text, thrown);
    }

    /** One kind's current window: when it began, how many passed and were dropped in it. */
    private static final class Window {
        private long start;
        private int passed;
        private long dropped;

        /** -1 when the record is to be dropped, else how many were dropped before it. */
        synchronized long admit(long now) {
            if (passed == 0 || now - start >= WINDOW_NANOS) {
                start = now;
                passed = 0;
            }
            if (passed >= BURST) {
                dropped++;
                return -1;
            }
            passed++;
            long before = dropped;
            dropped = 0;
            return before;
        }
    }
}
