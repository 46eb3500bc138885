// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT;

import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.net.InetSocketAddress;
import java.net.Socket;
import java.net.SocketTimeoutException;
import java.time.Duration;
import java.util.concurrent.ConcurrentHashMap;
import java.util.concurrent.atomic.AtomicBoolean;
import java.util.concurrent.locks.LockSupport;

/**
 * One TCP connection with record marking, shared by concurrent calls. A
 * call writes its record with one write; then one waiting caller at a time
 * (the reader) reads replies and decodes each into the result of the caller
 * whose xid it carries, waking that caller. When the reader's own reply
 * has come, or its time is up, another waiting caller takes over.
 *
 * <p>No lock is held across a hand-over: the waiting calls are in a
 * concurrent map, the reader's role is one atomic flag, and a caller waits
 * by parking its own thread until the reader unparks it. So a reply costs
 * its caller one wake-up and no contended lock; a lone caller that finds
 * no reader reads its own reply at once.
 */
final class TcpClientTransport extends ClientTransport {
    /** One call waiting for its reply. */
    private static final class Waiter {
        final XDT result;
        final Thread thread;
        volatile boolean done;
        Throwable error; // an rpc_err, or an Error thrown while decoding the result; written before done

        Waiter(XDT result, Thread thread) {
            this.result = result;
            this.thread = thread;
        }

        void finish(Throwable err) {
            error = err;
            done = true;
            if (thread != Thread.currentThread())
                LockSupport.unpark(thread);
        }
    }

    /** The longest a waiting caller parks before it looks again whether the reader's role is free. */
    private static final long RECHECK_NANOS = 50_000_000L;

    private final InetSocketAddress to;
    private final Socket socket;
    private final InputStream in;
    private final OutputStream out;
    // Calls that come while another thread writes wait here, and that thread writes them too.
    private final Object write_lock = new Object();
    private boolean writing;                                  // guarded by write_lock
    private byte[] pending = new byte[1024];                  // guarded by write_lock
    private int pending_length;                               // guarded by write_lock
    private byte[] spare_pending = new byte[1024];            // used by the writing thread

    // A reply's caller is found here by xid; whoever removes a waiter (the
    // reader that has its reply, the caller whose time is up, or fail) ends it.
    private final ConcurrentHashMap<Integer, Waiter> waiting = new ConcurrentHashMap<>();
    private final AtomicBoolean reading = new AtomicBoolean();
    private volatile rpc_err broken;

    // Used by whoever holds the reader's role only.
    private RecordReader records;
    private final XDR reply = new XDR(new byte[0]);

    TcpClientTransport(InetSocketAddress to, Duration connect_timeout, int record_limit) throws rpc_err {
        this.to = to;
        Socket s = new Socket();
        try {
            s.connect(to, (int) Math.min(Integer.MAX_VALUE, connect_timeout.toMillis()));
            s.setTcpNoDelay(true);
            socket = s;
            in = s.getInputStream();
            out = s.getOutputStream();
        } catch (IOException e) {
            try {
                s.close();
            } catch (IOException ignored) {
                // nothing to release
            }
            throw new rpc_err(RpcStatus.SYSTEM_ERROR,
                    "cannot connect to " + to.getAddress().getHostAddress() + " port " + to.getPort() + ": " + e.getMessage(), e);
        }
        records = new RecordReader(record_limit);
    }

    @Override
    int header_room() {
        return 4;
    }

    @Override
    void set_record_limit(int bytes) {
        // The reader keeps its buffer only between records; a new limit starts with the next one.
        if (!reading.compareAndSet(false, true))
            return;
        try {
            if (!records.inside_record())
                records = new RecordReader(bytes);
        } finally {
            release_reading();
        }
    }

    @Override
    String protocol() {
        return "tcp";
    }

    @Override
    InetSocketAddress remote() {
        return to;
    }

    @Override
    void close() {
        fail(new rpc_err(RpcStatus.CANT_RECV, "client closed"));
    }

