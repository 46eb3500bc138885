// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT;

import java.security.SecureRandom;
import java.time.Duration;
import java.util.HashMap;
import java.util.Iterator;
import java.util.LinkedHashMap;
import java.util.Map;
import kelvaro.ZELT.internal.access.Access;
import kelvaro.ZELT.internal.gss.GssContext;
import kelvaro.ZELT.internal.gss.GssTokens;
import kelvaro.ZELT.internal.gss.GssWire;
import kelvaro.ZELT.internal.log.RuntimeLog;
import org.ietf.jgss.GSSContext;
import org.ietf.jgss.GSSCredential;
import org.ietf.jgss.GSSException;
import org.ietf.jgss.GSSManager;

/**
 * The server side of RPCSEC_GSS with Kerberos: accepts callers' contexts
 * with the service's keys and keeps the contexts it made. Give it to the
 * services that need it through an {@link AuthPolicy}:
 *
 * <pre>{@code
 * GssIdentity me = GssIdentity.serverFromKeytab("nfs/server.example.org@EXAMPLE.ORG", Path.of("/etc/krb5.keytab"));
 * GssAuthenticator gss = new GssAuthenticator(me);
 * MyService svc = new MyService();
 * svc.setAuthPolicy(AuthPolicy.requireGss(gss, GssService.INTEGRITY));
 * }</pre>
 *
 * <p>Bounds: at most {@link #setMaxContexts} contexts (1,024 by default) and
 * at most {@link #setMaxContextsPerPrincipal} (64) for one caller
 * principal; a new context past either bound pushes out the least recently
 * used one (of that principal, for the second), whose client then gets
 * RPCSEC_GSS_CREDPROBLEM and makes a new one. A context being created
 * (after CONTINUE_NEEDED) lives at most a minute; an established one until
 * its Kerberos ticket ends or it has been idle for the idle time-out
 * ({@link #setIdleTimeout}, 30 minutes). A context token over
 * {@link #MAX_TOKEN} bytes is refused with GSS_S_DEFECTIVE_TOKEN.
 *
 * <p>Each context keeps a sequence window ({@link #setWindow}, 128 by
 * default): a call whose sequence number was seen already, or lies below
 * the window, is dropped without a reply. Thread-safe; settings apply to
 * contexts made afterwards.
 */
public final class GssAuthenticator {
    static {
        Access.register(new GssBridge());
    }

    /** The default most contexts: 1,024. */
    public static final int DEFAULT_MAX_CONTEXTS = 1024;
    /** The default most contexts of one caller principal: 64. */
    public static final int DEFAULT_MAX_CONTEXTS_PER_PRINCIPAL = 64;
    /** The default sequence window: 128. */
    public static final int DEFAULT_WINDOW = 128;
    /** The default idle time-out of a context: 30 minutes. */
    public static final Duration DEFAULT_IDLE_TIMEOUT = Duration.ofMinutes(30);
    /** The largest context token accepted: 64 KiB. */
    public static final int MAX_TOKEN = 64 << 10;

    static final System.Logger LOG = RuntimeLog.logger("gss");
    private static final long PENDING_NANOS = 60_000_000_000L;

    private final GssIdentity identity;
    private final GSSCredential acceptor;
    private final SecureRandom random = new SecureRandom();
    private final LinkedHashMap<Long, GssContext> contexts = new LinkedHashMap<>(64, 0.75f, true);
    private final Map<String, Integer> per_principal = new HashMap<>();
    private volatile int max_contexts = DEFAULT_MAX_CONTEXTS;
    private volatile int max_per_principal = DEFAULT_MAX_CONTEXTS_PER_PRINCIPAL;
    private volatile int window = DEFAULT_WINDOW;
    private volatile long idle_nanos = DEFAULT_IDLE_TIMEOUT.toNanos();
    private long last_sweep;

    /**
     * An authenticator that accepts contexts as the given server identity.
     *
     * @param service the identity from the service's keytab
     *        ({@link GssIdentity#serverFromKeytab})
     * @throws GSSException when no acceptor credential can be made from it
     */
    public GssAuthenticator(GssIdentity service) throws GSSException {
        this.identity = service;
        this.acceptor = service.run(() -> GSSManager.getInstance().createCredential(null,
                GSSCredential.INDEFINITE_LIFETIME, GssWire.KRB5, GSSCredential.ACCEPT_ONLY));
    }

    /**
     * Sets the most contexts kept.
     *
     * @param max at least 1
     * @throws IllegalArgumentException when less than 1
     */
    public void setMaxContexts(int max) {
        if (max < 1)
            throw new IllegalArgumentException("at least one context");
        max_contexts = max;
    }

    /**
     * Sets the most contexts kept for one caller principal.
     *
     * @param max at least 1
     * @throws IllegalArgumentException when less than 1
     */
    public void setMaxContextsPerPrincipal(int max) {
        if (max < 1)
            throw new IllegalArgumentException("at least one context");
        max_per_principal = max;
    }

