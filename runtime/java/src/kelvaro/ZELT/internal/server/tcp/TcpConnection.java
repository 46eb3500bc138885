// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT.internal.server.tcp;

import java.io.IOException;
import java.net.InetAddress;
import java.net.InetSocketAddress;
import java.nio.ByteBuffer;
import java.nio.channels.SelectionKey;
import java.nio.channels.Selector;
import java.nio.channels.SocketChannel;
import java.util.ArrayDeque;
import java.util.ArrayList;
import java.util.List;
import java.util.concurrent.atomic.AtomicLong;
import kelvaro.ZELT.XDR;
import kelvaro.ZELT.internal.access.Access;
import kelvaro.ZELT.internal.access.XdrAccess;
import kelvaro.ZELT.internal.record.RecordAssembler;
import kelvaro.ZELT.internal.server.ServerCall;

/**
 * One accepted TCP connection of a server: its records coming in, its
 * calls in flight and its replies going out.
 *
 * <p>Calls: up to the connection's bound run at once (read, not yet
 * answered, deferred replies included); a connection at its bound is not
 * read until a call ends. With a bound of 1 the calls run one at a time in
 * the order they came, and up to {@link #READ_AHEAD} whole records are
 * read ahead.
 *
 * <p>Replies: each is written whole, never interleaved with another, by
 * the thread that finished its call. When another thread is writing, the
 * reply is appended to the bytes that thread writes next, so replies that
 * are ready together go out in one write. A writer waits a little for a
 * peer that takes bytes slowly (large replies stream on at full speed);
 * what a slower peer leaves untaken the selector writes as the peer takes
 * it, and the connection is not read meanwhile.
 *
 * <p>Fields marked "selector" are touched only by the thread that runs the
 * selector.
 */
public final class TcpConnection implements ServerCall.Origin {
    private static final XdrAccess XDRS = Access.xdr();

    /** Whole records read ahead while a one-at-a-time connection's call runs. */
    static final int READ_AHEAD = 16;
    /** Pending buffers larger than this are not kept for the next replies. */
    private static final int KEEP_PENDING = 1 << 20;
    private static final byte[] NO_BYTES = new byte[0];
    /** How long a thread that writes a reply waits for a peer to take it before it leaves the rest to the selector. */
    private static final long WRITE_WAIT_NS = 50_000_000L;

    final TcpServer server;
    final SocketChannel channel;
    final InetSocketAddress remote;
    final InetAddress address;
    final RecordAssembler assembler; // selector
    SelectionKey key;                // selector
    final long opened;
    private final int bound;
    /** Budget held by records of calls not yet decoded. */
    private final AtomicLong call_bytes = new AtomicLong();

    // Guarded by this.
    private int in_flight;
    private final ArrayDeque<ServerCall> held = new ArrayDeque<>(2); // one-at-a-time: waiting for the call that runs
    private boolean read_paused;
    private long idle_since;
    private boolean proven; // it has sent a whole record
    private boolean closed;

    // The replies going out, guarded by out.
    private final Object out = new Object();
    private boolean writing;   // a thread (or the selector) writes; others append to pending
    private Thread corker;     // the leader that runs calls of this connection: its replies wait in pending
    private byte[] pending = NO_BYTES;
    private int pending_length;
    private byte[] spare_pending; // the buffer written last, to take the next replies
    private ByteBuffer unsent; // what a slow peer left untaken; the selector writes it
    private long unsent_since;
    private volatile boolean backlogged; // unsent != null

    TcpConnection(TcpServer server, SocketChannel channel, InetSocketAddress remote, long now, int bound,
            RecordAssembler assembler) {
        this.server = server;
        this.channel = channel;
        this.remote = remote;
        this.address = remote.getAddress();
        this.opened = now;
        this.idle_since = now;
        this.bound = bound;
        this.assembler = assembler;
    }

    @Override
    public int header_room() {
        return 4;
    }

    @Override
    public int max_reply() {
        return Integer.MAX_VALUE - 8;
    }

    // ---- calls

