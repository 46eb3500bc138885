// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT.internal.codec;

import kelvaro.ZELT.RpcClient;
import kelvaro.ZELT.Svc;
import kelvaro.ZELT.XDR;
import kelvaro.ZELT.XDRError;
import kelvaro.ZELT.XDT;
import kelvaro.ZELT.XdrReader;
import kelvaro.ZELT.XdrWriter;

/**
 * A value of the idiomatic output as an {@link XDT}, for the calls of
 * {@link RpcClient} and the replies of {@link Svc}: encodes its value with
 * its writer, or decodes one with its reader.
 *
 * @param <T> the value's type
 */
public final class XdrBox<T> implements XDT {
    private final XdrWriter<? super T> writer; // null: encodes nothing
    private final XdrReader<? extends T> reader; // null: decodes nothing
    /** The value encoded, or the one decoded. */
    public T value;

    /**
     * A box for a call's arguments or a reply's result.
     *
     * @param value the value to encode, or null
     * @param writer what encodes it, or null to encode nothing
     * @param reader what decodes a value, or null to decode nothing
     */
    public XdrBox(T value, XdrWriter<? super T> writer, XdrReader<? extends T> reader) {
        this.value = value;
        this.writer = writer;
        this.reader = reader;
    }

    @Override
    public XDT Clone() {
        return new XdrBox<T>(null, writer, reader);
    }

    @Override
    public XDT[] getArray(int len) {
        return new XDT[len];
    }

    @Override
    public void xdr(XDR xdrs) throws XDRError {
        if (xdrs.xdr_op == XDR.XDR_ENCODE) {
            if (writer != null)
                writer.write(value, xdrs);
        } else {
            value = reader == null ? null : reader.read(xdrs);
        }
    }
}
