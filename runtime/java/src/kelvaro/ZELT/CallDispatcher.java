// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT;

import java.net.InetSocketAddress;
import java.util.NavigableMap;

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
 * workers keep small stacks and deep data touches few stack pages.
 */
final class CallDispatcher {
    static final ThreadLocal<CallContext> CURRENT = new ThreadLocal<>();

    private static final System.Logger LOG = RuntimeLog.logger("server");

    private final RpcServer server;
    private final ServerStats.Counters counters;

    CallDispatcher(RpcServer server) {
        this.server = server;
        this.counters = server.counters();
    }

    /**
     * Decodes the call in b[off, off + len) with in and encodes its reply
     * into out from out's position on; the reply may take at most
     * max_reply bytes. Returns false when the record is not a call (no
     * reply; a stream peer that sends one is cut off). A call that is
     * dropped silently (a replayed RPCSEC_GSS call) returns true and
     * leaves out where it was: nothing is to be sent.
     */
    boolean dispatch(byte[] b, int off, int len, XDR in, XDR out, InetSocketAddress remote, String protocol,
            int max_reply) {
        in.reset_decode(b, off, len);
        int base = out.position();
        int xid;
        try {
            if (len < 8)
                return false;
            xid = in.dec_int();
            if (in.dec_int() != Rpc.CALL)
                return false;
        } catch (XDRError e) {
            return false;
        }
        out.enc_int(xid);
        out.enc_int(Rpc.REPLY);
        int prog, vers, proc, flavour;
        AuthSys cred = null;
        GssWire.Cred gss_cred = null;
        int[] gss_version = new int[1];
        int header_end;
        int verf_flavour;
        byte[] verf = null;
        int why = Rpc.AUTH_BADCRED;
        try {
            int rpcvers = in.dec_int();
            if (rpcvers != Rpc.RPC_VERSION) {
                out.enc_int(Rpc.MSG_DENIED);
                out.enc_int(Rpc.RPC_MISMATCH);
                out.enc_int(Rpc.RPC_VERSION);
                out.enc_int(Rpc.RPC_VERSION);
                counters.answered(-1);
                return true;
            }
            prog = in.dec_int();
            vers = in.dec_int();
            proc = in.dec_int();
            flavour = in.dec_int();
            int cred_len = auth_length(in);
            if (flavour == Rpc.AUTH_SYS)
                cred = AuthSys.decode(in, cred_len);
            else if (flavour == GssWire.RPCSEC_GSS)
                gss_cred = GssWire.Cred.decode(in, cred_len, gss_version);
            else
                skip(in, cred_len);
            header_end = in.position();
            why = Rpc.AUTH_BADVERF;
            verf_flavour = in.dec_int();
            int verf_len = auth_length(in);
            if (flavour == GssWire.RPCSEC_GSS) {
                in.set_position(in.position() - 4);
                verf = in.dec_bytes();
            } else {
                skip(in, verf_len); // nothing is checked against other verifiers
            }
        } catch (XDRError e) {
            deny_auth(out, why);
            log_denied(remote, protocol, why, e.getMessage());
            return true;
        }
        if (flavour != Rpc.AUTH_NONE && flavour != Rpc.AUTH_SYS && flavour != GssWire.RPCSEC_GSS) {
            deny_auth(out, Rpc.AUTH_REJECTEDCRED);
            log_denied(remote, protocol, Rpc.AUTH_REJECTEDCRED, "credential flavour " + flavour);
            return true;
        }
        NavigableMap<Integer, Svc> versions = server.versions(prog);
        Svc svc = versions == null ? null : versions.get(vers);
        // The service's credential policy, and RPCSEC_GSS: may answer or drop the call itself.
        GssServerCall gss = null;
        if (svc != null && (svc.auth_policy != null || flavour == GssWire.RPCSEC_GSS)) {
            gss = GssServerCall.admit(svc.auth_policy, flavour, gss_cred, gss_version[0], b, off, header_end,
                    verf_flavour, verf, remote, proc, in, out);
            if (gss.outcome == GssServerCall.DROP) {
                // A replayed or stale call: no reply at all, and the connection stays.
                out.set_position(base);
                return true;
            }
            if (gss.outcome == GssServerCall.DENY) {
                deny_auth(out, gss.why);
                counters.answered(-1);
                return true;
            }
            if (gss.outcome == GssServerCall.REPLIED) {
                counters.answered(Rpc.SUCCESS);
                return true;
            }
            if (!gss.is_gss())
                gss = null;
        }
        out.enc_int(Rpc.MSG_ACCEPTED);
        if (gss == null || !gss.put_verifier(out)) {
            out.enc_int(Rpc.AUTH_NONE);
            out.enc_int(0);
        }
        if (versions == null || versions.isEmpty()) {
            out.enc_int(Rpc.PROG_UNAVAIL);
            counters.answered(Rpc.PROG_UNAVAIL);
            return true;
        }
        if (svc == null) {
            out.enc_int(Rpc.PROG_MISMATCH);
            out.enc_int(versions.firstKey());
            out.enc_int(versions.lastKey());
            counters.answered(Rpc.PROG_MISMATCH);
            return true;
        }
        int stat_at = out.position();
        out.enc_int(Rpc.SUCCESS);
        XDR args = in, res = out;
        if (gss != null && gss.protects()) {
            args = gss.unwrap_args(in, remote);
            if (args == null) {
                out.set_position(stat_at);
                out.enc_int(Rpc.GARBAGE_ARGS);
                counters.answered(Rpc.GARBAGE_ARGS);
                return true;
            }
            res = gss.result_stream();
        }
        CallContext plain = new CallContext(remote, protocol, cred, xid, prog, vers, proc);
        CallContext context = gss == null ? plain : plain.with_gss(gss.principal(), gss.service);
        CURRENT.set(context);
        int stat;
        try {
            if (server.serialized()) {
                synchronized (svc.call_lock) {
                    stat = run(svc, context, args, res);
                }
            } else {
                stat = run(svc, context, args, res);
            }
        } finally {
            CURRENT.remove();
        }
        if (stat == Rpc.SUCCESS && res != out && !gss.wrap_result(res, out))
            stat = Rpc.SYSTEM_ERR;
        if (stat == Rpc.SUCCESS && out.position() - base > max_reply) {
            stat = Rpc.SYSTEM_ERR;
            int size = out.position() - base;
            RuntimeLog.limited(LOG, System.Logger.Level.WARNING, "result-too-large",
                    () -> describe(context) + ": result of " + size + " bytes, over the " + max_reply
                            + " that " + protocol + " can carry; answered SYSTEM_ERR");
        }
        if (stat != Rpc.SUCCESS) {
            out.set_position(stat_at);
            out.enc_int(stat);
        }
        counters.answered(stat);
        return true;
    }

