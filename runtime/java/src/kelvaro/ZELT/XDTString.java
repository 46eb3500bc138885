package kelvaro.ZELT;

/** An XDR string as an XDT object, for arguments, results and optional data. */
public class XDTString implements XDT {
    public String value;

    public XDTString() {
    }

    public XDTString(String value) {
        this.value = value;
    }

    public XDT Clone() {
        return new XDTString();
    }

    public XDT[] getArray(int len) {
        return new XDTString[len];
    }

    public void xdr(XDR xdrs) throws XDRError {
        if (xdrs.xdr_op == XDR.XDR_ENCODE)
            xdrs.enc_String(value);
        else
            value = xdrs.dec_String();
    }
}
