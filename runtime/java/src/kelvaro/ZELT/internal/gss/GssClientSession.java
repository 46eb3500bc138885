// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT.internal.gss;

import java.util.TreeSet;
import java.util.concurrent.TimeUnit;
import java.util.concurrent.atomic.AtomicInteger;
import kelvaro.ZELT.GssAuthenticator;
import kelvaro.ZELT.GssIdentity;
import kelvaro.ZELT.GssService;
import kelvaro.ZELT.Rpc;
import kelvaro.ZELT.RpcClient;
import kelvaro.ZELT.RpcSecGss;
import kelvaro.ZELT.RpcStatus;
import kelvaro.ZELT.XDR;
import kelvaro.ZELT.XDRError;
import kelvaro.ZELT.XDT;
import kelvaro.ZELT.XDTvoid;
import kelvaro.ZELT.internal.access.Access;
import kelvaro.ZELT.internal.access.GssAccess;
import kelvaro.ZELT.internal.access.XdrAccess;
import kelvaro.ZELT.internal.client.ClientTransport;
import kelvaro.ZELT.internal.client.RpcMessage;
import kelvaro.ZELT.internal.codec.MemberPath;
import kelvaro.ZELT.internal.exec.CodecThread;
import kelvaro.ZELT.rpc_err;
import org.ietf.jgss.GSSContext;
import org.ietf.jgss.GSSCredential;
import org.ietf.jgss.GSSException;
import org.ietf.jgss.GSSManager;
import org.ietf.jgss.GSSName;
import org.ietf.jgss.Oid;

/**
 * One client's RPCSEC_GSS state: its context with the server, made on the
 * first call and made again when it expires or the server lost it, and the
 * calls made with it. See {@link RpcClient#setSecurity} for the rules.
 */
public final class GssClientSession {
    private static final GssAccess GSS = Access.gss();
    private static final XdrAccess XDRS = Access.xdr();

    /** The most round trips a context creation may take. */
    private static final int MAX_INIT_ROUNDS = 8;
    /** The most calls in flight, whatever larger window the server grants. */
    private static final int MAX_SLOTS = 1024;
    private static final long DESTROY_NANOS = 2_000_000_000L;
    private static final Oid KRB5_PRINCIPAL_NAME;

    static {
        try {
            KRB5_PRINCIPAL_NAME = new Oid("1.2.840.113554.1.2.2.1");
        } catch (GSSException e) {
            throw new ExceptionInInitializerError(e);
        }
    }

    /**
     * An established context and the sequence numbers of its calls in
     * flight. A number is handed out only while it lies within the window
     * above the lowest one still in flight, so that however the calls
     * overtake each other on the way, the server never finds one of them
     * below its window.
     */
    public static final class Established {
        final GSSContext gss;
        /** The context's tokens. */
        public final GssTokens tokens;
        /** The context's handle, as the server gave it. */
        public final byte[] handle;
        final int window;
        private final TreeSet<Long> in_flight = new TreeSet<>();
        private long next_seq = 1;

        Established(GssTokens tokens, byte[] handle, int window) {
            this.gss = tokens.gss;
            this.tokens = tokens;
            this.handle = handle;
            this.window = Math.min(window, MAX_SLOTS);
        }

        /** The next sequence number, waiting until the window has room for it; -1 at the deadline. */
        synchronized long take_seq(long deadline) throws InterruptedException {
            while (!in_flight.isEmpty() && next_seq - in_flight.first() >= window) {
                long left = deadline - System.nanoTime();
                if (left <= 0)
                    return -1;
                TimeUnit.NANOSECONDS.timedWait(this, left);
            }
            long seq = next_seq++;
            in_flight.add(seq);
            return seq;
        }

        /** The call with this sequence number is over (answered, failed or given up). */
        synchronized void done(long seq) {
            in_flight.remove(seq);
            notifyAll();
        }

        /**
         * Makes the next number handed out this one, for tests.
         *
         * @param seq the next sequence number
         */
        public synchronized void skip_to(long seq) {
            next_seq = seq;
        }
    }

