// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.DataInputStream;
import java.io.IOException;
import java.io.OutputStream;
import java.net.InetAddress;
import java.net.Socket;
import java.net.SocketTimeoutException;
import java.nio.file.Path;
import java.time.Duration;
import java.util.Random;
import kelvaro.ZELT.internal.gss.GssClientSession;
import kelvaro.ZELT.internal.gss.GssTokens;
import kelvaro.ZELT.internal.gss.GssWire;
import org.ietf.jgss.GSSContext;
import org.ietf.jgss.GSSCredential;
import org.ietf.jgss.GSSManager;
import org.ietf.jgss.GSSName;
import org.junit.jupiter.api.AfterAll;
import org.junit.jupiter.api.BeforeAll;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;

/**
 * RPCSEC_GSS between the runtime's client and server, in the scratch realm
 * that realm.sh made (its variables in the environment): the three services
 * over TCP and UDP, who the service sees, what a server that requires
 * RPCSEC_GSS refuses, context loss and refresh, and hostile calls built by
 * hand on a raw connection.
 */
class GssTest {
    static final int PROG = 0x20004422;
    static final InetAddress LOOPBACK = InetAddress.getLoopbackAddress();
    static final String SERVICE = System.getenv("GSS_SERVICE_HOSTBASED");

    static GssIdentity alice, mallory, service_id;
    static GssAuthenticator auth;
    static Echo echo;
    static RpcServer server;

    /** proc 1 echoes bytes, proc 2 tells who called and with which service, proc 3 counts calls. */
    static final class Echo extends Svc {
        volatile int calls;

        Echo(int prog, int vers) {
            super(prog, vers);
        }

        @Override
        public XDT proc_call(int proc, XDR in) throws XDRError {
            switch (proc) {
            case 0:
                return new XDTvoid();
            case 1: {
                calls++;
                XDTbytes b = new XDTbytes();
                b.xdr(in);
                return b;
            }
            case 2: {
                CallContext c = Svc.currentCall();
                return new XDTString(c.principal() + " " + c.gssService());
            }
            default:
                return null;
            }
        }
    }

    static Path env(String name) {
        String v = System.getenv(name);
        assertNotNull(v, name + " not set: run under realm.sh");
        return Path.of(v);
    }

    @BeforeAll
    static void start() throws Exception {
        alice = GssIdentity.clientFromKeytab(System.getenv("GSS_ALICE"), env("GSS_ALICE_KEYTAB"));
        mallory = GssIdentity.clientFromKeytab(System.getenv("GSS_MALLORY"), env("GSS_MALLORY_KEYTAB"));
        service_id = GssIdentity.serverFromKeytab(System.getenv("GSS_SERVICE"), env("GSS_SERVICE_KEYTAB"));
        auth = new GssAuthenticator(service_id);
        echo = new Echo(PROG, 1);
        echo.setAuthPolicy(AuthPolicy.allowGss(auth));
        server = new RpcServer();
        server.setAddress(LOOPBACK);
        server.add(echo);
        server.start();
    }

    @AfterAll
    static void stop() {
        if (server != null)
            server.close();
    }

    static RpcClient client(RpcServer s, int prog, String proto, RpcSecGss sec) throws rpc_err {
        RpcClient c = RpcClient.create(LOOPBACK, "tcp".equals(proto) ? s.tcpPort() : s.udpPort(), prog, 1, proto);
        c.setTimeout(Duration.ofSeconds(20));
        c.setRetransmitInterval(Duration.ofSeconds(2));
        if (sec != null)
            c.setSecurity(sec);
        return c;
    }

    static byte[] echo(RpcClient c, byte[] data) throws rpc_err {
        XDTbytes r = new XDTbytes();
        c.call(1, new XDTbytes(data), r);
        return r.value;
    }

    static String whoami(RpcClient c) throws rpc_err {
        XDTString r = new XDTString();
        c.call(2, new XDTvoid(), r);
        return r.value;
    }

