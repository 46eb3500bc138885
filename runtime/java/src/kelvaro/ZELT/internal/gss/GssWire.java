// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT.internal.gss;

import kelvaro.ZELT.GssService;
import kelvaro.ZELT.Rpc;
import kelvaro.ZELT.XDR;
import kelvaro.ZELT.XDRError;
import kelvaro.ZELT.internal.access.Access;
import kelvaro.ZELT.internal.access.XdrAccess;
import org.ietf.jgss.GSSException;
import org.ietf.jgss.MessageProp;
import org.ietf.jgss.Oid;

/**
 * The RPCSEC_GSS (version 1) wire forms both sides share: the flavour and
 * its statuses, the credential, and the protection of a call's body under
 * each service.
 */
public final class GssWire {
    private static final XdrAccess XDRS = Access.xdr();

    private GssWire() {
    }

    /** The credential flavour. */
    public static final int RPCSEC_GSS = 6;
    static final int VERSION = 1;
    /** Control procedures. */
    public static final int DATA = 0, INIT = 1, CONTINUE_INIT = 2, DESTROY = 3;
    /** auth_stat values of the flavour. */
    public static final int CREDPROBLEM = 13, CTXPROBLEM = 14;
    /** Sequence numbers must stay below this. */
    public static final long MAXSEQ = 0x80000000L;
    /** GSS major status codes as they travel in the init result. */
    public static final int GSS_S_COMPLETE = 0, GSS_S_CONTINUE_NEEDED = 1;
    /** The most bytes of a context handle either side accepts. */
    static final int MAX_HANDLE = 64;

    /** The Kerberos V5 mechanism. */
    public static final Oid KRB5;

    static {
        try {
            KRB5 = new Oid("1.2.840.113554.1.2.2");
        } catch (GSSException e) {
            throw new ExceptionInInitializerError(e);
        }
    }

    /** Routine errors as the wire (and C) numbers them: GSS_S_BAD_MECH is 1 ... GSS_S_NAME_NOT_MN 18. */
    public static final int GSS_S_BAD_MECH = 1, GSS_S_BAD_NAME = 2, GSS_S_BAD_NAMETYPE = 3, GSS_S_BAD_BINDINGS = 4,
            GSS_S_BAD_STATUS = 5, GSS_S_BAD_MIC = 6, GSS_S_NO_CRED = 7, GSS_S_NO_CONTEXT = 8,
            GSS_S_DEFECTIVE_TOKEN = 9, GSS_S_DEFECTIVE_CREDENTIAL = 10, GSS_S_CREDENTIALS_EXPIRED = 11,
            GSS_S_CONTEXT_EXPIRED = 12, GSS_S_FAILURE = 13, GSS_S_BAD_QOP = 14, GSS_S_UNAUTHORIZED = 15,
            GSS_S_UNAVAILABLE = 16, GSS_S_DUPLICATE_ELEMENT = 17, GSS_S_NAME_NOT_MN = 18;

    /**
     * A routine error in its place in a major status word (bits 16 to 23).
     *
     * @param code the routine error's number
     * @return the major status word
     */
    public static int routine_error(int code) {
        return code << 16;
    }

    /**
     * The wire major status of a GSSException, whose Java codes are numbered otherwise.
     *
     * @param e the exception
     * @return the major status word
     */
    public static int major_of(GSSException e) {
        int code;
        switch (e.getMajor()) {
        case GSSException.BAD_BINDINGS: code = GSS_S_BAD_BINDINGS; break;
        case GSSException.BAD_MECH: code = GSS_S_BAD_MECH; break;
        case GSSException.BAD_NAME: code = GSS_S_BAD_NAME; break;
        case GSSException.BAD_NAMETYPE: code = GSS_S_BAD_NAMETYPE; break;
        case GSSException.BAD_STATUS: code = GSS_S_BAD_STATUS; break;
        case GSSException.BAD_MIC: code = GSS_S_BAD_MIC; break;
        case GSSException.CONTEXT_EXPIRED: code = GSS_S_CONTEXT_EXPIRED; break;
        case GSSException.CREDENTIALS_EXPIRED: code = GSS_S_CREDENTIALS_EXPIRED; break;
        case GSSException.DEFECTIVE_CREDENTIAL: code = GSS_S_DEFECTIVE_CREDENTIAL; break;
        case GSSException.DEFECTIVE_TOKEN: code = GSS_S_DEFECTIVE_TOKEN; break;
        case GSSException.NO_CONTEXT: code = GSS_S_NO_CONTEXT; break;
        case GSSException.NO_CRED: code = GSS_S_NO_CRED; break;
        case GSSException.BAD_QOP: code = GSS_S_BAD_QOP; break;
        case GSSException.UNAUTHORIZED: code = GSS_S_UNAUTHORIZED; break;
        case GSSException.UNAVAILABLE: code = GSS_S_UNAVAILABLE; break;
        case GSSException.DUPLICATE_ELEMENT: code = GSS_S_DUPLICATE_ELEMENT; break;
        case GSSException.NAME_NOT_MN: code = GSS_S_NAME_NOT_MN; break;
        default: code = GSS_S_FAILURE; break;
        }
        return routine_error(code);
    }

