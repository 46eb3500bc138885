import kelvaro.ZELT.*;

public class reading implements XDT{
	public int unit;
	public float celsius;
	public double raw;

	public XDT Clone() { return new reading();}

	public XDT [] getArray(int len) { return new reading[len];}



	public void xdr(XDR xdrs) throws XDRError {
		switch(xdrs.xdr_op){
		case XDR.XDR_ENCODE:
			xdrs.enc_int(unit);
			switch(unit){
			case -1:
			break;
			case GEOPROG.MAXPTS:
			xdrs.enc_float(celsius);
			break;
			default:
			xdrs.enc_double(raw);
			break;

			}
		break;

		case XDR.XDR_DECODE:
			unit = xdrs.dec_int();
			switch(unit){
			case -1:
			break;
			case GEOPROG.MAXPTS:
			celsius = xdrs.dec_float();
			break;
			default:
			raw = xdrs.dec_double();
			break;

			}
		break;

		};

	}

};
