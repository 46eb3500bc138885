public interface GEOPROG{

	public static final int _def_pno = 0x20000123;
	public static final int _def_vno = 1;

	public static final int MAXPTS = 3;


	public static final int _PING_proc = 0;

	public void PING() throws kelvaro.ZELT.rpc_err;

	public static final int _ECHO_proc = 1;

	public polygon ECHO(polygon in_arg) throws kelvaro.ZELT.rpc_err;

	public static final int _NAME_proc = 2;

	public String NAME(int in_arg) throws kelvaro.ZELT.rpc_err;

	public static final int _ADD_proc = 3;

	public int ADD(point in_arg) throws kelvaro.ZELT.rpc_err;

	public static final int _FAIL_proc = 4;

	public void FAIL() throws kelvaro.ZELT.rpc_err;


}

