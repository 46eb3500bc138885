// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT.internal.record;

import java.nio.ByteBuffer;
import java.util.concurrent.atomic.AtomicLong;

/**
 * Builds the records of RPC record marking (RFC 5531, section 11) from
 * whatever bytes a non-blocking read delivered, for the server's selector
 * front end and the TCP client alike: it never blocks and never waits, it
 * only consumes the bytes it is given and says when a record is whole.
 * Fragment payloads are copied once, from the bytes read straight into the
 * record, whose bytes stay in one piece.
 *
 * <p>Bounds, each a {@link Fault} that ends the connection: a fragment
 * header that takes the record past the record limit; more fragments in
 * one record than the fragment limit; an empty fragment that is not the
 * last (it carries nothing, and endless ones would be read forever); a
 * record buffer that the server's byte budget cannot pay for. The record
 * buffer is allocated when the record's first data byte arrives, sized from
 * the record this connection sent last (so that a stream of equal records
 * allocates each one once) and never past what the fragment headers have
 * announced; it grows by doubling as bytes arrive, so memory follows the
 * bytes that came, not what a header claims. A record's buffer comes back
 * after its call ({@link #recycle}) and holds the next record, so a busy
 * connection allocates nothing per record; the server drops it once the
 * connection has been idle a moment, so an idle connection holds no buffer.
 * A client's assembler keeps it instead, as a {@link BufferTrend} says.
 */
public final class RecordAssembler {
    /** Smallest record buffer allocated. */
    static final int INITIAL = 8192;
    /** The fewest fragments a record may have, whatever the record limit. */
    static final int MIN_FRAGMENTS = 1024;

    /**
     * The most fragments a record may have under a record limit by
     * default: one for each KiB of the limit, and at least
     * {@link #MIN_FRAGMENTS}. Peers write fragments of several KiB; a record
     * in smaller pieces than that costs its reader more in headers than it
     * carries.
     *
     * @param limit the record limit in bytes
     * @return the most fragments
     */
    public static int max_fragments(int limit) {
        return Math.max(MIN_FRAGMENTS, limit >>> 10);
    }

    /** Bytes that all record buffers of a server may hold together. */
    public static final class Budget {
        /** Makes room when the budget is spent, by closing a connection that holds more than the asker. */
        public interface Shedder {
            /**
             * True when it closed a connection to give bytes back; false when the asker is the one to go.
             *
             * @param asker the assembler that needs the bytes
             * @param need how many it needs
             * @return whether a connection was closed
             */
            boolean shed(RecordAssembler asker, long need);
        }

        /** Connections shed for one record's bytes at most, before the asker itself fails. */
        private static final int MAX_SHED = 4;

        private final AtomicLong left;
        private volatile Shedder shedder;

        /**
         * A budget of this many bytes.
         *
         * @param bytes what all buffers may hold together
         */
        public Budget(long bytes) {
            left = new AtomicLong(bytes);
        }

        /**
         * Sets what makes room when the budget is spent.
         *
         * @param s the server's shedder
         */
        public void set_shedder(Shedder s) {
            shedder = s;
        }

        /** Takes n bytes for asker's record, shedding larger holders when it must; false when it cannot. */
        boolean take(long n, RecordAssembler asker) {
            if (take(n))
                return true;
            Shedder s = shedder;
            for (int i = 0; s != null && i < MAX_SHED && s.shed(asker, n); i++)
                if (take(n))
                    return true;
            return false;
        }

        /** Takes n bytes; false, taking nothing, when fewer are left. */
        boolean take(long n) {
            while (true) {
                long l = left.get();
                if (l < n)
                    return false;
                if (left.compareAndSet(l, l - n))
                    return true;
            }
        }

        void give(long n) {
            if (n != 0)
                left.addAndGet(n);
        }

        /**
         * The bytes not taken.
         *
         * @return the bytes left
         */
        public long left() {
            return left.get();
        }
    }