    @ParameterizedTest
    @CsvSource({"tcp, NONE", "tcp, INTEGRITY", "tcp, PRIVACY", "udp, NONE", "udp, INTEGRITY", "udp, PRIVACY"})
    void eachServiceOverEachTransport(String proto, GssService svc) throws Exception {
        Random rnd = new Random(proto.hashCode() * 31 + svc.ordinal());
        try (RpcClient c = client(server, PROG, proto, RpcSecGss.forService(alice, SERVICE, svc))) {
            assertEquals(System.getenv("GSS_ALICE") + " " + svc, whoami(c));
            for (int size : new int[] {0, 1, 5, 1000, "tcp".equals(proto) ? 300_000 : 30_000}) {
                byte[] data = new byte[size];
                rnd.nextBytes(data);
                assertArrayEquals(data, echo(c, data), size + " bytes");
            }
            assertEquals(1, c.gss_session().created.get(), "one context for all calls");
        }
    }

    @Test
    void theServiceSeesWhoAuthenticated() throws Exception {
        GssIdentity cache = GssIdentity.clientFromTicketCache(env("GSS_MALLORY_CCACHE"));
        try (RpcClient m = client(server, PROG, "tcp", RpcSecGss.forService(mallory, SERVICE, GssService.INTEGRITY));
                RpcClient a = client(server, PROG, "tcp",
                        RpcSecGss.forPrincipal(alice, System.getenv("GSS_SERVICE"), GssService.NONE));
                RpcClient fromCache = client(server, PROG, "udp",
                        RpcSecGss.forService(cache, SERVICE, GssService.PRIVACY));
                RpcClient plain = client(server, PROG, "tcp", null)) {
            assertEquals(System.getenv("GSS_MALLORY") + " INTEGRITY", whoami(m));
            assertEquals(System.getenv("GSS_ALICE") + " NONE", whoami(a));
            assertEquals(System.getenv("GSS_MALLORY") + " PRIVACY", whoami(fromCache));
            plain.setCredentials(new AuthSys(1, "h", 0, 0, null));
            assertEquals("null null", whoami(plain), "AUTH_SYS allowed by allowGss, and no principal");
        }
    }

    /** The n-fold vectors of RFC 3961, which the checksum key derivation rests on. */
    @ParameterizedTest
    @CsvSource({"012345, 8, be072631276b1955", "password, 7, 78a07b6caf85fa",
            "'Rough Consensus, and Running Code', 8, bb6ed30870b7f0e0", "kerberos, 8, 6b65726265726f73",
            "kerberos, 16, 6b65726265726f737b9b5b2b93132b93", "Q, 21, 518a54a215a8452a518a54a215a8452a518a54a215"})
    void nfoldMatchesTheStandardsVectors(String in, int bytes, String hex) {
        byte[] out = GssTokens.Fast.nfold(in.getBytes(java.nio.charset.StandardCharsets.US_ASCII), bytes);
        StringBuilder sb = new StringBuilder();
        for (byte b : out)
            sb.append(String.format("%02x", b));
        assertEquals(hex, sb.toString());
    }

    /** After the first token each side makes and checks checksums itself, and the peer still accepts them. */
    @Test
    void checksumsMoveToTheFastPathAndStillVerify() throws Exception {
        try (RpcClient c = client(server, PROG, "tcp", RpcSecGss.forService(alice, SERVICE, GssService.INTEGRITY))) {
            for (int i = 0; i < 3; i++)
                assertArrayEquals(new byte[] {(byte) i}, echo(c, new byte[] {(byte) i}));
            assertTrue(context(c).tokens.fast(), "the client's checksums are its own");
        }
    }

    /** A server whose program requires RPCSEC_GSS with integrity, for the refusals. */
    @Test
    void aServerRequiringGssRefusesWeakerCredentials() throws Exception {
        Echo strict = new Echo(PROG + 1, 1);
        strict.setAuthPolicy(AuthPolicy.requireGss(auth, GssService.INTEGRITY));
        server.add(strict);
        for (String proto : new String[] {"tcp", "udp"}) {
            try (RpcClient none = client(server, PROG + 1, proto, null);
                    RpcClient sys = client(server, PROG + 1, proto, null);
                    RpcClient weak = client(server, PROG + 1, proto, RpcSecGss.forService(alice, SERVICE, GssService.NONE));
                    RpcClient good = client(server, PROG + 1, proto,
                            RpcSecGss.forService(alice, SERVICE, GssService.PRIVACY))) {
                sys.setCredentials(new AuthSys(7, "host", 0, 0, null));
                for (RpcClient c : new RpcClient[] {none, sys, weak}) {
                    rpc_err e = assertThrows(rpc_err.class, () -> echo(c, new byte[3]));
                    assertEquals(RpcStatus.AUTH_ERROR, e.status());
                    assertTrue(e.getMessage().endsWith("why = Client credential too weak"), e.getMessage());
                }
                assertArrayEquals(new byte[] {1, 2}, echo(good, new byte[] {1, 2}));
            }
        }
        // The plain service next to it still takes AUTH_NONE, and RPCSEC_GSS is refused where no policy allows it.
        Echo open = new Echo(PROG + 2, 1);
        server.add(open);
        try (RpcClient c = client(server, PROG + 2, "tcp", RpcSecGss.forService(alice, SERVICE, GssService.NONE))) {
            rpc_err e = assertThrows(rpc_err.class, () -> echo(c, new byte[1]));
            assertTrue(e.getMessage().endsWith("why = Server rejected credential"), e.getMessage());
        }
    }

