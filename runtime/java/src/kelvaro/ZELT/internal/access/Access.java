// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT.internal.access;

import kelvaro.ZELT.GssAuthenticator;
import kelvaro.ZELT.Svc;
import kelvaro.ZELT.XDR;

/**
 * Where the runtime's internal packages find the package-private parts of
 * the API classes in {@code kelvaro.ZELT}: each API class that has such
 * parts registers an implementation of its access interface from its
 * static initializer, and the getters here initialize that class first, so
 * an implementation is always there when asked for. Callers keep what they
 * get in a {@code static final} field; the JIT then calls straight through.
 *
 * <p>The API members stay package-private, so users of the runtime never
 * see them; this package is not exported from the module.
 */
public final class Access {
    private static volatile XdrAccess xdr;
    private static volatile RpcAccess rpc;
    private static volatile GssAccess gss;

    private Access() {
    }

    /**
     * The internals of {@link XDR} and {@link kelvaro.ZELT.XDRError}.
     *
     * @return the implementation {@link XDR} registered
     */
    public static XdrAccess xdr() {
        XdrAccess a = xdr;
        if (a == null) {
            initialize(XDR.class);
            a = xdr;
        }
        return a;
    }

    /**
     * The internals of the RPC classes: services, call contexts, reply
     * handles, credentials, errors.
     *
     * @return the implementation {@link Svc} registered
     */
    public static RpcAccess rpc() {
        RpcAccess a = rpc;
        if (a == null) {
            initialize(Svc.class);
            a = rpc;
        }
        return a;
    }

    /**
     * The internals of the RPCSEC_GSS classes.
     *
     * @return the implementation {@link GssAuthenticator} registered
     */
    public static GssAccess gss() {
        GssAccess a = gss;
        if (a == null) {
            initialize(GssAuthenticator.class);
            a = gss;
        }
        return a;
    }

    /**
     * Registers the internals of {@link XDR}; called once, by its static initializer.
     *
     * @param a the implementation
     * @throws IllegalStateException when one is registered already
     */
    public static synchronized void register(XdrAccess a) {
        if (xdr != null)
            throw new IllegalStateException("XdrAccess registered twice");
        xdr = a;
    }

    /**
     * Registers the internals of the RPC classes; called once, by the static initializer of {@link Svc}.
     *
     * @param a the implementation
     * @throws IllegalStateException when one is registered already
     */
    public static synchronized void register(RpcAccess a) {
        if (rpc != null)
            throw new IllegalStateException("RpcAccess registered twice");
        rpc = a;
    }

    /**
     * Registers the internals of the RPCSEC_GSS classes; called once, by the
     * static initializer of {@link GssAuthenticator}.
     *
     * @param a the implementation
     * @throws IllegalStateException when one is registered already
     */
    public static synchronized void register(GssAccess a) {
        if (gss != null)
            throw new IllegalStateException("GssAccess registered twice");
        gss = a;
    }

    /** Runs c's static initializer, which registers its access, unless it ran already. */
    private static void initialize(Class<?> c) {
        try {
            Class.forName(c.getName(), true, c.getClassLoader());
        } catch (ClassNotFoundException e) {
            throw new LinkageError("runtime class " + c.getName() + " not found", e);
        }
    }
}
