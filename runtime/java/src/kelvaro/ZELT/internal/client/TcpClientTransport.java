// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT.internal.client;

import java.io.IOException;
import java.net.InetSocketAddress;
import java.net.SocketTimeoutException;
import java.net.StandardSocketOptions;
import java.nio.ByteBuffer;
import java.nio.channels.SelectionKey;
import java.nio.channels.Selector;
import java.nio.channels.SocketChannel;
import java.time.Duration;
import java.util.concurrent.ConcurrentHashMap;
import java.util.concurrent.TimeUnit;
import java.util.concurrent.atomic.AtomicBoolean;
import java.util.concurrent.atomic.AtomicInteger;
import java.util.concurrent.locks.LockSupport;
import java.util.concurrent.locks.ReentrantLock;
import kelvaro.ZELT.RpcClient;
import kelvaro.ZELT.RpcStatus;
import kelvaro.ZELT.XDR;
import kelvaro.ZELT.XDRError;
import kelvaro.ZELT.XDT;
import kelvaro.ZELT.internal.access.Access;
import kelvaro.ZELT.internal.access.RpcAccess;
import kelvaro.ZELT.internal.access.XdrAccess;
import kelvaro.ZELT.internal.record.BufferTrend;
import kelvaro.ZELT.internal.record.RecordAssembler;
import kelvaro.ZELT.rpc_err;

/**
 * RPC over TCP with record marking: one connection at a time, shared by
 * concurrent calls, and a new one when it breaks.
 *
 * <p>A call writes its record with one write; then one waiting caller at a
 * time (the reader) reads replies and decodes each into the result of the
 * caller whose xid it carries, waking that caller. When the reader's own
 * reply has come, or its deadline has passed, another waiting caller takes
 * over, and the record half read stays where it is for that caller. No lock
 * is held across a hand-over: the waiting calls are in a concurrent map,
 * the reader's role is one atomic flag, and a caller waits by parking its
 * own thread until the reader unparks it or its own deadline comes, so that
 * each caller returns by its own deadline whoever reads.
 *
 * <p>The socket does not block: the reader and the writer wait on
 * selectors for at most their deadlines, so neither a reply trickled byte
 * by byte nor a server that stops reading holds a caller past its time.
 * A reply record must be complete within the call time-out of its first
 * byte, counting the time callers spend reading it; a record that is not,
 * one over the record limit or in bad fragments, a call record that cannot
 * be written by its caller's deadline (half a record would spoil the
 * stream) and the server's end of the stream all break the connection:
 * every call waiting on it fails. The next call opens a new connection,
 * locating the server again ({@link ClientTransport.Target}).
 */
public final class TcpClientTransport extends ClientTransport {
    private static final RpcAccess RPC = Access.rpc();
    private static final XdrAccess XDRS = Access.xdr();

    /** Why a connection breaks when a reply record came too slowly. */
    private static final String RECORD_TOO_SLOW = "a reply record took longer than the time-out to arrive";
    /** The longest a waiting caller parks before it looks again whether the reader's role is free. */
    private static final long RECHECK_NANOS = 50_000_000L;
    /**
     * Large calls are written through a direct buffer of the connection's
     * of this size: the channel would otherwise pass each heap buffer
     * through a temporary direct one, and copy all that is left of a write
     * again each time it is tried.
     */
    static final int IO_CHUNK = 256 << 10;
    /** The direct buffer that replies are read into starts at this size and grows to {@link #READ_CHUNK}. */
    static final int FIRST_READ_CHUNK = 16 << 10;
    /**
     * The most a read of replies takes at once. Small enough that the read
     * buffer stays in the processor's cache between the kernel's copy into
     * it and the copy out into the record: a 1 MiB reply read 256 KiB at a
     * time cost a third more CPU, most of it in the kernel's copy to a cold
     * buffer.
     */
    static final int READ_CHUNK = 64 << 10;
    /** What {@link Connection#read_record} says: a record was read and handed out. */
    private static final int RECORD = 1;
    /** What {@link Connection#read_record} says: the socket has no more bytes for now. */
    private static final int WAIT = 0;
    /** What {@link Connection#read_record} says: the connection is broken. */
    private static final int END = -1;
    /** A client's record buffers are bounded by its record limit, not by a budget shared with others. */
    private static final RecordAssembler.Budget UNBOUNDED = new RecordAssembler.Budget(Long.MAX_VALUE);
    /** Records larger than this are written through a direct buffer. */
    static final int DIRECT_WRITE = 16 << 10;
    /**
     * A connection on which nothing was read for this long is looked at
     * before a call goes on it, so that a call is not sent into a
     * connection the server has closed meanwhile (a restart, an eviction
     * of an idle connection), but to a new one.
     */
    static final long QUIET_NANOS = 1_000_000L;

