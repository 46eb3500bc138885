package kelvaro.ZELT;

/** A char (an XDR int) as an XDT object, for arguments, results and optional data. */
public class XDTchar implements XDT {
    public char value;

    public XDTchar() {
    }

    public XDTchar(char value) {
        this.value = value;
    }

    public XDT Clone() {
        return new XDTchar();
    }

    public XDT[] getArray(int len) {
        return new XDTchar[len];
    }

    public void xdr(XDR xdrs) throws XDRError {
        if (xdrs.xdr_op == XDR.XDR_ENCODE)
            xdrs.enc_char(value);
        else
            value = xdrs.dec_char();
    }
}
