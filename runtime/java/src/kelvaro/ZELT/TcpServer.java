// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT;

import java.io.IOException;
import java.net.InetAddress;
import java.net.InetSocketAddress;
import java.net.StandardSocketOptions;
import java.nio.ByteBuffer;
import java.nio.channels.CancelledKeyException;
import java.nio.channels.SelectionKey;
import java.nio.channels.Selector;
import java.nio.channels.ServerSocketChannel;
import java.nio.channels.SocketChannel;
import java.util.ArrayDeque;
import java.util.ArrayList;
import java.util.HashMap;
import java.util.LinkedHashSet;
import java.util.List;
import java.util.Map;
import java.util.concurrent.ConcurrentLinkedQueue;
import java.util.concurrent.LinkedBlockingQueue;
import java.util.concurrent.ThreadPoolExecutor;
import java.util.concurrent.TimeUnit;

/**
 * The TCP side of an {@link RpcServer}: one selector thread accepts
 * connections and reads every connection without blocking, building
 * records with a {@link RecordAssembler}; whole records go to a pool of
 * worker threads that run the calls and write the replies. No thread
 * belongs to a connection, and an idle connection holds no buffer, so
 * slow, stalled or silent peers cost a few hundred bytes each and keep no
 * one else from being served.
 *
 * <p>Per connection, calls run one at a time in the order they came and
 * their replies go out in that order; calls that came together are
 * answered in one write. Bytes that come while a call runs are read and
 * assembled, up to {@link #MAX_QUEUED} whole records, after which the
 * connection is not read until its queue drains.
 *
 * <p>A connection is closed when it: announces a record over the limit,
 * sends more fragments in a record than the fragment limit or an empty
 * fragment that is not the last, needs record bytes past the buffer
 * budget, takes longer than the record time-out from a record's first byte
 * to its last, leaves a reply untaken longer than the record time-out,
 * stays idle past the idle time-out, or sends something that is not a
 * call. Deadlines are checked every {@link #SWEEP_MS} ms at most.
 *
 * <p>Admission: at most max_connections live, and at most max_per_address
 * from one address when set. A connection over either limit closes an
 * idle connection (no call running, not inside a record) in its place:
 * first the one that has waited longest without ever sending a whole
 * record, then the one idle the longest; only connections from the same
 * address when the per-address limit is the one reached. With none idle,
 * the new connection is refused.
 */
final class TcpServer {
    /** Replies to calls that came together are written together up to this many bytes. */
    private static final int BATCH = 64 * 1024;
    /** Whole records queued on a connection whose call runs, before it is read no further. */
    static final int MAX_QUEUED = 16;
    /** Longest wait between deadline checks. */
    static final int SWEEP_MS = 200;
    /** How long the leader may run a call of its own before the other selector thread takes over. */
    private static final long TAKEOVER_NS = 2_000_000L;
    /** Calls of one round that the leader keeps to run itself. */
    private static final int MAX_INLINE = 64;
    /** How often a standing-by selector thread looks at the leader. */
    private static final long STANDBY_POLL_NS = 2_000_000L;
    /** Bytes read from one connection at a time. */
    private static final int READ_CHUNK = 256 * 1024;
    /** Chunks read from one connection before the others get their turn. */
    private static final int READ_ROUNDS = 4;
    /** How long a worker waits for a peer to take a reply before it leaves the rest to the selector. */
    private static final long WRITE_WAIT_NS = 50_000_000L;
    /** How long an idle connection keeps its last record's buffer for the next one. */
    private static final long SPARE_NS = 1_000_000_000L;
    /** Reply buffers of the workers larger than this are dropped after use. */
    private static final int KEEP_REPLY = 16 << 20;

    private static final System.Logger LOG = RuntimeLog.logger("server");
    private static final byte[] NO_BYTES = new byte[0];

    private final CallDispatcher dispatcher;
    private final ServerStats.Counters counters;
    private final int record_limit;
    private final int max_fragments;
    private final int max_connections;
    private final int max_per_address;
    private final long idle_ns;
    private final long record_ns;
    private final long sweep_ns;
    private final RecordAssembler.Budget budget;

