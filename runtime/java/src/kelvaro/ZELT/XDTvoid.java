// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT;

/** The XDR void: no value and no bytes on the wire; the argument or result of a procedure that has none. */
public class XDTvoid implements XDT {
    /** The void value. */
    public XDTvoid() {
    }

    /**
     * A new void object.
     *
     * @return the new object
     */
    public XDT Clone() {
        return new XDTvoid();
    }

    /**
     * A new array of void objects.
     *
     * @param len the array length
     * @return the new array
     */
    public XDT[] getArray(int len) {
        return new XDTvoid[len];
    }

    /**
     * Encodes or decodes nothing.
     *
     * @param xdrs the stream, left as it is
     */
    public void xdr(XDR xdrs) {
    }
}