    @Test
    void aLostContextIsMadeAgainOnceAndCloseDestroysIt() throws Exception {
        GssAuthenticator small = new GssAuthenticator(service_id);
        small.setMaxContextsPerPrincipal(1);
        Echo e = new Echo(PROG, 1);
        e.setAuthPolicy(AuthPolicy.requireGss(small, GssService.NONE));
        RpcServer s = new RpcServer();
        s.setAddress(LOOPBACK);
        s.add(e);
        s.start();
        RpcClient first = client(s, PROG, "tcp", RpcSecGss.forService(alice, SERVICE, GssService.INTEGRITY));
        try (RpcClient second = client(s, PROG, "udp", RpcSecGss.forService(alice, SERVICE, GssService.INTEGRITY))) {
            assertArrayEquals(new byte[] {9}, echo(first, new byte[] {9}));
            assertArrayEquals(new byte[] {8}, echo(second, new byte[] {8})); // pushes out first's context
            assertEquals(1, small.contextCount());
            int before = e.calls;
            assertArrayEquals(new byte[] {7}, echo(first, new byte[] {7})); // CREDPROBLEM, new context, retried
            assertEquals(before + 1, e.calls, "the refused call ran once, after the retry");
            assertEquals(2, first.gss_session().created.get());
            first.close();
            assertEquals(0, small.contextCount(), "close() destroyed the context on the server");
        } finally {
            first.close();
            s.close();
        }
    }

    // ---- hostile calls on a raw connection

    /** A context made by the runtime's client, for hand-built calls. */
    static GssClientSession.Established context(RpcClient c) throws rpc_err {
        return c.gss_session().context(System.nanoTime() + 20_000_000_000L, 2_000_000_000L);
    }

    /** A DATA call to proc 1 (echo) with these bytes, the service's protection and the given sequence number. */
    static byte[] dataCall(GssClientSession.Established e, byte[] handle, int xid, long seq, GssService svc, byte[] arg)
            throws Exception {
        XDR out = new XDR(256);
        out.reset_encode(0);
        out.enc_int(xid);
        out.enc_int(Rpc.CALL);
        out.enc_int(2);
        out.enc_int(PROG);
        out.enc_int(1);
        out.enc_int(1);
        GssWire.put_cred(out, GssWire.DATA, seq, svc.wireValue(), handle);
        byte[] mic = GssWire.mic(e.tokens, out.buffer(), 0, out.position());
        out.enc_int(GssWire.RPCSEC_GSS);
        out.enc_bytes(mic);
        if (svc == GssService.NONE) {
            out.enc_bytes(arg);
        } else {
            XDR body = new XDR(64);
            body.enc_int((int) seq);
            body.enc_bytes(arg);
            GssWire.put_body(e.tokens, svc, body, out);
        }
        return out.toByteArray();
    }

    /** Sends one record in one write (so that no delayed acknowledgement holds it up). */
    static void send(OutputStream o, byte[] record) throws IOException {
        int h = 0x80000000 | record.length;
        byte[] w = new byte[4 + record.length];
        w[0] = (byte) (h >>> 24);
        w[1] = (byte) (h >>> 16);
        w[2] = (byte) (h >>> 8);
        w[3] = (byte) h;
        System.arraycopy(record, 0, w, 4, record.length);
        o.write(w);
        o.flush();
    }

    /**
     * The next reply record, or null when none comes within the socket's
     * time-out. Empty records, which carry no reply, are skipped.
     */
    static byte[] receive(Socket s) throws IOException {
        DataInputStream in = new DataInputStream(s.getInputStream());
        try {
            while (true) {
                int h = in.readInt();
                byte[] r = new byte[h & 0x7fffffff];
                in.readFully(r);
                if (r.length > 0)
                    return r;
            }
        } catch (SocketTimeoutException e) {
            return null;
        }
    }