    private final ServerSocketChannel listener;
    private final Selector selector;
    private final Thread[] selector_threads = new Thread[2];
    /** Held by the selector thread that runs the selector. */
    private final java.util.concurrent.locks.ReentrantLock lead = new java.util.concurrent.locks.ReentrantLock();
    /** When the leader began a call of its own (System.nanoTime(), never 0); 0 when it runs none. */
    private volatile long inline_since;
    /** Selector threads standing by. */
    private final java.util.concurrent.atomic.AtomicInteger standing_by = new java.util.concurrent.atomic.AtomicInteger();
    // The calls the leader keeps for itself from the current round: the
    // leading thread's own lists, set when it begins to lead (leader only).
    private ArrayList<Connection> inline_connections;
    private ArrayList<RecordAssembler.Record> inline_records;
    private long next_sweep = System.nanoTime(); // leader only
    private final ThreadPoolExecutor workers;
    private final ConcurrentLinkedQueue<Runnable> tasks = new ConcurrentLinkedQueue<>();
    private final ByteBuffer chunk = ByteBuffer.allocateDirect(READ_CHUNK);
    /** Each serving thread's own selector for waiting on a slow peer, opened when first needed. */
    private final ThreadLocal<Selector[]> write_selector = ThreadLocal.withInitial(() -> new Selector[1]);
    private final ThreadLocal<XDR[]> worker_xdr = ThreadLocal.withInitial(() -> new XDR[] {new XDR(new byte[0]), new XDR(512)});

    // Guarded by this.
    private final LinkedHashSet<Connection> live = new LinkedHashSet<>();
    private final Map<InetAddress, Integer> per_address = new HashMap<>();

    private volatile boolean closed;
    private long accept_resume; // nanoTime when accepting resumes after the system ran out of descriptors; 0: accepting

    /** One accepted connection. Fields marked "selector" are touched only by the selector thread. */
    private final class Connection {
        final SocketChannel channel;
        final InetSocketAddress remote;
        final InetAddress address;
        final RecordAssembler assembler; // selector
        SelectionKey key;                // selector

        // Guarded by this connection.
        final ArrayDeque<RecordAssembler.Record> queued = new ArrayDeque<>(2);
        boolean busy;          // a worker runs its calls, or the selector writes a reply
        boolean read_paused;   // not read until the queue drains
        ByteBuffer unsent;     // reply bytes the selector writes, when the peer was slow to take them
        long unsent_since;
        long idle_since;
        boolean proven;        // it has sent a whole record
        boolean closed;

        Connection(SocketChannel channel, InetSocketAddress remote, long now) {
            this.channel = channel;
            this.remote = remote;
            this.address = remote.getAddress();
            this.assembler = new RecordAssembler(record_limit, max_fragments, budget);
            this.idle_since = now;
        }

        /** No call running or queued, no reply waiting, not inside a record: may be closed for room. */
        synchronized boolean idle() {
            return !busy && !closed && queued.isEmpty() && !assembler.inside();
        }
    }

    TcpServer(CallDispatcher dispatcher, ServerStats.Counters counters, ServerSocketChannel listener,
            ServerSettings settings) throws IOException {
        this.dispatcher = dispatcher;
        this.counters = counters;
        this.listener = listener;
        this.record_limit = settings.recordLimit();
        this.max_fragments = settings.maxFragments();
        this.max_connections = settings.maxConnections();
        this.max_per_address = settings.maxConnectionsPerAddress();
        this.idle_ns = settings.idleTimeout().toNanos();
        this.record_ns = settings.recordTimeout().toNanos();
        this.sweep_ns = Math.max(5_000_000L, Math.min(SWEEP_MS * 1_000_000L, record_ns / 4));
        this.budget = new RecordAssembler.Budget(settings.bufferBudget());
        int port = port_of(listener);
        int threads = settings.workerThreads();
        workers = new ThreadPoolExecutor(threads, threads, 30, TimeUnit.SECONDS, new LinkedBlockingQueue<>(), r -> {
            Thread t = new Thread(null, closing_selector(r), "kelvaro-zelt tcp " + port + " worker",
                    CodecThread.WORKER_STACK_SIZE);
            t.setDaemon(true);
            return t;
        });
        workers.allowCoreThreadTimeOut(true);
        listener.configureBlocking(false);
        selector = Selector.open();
        listener.register(selector, SelectionKey.OP_ACCEPT);
        for (int i = 0; i < selector_threads.length; i++) {
            selector_threads[i] = new Thread(null, closing_selector(this::selector_thread),
                    "kelvaro-zelt tcp " + port + " selector", CodecThread.WORKER_STACK_SIZE);
            selector_threads[i].setDaemon(true);
        }
    }

