import java.net.InetAddress;
import kelvaro.ZELT.*;

public class GEOPROG_cln extends ClientGeneric implements GEOPROG{

	public GEOPROG_cln() throws rpc_err { };

	public GEOPROG_cln(InetAddress inetAddress, int prog, int ver, int port, String proto) throws rpc_err {
		super(inetAddress, prog, ver,port, proto);
	}

	public GEOPROG_cln(String host, String proto) throws rpc_err {
		super(host, GEOPROG._def_pno, GEOPROG._def_vno, proto);
	}

	public GEOPROG_cln(String host,  int prog, int ver, String proto) throws rpc_err {
		super(host, prog, ver, proto);
	}

	public void PING() throws rpc_err {
		XDTvoid _in_arg = new XDTvoid();
		XDTvoid _out_arg = new XDTvoid();
		getClient().call(GEOPROG._PING_proc, _in_arg, _out_arg);
	}

	public polygon ECHO(polygon in_arg) throws rpc_err {
		polygon _out_arg = new polygon();
		getClient().call(GEOPROG._ECHO_proc, in_arg, _out_arg);
		return _out_arg;
	}

	public String NAME(int in_arg) throws rpc_err {
		XDTint _in_arg = new XDTint();
		_in_arg.value = in_arg;
		XDTString _out_arg = new XDTString();
		getClient().call(GEOPROG._NAME_proc, _in_arg, _out_arg);
		return _out_arg.value;
	}

	public int ADD(point in_arg) throws rpc_err {
		XDTint _out_arg = new XDTint();
		getClient().call(GEOPROG._ADD_proc, in_arg, _out_arg);
		return _out_arg.value;
	}

	public void FAIL() throws rpc_err {
		XDTvoid _in_arg = new XDTvoid();
		XDTvoid _out_arg = new XDTvoid();
		getClient().call(GEOPROG._FAIL_proc, _in_arg, _out_arg);
	}


}

