package kelvaro.ZELT;

import java.net.InetAddress;

/**
 * Calls to the portmapper (program 100000, version 2) over TCP. The port is
 * 111 unless the system property kelvaro.ZELT.portmap_port names another,
 * which lets tests run a portmapper of their own.
 */
public final class Portmap {
    private Portmap() {
    }

    /** The portmapper's mapping record: program, version, protocol, port. */
    static final class Mapping implements XDT {
        int prog, vers, prot, port;

        Mapping(int prog, int vers, int prot, int port) {
            this.prog = prog;
            this.vers = vers;
            this.prot = prot;
            this.port = port;
        }

        public XDT Clone() {
            return new Mapping(0, 0, 0, 0);
        }

        public XDT[] getArray(int len) {
            return new Mapping[len];
        }

        public void xdr(XDR xdrs) throws XDRError {
            if (xdrs.xdr_op == XDR.XDR_ENCODE) {
                xdrs.enc_int(prog);
                xdrs.enc_int(vers);
                xdrs.enc_int(prot);
                xdrs.enc_int(port);
            } else {
                prog = xdrs.dec_int();
                vers = xdrs.dec_int();
                prot = xdrs.dec_int();
                port = xdrs.dec_int();
            }
        }
    }

    static int port() {
        return Integer.getInteger("kelvaro.ZELT.portmap_port", Rpc.PMAP_PORT);
    }

    private static void call(InetAddress host, int proc, Mapping map, XDT result) throws rpc_err {
        try (RpcClient client = new RpcClient(host, port(), Rpc.PMAP_PROG, Rpc.PMAP_VERS)) {
            client.call(proc, map, result);
        } catch (rpc_err e) {
            throw new rpc_err("portmapper on " + host.getHostAddress() + ": " + e.getMessage(), e);
        }
    }

    /** The port of the program version for the protocol (Rpc.IPPROTO_TCP or _UDP), 0 when not registered. */
    public static int getport(InetAddress host, int prog, int vers, int prot) throws rpc_err {
        XDTint port = new XDTint();
        call(host, Rpc.PMAPPROC_GETPORT, new Mapping(prog, vers, prot, 0), port);
        return port.value;
    }

    /** Registers the program version at the port; false when the portmapper refuses. */
    public static boolean set(InetAddress host, int prog, int vers, int prot, int port) throws rpc_err {
        XDTboolean done = new XDTboolean();
        call(host, Rpc.PMAPPROC_SET, new Mapping(prog, vers, prot, port), done);
        return done.value;
    }

    /** Removes every registration of the program version. */
    public static boolean unset(InetAddress host, int prog, int vers) throws rpc_err {
        XDTboolean done = new XDTboolean();
        call(host, Rpc.PMAPPROC_UNSET, new Mapping(prog, vers, 0, 0), done);
        return done.value;
    }
}
