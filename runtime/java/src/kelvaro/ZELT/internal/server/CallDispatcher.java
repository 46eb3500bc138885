// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT.internal.server;

import java.net.InetSocketAddress;
import java.util.NavigableMap;
import kelvaro.ZELT.AuthPolicy;
import kelvaro.ZELT.AuthSys;
import kelvaro.ZELT.CallContext;
import kelvaro.ZELT.ReplyHandle;
import kelvaro.ZELT.Rpc;
import kelvaro.ZELT.ServerSettings;
import kelvaro.ZELT.Svc;
import kelvaro.ZELT.XDR;
import kelvaro.ZELT.XDRError;
import kelvaro.ZELT.XDT;
import kelvaro.ZELT.internal.access.Access;
import kelvaro.ZELT.internal.access.RpcAccess;
import kelvaro.ZELT.internal.access.XdrAccess;
import kelvaro.ZELT.internal.client.RpcMessage;
import kelvaro.ZELT.internal.codec.DeepData;
import kelvaro.ZELT.internal.codec.MemberPath;
import kelvaro.ZELT.internal.exec.CallScheduler;
import kelvaro.ZELT.internal.exec.CodecThread;
import kelvaro.ZELT.internal.gss.GssServerCall;
import kelvaro.ZELT.internal.gss.GssWire;
import kelvaro.ZELT.internal.log.RuntimeLog;

/**
 * Turns one call record into its reply (RFC 5531), for both server
 * transports: checks the header and the credentials, finds the program
 * version, runs {@code proc_call} and encodes the result.
 *
 * <p>Answers: RPC version other than 2: MSG_DENIED RPC_MISMATCH 2..2. A
 * header that cannot be decoded, a credential body over 400 bytes or a
 * malformed AUTH_SYS body: AUTH_ERROR AUTH_BADCRED; a verifier over 400
 * bytes or cut short: AUTH_BADVERF; a credential flavour other than
 * AUTH_NONE, AUTH_SYS and RPCSEC_GSS: AUTH_REJECTEDCRED; a service's
 * {@link AuthPolicy} and RPCSEC_GSS are checked by {@link GssServerCall}
 * (which may also drop the call). Unknown program:
 * PROG_UNAVAIL; known program, unknown version: PROG_MISMATCH with the
 * lowest and highest version served; {@code proc_call} returning null for
 * a procedure the service does not have: PROC_UNAVAIL; an XDRError while
 * decoding the arguments: GARBAGE_ARGS; anything else thrown by
 * {@code proc_call} or by encoding its result, a null result from a
 * procedure the service has, or a result too large for the transport:
 * SYSTEM_ERR. A record too short for an xid and a message type, or not a
 * CALL, gets no reply.
 *
 * <p>Every answered call is counted by its status in the server's
 * counters. A service that throws or returns null is logged at WARNING on
 * {@code kelvaro.ZELT.server} with program, version, procedure, caller and
 * the stack trace; rejected credentials at DEBUG. Both are rate-limited.
 *
 * <p>Arguments and results are walked on the calling worker's stack down
 * to {@link CodecThread#CALLER_DEPTH} levels; deeper ones are decoded (and
 * the procedure run) or encoded again on a large-stack thread, so that
 * workers keep small stacks and deep data touches few stack pages. The
 * call moves on to that thread whole and the worker is free at once: it
 * never waits for the large-stack threads, which take deep calls by peer
 * address in turn ({@link CallScheduler}), so one peer's deep calls
 * cannot starve another's.
 *
 * <p>A service method may defer its reply ({@link Svc#deferReply()}): the
 * call is then answered by its {@link ReplyHandle} from any thread, or
 * with SYSTEM_ERR at the reply deadline, whichever comes first.
 */
public final class CallDispatcher {
    private static final RpcAccess RPC = Access.rpc();
    private static final XdrAccess XDRS = Access.xdr();

    /** The call the current thread runs, for {@link Svc#currentCall()} and {@link Svc#deferReply()}. */
    public static final ThreadLocal<ServerCall> CURRENT = new ThreadLocal<>();

    /** Where a reply is encoded: a pool thread (deep data moves on), a large-stack thread, any other thread. */
    static final int ON_WORKER = 0, ON_DEEP = 1, ON_OTHER_THREAD = 2;

    private static final System.Logger LOG = RuntimeLog.logger("server");

    /** What the dispatcher asks of its server for each call. */
    public interface Services {
        /**
         * The services of a program.
         *
         * @param prog the program number
         * @return its services by version, or null when the program is not served
         */
        NavigableMap<Integer, Svc> versions(int prog);

