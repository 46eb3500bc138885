package kelvaro.ZELT;

/** An XDR bool as an XDT object, for arguments, results and optional data. */
public class XDTboolean implements XDT {
    public boolean value;

    public XDTboolean() {
    }

    public XDTboolean(boolean value) {
        this.value = value;
    }

    public XDT Clone() {
        return new XDTboolean();
    }

    public XDT[] getArray(int len) {
        return new XDTboolean[len];
    }

    public void xdr(XDR xdrs) throws XDRError {
        if (xdrs.xdr_op == XDR.XDR_ENCODE)
            xdrs.enc_boolean(value);
        else
            value = xdrs.dec_boolean();
    }
}
