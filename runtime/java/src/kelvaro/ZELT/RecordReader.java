// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT;

import java.io.EOFException;
import java.io.IOException;
import java.io.InputStream;
import java.net.Socket;
import java.net.SocketException;

/**
 * Reassembles the records of RPC record marking (RFC 5531, section 11)
 * from a byte stream: each fragment has a 4-byte header whose top bit marks
 * the last fragment of a record and whose other 31 bits give its length.
 *
 * <p>Bounds: a header that would take the record past the record limit
 * fails at once with {@link RecordTooLong}, before anything is allocated
 * for it. A record has at most {@link #max_fragments(int)} fragments, and a
 * fragment of no bytes that is not the last one is refused: neither
 * carries anything a sound peer needs, and both would let a peer keep a
 * reader busy without ever reaching the record limit ({@link BadFragments}).
 * The buffer grows only when it is full and more bytes of the record have
 * still to come, doubling at most and never past what the record needs, so
 * memory follows the bytes that arrived, not what a header claims.
 *
 * <p>Between records the buffer is kept. A reader made with
 * {@link #RecordReader(int, Budget)} drops a buffer of more than
 * {@link #KEEP} bytes after its record; one made with {@link #keeping(int)}
 * keeps it as {@link BufferTrend} says (no regrowth for a run of large
 * records, a shrink after a run of small ones).
 *
 * <p>Two ways to read: {@link #read(InputStream)} blocks on a stream (a
 * read that times out, {@link java.net.SocketTimeoutException}, keeps what
 * has arrived, and the next call goes on from there); {@link #next(Source)}
 * takes what a non-blocking source has now and says whether a record is
 * complete, so that its caller can wait with a deadline of its own.
 */
final class RecordReader {
    /** Initial buffer size. */
    static final int INITIAL = 8192;
    /** Buffers larger than this are dropped between records by readers that do not keep them. */
    static final int KEEP = 1 << 20;
    /** The fewest fragments a record may have, whatever the record limit. */
    static final int MIN_FRAGMENTS = 1024;

    /** {@link #next}: a record is in {@link #buffer()}. */
    static final int RECORD = 1;
    /** {@link #next}: the source has no more bytes for now; the record is not complete. */
    static final int WAIT = 0;
    /** {@link #next}: the stream ended cleanly between records. */
    static final int END = -1;

    /**
     * Where a reader gets its bytes: as {@link InputStream#read(byte[], int, int)},
     * except that 0 means that no byte is there for now.
     */
    interface Source {
        /** Reads up to len bytes into b at off; -1 at the end of the stream, 0 when none are there now. */
        int read(byte[] b, int off, int len) throws IOException;
    }

    /** A record longer than the limit was announced; the stream cannot be used any further. */
    static final class RecordTooLong extends IOException {
        private static final long serialVersionUID = 1L;

        RecordTooLong(long length, int limit) {
            super("record of at least " + length + " bytes, over the limit of " + limit);
        }
    }

    /** A record in too many fragments, or an empty fragment that is not the last; the stream cannot be used any further. */
    static final class BadFragments extends IOException {
        private static final long serialVersionUID = 1L;

        BadFragments(String message) {
            super(message);
        }
    }

    /** The bytes that all readers of a server may hold beyond their initial buffers. */
    static final class Budget {
        private final java.util.concurrent.atomic.AtomicLong left;

        Budget(long bytes) {
            left = new java.util.concurrent.atomic.AtomicLong(bytes);
        }

        boolean take(long n) {
            long l;
            do {
                l = left.get();
                if (l < n)
                    return false;
            } while (!left.compareAndSet(l, l - n));
            return true;
        }

        void give(long n) {
            left.addAndGet(n);
        }

        long left() {
            return left.get();
        }
    }

    /** The buffer could not grow because the server's budget of buffered bytes is spent. */
    static final class OverBudget extends IOException {
        private static final long serialVersionUID = 1L;

        OverBudget() {
            super("the server's budget of buffered record bytes is spent");
        }
    }

    private final int limit;
    private final int max_fragments;
    private final Budget budget; // null: no budget
    private final BufferTrend trend; // null: drop buffers over KEEP instead
    private byte[] buf = new byte[INITIAL];
    private int filled;      // bytes of buf that hold data from the stream
    private int start;       // offset of the record's first byte
    private int length;      // bytes of the record assembled at buf[start, start + length)
    private int raw;         // where the bytes not yet taken into the record begin (headers cut out leave a gap before it)
    private int frag_left;   // bytes of the current fragment still to come; -1 before its header
    private int fragments;   // fragments of the current record whose header has come
    private boolean last;    // the current fragment ends the record
    private boolean active;  // a record is being read
    private volatile boolean started; // bytes of the current record have arrived

