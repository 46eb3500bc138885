// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT.internal.server;

import java.net.InetSocketAddress;
import java.util.concurrent.ScheduledFuture;
import java.util.concurrent.atomic.AtomicInteger;
import kelvaro.ZELT.CallContext;
import kelvaro.ZELT.ReplyHandle;
import kelvaro.ZELT.Rpc;
import kelvaro.ZELT.Svc;
import kelvaro.ZELT.XDR;
import kelvaro.ZELT.XDT;
import kelvaro.ZELT.internal.access.Access;
import kelvaro.ZELT.internal.access.RpcAccess;
import kelvaro.ZELT.internal.access.XdrAccess;
import kelvaro.ZELT.internal.exec.CallScheduler;
import kelvaro.ZELT.internal.gss.GssServerCall;

/**
 * One call on its way through a server: its record, what the header said
 * once it was admitted, and the one reply it gets. A call is answered
 * exactly once: by the thread that ran it, by a {@link ReplyHandle} from
 * any thread when the service deferred its reply, or with SYSTEM_ERR when
 * a deferred reply was not given by the reply deadline. Whichever comes
 * first answers; the others find the call done and do nothing.
 *
 * <p>The record's bytes are held until the arguments are decoded (the
 * procedure has returned or deferred its reply), then given back, so a
 * deferred call holds no record buffer while it waits.
 */
public final class ServerCall implements CallScheduler.Task {
    private static final RpcAccess RPC = Access.rpc();
    private static final XdrAccess XDRS = Access.xdr();

    /** Where a call came from and where its reply goes. */
    public interface Origin {
        /**
         * Bytes to leave in front of a reply for the transport's own header.
         *
         * @return the bytes
         */
        int header_room();

        /**
         * The most bytes a reply message may take.
         *
         * @return the bytes
         */
        int max_reply();

        /**
         * The call is over: its reply is out[header_room, position), or
         * out is null when it gets none (dropped silently, or dropped
         * unrun). Any thread; out may be reused once this returns.
         *
         * @param call the call
         * @param out the reply, or null
         */
        void done(ServerCall call, XDR out);

        /**
         * The record was not a call: no reply (a stream peer is cut off).
         *
         * @param call the call
         */
        void not_a_call(ServerCall call);
    }

    /** The buffers a runtime thread decodes calls and encodes replies in, kept from call to call. */
    public static final class Buffers {
        private static final ThreadLocal<XDR[]> MINE = ThreadLocal.withInitial(
                () -> new XDR[] {new XDR(new byte[0]), XDRS.encoder(512)});
        /** Reply buffers larger than this are not kept after use. */
        private static final int KEEP = 16 << 20;

        private Buffers() {
        }

        static XDR in() {
            return MINE.get()[0];
        }

        static XDR out() {
            return MINE.get()[1];
        }

        /** Lets a reply buffer that grew large go. */
        static void trim() {
            XDR[] x = MINE.get();
            if (XDRS.capacity(x[1]) > KEEP)
                x[1] = XDRS.encoder(512);
        }

        /** Each runtime thread's own selector for waiting on a slow peer; none on other threads. */
        private static final ThreadLocal<java.nio.channels.Selector[]> WAIT = new ThreadLocal<>();

        /** Lets this thread wait for slow peers when it writes replies. */
        public static void may_wait() {
            WAIT.set(new java.nio.channels.Selector[1]);
        }

        /**
         * This thread's selector for waiting on a peer, opened when first needed; null when it may not wait.
         *
         * @return the selector, or null
         * @throws java.io.IOException when no selector can be opened
         */
        public static java.nio.channels.Selector write_selector() throws java.io.IOException {
            java.nio.channels.Selector[] s = WAIT.get();
            if (s == null)
                return null;
            if (s[0] == null)
                s[0] = java.nio.channels.Selector.open();
            return s[0];
        }

        /** Lets this thread's buffers and selector go (the thread ends). */
        public static void forget() {
            MINE.remove();
            java.nio.channels.Selector[] s = WAIT.get();
            WAIT.remove();
            if (s != null && s[0] != null) {
                try {
                    s[0].close();
                } catch (java.io.IOException e) {
                    // closed either way
                }
            }
        }
    }

    private static final int RUNNING = 0, DEFERRED = 1, DONE = 2;
    private static final byte[] NO_BYTES = new byte[0];