    private static int port_of(ServerSocketChannel ch) {
        return ch.socket().getLocalPort();
    }

    void start() {
        for (Thread t : selector_threads)
            t.start();
    }

    int port() {
        return port_of(listener);
    }

    /** The bytes of the buffer budget not in use. */
    long budget_left() {
        return budget.left();
    }

    /** The number of live connections. */
    synchronized int connections() {
        return live.size();
    }

    // ---- the selector threads

    /**
     * What each of the two selector threads runs: it leads (runs the
     * selector) while it can, and otherwise stands by to take over when the
     * leader has been running a call inline for longer than {@link #TAKEOVER_NS}.
     */
    private void selector_thread() {
        ArrayList<Connection> connections = new ArrayList<>();
        ArrayList<RecordAssembler.Record> records = new ArrayList<>();
        while (!closed) {
            if (lead.tryLock()) {
                try {
                    lead_loop(connections, records);
                } finally {
                    if (lead.isHeldByCurrentThread())
                        lead.unlock();
                }
                continue;
            }
            standing_by.incrementAndGet();
            try {
                while (!closed) {
                    java.util.concurrent.locks.LockSupport.parkNanos(STANDBY_POLL_NS);
                    long since = inline_since;
                    if (!lead.isLocked() && (since == 0 || System.nanoTime() - since > TAKEOVER_NS))
                        break;
                }
            } finally {
                standing_by.decrementAndGet();
            }
        }
    }

    /**
     * Runs the selector: accepts, reads, writes untaken replies, checks
     * deadlines, and hands whole calls to the workers. While the other
     * selector thread stands by, up to {@link #MAX_INLINE} calls a round
     * found run here, one after another on this thread, which saves a
     * thread hand-off per call when many connections are busy; once the
     * round's calls have run longer than {@link #TAKEOVER_NS}, the other
     * thread takes the selector over, the calls not yet begun go to the
     * workers, and this one returns when its call is done. Called holding
     * lead, with this thread's own lists for the calls it keeps; returns
     * when closed or when it no longer leads.
     */
    private void lead_loop(ArrayList<Connection> connections, ArrayList<RecordAssembler.Record> records) {
        inline_connections = connections;
        inline_records = records;
        while (!closed) {
            try {
                long wait = Math.max(1, (next_sweep - System.nanoTime()) / 1_000_000L);
                selector.select(wait);
            } catch (IOException | RuntimeException e) {
                if (closed)
                    break;
                RuntimeLog.limited(LOG, System.Logger.Level.WARNING, "selector", () -> "TCP selector failed: " + e);
                continue;
            }
            Runnable task;
            while ((task = tasks.poll()) != null)
                task.run();
            for (SelectionKey k : selector.selectedKeys()) {
                try {
                    if (!k.isValid())
                        continue;
                    if (k.isAcceptable()) {
                        accept_burst();
                        continue;
                    }
                    Connection c = (Connection) k.attachment();
                    if (k.isWritable())
                        write_unsent(c);
                    if (k.isValid() && k.isReadable())
                        read(c);
                } catch (CancelledKeyException e) {
                    // closed by a worker meanwhile
                } catch (RuntimeException e) {
                    // A fault of the server's own: lose that connection, keep serving the others.
                    RuntimeLog.limited(LOG, System.Logger.Level.ERROR, "selector",
                            () -> "TCP connection handling failed", e);
                    if (k.attachment() instanceof Connection)
                        close((Connection) k.attachment());
                }
            }
            selector.selectedKeys().clear();
            long now = System.nanoTime();
            if (now - next_sweep >= 0) {
                sweep(now);
                next_sweep = now + sweep_ns;
            }
            int n = connections.size();
            if (n == 0)
                continue;
            long began = System.nanoTime() | 1;
            inline_since = began;
            lead.unlock();
            try {
                for (int i = 0; i < n; i++) {
                    // Once the other thread leads, what is left is the workers'.
                    if (i > 0 && (lead.isLocked() || System.nanoTime() - began > TAKEOVER_NS))
                        submit(connections.get(i), records.get(i));
                    else
                        serve(connections.get(i), records.get(i));
                }
            } finally {
                connections.clear();
                records.clear();
                boolean again = lead.tryLock();
                inline_since = 0;
                if (!again)
                    return; // the other thread leads now
                inline_connections = connections;
                inline_records = records;
            }
        }
    }