    /** A reply saying that the server no longer knows the context (CREDPROBLEM or CTXPROBLEM). */
    static final class StaleContext extends rpc_err {
        private static final long serialVersionUID = 1L;

        StaleContext(int why) {
            super(RpcStatus.AUTH_ERROR, "why = " + RpcMessage.auth_text(why));
        }
    }

    /** The credentials the calls are made with. */
    public final RpcSecGss sec;
    private final ClientTransport transport;
    private final int prog;
    private final int vers;
    private final AtomicInteger next_xid;
    private final boolean udp;
    private final Object lock = new Object();
    private volatile Established current;
    private volatile boolean closed;
    /** Contexts made, for tests and logs. */
    public final AtomicInteger created = new AtomicInteger();

    /**
     * A session that makes its first context with the first call.
     *
     * @param sec the credentials
     * @param transport the client's transport
     * @param prog the program number
     * @param vers the version number
     * @param next_xid where the client's xids come from
     */
    public GssClientSession(RpcSecGss sec, ClientTransport transport, int prog, int vers, AtomicInteger next_xid) {
        this.sec = sec;
        this.transport = transport;
        this.prog = prog;
        this.vers = vers;
        this.next_xid = next_xid;
        this.udp = "udp".equals(transport.protocol());
    }

    /**
     * Makes a call, creating the context first when there is none or it has
     * expired; a call the server refuses with CREDPROBLEM or CTXPROBLEM is
     * made once more with a new context.
     *
     * @param proc the procedure number
     * @param arg the arguments
     * @param result where the result goes
     * @param deadline when the call times out, in {@link System#nanoTime()}
     * @param retransmit_nanos how long to wait before sending a UDP call again
     * @throws rpc_err when the call or the context fails
     */
    public void call(int proc, XDT arg, XDT result, long deadline, long retransmit_nanos) throws rpc_err {
        boolean retried = false;
        while (true) {
            Established e = context(deadline, retransmit_nanos);
            try {
                data_call(e, GssWire.DATA, proc, arg, result, deadline, retransmit_nanos);
                return;
            } catch (StaleContext s) {
                forget(e);
                if (retried)
                    throw s;
                retried = true;
            }
        }
    }

    /** Destroys the context on the server (briefly, failures ignored) and drops it. */
    public void close() {
        Established e;
        synchronized (lock) {
            closed = true;
            e = current;
            current = null;
        }
        if (e == null)
            return;
        try {
            data_call(e, GssWire.DESTROY, 0, new XDTvoid(), new XDTvoid(), System.nanoTime() + DESTROY_NANOS,
                    DESTROY_NANOS);
        } catch (rpc_err | RuntimeException x) {
            // The server forgets it in time anyway.
        }
        try {
            synchronized (e.gss) {
                e.gss.dispose();
            }
        } catch (GSSException x) {
            // nothing held
        }
    }

    /**
     * The live context, made when there is none or the one there has expired.
     *
     * @param deadline when to give up, in {@link System#nanoTime()}
     * @param retransmit_nanos how long to wait before sending a UDP call again
     * @return the context
     * @throws rpc_err when no context can be made
     */
    public Established context(long deadline, long retransmit_nanos) throws rpc_err {
        Established e = current;
        if (e != null && e.gss.getLifetime() > 0)
            return e;
        synchronized (lock) {
            if (closed)
                throw new rpc_err(RpcStatus.CANT_SEND, "client closed");
            e = current;
            if (e != null && e.gss.getLifetime() > 0)
                return e;
            e = establish(deadline, retransmit_nanos);
            current = e;
            created.incrementAndGet();
            return e;
        }
    }

    /** Drops e as the current context (others still using it finish their calls). */
    void forget(Established e) {
        synchronized (lock) {
            if (current == e)
                current = null;
        }
    }

