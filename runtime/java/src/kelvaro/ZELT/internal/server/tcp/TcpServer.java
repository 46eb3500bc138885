// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT.internal.server.tcp;

import java.io.IOException;
import java.net.InetSocketAddress;
import java.net.StandardSocketOptions;
import java.nio.ByteBuffer;
import java.nio.channels.CancelledKeyException;
import java.nio.channels.SelectionKey;
import java.nio.channels.Selector;
import java.nio.channels.ServerSocketChannel;
import java.nio.channels.SocketChannel;
import java.util.List;
import java.util.concurrent.ConcurrentLinkedDeque;
import java.util.concurrent.ConcurrentLinkedQueue;
import java.util.concurrent.TimeUnit;
import java.util.concurrent.atomic.AtomicInteger;
import java.util.concurrent.locks.LockSupport;
import java.util.concurrent.locks.ReentrantLock;
import kelvaro.ZELT.RpcServer;
import kelvaro.ZELT.ServerSettings;
import kelvaro.ZELT.internal.exec.CallScheduler;
import kelvaro.ZELT.internal.exec.CodecThread;
import kelvaro.ZELT.internal.log.RuntimeLog;
import kelvaro.ZELT.internal.record.RecordAssembler;
import kelvaro.ZELT.internal.server.CallDispatcher;
import kelvaro.ZELT.internal.server.ServerCall;
import kelvaro.ZELT.internal.server.ServerCounters;

/**
 * The TCP side of an {@link RpcServer}: two selector threads take turns
 * at accepting connections and reading every connection without blocking,
 * building records with a {@link RecordAssembler}; whole calls go to the
 * server's {@link CallScheduler}, which shares its threads fairly between
 * addresses and connections. No thread belongs to a connection, and an
 * idle connection holds no buffer, so slow, stalled or silent peers cost a
 * few hundred bytes each and keep no one else from being served.
 *
 * <p>The calls of a connection run concurrently up to its bound, and each
 * reply goes out whole as soon as it is ready ({@link TcpConnection});
 * who may stay when the table is full is the {@link ConnectionTable}'s
 * rule.
 *
 * <p>Cheap calls skip the hand-off to a pool thread: while the other
 * selector thread stands by, the leading thread keeps up to
 * {@link #MAX_INLINE} of the calls a round found and runs them itself,
 * one after another, with the replies of one connection written together.
 * Once the round's calls have run longer than {@link #TAKEOVER_NS}, the
 * other thread takes the selector over and the calls not yet begun go to
 * the pool, so a slow call holds up the calls behind it by at most that.
 *
 * <p>A connection is closed when it: announces a record over the limit,
 * sends more fragments in a record than the fragment limit or an empty
 * fragment that is not the last, needs record bytes past the buffer budget
 * while it holds the most, takes longer than the record time-out from a
 * record's first byte to its last, sends a record slower than the minimum
 * rate, leaves a reply untaken longer than the record time-out, stays idle
 * past the idle time-out, or sends something that is not a call.
 * Deadlines are checked every {@link #SWEEP_MS} ms at most.
 */
public final class TcpServer {
    /** Longest wait between deadline checks. */
    static final int SWEEP_MS = 200;
    /** How long the leader may run calls of its own before the other selector thread takes over. */
    private static final long TAKEOVER_NS = 2_000_000L;
    /** Calls of one round that the leader keeps to run itself. */
    private static final int MAX_INLINE = 64;
    /** How often a standing-by selector thread looks at the leader. */
    private static final long STANDBY_POLL_NS = 2_000_000L;
    /**
     * Bytes read from one connection at a time: few enough that the read
     * buffer stays in the processor's cache between the kernel's copy into
     * it and the copy out into the record (reads of 256 KiB cost a 1 MiB
     * call a third more CPU, most of it in the kernel's copy to a cold
     * buffer).
     */
    private static final int READ_CHUNK = 64 * 1024;
    /** Chunks read from one connection before the others get their turn. */
    private static final int READ_ROUNDS = 4;
    /** How long an idle connection keeps its last record's buffer for the next one. */
    private static final long SPARE_NS = 1_000_000_000L;
    /** How long a record may arrive slower than the minimum rate before its connection is closed. */
    static final long RATE_GRACE_NS = 2_000_000_000L;

