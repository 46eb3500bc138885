package kelvaro.ZELT;

/** An XDR double as an XDT object, for arguments, results and optional data. */
public class XDTdouble implements XDT {
    public double value;

    public XDTdouble() {
    }

    public XDTdouble(double value) {
        this.value = value;
    }

    public XDT Clone() {
        return new XDTdouble();
    }

    public XDT[] getArray(int len) {
        return new XDTdouble[len];
    }

    public void xdr(XDR xdrs) throws XDRError {
        if (xdrs.xdr_op == XDR.XDR_ENCODE)
            xdrs.enc_double(value);
        else
            value = xdrs.dec_double();
    }
}
