import kelvaro.ZELT.*;

public class point implements XDT{
	public int x;
	public int y;

	public XDT Clone() { return new point();}

	public XDT [] getArray(int len) { return new point[len];}

	public void xdr(XDR xdrs) throws XDRError{
		switch(xdrs.xdr_op){
		case XDR.XDR_ENCODE:
		xdrs.enc_int(x);
		xdrs.enc_int(y);
		break;

		case XDR.XDR_DECODE:
		x = xdrs.dec_int();
		y = xdrs.dec_int();
		break;

		}
	}
};