        /**
         * Whether each service runs one call at a time.
         *
         * @return true when calls of a service are serialized
         */
        boolean serialized();
    }

    private final Services server;
    private final ServerCounters counters;
    private final java.util.concurrent.ScheduledThreadPoolExecutor timer;
    private volatile long reply_timeout_nanos = ServerSettings.DEFAULT_DEFERRED_REPLY_TIMEOUT.toNanos();

    /**
     * A dispatcher for a server.
     *
     * @param server the server's services
     * @param counters the server's counters
     */
    public CallDispatcher(Services server, ServerCounters counters) {
        this.server = server;
        this.counters = counters;
        timer = new java.util.concurrent.ScheduledThreadPoolExecutor(1, r -> {
            Thread t = new Thread(r, "kelvaro-zelt reply deadlines");
            t.setDaemon(true);
            return t;
        });
        timer.setRemoveOnCancelPolicy(true);
        timer.setKeepAliveTime(5, java.util.concurrent.TimeUnit.SECONDS);
        timer.allowCoreThreadTimeOut(true);
    }

    /**
     * Sets the reply deadline of deferred calls.
     *
     * @param nanos the deadline, from the deferral on
     */
    public void set_reply_timeout(long nanos) {
        reply_timeout_nanos = nanos;
    }

    /** Stops the reply deadlines (the server closes). */
    public void close() {
        timer.shutdownNow();
    }

    /** Schedules the abandonment of a deferred call at the reply deadline. */
    java.util.concurrent.ScheduledFuture<?> schedule_abandon(ServerCall call) {
        try {
            return timer.schedule(call::abandon, reply_timeout_nanos, java.util.concurrent.TimeUnit.NANOSECONDS);
        } catch (java.util.concurrent.RejectedExecutionException e) {
            return null; // closed: the connection goes with the server
        }
    }

    void abandoned(ServerCall call) {
        counters.abandoned.increment();
        RuntimeLog.limited(LOG, System.Logger.Level.WARNING, "reply-abandoned",
                () -> describe(call.context) + ": the service deferred its reply and did not give it within "
                        + reply_timeout_nanos / 1_000_000L + " ms; answered SYSTEM_ERR");
    }

    /**
     * Runs a call on this pool thread: checks the header and credentials,
     * runs the procedure and answers, or hands the call to a large-stack
     * thread when its arguments nest too deep for this one, or leaves the
     * answer to a {@link ReplyHandle} when the service deferred it.
     */
    void dispatch(ServerCall call) {
        XDR in = ServerCall.Buffers.in();
        XDR out = ServerCall.Buffers.out();
        try {
            XDRS.reset_encode(out, call.origin.header_room());
            int admitted;
            try {
                admitted = admit(call, in, out);
            } catch (RuntimeException e) {
                call.release_record();
                throw e;
            }
            if (admitted == NOT_A_CALL) {
                call.release_record();
                call.not_a_call();
            } else if (admitted == ANSWERED) {
                call.release_record();
                call.send_now(out);
            } else if (admitted == DROPPED) {
                call.release_record();
                call.send_now(null);
            } else {
                if (call.args == in) {
                    // The arguments are read from the record through this thread's stream.
                    call.args_at = XDRS.position(in);
                }
                execute(call, ON_WORKER);
            }
        } finally {
            XDRS.reset_decode(in, NO_BYTES, 0, 0);
            ServerCall.Buffers.trim();
        }
    }

    private static final byte[] NO_BYTES = new byte[0];
    private static final int NOT_A_CALL = 0, ANSWERED = 1, DROPPED = 2, PROCEED = 3;

    /** What a call's header says, from its record: read by {@link #read_header}. */
    private static final class Header {
        int prog, vers, proc, flavour;
        AuthSys cred;
        GssWire.Cred gss_cred;
        final int[] gss_version = new int[1];
        int header_end; // where the verifier begins
        int verf_flavour;
        byte[] verf;    // RPCSEC_GSS only
    }

