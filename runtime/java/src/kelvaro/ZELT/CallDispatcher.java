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
 * lowest and highest version served; {@code proc_call} returning null:
 * PROC_UNAVAIL; an XDRError while decoding the arguments: GARBAGE_ARGS;
 * anything else thrown by {@code proc_call} or by encoding its result, or a
 * result too large for the transport: SYSTEM_ERR. A record too short for
 * an xid and a message type, or not a CALL, gets no reply.
 */
final class CallDispatcher {
    static final ThreadLocal<CallContext> CURRENT = new ThreadLocal<>();

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
            return true;
        }
        if (flavour != Rpc.AUTH_NONE && flavour != Rpc.AUTH_SYS && flavour != GssWire.RPCSEC_GSS) {
            deny_auth(out, Rpc.AUTH_REJECTEDCRED);
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
                if (!"tcp".equals(protocol))
                    return false;
                // Over TCP a false return ends the connection; an empty record answers nothing and keeps it.
                out.set_position(base);
                return true;
            }
            if (gss.outcome == GssServerCall.DENY) {
                deny_auth(out, gss.why);
                return true;
            }
            if (gss.outcome == GssServerCall.REPLIED)
                return true;
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
            return true;
        }
        if (svc == null) {
            out.enc_int(Rpc.PROG_MISMATCH);
            out.enc_int(versions.firstKey());
            out.enc_int(versions.lastKey());
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
                return true;
            }
            res = gss.result_stream();
        }
        CallContext context = new CallContext(remote, protocol, cred, xid, prog, vers, proc);
        CURRENT.set(gss == null ? context : context.with_gss(gss.principal(), gss.service));
        int stat;
        try {
            if (server.serialized()) {
                synchronized (svc.call_lock) {
                    stat = run(svc, proc, args, res);
                }
            } else {
                stat = run(svc, proc, args, res);
            }
        } finally {
            CURRENT.remove();
        }
        if (stat == Rpc.SUCCESS && res != out && !gss.wrap_result(res, out))
            stat = Rpc.SYSTEM_ERR;
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
