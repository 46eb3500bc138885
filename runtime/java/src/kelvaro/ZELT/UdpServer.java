// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT;

import java.io.IOException;
import java.net.InetSocketAddress;
import java.nio.ByteBuffer;
import java.nio.channels.ClosedChannelException;
import java.nio.channels.DatagramChannel;
import java.util.ArrayList;
import java.util.List;

/**
 * The UDP side of an {@link RpcServer}: a set of threads that each take
 * the next datagram from the socket, run its call and send the reply to
 * the sender, so that calls run concurrently and one slow procedure holds
 * one thread, not every caller. The socket hands each datagram to one
 * thread; no queue sits between them. A reply larger than a datagram is
 * answered with SYSTEM_ERR.
 *
 * <p>With the duplicate-reply cache on ({@link ReplyCache}), a call that
 * matches one answered before gets the same reply without running again,
 * and a copy of a call still running is dropped (the caller's
 * retransmission will find the reply).
 */
final class UdpServer {
    private static final System.Logger LOG = RuntimeLog.logger("server");
    /** The largest reply a datagram carries over IPv4: 65,535 less the IP and UDP headers. */
    static final int MAX_DATAGRAM = 65_507;

    private final CallDispatcher dispatcher;
    private final ServerStats.Counters counters;
    private final DatagramChannel channel;
    private final ReplyCache cache; // null when off
    private final List<Thread> threads = new ArrayList<>();
    private final int port;
    private volatile boolean closed;

    UdpServer(CallDispatcher dispatcher, ServerStats.Counters counters, DatagramChannel channel,
            ServerSettings settings) throws IOException {
        this.dispatcher = dispatcher;
        this.counters = counters;
        this.channel = channel;
        this.port = ((InetSocketAddress) channel.getLocalAddress()).getPort();
        this.cache = settings.duplicateReplyEntries() > 0
                ? new ReplyCache(settings.duplicateReplyEntries(), settings.duplicateReplyBytes())
                : null;
        for (int i = 0; i < settings.workerThreads(); i++) {
            Thread t = new Thread(null, this::receive_loop, "kelvaro-zelt udp " + port + " worker",
                    CodecThread.WORKER_STACK_SIZE);
            t.setDaemon(true);
            threads.add(t);
        }
    }

    void start() {
        for (Thread t : threads)
            t.start();
    }

    int port() {
        return port;
    }

    private void receive_loop() {
        byte[] buf = new byte[65536];
        ByteBuffer in = ByteBuffer.wrap(buf);
        XDR call = new XDR(new byte[0]);
        XDR reply = new XDR(1024);
        while (!closed) {
            try {
                in.clear();
                InetSocketAddress sender = (InetSocketAddress) channel.receive(in);
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
                }
                reply.reset_encode(0);
                boolean answered = false;
                try {
                    answered = dispatcher.dispatch(buf, 0, len, call, reply, sender, "udp",
                            MAX_DATAGRAM);
                } finally {
                    if (key != null) {
                        if (answered && reply.position() > 0)
                            cache.done(key, java.util.Arrays.copyOf(reply.buffer(), reply.position()));
                        else
                            cache.abandon(key);
                    }
                }
                if (!answered || reply.position() == 0)
                    continue; // not a call, or a call dropped silently
                counters.bytes_out.add(channel.send(ByteBuffer.wrap(reply.buffer(), 0, reply.position()), sender));
                if (reply.capacity() > 128 * 1024)
                    reply = new XDR(1024);
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
    }

    void close() {
        closed = true;
        try {
            channel.close();
        } catch (IOException e) {
            // closed either way
        }
        for (Thread t : threads) {
            try {
                t.join(5000);
            } catch (InterruptedException e) {
                Thread.currentThread().interrupt();
                return;
            }
        }
    }
}
