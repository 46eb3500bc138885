// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT.internal.server.udp;

import java.io.IOException;
import java.net.InetSocketAddress;
import java.nio.ByteBuffer;
import java.nio.channels.ClosedChannelException;
import java.nio.channels.DatagramChannel;
import java.util.concurrent.atomic.AtomicBoolean;
import java.util.concurrent.locks.LockSupport;
import kelvaro.ZELT.RpcServer;
import kelvaro.ZELT.ServerSettings;
import kelvaro.ZELT.XDR;
import kelvaro.ZELT.internal.access.Access;
import kelvaro.ZELT.internal.access.XdrAccess;
import kelvaro.ZELT.internal.exec.CallScheduler;
import kelvaro.ZELT.internal.exec.CodecThread;
import kelvaro.ZELT.internal.log.RuntimeLog;
import kelvaro.ZELT.internal.server.CallDispatcher;
import kelvaro.ZELT.internal.server.ServerCall;
import kelvaro.ZELT.internal.server.ServerCounters;

/**
 * The UDP side of an {@link RpcServer}: {@link #READERS} threads take
 * turns at reading datagrams from the socket, one at a time. The reader
 * runs a call itself when no call waits for the pool and no other reader
 * runs one, which saves the
 * hand-off to another thread when the server is not loaded (the other
 * reader takes over the socket meanwhile); otherwise the call goes to the
 * server's {@link CallScheduler}, whose threads take the
 * calls of each sender address in turn, and of an address each source
 * port in turn, so that a flood from one address (from however many ports)
 * delays another address's call by about one call, and another port's of
 * the same address by about one call per flooding port. At most
 * {@link #QUEUED} calls wait there: past that the oldest datagram of the
 * longest port of the address with the most waiting is dropped (its
 * caller retransmits). Calls run concurrently; a reply larger than a datagram is
 * answered with SYSTEM_ERR.
 *
 * <p>With the duplicate-reply cache on ({@link ReplyCache}), a call that
 * matches one answered before gets the same reply without running again,
 * and a copy of a call still running is dropped (the caller's
 * retransmission will find the reply).
 */
public final class UdpServer implements ServerCall.Origin {
    private static final XdrAccess XDRS = Access.xdr();

    private static final System.Logger LOG = RuntimeLog.logger("server");
    /** The largest reply a datagram carries over IPv4: 65,535 less the IP and UDP headers. */
    static final int MAX_DATAGRAM = 65_507;
    /** Threads that receive datagrams. */
    static final int READERS = 2;
    /** UDP calls waiting for a thread, at most. */
    static final int QUEUED = 1024;

    private final CallDispatcher dispatcher;
    private final ServerCounters counters;
    private final CallScheduler scheduler;
    private final DatagramChannel channel;
    private final ReplyCache cache; // null when off
    private final Thread[] readers = new Thread[READERS];
    /** Set while a reader runs a call itself. */
    private final AtomicBoolean running_inline = new AtomicBoolean();
    /** Held by the reader that waits on the socket. */
    private final AtomicBoolean reading = new AtomicBoolean();
    /** How often a reader standing by looks whether the role is free. */
    private static final long STANDBY_POLL_NS = 2_000_000L;
    private final int port;
    private volatile boolean closed;

    /**
     * A server on a bound socket; its threads start with {@link #start()}.
     *
     * @param dispatcher what runs the calls
     * @param counters the server's counters
     * @param scheduler the pool the calls run on
     * @param channel the bound socket
     * @param settings the server's settings
     * @throws IOException when the socket's address cannot be read
     */
    public UdpServer(CallDispatcher dispatcher, ServerCounters counters, CallScheduler scheduler,
            DatagramChannel channel, ServerSettings settings) throws IOException {
        this.dispatcher = dispatcher;
        this.counters = counters;
        this.scheduler = scheduler;
        this.channel = channel;
        this.port = ((InetSocketAddress) channel.getLocalAddress()).getPort();
        this.cache = settings.duplicateReplyEntries() > 0
                ? new ReplyCache(settings.duplicateReplyEntries(), settings.duplicateReplyBytes())
                : null;
        for (int i = 0; i < readers.length; i++) {
            readers[i] = new Thread(null, this::receive_loop, "kelvaro-zelt udp " + port + " reader",
                    CodecThread.WORKER_STACK_SIZE);
            readers[i].setDaemon(true);
        }
    }

    /** Starts reading. */
    public void start() {
        for (Thread t : readers)
            t.start();
    }

    /**
     * The port.
     *
     * @return the port
     */
    public int port() {
        return port;
    }

    @Override
    public int header_room() {
        return 0;
    }

