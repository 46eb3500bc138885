package kelvaro.ZELT;

/** An XDR hyper as an XDT object, for arguments, results and optional data. */
public class XDTLong implements XDT {
    public long value;

    public XDTLong() {
    }

    public XDTLong(long value) {
        this.value = value;
    }

    public XDT Clone() {
        return new XDTLong();
    }

    public XDT[] getArray(int len) {
        return new XDTLong[len];
    }

    public void xdr(XDR xdrs) throws XDRError {
        if (xdrs.xdr_op == XDR.XDR_ENCODE)
            xdrs.enc_long(value);
        else
            value = xdrs.dec_long();
    }
}
