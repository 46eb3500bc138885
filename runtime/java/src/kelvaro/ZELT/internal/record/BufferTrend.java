// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT.internal.record;

/**
 * When a buffer that a client keeps from call to call may shrink. A buffer
 * keeps the size its largest recent record needed, up to the record limit,
 * so that a run of large calls (1 MiB reads, say) never regrows it; once
 * {@link #SHRINK_AFTER} records in a row have used at most a quarter of it,
 * it shrinks to twice the largest of them (at least the floor). So a
 * client that goes from large calls to small ones gives the memory back
 * after a few dozen calls, and an idle client holds what its last calls
 * needed, never more than the record limit per buffer.
 *
 * <p>Not thread-safe: each buffer's owner notes its own uses.
 */
public final class BufferTrend {
    /** Small records in a row after which a buffer shrinks. */
    static final int SHRINK_AFTER = 64;

    private int streak;  // records in a row that used at most a quarter of the buffer
    private int largest; // the largest of them

    /**
     * Notes that a record of used bytes went through a buffer of the given
     * capacity, and says what the buffer should become.
     *
     * @param used the record's bytes
     * @param capacity the buffer's size
     * @param floor the smallest buffer to keep
     * @return the capacity to shrink to, or 0 to keep the buffer as it is
     */
    public int note(int used, int capacity, int floor) {
        if (capacity <= floor || used > capacity / 4) {
            streak = 0;
            largest = 0;
            return 0;
        }
        largest = Math.max(largest, used);
        if (++streak < SHRINK_AFTER)
            return 0;
        streak = 0;
        int to = (int) Math.max(floor, Math.min(capacity, 2L * largest));
        largest = 0;
        return to < capacity ? to : 0;
    }
}