    private Socket socket;   // for the time-outs below; may be null
    private int idle_ms;     // time-out while waiting for a record to start
    private int stall_ms;    // time-out while inside a record
    private int current_ms = -1;
    private InputStream stream;   // the stream of read(InputStream), and its source
    private Source stream_source;

    /**
     * A reader for records of at most limit bytes that drops a buffer of
     * more than {@link #KEEP} bytes after its record.
     *
     * @param limit the record limit, positive
     */
    RecordReader(int limit) {
        this(limit, null);
    }

    /**
     * A reader for records of at most limit bytes whose buffer grows beyond
     * its initial size only as far as the budget allows, and is dropped
     * after a record of more than {@link #KEEP} bytes.
     */
    RecordReader(int limit, Budget budget) {
        this(limit, budget, null);
    }

    private RecordReader(int limit, Budget budget, BufferTrend trend) {
        if (limit <= 0)
            throw new IllegalArgumentException("record limit must be positive");
        this.limit = limit;
        this.max_fragments = max_fragments(limit);
        this.budget = budget;
        this.trend = trend;
    }

    /**
     * A reader for records of at most limit bytes that keeps its buffer
     * between records as {@link BufferTrend} says: at most the record
     * limit, shrunk after a run of small records.
     */
    static RecordReader keeping(int limit) {
        return new RecordReader(limit, null, new BufferTrend());
    }

    /**
     * The most fragments a record may have under a record limit: one for
     * each KiB of the limit, and at least {@link #MIN_FRAGMENTS}. Peers
     * write fragments of several KiB; a record in smaller pieces than that
     * costs its reader more in headers than it carries.
     */
    static int max_fragments(int limit) {
        return Math.max(MIN_FRAGMENTS, limit >>> 10);
    }

    /** Gives what the buffer holds beyond its initial size back to the budget; the reader is done. */
    void release() {
        if (budget != null && buf.length > INITIAL)
            budget.give(buf.length - INITIAL);
        buf = new byte[0];
        filled = 0;
    }

    /** Makes each read wait at most idle_ms before a record starts and stall_ms inside one (0: no limit). */
    void set_timeouts(Socket s, int idle_ms, int stall_ms) {
        this.socket = s;
        this.idle_ms = idle_ms;
        this.stall_ms = stall_ms;
    }

    /** The buffer holding the last record read. */
    byte[] buffer() {
        return buf;
    }

    /** The offset of the last record read in {@link #buffer()}. */
    int start() {
        return start;
    }

    /** The length of the last record read. */
    int length() {
        return length;
    }

    /** The capacity of the buffer, for tests of its growth. */
    int capacity() {
        return buf.length;
    }

    /** The record limit. */
    int limit() {
        return limit;
    }

    /**
     * True when the bytes after the last record read already hold the whole
     * next record, so that reading it will not block.
     */
    boolean next_record_buffered() {
        if (active)
            return false; // a record is half read
        long p = raw;
        while (true) {
            if (filled - p < 4)
                return false;
            int at = (int) p;
            int header = (buf[at] & 0xff) << 24 | (buf[at + 1] & 0xff) << 16 | (buf[at + 2] & 0xff) << 8 | (buf[at + 3] & 0xff);
            p += 4L + (header & 0x7fffffff);
            if (p > filled)
                return false;
            if (header < 0)
                return true;
        }
    }

    /** True while part of a record has arrived and the rest has not. */
    boolean inside_record() {
        return started;
    }

    private void begin() {
        int consumed = raw; // the record returned last, if any, and the headers cut out of it
        int leftover = filled - consumed;
        int shrink = 0;
        if (trend != null)
            shrink = trend.note(length + 4, buf.length, INITIAL);
        else if (buf.length > KEEP)
            shrink = INITIAL;
        if (shrink > 0 && leftover <= shrink) {
            byte[] small = new byte[shrink];
            System.arraycopy(buf, consumed, small, 0, leftover);
            if (budget != null)
                budget.give(buf.length - shrink);
            buf = small;
        } else if (leftover > 0 && consumed > 0) {
            System.arraycopy(buf, consumed, buf, 0, leftover);
        }
        filled = leftover;
        start = 4;
        length = 0;
        raw = 0;
        frag_left = -1;
        fragments = 0;
        active = true;
        started = leftover > 0;
    }