    @Override
    public int max_reply() {
        return MAX_DATAGRAM;
    }

    @Override
    public void done(ServerCall call, XDR reply) {
        ReplyCache.Key key = (ReplyCache.Key) call.cache_key;
        if (reply == null || XDRS.position(reply) == 0) { // dropped silently, or never run
            if (key != null)
                cache.abandon(key);
            return;
        }
        if (key != null)
            cache.done(key, java.util.Arrays.copyOf(XDRS.buffer(reply), XDRS.position(reply)));
        try {
            counters.bytes_out.add(channel.send(ByteBuffer.wrap(XDRS.buffer(reply), 0, XDRS.position(reply)), call.remote));
        } catch (IOException e) {
            // An unreachable sender or a send that failed loses that one reply.
        }
    }

    @Override
    public void not_a_call(ServerCall call) {
        if (call.cache_key != null)
            cache.abandon((ReplyCache.Key) call.cache_key);
    }

    /**
     * What each of the two reading threads runs. One holds the reader's
     * role and alone waits on the socket, so the socket's lock is never
     * contended; the other stands by. A reader that runs a call itself
     * gives the role up first, and the one standing by takes it when it
     * next looks (every {@link #STANDBY_POLL_NS}), so a slow call holds up
     * the datagrams behind it by that much at most.
     */
    private void receive_loop() {
        ServerCall.Buffers.may_wait();
        byte[] buf = new byte[65536];
        ByteBuffer in = ByteBuffer.wrap(buf);
        try {
            boolean mine = false; // this thread holds the reader's role
            while (!closed) {
                if (!mine && !reading.compareAndSet(false, true)) {
                    LockSupport.parkNanos(this, STANDBY_POLL_NS);
                    continue;
                }
                mine = true;
                ServerCall inline = null;
                try {
                    in.clear();
                    InetSocketAddress sender = (InetSocketAddress) channel.receive(in);
                    if (sender == null)
                        continue;
                    inline = take(buf, in.position(), sender);
                } catch (ClosedChannelException e) {
                    return;
                } catch (IOException e) {
                    if (closed)
                        return;
                    // An unreachable sender or a send that failed loses that one reply.
                } catch (RuntimeException e) {
                    if (closed)
                        return;
                    RuntimeLog.limited(LOG, System.Logger.Level.WARNING, "udp", () -> "UDP datagram failed: " + e);
                }
                if (inline != null) {
                    mine = false;
                    reading.set(false); // the other reader takes the socket over while this one runs the call
                    run_here(inline);
                }
            }
        } finally {
            ServerCall.Buffers.forget();
        }
    }

    /**
     * A datagram came: answered from the cache, or a call for this thread
     * to run (returned) when nothing waits for the pool, or queued.
     */
    private ServerCall take(byte[] buf, int len, InetSocketAddress sender) throws IOException {
        counters.bytes_in.add(len);
        ReplyCache.Key key = cache == null ? null : ReplyCache.key(buf, len, sender);
        if (key != null) {
            byte[] cached = cache.begin(key);
            if (cached == ReplyCache.RUNNING)
                return null; // the first copy still runs; its reply will answer this one too
            if (cached != null) {
                counters.duplicates.increment();
                counters.bytes_out.add(channel.send(ByteBuffer.wrap(cached), sender));
                return null;
            }
            counters.drc_misses.increment();
        }
        // One call at a time runs on a reader, and only while no call waits: the rest take turns in the pool.
        if (scheduler.queued() == 0 && running_inline.compareAndSet(false, true)) {
            ServerCall call = new ServerCall(dispatcher, this, sender, "udp", buf, len, null);
            call.cache_key = key;
            return call;
        }
        ServerCall call = new ServerCall(dispatcher, this, sender, "udp", java.util.Arrays.copyOf(buf, len), len,
                null);
        call.cache_key = key;
        if (!scheduler.submit_udp(sender.getAddress(), sender.getPort(), call, QUEUED))
            call.drop();
        return null;
    }

    private void run_here(ServerCall call) {
        try {
            call.run();
        } catch (RuntimeException | Error e) {
            if (e instanceof VirtualMachineError)
                throw e;
            if (!closed)
                RuntimeLog.limited(LOG, System.Logger.Level.WARNING, "udp", () -> "UDP call failed: " + e);
        } finally {
            running_inline.set(false);
        }
    }

    /** Stops: closes the socket and ends the threads. */
    public void close() {
        closed = true;
        try {
            channel.close();
        } catch (IOException e) {
            // closed either way
        }
        for (Thread t : readers) {
            try {
                t.join(5000);
            } catch (InterruptedException e) {
                Thread.currentThread().interrupt();
                return;
            }
        }
    }
}