    /**
     * Sets the sequence window granted to new contexts.
     *
     * @param size 1 to 4,096
     * @throws IllegalArgumentException outside that range
     */
    public void setWindow(int size) {
        if (size < 1 || size > 4096)
            throw new IllegalArgumentException("window of " + size + "; 1 to 4096 allowed");
        window = size;
    }

    /**
     * Sets how long an established context may go unused before it is dropped.
     *
     * @param timeout a positive duration
     * @throws IllegalArgumentException when not positive
     */
    public void setIdleTimeout(Duration timeout) {
        if (timeout.isNegative() || timeout.isZero())
            throw new IllegalArgumentException("idle time-out must be positive");
        idle_nanos = timeout.toNanos();
    }

    /**
     * The number of contexts kept now, those being created included.
     *
     * @return the count
     */
    public synchronized int contextCount() {
        return contexts.size();
    }

    static long handle_key(byte[] handle) {
        if (handle.length != 8)
            return 0;
        long k = 0;
        for (byte b : handle)
            k = k << 8 | (b & 0xff);
        return k;
    }

    static byte[] handle_bytes(long k) {
        byte[] b = new byte[8];
        for (int i = 7; i >= 0; i--) {
            b[i] = (byte) k;
            k >>>= 8;
        }
        return b;
    }

    /** The context with this handle, or null; an expired one is removed and reported through expired[0]. */
    synchronized GssContext find(byte[] handle, boolean[] expired) {
        long k = handle_key(handle);
        GssContext c = k == 0 ? null : contexts.get(k);
        if (c == null)
            return null;
        long now = System.nanoTime();
        if (now - c.expires >= 0 || (c.principal != null && now - c.last_used >= idle_nanos)) {
            remove(c);
            expired[0] = true;
            return null;
        }
        c.last_used = now;
        return c;
    }

    synchronized void remove(GssContext c) {
        if (contexts.remove(c.handle, c) && c.principal != null)
            per_principal.computeIfPresent(c.principal, (p, n) -> n <= 1 ? null : n - 1);
        dispose(c);
    }

    private static void dispose(GssContext c) {
        try {
            synchronized (c.gss) {
                c.gss.dispose();
            }
        } catch (GSSException e) {
            // nothing held that needs more than dropping
        }
    }

    /** Makes room for one more context and files it as being created. */
    private synchronized GssContext add_pending(GSSContext gss, long now) {
        sweep(now);
        while (contexts.size() >= max_contexts) {
            Iterator<GssContext> it = contexts.values().iterator();
            GssContext eldest = it.next();
            remove(eldest);
            RuntimeLog.limited(LOG, System.Logger.Level.INFO, "evict",
                    () -> "RPCSEC_GSS context table full (" + max_contexts + "); dropped the least recently used");
        }
        long k;
        do {
            k = random.nextLong();
        } while (k == 0 || contexts.containsKey(k));
        GssContext c = new GssContext(k, gss, window, now + PENDING_NANOS, now);
        contexts.put(k, c);
        return c;
    }

    /** Marks a context established for principal, pushing out that principal's eldest past the bound. */
    private synchronized void established(GssContext c, String principal, long lifetime_seconds, long now) {
        if (!contexts.containsKey(c.handle))
            return; // pushed out meanwhile
        int n = per_principal.getOrDefault(principal, 0);
        if (n >= max_per_principal) {
            for (GssContext o : contexts.values()) {
                if (principal.equals(o.principal)) {
                    remove(o);
                    n--;
                    RuntimeLog.limited(LOG, System.Logger.Level.INFO, "evict-principal",
                            () -> principal + " holds " + max_per_principal
                                    + " RPCSEC_GSS contexts; dropped its least recently used");
                    break;
                }
            }
        }
        per_principal.put(principal, n + 1);
        c.principal = principal;
        long life = lifetime_seconds >= Integer.MAX_VALUE / 2 ? 86_400L * 365 : Math.max(1, lifetime_seconds);
        c.expires = now + life * 1_000_000_000L;
        c.last_used = now;
    }

    /** Drops expired contexts, at most once a second. */
    private void sweep(long now) {
        if (now - last_sweep < 1_000_000_000L && last_sweep != 0)
            return;
        last_sweep = now;
        for (Iterator<GssContext> it = contexts.values().iterator(); it.hasNext();) {
            GssContext c = it.next();
            if (now - c.expires >= 0 || (c.principal != null && now - c.last_used >= idle_nanos)) {
                it.remove();
                if (c.principal != null)
                    per_principal.computeIfPresent(c.principal, (p, n) -> n <= 1 ? null : n - 1);
                dispose(c);
            }
        }
    }

