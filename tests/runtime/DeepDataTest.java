// SPDX-License-Identifier: Apache-2.0
import static org.junit.jupiter.api.Assertions.*;

import java.net.Socket;
import java.util.Arrays;
import kelvaro.ZELT.*;
import org.junit.jupiter.api.AfterAll;
import org.junit.jupiter.api.BeforeAll;
import org.junit.jupiter.api.Test;

/**
 * Linked lists through the generated geo classes (polygon.list is a
 * {@code node *}): 100,000 nodes both ways, and lists past the depth limit
 * on either side, after which the connection still serves.
 */
class DeepDataTest {
    static final int PROG = GEOPROG._def_pno;
    static RpcServer server;

    @BeforeAll
    static void start() throws Exception {
        server = new RpcServer();
        server.setAddress(Wire.LOOPBACK);
        server.add(new GeoService());
        server.start();
    }

    @AfterAll
    static void stop() {
        server.close();
    }

    static polygon with_list(node list) {
        polygon p = Wire.polygon("deep");
        p.list = list;
        return p;
    }

    @Test
    void a_list_of_100000_nodes_goes_both_ways() throws Exception {
        try (GEOPROG_cln c = new GEOPROG_cln(Wire.LOOPBACK, PROG, 1, server.tcpPort(), "tcp")) {
            polygon back = c.ECHO(with_list(Wire.list(100_000)));
            assertEquals(100_000, Wire.length(back.list));
            assertEquals("n1", c.NAME(1));
        }
    }

    @Test
    void arguments_past_the_limit_fail_on_the_client_and_nothing_is_sent() throws Exception {
        try (GEOPROG_cln c = new GEOPROG_cln(Wire.LOOPBACK, PROG, 1, server.tcpPort(), "tcp")) {
            rpc_err e = assertThrows(rpc_err.class, () -> c.ECHO(with_list(Wire.list(XDR.MAX_DEPTH + 1))));
            assertEquals(RpcStatus.CANT_ENCODE_ARGS, e.status(), e.getMessage());
            assertTrue(e.getMessage().contains("nested deeper than 250000"), e.getMessage());
            assertEquals("n2", c.NAME(2), "the connection still serves");
            // The deepest list the limit allows still goes.
            assertEquals(XDR.MAX_DEPTH - 1, Wire.length(c.ECHO(with_list(Wire.list(XDR.MAX_DEPTH - 1))).list));
        }
    }

    /** The wire form of a polygon holding a list of n nodes (prefix, list, rest of the polygon). */
    static byte[] polygon_bytes(int n) throws XDRError {
        XDR without = new XDR();
        with_list(null).xdr(without);
        XDR with_one = new XDR();
        with_list(Wire.list(1)).xdr(with_one);
        byte[] a = without.toByteArray(), b = with_one.toByteArray();
        int at = Arrays.mismatch(a, b) & ~3; // the list's presence flag
        return Wire.concat(Arrays.copyOf(a, at), Wire.hex("00000001"), Wire.list_bytes(n),
                Arrays.copyOfRange(a, at + 4, a.length));
    }

    @Test
    void the_server_answers_arguments_past_the_limit_with_garbage_args() throws Exception {
        try (Socket s = new Socket(Wire.LOOPBACK, server.tcpPort())) {
            s.setSoTimeout(60_000);
            byte[] call = Wire.concat(Wire.hex(Wire.call(77, PROG, 1, GEOPROG._ECHO_proc)), polygon_bytes(XDR.MAX_DEPTH + 10));
            assertEquals(Wire.show(Wire.hex(Wire.accepted(77) + "00000004")), Wire.show(Wire.exchange(s, call)));
            byte[] ok = Wire.exchange(s, Wire.hex(Wire.call(78, PROG, 1, GEOPROG._NAME_proc) + "00000003"));
            assertEquals(Wire.show(Wire.hex(Wire.accepted(78) + "00000000 00000002 6e330000")), Wire.show(ok));
        }
    }

    @Test
    void a_result_past_the_limit_fails_on_the_client_and_the_connection_survives() throws Exception {
        byte[] deep = polygon_bytes(XDR.MAX_DEPTH + 10);
        byte[] fine = polygon_bytes(200_000);
        try (Scripted peer = Scripted.tcp((n, call, out) -> {
                    Wire.send(out, Wire.concat(Scripted.reply(call, ClientStatusTest.ACC + "00000000"), n == 0 ? deep : fine));
                    return null;
                });
                GEOPROG_cln c = new GEOPROG_cln(Wire.LOOPBACK, PROG, 1, peer.port(), "tcp")) {
            rpc_err e = assertThrows(rpc_err.class, () -> c.ECHO(with_list(null)));
            assertEquals(RpcStatus.CANT_DECODE_RES, e.status(), e.getMessage());
            assertEquals(200_000, Wire.length(c.ECHO(with_list(null)).list));
        }
    }
}