    /** "program P version V procedure N from ADDR over PROTO", for log records. */
    static String describe(CallContext c) {
        return "program " + Integer.toUnsignedString(c.program()) + " version " + Integer.toUnsignedString(c.version())
                + " procedure " + Integer.toUnsignedString(c.procedure()) + " from " + c.remoteAddress() + " over "
                + c.protocol();
    }

    private void log_denied(InetSocketAddress remote, String protocol, int why, String detail) {
        counters.answered(-1);
        RuntimeLog.limited(LOG, System.Logger.Level.DEBUG, "bad-credentials", () -> "call from " + remote + " over "
                + protocol + " denied: " + RpcMessage.auth_text(why) + " (" + detail + ")");
    }

    /** Runs the call and encodes its result into out; returns the accept status. */
    private static int run(Svc svc, CallContext context, XDR in, XDR out) {
        int proc = context.procedure();
        int args_at = in.position();
        XDT result;
        try {
            result = call(svc, context, in, args_at);
        } catch (XDRError e) {
            return Rpc.GARBAGE_ARGS;
        } catch (StackOverflowError e) {
            service_fault(context, "overflowed the stack", e);
            return Rpc.SYSTEM_ERR;
        } catch (VirtualMachineError e) {
            throw e;
        } catch (Throwable e) {
            // A fault in the service's own code must not take the server down.
            service_fault(context, "threw", e);
            return Rpc.SYSTEM_ERR;
        }
        if (result == null) {
            if (!svc.has_procedure(proc) && in.position() == args_at)
                return Rpc.PROC_UNAVAIL;
            service_fault(context, "returned null where a result is due", null);
            return Rpc.SYSTEM_ERR;
        }
        int mark = out.position();
        try {
            out.set_switch_depth(CodecThread.CALLER_DEPTH);
            try {
                result.xdr(out);
            } catch (DeepData deep) {
                out.set_switch_depth(Integer.MAX_VALUE);
                out.set_position(mark);
                CodecThread.serve(() -> {
                    result.xdr(out);
                    return null;
                });
            } finally {
                out.set_switch_depth(Integer.MAX_VALUE);
            }
            return Rpc.SUCCESS;
        } catch (StackOverflowError e) {
            service_fault(context, "gave a result that overflowed the stack", e);
            return Rpc.SYSTEM_ERR;
        } catch (VirtualMachineError e) {
            throw e;
        } catch (XDRError e) {
            service_fault(context, "gave a result that cannot be encoded: " + MemberPath.message(e, result), e);
            return Rpc.SYSTEM_ERR;
        } catch (Throwable e) {
            service_fault(context, "gave a result that cannot be encoded", e);
            return Rpc.SYSTEM_ERR;
        }
    }

    /**
     * Runs proc_call on this thread while the arguments stay shallow; when
     * they nest deeper, decodes them again and runs the procedure on a
     * large-stack thread (the procedure has not run yet: generated code
     * decodes all arguments first).
     */
    private static XDT call(Svc svc, CallContext context, XDR in, int args_at) throws XDRError {
        in.set_switch_depth(CodecThread.CALLER_DEPTH);
        try {
            return svc.proc_call(context.procedure(), in);
        } catch (DeepData deep) {
            // fall through: redo it on a large stack
        } finally {
            in.set_switch_depth(Integer.MAX_VALUE);
        }
        in.set_position(args_at);
        return CodecThread.serve(() -> {
            CURRENT.set(context);
            try {
                return svc.proc_call(context.procedure(), in);
            } finally {
                CURRENT.remove();
            }
        });
    }

    private static void service_fault(CallContext context, String what, Throwable thrown) {
        RuntimeLog.limited(LOG, System.Logger.Level.WARNING, "service-fault",
                () -> describe(context) + ": the service " + what + "; answered SYSTEM_ERR", thrown);
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
        in.set_position(in.position() + padded);
    }
}
