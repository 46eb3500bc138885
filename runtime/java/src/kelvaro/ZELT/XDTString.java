// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT;

/**
 * An XDR string (mapped as {@link XDR} describes) as an {@link XDT} object, for arguments, results,
 * optional data and arrays.
 */
public class XDTString implements XDT {
    /** The value. */
    public String value;

    /** An object holding the default value. */
    public XDTString() {
    }

    /**
     * An object holding the given value.
     *
     * @param value the value
     */
    public XDTString(String value) {
        this.value = value;
    }

    /**
     * A new object of this class holding the default value.
     *
     * @return the new object
     */
    public XDT Clone() {
        return new XDTString();
    }

    /**
     * A new array of this class.
     *
     * @param len the array length
     * @return the new array
     */
    public XDT[] getArray(int len) {
        return new XDTString[len];
    }

    /**
     * Encodes or decodes {@link #value}, as {@code xdrs.xdr_op} says.
     *
     * @param xdrs the stream
     * @throws XDRError when decoding fails or the string has no byte form
     */
    public void xdr(XDR xdrs) throws XDRError {
        if (xdrs.xdr_op == XDR.XDR_ENCODE)
            xdrs.enc_String(value);
        else
            value = xdrs.dec_String();
    }
}
