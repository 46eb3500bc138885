// SPDX-License-Identifier: Apache-2.0
import static org.junit.jupiter.api.Assertions.*;

import java.net.DatagramSocket;
import java.net.Socket;
import kelvaro.ZELT.*;
import org.junit.jupiter.api.AfterAll;
import org.junit.jupiter.api.BeforeAll;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;

/**
 * The server against hand-built calls, over TCP (all on one connection,
 * which must survive every case) and over UDP: every reply status, two
 * versions on one port, and credentials.
 */
class ServerRepliesTest {
    static final int PROG = GEOPROG._def_pno;
    static RpcServer server;
    static GeoService geo = new GeoService();
    static Socket connection;
    static DatagramSocket datagrams;

    /** Version 3 of the geo program: procedure 1 returns 3. */
    static class Version3 extends Svc {
        Version3() {
            super(PROG, 3);
        }

        @Override
        public XDT proc_call(int proc, XDR in) {
            return proc == 0 ? new XDTvoid() : proc == 1 ? new XDTint(3) : null;
        }
    }

    @BeforeAll
    static void start() throws Exception {
        server = new RpcServer();
        server.setAddress(Wire.LOOPBACK);
        server.add(geo);
        server.add(new Version3());
        server.start();
        assertEquals(server.tcpPort(), server.udpPort(), "TCP and UDP share the port number");
        connection = new Socket(Wire.LOOPBACK, server.tcpPort());
        connection.setSoTimeout(10_000);
        datagrams = new DatagramSocket();
        datagrams.setSoTimeout(10_000);
    }

    @AfterAll
    static void stop() throws Exception {
        connection.close();
        datagrams.close();
        server.close();
    }

    static final String AUTH_SYS = "00000001 00000020 00000007 00000005 686f737400000000 000003e8 00000064 00000001 0000000a";

    @ParameterizedTest(name = "{0}")
    @CsvSource(delimiter = '|', value = {
        // what | call after the xid (see Wire.call) | reply after the xid
        "procedure 2 succeeds                  | 2 1 2 none    | 00000007 | ACC 00000000 00000002 6e370000",
        "procedure 0 of version 3              | 2 3 0 none    | ''       | ACC 00000000",
        "version 3 on the same port            | 2 3 1 none    | ''       | ACC 00000000 00000003",
        "RPC version 3                         | 3 1 0 none    | ''       | 00000001 00000000 00000002 00000002",
        "unknown program                       | 2 1 0 prog    | ''       | ACC 00000001",
        "version between those served          | 2 2 0 none    | ''       | ACC 00000002 00000001 00000003",
        "version above those served            | 2 9 0 none    | ''       | ACC 00000002 00000001 00000003",
        "unknown procedure                     | 2 1 99 none   | ''       | ACC 00000003",
        "arguments cut short                   | 2 1 3 none    | 00000001 | ACC 00000004",
        "bad bool in the arguments             | 2 1 1 none    | 00000002 61620000 00000000 00000000 00000005 | ACC 00000004",
        "procedure that throws                 | 2 1 4 none    | ''       | ACC 00000005",
        "AUTH_SYS credentials                  | 2 1 2 sys     | 00000008 | ACC 00000000 00000002 6e380000",
        "credential length 0x7fffffff          | 2 1 0 huge    | ''       | 00000001 00000001 00000001",
        "credential body of 404 bytes          | 2 1 0 big     | ''       | 00000001 00000001 00000001",
        "AUTH_SYS with 17 gids                 | 2 1 0 gids    | ''       | 00000001 00000001 00000001",
        "AUTH_SYS body longer than its fields  | 2 1 0 long    | ''       | 00000001 00000001 00000001",
        "unknown credential flavour            | 2 1 0 dh      | ''       | 00000001 00000001 00000002",
        "header cut after the program          | 2 1 0 cut     | ''       | 00000001 00000001 00000001",
        "verifier of 404 bytes                 | 2 1 0 verf    | ''       | 00000001 00000001 00000003",
    })
    void answers_every_call_with_its_status(String what, String call, String args, String reply) throws Exception {
        String[] c = call.split(" ");
        int rpcvers = Integer.parseInt(c[0]), vers = Integer.parseInt(c[1]), proc = Integer.parseInt(c[2]);
        for (String proto : new String[] {"tcp", "udp"}) {
            int xid = what.hashCode() ^ proto.hashCode();
            byte[] record = Wire.hex(message(xid, rpcvers, vers, proc, c[3]) + args);
            String expected = Wire.word(xid) + "00000001 " + reply.replace("ACC ", "00000000 00000000 00000000 ");
            byte[] got = proto.equals("tcp") ? Wire.exchange(connection, record)
                    : Wire.exchange(datagrams, server.udpPort(), record);
            assertNotNull(got, what + " over " + proto + ": connection closed");
            assertEquals(Wire.show(Wire.hex(expected)), Wire.show(got), what + " over " + proto);
        }
    }

