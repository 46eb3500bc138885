// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT.internal.access;

import java.net.InetSocketAddress;
import kelvaro.ZELT.AuthPolicy;
import kelvaro.ZELT.AuthSys;
import kelvaro.ZELT.CallContext;
import kelvaro.ZELT.GssService;
import kelvaro.ZELT.ReplyHandle;
import kelvaro.ZELT.Svc;
import kelvaro.ZELT.XDR;
import kelvaro.ZELT.XDRError;
import kelvaro.ZELT.rpc_err;
import kelvaro.ZELT.internal.server.ServerCall;

/**
 * What the server's dispatcher and the client's message code need of the
 * RPC classes beyond their public methods: a service's credential policy,
 * lock and procedure numbers, the making of call contexts and reply
 * handles, AUTH_SYS bodies, and the local-error form of
 * {@link rpc_err}. Implemented in {@code kelvaro.ZELT}, found
 * through {@link Access#rpc()}.
 */
public interface RpcAccess {
    /**
     * The service's credential policy.
     *
     * @param svc the service
     * @return its policy, or null for the default (AUTH_NONE and AUTH_SYS, no RPCSEC_GSS)
     */
    AuthPolicy auth_policy(Svc svc);

    /**
     * What a serialized server holds while it runs one of the service's calls.
     *
     * @param svc the service
     * @return the service's lock
     */
    Object call_lock(Svc svc);

    /**
     * Whether the service's interfaces declare a procedure of that number.
     *
     * @param svc the service
     * @param proc the procedure number
     * @return true when one of its {@code _NAME_proc} constants has that value
     */
    boolean has_procedure(Svc svc, int proc);

    /**
     * The context of an admitted call.
     *
     * @param remote the caller's address
     * @param protocol "tcp" or "udp"
     * @param credentials the AUTH_SYS credentials, or null
     * @param xid the transaction id
     * @param program the program number
     * @param version the version number
     * @param procedure the procedure number
     * @return the context
     */
    CallContext call_context(InetSocketAddress remote, String protocol, AuthSys credentials, int xid, int program,
            int version, int procedure);

    /**
     * The context with the caller's RPCSEC_GSS principal and service.
     *
     * @param c the context of the call
     * @param principal the authenticated caller
     * @param service the protection the call came with
     * @return a new context
     */
    CallContext with_gss(CallContext c, String principal, GssService service);

    /**
     * The handle that answers a call whose reply its service deferred.
     *
     * @param call the call
     * @return the handle
     */
    ReplyHandle reply_handle(ServerCall call);

    /**
     * Writes the body of AUTH_SYS credentials (without flavour and length).
     *
     * @param credentials the credentials
     * @param x where to
     */
    void encode(AuthSys credentials, XDR x);

    /**
     * Reads the body of AUTH_SYS credentials of the given length.
     *
     * @param x where from, at the body
     * @param length the body's length in bytes
     * @return the credentials
     * @throws XDRError for a malformed body
     */
    AuthSys decode_auth_sys(XDR x, int length) throws XDRError;

    /**
     * The error of a call that failed on this machine (a socket that cannot
     * be opened, a connection refused): SYSTEM_ERROR, with the text
     * "RPC: Local system error" before the detail.
     *
     * @param detail what failed
     * @param cause the exception, or null
     * @return the error
     */
    rpc_err local_error(String detail, Throwable cause);
}