    private final Target target;
    private final long connect_nanos;
    private final ReentrantLock connect_lock = new ReentrantLock();
    private volatile Connection current; // null: closed before it connected
    private volatile InetSocketAddress to;
    private volatile int record_limit;
    private volatile long record_nanos = RpcClient.DEFAULT_TIMEOUT.toNanos();
    private volatile boolean closed;

    /**
     * Connects to first at once; later connections go where the target says.
     *
     * @param target where the server is for later connections
     * @param first where it is now
     * @param connect_timeout how long a connection may take to open
     * @param record_limit the largest reply record accepted
     * @throws rpc_err {@link RpcStatus#SYSTEM_ERROR} when the connection cannot be opened
     */
    public TcpClientTransport(Target target, InetSocketAddress first, Duration connect_timeout, int record_limit) throws rpc_err {
        this.target = target;
        this.connect_nanos = connect_timeout.toNanos();
        this.record_limit = record_limit;
        this.to = first;
        current = new Connection(first, System.nanoTime() + connect_nanos, false);
    }

    @Override
    public int header_room() {
        return 4;
    }

    @Override
    public int refer_from() {
        return DIRECT_WRITE; // written through the direct buffer, which they are copied into once
    }

    @Override
    public void set_record_limit(int bytes) {
        record_limit = bytes;
        Connection c = current;
        if (c != null)
            c.set_record_limit(bytes);
    }

    @Override
    public void set_timeout(long nanos) {
        record_nanos = nanos;
    }

    @Override
    public String protocol() {
        return "tcp";
    }

    @Override
    public InetSocketAddress remote() {
        return to;
    }

    @Override
    public void close() {
        closed = true;
        Connection c = current;
        if (c != null)
            c.fail(new rpc_err(RpcStatus.CANT_RECV, "client closed"));
    }

    @Override
    public void call(int xid, XDR call, XDT result, long deadline, long retransmit_nanos) throws rpc_err {
        int len = call.size() - 4;
        XDRS.put_int_at(call, 0, 0x80000000 | len);
        // A connection found broken before the call went out on it is
        // replaced and the call goes on the new one: it was never sent.
        while (!usable(deadline).call(xid, call, result, deadline)) {
            // look again
        }
    }

    @Override
    public void call_async(int xid, XDR call, XDT result, long deadline, long retransmit_nanos,
            java.util.function.Consumer<Throwable> done, java.util.concurrent.CompletableFuture<?> future)
            throws rpc_err {
        int len = call.size() - 4;
        XDRS.put_int_at(call, 0, 0x80000000 | len);
        while (!usable(deadline).call_async(xid, call, result, deadline, done, future)) {
            // look again
        }
    }

    /** The connection for a call: the current one while it holds, else a new one. */
    private Connection usable(long deadline) throws rpc_err {
        Connection c = current;
        if (c != null && c.broken == null && c.still_open())
            return c;
        if (closed)
            throw new rpc_err(RpcStatus.CANT_SEND, "client closed");
        lock_until(connect_lock, deadline);
        try {
            c = current;
            if (c != null && c.broken == null)
                return c; // another caller has opened it
            if (closed)
                throw new rpc_err(RpcStatus.CANT_SEND, "client closed");
            InetSocketAddress where = target.locate(deadline);
            c = new Connection(where, Math.min(deadline, System.nanoTime() + connect_nanos), true);
            to = where;
            current = c;
            if (closed) // close() came while connecting
                c.fail(new rpc_err(RpcStatus.CANT_RECV, "client closed"));
            return c;
        } finally {
            connect_lock.unlock();
        }
    }

    /** One call waiting for its reply: a thread parked for it, or a callback (an asynchronous call). */
    private static final class Waiter {
        final XDT result;
        final Thread thread;                                    // null for an asynchronous call
        final java.util.function.Consumer<Throwable> callback;  // null for a waiting thread
        final AtomicInteger async_count;                        // the connection's count of asynchronous calls
        volatile java.util.concurrent.ScheduledFuture<?> timer;
        volatile boolean done;
        Throwable error; // an rpc_err, or an Error thrown while decoding the result; written before done