    private Established establish(long deadline, long retransmit_nanos) throws rpc_err {
        GssIdentity who = GSS.identity(sec);
        GSSContext gss;
        byte[] token;
        try {
            GSSManager m = GSSManager.getInstance();
            GSSName name = m.createName(sec.target(), GSS.host_based(sec) ? GSSName.NT_HOSTBASED_SERVICE : KRB5_PRINCIPAL_NAME);
            gss = GSS.run(who, () -> {
                GSSCredential c = m.createCredential(null, GSSCredential.DEFAULT_LIFETIME, GssWire.KRB5,
                        GSSCredential.INITIATE_ONLY);
                GSSContext g = m.createContext(name, GssWire.KRB5, c, GSSContext.DEFAULT_LIFETIME);
                g.requestMutualAuth(true);
                g.requestConf(true);
                g.requestInteg(true);
                g.requestReplayDet(false);
                g.requestSequenceDet(false);
                return g;
            });
            token = GSS.run(who, () -> gss.initSecContext(new byte[0], 0, 0));
        } catch (GSSException e) {
            throw new rpc_err(RpcStatus.AUTH_ERROR, "cannot start an RPCSEC_GSS context for " + sec.target() + ": "
                    + e.getMessage(), e);
        }
        byte[] handle = new byte[0];
        int proc = GssWire.INIT;
        try {
            for (int round = 0; round < MAX_INIT_ROUNDS; round++) {
                InitReply r = new InitReply();
                int xid = next_xid.getAndIncrement();
                XDR out = XDRS.encoder(512);
                XDRS.reset_encode(out, transport.header_room());
                put_header(out, xid, 0);
                GssWire.put_cred(out, proc, 0, sec.service().wireValue(), handle);
                out.enc_int(Rpc.AUTH_NONE);
                out.enc_int(0);
                out.enc_bytes(token);
                transport.call(xid, out, r, deadline, retransmit_nanos);
                if (r.major != GssWire.GSS_S_COMPLETE && r.major != GssWire.GSS_S_CONTINUE_NEEDED)
                    throw new rpc_err(RpcStatus.AUTH_ERROR, "the server refused the RPCSEC_GSS context: GSS major status 0x"
                            + Integer.toHexString(r.major) + ", minor " + Integer.toUnsignedString(r.minor));
                handle = r.handle;
                if (r.token.length > 0) {
                    byte[] in = r.token;
                    token = GSS.run(who, () -> gss.initSecContext(in, 0, in.length));
                }
                if (r.major == GssWire.GSS_S_COMPLETE) {
                    if (!gss.isEstablished())
                        throw new rpc_err(RpcStatus.AUTH_ERROR, "the server completed an RPCSEC_GSS context the client has not");
                    if (r.verf_flavour != GssWire.RPCSEC_GSS || r.window < 1)
                        throw new rpc_err(RpcStatus.AUTH_ERROR, "why = " + RpcMessage.auth_text(6));
                    GssTokens tokens = new GssTokens(gss, false);
                    try {
                        GssWire.verify_mic(tokens, r.verf, GssWire.int_bytes(r.window), 0, 4);
                    } catch (GSSException e) {
                        throw new rpc_err(RpcStatus.AUTH_ERROR, "why = " + RpcMessage.auth_text(6), e);
                    }
                    return new Established(tokens, handle, r.window);
                }
                proc = GssWire.CONTINUE_INIT;
            }
            throw new rpc_err(RpcStatus.AUTH_ERROR, "RPCSEC_GSS context not made in " + MAX_INIT_ROUNDS + " round trips");
        } catch (GSSException e) {
            throw new rpc_err(RpcStatus.AUTH_ERROR, "RPCSEC_GSS context creation failed: " + e.getMessage(), e);
        }
    }

    private void put_header(XDR out, int xid, int proc) {
        out.enc_int(xid);
        out.enc_int(Rpc.CALL);
        out.enc_int(Rpc.RPC_VERSION);
        out.enc_int(prog);
        out.enc_int(vers);
        out.enc_int(proc);
    }