    /** Accepts what the backlog holds, up to a bound so that reading goes on during a flood. */
    private void accept_burst() {
        for (int i = 0; i < 512; i++) {
            SocketChannel ch;
            try {
                ch = listener.accept();
            } catch (IOException e) {
                // Out of descriptors, most likely: stop accepting for a moment instead of spinning.
                RuntimeLog.limited(LOG, System.Logger.Level.WARNING, "accept",
                        () -> "TCP accept failed, pausing for 100 ms: " + e.getMessage());
                listener.keyFor(selector).interestOps(0);
                accept_resume = (System.nanoTime() + 100_000_000L) | 1;
                return;
            }
            if (ch == null)
                return;
            admit(ch);
        }
    }

    private void admit(SocketChannel ch) {
        long now = System.nanoTime();
        InetSocketAddress remote;
        try {
            remote = (InetSocketAddress) ch.getRemoteAddress();
        } catch (IOException e) {
            close_quietly(ch);
            return;
        }
        if (remote == null) {
            close_quietly(ch);
            return;
        }
        Connection c = new Connection(ch, remote, now);
        Connection victim = null;
        boolean refused = false;
        String why = null;
        synchronized (this) {
            int from_here = per_address.getOrDefault(c.address, 0);
            if (max_per_address > 0 && from_here >= max_per_address) {
                victim = victim(c.address);
                why = "its address has " + from_here + " connections, the most allowed";
            } else if (live.size() >= max_connections) {
                victim = victim(null);
                why = "the server has " + live.size() + " connections, the most allowed";
            }
            if (why != null && victim == null) {
                refused = true;
            } else {
                if (victim != null)
                    forget(victim);
                live.add(c);
                per_address.merge(c.address, 1, Integer::sum);
            }
        }
        if (refused) {
            counters.refused.increment();
            close_quietly(ch);
            String reason = why;
            RuntimeLog.limited(LOG, System.Logger.Level.DEBUG, "refused",
                    () -> "TCP connection from " + remote + " refused: " + reason + " and none is idle");
            return;
        }
        if (victim != null) {
            counters.evicted.increment();
            Connection v = victim;
            String reason = why;
            RuntimeLog.limited(LOG, System.Logger.Level.DEBUG, "evicted", () -> "TCP connection from " + v.remote
                    + " closed to make room for one from " + remote + ": " + reason);
            close(v);
        }
        counters.accepted.increment();
        try {
            ch.configureBlocking(false);
            ch.setOption(StandardSocketOptions.TCP_NODELAY, true);
            c.key = ch.register(selector, SelectionKey.OP_READ, c);
        } catch (IOException | RuntimeException e) {
            close(c);
        }
    }

    /**
     * The idle connection to close for a new one (of that address, or of
     * any when null): the oldest that never sent a whole record, else the
     * one idle the longest; null when none is idle. Caller holds this.
     */
    private Connection victim(InetAddress address) {
        Connection fresh = null, idle = null;
        for (Connection o : live) {
            if (address != null && !address.equals(o.address))
                continue;
            synchronized (o) {
                if (!o.idle())
                    continue;
                if (!o.proven) {
                    if (fresh == null || o.idle_since < fresh.idle_since)
                        fresh = o;
                } else if (idle == null || o.idle_since < idle.idle_since) {
                    idle = o;
                }
            }
        }
        return fresh != null ? fresh : idle;
    }

