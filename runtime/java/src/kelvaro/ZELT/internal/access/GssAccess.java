// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT.internal.access;

import kelvaro.ZELT.GssAuthenticator;
import kelvaro.ZELT.GssIdentity;
import kelvaro.ZELT.GssService;
import kelvaro.ZELT.RpcSecGss;
import kelvaro.ZELT.XDR;
import kelvaro.ZELT.internal.gss.GssAction;
import kelvaro.ZELT.internal.gss.GssContext;
import kelvaro.ZELT.internal.gss.GssWire;
import org.ietf.jgss.GSSException;

/**
 * What the RPCSEC_GSS wire code needs of the GSS classes beyond their
 * public methods: an authenticator's table of contexts and its context
 * creation, an identity's credentials, and what a client's
 * {@link RpcSecGss} names. Implemented in {@code kelvaro.ZELT}, found
 * through {@link Access#gss()}.
 */
public interface GssAccess {
    /**
     * The authenticator's context with this handle.
     *
     * @param auth the authenticator
     * @param handle the handle from the call's credential
     * @param expired set to true when the context had expired (it is removed then)
     * @return the context, or null
     */
    GssContext find(GssAuthenticator auth, byte[] handle, boolean[] expired);

    /**
     * Removes a context from the authenticator's table and releases it.
     *
     * @param auth the authenticator
     * @param c the context
     */
    void remove(GssAuthenticator auth, GssContext c);

    /**
     * Handles an INIT or CONTINUE_INIT call: reads the token from args,
     * runs the acceptor and writes the accepted reply, from MSG_ACCEPTED on, to out.
     *
     * @param auth the authenticator
     * @param cred the call's credential
     * @param args the call's arguments
     * @param out the reply
     * @param peer the caller, for logs
     */
    void init(GssAuthenticator auth, GssWire.Cred cred, XDR args, XDR out, String peer);

    /**
     * The service of a wire value.
     *
     * @param wire 1, 2 or 3
     * @return the service, or null for another value
     */
    GssService service(int wire);

    /**
     * Runs the action as the identity, so that the Kerberos mechanism finds its keys and tickets.
     *
     * @param <T> what the action gives
     * @param who the identity
     * @param action the work
     * @return what the action gave
     * @throws GSSException as the action throws it
     */
    <T> T run(GssIdentity who, GssAction<T> action) throws GSSException;

    /**
     * Who the client is.
     *
     * @param sec the client's credentials
     * @return its identity
     */
    GssIdentity identity(RpcSecGss sec);

    /**
     * Whether the server's name is a host-based service name.
     *
     * @param sec the client's credentials
     * @return true for {@code service@host}, false for a full principal
     */
    boolean host_based(RpcSecGss sec);
}
