import kelvaro.ZELT.*;

public class polygon implements XDT{
	public String name;
	public long id;
	public boolean closed;
	public short sh;
	public char ch;
	public byte [] tag = new byte[5];
	public byte [] blob;
	public float [] weights = new float[2];
	public double scale;
	public int [] counts;
	public point [] corners = new point[GEOPROG.MAXPTS];
	public point [] extra;
	public XDTint opt;
	public node list;
	public color col = new color();
	public shape sh2 = new shape();
	public maybe m = new maybe();
	public reading r = new reading();
	public intlist il = new intlist();

	public XDT Clone() { return new polygon();}

	public XDT [] getArray(int len) { return new polygon[len];}

	public void xdr(XDR xdrs) throws XDRError{
		switch(xdrs.xdr_op){
		case XDR.XDR_ENCODE:
		xdrs.enc_String(name);
		xdrs.enc_long(id);
		xdrs.enc_boolean(closed);
		xdrs.enc_short(sh);
		xdrs.enc_char(ch);
		xdrs.xdr_byte_vec(tag);
		xdrs.enc_bytes(blob);
		xdrs.xdr_float_vec(weights);
		xdrs.enc_double(scale);
		xdrs.enc_int_array(counts);
		xdrs.xdr_vec(corners, null);
		xdrs.enc_array(extra);
		xdrs.enc_ref(opt);
		xdrs.enc_ref(list);
		col.xdr(xdrs);
		sh2.xdr(xdrs);
		m.xdr(xdrs);
		r.xdr(xdrs);
		il.xdr(xdrs);
		break;

		case XDR.XDR_DECODE:
		name = xdrs.dec_String();
		id = xdrs.dec_long();
		closed = xdrs.dec_boolean();
		sh = xdrs.dec_short();
		ch = xdrs.dec_char();
		xdrs.xdr_byte_vec(tag);
		blob = xdrs.dec_bytes();
		xdrs.xdr_float_vec(weights);
		scale = xdrs.dec_double();
		counts = xdrs.dec_int_array();
		xdrs.xdr_vec(corners, new point());
		extra = (point[]) xdrs.dec_array(new point());
		opt = (XDTint) xdrs.dec_ref(new XDTint());
		list = (node) xdrs.dec_ref(new node());
		col.xdr(xdrs);
		sh2.xdr(xdrs);
		m.xdr(xdrs);
		r.xdr(xdrs);
		il.xdr(xdrs);
		break;

		}
	}
};