    /**
     * Reads the call's header from its record and checks it; a call that
     * is answered here has its reply in out. PROCEED leaves call.args (and
     * call.args_at for a protected call) at the arguments.
     */
    private int admit(ServerCall call, XDR in, XDR out) {
        XDRS.reset_decode(in, call.bytes(), 0, call.length());
        int xid;
        try {
            if (call.length() < 8)
                return NOT_A_CALL;
            xid = in.dec_int();
            if (in.dec_int() != Rpc.CALL)
                return NOT_A_CALL;
        } catch (XDRError e) {
            return NOT_A_CALL;
        }
        call.xid = xid;
        int base = XDRS.position(out);
        out.enc_int(xid);
        out.enc_int(Rpc.REPLY);
        Header h = read_header(call, in, out);
        if (h == null)
            return ANSWERED;
        NavigableMap<Integer, Svc> versions = server.versions(h.prog);
        Svc svc = versions == null ? null : versions.get(h.vers);
        // The service's credential policy, and RPCSEC_GSS: may answer or drop the call itself.
        GssServerCall gss = null;
        if (svc != null && (RPC.auth_policy(svc) != null || h.flavour == GssWire.RPCSEC_GSS)) {
            gss = GssServerCall.admit(RPC.auth_policy(svc), h.flavour, h.gss_cred, h.gss_version[0], call.bytes(), 0,
                    h.header_end, h.verf_flavour, h.verf, call.remote, h.proc, in, out);
            if (gss.outcome == GssServerCall.DROP) {
                // A replayed or stale call: no reply at all, and the connection stays.
                XDRS.set_position(out, base);
                return DROPPED;
            }
            if (gss.outcome == GssServerCall.DENY) {
                deny_auth(out, gss.why);
                counters.answered(-1);
                return ANSWERED;
            }
            if (gss.outcome == GssServerCall.REPLIED) {
                counters.answered(Rpc.SUCCESS);
                return ANSWERED;
            }
            if (!gss.is_gss())
                gss = null;
        }
        if (svc == null) {
            not_served(versions, out);
            return ANSWERED;
        }
        CallContext plain = RPC.call_context(call.remote, call.protocol, h.cred, xid, h.prog, h.vers, h.proc);
        call.context = gss == null ? plain : RPC.with_gss(plain, gss.principal(), gss.service);
        call.svc = svc;
        call.gss = gss;
        call.args = in;
        if (gss != null && gss.protects()) {
            XDR args = gss.unwrap_args(in, call.remote);
            if (args == null) {
                XDRS.set_position(out, base);
                encode_header(call, out);
                out.enc_int(Rpc.GARBAGE_ARGS);
                counters.answered(Rpc.GARBAGE_ARGS);
                return ANSWERED;
            }
            call.args = args;
            call.args_at = XDRS.position(args);
        }
        XDRS.set_position(out, base); // the reply is encoded when the procedure is done
        return PROCEED;
    }

    /**
     * Reads the header from the RPC version to the verifier; null when the
     * call was answered (RPC_MISMATCH or AUTH_ERROR, in out).
     */
    private Header read_header(ServerCall call, XDR in, XDR out) {
        Header h = new Header();
        int why = Rpc.AUTH_BADCRED;
        try {
            int rpcvers = in.dec_int();
            if (rpcvers != Rpc.RPC_VERSION) {
                out.enc_int(Rpc.MSG_DENIED);
                out.enc_int(Rpc.RPC_MISMATCH);
                out.enc_int(Rpc.RPC_VERSION);
                out.enc_int(Rpc.RPC_VERSION);
                counters.answered(-1);
                return null;
            }
            h.prog = in.dec_int();
            h.vers = in.dec_int();
            h.proc = in.dec_int();
            h.flavour = in.dec_int();
            int cred_len = auth_length(in);
            if (h.flavour == Rpc.AUTH_SYS)
                h.cred = RPC.decode_auth_sys(in, cred_len);
            else if (h.flavour == GssWire.RPCSEC_GSS)
                h.gss_cred = GssWire.Cred.decode(in, cred_len, h.gss_version);
            else
                skip(in, cred_len);
            h.header_end = XDRS.position(in);
            why = Rpc.AUTH_BADVERF;
            h.verf_flavour = in.dec_int();
            int verf_len = auth_length(in);
            if (h.flavour == GssWire.RPCSEC_GSS) {
                XDRS.set_position(in, XDRS.position(in) - 4);
                h.verf = in.dec_bytes();
            } else {
                skip(in, verf_len); // nothing is checked against other verifiers
            }
        } catch (XDRError e) {
            deny_auth(out, why);
            log_denied(call.remote, call.protocol, why, e.getMessage());
            return null;
        }
        if (h.flavour != Rpc.AUTH_NONE && h.flavour != Rpc.AUTH_SYS && h.flavour != GssWire.RPCSEC_GSS) {
            deny_auth(out, Rpc.AUTH_REJECTEDCRED);
            log_denied(call.remote, call.protocol, Rpc.AUTH_REJECTEDCRED, "credential flavour " + h.flavour);
            return null;
        }
        return h;
    }

