// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT.internal.client;

import java.io.IOException;
import java.net.InetSocketAddress;
import java.net.PortUnreachableException;
import java.nio.ByteBuffer;
import java.nio.channels.DatagramChannel;
import java.nio.channels.SelectionKey;
import java.nio.channels.Selector;
import java.util.concurrent.locks.ReentrantLock;
import kelvaro.ZELT.RpcStatus;
import kelvaro.ZELT.XDR;
import kelvaro.ZELT.XDRError;
import kelvaro.ZELT.XDT;
import kelvaro.ZELT.internal.access.Access;
import kelvaro.ZELT.internal.access.RpcAccess;
import kelvaro.ZELT.internal.access.XdrAccess;
import kelvaro.ZELT.rpc_err;

/**
 * RPC over UDP: each call is one datagram, sent again every retransmission
 * interval until the reply with its xid comes or the deadline passes.
 * Calls are serialised; a caller waits for its turn at most until its own
 * deadline.
 *
 * <p>The channel is connected, so that datagrams from any other sender are
 * not delivered to it and the system reports a server that is not there
 * (an ICMP port unreachable) as an error of the next receive; such a call
 * fails at once with {@link RpcStatus#CANT_RECV} and "errno = Connection
 * refused", as C clients report it. When the client was made through the
 * portmapper, the call first asks the portmapper again and, when the
 * server is registered on another port now, sends the same datagram there
 * (nobody received it where it went); a server found on no port leaves
 * that for the next call. The channel
 * does not block: a call waits on a selector, which costs no system calls
 * beyond the wait itself (send, wait, receive).
 */
public final class UdpClientTransport extends ClientTransport {
    private static final RpcAccess RPC = Access.rpc();
    private static final XdrAccess XDRS = Access.xdr();

    /** The largest UDP payload over IPv4. */
    static final int MAX_DATAGRAM = 65507;

    private final Target target;
    private final ReentrantLock lock = new ReentrantLock();
    private volatile InetSocketAddress to;
    private volatile boolean closed;

    // Guarded by lock.
    private DatagramChannel channel;
    private Selector selector;
    private boolean relocate; // the server was not there: locate it again before the next call
    private final byte[] in_buf = new byte[65536];
    private final ByteBuffer in_view = ByteBuffer.wrap(in_buf);
    private ByteBuffer out_view;
    private final XDR reply = new XDR(new byte[0]);

    /**
     * Opens a socket connected to first; after the server was found missing the target says where it is.
     *
     * @param target where the server is after a move
     * @param first where it is now
     * @throws rpc_err {@link kelvaro.ZELT.RpcStatus#SYSTEM_ERROR} when the socket cannot be opened
     */
    public UdpClientTransport(Target target, InetSocketAddress first) throws rpc_err {
        this.target = target;
        open(first);
    }

    /** Opens a channel connected to the server at to, closing the one before. */
    private void open(InetSocketAddress to) throws rpc_err {
        DatagramChannel ch = null;
        Selector sel = null;
        try {
            ch = DatagramChannel.open();
            // Connected: datagrams from any other sender are not delivered to it.
            ch.connect(to);
            ch.configureBlocking(false);
            sel = Selector.open();
            ch.register(sel, SelectionKey.OP_READ);
        } catch (IOException e) {
            close_quietly(ch, sel);
            throw RPC.local_error("cannot open a UDP socket to " + to.getAddress().getHostAddress() + " port "
                    + to.getPort() + ": " + errno_text(e), e);
        }
        close_quietly(channel, selector);
        channel = ch;
        selector = sel;
        this.to = to;
    }

    @Override
    public int header_room() {
        return 0;
    }

    @Override
    public void set_record_limit(int bytes) {
        // datagrams bound the size
    }

    @Override
    public void set_timeout(long nanos) {
        // each call has its own deadline; there are no records
    }

    @Override
    public String protocol() {
        return "udp";
    }

    @Override
    public InetSocketAddress remote() {
        return to;
    }

    @Override
    public void close() {
        closed = true;
        // A call under way is woken by the selector's closing and fails.
        DatagramChannel ch;
        Selector sel;
        synchronized (this) {
            ch = channel;
            sel = selector;
        }
        close_quietly(ch, sel);
    }