    final CallDispatcher dispatcher;
    /** Where the call came from and where its reply goes. */
    public final Origin origin;
    /** The caller. */
    public final InetSocketAddress remote;
    final String protocol;
    private byte[] bytes;
    private int length;
    private Runnable release; // gives the record back; null once given
    /** The duplicate-reply cache's key (UDP), or null. */
    public Object cache_key;

    // What admission found (the thread that admits it, then whoever answers).
    int xid;
    Svc svc;
    /** The call's context, once admitted; null before. */
    public CallContext context;
    GssServerCall gss;
    XDR args;    // the arguments: the record's own stream, or the unwrapped RPCSEC_GSS body
    int args_at; // where they begin in args

    private final AtomicInteger state = new AtomicInteger(RUNNING);
    private volatile ScheduledFuture<?> deadline;

    /**
     * A call that has come: its record is bytes[0, length).
     *
     * @param dispatcher the server's dispatcher
     * @param origin where it came from
     * @param remote the caller
     * @param protocol "tcp" or "udp"
     * @param bytes the record's buffer
     * @param length the record's length
     * @param release what gives the buffer back, or null
     */
    public ServerCall(CallDispatcher dispatcher, Origin origin, InetSocketAddress remote, String protocol, byte[] bytes,
            int length, Runnable release) {
        this.dispatcher = dispatcher;
        this.origin = origin;
        this.remote = remote;
        this.protocol = protocol;
        this.bytes = bytes;
        this.length = length;
        this.release = release;
    }

    byte[] bytes() {
        return bytes;
    }

    int length() {
        return length;
    }

    /** Runs the call: admission, the procedure, the reply. */
    @Override
    public void run() {
        dispatcher.dispatch(this);
    }

    /** Never run (its connection closed, or it was shed): gives its record back. */
    @Override
    public void drop() {
        release_record();
        if (state.getAndSet(DONE) != DONE)
            origin.done(this, null);
    }

    /** Gives the record's buffer back once nothing reads it any more. */
    public void release_record() {
        Runnable r;
        synchronized (this) {
            r = release;
            release = null;
            bytes = NO_BYTES;
            length = 0;
        }
        if (r != null)
            r.run();
    }

    /** Ends the call with the reply encoded in out, or none (null). */
    void finish(XDR out) {
        if (state.getAndSet(DONE) == DONE)
            return;
        ScheduledFuture<?> d = deadline;
        if (d != null)
            d.cancel(false);
        origin.done(this, out);
    }

    /** Ends the call as one that was no call at all. */
    void not_a_call() {
        state.set(DONE);
        origin.not_a_call(this);
    }

    /** True when this thread's run of the procedure still owns the reply (it did not defer it). */
    boolean take_over_reply() {
        return state.compareAndSet(RUNNING, DONE);
    }

    /**
     * Hands the reply to a handle; the reply deadline starts now.
     *
     * @return the handle
     */
    public ReplyHandle defer() {
        if (!state.compareAndSet(RUNNING, DEFERRED))
            throw new IllegalStateException("the reply of this call is deferred already");
        deadline = dispatcher.schedule_abandon(this);
        return RPC.reply_handle(this);
    }

    /**
     * The handle's answer: false when the call was answered already (or abandoned).
     *
     * @param stat the accept status
     * @param result the result, for SUCCESS
     * @return true when this answered the call
     */
    public boolean answer_deferred(int stat, XDT result) {
        if (!state.compareAndSet(DEFERRED, DONE))
            return false;
        ScheduledFuture<?> d = deadline;
        if (d != null)
            d.cancel(false);
        dispatcher.encode_reply(this, XDRS.encoder(256), stat, result, CallDispatcher.ON_OTHER_THREAD);
        return true;
    }

    /** The reply deadline passed with the reply still deferred: SYSTEM_ERR, logged. */
    void abandon() {
        if (!state.compareAndSet(DEFERRED, DONE))
            return;
        dispatcher.abandoned(this);
        dispatcher.encode_reply(this, XDRS.encoder(256), Rpc.SYSTEM_ERR, null, CallDispatcher.ON_OTHER_THREAD);
    }

    /** True once the service has deferred the reply (or the call is over). */
    boolean deferred() {
        return state.get() != RUNNING;
    }

    /**
     * Whether the call has been answered.
     *
     * @return true once answered
     */
    public boolean done() {
        return state.get() == DONE;
    }

    /** Sends a reply already encoded in out (denials and other answers of admission). */
    void send_now(XDR out) {
        state.set(DONE);
        origin.done(this, out);
    }
}
