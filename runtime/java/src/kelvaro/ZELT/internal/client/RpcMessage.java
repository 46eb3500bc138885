// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT.internal.client;

import kelvaro.ZELT.AuthSys;
import kelvaro.ZELT.Rpc;
import kelvaro.ZELT.RpcStatus;
import kelvaro.ZELT.XDR;
import kelvaro.ZELT.XDRError;
import kelvaro.ZELT.XDT;
import kelvaro.ZELT.internal.access.Access;
import kelvaro.ZELT.internal.access.RpcAccess;
import kelvaro.ZELT.internal.access.XdrAccess;
import kelvaro.ZELT.internal.exec.CodecThread;
import kelvaro.ZELT.internal.gss.GssClientSession;
import kelvaro.ZELT.internal.gss.GssWire;
import kelvaro.ZELT.rpc_err;

/** Call headers and reply headers as the client writes and reads them (RFC 5531). */
public final class RpcMessage {
    private static final RpcAccess RPC = Access.rpc();
    private static final XdrAccess XDRS = Access.xdr();

    private RpcMessage() {
    }

    /**
     * Writes a call header with the credentials and an AUTH_NONE verifier.
     *
     * @param x where to
     * @param xid the transaction id
     * @param prog the program number
     * @param vers the version number
     * @param proc the procedure number
     * @param cred the AUTH_SYS credentials, or null for AUTH_NONE
     */
    public static void put_call_header(XDR x, int xid, int prog, int vers, int proc, AuthSys cred) {
        x.enc_int(xid);
        x.enc_int(Rpc.CALL);
        x.enc_int(Rpc.RPC_VERSION);
        x.enc_int(prog);
        x.enc_int(vers);
        x.enc_int(proc);
        if (cred == null) {
            x.enc_int(Rpc.AUTH_NONE);
            x.enc_int(0);
        } else {
            x.enc_int(Rpc.AUTH_SYS);
            int len_at = XDRS.position(x);
            x.enc_int(0);
            RPC.encode(cred, x);
            XDRS.put_int_at(x, len_at, XDRS.position(x) - len_at - 4);
        }
        x.enc_int(Rpc.AUTH_NONE);
        x.enc_int(0);
    }

    /**
     * The words classic clients print for an auth_stat.
     *
     * @param why the auth_stat
     * @return the text
     */
    public static String auth_text(int why) {
        switch (why) {
        case 0: return "Authentication OK";
        case Rpc.AUTH_BADCRED: return "Invalid client credential";
        case Rpc.AUTH_REJECTEDCRED: return "Server rejected credential";
        case Rpc.AUTH_BADVERF: return "Invalid client verifier";
        case Rpc.AUTH_REJECTEDVERF: return "Server rejected verifier";
        case Rpc.AUTH_TOOWEAK: return "Client credential too weak";
        case 6: return "Invalid server verifier";
        case 7: return "Failed (unspecified error)";
        case GssWire.CREDPROBLEM: return "RPCSEC_GSS credential problem";
        case GssWire.CTXPROBLEM: return "RPCSEC_GSS context problem";
        default: return "Unknown authentication error - " + why;
        }
    }

    /**
     * Reads a reply header from x, positioned after the xid, and leaves x at
     * the result when the call succeeded.
     *
     * @param x the reply
     *
     * @throws rpc_err with the status the reply carries, or CANT_DECODE_RES
     *         for a reply that cannot be read
     */
    public static void check_reply(XDR x) throws rpc_err {
        try {
            if (x.dec_int() != Rpc.REPLY)
                throw new rpc_err(RpcStatus.CANT_DECODE_RES, "message is not a reply");
            int stat = x.dec_int();
            if (stat == Rpc.MSG_DENIED) {
                int reject = x.dec_int();
                if (reject == Rpc.RPC_MISMATCH) {
                    int low = x.dec_int(), high = x.dec_int();
                    throw new rpc_err(RpcStatus.VERS_MISMATCH, versions(low, high));
                }
                if (reject == Rpc.AUTH_ERROR)
                    throw new rpc_err(RpcStatus.AUTH_ERROR, "why = " + auth_text(x.dec_int()));
                throw new rpc_err(RpcStatus.CANT_DECODE_RES, "unknown reject status " + reject);
            }
            if (stat != Rpc.MSG_ACCEPTED)
                throw new rpc_err(RpcStatus.CANT_DECODE_RES, "unknown reply status " + stat);
            x.dec_int(); // verifier flavour
            int verf_len = x.dec_int();
            if (verf_len < 0 || verf_len > Rpc.MAX_AUTH_BYTES || verf_len + (-verf_len & 3) > x.remaining())
                throw new rpc_err(RpcStatus.CANT_DECODE_RES, "bad verifier length " + (verf_len & 0xffffffffL));
            XDRS.set_position(x, XDRS.position(x) + verf_len + (-verf_len & 3));
            int accept = x.dec_int();
            switch (accept) {
            case Rpc.SUCCESS:
                return;
            case Rpc.PROG_UNAVAIL:
                throw new rpc_err(RpcStatus.PROG_UNAVAIL);
            case Rpc.PROG_MISMATCH: {
                int low = x.dec_int(), high = x.dec_int();
                throw new rpc_err(RpcStatus.PROG_VERS_MISMATCH, versions(low, high));
            }
            case Rpc.PROC_UNAVAIL:
                throw new rpc_err(RpcStatus.PROC_UNAVAIL);
            case Rpc.GARBAGE_ARGS:
                throw new rpc_err(RpcStatus.CANT_DECODE_ARGS);
            case Rpc.SYSTEM_ERR:
                throw new rpc_err(RpcStatus.SYSTEM_ERROR);
            default:
                throw new rpc_err(RpcStatus.FAILED, "unknown accept status " + accept);
            }
        } catch (XDRError e) {
            throw new rpc_err(RpcStatus.CANT_DECODE_RES, "reply header: " + e.getMessage(), e);
        }
    }

    private static String versions(int low, int high) {
        return "low version = " + Integer.toUnsignedString(low) + ", high version = " + Integer.toUnsignedString(high);
    }

    /**
     * Decodes a reply (x positioned after its xid) into result; the
     * transports call it for the caller whose xid the reply carries.
     *
     * @param x the reply, after its xid
     * @param result where the result goes
     * @throws rpc_err with the status the reply carries, or CANT_DECODE_RES
     *         for a result that cannot be decoded
     */
    public static void decode_reply(XDR x, XDT result) throws rpc_err {
        if (result instanceof GssClientSession.DataReply) {
            ((GssClientSession.DataReply) result).decode(x);
            return;
        }
        if (result instanceof GssClientSession.InitReply) {
            ((GssClientSession.InitReply) result).decode(x);
            return;
        }
        RpcMessage.check_reply(x);
        try {
            CodecThread.walk(x, () -> result.xdr(x));
        } catch (XDRError e) {
            throw new rpc_err(RpcStatus.CANT_DECODE_RES, e.getMessage(), e);
        } catch (RuntimeException e) {
            throw new rpc_err(RpcStatus.CANT_DECODE_RES, e.toString(), e);
        }
    }
}