        Waiter(XDT result, Thread thread) {
            this.result = result;
            this.thread = thread;
            this.callback = null;
            this.async_count = null;
        }

        Waiter(XDT result, java.util.function.Consumer<Throwable> callback, AtomicInteger async_count) {
            this.result = result;
            this.thread = null;
            this.callback = callback;
            this.async_count = async_count;
        }

        /** Ends the call; called once, by whoever removed the waiter from the map. */
        void finish(Throwable err) {
            error = err;
            done = true;
            if (callback != null) {
                async_count.decrementAndGet();
                java.util.concurrent.ScheduledFuture<?> t = timer;
                if (t != null)
                    t.cancel(false);
                callback.accept(err);
            } else if (thread != Thread.currentThread()) {
                LockSupport.unpark(thread);
            }
        }
    }

    /** Ends asynchronous calls at their deadlines; one daemon thread for every client, made when needed. */
    private static final java.util.concurrent.ScheduledThreadPoolExecutor DEADLINES = deadlines();

    private static java.util.concurrent.ScheduledThreadPoolExecutor deadlines() {
        java.util.concurrent.ScheduledThreadPoolExecutor e = new java.util.concurrent.ScheduledThreadPoolExecutor(1,
                r -> {
                    Thread t = new Thread(r, "kelvaro-zelt client deadlines");
                    t.setDaemon(true);
                    return t;
                });
        e.setRemoveOnCancelPolicy(true);
        e.setKeepAliveTime(5, TimeUnit.SECONDS);
        e.allowCoreThreadTimeOut(true);
        return e;
    }

    /** Bytes to write, copied out from an offset on into a buffer, as many as fit. */
    private interface Encoded {
        int copy(long from, ByteBuffer dst);
    }

    /** A call record could not be written by its caller's deadline. */
    private static final class WriteTimedOut extends IOException {
        private static final long serialVersionUID = 1L;

        WriteTimedOut() {
            super("a call could not be written within its time-out");
        }
    }

    /** One TCP connection and the calls waiting on it. */
    private final class Connection {
        private final SocketChannel channel;
        private final Selector readable;
        private Selector writable; // opened by the first write that would block; guarded by the writer's role

        // Calls that come while another thread writes wait here, and that thread writes them too.
        private final Object write_lock = new Object();
        private boolean writing;                                  // guarded by write_lock
        private byte[] pending = new byte[1024];                  // guarded by write_lock
        private int pending_length;                               // guarded by write_lock
        private byte[] spare_pending = new byte[1024];            // used by the writing thread
        private final BufferTrend pending_trend = new BufferTrend(); // used by the writing thread
        private ByteBuffer out_view;                              // used by the writing thread
        private ByteBuffer out_direct;                            // used by the writing thread; made when first needed

        // A reply's caller is found here by xid; whoever removes a waiter (the
        // reader that has its reply, the caller whose time is up, or fail) ends it.
        private final ConcurrentHashMap<Integer, Waiter> waiting = new ConcurrentHashMap<>();
        private final AtomicBoolean reading = new AtomicBoolean();
        // Asynchronous calls waiting, and the thread that reads for them while there are any.
        private final AtomicInteger async_waiting = new AtomicInteger();
        private final AtomicBoolean pumping = new AtomicBoolean();
        private volatile Thread pump_thread;
        volatile rpc_err broken;
        private volatile long last_read = System.nanoTime();

        // Used by whoever holds the reader's role only.
        private RecordAssembler records;
        private final XDR reply = new XDR(new byte[0]);
        private ByteBuffer in = ByteBuffer.allocateDirect(FIRST_READ_CHUNK).limit(0); // bytes read, not yet in a record
        private boolean in_filled;    // the last read filled the buffer: the next one may use a larger one
        private boolean skip_read;    // the next read would find nothing: wait first
        private long record_time;     // time readers have spent inside the current record
        private long record_allowed;  // the time-out when the current record began; 0 between records

