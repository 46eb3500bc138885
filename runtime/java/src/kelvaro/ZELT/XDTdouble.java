// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT;

/**
 * An XDR double as an {@link XDT} object, for arguments, results,
 * optional data and arrays.
 */
public class XDTdouble implements XDT {
    /** The value. */
    public double value;

    /** An object holding the default value. */
    public XDTdouble() {
    }

    /**
     * An object holding the given value.
     *
     * @param value the value
     */
    public XDTdouble(double value) {
        this.value = value;
    }

    /**
     * A new object of this class holding the default value.
     *
     * @return the new object
     */
    public XDT Clone() {
        return new XDTdouble();
    }

    /**
     * A new array of this class.
     *
     * @param len the array length
     * @return the new array
     */
    public XDT[] getArray(int len) {
        return new XDTdouble[len];
    }

    /**
     * Encodes or decodes {@link #value}, as {@code xdrs.xdr_op} says.
     *
     * @param xdrs the stream
     * @throws XDRError when decoding fails
     */
    public void xdr(XDR xdrs) throws XDRError {
        if (xdrs.xdr_op == XDR.XDR_ENCODE)
            xdrs.enc_double(value);
        else
            value = xdrs.dec_double();
    }
}
