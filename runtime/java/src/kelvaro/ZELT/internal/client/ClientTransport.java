// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT.internal.client;

import java.io.IOException;
import java.net.InetSocketAddress;
import java.net.PortUnreachableException;
import java.nio.channels.ClosedChannelException;
import java.nio.channels.Selector;
import kelvaro.ZELT.RpcClient;
import kelvaro.ZELT.RpcStatus;
import kelvaro.ZELT.XDR;
import kelvaro.ZELT.XDT;
import kelvaro.ZELT.internal.access.Access;
import kelvaro.ZELT.internal.access.XdrAccess;
import kelvaro.ZELT.rpc_err;

/** How an {@link RpcClient} gets a call to its server and the reply back. */
public abstract class ClientTransport {
    private static final XdrAccess XDRS = Access.xdr();

    /**
     * Where the server is. A transport asks again before each connection it
     * opens after the first (TCP) or after the server was found missing
     * (UDP), so that a client made through the portmapper follows a server
     * that came back on another port.
     */
    public interface Target {
        /**
         * The server's address and port.
         *
         * @param deadline when to give up, in {@link System#nanoTime()}
         * @return the address
         * @throws rpc_err when the server cannot be found in time
         */
        InetSocketAddress locate(long deadline) throws rpc_err;

        /**
         * Whether {@link #locate} may answer another port from one time to the next.
         *
         * @return true for a target found through the portmapper
         */
        boolean moves();
    }

    /**
     * A target that is always the same address and port.
     *
     * @param to the address and port
     * @return the target
     */
    public static Target fixed(InetSocketAddress to) {
        return new Target() {
            @Override
            public InetSocketAddress locate(long deadline) {
                return to;
            }

            @Override
            public boolean moves() {
                return false;
            }
        };
    }

    /**
     * Bytes to leave free in front of a call for the transport's own header.
     *
     * @return the bytes
     */
    public abstract int header_room();

    /**
     * Opaque arguments of at least this many bytes are referred to by the
     * encoded call rather than copied into it ({@link XDR#refer_to_opaque});
     * a transport that needs the call in one array says none.
     *
     * @return the smallest opaque item referred to
     */
    public int refer_from() {
        return Integer.MAX_VALUE;
    }

    /**
     * Sends the call in out (from offset 0, header room included, to its
     * position) and decodes the reply with this xid into result, before the
     * deadline (System.nanoTime).
     *
     * @param xid the call's transaction id
     * @param out the encoded call
     * @param result where the result goes
     * @param deadline when the call times out, in {@link System#nanoTime()}
     * @param retransmit_nanos how long to wait before sending a UDP call again
     * @throws rpc_err when the call fails or the reply says it did
     */
    public abstract void call(int xid, XDR out, XDT result, long deadline, long retransmit_nanos) throws rpc_err;

    /**
     * Sends the call in out and returns; done gets null once the reply
     * with this xid is decoded into result, or the call's error. Here: the
     * blocking call, run on a thread of {@link #ASYNC_THREADS}, for a
     * transport that cannot do better (UDP, whose calls are serialised).
     * The call is encoded already; out is the caller's again when this
     * returns.
     *
     * @param xid the call's transaction id
     * @param out the encoded call
     * @param result where the result goes
     * @param deadline when the call times out, in {@link System#nanoTime()}
     * @param retransmit_nanos how long to wait before sending a UDP call again
     * @param done what gets the outcome
     * @param future the caller's future, which a transport may watch for cancellation
     * @throws rpc_err when the call cannot be sent at all
     */
    public void call_async(int xid, XDR out, XDT result, long deadline, long retransmit_nanos,
            java.util.function.Consumer<Throwable> done, java.util.concurrent.CompletableFuture<?> future)
            throws rpc_err {
        byte[] bytes = out.toByteArray();
        XDR copy = XDRS.encoder(Math.max(64, bytes.length));
        System.arraycopy(bytes, 0, XDRS.buffer(copy), 0, bytes.length);
        XDRS.reset_encode(copy, bytes.length);
        run_async(() -> {
            try {
                call(xid, copy, result, deadline, retransmit_nanos);
                done.accept(null);
            } catch (rpc_err | RuntimeException | Error e) {
                done.accept(e);
            }
        }, done);
    }