        Connection(InetSocketAddress to, long deadline, boolean in_call) throws rpc_err {
            SocketChannel ch = null;
            Selector sel = null;
            try {
                ch = SocketChannel.open();
                ch.setOption(StandardSocketOptions.TCP_NODELAY, true);
                int ms = millis_left(deadline);
                if (ms == 0)
                    throw new SocketTimeoutException("connect timed out");
                ch.socket().connect(to, ms);
                ch.configureBlocking(false);
                sel = Selector.open();
                ch.register(sel, SelectionKey.OP_READ);
            } catch (IOException e) {
                close_quietly(ch, sel);
                if (in_call && e instanceof SocketTimeoutException)
                    throw new rpc_err(RpcStatus.TIMED_OUT, "connecting to " + to.getAddress().getHostAddress()
                            + " port " + to.getPort(), e);
                throw RPC.local_error("cannot connect to " + to.getAddress().getHostAddress() + " port " + to.getPort()
                        + ": " + errno_text(e), e);
            }
            channel = ch;
            readable = sel;
            records = assembler(record_limit);
        }

        private RecordAssembler assembler(int limit) {
            return new RecordAssembler(limit, RecordAssembler.max_fragments(limit), UNBOUNDED, new BufferTrend());
        }

        void set_record_limit(int bytes) {
            // The reader keeps its buffer only between records; a new limit starts with the next one.
            if (!reading.compareAndSet(false, true))
                return;
            try {
                if (!records.inside() && records.limit() != bytes)
                    records = assembler(bytes);
            } finally {
                release_reading();
            }
        }

        /**
         * False when the server has closed a connection that has been quiet
         * for a while, or it is broken; looks without waiting, and only when
         * no caller is reading it already.
         */
        boolean still_open() {
            if (System.nanoTime() - last_read < QUIET_NANOS || !waiting.isEmpty()
                    || !reading.compareAndSet(false, true))
                return broken == null;
            try {
                // Late replies to calls that timed out are read and dropped on the way.
                while (broken == null && read_record() == RECORD) {
                    // next
                }
            } finally {
                release_reading();
            }
            return broken == null;
        }

        /** Marks the connection broken, closes it and fails every waiting call with err. */
        void fail(rpc_err err) {
            synchronized (this) {
                if (broken == null)
                    broken = err;
            }
            for (Integer xid : waiting.keySet()) {
                Waiter w = waiting.remove(xid);
                if (w != null)
                    w.finish(err);
            }
            Selector w;
            synchronized (write_lock) {
                w = writable;
            }
            close_quietly(channel, readable);
            close_quietly(null, w);
        }

        /**
         * Sends the call (already framed) and waits for its reply. Returns
         * false, having sent nothing, when the connection was found broken
         * first; throws the call's rpc_err otherwise.
         */
        boolean call(int xid, XDR call, XDT result, long deadline) throws rpc_err {
            Integer key = xid;
            Waiter me = new Waiter(result, Thread.currentThread());
            waiting.put(key, me);
            // fail() sets broken before it empties the map: a call it missed sees broken here.
            if (broken != null) {
                waiting.remove(key);
                return false;
            }
            try {
                send(call, deadline);
            } catch (WriteTimedOut e) {
                fail(new rpc_err(RpcStatus.CANT_RECV, "connection closed: " + e.getMessage(), e));
                waiting.remove(key);
                throw new rpc_err(RpcStatus.TIMED_OUT);
            } catch (IOException e) {
                rpc_err was = broken;
                if (was != null) // broken by another thread under the write
                    throw new rpc_err(RpcStatus.CANT_SEND, "connection closed: " + was.getMessage(), e);
                rpc_err err = new rpc_err(RpcStatus.CANT_SEND, "errno = " + errno_text(e), e);
                fail(err);
                throw err;
            }
            boolean interrupted = false;
            boolean just_sent = true;
            try {
                while (!me.done) {
                    long left = deadline - System.nanoTime();
                    if (left <= 0 || interrupted) {
                        // Whoever removes the waiter ends the call: when the reader got
                        // there first, it is decoding into result, so wait for it.
                        if (waiting.remove(key, me)) {
                            if (interrupted)
                                throw new rpc_err(RpcStatus.FAILED, "interrupted while waiting for the reply");
                            throw new rpc_err(RpcStatus.TIMED_OUT);
                        }
                        LockSupport.parkNanos(this, RECHECK_NANOS);
                        continue;
                    }
                    if (reading.compareAndSet(false, true)) {
                        try {
                            read_replies(me, deadline, just_sent);
                        } finally {
                            skip_read = false; // never left for the next reader
                            release_reading();
                        }
                    } else {
                        LockSupport.parkNanos(this, Math.min(left, RECHECK_NANOS));
                    }
                    just_sent = false;
                    if (Thread.interrupted())
                        interrupted = true;
                }
            } finally {
                if (interrupted)
                    Thread.currentThread().interrupt();
            }
            if (me.error instanceof Error e)
                throw e;
            if (me.error != null)
                throw (rpc_err) me.error;
            return true;
        }

