// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT.internal.log;

import static org.junit.jupiter.api.Assertions.*;

import java.util.List;
import java.util.ResourceBundle;
import java.util.concurrent.CopyOnWriteArrayList;
import java.util.function.Supplier;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.Test;

/** The rate limit of peer-caused log records says how many it left out, also when no record of the kind comes again. */
class RuntimeLogTest {
    /** A logger that keeps what it is given. */
    static final class Kept implements System.Logger {
        final List<String> records = new CopyOnWriteArrayList<>();

        @Override
        public String getName() {
            return "kelvaro.ZELT.test";
        }

        @Override
        public boolean isLoggable(Level level) {
            return true;
        }

        @Override
        public void log(Level level, ResourceBundle bundle, String msg, Throwable thrown) {
            records.add(msg);
        }

        @Override
        public void log(Level level, ResourceBundle bundle, String format, Object... params) {
            records.add(format);
        }
    }

    @AfterEach
    void restore() {
        RuntimeLog.window_nanos = RuntimeLog.WINDOW_NANOS;
    }

    @Test
    void a_burst_that_stops_is_summed_up_once_its_window_ends() throws Exception {
        RuntimeLog.window_nanos = 300_000_000L;
        Kept log = new Kept();
        for (int i = 0; i < 1000; i++) {
            int n = i;
            Supplier<String> text = () -> "fault " + n;
            RuntimeLog.limited(log, System.Logger.Level.WARNING, "burst-that-stops", text);
        }
        assertEquals(RuntimeLog.BURST, log.records.size());
        long until = System.nanoTime() + 10_000_000_000L;
        while (log.records.size() == RuntimeLog.BURST && System.nanoTime() < until)
            Thread.sleep(20);
        assertEquals(RuntimeLog.BURST + 1, log.records.size(), log.records.toString());
        assertEquals("990 records of kind burst-that-stops left out by the rate limit of 10 every 300 ms",
                log.records.get(RuntimeLog.BURST));
        Thread.sleep(400);
        assertEquals(RuntimeLog.BURST + 1, log.records.size(), "summed up once");
        RuntimeLog.limited(log, System.Logger.Level.WARNING, "burst-that-stops", () -> "fault again");
        assertEquals("fault again", log.records.get(RuntimeLog.BURST + 1), "nothing left to count");
    }

    @Test
    void the_next_record_of_a_kind_says_how_many_were_left_out_before_it() throws Exception {
        RuntimeLog.window_nanos = 2_000_000_000L;
        Kept log = new Kept();
        for (int i = 0; i < 15; i++)
            RuntimeLog.limited(log, System.Logger.Level.WARNING, "burst-then-more", () -> "fault");
        assertEquals(RuntimeLog.BURST, log.records.size());
        // A new window began before the summary: the record that passes carries the count.
        RuntimeLog.window_nanos = 1_000_000L;
        Thread.sleep(5);
        RuntimeLog.limited(log, System.Logger.Level.WARNING, "burst-then-more", () -> "fault");
        assertEquals("fault (5 similar records left out before this one)", log.records.get(RuntimeLog.BURST));
    }
}
