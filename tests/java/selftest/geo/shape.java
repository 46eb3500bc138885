import kelvaro.ZELT.*;

public class shape implements XDT{
	public color kind = new color();
	public point center = new point();
	public int side;
	public String label;

	public XDT Clone() { return new shape();}

	public XDT [] getArray(int len) { return new shape[len];}



	public void xdr(XDR xdrs) throws XDRError {
		switch(xdrs.xdr_op){
		case XDR.XDR_ENCODE:
			kind.xdr(xdrs);
			switch(kind.value){
			case color.RED:
			center.xdr(xdrs);
			break;
			case color.GREEN:
			break;
			case 7:
			xdrs.enc_int(side);
			break;
			default:
			xdrs.enc_String(label);
			break;

			}
		break;

		case XDR.XDR_DECODE:
			kind.xdr(xdrs);
			switch(kind.value){
			case color.RED:
			center.xdr(xdrs);
			break;
			case color.GREEN:
			break;
			case 7:
			side = xdrs.dec_int();
			break;
			default:
			label = xdrs.dec_String();
			break;

			}
		break;

		};

	}

};