    /** The peer broke a bound; the connection cannot be used any further. */
    public static final class Fault extends Exception {
        private static final long serialVersionUID = 1L;
        /** A short name of the bound for counters and rate-limited logs. */
        public final String kind;

        Fault(String kind, String message) {
            super(message, null, false, false);
            this.kind = kind;
        }
    }

    /** A whole record: its bytes at [0, length) and the budget it holds until given back. */
    public static final class Record {
        /** The record's bytes, from offset 0; the array may be longer. */
        public final byte[] bytes;
        /** The record's length. */
        public final int length;
        /** The budget this record's buffer holds. */
        public final long charge;

        Record(byte[] bytes, int length, long charge) {
            this.bytes = bytes;
            this.length = length;
            this.charge = charge;
        }
    }

    private static final byte[] EMPTY = new byte[0];

    private final int limit;
    private final int max_fragments;
    private final Budget budget;
    private final BufferTrend trend; // null: keep a recycled buffer as it is

    private int header;        // the header bytes gathered so far, big-endian
    private int header_bytes;  // how many of its 4 bytes have come
    private int frag_left = -1; // bytes of the current fragment still to come; -1 while reading a header
    private boolean last;      // the current fragment ends the record
    private int fragments;     // fragments of the current record so far
    private byte[] buf;        // the record so far; null before its first data byte
    private int length;        // bytes of the record in buf
    private long charged;      // bytes of buf taken from the budget
    private int hint;          // length of the last whole record
    private long started;      // System.nanoTime() of the record's first byte; 0 between records
    private boolean released;  // the connection is done
    private byte[] spare;      // a record buffer given back after its call, for the next record; guarded by this
    private long spare_charge; // the budget that spare holds
    private int allocations;   // record buffers allocated so far, for tests of growth

    /**
     * An assembler that lets a recycled buffer go only when told to.
     *
     * @param limit the record limit
     * @param max_fragments the most fragments a record may have
     * @param budget the budget its buffers take from
     */
    public RecordAssembler(int limit, int max_fragments, Budget budget) {
        this(limit, max_fragments, budget, null);
    }

    /**
     * An assembler whose recycled buffer shrinks as the trend says: after a
     * run of records that used little of it, it is replaced by a smaller one.
     *
     * @param limit the record limit
     * @param max_fragments the most fragments a record may have
     * @param budget the budget its buffers take from
     * @param trend what says when the recycled buffer shrinks
     */
    public RecordAssembler(int limit, int max_fragments, Budget budget, BufferTrend trend) {
        this.limit = limit;
        this.max_fragments = max_fragments;
        this.budget = budget;
        this.trend = trend;
    }

    /**
     * The record limit.
     *
     * @return the largest record accepted
     */
    public int limit() {
        return limit;
    }

    /** How many record buffers this assembler has allocated, growth included. */
    int allocations() {
        return allocations;
    }

    /**
     * The budget the record being read and the kept buffer hold (the reader's thread).
     *
     * @return the bytes held
     */
    public long held() {
        synchronized (this) {
            return charged + spare_charge;
        }
    }

    /**
     * Data bytes of the current record that have come so far.
     *
     * @return the bytes
     */
    public int received() {
        return length;
    }

    /**
     * True while part of a record has come and the rest has not.
     *
     * @return true inside a record
     */
    public boolean inside() {
        return started != 0;
    }

    /**
     * When the current record's first byte came (System.nanoTime()); 0 between records.
     *
     * @return the time, or 0
     */
    public long started() {
        return started;
    }

    /**
     * Restarts the current record's clock, after the server itself stopped reading for a while.
     *
     * @param now the current {@link System#nanoTime()}
     */
    public void restart_clock(long now) {
        if (started != 0)
            started = now | 1;
    }

