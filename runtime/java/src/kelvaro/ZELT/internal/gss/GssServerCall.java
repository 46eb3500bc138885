// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT.internal.gss;

import java.net.InetSocketAddress;
import kelvaro.ZELT.AuthPolicy;
import kelvaro.ZELT.GssAuthenticator;
import kelvaro.ZELT.GssService;
import kelvaro.ZELT.Rpc;
import kelvaro.ZELT.XDR;
import kelvaro.ZELT.XDRError;
import kelvaro.ZELT.internal.access.Access;
import kelvaro.ZELT.internal.access.GssAccess;
import kelvaro.ZELT.internal.access.XdrAccess;
import kelvaro.ZELT.internal.log.RuntimeLog;
import org.ietf.jgss.GSSException;

/**
 * The credential check of one call on the server, for a service with an
 * {@link AuthPolicy} or a call with an RPCSEC_GSS credential, and for an
 * admitted RPCSEC_GSS data call the unwrapping of its arguments and the
 * wrapping of its result.
 *
 * <p>Answers: a flavour the policy does not let in (AUTH_NONE, AUTH_SYS
 * where RPCSEC_GSS is required): AUTH_TOOWEAK; RPCSEC_GSS where the service
 * has no authenticator: AUTH_REJECTEDCRED; a credential of another version,
 * an unknown control procedure or service: AUTH_BADCRED; an unknown handle,
 * a context still being created, a header checksum that does not verify:
 * RPCSEC_GSS_CREDPROBLEM; an expired context, a sequence number at or past
 * 2^31: RPCSEC_GSS_CTXPROBLEM; a service weaker than required:
 * AUTH_TOOWEAK; a replayed sequence number or one below the window: no
 * reply; arguments whose checksum, encryption or sequence number does not
 * hold: GARBAGE_ARGS.
 */
public final class GssServerCall {
    private static final GssAccess GSS = Access.gss();
    /** The RPCSEC_GSS logger, as the authenticator's. */
    private static final System.Logger LOG = RuntimeLog.logger("gss");

    private static final XdrAccess XDRS = Access.xdr();

    /** Outcomes of {@link #admit}. */
    public static final int PROCEED = 0, DENY = 1, DROP = 2, REPLIED = 3;

    private static final GssServerCall PLAIN = new GssServerCall(PROCEED, 0, null, 0, null);

    /** What {@link #admit} decided: {@link #PROCEED}, {@link #DENY}, {@link #DROP} or {@link #REPLIED}. */
    public final int outcome;
    /** The auth_stat of a call denied. */
    public final int why; // auth_stat for DENY
    final GssContext context; // null: not an RPCSEC_GSS data call
    final long seq;
    /** The service of an RPCSEC_GSS data call; null for another call. */
    public final GssService service;

    private GssServerCall(int outcome, int why, GssContext context, long seq, GssService service) {
        this.outcome = outcome;
        this.why = why;
        this.context = context;
        this.seq = seq;
        this.service = service;
    }

    private static GssServerCall deny(int why) {
        return new GssServerCall(DENY, why, null, 0, null);
    }

    private static final GssServerCall DROPPED = new GssServerCall(DROP, 0, null, 0, null);
    private static final GssServerCall DONE = new GssServerCall(REPLIED, 0, null, 0, null);

