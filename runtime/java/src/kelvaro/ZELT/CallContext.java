// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT;

import java.net.InetSocketAddress;

/**
 * What a server method knows about the call it is running: who sent it,
 * how, with which credentials. {@link Svc#currentCall()} gives it inside
 * {@code proc_call} and the methods it calls, on the thread that runs the
 * call. Immutable.
 */
public final class CallContext {
    private final InetSocketAddress remote;
    private final String protocol;
    private final AuthSys credentials;
    private final int xid;
    private final int program;
    private final int version;
    private final int procedure;
    private String principal; // RPCSEC_GSS: the authenticated caller; set only by with_gss before the call runs
    private GssService gss_service;

    CallContext(InetSocketAddress remote, String protocol, AuthSys credentials, int xid, int program, int version,
            int procedure) {
        this.remote = remote;
        this.protocol = protocol;
        this.credentials = credentials;
        this.xid = xid;
        this.program = program;
        this.version = version;
        this.procedure = procedure;
    }

    /** This context with the caller's RPCSEC_GSS principal and service. */
    CallContext with_gss(String principal, GssService service) {
        CallContext c = new CallContext(remote, protocol, credentials, xid, program, version, procedure);
        c.principal = principal;
        c.gss_service = service;
        return c;
    }

    /**
     * The caller's Kerberos principal, as RPCSEC_GSS authenticated it (for
     * example {@code alice@EXAMPLE.ORG}).
     *
     * @return the principal, or null when the call did not come with RPCSEC_GSS
     */
    public String principal() {
        return principal;
    }

    /**
     * The RPCSEC_GSS service the call came with.
     *
     * @return the service, or null when the call did not come with RPCSEC_GSS
     */
    public GssService gssService() {
        return gss_service;
    }

    /**
     * The caller's address and port.
     *
     * @return the address
     */
    public InetSocketAddress remoteAddress() {
        return remote;
    }

    /**
     * The protocol the call came over.
     *
     * @return "tcp" or "udp"
     */
    public String protocol() {
        return protocol;
    }

    /**
     * The caller's AUTH_SYS credentials, as sent (the server cannot check them).
     *
     * @return the credentials, or null for AUTH_NONE
     */
    public AuthSys credentials() {
        return credentials;
    }

    /**
     * The call's transaction id.
     *
     * @return the xid
     */
    public int xid() {
        return xid;
    }

    /**
     * The program number called.
     *
     * @return the program number
     */
    public int program() {
        return program;
    }

    /**
     * The version number called.
     *
     * @return the version number
     */
    public int version() {
        return version;
    }

    /**
     * The procedure number called.
     *
     * @return the procedure number
     */
    public int procedure() {
        return procedure;
    }
}