    /**
     * Consumes bytes of src until a record is whole or src is empty.
     *
     * @param src the bytes read
     * @param now the current {@link System#nanoTime()}
     * @return the whole record, whose budget the caller now holds, or null
     *         when src ran out first
     * @throws Fault when the peer broke a bound
     */
    public Record feed(ByteBuffer src, long now) throws Fault {
        if (released)
            throw new Fault("closed", "the connection is closed");
        if (started == 0 && src.hasRemaining())
            started = now | 1; // never 0 while inside a record
        while (src.hasRemaining()) {
            if (frag_left < 0) {
                while (header_bytes < 4 && src.hasRemaining()) {
                    header = header << 8 | (src.get() & 0xff);
                    header_bytes++;
                }
                if (header_bytes < 4)
                    return null;
                header_bytes = 0;
                int len = header & 0x7fffffff;
                last = header < 0;
                if ((long) length + len > limit)
                    throw new Fault("record-limit", "record of at least " + ((long) length + len)
                            + " bytes, over the limit of " + limit);
                if (++fragments > max_fragments)
                    throw new Fault("fragments", "more than " + max_fragments + " fragments in one record");
                if (len == 0 && !last)
                    throw new Fault("empty-fragment", "an empty fragment that is not the record's last");
                frag_left = len;
            }
            if (frag_left > 0) {
                if (!src.hasRemaining())
                    return null; // the header came alone
                int n = Math.min(frag_left, src.remaining());
                // The record's end is known once its last fragment has begun;
                // before that only the limit bounds it.
                ensure(length + n, last ? length + frag_left : limit);
                src.get(buf, length, n);
                length += n;
                frag_left -= n;
            }
            if (frag_left == 0) {
                frag_left = -1;
                if (last)
                    return finish();
            }
        }
        return null;
    }

    /**
     * Makes buf hold at least need bytes, growing toward at most bound.
     * A buffer grows by doubling, not to the end of the current fragment:
     * a record in many small fragments would otherwise be copied once per
     * fragment.
     */
    private void ensure(int need, int bound) throws Fault {
        if (buf == null) {
            synchronized (this) {
                if (spare != null) {
                    buf = spare;
                    charged = spare_charge;
                    spare = null;
                    spare_charge = 0;
                }
            }
        }
        int cap = buf == null ? 0 : buf.length;
        if (need <= cap)
            return;
        long grown = buf == null ? Math.max(INITIAL, hint) : 2L * cap;
        grown = Math.max(grown, need);
        grown = Math.min(grown, bound);
        if (!budget.take(grown - cap, this))
            throw new Fault("budget", "the server's budget of buffered record bytes is spent");
        charged += grown - cap;
        byte[] bigger = new byte[(int) grown];
        allocations++;
        if (length > 0)
            System.arraycopy(buf, 0, bigger, 0, length);
        buf = bigger;
    }

    private Record finish() {
        Record r = new Record(buf == null ? EMPTY : buf, length, charged);
        hint = length;
        buf = null;
        length = 0;
        charged = 0;
        fragments = 0;
        started = 0;
        return r;
    }

    /**
     * Takes a record's buffer back once its call is done with it, to hold
     * the connection's next record: a stream of records then allocates
     * nothing. Keeps one; the budget stays charged for it until
     * {@link #drop_spare()} or {@link #release()}. Any thread.
     *
     * @param r the record
     */
    public synchronized void recycle(Record r) {
        if (released || spare != null || r.bytes.length == 0) {
            budget.give(r.charge);
            return;
        }
        int shrink = trend == null ? 0 : trend.note(r.length, r.bytes.length, INITIAL);
        if (shrink > 0) {
            budget.give(r.charge);
            if (!budget.take(shrink))
                return;
            spare = new byte[shrink];
            spare_charge = shrink;
            allocations++;
            return;
        }
        spare = r.bytes;
        spare_charge = r.charge;
    }

    /** Lets the kept buffer go, so that an idle connection holds none. Any thread. */
    public synchronized void drop_spare() {
        budget.give(spare_charge);
        spare = null;
        spare_charge = 0;
    }

    /** Gives back what the record being read holds; the assembler is done. */
    public void release() {
        synchronized (this) {
            released = true;
            drop_spare();
        }
        budget.give(charged);
        charged = 0;
        buf = null;
        length = 0;
    }
}
