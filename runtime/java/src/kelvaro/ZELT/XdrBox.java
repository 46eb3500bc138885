// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT;

/**
 * A value of the idiomatic output as an {@link XDT}, for the calls of
 * {@link RpcClient} and the replies of {@link Svc}: encodes its value with
 * its writer, or decodes one with its reader.
 */
final class XdrBox<T> implements XDT {
    private final XdrWriter<? super T> writer; // null: encodes nothing
    private final XdrReader<? extends T> reader; // null: decodes nothing
    T value;

    XdrBox(T value, XdrWriter<? super T> writer, XdrReader<? extends T> reader) {
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
