// SPDX-License-Identifier: Apache-2.0
import java.util.concurrent.atomic.AtomicReference;
import kelvaro.ZELT.*;

/** The geo service for the tests: echoes, names, adds, fails on demand, and keeps the last call's context. */
class GeoService extends GEOPROG_svcb {
    final AtomicReference<CallContext> last = new AtomicReference<>();

    public void PING() {
        last.set(Svc.currentCall());
    }

    public polygon ECHO(polygon p) {
        last.set(Svc.currentCall());
        return p;
    }

    public String NAME(int i) {
        last.set(Svc.currentCall());
        return "n" + i;
    }

    public int ADD(point p) {
        return p.x + p.y;
    }

    public void FAIL() {
        throw new IllegalStateException("service fault");
    }
}
