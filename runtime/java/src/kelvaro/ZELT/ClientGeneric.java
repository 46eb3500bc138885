package kelvaro.ZELT;

import java.net.InetAddress;
import java.net.UnknownHostException;

/**
 * Base of generated client classes: holds the connection to one program
 * version. Only TCP is supported.
 */
public class ClientGeneric implements AutoCloseable {
    private RpcClient client;

    /** A client without a connection; its calls fail with rpc_err. */
    public ClientGeneric() throws rpc_err {
        client = new RpcClient(0, 0);
    }

    /** Connects to the program version at a known address and port. */
    public ClientGeneric(InetAddress host, int prog, int ver, int port, String proto) throws rpc_err {
        check_protocol(proto);
        client = new RpcClient(host, port, prog, ver);
    }

    /** Asks the portmapper on host for the program version's TCP port, then connects to it. */
    public ClientGeneric(String host, int prog, int ver, String proto) throws rpc_err {
        check_protocol(proto);
        InetAddress address;
        try {
            address = InetAddress.getByName(host);
        } catch (UnknownHostException e) {
            throw new rpc_err("unknown host " + host, e);
        }
        int port = Portmap.getport(address, prog, ver, Rpc.IPPROTO_TCP);
        if (port == 0)
            throw new rpc_err("program " + prog + " version " + ver + " is not registered for tcp on " + host);
        client = new RpcClient(address, port, prog, ver);
    }

    private static void check_protocol(String proto) throws rpc_err {
        if (proto == null || !proto.equalsIgnoreCase("tcp"))
            throw new rpc_err("protocol " + proto + " is not supported (only tcp)");
    }

    /** The connection; generated methods call getClient().call(proc, arg, result). */
    public RpcClient getClient() {
        return client;
    }

    public void close() {
        client.close();
    }
}
