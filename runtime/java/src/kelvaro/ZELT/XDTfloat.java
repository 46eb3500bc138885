package kelvaro.ZELT;

/** An XDR float as an XDT object, for arguments, results and optional data. */
public class XDTfloat implements XDT {
    public float value;

    public XDTfloat() {
    }

    public XDTfloat(float value) {
        this.value = value;
    }

    public XDT Clone() {
        return new XDTfloat();
    }

    public XDT[] getArray(int len) {
        return new XDTfloat[len];
    }

    public void xdr(XDR xdrs) throws XDRError {
        if (xdrs.xdr_op == XDR.XDR_ENCODE)
            xdrs.enc_float(value);
        else
            value = xdrs.dec_float();
    }
}
