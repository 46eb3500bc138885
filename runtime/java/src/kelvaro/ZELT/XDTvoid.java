package kelvaro.ZELT;

/** The XDR void: no value and no bytes on the wire. */
public class XDTvoid implements XDT {
    public XDT Clone() {
        return new XDTvoid();
    }

    public XDT[] getArray(int len) {
        return new XDTvoid[len];
    }

    public void xdr(XDR xdrs) {
    }
}
