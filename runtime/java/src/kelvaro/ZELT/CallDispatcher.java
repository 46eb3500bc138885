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
 * AUTH_NONE and AUTH_SYS: AUTH_REJECTEDCRED. Unknown program:
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
     * max_reply bytes. Returns false when the record gets no reply.
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
            else
                skip(in, cred_len);
            why = Rpc.AUTH_BADVERF;
            in.dec_int(); // verifier flavour: whatever it is, nothing is checked against it
            skip(in, auth_length(in));
        } catch (XDRError e) {
            deny_auth(out, why);
            log_denied(remote, protocol, why, e.getMessage());
            return true;
        }
        if (flavour != Rpc.AUTH_NONE && flavour != Rpc.AUTH_SYS) {
            deny_auth(out, Rpc.AUTH_REJECTEDCRED);
            log_denied(remote, protocol, Rpc.AUTH_REJECTEDCRED, "credential flavour " + flavour);
            return true;
        }
        out.enc_int(Rpc.MSG_ACCEPTED);
        out.enc_int(Rpc.AUTH_NONE);
        out.enc_int(0);
        NavigableMap<Integer, Svc> versions = server.versions(prog);
        if (versions == null || versions.isEmpty()) {
            out.enc_int(Rpc.PROG_UNAVAIL);
            counters.answered(Rpc.PROG_UNAVAIL);
            return true;
        }
        Svc svc = versions.get(vers);
        if (svc == null) {
            out.enc_int(Rpc.PROG_MISMATCH);
            out.enc_int(versions.firstKey());
            out.enc_int(versions.lastKey());
            counters.answered(Rpc.PROG_MISMATCH);
            return true;
        }
        int stat_at = out.position();
        out.enc_int(Rpc.SUCCESS);
        CallContext context = new CallContext(remote, protocol, cred, xid, prog, vers, proc);
        CURRENT.set(context);
        int stat;
        try {
            if (server.serialized()) {
                synchronized (svc.call_lock) {
                    stat = run(svc, context, in, out);
                }
            } else {
                stat = run(svc, context, in, out);
            }
        } finally {
            CURRENT.remove();
        }
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