    private static final System.Logger LOG = RuntimeLog.logger("server");

    final CallDispatcher dispatcher;
    final ServerCounters counters;
    private final CallScheduler scheduler;
    private final int record_limit;
    private final int max_fragments;
    private final int calls_per_connection;
    private final long idle_ns;
    private final long record_ns;
    private final long min_rate;
    private final long sweep_ns;
    private final RecordAssembler.Budget budget;
    private final ConnectionTable table;

    private final ServerSocketChannel listener;
    private final Selector selector;
    private final Thread[] selector_threads = new Thread[2];
    /** Held by the selector thread that runs the selector. */
    private final ReentrantLock lead = new ReentrantLock();
    /** When the leader began running calls of its own (System.nanoTime(), never 0); 0 when it runs none. */
    private volatile long inline_since;
    /** Selector threads standing by. */
    private final AtomicInteger standing_by = new AtomicInteger();
    /** The calls the leader keeps to run itself; whoever finds the leader gone hands them to the pool. */
    private final ConcurrentLinkedDeque<ServerCall> inline = new ConcurrentLinkedDeque<>();
    private int inline_count; // this round's, leader only
    private long next_sweep = System.nanoTime(); // leader only
    private final ConcurrentLinkedQueue<Runnable> tasks = new ConcurrentLinkedQueue<>();
    private final ByteBuffer chunk = ByteBuffer.allocateDirect(READ_CHUNK);

    private volatile boolean closed;
    private long accept_resume; // nanoTime when accepting resumes after the system ran out of descriptors; 0: accepting

    /**
     * A server on a listening socket; its threads start with {@link #start()}.
     *
     * @param dispatcher what runs the calls
     * @param counters the server's counters
     * @param scheduler the pool the calls run on
     * @param listener the bound socket
     * @param settings the server's settings
     * @throws IOException when no selector can be opened
     */
    public TcpServer(CallDispatcher dispatcher, ServerCounters counters, CallScheduler scheduler,
            ServerSocketChannel listener, ServerSettings settings) throws IOException {
        this.dispatcher = dispatcher;
        this.counters = counters;
        this.scheduler = scheduler;
        this.listener = listener;
        this.record_limit = settings.recordLimit();
        this.max_fragments = settings.maxFragments();
        this.calls_per_connection = settings.maxCallsPerConnection();
        this.idle_ns = settings.idleTimeout().toNanos();
        this.record_ns = settings.recordTimeout().toNanos();
        this.min_rate = settings.minRecordRate();
        this.sweep_ns = Math.max(5_000_000L, Math.min(SWEEP_MS * 1_000_000L, record_ns / 4));
        this.budget = new RecordAssembler.Budget(settings.bufferBudget());
        this.table = new ConnectionTable(settings.maxConnections(), settings.maxConnectionsPerAddress(), min_rate);
        budget.set_shedder(this::shed);
        int port = port_of(listener);
        listener.configureBlocking(false);
        selector = Selector.open();
        listener.register(selector, SelectionKey.OP_ACCEPT);
        for (int i = 0; i < selector_threads.length; i++) {
            selector_threads[i] = new Thread(null, this::selector_thread, "kelvaro-zelt tcp " + port + " selector",
                    CodecThread.WORKER_STACK_SIZE);
            selector_threads[i].setDaemon(true);
        }
    }

    private static int port_of(ServerSocketChannel ch) {
        return ch.socket().getLocalPort();
    }

    /** Starts accepting and reading. */
    public void start() {
        for (Thread t : selector_threads)
            t.start();
    }

    /**
     * The port listened on.
     *
     * @return the port
     */
    public int port() {
        return port_of(listener);
    }

    /** The bytes of the buffer budget not in use. */
    long budget_left() {
        return budget.left();
    }

    /**
     * The number of live connections.
     *
     * @return the count
     */
    public int connections() {
        return table.size();
    }

    // ---- the selector threads