        /**
         * Sends the call (already framed) and returns: its reply is handed to
         * done by whichever thread reads it, or done gets the error. Returns
         * false, having sent nothing, when the connection was found broken.
         */
        boolean call_async(int xid, XDR call, XDT result, long deadline, java.util.function.Consumer<Throwable> done,
                java.util.concurrent.CompletableFuture<?> future) throws rpc_err {
            Integer key = xid;
            Waiter me = new Waiter(result, done, async_waiting);
            async_waiting.incrementAndGet();
            waiting.put(key, me);
            if (broken != null) {
                if (waiting.remove(key, me))
                    async_waiting.decrementAndGet();
                return false;
            }
            try {
                send(call, deadline);
            } catch (WriteTimedOut e) {
                fail(new rpc_err(RpcStatus.CANT_RECV, "connection closed: " + e.getMessage(), e));
                if (waiting.remove(key, me))
                    me.finish(new rpc_err(RpcStatus.TIMED_OUT));
                return true;
            } catch (IOException e) {
                rpc_err was = broken;
                rpc_err err = was != null
                        ? new rpc_err(RpcStatus.CANT_SEND, "connection closed: " + was.getMessage(), e)
                        : new rpc_err(RpcStatus.CANT_SEND, "errno = " + errno_text(e), e);
                if (was == null)
                    fail(err);
                if (waiting.remove(key, me))
                    me.finish(err);
                return true;
            }
            // The deadline, and a cancellation that frees the call's place at once.
            long left = Math.max(0, deadline - System.nanoTime());
            try {
                me.timer = DEADLINES.schedule(() -> {
                    if (waiting.remove(key, me))
                        me.finish(new rpc_err(RpcStatus.TIMED_OUT));
                }, left, TimeUnit.NANOSECONDS);
            } catch (java.util.concurrent.RejectedExecutionException e) {
                // never shut down
            }
            if (me.done && me.timer != null)
                me.timer.cancel(false);
            future.whenComplete((r, e) -> {
                if (future.isCancelled() && waiting.remove(key, me))
                    me.finish(new java.util.concurrent.CancellationException());
            });
            pump();
            return true;
        }

        /** Makes sure a thread reads replies while asynchronous calls wait. */
        private void pump() {
            if (pumping.compareAndSet(false, true)) {
                Thread t = new Thread(this::pump_loop, "kelvaro-zelt client reader");
                t.setDaemon(true);
                pump_thread = t;
                t.start();
            } else {
                Thread t = pump_thread;
                if (t != null)
                    LockSupport.unpark(t);
            }
        }

        /** The reader of asynchronous calls: reads while any wait; a waiting caller may read instead meanwhile. */
        private void pump_loop() {
            try {
                while (true) {
                    if (async_waiting.get() == 0 || broken != null) {
                        pumping.set(false);
                        // A call that came after the look starts no thread while this one runs: look again.
                        if (async_waiting.get() == 0 || broken != null || !pumping.compareAndSet(false, true))
                            return;
                    }
                    if (reading.compareAndSet(false, true)) {
                        try {
                            read_for_async();
                        } finally {
                            skip_read = false;
                            release_reading();
                        }
                    } else {
                        LockSupport.parkNanos(this, RECHECK_NANOS);
                    }
                }
            } finally {
                pump_thread = null;
            }
        }

        /** Reads replies, as the one reader, while asynchronous calls wait and the connection holds. */
        private void read_for_async() {
            while (async_waiting.get() > 0 && broken == null) {
                int got = read_record();
                if (got != WAIT)
                    continue;
                if (!await_bytes(RECHECK_NANOS))
                    return;
            }
        }

        /**
         * Waits up to wait nanoseconds for the socket to have bytes, no
         * longer than the record under way may still take, and counts the
         * wait against that record. False when the connection failed (the
         * record took too long, or the wait itself failed) or no time is left.
         */
        private boolean await_bytes(long wait) {
            if (records.inside()) {
                long record_left = record_allowed - record_time;
                if (record_left <= 0) {
                    fail(new rpc_err(RpcStatus.CANT_RECV, RECORD_TOO_SLOW));
                    return false;
                }
                wait = Math.min(wait, record_left);
            }
            if (wait <= 0)
                return false;
            long t0 = System.nanoTime();
            boolean inside = records.inside();
            try {
                select(readable, wait);
            } catch (IOException e) {
                if (broken == null)
                    fail(new rpc_err(RpcStatus.CANT_RECV, "errno = " + errno_text(e), e));
                return false;
            }
            if (inside)
                record_time += System.nanoTime() - t0;
            return true;
        }

