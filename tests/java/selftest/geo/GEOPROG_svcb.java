import java.net.InetAddress;
import kelvaro.ZELT.*;

abstract public class GEOPROG_svcb extends Svc implements GEOPROG {

	public GEOPROG_svcb(int prog, int ver) {
		super(prog, ver);
	}

	public GEOPROG_svcb() {
		super(GEOPROG._def_pno, GEOPROG._def_vno);
	}

	abstract public void PING() ;

	abstract public polygon ECHO(polygon in_arg) ;

	abstract public String NAME(int in_arg) ;

	abstract public int ADD(point in_arg) ;

	abstract public void FAIL() ;

	public XDT proc_call (int proc, XDR inXDR) throws XDRError {
		switch(proc) {
		case 0:
		this.PING();
		return new XDTvoid();

		case 1:
		polygon _out_arg1;
		try {
			polygon _in_arg = new polygon();
			_in_arg.xdr(inXDR);
			_out_arg1 = this.ECHO(_in_arg);
		} catch (XDRError e) {
			throw e;
		}
		return _out_arg1;

		case 2:
		String _out_arg2;
		try {
			XDTint _in_arg = new XDTint();
			_in_arg.xdr(inXDR);
			_out_arg2 = this.NAME(_in_arg.value);
		} catch (XDRError e) {
			throw e;
		}
		return new XDTString(_out_arg2);

		case 3:
		int _out_arg3;
		try {
			point _in_arg = new point();
			_in_arg.xdr(inXDR);
			_out_arg3 = this.ADD(_in_arg);
		} catch (XDRError e) {
			throw e;
		}
		return new XDTint(_out_arg3);

		case 4:
		this.FAIL();
		return new XDTvoid();

		default: return null;
		}
	}

}

