// SPDX-License-Identifier: Apache-2.0
import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.net.InetAddress;
import java.net.ServerSocket;
import java.net.Socket;
import java.util.ArrayList;
import java.util.HashMap;
import java.util.List;
import java.util.Map;
import java.util.concurrent.atomic.AtomicInteger;
import kelvaro.ZELT.*;

/**
 * RPC over TCP on the loopback interface: the runtime's client against the
 * runtime's server, each side against hand-built messages, and the
 * portmapper calls against a portmapper of the test's own.
 */
public class RpcTest {
    static final InetAddress LOOPBACK = InetAddress.getLoopbackAddress();
    static final int PROG = GEOPROG._def_pno;
    static final int VERS = GEOPROG._def_vno;

    /** The service behind the server class in generated form. */
    static class GeoServer extends GEOPROG_svcb {
        final AtomicInteger pings = new AtomicInteger();

        public void PING() {
            pings.incrementAndGet();
        }

        public polygon ECHO(polygon p) {
            p.name = p.name + "!";
            p.id++;
            return p;
        }

        public String NAME(int i) {
            return "n" + i;
        }

        public int ADD(point p) {
            return p.x + p.y;
        }

        public void FAIL() {
            throw new IllegalStateException("service fault");
        }
    }

    static point pt(int x, int y) {
        point p = new point();
        p.x = x;
        p.y = y;
        return p;
    }

    static void client_against_server() throws Exception {
        GeoServer server = new GeoServer();
        int port = server.start(0);
        try {
            try (GEOPROG_cln c = new GEOPROG_cln(LOOPBACK, PROG, VERS, port, "tcp")) {
                c.PING();
                Check.equal(1, server.pings.get(), "void call reaches the service");
                Check.equal("n7", c.NAME(7), "int argument, string result");
                Check.equal(5, c.ADD(pt(2, 3)), "struct argument, int result");
                polygon p = new polygon();
                p.name = "tri";
                p.id = -1;
                p.corners = new point[] {pt(1, 2), pt(3, 4), pt(5, 6)};
                p.extra = new point[] {pt(7, 8)};
                p.list = new node();
                p.list.v = 42;
                polygon q = c.ECHO(p);
                Check.that("tri!".equals(q.name) && q.id == 0 && q.corners[2].x == 5 && q.extra[0].y == 8
                        && q.list.v == 42 && q.list.next == null, "struct argument and result");

                Check.fails(rpc_err.class, "RPC: Procedure unavailable", "unknown procedure",
                        () -> c.getClient().call(99, new XDTvoid(), new XDTvoid()));
                Check.fails(rpc_err.class, "RPC: Server can't decode arguments", "argument too short",
                        () -> c.getClient().call(GEOPROG._ADD_proc, new XDTint(1), new XDTint()));
                Check.fails(rpc_err.class, "RPC: Remote system error", "service throws", c::FAIL);
                Check.fails(rpc_err.class, "RPC: Can't decode result", "result longer than the reply",
                        () -> c.getClient().call(GEOPROG._PING_proc, new XDTvoid(), new XDTint()));
                // After the result decoding failure the reply was consumed, so the connection is in step.
                Check.equal("n8", c.NAME(8), "connection still usable after failed calls");
            }
            try (GEOPROG_cln c = new GEOPROG_cln(LOOPBACK, PROG, 2, port, "tcp")) {
                Check.fails(rpc_err.class, "RPC: Program/version mismatch; low version = 1, high version = 1", "wrong version", c::PING);
            }
            try (GEOPROG_cln c = new GEOPROG_cln(LOOPBACK, PROG + 1, VERS, port, "tcp")) {
                Check.fails(rpc_err.class, "RPC: Program unavailable", "wrong program", c::PING);
            }
            try (GEOPROG_cln c = new GEOPROG_cln(LOOPBACK, PROG, VERS, port, "UDP")) {
                Check.equal("n9", c.NAME(9), "udp on the same port number");
            }
            Check.fails(rpc_err.class, "RPC: Unknown protocol", "protocol other than tcp and udp",
                    () -> new GEOPROG_cln(LOOPBACK, PROG, VERS, port, "sctp"));
            Check.fails(rpc_err.class, "not connected", "client made without a server", () -> new GEOPROG_cln().PING());

            // Two clients at once, each on its own connection.
            List<Thread> threads = new ArrayList<>();
            AtomicInteger good = new AtomicInteger();
            for (int t = 0; t < 2; t++) {
                final int base = t * 1000;
                threads.add(new Thread(() -> {
                    try (GEOPROG_cln c = new GEOPROG_cln(LOOPBACK, PROG, VERS, port, "tcp")) {
                        for (int i = 0; i < 50; i++)
                            if (c.NAME(base + i).equals("n" + (base + i)))
                                good.incrementAndGet();
                    } catch (rpc_err e) {
                        System.err.println(e.getMessage());
                    }
                }));
            }
            for (Thread t : threads)
                t.start();
            for (Thread t : threads)
                t.join(20000);
            Check.equal(100, good.get(), "calls from two clients at once");

            GEOPROG_cln open = new GEOPROG_cln(LOOPBACK, PROG, VERS, port, "tcp");
            server.stop();
            Check.fails(rpc_err.class, "", "call after the server stopped", open::PING);
            open.close();
            Check.fails(rpc_err.class, "cannot connect", "connect after the server stopped",
                    () -> new GEOPROG_cln(LOOPBACK, PROG, VERS, port, "tcp"));
        } finally {
            server.stop();
        }
    }