    /** PROG_UNAVAIL, or PROG_MISMATCH with the versions served, into out. */
    private void not_served(NavigableMap<Integer, Svc> versions, XDR out) {
        out.enc_int(Rpc.MSG_ACCEPTED);
        out.enc_int(Rpc.AUTH_NONE);
        out.enc_int(0);
        if (versions != null && !versions.isEmpty()) {
            out.enc_int(Rpc.PROG_MISMATCH);
            out.enc_int(versions.firstKey());
            out.enc_int(versions.lastKey());
            counters.answered(Rpc.PROG_MISMATCH);
        } else {
            out.enc_int(Rpc.PROG_UNAVAIL);
            counters.answered(Rpc.PROG_UNAVAIL);
        }
    }

    /**
     * Runs the procedure of an admitted call and answers it, unless the
     * service deferred its reply. On a pool thread, arguments that nest too
     * deep for its stack send the call on to a large-stack thread, and this
     * thread is free at once.
     */
    private void execute(ServerCall call, int where) {
        XDR in = call.args;
        Svc svc = call.svc;
        CallContext context = call.context;
        int proc = context.procedure();
        ServerCall outer = CURRENT.get();
        CURRENT.set(call);
        XDT result = null;
        int stat = Rpc.SUCCESS;
        try {
            if (where == ON_WORKER)
                XDRS.set_switch_depth(in, CodecThread.CALLER_DEPTH);
            try {
                if (server.serialized()) {
                    synchronized (RPC.call_lock(svc)) {
                        result = svc.proc_call(proc, in);
                    }
                } else {
                    result = svc.proc_call(proc, in);
                }
            } finally {
                XDRS.set_switch_depth(in, Integer.MAX_VALUE);
            }
            if (result == null && !call.deferred()) {
                if (!RPC.has_procedure(svc, proc) && XDRS.position(in) == call.args_at)
                    stat = Rpc.PROC_UNAVAIL;
                else
                    stat = service_fault(context, "returned null where a result is due", null);
            }
        } catch (DeepData deep) {
            // The procedure has not run yet (generated code decodes all arguments first): redo it on a large stack.
            XDR own = in;
            if (in == ServerCall.Buffers.in()) {
                // The record's buffer may be the reader's own (UDP): the deep thread reads a copy.
                own = new XDR(new byte[0]);
                XDRS.reset_decode(own, java.util.Arrays.copyOf(call.bytes(), call.length()), 0, call.length());
            }
            XDRS.set_position(own, call.args_at);
            call.args = own;
            CodecThread.serve_later(call.remote.getAddress(), new CallScheduler.Task() {
                @Override
                public void run() {
                    execute(call, ON_DEEP);
                }

                @Override
                public void drop() {
                    call.drop();
                }
            });
            return;
        } catch (XDRError e) {
            stat = Rpc.GARBAGE_ARGS;
        } catch (StackOverflowError e) {
            stat = service_fault(context, "overflowed the stack", e);
        } catch (VirtualMachineError e) {
            throw e;
        } catch (Throwable e) {
            // A fault in the service's own code must not take the server down.
            stat = service_fault(context, "threw", e);
        } finally {
            if (outer == null)
                CURRENT.remove();
            else
                CURRENT.set(outer);
            call.release_record();
        }
        if (!call.take_over_reply())
            return; // deferred: a handle answers (or answered already)
        encode_reply(call, where == ON_WORKER ? ServerCall.Buffers.out() : XDRS.encoder(256), stat, result, where);
    }