    /** Takes c out of the books; caller holds this. */
    private void forget(Connection c) {
        if (live.remove(c)) {
            int n = per_address.getOrDefault(c.address, 1) - 1;
            if (n <= 0)
                per_address.remove(c.address);
            else
                per_address.put(c.address, n);
        }
    }

    /** Reads what has come, up to a few chunks so that a large record moves on without hogging the thread. */
    private void read(Connection c) {
        for (int round = 0; round < READ_ROUNDS; round++) {
            ByteBuffer b = chunk;
            b.clear();
            int n;
            try {
                n = c.channel.read(b);
            } catch (IOException e) {
                close(c);
                return;
            }
            if (n < 0) {
                if (c.assembler.inside())
                    RuntimeLog.limited(LOG, System.Logger.Level.DEBUG, "cut-short",
                            () -> "TCP connection from " + c.remote + " ended inside a record");
                close(c);
                return;
            }
            if (n == 0)
                return;
            counters.bytes_in.add(n);
            b.flip();
            long now = System.nanoTime();
            try {
                while (b.hasRemaining()) {
                    RecordAssembler.Record r = c.assembler.feed(b, now);
                    if (r != null)
                        record_done(c, r);
                }
            } catch (RecordAssembler.Fault f) {
                fault(c, f.kind, f.getMessage());
                return;
            }
            synchronized (c) {
                if (n < READ_CHUNK || c.closed || c.read_paused)
                    return;
            }
        }
    }

    /** A whole record came: run it, or queue it behind the call that runs. */
    private void record_done(Connection c, RecordAssembler.Record r) {
        boolean run;
        synchronized (c) {
            if (c.closed) {
                budget.give(r.charge);
                return;
            }
            c.proven = true;
            run = !c.busy;
            if (run) {
                c.busy = true;
            } else {
                c.queued.addLast(r);
                if (c.queued.size() >= MAX_QUEUED && !c.read_paused) {
                    c.read_paused = true;
                    c.key.interestOps(c.key.interestOps() & ~SelectionKey.OP_READ);
                }
            }
        }
        if (!run)
            return;
        // Keep this round's calls to run on this thread, when the other thread can take over meanwhile.
        if (standing_by.get() > 0 && lead.isHeldByCurrentThread() && inline_connections.size() < MAX_INLINE) {
            inline_connections.add(c);
            inline_records.add(r);
        } else {
            submit(c, r);
        }
    }

    private void submit(Connection c, RecordAssembler.Record r) {
        try {
            workers.execute(() -> serve(c, r));
        } catch (RuntimeException e) {
            budget.give(r.charge);
            close(c); // shutting down
        }
    }

    /** Writes what a slow peer left untaken; when done, the connection's next call may run. */
    private void write_unsent(Connection c) {
        ByteBuffer u;
        synchronized (c) {
            u = c.unsent;
        }
        if (u == null)
            return;
        try {
            int n = c.channel.write(u);
            counters.bytes_out.add(n);
        } catch (IOException e) {
            close(c);
            return;
        }
        if (u.hasRemaining())
            return;
        c.key.interestOps(c.key.interestOps() & ~SelectionKey.OP_WRITE);
        RecordAssembler.Record next;
        synchronized (c) {
            c.unsent = null;
            next = c.queued.pollFirst();
            if (next == null) {
                c.busy = false;
                c.idle_since = System.nanoTime();
            }
        }
        resume_reading(c);
        if (next != null)
            submit(c, next);
    }

    /** Reads the connection again after its queue drained (selector thread). */
    private void resume_reading(Connection c) {
        synchronized (c) {
            if (!c.read_paused || c.closed || c.queued.size() >= MAX_QUEUED)
                return;
            c.read_paused = false;
        }
        try {
            c.key.interestOps(c.key.interestOps() | SelectionKey.OP_READ);
            c.assembler.restart_clock(System.nanoTime()); // the pause was the server's doing
        } catch (CancelledKeyException e) {
            // closed meanwhile
        }
    }

