import kelvaro.ZELT.*;

public class maybe implements XDT{
	public boolean present;
	public long v;

	public XDT Clone() { return new maybe();}

	public XDT [] getArray(int len) { return new maybe[len];}



	public void xdr(XDR xdrs) throws XDRError {
		switch(xdrs.xdr_op){
		case XDR.XDR_ENCODE:
			xdrs.enc_boolean(present);
			switch(present ? 1 : 0){
			case 1:
			xdrs.enc_long(v);
			break;
			case 0:
			break;
			default:
			break;

			}
		break;

		case XDR.XDR_DECODE:
			present = xdrs.dec_boolean();
			switch(present ? 1 : 0){
			case 1:
			v = xdrs.dec_long();
			break;
			case 0:
			break;
			default:
			break;

			}
		break;

		};

	}

};
