package kelvaro.ZELT;

/** An XDR int as an XDT object, for arguments, results and optional data. */
public class XDTint implements XDT {
    public int value;

    public XDTint() {
    }

    public XDTint(int value) {
        this.value = value;
    }

    public XDT Clone() {
        return new XDTint();
    }

    public XDT[] getArray(int len) {
        return new XDTint[len];
    }

    public void xdr(XDR xdrs) throws XDRError {
        if (xdrs.xdr_op == XDR.XDR_ENCODE)
            xdrs.enc_int(value);
        else
            value = xdrs.dec_int();
    }
}