    /** Closes connections past a deadline; resumes accepting after a pause. */
    private void sweep(long now) {
        if (accept_resume != 0 && now - accept_resume >= 0) {
            accept_resume = 0;
            listener.keyFor(selector).interestOps(SelectionKey.OP_ACCEPT);
        }
        List<Connection> all;
        synchronized (this) {
            all = new ArrayList<>(live);
        }
        for (Connection c : all) {
            long started = c.assembler.started();
            boolean paused, idle;
            long unsent_since, idle_since;
            synchronized (c) {
                paused = c.read_paused;
                unsent_since = c.unsent != null ? c.unsent_since : 0;
                idle = !c.busy && c.queued.isEmpty() && started == 0;
                idle_since = c.idle_since;
            }
            if (started != 0 && !paused && now - started > record_ns) {
                counters.deadlines.increment();
                fault(c, "record-deadline", "record not whole " + record_ns / 1_000_000L + " ms after its first byte");
            } else if (unsent_since != 0 && now - unsent_since > record_ns) {
                counters.deadlines.increment();
                fault(c, "reply-deadline", "reply not taken within " + record_ns / 1_000_000L + " ms");
            } else if (idle && now - idle_since > SPARE_NS) {
                c.assembler.drop_spare();
            }
            if (idle && idle_ns > 0 && now - idle_since > idle_ns) {
                counters.evicted.increment();
                RuntimeLog.limited(LOG, System.Logger.Level.DEBUG, "idle",
                        () -> "TCP connection from " + c.remote + " closed after the idle time-out");
                close(c);
            }
        }
    }

    private void fault(Connection c, String kind, String message) {
        counters.faults.increment();
        RuntimeLog.limited(LOG, System.Logger.Level.DEBUG, kind,
                () -> "TCP connection from " + c.remote + " closed: " + message);
        close(c);
    }

    // ---- the workers

    /** Runs the connection's calls, first r, then what queued meanwhile, and writes the replies in order. */
    private void serve(Connection c, RecordAssembler.Record r) {
        XDR[] xdr = worker_xdr.get();
        XDR call = xdr[0];
        XDR reply = xdr[1];
        reply.reset_encode(0);
        try {
            while (r != null) {
                int header = reply.position();
                reply.enc_int(0);
                boolean answered;
                try {
                    answered = dispatcher.dispatch(r.bytes, 0, r.length, call, reply, c.remote, "tcp",
                            Integer.MAX_VALUE - 8 - header);
                } finally {
                    call.reset_decode(NO_BYTES, 0, 0);
                    c.assembler.recycle(r); // the reply holds nothing of the record: its buffer serves the next
                }
                if (!answered) {
                    reply.set_position(header);
                    if (header > 0)
                        write(c, reply, null);
                    counters.faults.increment();
                    RuntimeLog.limited(LOG, System.Logger.Level.DEBUG, "not-a-call",
                            () -> "TCP connection from " + c.remote + " closed: it sent a record that is not a call");
                    close(c);
                    return;
                }
                if (reply.position() == header + 4)
                    reply.set_position(header); // a call dropped silently: no record at all
                else
                    reply.put_int_at(header, 0x80000000 | (reply.position() - header - 4));
                RecordAssembler.Record next;
                synchronized (c) {
                    next = c.queued.pollFirst();
                    if (next == null || reply.position() >= BATCH) {
                        if (next != null) {
                            c.queued.addFirst(next);
                            next = null;
                        }
                    }
                }
                if (next != null) {
                    r = next;
                    continue;
                }
                if (!write(c, reply, c))
                    return; // the selector writes the rest and runs what is queued
                reply.reset_encode(0);
                synchronized (c) {
                    r = c.queued.pollFirst();
                    if (r == null) {
                        c.busy = false;
                        c.idle_since = System.nanoTime();
                    }
                    if (c.read_paused && c.queued.size() < MAX_QUEUED)
                        post(() -> resume_reading(c));
                }
            }
        } catch (IOException e) {
            close(c);
        } catch (RuntimeException | Error e) {
            close(c);
            if (e instanceof VirtualMachineError)
                throw e;
        } finally {
            if (reply.capacity() > KEEP_REPLY)
                xdr[1] = new XDR(512);
        }
    }