    static Socket raw(RpcServer s) throws IOException {
        Socket r = new Socket(LOOPBACK, s.tcpPort());
        r.setTcpNoDelay(true);
        return r;
    }

    /** Reply as (xid, reply_stat, then accept_stat or reject fields); the verifier is skipped. */
    static int[] parse(byte[] reply) throws XDRError {
        XDR x = new XDR(reply);
        int xid = x.dec_int();
        x.dec_int();
        int stat = x.dec_int();
        if (stat == Rpc.MSG_DENIED)
            return new int[] {xid, stat, x.dec_int(), x.dec_int()};
        x.dec_int();
        x.dec_bytes();
        return new int[] {xid, stat, x.dec_int()};
    }

    @Test
    void hostileCallsGetTheProtocolsAnswerOrNone() throws Exception {
        try (RpcClient c = client(server, PROG, "tcp", RpcSecGss.forService(alice, SERVICE, GssService.INTEGRITY));
                Socket s = raw(server)) {
            s.setSoTimeout(1500);
            OutputStream o = s.getOutputStream();
            GssClientSession.Established e = context(c);
            byte[] h = e.handle;
            byte[] arg = {1, 2, 3, 4, 5};

            byte[] call = dataCall(e, h, 100, 5000, GssService.INTEGRITY, arg);
            send(o, call);
            assertArrayEquals(new int[] {100, 0, Rpc.SUCCESS}, parse(receive(s)));
            send(o, call); // replayed: same sequence number
            send(o, dataCall(e, h, 101, 5000 - GssAuthenticator.DEFAULT_WINDOW, GssService.INTEGRITY, arg)); // below the window
            send(o, dataCall(e, h, 102, 4999, GssService.INTEGRITY, arg)); // inside the window, not seen: served
            assertArrayEquals(new int[] {102, 0, Rpc.SUCCESS}, parse(receive(s)), "the replay and the old call got no reply");

            byte[] flipped = dataCall(e, h, 103, 5001, GssService.INTEGRITY, arg);
            flipped[flipped.length - 40] ^= 1; // inside the checksummed arguments
            send(o, flipped);
            assertArrayEquals(new int[] {103, 0, Rpc.GARBAGE_ARGS}, parse(receive(s)));

            byte[] badVerifier = dataCall(e, h, 104, 5002, GssService.INTEGRITY, arg);
            badVerifier[20] ^= 1; // the program number: the header checksum no longer holds
            send(o, badVerifier);
            assertArrayEquals(new int[] {104, Rpc.MSG_DENIED, Rpc.AUTH_ERROR, GssWire.CREDPROBLEM}, parse(receive(s)));

            byte[] wrong = h.clone();
            wrong[0] ^= 0x55;
            send(o, dataCall(e, wrong, 105, 5003, GssService.INTEGRITY, arg));
            assertArrayEquals(new int[] {105, Rpc.MSG_DENIED, Rpc.AUTH_ERROR, GssWire.CREDPROBLEM}, parse(receive(s)));
            send(o, dataCall(e, new byte[3], 106, 5003, GssService.INTEGRITY, arg));
            assertArrayEquals(new int[] {106, Rpc.MSG_DENIED, Rpc.AUTH_ERROR, GssWire.CREDPROBLEM}, parse(receive(s)));

            send(o, dataCall(e, h, 107, GssWire.MAXSEQ, GssService.INTEGRITY, arg)); // also ends the context
            assertArrayEquals(new int[] {107, Rpc.MSG_DENIED, Rpc.AUTH_ERROR, GssWire.CTXPROBLEM}, parse(receive(s)));
            send(o, dataCall(e, h, 108, 5004, GssService.INTEGRITY, arg));
            assertArrayEquals(new int[] {108, Rpc.MSG_DENIED, Rpc.AUTH_ERROR, GssWire.CREDPROBLEM}, parse(receive(s)));

            // A 1 MiB context token: refused in the init result, and the connection goes on.
            XDR init = new XDR(64);
            init.reset_encode(0);
            for (int w : new int[] {200, Rpc.CALL, 2, PROG, 1, 0})
                init.enc_int(w);
            GssWire.put_cred(init, GssWire.INIT, 0, 2, new byte[0]);
            init.enc_int(0);
            init.enc_int(0);
            init.enc_bytes(new byte[1 << 20]);
            send(o, init.toByteArray());
            XDR r = new XDR(receive(s));
            assertArrayEquals(new int[] {200, Rpc.REPLY, Rpc.MSG_ACCEPTED, Rpc.AUTH_NONE, 0, Rpc.SUCCESS, 0},
                    new int[] {r.dec_int(), r.dec_int(), r.dec_int(), r.dec_int(), r.dec_int(), r.dec_int(), r.dec_int()});
            assertEquals(9 << 16, r.dec_int(), "GSS_S_DEFECTIVE_TOKEN");

            assertArrayEquals(new byte[] {6}, echo(c, new byte[] {6}), "the legitimate client is still served");
        }
    }

