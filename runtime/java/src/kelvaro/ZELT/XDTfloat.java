// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT;

/**
 * An XDR float as an {@link XDT} object, for arguments, results,
 * optional data and arrays.
 */
public class XDTfloat implements XDT {
    /** The value. */
    public float value;

    /** An object holding the default value. */
    public XDTfloat() {
    }

    /**
     * An object holding the given value.
     *
     * @param value the value
     */
    public XDTfloat(float value) {
        this.value = value;
    }

    /**
     * A new object of this class holding the default value.
     *
     * @return the new object
     */
    public XDT Clone() {
        return new XDTfloat();
    }

    /**
     * A new array of this class.
     *
     * @param len the array length
     * @return the new array
     */
    public XDT[] getArray(int len) {
        return new XDTfloat[len];
    }

    /**
     * Encodes or decodes {@link #value}, as {@code xdrs.xdr_op} says.
     *
     * @param xdrs the stream
     * @throws XDRError when decoding fails
     */
    public void xdr(XDR xdrs) throws XDRError {
        if (xdrs.xdr_op == XDR.XDR_ENCODE)
            xdrs.enc_float(value);
        else
            value = xdrs.dec_float();
    }
}