    /**
     * Writes the reply bytes. Returns true when all went; else, when handoff
     * is the connection, gives the rest to the selector to write as the peer
     * takes it and returns false.
     */
    private boolean write(Connection c, XDR reply, Connection handoff) throws IOException {
        ByteBuffer b = ByteBuffer.wrap(reply.buffer(), 0, reply.position());
        long waited_until = 0;
        SelectionKey waiting = null;
        try {
            while (b.hasRemaining()) {
                int n = c.channel.write(b);
                counters.bytes_out.add(n);
                if (n > 0 || !b.hasRemaining())
                    continue;
                // The peer's window is full. Wait here a little while it takes the bytes (large
                // replies stream on at full speed); a peer slower than that is left to the selector.
                long now = System.nanoTime();
                if (waited_until == 0)
                    waited_until = now + WRITE_WAIT_NS;
                if (now - waited_until >= 0)
                    break;
                Selector ws = write_selector();
                if (waiting == null)
                    waiting = c.channel.register(ws, SelectionKey.OP_WRITE);
                ws.select(Math.max(1, (waited_until - now) / 1_000_000L));
                ws.selectedKeys().clear();
            }
        } finally {
            if (waiting != null) {
                waiting.cancel();
                write_selector().selectNow(); // deregisters the channel from this thread's selector
            }
        }
        if (!b.hasRemaining() || handoff == null)
            return true;
        ByteBuffer rest = ByteBuffer.allocate(b.remaining());
        rest.put(b).flip();
        synchronized (c) {
            c.unsent = rest;
            c.unsent_since = System.nanoTime();
        }
        post(() -> {
            try {
                c.key.interestOps(c.key.interestOps() | SelectionKey.OP_WRITE);
            } catch (CancelledKeyException e) {
                // closed meanwhile
            }
        });
        return false;
    }

    private Selector write_selector() throws IOException {
        Selector[] slot = write_selector.get();
        if (slot[0] == null)
            slot[0] = Selector.open();
        return slot[0];
    }

    /** Runs a serving thread's work, and closes the thread's own selector when the thread ends. */
    private Runnable closing_selector(Runnable r) {
        return () -> {
            try {
                r.run();
            } finally {
                Selector[] slot = write_selector.get();
                if (slot[0] != null)
                    close_quietly(slot[0]);
                write_selector.remove();
            }
        };
    }

    private void post(Runnable task) {
        tasks.add(task);
        selector.wakeup();
    }

    // ---- closing

    /** Closes a connection once, from any thread, and gives back what it holds. */
    private void close(Connection c) {
        List<RecordAssembler.Record> dropped;
        synchronized (c) {
            if (c.closed)
                return;
            c.closed = true;
            dropped = new ArrayList<>(c.queued);
            c.queued.clear();
            c.unsent = null;
        }
        synchronized (this) {
            forget(c);
        }
        for (RecordAssembler.Record r : dropped)
            budget.give(r.charge);
        close_quietly(c.channel);
        if (lead.isHeldByCurrentThread())
            c.assembler.release();
        else
            post(c.assembler::release);
    }

    private static void close_quietly(java.io.Closeable ch) {
        try {
            ch.close();
        } catch (IOException e) {
            // closed either way
        }
    }

    private void shut_down() {
        List<Connection> open;
        synchronized (this) {
            open = new ArrayList<>(live);
        }
        for (Connection c : open)
            close(c);
        Runnable task;
        while ((task = tasks.poll()) != null)
            task.run();
        close_quietly(listener);
        try {
            selector.close();
        } catch (IOException e) {
            // closed either way
        }
    }

    void close() {
        closed = true;
        selector.wakeup();
        for (Thread t : selector_threads) {
            try {
                t.join(5000);
            } catch (InterruptedException e) {
                Thread.currentThread().interrupt();
            }
        }
        boolean led = false;
        try {
            led = lead.tryLock(5, TimeUnit.SECONDS);
        } catch (InterruptedException e) {
            Thread.currentThread().interrupt();
        }
        try {
            shut_down(); // closing channels is safe from any thread; the selector threads have ended
        } finally {
            if (led)
                lead.unlock();
        }
        workers.shutdown();
        try {
            workers.awaitTermination(5, TimeUnit.SECONDS);
        } catch (InterruptedException e) {
            Thread.currentThread().interrupt();
        }
    }
}
