// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT;

import java.nio.ByteBuffer;
import kelvaro.ZELT.internal.access.XdrAccess;

/**
 * The package-private parts of {@link XDR} and {@link XDRError}, for the
 * runtime's internal packages; {@link XDR} registers it. Each method only
 * forwards, so that the JIT, which sees one implementation behind a
 * constant, inlines the call.
 */
final class XdrBridge implements XdrAccess {
    @Override
    public XDR encoder(int capacity) {
        return new XDR(capacity);
    }

    @Override
    public void reset_encode(XDR x, int start) {
        x.reset_encode(start);
    }

    @Override
    public void reset_decode(XDR x, byte[] data, int offset, int length) {
        x.reset_decode(data, offset, length);
    }

    @Override
    public byte[] buffer(XDR x) {
        return x.buffer();
    }

    @Override
    public int position(XDR x) {
        return x.position();
    }

    @Override
    public void set_position(XDR x, int p) {
        x.set_position(p);
    }

    @Override
    public void refer_to_opaque(XDR x, int min) {
        x.refer_to_opaque(min);
    }

    @Override
    public boolean refers(XDR x) {
        return x.refers();
    }

    @Override
    public int copy_encoded(XDR x, long from, ByteBuffer dst) {
        return x.copy_encoded(from, dst);
    }

    @Override
    public int capacity(XDR x) {
        return x.capacity();
    }

    @Override
    public void set_switch_depth(XDR x, int depth) {
        x.set_switch_depth(depth);
    }

    @Override
    public void put_int_at(XDR x, int at, int v) {
        x.put_int_at(at, v);
    }

    @Override
    public String member(XDRError e) {
        return e.member();
    }

    @Override
    public Object value(XDRError e) {
        return e.value();
    }

    @Override
    public String problem(XDRError e) {
        return e.problem();
    }
}