    @Test
    void anExpiredContextIsRefusedAndReplaced() throws Exception {
        GssAuthenticator quick = new GssAuthenticator(service_id);
        quick.setIdleTimeout(Duration.ofMillis(300));
        Echo e = new Echo(PROG, 1);
        e.setAuthPolicy(AuthPolicy.requireGss(quick, GssService.NONE));
        RpcServer s = new RpcServer();
        s.setAddress(LOOPBACK);
        s.add(e);
        s.start();
        try (RpcClient c = client(s, PROG, "tcp", RpcSecGss.forService(alice, SERVICE, GssService.NONE));
                Socket raw = raw(s)) {
            raw.setSoTimeout(5000);
            GssClientSession.Established ctx = context(c);
            Thread.sleep(600);
            send(raw.getOutputStream(), dataCall(ctx, ctx.handle, 300, 1, GssService.NONE, new byte[2]));
            assertArrayEquals(new int[] {300, Rpc.MSG_DENIED, Rpc.AUTH_ERROR, GssWire.CTXPROBLEM}, parse(receive(raw)));
            assertArrayEquals(new byte[] {4}, echo(c, new byte[] {4})); // a new context, transparently
            assertEquals(2, c.gss_session().created.get());
        } finally {
            s.close();
        }
    }

    /** Many threads on one client against a small window: the client keeps its calls inside it. */
    @Test
    void concurrentCallsStayInsideASmallWindowAndUsedUpSequencesRenew() throws Exception {
        GssAuthenticator narrow = new GssAuthenticator(service_id);
        narrow.setWindow(4);
        Echo e = new Echo(PROG, 1);
        e.setAuthPolicy(AuthPolicy.requireGss(narrow, GssService.INTEGRITY));
        RpcServer s = new RpcServer();
        s.setAddress(LOOPBACK);
        s.add(e);
        s.start();
        try (RpcClient tcp = client(s, PROG, "tcp", RpcSecGss.forService(alice, SERVICE, GssService.INTEGRITY));
                RpcClient udp = client(s, PROG, "udp", RpcSecGss.forService(alice, SERVICE, GssService.PRIVACY))) {
            java.util.concurrent.ExecutorService pool = java.util.concurrent.Executors.newFixedThreadPool(12);
            java.util.List<java.util.concurrent.Future<Boolean>> all = new java.util.ArrayList<>();
            for (int t = 0; t < 12; t++) {
                final RpcClient c = t % 3 == 0 ? udp : tcp;
                final byte[] data = {(byte) t, 1, 2};
                all.add(pool.submit(() -> {
                    for (int i = 0; i < 25; i++)
                        if (!java.util.Arrays.equals(data, echo(c, data)))
                            return false;
                    return true;
                }));
            }
            for (java.util.concurrent.Future<Boolean> f : all)
                assertTrue(f.get(), "every echo came back");
            pool.shutdown();
            assertEquals(1, tcp.gss_session().created.get());
            assertEquals(1, udp.gss_session().created.get());

            // The last sequence number below 2^31 is used, then the client moves to a new context.
            context(tcp).skip_to(GssWire.MAXSEQ - 1);
            assertArrayEquals(new byte[] {5}, echo(tcp, new byte[] {5}));
            assertArrayEquals(new byte[] {6}, echo(tcp, new byte[] {6}));
            assertEquals(2, tcp.gss_session().created.get());
        } finally {
            s.close();
        }
    }