    /**
     * Checks a call's credential against the policy (null: none set). For
     * INIT, CONTINUE_INIT and DESTROY the reply from MSG_ACCEPTED on is
     * written to out and the outcome is REPLIED.
     *
     * @param policy the service's credential policy
     * @param flavour the credential's flavour
     * @param header_from where the header begins in b
     * @param header_to where it ends
     * @param remote the caller
     * @param proc the procedure number
     * @param in the call, at the arguments
     * @param out the reply
     * @param cred the RPCSEC_GSS credential, when the flavour is RPCSEC_GSS
     * @param version the credential's version
     * @param b the call record; b[header_from, header_to) is the header the verifier covers
     * @param verf_flavour the verifier's flavour
     * @param verf the verifier's body (RPCSEC_GSS only)
     * @return the outcome, and for a data call what its arguments and result need
     */
    public static GssServerCall admit(AuthPolicy policy, int flavour, GssWire.Cred cred, int version, byte[] b,
            int header_from, int header_to, int verf_flavour, byte[] verf, InetSocketAddress remote, int proc,
            XDR in, XDR out) {
        if (flavour != GssWire.RPCSEC_GSS) {
            if (policy != null && policy.minimum() != null)
                return deny(Rpc.AUTH_TOOWEAK);
            return PLAIN;
        }
        if (policy == null)
            return deny(Rpc.AUTH_REJECTEDCRED);
        GssAuthenticator auth = policy.authenticator();
        GssService service = GSS.service(cred.service);
        if (version != GssWire.VERSION || service == null)
            return deny(Rpc.AUTH_BADCRED);
        String peer = remote == null ? "?" : remote.getAddress().getHostAddress() + " port " + remote.getPort();
        switch (cred.proc) {
        case GssWire.INIT:
        case GssWire.CONTINUE_INIT:
            if (proc != 0 || verf_flavour != Rpc.AUTH_NONE)
                return deny(Rpc.AUTH_BADCRED);
            GSS.init(auth, cred, in, out, peer);
            return DONE;
        case GssWire.DATA:
        case GssWire.DESTROY:
            break;
        default:
            return deny(Rpc.AUTH_BADCRED);
        }
        boolean[] expired = new boolean[1];
        GssContext c = GSS.find(auth, cred.handle, expired);
        if (c == null)
            return deny(expired[0] ? GssWire.CTXPROBLEM : GssWire.CREDPROBLEM);
        if (c.principal == null)
            return deny(GssWire.CREDPROBLEM);
        if (cred.seq >= GssWire.MAXSEQ) {
            GSS.remove(auth, c);
            return deny(GssWire.CTXPROBLEM);
        }
        if (verf_flavour != GssWire.RPCSEC_GSS || verf == null) {
            RuntimeLog.limited(LOG, System.Logger.Level.WARNING, "bad-verifier",
                    () -> "RPCSEC_GSS call from " + peer + " without an RPCSEC_GSS verifier");
            return deny(GssWire.CREDPROBLEM);
        }
        try {
            GssWire.verify_mic(c.tokens, verf, b, header_from, header_to - header_from);
        } catch (GSSException e) {
            RuntimeLog.limited(LOG, System.Logger.Level.WARNING, "bad-verifier",
                    () -> "RPCSEC_GSS header checksum from " + peer + " (" + c.principal + ") does not verify: "
                            + e.getMessage());
            return deny(GssWire.CREDPROBLEM);
        }
        if (!c.admit(cred.seq)) {
            RuntimeLog.limited(LOG, System.Logger.Level.DEBUG, "replay",
                    () -> "RPCSEC_GSS call from " + peer + " with sequence number " + cred.seq
                            + " replayed or below the window; dropped");
            return DROPPED;
        }
        if (cred.proc == GssWire.DATA && policy.minimum() != null && service.compareTo(policy.minimum()) < 0)
            return deny(Rpc.AUTH_TOOWEAK);
        GssServerCall call = new GssServerCall(PROCEED, 0, c, cred.seq, service);
        if (cred.proc == GssWire.DESTROY) {
            // Answer as for a data call with no result, then forget the context.
            out.enc_int(Rpc.MSG_ACCEPTED);
            if (!call.put_verifier(out)) {
                XDRS.set_position(out, XDRS.position(out) - 4);
                GSS.remove(auth, c);
                return deny(GssWire.CTXPROBLEM);
            }
            out.enc_int(Rpc.SUCCESS);
            XDR res = call.result_stream();
            if (!call.wrap_result(res, out))
                out.enc_int(0); // cannot happen with a live context; keep the reply well-formed
            GSS.remove(auth, c);
            return DONE;
        }
        return call;
    }

    /**
     * Whether this call is an admitted RPCSEC_GSS data call.
     *
     * @return true for a data call
     */
    public boolean is_gss() {
        return context != null;
    }

    /**
     * Whether arguments and results are protected (integrity or privacy).
     *
     * @return true for integrity and privacy
     */
    public boolean protects() {
        return context != null && service != GssService.NONE;
    }

    /**
     * The caller's principal.
     *
     * @return the principal of the call's context
     */
    public String principal() {
        return context == null ? null : context.principal;
    }

    /**
     * Writes the reply verifier: a checksum over the sequence number. False when the context cannot make one.
     *
     * @param out the reply
     * @return false when the context cannot make one
     */
    public boolean put_verifier(XDR out) {
        try {
            byte[] mic = GssWire.mic(context.tokens, GssWire.int_bytes(seq), 0, 4);
            out.enc_int(GssWire.RPCSEC_GSS);
            out.enc_bytes(mic);
            return true;
        } catch (GSSException e) {
            return false;
        }
    }

    /**
     * The arguments of a protected call as a stream over their plain bytes,
     * or null (GARBAGE_ARGS) when their checksum, encryption or sequence
     * number does not hold.
     *
     * @param in the call, at the protected arguments
     * @param remote the caller, for logs
     * @return the arguments, or null
     */
    public XDR unwrap_args(XDR in, InetSocketAddress remote) {
        byte[] plain;
        try {
            plain = GssWire.take_body(context.tokens, service, in);
        } catch (GSSException | XDRError e) {
            RuntimeLog.limited(LOG, System.Logger.Level.WARNING, "bad-checksum",
                    () -> "RPCSEC_GSS " + service + " arguments from " + remote + " (" + context.principal
                            + ") refused: " + e.getMessage());
            return null;
        }
        if (GssWire.body_seq(plain) != seq) {
            RuntimeLog.limited(LOG, System.Logger.Level.WARNING, "bad-checksum",
                    () -> "RPCSEC_GSS arguments from " + remote + " carry another sequence number than their header");
            return null;
        }
        return new XDR(plain, 4, plain.length - 4);
    }

    /**
     * A stream to encode a protected result into: the sequence number is in it already.
     *
     * @return the stream
     */
    public XDR result_stream() {
        XDR res = XDRS.encoder(256);
        res.enc_int((int) seq);
        return res;
    }

    /**
     * Protects the result encoded in res (from {@link #result_stream}) and appends it to out.
     *
     * @param res the result stream
     * @param out the reply
     * @return false when the result cannot be protected
     */
    public boolean wrap_result(XDR res, XDR out) {
        if (service == GssService.NONE)
            return true;
        try {
            GssWire.put_body(context.tokens, service, res, out);
            return true;
        } catch (GSSException e) {
            return false;
        }
    }
}