        /**
         * Gives up the reader's role and wakes a caller (or the reader of
         * asynchronous calls) still waiting to take it over. A caller that
         * registered after the look sees the role free.
         */
        private void release_reading() {
            reading.set(false);
            if (async_waiting.get() > 0) {
                Thread t = pump_thread;
                if (t != null && t != Thread.currentThread()) {
                    LockSupport.unpark(t);
                    return;
                }
            }
            for (Waiter w : waiting.values()) {
                if (!w.done && w.thread != null) {
                    LockSupport.unpark(w.thread);
                    return;
                }
            }
        }

        /**
         * Writes a call record. When another thread is writing, the record is
         * queued for that thread, which writes all queued records in one write
         * after its own; so concurrent callers need fewer system calls.
         */
        private void send(XDR call, long deadline) throws IOException {
            int n = call.size();
            synchronized (write_lock) {
                if (writing) {
                    if (pending.length - pending_length < n)
                        pending = java.util.Arrays.copyOf(pending, Math.max(pending.length * 2, pending_length + n));
                    XDRS.copy_encoded(call, 0, ByteBuffer.wrap(pending, pending_length, n));
                    pending_length += n;
                    return;
                }
                writing = true;
            }
            boolean done = false;
            try {
                if (n > DIRECT_WRITE || XDRS.refers(call))
                    write_direct((from, dst) -> XDRS.copy_encoded(call, from, dst), n, deadline);
                else
                    write_fully(XDRS.buffer(call), n, deadline);
                while (true) {
                    byte[] batch;
                    int length;
                    synchronized (write_lock) {
                        if (pending_length == 0) {
                            writing = false;
                            done = true;
                            return;
                        }
                        batch = pending;
                        length = pending_length;
                        pending = spare_pending;
                        pending_length = 0;
                    }
                    write_fully(batch, length, deadline);
                    int shrink = pending_trend.note(length, batch.length, 1024);
                    spare_pending = shrink > 0 ? new byte[shrink] : batch;
                }
            } finally {
                if (!done) {
                    synchronized (write_lock) {
                        writing = false;
                        pending_length = 0;
                    }
                }
            }
        }

        /**
         * Writes n bytes of b, waiting for room in the socket until the
         * deadline at most. A large record goes through a direct buffer of
         * the connection's, a chunk at a time: the channel would otherwise
         * copy the unwritten rest of a heap buffer again after every
         * partial write.
         */
        private void write_fully(byte[] b, int n, long deadline) throws IOException {
            if (n > DIRECT_WRITE) {
                write_direct((from, dst) -> {
                    int take = (int) Math.min(n - from, dst.remaining());
                    dst.put(b, (int) from, take);
                    return take;
                }, n, deadline);
                return;
            }
            ByteBuffer view = out_view;
            if (view == null || view.array() != b)
                out_view = view = ByteBuffer.wrap(b);
            view.clear();
            view.limit(n);
            while (view.hasRemaining())
                if (channel.write(view) == 0)
                    wait_writable(deadline);
        }

        /**
         * Writes n bytes that source copies out, through the connection's
         * direct buffer, a chunk at a time.
         */
        private void write_direct(Encoded source, long n, long deadline) throws IOException {
            ByteBuffer direct = out_direct;
            if (direct == null)
                out_direct = direct = ByteBuffer.allocateDirect(IO_CHUNK);
            for (long at = 0; at < n;) {
                direct.clear();
                at += source.copy(at, direct);
                direct.flip();
                while (direct.hasRemaining())
                    if (channel.write(direct) == 0)
                        wait_writable(deadline);
            }
        }

        /** Waits until the socket takes more bytes, or throws at the deadline. */
        private void wait_writable(long deadline) throws IOException {
            long left = deadline - System.nanoTime();
            if (left <= 0)
                throw new WriteTimedOut();
            Selector s;
            synchronized (write_lock) {
                if (writable == null && broken == null) {
                    writable = Selector.open();
                    channel.register(writable, SelectionKey.OP_WRITE);
                }
                s = writable;
            }
            if (s == null)
                throw new java.nio.channels.ClosedChannelException();
            select(s, left);
        }

