// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT;

import java.net.InetAddress;
import java.net.InetSocketAddress;
import java.time.Duration;
import kelvaro.ZELT.internal.client.ClientTransport;
import kelvaro.ZELT.internal.log.RuntimeLog;

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

    /** How long a registered server has to answer a NULL call before its registration counts as stale. */
    static final Duration ANSWER_BOUND = Duration.ofSeconds(2);

    private static final System.Logger LOG = RuntimeLog.logger("server");

    private static String protocol(int prot) {
        return prot == Rpc.IPPROTO_TCP ? "tcp" : "udp";
    }

    /**
     * Whether a server at port on host answers a NULL call (procedure 0)
     * of program version prog/vers over prot within {@link #ANSWER_BOUND}.
     * Any failure, a refused connection, a time-out or an error reply,
     * counts as no answer.
     */
    static boolean answers(InetAddress host, int prog, int vers, int prot, int port) {
        InetSocketAddress to = new InetSocketAddress(host, port);
        try (RpcClient client = RpcClient.connect(to, prog, vers, prot == Rpc.IPPROTO_TCP, ClientTransport.fixed(to),
                ANSWER_BOUND)) {
            client.setTimeout(ANSWER_BOUND);
            client.call(0, new XDTvoid(), new XDTvoid());
            return true;
        } catch (rpc_err e) {
            return false;
        }
    }

    /**
     * Registers a program version for the protocols it is served on (a
     * port of 0 leaves a protocol out), without taking over a registration
     * whose server still answers. For each protocol the portmapper is asked
     * first (GETPORT): a registration of another port whose server answers
     * a NULL call leaves the program version as it is, and the result is
     * false; registrations whose servers do not answer are stale, left by
     * a server that ended without unregistering, and are removed (UNSET)
     * before this one is made (SET).
     *
     * @return true when every protocol is registered at this port
     * @throws rpc_err {@link RpcStatus#PMAP_FAILURE} when the portmapper cannot be asked
     */
    static boolean register(InetAddress host, int prog, int vers, int tcp_port, int udp_port) throws rpc_err {
        int[][] wanted = {{Rpc.IPPROTO_TCP, tcp_port}, {Rpc.IPPROTO_UDP, udp_port}};
        boolean stale = false;
        boolean mine = true;
        for (int[] w : wanted) {
            if (w[1] == 0)
                continue;
            int now = getport(host, prog, vers, w[0]);
            if (now == w[1])
                continue;
            mine = false;
            if (now == 0)
                continue;
            if (answers(host, prog, vers, w[0], now)) {
                LOG.log(System.Logger.Level.WARNING, "program " + Integer.toUnsignedString(prog) + " version "
                        + Integer.toUnsignedString(vers) + " is registered for " + protocol(w[0]) + " at port "
                        + now + ", where a server answers; not taking the registration over");
                return false;
            }
            stale = true;
        }
        if (mine)
            return true;
        if (stale) {
            LOG.log(System.Logger.Level.INFO, "program " + Integer.toUnsignedString(prog) + " version "
                    + Integer.toUnsignedString(vers) + ": replacing a registration whose server does not answer");
            unset(host, prog, vers);
        }
        boolean all = true;
        for (int[] w : wanted)
            if (w[1] != 0 && getport(host, prog, vers, w[0]) != w[1])
                all &= set(host, prog, vers, w[0], w[1]);
        return all;
    }

    /**
     * Removes the registration of a program version when it is this
     * server's: when the portmapper gives tcp_port or udp_port (0: not
     * served) for it. Another server's registration stays.
     *
     * @throws rpc_err {@link RpcStatus#PMAP_FAILURE} when the portmapper cannot be asked
     */
    static void unregister(InetAddress host, int prog, int vers, int tcp_port, int udp_port) throws rpc_err {
        boolean mine = tcp_port != 0 && getport(host, prog, vers, Rpc.IPPROTO_TCP) == tcp_port
                || udp_port != 0 && getport(host, prog, vers, Rpc.IPPROTO_UDP) == udp_port;
        if (mine)
            unset(host, prog, vers);
    }

    /**
     * Removes the registration of a program version when it is stale: when
     * no server answers at the ports registered for it. A registration
     * whose server answers stays.
     *
     * @throws rpc_err {@link RpcStatus#PMAP_FAILURE} when the portmapper cannot be asked
     */
    static void unregister_stale(InetAddress host, int prog, int vers) throws rpc_err {
        boolean any = false;
        for (int prot : new int[] {Rpc.IPPROTO_TCP, Rpc.IPPROTO_UDP}) {
            int port = getport(host, prog, vers, prot);
            if (port == 0)
                continue;
            if (answers(host, prog, vers, prot, port))
                return;
            any = true;
        }
        if (any)
            unset(host, prog, vers);
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