    /** A decoded RPCSEC_GSS credential. */
    public static final class Cred {
        /** The procedure: {@link #DATA}, {@link #INIT}, {@link #CONTINUE_INIT} or {@link #DESTROY}. */
        public final int proc;
        final long seq;
        final int service;
        /** The context handle. */
        public final byte[] handle;

        Cred(int proc, long seq, int service, byte[] handle) {
            this.proc = proc;
            this.seq = seq;
            this.service = service;
            this.handle = handle;
        }

        /**
         * The version is checked by the caller; anything malformed is an XDRError (AUTH_BADCRED).
         *
         * @param in the call, at the credential's body
         * @param len the body's length
         * @param version set to the credential's version
         * @return the credential
         * @throws XDRError for a malformed credential
         */
        public static Cred decode(XDR in, int len, int[] version) throws XDRError {
            int before = in.remaining();
            version[0] = in.dec_int();
            int proc = in.dec_int();
            long seq = in.dec_int() & 0xffffffffL;
            int service = in.dec_int();
            int n = in.dec_int();
            if (n < 0 || n > MAX_HANDLE)
                throw new XDRError("context handle of " + (n & 0xffffffffL) + " bytes");
            XDRS.set_position(in, XDRS.position(in) - 4);
            byte[] handle = in.dec_bytes();
            if (before - in.remaining() != len)
                throw new XDRError("RPCSEC_GSS credential of " + len + " bytes holds " + (before - in.remaining()));
            return new Cred(proc, seq, service, handle);
        }
    }

    /**
     * Writes flavour, length and body of a credential.
     *
     * @param x where to
     * @param proc the procedure
     * @param seq the sequence number
     * @param service the service's wire value
     * @param handle the context handle
     */
    public static void put_cred(XDR x, int proc, long seq, int service, byte[] handle) {
        x.enc_int(RPCSEC_GSS);
        int len_at = XDRS.position(x);
        x.enc_int(0);
        x.enc_int(VERSION);
        x.enc_int(proc);
        x.enc_int((int) seq);
        x.enc_int(service);
        x.enc_bytes(handle);
        XDRS.put_int_at(x, len_at, XDRS.position(x) - len_at - 4);
    }

    /**
     * An unsigned 32-bit number as four bytes, high first.
     *
     * @param v the number
     * @return the bytes
     */
    public static byte[] int_bytes(long v) {
        return new byte[] {(byte) (v >>> 24), (byte) (v >>> 16), (byte) (v >>> 8), (byte) v};
    }

    /**
     * The checksum of the context over b[off, off + len).
     *
     * @param ctx the context's tokens
     * @param b the bytes
     * @param off where they begin
     * @param len how many
     * @return the checksum
     * @throws GSSException when the context cannot make one
     */
    public static byte[] mic(GssTokens ctx, byte[] b, int off, int len) throws GSSException {
        return ctx.mic(b, off, len);
    }

    static void verify_mic(GssTokens ctx, byte[] mic, byte[] b, int off, int len) throws GSSException {
        ctx.verify_mic(mic, b, off, len);
    }

    /**
     * Protects a body already encoded in body[0, size) (its first four
     * bytes the sequence number for integrity and privacy) and writes it
     * to out as the service puts it on the wire.
     *
     * @param ctx the context's tokens
     * @param service the service
     * @param body the encoded body
     * @param out where the protected body goes
     * @throws GSSException when the context cannot protect it
     */
    public static void put_body(GssTokens ctx, GssService service, XDR body, XDR out) throws GSSException {
        byte[] b = XDRS.buffer(body);
        int n = XDRS.position(body);
        if (service == GssService.INTEGRITY) {
            byte[] copy = java.util.Arrays.copyOf(b, n);
            out.enc_bytes(copy);
            out.enc_bytes(mic(ctx, b, 0, n));
        } else {
            out.enc_bytes(ctx.wrap(b, 0, n));
        }
    }

    /**
     * Reads a protected body from in and returns its plain bytes, the
     * sequence number first; throws GSSException when the checksum or the
     * encryption does not hold, XDRError when the body is malformed.
     */
    static byte[] take_body(GssTokens ctx, GssService service, XDR in) throws GSSException, XDRError {
        if (service == GssService.INTEGRITY) {
            byte[] body = in.dec_bytes();
            byte[] checksum = in.dec_bytes();
            if (checksum.length > Rpc.MAX_AUTH_BYTES)
                throw new XDRError("checksum of " + checksum.length + " bytes");
            verify_mic(ctx, checksum, body, 0, body.length);
            return body;
        }
        byte[] sealed = in.dec_bytes();
        MessageProp prop = new MessageProp(0, true);
        byte[] plain = ctx.unwrap(sealed, 0, sealed.length, prop);
        if (!prop.getPrivacy())
            throw new GSSException(GSSException.BAD_QOP, -1, "privacy body was not encrypted");
        return plain;
    }

    /** The sequence number at the start of an unprotected body; -1 when it is too short. */
    static long body_seq(byte[] plain) {
        if (plain.length < 4)
            return -1;
        return ((plain[0] & 0xffL) << 24) | ((plain[1] & 0xffL) << 16) | ((plain[2] & 0xffL) << 8) | (plain[3] & 0xffL);
    }
}
