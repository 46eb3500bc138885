// SPDX-License-Identifier: Apache-2.0
import static org.junit.jupiter.api.Assertions.*;

import java.nio.ByteBuffer;
import java.util.ArrayList;
import java.util.HashMap;
import java.util.List;
import java.util.Map;
import kelvaro.ZELT.*;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;

/**
 * A client outlives its connection: calls in flight at a break fail and
 * are never sent again, and the next call reaches the server anew, also
 * after a restart on another port found through the portmapper.
 */
class ClientReconnectTest {
    static final String N7 = "00000001 00000000 00000000 00000000 00000000 00000002 6e370000";

    /** A portmapper of the test's own: SET, UNSET and GETPORT of program 100000 version 2. */
    static final class Portmapper extends Svc {
        final Map<List<Integer>, Integer> map = new HashMap<>();

        Portmapper() {
            super(100000, 2);
        }

        @Override
        public XDT proc_call(int proc, XDR in) throws XDRError {
            if (proc == 0)
                return new XDTvoid();
            if (proc < 1 || proc > 3)
                return null;
            int prog = in.dec_int(), vers = in.dec_int(), prot = in.dec_int(), port = in.dec_int();
            synchronized (map) {
                if (proc == 1)
                    return new XDTboolean(map.putIfAbsent(List.of(prog, vers, prot), port) == null);
                if (proc == 2)
                    return new XDTboolean(map.keySet().removeIf(k -> k.get(0) == prog && k.get(1) == vers));
                return new XDTint(map.getOrDefault(List.of(prog, vers, prot), 0));
            }
        }
    }

    static RpcServer geo_server(int port) throws Exception {
        RpcServer s = new RpcServer();
        s.setAddress(Wire.LOOPBACK);
        s.setPort(port);
        s.add(new GeoService());
        s.start();
        return s;
    }

    @ParameterizedTest(name = "{0} {1}")
    @CsvSource({
        "tcp, on the same port",
        "tcp, on a new port found through the portmapper",
        "udp, on the same port",
        "udp, on a new port found through the portmapper",
    })
    void after_a_server_restart_the_same_client_calls_again(String proto, String how) throws Exception {
        boolean portmapper = how.contains("portmapper");
        Portmapper pm = new Portmapper();
        RpcServer first = geo_server(0);
        RpcServer second = null;
        try {
            if (portmapper) {
                System.setProperty("kelvaro.ZELT.portmap_port", Integer.toString(pm.start(Wire.LOOPBACK, 0)));
                assertTrue(first.register());
            }
            int port = proto.equals("tcp") ? first.tcpPort() : first.udpPort();
            try (GEOPROG_cln c = portmapper ? new GEOPROG_cln("127.0.0.1", proto)
                    : new GEOPROG_cln(Wire.LOOPBACK, GEOPROG._def_pno, 1, port, proto)) {
                assertEquals("n1", c.NAME(1));
                first.close(); // closes the client's connection, and unregisters
                second = geo_server(portmapper ? 0 : port);
                if (portmapper)
                    assertTrue(second.register());
                assertEquals("n2", c.NAME(2), "the first call after the restart");
                int now = proto.equals("tcp") ? second.tcpPort() : second.udpPort();
                assertEquals(now, c.getClient().remoteAddress().getPort());
                assertEquals("n3", c.NAME(3));
            }
        } finally {
            first.close();
            if (second != null)
                second.close();
            pm.stop();
            System.clearProperty("kelvaro.ZELT.portmap_port");
        }
    }

    @Test
    void calls_in_flight_at_a_break_fail_and_the_next_call_opens_a_new_connection() throws Exception {
        // The server takes three calls, then closes the connection without answering any;
        // every later call is answered.
        try (Scripted peer = Scripted.tcp((n, call, out) -> {
                    if (n == 2)
                        out.close();
                    else if (n > 2)
                        Wire.send(out, Scripted.reply(call, N7));
                    return null;
                });
                GEOPROG_cln c = new GEOPROG_cln(Wire.LOOPBACK, GEOPROG._def_pno, 1, peer.port(), "tcp")) {
            List<Object> outcomes = new ArrayList<>();
            List<Thread> threads = new ArrayList<>();
            for (int i = 0; i < 3; i++) {
                int arg = i;
                Thread t = new Thread(() -> {
                    Object o;
                    try {
                        o = c.NAME(arg);
                    } catch (rpc_err e) {
                        o = e;
                    }
                    synchronized (outcomes) {
                        outcomes.add(o);
                    }
                });
                threads.add(t);
                t.start();
            }
            for (Thread t : threads)
                t.join(20_000);
            assertEquals(3, outcomes.size(), "every call in flight returned: " + outcomes);
            for (Object o : outcomes)
                assertTrue(o instanceof rpc_err e && e.status() == RpcStatus.CANT_RECV
                        && e.getMessage().equals("RPC: Unable to receive; server closed the connection"), String.valueOf(o));
            assertEquals("n7", c.NAME(7), "the next call, on a new connection");
            assertEquals(4, peer.calls.size(), "no call was sent twice");
            assertEquals(4, peer.calls.stream().map(call -> ByteBuffer.wrap(call).getInt()).distinct().count(),
                    "four calls, four xids");
        }
    }
}
