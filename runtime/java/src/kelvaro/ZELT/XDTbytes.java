package kelvaro.ZELT;

/** Variable-length XDR opaque data as an XDT object, for arguments, results and optional data. */
public class XDTbytes implements XDT {
    public byte[] value;

    public XDTbytes() {
    }

    public XDTbytes(byte[] value) {
        this.value = value;
    }

    public XDT Clone() {
        return new XDTbytes();
    }

    public XDT[] getArray(int len) {
        return new XDTbytes[len];
    }

    public void xdr(XDR xdrs) throws XDRError {
        if (xdrs.xdr_op == XDR.XDR_ENCODE)
            xdrs.enc_bytes(value);
        else
            value = xdrs.dec_bytes();
    }
}