    /**
     * A whole record came (selector): its call, to run now, or null when it
     * waits for its turn behind the calls in flight.
     */
    ServerCall record(RecordAssembler.Record r) {
        call_bytes.addAndGet(r.charge);
        ServerCall call = new ServerCall(server.dispatcher, this, remote, "tcp", r.bytes, r.length, () -> {
            call_bytes.addAndGet(-r.charge);
            assembler.recycle(r);
        });
        boolean pause;
        synchronized (this) {
            if (closed) {
                call.release_record();
                return null;
            }
            proven = true;
            ServerCall start = null;
            if (in_flight < bound && held.isEmpty()) {
                in_flight++;
                start = call;
            } else {
                held.addLast(call);
            }
            pause = !read_paused && !may_read();
            if (pause)
                read_paused = true;
            if (pause)
                set_reading(false);
            return start;
        }
    }

    /** Whether more records may be read now; caller holds this. */
    private boolean may_read() {
        if (closed || backlogged)
            return false;
        return bound == 1 ? held.size() < READ_AHEAD : in_flight < bound;
    }

    private void set_reading(boolean on) {
        try {
            key.interestOps(on ? key.interestOps() | SelectionKey.OP_READ : key.interestOps() & ~SelectionKey.OP_READ);
        } catch (java.nio.channels.CancelledKeyException e) {
            // closed meanwhile
        }
    }

    /** Reads the connection again when it may (selector thread). */
    void resume_reading() {
        synchronized (this) {
            if (!read_paused || !may_read())
                return;
            read_paused = false;
        }
        set_reading(true);
        assembler.restart_clock(System.nanoTime()); // the pause was the server's doing
    }

    boolean read_paused() {
        synchronized (this) {
            return read_paused;
        }
    }

    @Override
    public void done(ServerCall call, XDR reply) {
        if (reply != null && XDRS.position(reply) > 4) {
            XDRS.put_int_at(reply, 0, 0x80000000 | (XDRS.position(reply) - 4));
            write_reply(XDRS.buffer(reply), XDRS.position(reply));
        }
        call_over();
    }

    @Override
    public void not_a_call(ServerCall call) {
        server.fault(this, "not-a-call", "it sent a record that is not a call");
    }

    /** A call ended: the next held one begins, and reading may go on. */
    private void call_over() {
        ServerCall next = null;
        boolean resume;
        synchronized (this) {
            if (closed)
                return;
            in_flight--;
            if (!held.isEmpty() && in_flight < bound) {
                next = held.pollFirst();
                in_flight++;
            }
            if (in_flight == 0 && held.isEmpty())
                idle_since = System.nanoTime();
            resume = read_paused && may_read();
        }
        if (next != null)
            server.start(next);
        if (resume)
            server.post(this::resume_reading);
    }

    /** No call in flight or held, not inside a record: may be closed for room (selector). */
    synchronized boolean idle() {
        return in_flight == 0 && held.isEmpty() && !closed && !backlogged && !assembler.inside();
    }

    /** No call in flight or held, no reply waiting (a record may be half read). */
    synchronized boolean quiet() {
        return in_flight == 0 && held.isEmpty() && !closed && !backlogged;
    }

    synchronized boolean proven() {
        return proven;
    }

    synchronized long idle_since() {
        return idle_since;
    }

    synchronized boolean closed() {
        return closed;
    }

    /** Budget this connection holds: the record being read, the kept buffer, and records of its calls. */
    long held_bytes() {
        return assembler.held() + call_bytes.get();
    }

    /** Marks the connection closed once; returns the calls held back, to drop, or null when closed already. */
    List<ServerCall> mark_closed() {
        synchronized (this) {
            if (closed)
                return null;
            closed = true;
            List<ServerCall> dropped = new ArrayList<>(held);
            held.clear();
            synchronized (out) {
                unsent = null;
                pending = NO_BYTES;
                spare_pending = null;
                pending_length = 0;
            }
            return dropped;
        }
    }

    // ---- replies

    /**
     * Replies of the calls this thread runs now wait in pending until
     * {@link #uncork}: one write for a round's replies. Replies that other
     * threads finish meanwhile go out as usual, and take what waits with them.
     */
    void cork() {
        synchronized (out) {
            corker = Thread.currentThread();
        }
    }

    void uncork() {
        synchronized (out) {
            corker = null;
            if (writing || unsent != null || pending_length == 0)
                return;
            writing = true;
        }
        write_pending();
    }

    /** Writes a whole reply record, or leaves it to the thread that writes. */
    private void write_reply(byte[] b, int n) {
        synchronized (out) {
            if (writing || unsent != null || corker == Thread.currentThread()) {
                append(b, n);
                return;
            }
            writing = true;
        }
        if (!write_some(ByteBuffer.wrap(b, 0, n), true))
            return;
        write_pending();
    }