    /**
     * One data (or DESTROY) call with an established context. Over UDP
     * each retransmission is a new message with a new sequence number and
     * xid, since the server drops a sequence number it has seen.
     */
    private void data_call(Established e, int gss_proc, int proc, XDT arg, XDT result, long deadline,
            long retransmit_nanos) throws rpc_err {
        while (true) {
            long attempt_end = udp ? Math.min(deadline, System.nanoTime() + retransmit_nanos) : deadline;
            long seq;
            try {
                seq = e.take_seq(deadline);
            } catch (InterruptedException x) {
                Thread.currentThread().interrupt();
                throw new rpc_err(RpcStatus.FAILED, "interrupted while waiting for the sequence window");
            }
            if (seq < 0)
                throw new rpc_err(RpcStatus.TIMED_OUT, "the sequence window of " + e.window + " calls stayed full");
            try {
                if (seq >= GssWire.MAXSEQ)
                    throw new StaleContext(GssWire.CTXPROBLEM); // used up: a new context takes over
                attempt(e, seq, gss_proc, proc, arg, result, attempt_end, udp ? Long.MAX_VALUE / 4 : retransmit_nanos);
                return;
            } catch (rpc_err x) {
                if (!udp || x.status() != RpcStatus.TIMED_OUT || deadline - System.nanoTime() <= 0)
                    throw x;
            } finally {
                e.done(seq);
            }
        }
    }

    private void attempt(Established e, long seq, int gss_proc, int proc, XDT arg, XDT result, long deadline,
            long retransmit_nanos) throws rpc_err {
        GssService service = sec.service();
        int xid = next_xid.getAndIncrement();
        XDR out = XDRS.encoder(512);
        int start = transport.header_room();
        XDRS.reset_encode(out, start);
        put_header(out, xid, proc);
        GssWire.put_cred(out, gss_proc, seq, service.wireValue(), e.handle);
        try {
            byte[] mic = GssWire.mic(e.tokens, XDRS.buffer(out), start, XDRS.position(out) - start);
            out.enc_int(GssWire.RPCSEC_GSS);
            out.enc_bytes(mic);
            if (service == GssService.NONE) {
                CodecThread.walk(out, () -> arg.xdr(out));
            } else {
                XDR body = XDRS.encoder(512);
                body.enc_int((int) seq);
                CodecThread.walk(body, () -> arg.xdr(body));
                GssWire.put_body(e.tokens, service, body, out);
            }
        } catch (GSSException x) {
            throw new rpc_err(RpcStatus.CANT_ENCODE_ARGS, "RPCSEC_GSS: " + x.getMessage(), x);
        } catch (XDRError x) {
            throw new rpc_err(RpcStatus.CANT_ENCODE_ARGS, MemberPath.message(x, arg), x);
        } catch (RuntimeException x) {
            throw new rpc_err(RpcStatus.CANT_ENCODE_ARGS, x.toString(), x);
        }
        transport.call(xid, out, new DataReply(e, seq, service, result), deadline, retransmit_nanos);
    }

    /** Reads the reply header up to the accept status; returns the verifier or throws the reply's error. */
    private static byte[] accepted_header(XDR x, int[] verf_flavour) throws rpc_err, XDRError {
        int start = XDRS.position(x);
        boolean stale = false;
        int why = 0;
        if (x.dec_int() == Rpc.REPLY) {
            int stat = x.dec_int();
            if (stat == Rpc.MSG_ACCEPTED) {
                verf_flavour[0] = x.dec_int();
                int n = x.dec_int();
                if (n >= 0 && n <= Rpc.MAX_AUTH_BYTES) {
                    XDRS.set_position(x, XDRS.position(x) - 4);
                    byte[] verf = x.dec_bytes();
                    if (x.dec_int() == Rpc.SUCCESS)
                        return verf;
                }
            } else if (stat == Rpc.MSG_DENIED && x.dec_int() == Rpc.AUTH_ERROR) {
                why = x.dec_int();
                stale = why == GssWire.CREDPROBLEM || why == GssWire.CTXPROBLEM;
            }
        }
        if (stale)
            throw new StaleContext(why);
        XDRS.set_position(x, start);
        RpcMessage.check_reply(x);
        throw new rpc_err(RpcStatus.CANT_DECODE_RES, "reply header");
    }

    /** The result of INIT or CONTINUE_INIT, with its verifier. */
    public static final class InitReply implements XDT {
        int verf_flavour;
        byte[] verf;
        byte[] handle;
        int major;
        int minor;
        int window;
        byte[] token;