    /** Marks the connection broken, closes it and fails every waiting call with err. */
    private void fail(rpc_err err) {
        synchronized (this) {
            if (broken == null)
                broken = err;
        }
        for (Integer xid : waiting.keySet()) {
            Waiter w = waiting.remove(xid);
            if (w != null)
                w.finish(err);
        }
        try {
            socket.close();
        } catch (IOException e) {
            // closed either way
        }
    }

    @Override
    void call(int xid, XDR call, XDT result, long deadline, long retransmit_nanos) throws rpc_err {
        int len = call.position() - 4;
        call.put_int_at(0, 0x80000000 | len);
        Integer key = xid;
        Waiter me = new Waiter(result, Thread.currentThread());
        waiting.put(key, me);
        // fail() sets broken before it empties the map: a call it missed sees broken here.
        rpc_err was = broken;
        if (was != null) {
            waiting.remove(key);
            throw new rpc_err(RpcStatus.CANT_SEND, "connection closed: " + was.getMessage());
        }
        try {
            send(call.buffer(), call.position());
        } catch (IOException e) {
            rpc_err err = new rpc_err(RpcStatus.CANT_SEND, e.getMessage(), e);
            fail(err);
            throw err;
        }
        boolean interrupted = false;
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
                        read_replies(me, deadline);
                    } finally {
                        release_reading();
                    }
                } else {
                    LockSupport.parkNanos(this, Math.min(left, RECHECK_NANOS));
                    if (Thread.interrupted())
                        interrupted = true;
                }
            }
        } finally {
            if (interrupted)
                Thread.currentThread().interrupt();
        }
        if (me.error instanceof Error e)
            throw e;
        if (me.error != null)
            throw (rpc_err) me.error;
    }

    /**
     * Gives up the reader's role and wakes a caller still waiting to take
     * it over. A caller that registered after the look sees the role free.
     */
    private void release_reading() {
        reading.set(false);
        for (Waiter w : waiting.values()) {
            if (!w.done) {
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
    private void send(byte[] b, int n) throws IOException {
        synchronized (write_lock) {
            if (writing) {
                if (pending.length - pending_length < n)
                    pending = java.util.Arrays.copyOf(pending, Math.max(pending.length * 2, pending_length + n));
                System.arraycopy(b, 0, pending, pending_length, n);
                pending_length += n;
                return;
            }
            writing = true;
        }
        boolean done = false;
        try {
            out.write(b, 0, n);
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
                out.write(batch, 0, length);
                spare_pending = batch.length > RecordReader.KEEP ? new byte[1024] : batch;
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

    /** Reads replies, as the one reader, until mine has come, the deadline passes or the connection fails. */
    private void read_replies(Waiter me, long deadline) {
        RecordReader r = records;
        while (true) {
            // Replies already read for others are handed out before the reading is handed on.
            if (me.done && !r.next_record_buffered() || broken != null)
                return;
            int ms = millis_left(deadline);
            if (ms == 0)
                return;
            try {
                r.set_timeouts(socket, ms, ms);
                if (!r.read(in)) {
                    fail(new rpc_err(RpcStatus.CANT_RECV, "server closed the connection"));
                    return;
                }
            } catch (SocketTimeoutException e) {
                return;
            } catch (RecordReader.RecordTooLong e) {
                fail(new rpc_err(RpcStatus.CANT_RECV, e.getMessage(), e));
                return;
            } catch (IOException e) {
                fail(new rpc_err(RpcStatus.CANT_RECV, e.getMessage(), e));
                return;
            }
            if (r.length() < 4)
                continue; // no xid: nobody to give it to
            reply.reset_decode(r.buffer(), r.start(), r.length());
            int xid;
            try {
                xid = reply.dec_int();
            } catch (XDRError e) {
                continue;
            }
            Waiter target = waiting.remove(xid);
            if (target == null)
                continue; // the reply to a call that timed out, or to none
            // The result is its caller's: whatever decoding it throws goes to that
            // caller, never up the reader's own call, which would leave it waiting.
            Throwable err = null;
            try {
                RpcClient.decode_reply(reply, target.result);
            } catch (rpc_err | Error e) {
                err = e;
            }
            target.finish(err);
        }
    }
}
