// SPDX-License-Identifier: Apache-2.0
import java.lang.management.ManagementFactory;
import java.util.HashMap;
import java.util.Map;

/**
 * Bytes allocated by this JVM's threads, as the JVM counts them per thread
 * (ThreadMXBean.getThreadAllocatedBytes). The total only grows: a thread
 * that has ended keeps the count it had when last seen, so work done by a
 * thread after it was last seen and before it ended is missed. Measure
 * across spans in which the threads doing the work stay alive.
 */
final class Allocation {
    private static final com.sun.management.ThreadMXBean THREADS =
            (com.sun.management.ThreadMXBean) ManagementFactory.getThreadMXBean();
    private static final Map<Long, Long> last_seen = new HashMap<>();

    private Allocation() {
    }

    /** The bytes allocated so far by every thread seen alive at this or an earlier call. */
    static synchronized long total() {
        long[] ids = THREADS.getAllThreadIds();
        long[] bytes = THREADS.getThreadAllocatedBytes(ids);
        for (int i = 0; i < ids.length; i++)
            if (bytes[i] >= 0)
                last_seen.put(ids[i], bytes[i]);
        long sum = 0;
        for (long b : last_seen.values())
            sum += b;
        return sum;
    }

    /** The bytes the calling thread has allocated so far. */
    static long current_thread() {
        return THREADS.getCurrentThreadAllocatedBytes();
    }
}
