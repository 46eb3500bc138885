// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT;

import java.net.InetSocketAddress;
import kelvaro.ZELT.internal.access.RpcAccess;
import kelvaro.ZELT.internal.server.ServerCall;

/**
 * The package-private parts of the RPC classes, for the runtime's internal
 * packages; {@link Svc} registers it. Each method only forwards.
 */
final class RpcBridge implements RpcAccess {
    @Override
    public AuthPolicy auth_policy(Svc svc) {
        return svc.auth_policy;
    }

    @Override
    public Object call_lock(Svc svc) {
        return svc.call_lock;
    }

    @Override
    public boolean has_procedure(Svc svc, int proc) {
        return svc.has_procedure(proc);
    }

    @Override
    public CallContext call_context(InetSocketAddress remote, String protocol, AuthSys credentials, int xid,
            int program, int version, int procedure) {
        return new CallContext(remote, protocol, credentials, xid, program, version, procedure);
    }

    @Override
    public CallContext with_gss(CallContext c, String principal, GssService service) {
        return c.with_gss(principal, service);
    }

    @Override
    public ReplyHandle reply_handle(ServerCall call) {
        return new ReplyHandle(call);
    }

    @Override
    public void encode(AuthSys credentials, XDR x) {
        credentials.encode(x);
    }

    @Override
    public AuthSys decode_auth_sys(XDR x, int length) throws XDRError {
        return AuthSys.decode(x, length);
    }

    @Override
    public rpc_err local_error(String detail, Throwable cause) {
        return rpc_err.local(detail, cause);
    }
}