        /**
         * Reads the reply: header, verifier, and the result of INIT or CONTINUE_INIT.
         *
         * @param x the reply, after its xid
         * @throws rpc_err with the status the reply carries, or CANT_DECODE_RES
         */
        public void decode(XDR x) throws rpc_err {
            try {
                int[] vf = new int[1];
                verf = accepted_header(x, vf);
                verf_flavour = vf[0];
                int n = x.dec_int();
                if (n < 0 || n > GssWire.MAX_HANDLE)
                    throw new rpc_err(RpcStatus.CANT_DECODE_RES, "context handle of " + (n & 0xffffffffL) + " bytes");
                XDRS.set_position(x, XDRS.position(x) - 4);
                handle = x.dec_bytes();
                major = x.dec_int();
                minor = x.dec_int();
                window = x.dec_int();
                int t = x.dec_int();
                if (t < 0 || t > GssAuthenticator.MAX_TOKEN)
                    throw new rpc_err(RpcStatus.CANT_DECODE_RES, "context token of " + (t & 0xffffffffL) + " bytes");
                XDRS.set_position(x, XDRS.position(x) - 4);
                token = x.dec_bytes();
            } catch (XDRError e) {
                throw new rpc_err(RpcStatus.CANT_DECODE_RES, "RPCSEC_GSS init result: " + e.getMessage(), e);
            }
        }

        @Override
        public void xdr(XDR x) throws XDRError {
            throw new XDRError("decoded by the RPCSEC_GSS client");
        }

        @Override
        public XDT Clone() {
            return new InitReply();
        }

        @Override
        public XDT[] getArray(int len) {
            return new XDT[len];
        }
    }

    /** The reply of a data call: checks the verifier and unprotects the result into the caller's object. */
    public static final class DataReply implements XDT {
        private final Established e;
        private final long seq;
        private final GssService service;
        private final XDT result;

        DataReply(Established e, long seq, GssService service, XDT result) {
            this.e = e;
            this.seq = seq;
            this.service = service;
            this.result = result;
        }

        /**
         * Reads the reply: header, verifier, and the protected result.
         *
         * @param x the reply, after its xid
         * @throws rpc_err with the status the reply carries, or CANT_DECODE_RES
         */
        public void decode(XDR x) throws rpc_err {
            try {
                int[] vf = new int[1];
                byte[] verf = accepted_header(x, vf);
                if (vf[0] != GssWire.RPCSEC_GSS)
                    throw new rpc_err(RpcStatus.AUTH_ERROR, "why = " + RpcMessage.auth_text(6));
                try {
                    GssWire.verify_mic(e.tokens, verf, GssWire.int_bytes(seq), 0, 4);
                } catch (GSSException g) {
                    throw new rpc_err(RpcStatus.AUTH_ERROR, "why = " + RpcMessage.auth_text(6), g);
                }
                XDR r = x;
                if (service != GssService.NONE) {
                    byte[] plain;
                    try {
                        plain = GssWire.take_body(e.tokens, service, x);
                    } catch (GSSException g) {
                        throw new rpc_err(RpcStatus.CANT_DECODE_RES, "RPCSEC_GSS result does not verify: " + g.getMessage(), g);
                    }
                    if (GssWire.body_seq(plain) != seq)
                        throw new rpc_err(RpcStatus.CANT_DECODE_RES, "RPCSEC_GSS result carries another sequence number");
                    r = new XDR(plain, 4, plain.length - 4);
                }
                XDR in = r;
                CodecThread.walk(in, () -> result.xdr(in));
            } catch (XDRError g) {
                throw new rpc_err(RpcStatus.CANT_DECODE_RES, g.getMessage(), g);
            } catch (RuntimeException g) {
                throw new rpc_err(RpcStatus.CANT_DECODE_RES, g.toString(), g);
            }
        }

        @Override
        public void xdr(XDR x) throws XDRError {
            throw new XDRError("decoded by the RPCSEC_GSS client");
        }

        @Override
        public XDT Clone() {
            return this;
        }

        @Override
        public XDT[] getArray(int len) {
            return new XDT[len];
        }
    }
}
