// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT;

import java.io.IOException;
import java.net.InetSocketAddress;
import java.nio.ByteBuffer;
import java.nio.channels.ClosedChannelException;
import java.nio.channels.DatagramChannel;
import java.util.concurrent.atomic.AtomicInteger;

/**
 * The UDP side of an {@link RpcServer}: {@link #READERS} threads take
 * datagrams from the socket. A reader runs a call itself while the other
 * reader waits on the socket and no call is queued, which saves the
 * hand-off to another thread when the server is not loaded; otherwise the
 * call goes to the server's {@link CallScheduler}, whose threads take the
 * calls of each sender address in turn, so that a flood from one address
 * (from however many ports) delays another address's call by about one
 * call. At most {@link #QUEUED} calls wait there: past that the oldest
 * datagram of the address with the most waiting is dropped (its caller
 * retransmits). Calls run concurrently; a reply larger than a datagram is
 * answered with SYSTEM_ERR.
 *
 * <p>With the duplicate-reply cache on ({@link ReplyCache}), a call that
 * matches one answered before gets the same reply without running again,
 * and a copy of a call still running is dropped (the caller's
 * retransmission will find the reply).
 */
final class UdpServer implements ServerCall.Origin {
    private static final System.Logger LOG = RuntimeLog.logger("server");
    /** The largest reply a datagram carries over IPv4: 65,535 less the IP and UDP headers. */
    static final int MAX_DATAGRAM = 65_507;
    /** Threads that receive datagrams. */
    static final int READERS = 2;
    /** UDP calls waiting for a thread, at most. */
    static final int QUEUED = 1024;

    private final CallDispatcher dispatcher;
    private final ServerStats.Counters counters;
    private final CallScheduler scheduler;
    private final DatagramChannel channel;
    private final ReplyCache cache; // null when off
    private final Thread[] readers = new Thread[READERS];
    private final AtomicInteger receiving = new AtomicInteger();
    private final int port;
    private volatile boolean closed;

    UdpServer(CallDispatcher dispatcher, ServerStats.Counters counters, CallScheduler scheduler,
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

    void start() {
        for (Thread t : readers)
            t.start();
    }

    int port() {
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
        if (reply == null || reply.position() == 0) { // dropped silently, or never run
            if (key != null)
                cache.abandon(key);
            return;
        }
        if (key != null)
            cache.done(key, java.util.Arrays.copyOf(reply.buffer(), reply.position()));
        try {
            counters.bytes_out.add(channel.send(ByteBuffer.wrap(reply.buffer(), 0, reply.position()), call.remote));
        } catch (IOException e) {
            // An unreachable sender or a send that failed loses that one reply.
        }
    }

    @Override
    public void not_a_call(ServerCall call) {
        if (call.cache_key != null)
            cache.abandon((ReplyCache.Key) call.cache_key);
    }

    private void receive_loop() {
        ServerCall.Buffers.may_wait();
        byte[] buf = new byte[65536];
        ByteBuffer in = ByteBuffer.wrap(buf);
        try {
            while (!closed) {
                try {
                    in.clear();
                    InetSocketAddress sender;
                    receiving.incrementAndGet();
                    try {
                        sender = (InetSocketAddress) channel.receive(in);
                    } finally {
                        receiving.decrementAndGet();
                    }
                    if (sender == null)
                        continue;
                    int len = in.position();
                    counters.bytes_in.add(len);
                    ReplyCache.Key key = cache == null ? null : ReplyCache.key(buf, len, sender);
                    if (key != null) {
                        byte[] cached = cache.begin(key);
                        if (cached == ReplyCache.RUNNING)
                            continue; // the first copy still runs; its reply will answer this one too
                        if (cached != null) {
                            counters.duplicates.increment();
                            counters.bytes_out.add(channel.send(ByteBuffer.wrap(cached), sender));
                            continue;
                        }
                        counters.drc_misses.increment();
                    }
                    // Run it here while the other reader waits on the socket and nothing is queued.
                    if (receiving.get() > 0 && scheduler.queued() == 0) {
                        ServerCall call = new ServerCall(dispatcher, this, sender, "udp", buf, len, null);
                        call.cache_key = key;
                        call.run();
                    } else {
                        ServerCall call = new ServerCall(dispatcher, this, sender, "udp",
                                java.util.Arrays.copyOf(buf, len), len, null);
                        call.cache_key = key;
                        if (!scheduler.submit_udp(sender.getAddress(), call, QUEUED))
                            call.drop();
                    }
                } catch (ClosedChannelException e) {
                    return;
                } catch (IOException e) {
                    if (closed)
                        return;
                    // An unreachable sender or a send that failed loses that one reply.
                } catch (RuntimeException | Error e) {
                    if (closed)
                        return;
                    if (e instanceof VirtualMachineError)
                        throw e;
                    RuntimeLog.limited(LOG, System.Logger.Level.WARNING, "udp", () -> "UDP call failed: " + e);
                }
            }
        } finally {
            ServerCall.Buffers.forget();
        }
    }

    void close() {
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
