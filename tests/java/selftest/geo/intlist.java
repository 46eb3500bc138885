import kelvaro.ZELT.*;

public class intlist implements XDT{
	public int [] value;

	public XDT Clone() { return new intlist();}

	public XDT [] getArray(int len) { return new intlist[len];}

	public void xdr(XDR xdrs) throws XDRError{
		switch(xdrs.xdr_op){
		case XDR.XDR_ENCODE:
		xdrs.enc_int_array(value);
		break;

		case XDR.XDR_DECODE:
		value = xdrs.dec_int_array();
		break;

		}
	}
};