    /**
     * Reads the next record from a blocking stream into {@link #buffer()}
     * at {@link #start()} for {@link #length()} bytes.
     *
     * @return true for a record, false when the stream ended cleanly between records
     * @throws RecordTooLong when a header would pass the record limit
     * @throws BadFragments for too many fragments or an empty one that is not the last
     * @throws EOFException when the stream ends inside a record
     * @throws IOException when reading fails or times out
     */
    boolean read(InputStream in) throws IOException {
        if (in != stream) {
            stream = in;
            stream_source = (b, off, len) -> {
                set_timeout(started ? stall_ms : idle_ms);
                return in.read(b, off, len);
            };
        }
        Source source = stream_source;
        while (true) {
            int got = next(source);
            if (got != WAIT)
                return got == RECORD;
        }
    }

    /**
     * Takes what the source has now and assembles as much of the next
     * record as it can.
     *
     * @return {@link #RECORD} when a record is in {@link #buffer()} at
     *         {@link #start()} for {@link #length()} bytes; {@link #WAIT}
     *         when the source has nothing more for now (what came is kept
     *         for the next call); {@link #END} when the stream ended cleanly
     *         between records
     * @throws RecordTooLong when a header would pass the record limit
     * @throws BadFragments for too many fragments or an empty one that is not the last
     * @throws EOFException when the stream ends inside a record
     * @throws IOException when the source fails
     */
    int next(Source in) throws IOException {
        if (!active)
            begin();
        while (true) {
            if (frag_left < 0) {
                if (filled - raw < 4) {
                    int got = fill(in, raw + 4);
                    if (got <= 0)
                        return got;
                    continue;
                }
                int at = raw;
                int header = (buf[at] & 0xff) << 24 | (buf[at + 1] & 0xff) << 16 | (buf[at + 2] & 0xff) << 8
                        | (buf[at + 3] & 0xff);
                int len = header & 0x7fffffff;
                if ((long) length + len > limit)
                    throw new RecordTooLong((long) length + len, limit);
                last = header < 0;
                if (len == 0 && !last)
                    throw new BadFragments("an empty fragment that is not the last of its record");
                if (++fragments > max_fragments)
                    throw new BadFragments("a record in more than " + max_fragments + " fragments");
                // The first header sits just before the record; later ones are cut
                // out as their bytes are taken, so that the record stays in one piece.
                raw += 4;
                frag_left = len;
            }
            int take = Math.min(filled - raw, frag_left);
            if (take > 0) {
                int to = start + length;
                if (to != raw)
                    System.arraycopy(buf, raw, buf, to, take);
                length += take;
                raw += take;
                frag_left -= take;
            }
            if (frag_left == 0) {
                frag_left = -1;
                if (last) {
                    active = false;
                    started = false;
                    return RECORD;
                }
                continue;
            }
            int got = fill(in, raw + frag_left);
            if (got <= 0)
                return got;
        }
    }

    /**
     * Reads more bytes into the buffer, making room when it is full: first
     * by closing the gap the cut headers left, then by growing it toward
     * want_end (the end of what the record needs now, counted where the
     * bytes stand before the gap is closed). Returns 1 when bytes came,
     * {@link #WAIT} when the source has none for now, {@link #END} at a
     * clean end of the stream before a record started.
     */
    private int fill(Source in, int want_end) throws IOException {
        if (filled == buf.length) {
            int gap = raw - (start + length);
            if (gap > 0) {
                System.arraycopy(buf, raw, buf, start + length, filled - raw);
                raw -= gap;
                filled -= gap;
                want_end -= gap;
            }
        }
        if (filled == buf.length) {
            long grown = Math.min((long) buf.length * 2, Math.max((long) want_end, filled + 4L) + INITIAL);
            if (budget != null && !budget.take(grown - buf.length))
                throw new OverBudget();
            byte[] bigger = new byte[(int) grown];
            System.arraycopy(buf, 0, bigger, 0, filled);
            buf = bigger;
        }
        int n = in.read(buf, filled, buf.length - filled);
        if (n == 0)
            return WAIT;
        if (n < 0) {
            if (!started && filled == 0) {
                active = false;
                start = 0;
                length = 0;
                raw = 0;
                return END;
            }
            throw new EOFException("stream ended inside a record");
        }
        filled += n;
        started = true;
        return 1;
    }

    private void set_timeout(int ms) throws SocketException {
        if (socket != null && ms != current_ms) {
            socket.setSoTimeout(ms);
            current_ms = ms;
        }
    }
}