        /**
         * Takes what was read before and what the socket has now toward the
         * next record, and hands out the record once it is whole. Returns
         * {@link #RECORD}, {@link #WAIT} when the socket has nothing more for
         * now (the part of the record that came is kept), or {@link #END}
         * when the connection is broken: the record was bad, reading failed
         * or the server ended the stream.
         */
        private int read_record() {
            RecordAssembler r = records;
            long t0 = System.nanoTime();
            RecordAssembler.Record record;
            try {
                while ((record = r.feed(in, t0)) == null) {
                    if (skip_read) {
                        skip_read = false;
                        break;
                    }
                    int n = read_chunk();
                    if (n == 0)
                        break;
                    if (n < 0) {
                        fail(new rpc_err(RpcStatus.CANT_RECV, r.inside() ? "stream ended inside a record"
                                : "server closed the connection"));
                        return END;
                    }
                }
            } catch (RecordAssembler.Fault e) {
                fail(new rpc_err(RpcStatus.CANT_RECV, e.getMessage(), e));
                return END;
            } catch (IOException e) {
                fail(new rpc_err(RpcStatus.CANT_RECV, "errno = " + errno_text(e), e));
                return END;
            }
            long now = System.nanoTime();
            if (record != null) {
                record_time = 0;
                record_allowed = 0;
                last_read = now;
                hand_out(record);
                r.recycle(record);
                return RECORD;
            }
            if (r.inside()) {
                record_time += now - t0;
                if (record_allowed == 0)
                    record_allowed = record_nanos;
            }
            return WAIT;
        }

        /**
         * Reads what the socket has now into the emptied read buffer, which
         * grows after reads that filled it: small replies need little, and
         * large ones come in fewer reads. Returns what the channel returned.
         */
        private int read_chunk() throws IOException {
            if (in_filled && in.capacity() < READ_CHUNK)
                in = ByteBuffer.allocateDirect(Math.min(READ_CHUNK, in.capacity() * 4));
            in.clear();
            int n;
            try {
                n = channel.read(in);
            } finally {
                in.flip();
            }
            in_filled = n == in.capacity();
            return n;
        }

        /**
         * True when the bytes read after the last record already hold the
         * whole next record, so that handing it out needs no wait.
         */
        private boolean next_record_buffered() {
            if (records.inside())
                return false; // a record is half read, and the rest of what came is in it
            long at = in.position();
            int end = in.limit();
            while (end - at >= 4) {
                int header = in.getInt((int) at);
                at += 4L + (header & 0x7fffffff);
                if (at > end)
                    return false;
                if (header < 0)
                    return true;
            }
            return false;
        }

        /** Decodes a record into the result of the call it answers, if one waits. */
        private void hand_out(RecordAssembler.Record record) {
            if (record.length < 4)
                return; // no xid: nobody to give it to
            XDRS.reset_decode(reply, record.bytes, 0, record.length);
            int xid;
            try {
                xid = reply.dec_int();
            } catch (XDRError e) {
                return;
            }
            Waiter target = waiting.remove(xid);
            if (target == null)
                return; // the reply to a call that timed out, or to none
            // The result is its caller's: whatever decoding it throws goes to that
            // caller, never up the reader's own call, which would leave it waiting.
            Throwable err = null;
            try {
                RpcMessage.decode_reply(reply, target.result);
            } catch (rpc_err | Error e) {
                err = e;
            }
            target.finish(err);
        }

        /**
         * Reads replies, as the one reader, until mine has come, my deadline
         * passes, the thread is interrupted or the connection fails.
         */
        private void read_replies(Waiter me, long deadline, boolean just_sent) {
            // Right after a call went out its reply is not there yet: wait before reading.
            skip_read = just_sent && !next_record_buffered();
            while (true) {
                // Replies already read for others are handed out before the reading is handed on.
                if (me.done && !next_record_buffered() || broken != null)
                    return;
                long left = deadline - System.nanoTime();
                if (left <= 0)
                    return;
                int got = read_record();
                if (got != WAIT)
                    continue;
                if (me.done || Thread.currentThread().isInterrupted())
                    return;
                if (!await_bytes(deadline - System.nanoTime()))
                    return;
            }
        }
    }
}