    private void append(byte[] b, int n) {
        if (pending.length - pending_length < n)
            pending = java.util.Arrays.copyOf(pending,
                    Math.max(Math.max(1024, pending.length * 2), pending_length + n));
        System.arraycopy(b, 0, pending, pending_length, n);
        pending_length += n;
    }

    /** Writes what others appended meanwhile, holding the writer's role, until none is left. */
    private void write_pending() {
        while (true) {
            byte[] batch;
            int n;
            synchronized (out) {
                if (pending_length == 0 || closed_quick()) {
                    writing = false;
                    return;
                }
                batch = pending;
                n = pending_length;
                pending = spare_pending != null ? spare_pending : NO_BYTES;
                spare_pending = null;
                pending_length = 0;
            }
            boolean all = write_some(ByteBuffer.wrap(batch, 0, n), false);
            synchronized (out) {
                if (batch.length <= KEEP_PENDING && spare_pending == null)
                    spare_pending = batch; // written or copied: free for the next replies
            }
            if (!all)
                return;
        }
    }

    private boolean closed_quick() {
        return !channel.isOpen();
    }

    /**
     * Writes b, waiting a little for a slow peer; true when all went. Else
     * leaves the rest (and what is pending) to the selector, which keeps
     * the writer's role until it has written it all, and returns false.
     */
    private boolean write_some(ByteBuffer b, boolean copy) {
        long waited_until = 0;
        SelectionKey waiting = null;
        Selector ws = null;
        try {
            while (b.hasRemaining()) {
                int n = channel.write(b);
                server.counters.bytes_out.add(n);
                if (n > 0 || !b.hasRemaining())
                    continue;
                // The peer's window is full: wait here a little while it takes the bytes.
                long now = System.nanoTime();
                if (waited_until == 0)
                    waited_until = now + WRITE_WAIT_NS;
                ws = ServerCall.Buffers.write_selector();
                if (now - waited_until >= 0 || ws == null)
                    break;
                if (waiting == null)
                    waiting = channel.register(ws, SelectionKey.OP_WRITE);
                ws.select(Math.max(1, (waited_until - now) / 1_000_000L));
                ws.selectedKeys().clear();
            }
        } catch (IOException e) {
            synchronized (out) {
                writing = false;
            }
            server.close(this);
            return false;
        } finally {
            if (waiting != null) {
                waiting.cancel();
                try {
                    ws.selectNow(); // deregisters the channel from this thread's selector
                } catch (IOException e) {
                    // the selector is this thread's own; it stays usable
                }
            }
        }
        if (!b.hasRemaining())
            return true;
        synchronized (out) {
            ByteBuffer rest = ByteBuffer.allocate(b.remaining() + pending_length);
            rest.put(b);
            rest.put(pending, 0, pending_length).flip();
            pending_length = 0;
            unsent = rest;
            unsent_since = System.nanoTime();
            backlogged = true;
        }
        server.post(() -> {
            try {
                key.interestOps(key.interestOps() | SelectionKey.OP_WRITE);
            } catch (java.nio.channels.CancelledKeyException e) {
                // closed meanwhile
            }
        });
        return false;
    }

    /** Writes what a slow peer left untaken (selector); when all went, reading may go on. */
    void write_unsent() {
        while (true) {
            ByteBuffer u;
            synchronized (out) {
                u = unsent;
            }
            if (u == null)
                return;
            try {
                int n = channel.write(u);
                server.counters.bytes_out.add(n);
            } catch (IOException e) {
                server.close(this);
                return;
            }
            if (u.hasRemaining())
                return;
            synchronized (out) {
                if (pending_length > 0) {
                    unsent = ByteBuffer.wrap(java.util.Arrays.copyOf(pending, pending_length));
                    pending_length = 0;
                    unsent_since = System.nanoTime();
                    continue;
                }
                unsent = null;
                backlogged = false;
                writing = false; // a corked round writes what it appended when it uncorks
            }
            try {
                key.interestOps(key.interestOps() & ~SelectionKey.OP_WRITE);
            } catch (java.nio.channels.CancelledKeyException e) {
                return;
            }
            resume_reading();
            return;
        }
    }

    /** When the reply the peer leaves untaken began to wait (System.nanoTime()), or 0. */
    long unsent_since() {
        synchronized (out) {
            return unsent != null ? unsent_since : 0;
        }
    }
}
