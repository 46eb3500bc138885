// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT;

/**
 * An XDR short (4 bytes on the wire) as an {@link XDT} object, for arguments, results,
 * optional data and arrays.
 */
public class XDTshort implements XDT {
    /** The value. */
    public short value;

    /** An object holding the default value. */
    public XDTshort() {
    }

    /**
     * An object holding the given value.
     *
     * @param value the value
     */
    public XDTshort(short value) {
        this.value = value;
    }

    /**
     * A new object of this class holding the default value.
     *
     * @return the new object
     */
    public XDT Clone() {
        return new XDTshort();
    }

    /**
     * A new array of this class.
     *
     * @param len the array length
     * @return the new array
     */
    public XDT[] getArray(int len) {
        return new XDTshort[len];
    }

    /**
     * Encodes or decodes {@link #value}, as {@code xdrs.xdr_op} says.
     *
     * @param xdrs the stream
     * @throws XDRError when decoding fails
     */
    public void xdr(XDR xdrs) throws XDRError {
        if (xdrs.xdr_op == XDR.XDR_ENCODE)
            xdrs.enc_short(value);
        else
            value = xdrs.dec_short();
    }
}