    /**
     * What each of the two selector threads runs: it leads (runs the
     * selector) while it can, and otherwise stands by to take over when the
     * leader has been running calls of its own for longer than {@link #TAKEOVER_NS}.
     */
    private void selector_thread() {
        ServerCall.Buffers.may_wait();
        try {
            while (!closed) {
                if (lead.tryLock()) {
                    try {
                        // Calls the previous leader kept and has not begun are the pool's now.
                        ServerCall left;
                        while ((left = inline.pollFirst()) != null)
                            start(left);
                        lead_loop();
                    } finally {
                        if (lead.isHeldByCurrentThread())
                            lead.unlock();
                    }
                    continue;
                }
                standing_by.incrementAndGet();
                try {
                    while (!closed) {
                        LockSupport.parkNanos(STANDBY_POLL_NS);
                        long since = inline_since;
                        if (!lead.isLocked() && (since == 0 || System.nanoTime() - since > TAKEOVER_NS))
                            break;
                    }
                } finally {
                    standing_by.decrementAndGet();
                }
            }
        } finally {
            ServerCall.Buffers.forget();
        }
    }

    /**
     * Runs the selector: accepts, reads, writes untaken replies, checks
     * deadlines and starts whole calls; runs the calls it kept for itself
     * (see the class description). Called holding lead; returns when
     * closed or when it no longer leads.
     */
    private void lead_loop() {
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
            inline_count = 0;
            for (SelectionKey k : selector.selectedKeys()) {
                try {
                    if (!k.isValid())
                        continue;
                    if (k.isAcceptable()) {
                        accept_burst();
                        continue;
                    }
                    TcpConnection c = (TcpConnection) k.attachment();
                    if (k.isWritable())
                        c.write_unsent();
                    if (k.isValid() && k.isReadable())
                        read(c);
                } catch (CancelledKeyException e) {
                    // closed by a worker meanwhile
                } catch (RuntimeException e) {
                    // A fault of the server's own: lose that connection, keep serving the others.
                    RuntimeLog.limited(LOG, System.Logger.Level.ERROR, "selector",
                            () -> "TCP connection handling failed", e);
                    if (k.attachment() instanceof TcpConnection)
                        close((TcpConnection) k.attachment());
                }
            }
            selector.selectedKeys().clear();
            long now = System.nanoTime();
            if (now - next_sweep >= 0) {
                sweep(now);
                next_sweep = now + sweep_ns;
            }
            if (inline.isEmpty())
                continue;
            long began = System.nanoTime() | 1;
            inline_since = began;
            lead.unlock();
            try {
                run_inline(began);
            } finally {
                boolean again = lead.tryLock();
                inline_since = 0;
                if (!again)
                    return; // the other thread leads now
            }
        }
    }

    /** Runs the calls kept this round, one connection's replies written together, until the other thread leads. */
    private void run_inline(long began) {
        TcpConnection corked = null;
        try {
            boolean first = true;
            ServerCall call;
            while ((call = inline.pollFirst()) != null) {
                // Once the other thread leads, or this one has run long, what is left is the pool's.
                if (!first && (lead.isLocked() || System.nanoTime() - began > TAKEOVER_NS)) {
                    start(call);
                    continue;
                }
                first = false;
                TcpConnection c = (TcpConnection) call.origin;
                if (c != corked && corked != null) {
                    corked.uncork();
                    corked = null;
                }
                // Replies wait to go out together only when another call of the connection follows.
                ServerCall next = inline.peekFirst();
                if (corked == null && next != null && next.origin == c) {
                    c.cork();
                    corked = c;
                }
                call.run();
            }
        } finally {
            if (corked != null)
                corked.uncork();
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
        TcpConnection c = new TcpConnection(this, ch, remote, now, calls_per_connection,
                new RecordAssembler(record_limit, max_fragments, budget));
        ConnectionTable.Admission a = table.admit(c, now);
        if (a.refused) {
            counters.refused.increment();
            close_quietly(ch);
            RuntimeLog.limited(LOG, System.Logger.Level.DEBUG, "refused",
                    () -> "TCP connection from " + remote + " refused: " + a.why + " and none can make room");
            return;
        }
        if (a.victim != null) {
            counters.evicted.increment();
            TcpConnection v = a.victim;
            RuntimeLog.limited(LOG, System.Logger.Level.DEBUG, "evicted", () -> "TCP connection from " + v.remote
                    + " closed to make room for one from " + remote + ": " + a.why);
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

    /** The budget is spent: closes the connection that holds the most, when it holds more than the asker. */
    private boolean shed(RecordAssembler asker, long need) {
        TcpConnection v = table.biggest_holder(asker, need);
        if (v == null)
            return false;
        counters.faults.increment();
        RuntimeLog.limited(LOG, System.Logger.Level.DEBUG, "budget", () -> "TCP connection from " + v.remote
                + " closed: it holds the most of the spent buffer budget (" + v.held_bytes() + " bytes)");
        close(v);
        return true;
    }

    /** Reads what has come, up to a few chunks so that a large record moves on without hogging the thread. */
    private void read(TcpConnection c) {
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
                    if (r != null) {
                        ServerCall call = c.record(r);
                        if (call != null)
                            begin(call);
                    }
                }
            } catch (RecordAssembler.Fault f) {
                fault(c, f.kind, f.getMessage());
                return;
            }
            if (n < READ_CHUNK || c.closed() || c.read_paused())
                return;
        }
    }

    /** A call read this round: the leader keeps it when the other thread can take over meanwhile. */
    private void begin(ServerCall call) {
        if (standing_by.get() > 0 && lead.isHeldByCurrentThread() && inline_count < MAX_INLINE) {
            inline_count++;
            inline.addLast(call);
        } else {
            start(call);
        }
    }

    /** Hands a call to the pool, in turn with the other connections and addresses. */
    void start(ServerCall call) {
        TcpConnection c = (TcpConnection) call.origin;
        if (!scheduler.submit(c.address, c, call))
            call.drop(); // shutting down
    }

    /** Closes connections past a deadline; resumes accepting after a pause. */
    private void sweep(long now) {
        if (accept_resume != 0 && now - accept_resume >= 0) {
            accept_resume = 0;
            listener.keyFor(selector).interestOps(SelectionKey.OP_ACCEPT);
        }
        for (TcpConnection c : table.all()) {
            long started = c.assembler.started();
            boolean paused = c.read_paused();
            long unsent_since = c.unsent_since();
            boolean idle = c.quiet() && started == 0;
            long idle_since = c.idle_since();
            if (started != 0 && !paused && now - started > record_ns) {
                counters.deadlines.increment();
                fault(c, "record-deadline", "record not whole " + record_ns / 1_000_000L + " ms after its first byte");
            } else if (started != 0 && !paused && min_rate > 0 && now - started > RATE_GRACE_NS
                    && ConnectionTable.rate(c.assembler.received(), now - started) < min_rate) {
                counters.deadlines.increment();
                long got = c.assembler.received();
                fault(c, "record-rate", "record arriving at " + ConnectionTable.rate(got, now - started)
                        + " bytes a second, under the minimum of " + min_rate);
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

    void fault(TcpConnection c, String kind, String message) {
        if (c.closed())
            return;
        counters.faults.increment();
        RuntimeLog.limited(LOG, System.Logger.Level.DEBUG, kind,
                () -> "TCP connection from " + c.remote + " closed: " + message);
        close(c);
    }

    /** Runs a task on the thread that runs the selector. */
    void post(Runnable task) {
        tasks.add(task);
        selector.wakeup();
    }

    // ---- closing

    /** Closes a connection once, from any thread, and gives back what it holds. */
    void close(TcpConnection c) {
        List<ServerCall> dropped = c.mark_closed();
        if (dropped == null)
            return;
        table.forget(c);
        for (CallScheduler.Task t : scheduler.remove_flow(c.address, c))
            t.drop();
        for (ServerCall call : dropped)
            call.drop();
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
        for (TcpConnection c : table.all())
            close(c);
        Runnable task;
        while ((task = tasks.poll()) != null)
            task.run();
        ServerCall left;
        while ((left = inline.pollFirst()) != null)
            left.drop();
        close_quietly(listener);
        try {
            selector.close();
        } catch (IOException e) {
            // closed either way
        }
    }

    /** Stops: closes the listener and every connection, and ends the threads. */
    public void close() {
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
    }
}
