// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT;

/**
 * A value that encodes itself to, and decodes itself from, an {@link XDR}
 * stream. Every class that the generator writes for a struct, union or
 * typedef implements it; the wrapper classes ({@link XDTint} and the
 * others) implement it for the built-in types, so that they can be
 * arguments, results and optional data.
 */
public interface XDT {
    /**
     * A new, empty object of the same class, used as the element factory
     * when decoding arrays.
     *
     * @return the new object
     */
    XDT Clone();

    /**
     * A new array of this class with {@code len} empty slots, so that a
     * decoded array has the element type that generated code casts it to.
     *
     * @param len the array length
     * @return the new array
     */
    XDT[] getArray(int len);

    /**
     * Encodes this object into, or decodes it from, {@code xdrs}, as
     * {@code xdrs.xdr_op} says.
     *
     * @param xdrs the stream
     * @throws XDRError when the object cannot be encoded or the input is bad
     */
    void xdr(XDR xdrs) throws XDRError;
}