    /** Threads that run blocking calls for asynchronous callers, shared by every client; ended when idle. */
    static final java.util.concurrent.ThreadPoolExecutor ASYNC_THREADS = async_threads();

    private static java.util.concurrent.ThreadPoolExecutor async_threads() {
        java.util.concurrent.ThreadPoolExecutor e = new java.util.concurrent.ThreadPoolExecutor(16, 16, 30,
                java.util.concurrent.TimeUnit.SECONDS, new java.util.concurrent.LinkedBlockingQueue<>(), r -> {
                    Thread t = new Thread(r, "kelvaro-zelt client async");
                    t.setDaemon(true);
                    return t;
                });
        e.allowCoreThreadTimeOut(true);
        return e;
    }

    /**
     * Runs blocking work for an asynchronous caller on a shared thread.
     *
     * @param work the work
     * @param done gets CANT_SEND when no thread can take the work
     */
    public static void run_async(Runnable work, java.util.function.Consumer<Throwable> done) {
        try {
            ASYNC_THREADS.execute(work);
        } catch (java.util.concurrent.RejectedExecutionException e) {
            done.accept(new rpc_err(RpcStatus.CANT_SEND, "no thread for the call", e));
        }
    }

    /**
     * Sets the largest reply record accepted.
     *
     * @param bytes the limit
     */
    public abstract void set_record_limit(int bytes);

    /**
     * Sets the client's call time-out, which also bounds how long a reply record may take to arrive.
     *
     * @param nanos the time-out
     */
    public abstract void set_timeout(long nanos);

    /**
     * The protocol.
     *
     * @return "tcp" or "udp"
     */
    public abstract String protocol();

    /**
     * The server's address and port in use now.
     *
     * @return the address
     */
    public abstract InetSocketAddress remote();

    /**
     * Takes a lock, waiting no later than the call's deadline.
     *
     * @throws rpc_err TIMED_OUT when the deadline passes first, FAILED when
     *         the thread is interrupted (its interrupt is kept)
     */
    static void lock_until(java.util.concurrent.locks.Lock lock, long deadline) throws rpc_err {
        try {
            if (!lock.tryLock(Math.max(0, deadline - System.nanoTime()), java.util.concurrent.TimeUnit.NANOSECONDS))
                throw new rpc_err(RpcStatus.TIMED_OUT);
        } catch (InterruptedException e) {
            Thread.currentThread().interrupt();
            throw new rpc_err(RpcStatus.FAILED, "interrupted while waiting for the reply");
        }
    }

    /** Closes the connection or socket; calls waiting fail. */
    public abstract void close();

    static int millis_left(long deadline) {
        long left = deadline - System.nanoTime();
        if (left <= 0)
            return 0;
        return (int) Math.max(1, Math.min(Integer.MAX_VALUE, (left + 999_999) / 1_000_000));
    }

    /** A selector's wait of at least a millisecond for up to nanos (0 would mean forever). */
    static void select(Selector selector, long nanos) throws IOException {
        long ms = Math.max(1, (nanos + 999_999) / 1_000_000);
        try {
            selector.select(key -> { }, ms);
        } catch (java.nio.channels.ClosedSelectorException e) {
            throw new ClosedChannelException();
        }
    }

    /**
     * What failed, in the words the system's error texts use, the way C
     * clients print it after "errno = ": "Connection refused" for a server
     * that is not there (an ICMP port unreachable over UDP), and the
     * exception's own text otherwise.
     */
    static String errno_text(IOException e) {
        if (e instanceof PortUnreachableException)
            return "Connection refused";
        String m = e.getMessage();
        if (m == null)
            return e.getClass().getSimpleName();
        if (m.equals("Connection reset"))
            return "Connection reset by peer";
        return m;
    }

    /** Closes each of the channels and selectors that is not null; a failure to close is no failure here. */
    static void close_quietly(java.io.Closeable... things) {
        for (java.io.Closeable c : things) {
            try {
                if (c != null)
                    c.close();
            } catch (IOException e) {
                // closed either way
            }
        }
    }
}
