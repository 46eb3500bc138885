// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT;

/**
 * An XDR hyper as an {@link XDT} object, for arguments, results,
 * optional data and arrays.
 */
public class XDTLong implements XDT {
    /** The value. */
    public long value;

    /** An object holding the default value. */
    public XDTLong() {
    }

    /**
     * An object holding the given value.
     *
     * @param value the value
     */
    public XDTLong(long value) {
        this.value = value;
    }

    /**
     * A new object of this class holding the default value.
     *
     * @return the new object
     */
    public XDT Clone() {
        return new XDTLong();
    }

    /**
     * A new array of this class.
     *
     * @param len the array length
     * @return the new array
     */
    public XDT[] getArray(int len) {
        return new XDTLong[len];
    }

    /**
     * Encodes or decodes {@link #value}, as {@code xdrs.xdr_op} says.
     *
     * @param xdrs the stream
     * @throws XDRError when decoding fails
     */
    public void xdr(XDR xdrs) throws XDRError {
        if (xdrs.xdr_op == XDR.XDR_ENCODE)
            xdrs.enc_long(value);
        else
            value = xdrs.dec_long();
    }
}
