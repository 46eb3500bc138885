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
 * lowest and highest version served; {@code proc_call} returning null:
 * PROC_UNAVAIL; an XDRError while decoding the arguments: GARBAGE_ARGS;
 * anything else thrown by {@code proc_call} or by encoding its result, or a
 * result too large for the transport: SYSTEM_ERR. A record too short for
 * an xid and a message type, or not a CALL, gets no reply.
 */
final class CallDispatcher {
    static final ThreadLocal<CallContext> CURRENT = new ThreadLocal<>();
    private static final System.Logger LOG = RuntimeLog.logger("server");

    private final RpcServer server;

    CallDispatcher(RpcServer server) {
        this.server = server;
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
            return true;
        }
        if (flavour != Rpc.AUTH_NONE && flavour != Rpc.AUTH_SYS) {
            deny_auth(out, Rpc.AUTH_REJECTEDCRED);
            return true;
        }
        out.enc_int(Rpc.MSG_ACCEPTED);
        out.enc_int(Rpc.AUTH_NONE);
        out.enc_int(0);
        NavigableMap<Integer, Svc> versions = server.versions(prog);
        if (versions == null || versions.isEmpty()) {
            out.enc_int(Rpc.PROG_UNAVAIL);
            return true;
        }
        Svc svc = versions.get(vers);
        if (svc == null) {
            out.enc_int(Rpc.PROG_MISMATCH);
            out.enc_int(versions.firstKey());
            out.enc_int(versions.lastKey());
            return true;
        }
        int stat_at = out.position();
        out.enc_int(Rpc.SUCCESS);
        CURRENT.set(new CallContext(remote, protocol, cred, xid, prog, vers, proc));
        int stat;
        try {
            if (server.serialized()) {
                synchronized (svc.call_lock) {
                    stat = run(svc, proc, in, out);
                }
            } else {
                stat = run(svc, proc, in, out);
            }
        } finally {
            CURRENT.remove();
        }
        if (stat == Rpc.SUCCESS && out.position() - base > max_reply)
            stat = Rpc.SYSTEM_ERR;
        if (stat != Rpc.SUCCESS) {
            out.set_position(stat_at);
            out.enc_int(stat);
        }
        return true;
    }

    /** Runs the call and encodes its result into out; returns the accept status. */
    private static int run(Svc svc, int proc, XDR in, XDR out) {
        XDT result;
        try {
            result = svc.proc_call(proc, in);
        } catch (XDRError e) {
            return Rpc.GARBAGE_ARGS;
        } catch (StackOverflowError e) {
            return Rpc.SYSTEM_ERR;
        } catch (VirtualMachineError e) {
            throw e;
        } catch (Throwable e) {
            // A fault in the service's own code must not take the server down.
            return Rpc.SYSTEM_ERR;
        }
        if (result == null)
            return Rpc.PROC_UNAVAIL;
        try {
            result.xdr(out);
            return Rpc.SUCCESS;
        } catch (StackOverflowError e) {
            return Rpc.SYSTEM_ERR;
        } catch (VirtualMachineError e) {
            throw e;
        } catch (Throwable e) {
            // The service's result breaks its contract (a size, say): the
            // caller gets SYSTEM_ERR, and the operator learns why.
            RuntimeLog.limited(LOG, System.Logger.Level.WARNING, "result",
                    () -> "procedure " + proc + ": the result cannot be encoded, answered SYSTEM_ERR: " + e.getMessage());
            return Rpc.SYSTEM_ERR;
        }
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