    /**
     * Handles INIT and CONTINUE_INIT: reads the token from args, runs the
     * acceptor and writes the accepted reply (from MSG_ACCEPTED on) to out.
     */
    void init(GssWire.Cred cred, XDR args, XDR out, String peer) {
        long now = System.nanoTime();
        byte[] token;
        try {
            int n = args.dec_int();
            if (n < 0 || n > MAX_TOKEN) {
                RuntimeLog.limited(LOG, System.Logger.Level.WARNING, "token-size",
                        () -> "RPCSEC_GSS context token of " + (n & 0xffffffffL) + " bytes from " + peer + " refused");
                init_error(out, GssWire.routine_error(GssWire.GSS_S_DEFECTIVE_TOKEN));
                return;
            }
            args.set_position(args.position() - 4);
            token = args.dec_bytes();
        } catch (XDRError e) {
            out.enc_int(Rpc.MSG_ACCEPTED);
            out.enc_int(Rpc.AUTH_NONE);
            out.enc_int(0);
            out.enc_int(Rpc.GARBAGE_ARGS);
            return;
        }
        GssContext c;
        if (cred.proc == GssWire.INIT) {
            GSSContext gss;
            try {
                gss = GSSManager.getInstance().createContext(acceptor);
            } catch (GSSException e) {
                init_error(out, GssWire.major_of(e));
                return;
            }
            c = null;
            byte[] reply;
            try {
                reply = identity.run(() -> gss.acceptSecContext(token, 0, token.length));
            } catch (GSSException | RuntimeException e) {
                RuntimeLog.limited(LOG, System.Logger.Level.WARNING, "bad-token",
                        () -> "RPCSEC_GSS context token from " + peer + " refused: " + e.getMessage());
                init_error(out, e instanceof GSSException ? GssWire.major_of((GSSException) e) : GssWire.routine_error(GssWire.GSS_S_DEFECTIVE_TOKEN));
                try {
                    gss.dispose();
                } catch (GSSException d) {
                    // nothing to release
                }
                return;
            }
            c = add_pending(gss, now);
            finish_step(c, reply, out, peer, now);
        } else {
            boolean[] expired = new boolean[1];
            c = find(cred.handle, expired);
            if (c == null || c.principal != null) {
                init_error(out, GssWire.routine_error(GssWire.GSS_S_NO_CONTEXT));
                return;
            }
            byte[] reply;
            GssContext cc = c;
            try {
                synchronized (cc.gss) {
                    reply = identity.run(() -> cc.gss.acceptSecContext(token, 0, token.length));
                }
            } catch (GSSException | RuntimeException e) {
                RuntimeLog.limited(LOG, System.Logger.Level.WARNING, "bad-token",
                        () -> "RPCSEC_GSS context token from " + peer + " refused: " + e.getMessage());
                remove(cc);
                init_error(out, e instanceof GSSException ? GssWire.major_of((GSSException) e) : GssWire.routine_error(GssWire.GSS_S_DEFECTIVE_TOKEN));
                return;
            }
            finish_step(c, reply, out, peer, now);
        }
    }

    private void finish_step(GssContext c, byte[] reply, XDR out, String peer, long now) {
        byte[] handle = handle_bytes(c.handle);
        if (!c.gss.isEstablished()) {
            out.enc_int(Rpc.MSG_ACCEPTED);
            out.enc_int(Rpc.AUTH_NONE);
            out.enc_int(0);
            out.enc_int(Rpc.SUCCESS);
            init_res(out, handle, GssWire.GSS_S_CONTINUE_NEEDED, 0, reply);
            return;
        }
        String principal;
        byte[] verifier;
        try {
            principal = c.gss.getSrcName().toString();
            c.tokens = new GssTokens(c.gss, true);
            verifier = GssWire.mic(c.tokens, GssWire.int_bytes(c.window), 0, 4);
            established(c, principal, c.gss.getLifetime(), now);
        } catch (GSSException e) {
            remove(c);
            init_error(out, GssWire.major_of(e));
            return;
        }
        out.enc_int(Rpc.MSG_ACCEPTED);
        out.enc_int(GssWire.RPCSEC_GSS);
        out.enc_bytes(verifier);
        out.enc_int(Rpc.SUCCESS);
        init_res(out, handle, GssWire.GSS_S_COMPLETE, c.window, reply);
    }

    private static void init_error(XDR out, int major) {
        out.enc_int(Rpc.MSG_ACCEPTED);
        out.enc_int(Rpc.AUTH_NONE);
        out.enc_int(0);
        out.enc_int(Rpc.SUCCESS);
        init_res(out, new byte[0], major, 0, null);
    }

    private static void init_res(XDR out, byte[] handle, int major, int window, byte[] token) {
        out.enc_bytes(handle);
        out.enc_int(major);
        out.enc_int(0);
        out.enc_int(window);
        out.enc_bytes(token);
    }
}
