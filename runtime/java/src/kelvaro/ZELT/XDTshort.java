package kelvaro.ZELT;

/** A short (an XDR int) as an XDT object, for arguments, results and optional data. */
public class XDTshort implements XDT {
    public short value;

    public XDTshort() {
    }

    public XDTshort(short value) {
        this.value = value;
    }

    public XDT Clone() {
        return new XDTshort();
    }

    public XDT[] getArray(int len) {
        return new XDTshort[len];
    }

    public void xdr(XDR xdrs) throws XDRError {
        if (xdrs.xdr_op == XDR.XDR_ENCODE)
            xdrs.enc_short(value);
        else
            value = xdrs.dec_short();
    }
}
