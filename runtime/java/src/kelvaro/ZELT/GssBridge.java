// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT;

import kelvaro.ZELT.internal.access.GssAccess;
import kelvaro.ZELT.internal.gss.GssAction;
import kelvaro.ZELT.internal.gss.GssContext;
import kelvaro.ZELT.internal.gss.GssWire;
import org.ietf.jgss.GSSException;

/**
 * The package-private parts of the RPCSEC_GSS classes, for the runtime's
 * internal packages; {@link GssAuthenticator} registers it. Each method
 * only forwards.
 */
final class GssBridge implements GssAccess {
    @Override
    public GssContext find(GssAuthenticator auth, byte[] handle, boolean[] expired) {
        return auth.find(handle, expired);
    }

    @Override
    public void remove(GssAuthenticator auth, GssContext c) {
        auth.remove(c);
    }

    @Override
    public void init(GssAuthenticator auth, GssWire.Cred cred, XDR args, XDR out, String peer) {
        auth.init(cred, args, out, peer);
    }

    @Override
    public GssService service(int wire) {
        return GssService.of(wire);
    }

    @Override
    public <T> T run(GssIdentity who, GssAction<T> action) throws GSSException {
        return who.run(action);
    }

    @Override
    public GssIdentity identity(RpcSecGss sec) {
        return sec.identity();
    }

    @Override
    public boolean host_based(RpcSecGss sec) {
        return sec.host_based();
    }
}