    // ---- the server against hand-built calls

    /** A call header for GEOPROG with xid 11223344 and AUTH_NONE, as hex. */
    static String call_header(int rpcvers, int prog, int vers, int proc) {
        return String.format("11223344 00000000 %08x %08x %08x %08x 00000000 00000000 00000000 00000000",
                rpcvers, prog, vers, proc);
    }

    static final String ACCEPTED = "11223344 00000001 00000000 00000000 00000000 ";

    static byte[] exchange(Socket s, byte[] record, int fragment) throws IOException {
        RecordMark.write(s.getOutputStream(), record, fragment);
        return RecordMark.read(s.getInputStream());
    }

    static void server_against_raw_calls() throws Exception {
        GeoServer server = new GeoServer();
        int port = server.start(0);
        try (Socket s = new Socket(LOOPBACK, port)) {
            s.setSoTimeout(5000);
            Check.equal(Check.hex(ACCEPTED + "00000000 00000002 6e370000"),
                    exchange(s, Check.hex(call_header(2, PROG, VERS, 2) + "00000007"), 7),
                    "string result, call sent in fragments of 7 bytes");
            Check.equal(Check.hex(ACCEPTED + "00000000"), exchange(s, Check.hex(call_header(2, PROG, VERS, 0)), 1000),
                    "procedure 0");
            Check.equal(Check.hex("11223344 00000001 00000001 00000000 00000002 00000002"),
                    exchange(s, Check.hex(call_header(3, PROG, VERS, 0)), 1000), "RPC version 3");
            Check.equal(Check.hex(ACCEPTED + "00000001"), exchange(s, Check.hex(call_header(2, 7, VERS, 0)), 1000),
                    "other program");
            Check.equal(Check.hex(ACCEPTED + "00000002 00000001 00000001"),
                    exchange(s, Check.hex(call_header(2, PROG, 9, 0)), 1000), "other version");
            Check.equal(Check.hex(ACCEPTED + "00000003"), exchange(s, Check.hex(call_header(2, PROG, VERS, 99)), 1000),
                    "unknown procedure");
            Check.equal(Check.hex(ACCEPTED + "00000004"),
                    exchange(s, Check.hex(call_header(2, PROG, VERS, 3) + "00000001"), 1000), "short arguments");
            Check.equal(Check.hex(ACCEPTED + "00000005"), exchange(s, Check.hex(call_header(2, PROG, VERS, 4)), 1000),
                    "service fault");
            // A record that is no call, or too short for a header, gets no answer: the peer does not
            // speak RPC, and its connection is closed.
            Check.equal(null, exchange(s, Check.hex("11223344 00000001 00000000"), 1000), "a reply record closes the connection");
            try (Socket s2 = new Socket(LOOPBACK, port); Socket s3 = new Socket(LOOPBACK, port)) {
                s2.setSoTimeout(5000);
                s3.setSoTimeout(5000);
                Check.equal(null, exchange(s2, Check.hex("1122"), 1000), "a record too short for a header closes the connection");
                byte[] next = exchange(s3, Check.hex(call_header(2, PROG, VERS, 3).replace("11223344", "55667788")
                        + "00000002 00000003"), 1000);
                Check.equal(Check.hex(ACCEPTED.replace("11223344", "55667788") + "00000000 00000005"), next,
                        "other connections are served after the garbage");
                server.stop();
                Check.equal(null, RecordMark.read(s3.getInputStream()), "stop closes open connections");
            }
        } finally {
            server.stop();
        }
    }

