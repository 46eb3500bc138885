package kelvaro.ZELT;

/** A value that knows how to write itself to, and read itself from, an XDR stream. */
public interface XDT {
    /** A new, empty object of the same class; used as the element factory when decoding. */
    XDT Clone();

    /** A new array of this class with len empty slots, so decoded arrays keep their element type. */
    XDT[] getArray(int len);

    /** Encodes or decodes this object, as xdrs.xdr_op says. */
    void xdr(XDR xdrs) throws XDRError;
}