    static String message(int xid, int rpcvers, int vers, int proc, String kind) {
        String none = "00000000 00000000";
        switch (kind) {
        case "none": return Wire.call(xid, rpcvers, PROG, vers, proc, none);
        case "prog": return Wire.call(xid, rpcvers, PROG + 1, vers, proc, none);
        case "sys": return Wire.call(xid, rpcvers, PROG, vers, proc, AUTH_SYS);
        case "huge": return Wire.word(xid) + "00000000 00000002 " + Wire.word(PROG) + "00000001 00000000 00000001 7fffffff 00000000";
        case "big": return Wire.call(xid, rpcvers, PROG, vers, proc, "00000000 00000194 " + "00".repeat(404));
        case "gids": return Wire.call(xid, rpcvers, PROG, vers, proc,
                "00000001 00000054 00000000 00000000 00000000 00000000 00000011" + " 00000000".repeat(16));
        case "long": return Wire.call(xid, rpcvers, PROG, vers, proc, AUTH_SYS.replace("00000020", "00000024") + " 00000000");
        case "dh": return Wire.call(xid, rpcvers, PROG, vers, proc, "00000003 00000004 00000000");
        case "cut": return Wire.word(xid) + "00000000 00000002 " + Wire.word(PROG);
        case "verf": return Wire.word(xid) + "00000000 00000002 " + Wire.word(PROG) + "00000001 00000000 00000000 00000000 00000000 00000194 " + "00".repeat(404);
        default: throw new IllegalArgumentException(kind);
        }
    }

    @Test
    void the_service_sees_who_called_and_with_which_credentials() throws Exception {
        AuthSys cred = new AuthSys(7, "host", 1000, 100, new int[] {10, 11});
        try (ClientGeneric c = new ClientGeneric(Wire.LOOPBACK, PROG, 1, server.tcpPort(), "tcp")) {
            c.getClient().setCredentials(cred);
            XDTString r = new XDTString();
            c.getClient().call(GEOPROG._NAME_proc, new XDTint(5), r);
            CallContext ctx = geo.last.get();
            assertEquals(cred, ctx.credentials());
            assertEquals("tcp", ctx.protocol());
            assertEquals(Wire.LOOPBACK, ctx.remoteAddress().getAddress());
            assertEquals(PROG, ctx.program());
            assertEquals(1, ctx.version());
            assertEquals(GEOPROG._NAME_proc, ctx.procedure());
            c.getClient().setCredentials(null);
            c.getClient().call(GEOPROG._NAME_proc, new XDTint(5), r);
            assertNull(geo.last.get().credentials(), "AUTH_NONE");
        }
        try (ClientGeneric c = new ClientGeneric(Wire.LOOPBACK, PROG, 1, server.udpPort(), "udp")) {
            c.getClient().setCredentials(cred);
            c.getClient().call(GEOPROG._PING_proc, new XDTvoid(), new XDTvoid());
            assertEquals("udp", geo.last.get().protocol());
            assertEquals(cred, geo.last.get().credentials());
        }
        assertNull(Svc.currentCall(), "no call outside a call");
    }

    @Test
    void records_that_are_no_calls_close_only_their_connection() throws Exception {
        for (String garbage : new String[] {"1122", "00000001 00000001 00000000", "00000001"}) {
            try (Socket s = new Socket(Wire.LOOPBACK, server.tcpPort())) {
                s.setSoTimeout(10_000);
                assertNull(Wire.exchange(s, Wire.hex(garbage)), garbage + " closes the connection");
            }
        }
        byte[] ok = Wire.exchange(connection, Wire.hex(Wire.call(5, PROG, 1, 0)));
        assertEquals(Wire.show(Wire.hex(Wire.accepted(5) + "00000000")), Wire.show(ok));
    }

    @Test
    void a_program_version_added_twice_is_refused() {
        assertThrows(IllegalArgumentException.class, () -> server.add(new GeoService()));
        RpcServer fresh = new RpcServer();
        assertThrows(IllegalStateException.class, fresh::register, "register before start");
        assertThrows(IllegalArgumentException.class, () -> fresh.setProtocols(false, false));
    }

    @Test
    void client_statuses_against_this_server() throws Exception {
        try (ClientGeneric c = new ClientGeneric(Wire.LOOPBACK, PROG, 2, server.tcpPort(), "tcp")) {
            rpc_err e = assertThrows(rpc_err.class, () -> c.getClient().call(0, new XDTvoid(), new XDTvoid()));
            assertEquals(RpcStatus.PROG_VERS_MISMATCH, e.status());
            assertEquals("RPC: Program/version mismatch; low version = 1, high version = 3", e.getMessage());
        }
        try (ClientGeneric c = new ClientGeneric(Wire.LOOPBACK, PROG, 1, server.udpPort(), "udp")) {
            rpc_err e = assertThrows(rpc_err.class, () -> c.getClient().call(GEOPROG._FAIL_proc, new XDTvoid(), new XDTvoid()));
            assertEquals("RPC: Remote system error", e.getMessage());
        }
    }
}
