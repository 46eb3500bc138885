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
