// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT;

import java.net.InetAddress;
import java.net.InetSocketAddress;
import java.time.Duration;

/**
 * Calls to a portmapper (program 100000, version 2, RFC 1833) over TCP,
 * each on a connection of its own, with a time-out of 10 seconds for
 * connecting and calling together. The port is 111 unless the system
 * property {@code kelvaro.ZELT.portmap_port} names another, which lets
 * tests run a portmapper of their own.
 */
public final class Portmap {
    private Portmap() {
    }

    /** The time-out of one portmapper call. */
    static final Duration TIMEOUT = Duration.ofSeconds(10);

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
        call(host, proc, map, result, System.nanoTime() + TIMEOUT.toNanos());
    }

    /** One call on a connection of its own, connecting and calling before the deadline (System.nanoTime). */
    private static void call(InetAddress host, int proc, Mapping map, XDT result, long deadline) throws rpc_err {
        InetSocketAddress to = new InetSocketAddress(host, port());
        try (RpcClient client = RpcClient.connect(to, Rpc.PMAP_PROG, Rpc.PMAP_VERS, true, ClientTransport.fixed(to),
                Duration.ofNanos(Math.max(1, deadline - System.nanoTime())))) {
            client.setTimeout(Duration.ofNanos(Math.max(1, deadline - System.nanoTime())));
            client.call(proc, map, result);
        } catch (rpc_err e) {
            throw new rpc_err(RpcStatus.PMAP_FAILURE, e.getMessage(), e);
        }
    }

    /**
     * Asks the portmapper on host for the port of a program version.
     *
     * @param host the portmapper's host
     * @param prog the program number
     * @param vers the version number
     * @param prot {@link Rpc#IPPROTO_TCP} or {@link Rpc#IPPROTO_UDP}
     * @return the port, 0 when the program version is not registered
     * @throws rpc_err {@link RpcStatus#PMAP_FAILURE} when the portmapper cannot be asked
     */
    public static int getport(InetAddress host, int prog, int vers, int prot) throws rpc_err {
        XDTint port = new XDTint();
        call(host, Rpc.PMAPPROC_GETPORT, new Mapping(prog, vers, prot, 0), port);
        return port.value;
    }

    /**
     * As {@link #getport(InetAddress, int, int, int)}, connecting and
     * calling before the deadline (System.nanoTime).
     */
    static int getport(InetAddress host, int prog, int vers, int prot, long deadline) throws rpc_err {
        XDTint port = new XDTint();
        call(host, Rpc.PMAPPROC_GETPORT, new Mapping(prog, vers, prot, 0), port, deadline);
        return port.value;
    }

    /**
     * Registers a program version at a port for a protocol.
     *
     * @param host the portmapper's host (the portmapper accepts this only from its own machine)
     * @param prog the program number
     * @param vers the version number
     * @param prot {@link Rpc#IPPROTO_TCP} or {@link Rpc#IPPROTO_UDP}
     * @param port the port
     * @return true when registered, false when the portmapper refused (the
     *         program version is registered already, for instance)
     * @throws rpc_err {@link RpcStatus#PMAP_FAILURE} when the portmapper cannot be asked
     */
    public static boolean set(InetAddress host, int prog, int vers, int prot, int port) throws rpc_err {
        XDTboolean done = new XDTboolean();
        call(host, Rpc.PMAPPROC_SET, new Mapping(prog, vers, prot, port), done);
        return done.value;
    }

    /**
     * Removes every registration of a program version, for all protocols.
     *
     * @param host the portmapper's host
     * @param prog the program number
     * @param vers the version number
     * @return true when something was removed
     * @throws rpc_err {@link RpcStatus#PMAP_FAILURE} when the portmapper cannot be asked
     */
    public static boolean unset(InetAddress host, int prog, int vers) throws rpc_err {
        XDTboolean done = new XDTboolean();
        call(host, Rpc.PMAPPROC_UNSET, new Mapping(prog, vers, 0, 0), done);
        return done.value;
    }
}