    @Override
    public void call(int xid, XDR call, XDT result, long deadline, long retransmit_nanos) throws rpc_err {
        int len = XDRS.position(call);
        if (len > MAX_DATAGRAM)
            throw new rpc_err(RpcStatus.CANT_ENCODE_ARGS, "call of " + len + " bytes is larger than a UDP datagram");
        if (closed)
            throw new rpc_err(RpcStatus.CANT_SEND, "client closed");
        lock_until(lock, deadline);
        try {
            if (relocate) {
                InetSocketAddress where = target.locate(deadline);
                synchronized (this) {
                    if (closed)
                        throw new rpc_err(RpcStatus.CANT_SEND, "client closed");
                    open(where);
                }
                relocate = false;
            }
            exchange(xid, XDRS.buffer(call), len, result, deadline, retransmit_nanos);
        } finally {
            lock.unlock();
        }
    }

    /** The system reported the server missing (an ICMP port unreachable). */
    private static final class Unreachable extends Exception {
        private static final long serialVersionUID = 1L;
        final rpc_err err;

        Unreachable(rpc_err err) {
            super(err.getMessage(), null, false, false);
            this.err = err;
        }
    }

    /**
     * Sends the call until its reply comes. When the server is found missing
     * and the target moves, it is located again once and the same datagram
     * goes to where it is now: nobody received it where it went.
     */
    private void exchange(int xid, byte[] b, int len, XDT result, long deadline, long retransmit_nanos) throws rpc_err {
        ByteBuffer out = out_view;
        if (out == null || out.array() != b)
            out_view = out = ByteBuffer.wrap(b);
        boolean located_again = false;
        while (true) {
            try {
                attempt(out, len, xid, result, deadline, retransmit_nanos);
                return;
            } catch (Unreachable e) {
                if (!target.moves() || located_again)
                    throw e.err;
                located_again = true;
                InetSocketAddress where;
                try {
                    where = target.locate(deadline);
                } catch (rpc_err not_found) {
                    relocate = true;
                    throw e.err;
                }
                if (where.equals(to))
                    throw e.err;
                synchronized (this) {
                    if (closed)
                        throw new rpc_err(RpcStatus.CANT_SEND, "client closed");
                    open(where);
                }
            }
        }
    }

    /** Sends and resends the datagram to the current channel's server until the reply or the deadline. */
    private void attempt(ByteBuffer out, int len, int xid, XDT result, long deadline, long retransmit_nanos)
            throws rpc_err, Unreachable {
        while (true) {
            send(out, len);
            long resend = deadline - System.nanoTime() < retransmit_nanos ? deadline : System.nanoTime() + retransmit_nanos;
            // The reply cannot be there yet: wait first, then read.
            while (true) {
                long left = resend - System.nanoTime();
                if (left <= 0)
                    break;
                try {
                    select(selector, left);
                } catch (IOException e) {
                    throw new rpc_err(RpcStatus.CANT_RECV, closed ? "client closed" : "errno = " + errno_text(e), e);
                }
                if (receive(xid, result))
                    return;
                if (Thread.interrupted()) {
                    Thread.currentThread().interrupt();
                    throw new rpc_err(RpcStatus.FAILED, "interrupted while waiting for the reply");
                }
            }
            if (deadline - System.nanoTime() <= 0)
                throw new rpc_err(RpcStatus.TIMED_OUT);
        }
    }

    /** Sends the datagram; an error the system kept from an earlier datagram is passed over once. */
    private void send(ByteBuffer out, int len) throws rpc_err, Unreachable {
        for (int attempt = 0;; attempt++) {
            out.clear();
            out.limit(len);
            try {
                channel.write(out);
                return;
            } catch (PortUnreachableException e) {
                if (attempt > 0)
                    throw new Unreachable(new rpc_err(RpcStatus.CANT_SEND, "errno = " + errno_text(e), e));
            } catch (IOException e) {
                throw new rpc_err(RpcStatus.CANT_SEND, closed ? "client closed" : "errno = " + errno_text(e), e);
            }
        }
    }

    /**
     * Reads the datagrams that are there; true when the reply with this
     * xid was among them and has been decoded into result.
     */
    private boolean receive(int xid, XDT result) throws rpc_err, Unreachable {
        while (true) {
            int n;
            try {
                in_view.clear();
                n = channel.read(in_view);
            } catch (PortUnreachableException e) {
                throw new Unreachable(new rpc_err(RpcStatus.CANT_RECV, "errno = " + errno_text(e), e));
            } catch (IOException e) {
                throw new rpc_err(RpcStatus.CANT_RECV, closed ? "client closed" : "errno = " + errno_text(e), e);
            }
            if (n <= 0)
                return false;
            if (n < 4)
                continue;
            XDRS.reset_decode(reply, in_buf, 0, n);
            try {
                if (reply.dec_int() != xid)
                    continue; // a late reply to an earlier call
            } catch (XDRError e) {
                continue;
            }
            RpcMessage.decode_reply(reply, result);
            return true;
        }
    }
}