    /**
     * Encodes the reply of an admitted call with this status (and the
     * result, for SUCCESS) into out and sends it. A result too deep for a
     * pool thread's stack is encoded again on a large-stack thread.
     */
    void encode_reply(ServerCall call, XDR out, int stat, XDT result, int where) {
        int base = call.origin.header_room();
        XDRS.reset_encode(out, base);
        encode_header(call, out);
        int stat_at = XDRS.position(out);
        out.enc_int(stat);
        if (stat == Rpc.SUCCESS) {
            GssServerCall gss = call.gss;
            XDR res = gss != null && gss.protects() ? gss.result_stream() : out;
            int mark = XDRS.position(res);
            try {
                if (where == ON_WORKER)
                    XDRS.set_switch_depth(res, CodecThread.CALLER_DEPTH);
                try {
                    result.xdr(res);
                } finally {
                    XDRS.set_switch_depth(res, Integer.MAX_VALUE);
                }
            } catch (DeepData deep) {
                XDRS.set_position(res, mark);
                if (where == ON_WORKER) {
                    CodecThread.serve_later(call.remote.getAddress(), new CallScheduler.Task() {
                        @Override
                        public void run() {
                            encode_reply(call, XDRS.encoder(256), Rpc.SUCCESS, result, ON_DEEP);
                        }

                        @Override
                        public void drop() {
                            call.origin.done(call, null);
                        }
                    });
                    return;
                }
                try {
                    CodecThread.serve(() -> {
                        result.xdr(res);
                        return null;
                    });
                } catch (XDRError | RuntimeException e) {
                    stat = service_fault(call.context, cannot_encode(e, result), e);
                } catch (StackOverflowError e) {
                    stat = service_fault(call.context, "gave a result that overflowed the stack", e);
                }
            } catch (StackOverflowError e) {
                stat = service_fault(call.context, "gave a result that overflowed the stack", e);
            } catch (VirtualMachineError e) {
                throw e;
            } catch (Throwable e) {
                stat = service_fault(call.context, cannot_encode(e, result), e);
            }
            if (stat == Rpc.SUCCESS && res != out && !gss.wrap_result(res, out))
                stat = Rpc.SYSTEM_ERR;
            int max_reply = call.origin.max_reply();
            if (stat == Rpc.SUCCESS && XDRS.position(out) - base > max_reply) {
                stat = Rpc.SYSTEM_ERR;
                int size = XDRS.position(out) - base;
                RuntimeLog.limited(LOG, System.Logger.Level.WARNING, "result-too-large",
                        () -> describe(call.context) + ": result of " + size + " bytes, over the " + max_reply
                                + " that " + call.protocol + " can carry; answered SYSTEM_ERR");
            }
            if (stat != Rpc.SUCCESS) {
                XDRS.set_position(out, stat_at);
                out.enc_int(stat);
            }
        }
        counters.answered(stat);
        call.origin.done(call, out);
    }

    /** xid, REPLY, MSG_ACCEPTED and the verifier. */
    private static void encode_header(ServerCall call, XDR out) {
        out.enc_int(call.xid);
        out.enc_int(Rpc.REPLY);
        out.enc_int(Rpc.MSG_ACCEPTED);
        if (call.gss == null || !call.gss.put_verifier(out)) {
            out.enc_int(Rpc.AUTH_NONE);
            out.enc_int(0);
        }
    }

    /**
     * "program P version V procedure N from ADDR over PROTO", for log records.
     *
     * @param c the call
     * @return the text
     */
    public static String describe(CallContext c) {
        return "program " + Integer.toUnsignedString(c.program()) + " version " + Integer.toUnsignedString(c.version())
                + " procedure " + Integer.toUnsignedString(c.procedure()) + " from " + c.remoteAddress() + " over "
                + c.protocol();
    }

    private void log_denied(InetSocketAddress remote, String protocol, int why, String detail) {
        counters.answered(-1);
        RuntimeLog.limited(LOG, System.Logger.Level.DEBUG, "bad-credentials", () -> "call from " + remote + " over "
                + protocol + " denied: " + RpcMessage.auth_text(why) + " (" + detail + ")");
    }

    /** What the log says of a result that cannot be encoded; a size error names the member's path in it. */
    private static String cannot_encode(Throwable e, XDT result) {
        return e instanceof XDRError x ? "gave a result that cannot be encoded: " + MemberPath.message(x, result)
                : "gave a result that cannot be encoded";
    }

    /** Logs a fault of the service's; returns SYSTEM_ERR, its answer. */
    private static int service_fault(CallContext context, String what, Throwable thrown) {
        RuntimeLog.limited(LOG, System.Logger.Level.WARNING, "service-fault",
                () -> describe(context) + ": the service " + what + "; answered SYSTEM_ERR", thrown);
        return Rpc.SYSTEM_ERR;
    }

    private static void deny_auth(XDR out, int why) {
        out.enc_int(Rpc.MSG_DENIED);
        out.enc_int(Rpc.AUTH_ERROR);
        out.enc_int(why);
    }

    /** Reads the length of a credential or verifier body and checks it against 400 bytes and the input left. */
    private static int auth_length(XDR in) throws XDRError {
        int n = in.dec_int();
        if (n < 0 || n > Rpc.MAX_AUTH_BYTES)
            throw new XDRError("authentication body of " + (n & 0xffffffffL) + " bytes");
        if (n + (-n & 3) > in.remaining())
            throw new XDRError("authentication body longer than the message");
        return n;
    }

    private static void skip(XDR in, int n) throws XDRError {
        int padded = n + (-n & 3);
        if (padded > in.remaining())
            throw new XDRError("authentication body longer than the message");
        XDRS.set_position(in, XDRS.position(in) + padded);
    }
}
