// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT;

import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.net.InetSocketAddress;
import java.net.Socket;
import java.net.SocketTimeoutException;
import java.time.Duration;
import java.util.HashMap;
import java.util.Map;
import java.util.concurrent.locks.Condition;
import java.util.concurrent.locks.ReentrantLock;

/**
 * One TCP connection with record marking, shared by concurrent calls. A
 * call writes its record with one write; then one waiting caller at a time
 * (the reader) reads replies and decodes each into the result of the caller
 * whose xid it carries, waking that caller. When the reader's own reply
 * has come, or its time is up, another waiting caller takes over.
 */
final class TcpClientTransport extends ClientTransport {
    /** One call waiting for its reply. */
    private static final class Waiter {
        final XDT result;
        final Condition woken;
        boolean claimed; // the reader has taken this call's reply and is decoding it into result
        boolean done;
        rpc_err error;

        Waiter(XDT result, Condition woken) {
            this.result = result;
            this.woken = woken;
        }
    }

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

    private final ReentrantLock lock = new ReentrantLock();
    private final Map<Integer, Waiter> waiting = new HashMap<>(); // guarded by lock
    private boolean reading;                                      // guarded by lock
    private rpc_err broken;                                       // guarded by lock

    // Used by the reader only.
    private volatile RecordReader records;
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
        lock.lock();
        try {
            // The reader keeps its buffer only between records; a new limit starts with the next one.
            if (!reading && !records.inside_record())
                records = new RecordReader(bytes);
        } finally {
            lock.unlock();
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
        lock.lock();
        try {
            if (broken == null)
                broken = err;
            for (Waiter w : waiting.values()) {
                w.done = true;
                w.error = err;
                w.woken.signal();
            }
            waiting.clear();
        } finally {
            lock.unlock();
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
        Waiter me;
        lock.lock();
        try {
            if (broken != null)
                throw new rpc_err(RpcStatus.CANT_SEND, "connection closed: " + broken.getMessage());
            me = new Waiter(result, lock.newCondition());
            waiting.put(xid, me);
        } finally {
            lock.unlock();
        }
        try {
            send(call.buffer(), call.position());
        } catch (IOException e) {
            rpc_err err = new rpc_err(RpcStatus.CANT_SEND, e.getMessage(), e);
            fail(err);
            throw err;
        }
        lock.lock();
        try {
            while (!me.done) {
                long left = deadline - System.nanoTime();
                // Once the reader decodes into the caller's result, the caller waits for it to finish.
                if (left <= 0 && !me.claimed)
                    break;
                if (!reading) {
                    reading = true;
                    lock.unlock();
                    try {
                        read_replies(me, deadline);
                    } finally {
                        lock.lock();
                        reading = false;
                        // Hand the reading on to a caller still waiting.
                        for (Waiter w : waiting.values()) {
                            if (!w.done) {
                                w.woken.signal();
                                break;
                            }
                        }
                    }
                } else {
                    try {
                        me.woken.awaitNanos(Math.max(left, 1_000_000));
                    } catch (InterruptedException e) {
                        Thread.currentThread().interrupt();
                        waiting.remove(xid);
                        throw new rpc_err(RpcStatus.FAILED, "interrupted while waiting for the reply", e);
                    }
                }
            }
            if (!me.done) {
                waiting.remove(xid);
                throw new rpc_err(RpcStatus.TIMED_OUT);
            }
            if (me.error != null)
                throw me.error;
        } finally {
            lock.unlock();
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
            lock.lock();
            try {
                // Replies already read for others are handed out before the reading is handed on.
                if (me.done && !r.next_record_buffered() || broken != null)
                    return;
            } finally {
                lock.unlock();
            }
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
            Waiter target;
            lock.lock();
            try {
                target = waiting.remove(xid);
                if (target != null)
                    target.claimed = true;
            } finally {
                lock.unlock();
            }
            if (target == null)
                continue; // the reply to a call that timed out, or to none
            rpc_err err = null;
            try {
                RpcClient.decode_reply(reply, target.result);
            } catch (rpc_err e) {
                err = e;
            }
            lock.lock();
            try {
                target.error = err;
                target.done = true;
                if (target != me)
                    target.woken.signal();
            } finally {
                lock.unlock();
            }
        }
    }
}