    // ---- the client against a scripted server

    interface Script {
        /** Given the call record, writes replies (or nothing) to out. */
        void answer(byte[] call, OutputStream out) throws IOException;
    }

    /** Serves one connection with the script; returns the port. */
    static int scripted(Script script, List<byte[]> calls) throws IOException {
        ServerSocket listener = new ServerSocket(0, 1, LOOPBACK);
        Thread t = new Thread(() -> {
            try (listener; Socket s = listener.accept()) {
                s.setSoTimeout(5000);
                InputStream in = s.getInputStream();
                byte[] call = RecordMark.read(in);
                calls.add(call);
                script.answer(call, s.getOutputStream());
                RecordMark.read(in); // wait for the client to hang up
            } catch (IOException e) {
                // The client has gone.
            }
        });
        t.setDaemon(true);
        t.start();
        return listener.getLocalPort();
    }

    static byte[] with_xid(byte[] call, String rest) {
        byte[] tail = Check.hex(rest);
        byte[] r = new byte[4 + tail.length];
        System.arraycopy(call, 0, r, 0, 4);
        System.arraycopy(tail, 0, r, 4, tail.length);
        return r;
    }

    static void client_against_script(String what, String expect, Script script, int timeout_ms) throws Exception {
        List<byte[]> calls = new ArrayList<>();
        int port = scripted(script, calls);
        try (GEOPROG_cln c = new GEOPROG_cln(LOOPBACK, PROG, VERS, port, "tcp")) {
            c.getClient().setTimeout(java.time.Duration.ofMillis(timeout_ms));
            if (expect == null)
                Check.equal("n7", c.NAME(7), what);
            else
                Check.fails(rpc_err.class, expect, what, () -> c.NAME(7));
        }
    }