    @Test
    void aReplayOverUdpGetsNoReply() throws Exception {
        try (RpcClient c = client(server, PROG, "udp", RpcSecGss.forService(alice, SERVICE, GssService.PRIVACY));
                java.net.DatagramSocket d = new java.net.DatagramSocket()) {
            d.setSoTimeout(1500);
            d.connect(LOOPBACK, server.udpPort());
            GssClientSession.Established e = context(c);
            byte[] call = dataCall(e, e.handle, 400, 7000, GssService.PRIVACY, new byte[] {3});
            byte[] in = new byte[65536];
            java.net.DatagramPacket p = new java.net.DatagramPacket(in, in.length);
            d.send(new java.net.DatagramPacket(call, call.length));
            d.receive(p);
            assertArrayEquals(new int[] {400, 0, Rpc.SUCCESS}, parse(java.util.Arrays.copyOf(in, p.getLength())));
            d.send(new java.net.DatagramPacket(call, call.length));
            assertThrows(SocketTimeoutException.class, () -> d.receive(p), "the replay got no reply");
            byte[] next = dataCall(e, e.handle, 401, 7001, GssService.PRIVACY, new byte[] {3});
            d.send(new java.net.DatagramPacket(next, next.length));
            d.receive(p);
            assertArrayEquals(new int[] {401, 0, Rpc.SUCCESS}, parse(java.util.Arrays.copyOf(in, p.getLength())));
        }
    }

    /** Ten thousand contexts from one peer, and garbage tokens: the table stays bounded, alice is served. */
    @Test
    void manyContextCreationsStayBounded() throws Exception {
        GssAuthenticator bounded = new GssAuthenticator(service_id);
        bounded.setMaxContexts(200);
        Echo e = new Echo(PROG, 1);
        e.setAuthPolicy(AuthPolicy.requireGss(bounded, GssService.INTEGRITY));
        RpcServer s = new RpcServer();
        s.setAddress(LOOPBACK);
        s.add(e);
        s.start();
        GSSManager m = GSSManager.getInstance();
        GSSName target = m.createName(SERVICE, GSSName.NT_HOSTBASED_SERVICE);
        GSSCredential cred = mallory.run(() -> m.createCredential(null, GSSCredential.DEFAULT_LIFETIME, GssWire.KRB5,
                GSSCredential.INITIATE_ONLY));
        try (RpcClient a = client(s, PROG, "tcp", RpcSecGss.forService(alice, SERVICE, GssService.INTEGRITY));
                Socket raw = raw(s)) {
            raw.setSoTimeout(20_000);
            assertArrayEquals(new byte[] {1}, echo(a, new byte[] {1}));
            OutputStream o = raw.getOutputStream();
            Random rnd = new Random(5);
            int complete = 0;
            for (int i = 0; i < 10_000; i++) {
                byte[] token;
                if (i % 5 == 4) {
                    token = new byte[1 + rnd.nextInt(600)]; // garbage
                    rnd.nextBytes(token);
                } else {
                    token = mallory.run(() -> {
                        GSSContext g = m.createContext(target, GssWire.KRB5, cred, GSSContext.DEFAULT_LIFETIME);
                        g.requestMutualAuth(false);
                        return g.initSecContext(new byte[0], 0, 0);
                    });
                }
                XDR init = new XDR(64);
                init.reset_encode(0);
                for (int w : new int[] {i, Rpc.CALL, 2, PROG, 1, 0})
                    init.enc_int(w);
                GssWire.put_cred(init, GssWire.INIT, 0, 2, new byte[0]);
                init.enc_int(0);
                init.enc_int(0);
                init.enc_bytes(token);
                send(o, init.toByteArray());
                XDR r = new XDR(receive(raw));
                assertEquals(i, r.dec_int());
                for (int k = 0; k < 3; k++)
                    r.dec_int();
                r.dec_bytes();
                assertEquals(Rpc.SUCCESS, r.dec_int());
                r.dec_bytes();
                int major = r.dec_int();
                if (major == 0)
                    complete++;
                assertEquals(i % 5 == 4, major != 0, "context " + i + " major " + Integer.toHexString(major));
                assertTrue(bounded.contextCount() <= 200);
            }
            assertEquals(8000, complete);
            assertTrue(bounded.contextCount() <= GssAuthenticator.DEFAULT_MAX_CONTEXTS_PER_PRINCIPAL + 1,
                    "contexts kept: " + bounded.contextCount());
            assertArrayEquals(new byte[] {2}, echo(a, new byte[] {2}), "alice's context survived");
            assertEquals(1, a.gss_session().created.get());
        } finally {
            s.close();
        }
    }
}
