import kelvaro.ZELT.*;

public class node implements XDT{
	public int v;
	public node next;

	public XDT Clone() { return new node();}

	public XDT [] getArray(int len) { return new node[len];}

	public void xdr(XDR xdrs) throws XDRError{
		switch(xdrs.xdr_op){
		case XDR.XDR_ENCODE:
		xdrs.enc_int(v);
		xdrs.enc_ref(next);
		break;

		case XDR.XDR_DECODE:
		v = xdrs.dec_int();
		next = (node) xdrs.dec_ref(new node());
		break;

		}
	}
};
