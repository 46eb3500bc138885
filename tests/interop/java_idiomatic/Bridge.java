// SPDX-License-Identifier: Apache-2.0
import kelvaro.ZELT.*;

/**
 * Values of the default output (Values, InteropServer) carried into the
 * idiomatic output (package idi) and back through their bytes: what the
 * one output encodes, the other decodes.
 */
final class Bridge {
    private Bridge() {
    }

    static <T> T toIdiomatic(XDT value, XdrReader<T> reader) {
        try {
            XDR out = new XDR();
            value.xdr(out);
            return reader.read(new XDR(out.toByteArray()));
        } catch (XDRError e) {
            throw new IllegalStateException(e);
        }
    }

    static <T, D extends XDT> D toDefault(T value, XdrWriter<T> writer, D into) {
        try {
            XDR out = new XDR();
            writer.write(value, out);
            into.xdr(new XDR(out.toByteArray()));
            return into;
        } catch (XDRError e) {
            throw new IllegalStateException(e);
        }
    }
}