    static void client_against_scripts() throws Exception {
        List<byte[]> calls = new ArrayList<>();
        int port = scripted((call, out) -> {
            // A stale reply first, which the client must skip, then the answer in three fragments.
            RecordMark.write(out, Check.hex("00000000 00000001 00000000 00000000 00000000 00000000 00000000"));
            RecordMark.write(out, with_xid(call, "00000001 00000000 00000000 00000000 00000000 00000002 6e370000"), 9);
        }, calls);
        try (GEOPROG_cln c = new GEOPROG_cln(LOOPBACK, PROG, VERS, port, "tcp")) {
            Check.equal("n7", c.NAME(7), "reply after a stale one, in fragments");
        }
        Check.that(calls.size() == 1 && calls.get(0) != null, "the scripted server got the call");
        if (calls.size() == 1 && calls.get(0) != null)
            Check.equal(with_xid(calls.get(0),
                    "00000000 00000002 20000123 00000001 00000002 00000000 00000000 00000000 00000000 00000007"),
                    calls.get(0), "call message: CALL, RPC 2, program, version, procedure, AUTH_NONE twice, argument");

        client_against_script("call rejected for RPC version", "RPC: Incompatible versions of RPC; low version = 2, high version = 2",
                (call, out) -> RecordMark.write(out, with_xid(call, "00000001 00000001 00000000 00000002 00000002")), 5000);
        client_against_script("call rejected for authentication", "RPC: Authentication error; why = Invalid client credential",
                (call, out) -> RecordMark.write(out, with_xid(call, "00000001 00000001 00000001 00000001")), 5000);
        client_against_script("answer that is no reply", "not a reply",
                (call, out) -> RecordMark.write(out, with_xid(call, "00000000")), 5000);
        client_against_script("result cut short", "RPC: Can't decode result",
                (call, out) -> RecordMark.write(out, with_xid(call, "00000001 00000000 00000000 00000000 00000000 00000005")), 5000);
        client_against_script("server hangs up", "RPC: Unable to receive; server closed the connection", (call, out) -> out.close(), 5000);
        client_against_script("server never answers", "RPC: Timed out", (call, out) -> { }, 300);
    }

    // ---- portmapper

    /** A portmapper of the test's own: program 100000 version 2, SET, UNSET and GETPORT. */
    static class Portmapper extends Svc {
        final Map<List<Integer>, Integer> map = new HashMap<>();

        Portmapper() {
            super(100000, 2);
        }

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

        Map<List<Integer>, Integer> snapshot() {
            synchronized (map) {
                return new HashMap<>(map);
            }
        }
    }

    static void portmapper() throws Exception {
        Portmapper pm = new Portmapper();
        GeoServer server = new GeoServer();
        try {
            System.setProperty("kelvaro.ZELT.portmap_port", Integer.toString(pm.start(0)));
            int port = server.start(0);
            Check.that(server.register(), "register");
            Check.equal(Map.of(List.of(PROG, VERS, 6), port, List.of(PROG, VERS, 17), port), pm.snapshot(),
                    "register sets program, version, TCP and UDP, port");
            Check.that(server.register(), "registering again keeps the registration");
            try (GEOPROG_cln c = new GEOPROG_cln("127.0.0.1", "tcp")) {
                Check.equal("n3", c.NAME(3), "client found through the portmapper");
            }
            try (GEOPROG_cln c = new GEOPROG_cln("localhost", PROG, VERS, "tcp")) {
                Check.equal("n4", c.NAME(4), "client found through the portmapper by host name");
            }
            Check.fails(rpc_err.class, "RPC: Program not registered", "unregistered version",
                    () -> new GEOPROG_cln("127.0.0.1", PROG, 2, "tcp"));
            server.unregister();
            Check.equal(Map.of(), pm.snapshot(), "unregister");
            Check.fails(rpc_err.class, "not registered", "after unregister", () -> new GEOPROG_cln("127.0.0.1", "tcp"));
            Check.that(server.register(), "register again");
            server.stop();
            Check.equal(Map.of(), pm.snapshot(), "stop unregisters");

            pm.stop();
            Check.fails(rpc_err.class, "RPC: Port mapper failure", "no portmapper", () -> new GEOPROG_cln("127.0.0.1", "tcp"));
            GeoServer lone = new GeoServer();
            lone.start(0);
            Check.fails(rpc_err.class, "RPC: Port mapper failure", "register without a portmapper", lone::register);
            lone.stop();
        } finally {
            server.stop();
            pm.stop();
            System.clearProperty("kelvaro.ZELT.portmap_port");
        }
    }

    public static void main(String[] args) {
        Check.runs("client against server", RpcTest::client_against_server);
        Check.runs("server against raw calls", RpcTest::server_against_raw_calls);
        Check.runs("client against scripts", RpcTest::client_against_scripts);
        Check.runs("portmapper", RpcTest::portmapper);
        Check.finish("RpcTest");
    }
}
