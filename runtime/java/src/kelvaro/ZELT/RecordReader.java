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
 * for it. The buffer grows only when it is full and more bytes of the
 * record have still to come, doubling at most and never past what the
 * record needs, so memory follows the bytes that arrived, not what a header
 * claims. The buffer is kept from record to record; after a record of more
 * than {@link #KEEP} bytes it shrinks back.
 *
 * <p>A read that times out ({@link java.net.SocketTimeoutException}) keeps
 * what has arrived, and the next call of {@link #read} goes on from there.
 */
final class RecordReader {
    /** Initial buffer size. */
    static final int INITIAL = 8192;
    /** Buffers larger than this are dropped between records. */
    static final int KEEP = 1 << 20;

    /** A record longer than the limit was announced; the stream cannot be used any further. */
    static final class RecordTooLong extends IOException {
        private static final long serialVersionUID = 1L;

        RecordTooLong(long length, int limit) {
            super("record of at least " + length + " bytes, over the limit of " + limit);
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
    private final Budget budget; // null: no budget
    private byte[] buf = new byte[INITIAL];
    private int filled;      // bytes of buf that hold data from the stream
    private int start;       // offset of the record's first byte
    private int length;      // bytes of the record assembled at buf[start, start + length)
    private int frag_left;   // bytes of the current fragment still to come; -1 before its header
    private boolean last;    // the current fragment ends the record
    private boolean first;   // the next header is the record's first
    private boolean active;  // a record is being read
    private volatile boolean started; // bytes of the current record have arrived

    private Socket socket;   // for the time-outs below; may be null
    private int idle_ms;     // time-out while waiting for a record to start
    private int stall_ms;    // time-out while inside a record
    private int current_ms = -1;

    /**
     * A reader for records of at most limit bytes.
     *
     * @param limit the record limit, positive
     */
    RecordReader(int limit) {
        this(limit, null);
    }

    /**
     * A reader for records of at most limit bytes whose buffer grows beyond
     * its initial size only as far as the budget allows.
     */
    RecordReader(int limit, Budget budget) {
        if (limit <= 0)
            throw new IllegalArgumentException("record limit must be positive");
        this.limit = limit;
        this.budget = budget;
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

    /**
     * True when the bytes after the last record read already hold the whole
     * next record, so that reading it will not block.
     */
    boolean next_record_buffered() {
        if (active)
            return false; // a record is half read
        long p = start + length;
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
        int consumed = start + length; // the record returned last, if any
        int leftover = filled - consumed;
        if (buf.length > KEEP && leftover <= INITIAL) {
            byte[] small = new byte[INITIAL];
            System.arraycopy(buf, consumed, small, 0, leftover);
            if (budget != null)
                budget.give(buf.length - INITIAL);
            buf = small;
        } else if (leftover > 0 && consumed > 0) {
            System.arraycopy(buf, consumed, buf, 0, leftover);
        }
        filled = leftover;
        start = 4;
        length = 0;
        frag_left = -1;
        first = true;
        active = true;
        started = leftover > 0;
    }

    /**
     * Reads the next record into {@link #buffer()} at {@link #start()} for
     * {@link #length()} bytes.
     *
     * @return true for a record, false when the stream ended cleanly between records
     * @throws RecordTooLong when a header would pass the record limit
     * @throws EOFException when the stream ends inside a record
     * @throws IOException when reading fails or times out
     */
    boolean read(InputStream in) throws IOException {
        if (!active)
            begin();
        while (true) {
            if (frag_left < 0) {
                int at = first ? 0 : start + length;
                if (filled - at < 4) {
                    if (!fill(in, at + 4))
                        return false;
                    continue;
                }
                int header = (buf[at] & 0xff) << 24 | (buf[at + 1] & 0xff) << 16 | (buf[at + 2] & 0xff) << 8
                        | (buf[at + 3] & 0xff);
                int len = header & 0x7fffffff;
                if ((long) length + len > limit)
                    throw new RecordTooLong((long) length + len, limit);
                last = header < 0;
                if (!first) {
                    // Later headers are cut out, so that the record stays in one piece.
                    System.arraycopy(buf, at + 4, buf, at, filled - at - 4);
                    filled -= 4;
                }
                first = false;
                frag_left = len;
            }
            int arrived = filled - (start + length);
            if (arrived >= frag_left) {
                length += frag_left;
                frag_left = -1;
                if (last) {
                    active = false;
                    started = false;
                    return true;
                }
                continue;
            }
            length += arrived;
            frag_left -= arrived;
            if (!fill(in, start + length + frag_left))
                return false;
        }
    }

    /**
     * Reads at least one more byte into the buffer, growing it when it is
     * full toward want_end (the end of what the record needs now). Returns
     * false at a clean end of the stream before a record started.
     */
    private boolean fill(InputStream in, int want_end) throws IOException {
        if (filled == buf.length) {
            long grown = Math.min((long) buf.length * 2, Math.max((long) want_end, filled + 4L) + INITIAL);
            if (budget != null && !budget.take(grown - buf.length))
                throw new OverBudget();
            byte[] bigger = new byte[(int) grown];
            System.arraycopy(buf, 0, bigger, 0, filled);
            buf = bigger;
        }
        set_timeout(started ? stall_ms : idle_ms);
        int n = in.read(buf, filled, buf.length - filled);
        if (n < 0) {
            if (!started && filled == 0) {
                active = false;
                start = 0;
                length = 0;
                return false;
            }
            throw new EOFException("stream ended inside a record");
        }
        filled += n;
        started = true;
        return true;
    }

    private void set_timeout(int ms) throws SocketException {
        if (socket != null && ms != current_ms) {
            socket.setSoTimeout(ms);
            current_ms = ms;
        }
    }
}
