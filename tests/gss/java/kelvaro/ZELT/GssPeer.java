// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT;

import java.net.InetAddress;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.StandardCopyOption;
import java.time.Duration;
import java.util.Arrays;

/**
 * The runtime's side of the interop tests with the C peers (tests/gss/c):
 * the same echo program, the same checks.
 *
 * <pre>
 *   GssPeer server SERVICE_PRINCIPAL KEYTAB PORT_FILE SECONDS
 *   GssPeer client PORT tcp|udp none|integrity|privacy SERVICE_NAME PRINCIPAL KEYTAB EXPECTED_WHOAMI
 *   GssPeer bench PORT tcp|udp none|integrity|privacy SERVICE_NAME PRINCIPAL KEYTAB CALLS SIZE
 * </pre>
 *
 * The server requires RPCSEC_GSS (any service) and writes "TCP_PORT UDP_PORT"
 * to PORT_FILE; the client prints one line per check and exits 0 when all
 * passed; bench times CALLS echoes of SIZE bytes and prints "calls/s N".
 */
final class GssPeer {
    static final int PROG = 0x20004430;

    private GssPeer() {
    }

    public static void main(String[] args) throws Exception {
        if (args.length == 5 && args[0].equals("server")) {
            GssAuthenticator auth = new GssAuthenticator(GssIdentity.serverFromKeytab(args[1], Path.of(args[2])));
            GssTest.Echo echo = new GssTest.Echo(PROG, 1);
            echo.setAuthPolicy(AuthPolicy.requireGss(auth, GssService.NONE));
            RpcServer server = new RpcServer();
            server.setAddress(InetAddress.getLoopbackAddress());
            server.add(echo);
            server.start();
            Path tmp = Path.of(args[3] + ".tmp");
            Files.writeString(tmp, server.tcpPort() + " " + server.udpPort() + "\n");
            Files.move(tmp, Path.of(args[3]), StandardCopyOption.ATOMIC_MOVE);
            Thread.sleep(Long.parseLong(args[4]) * 1000);
            server.close();
            System.exit(0);
        }
        if (args.length == 9 && args[0].equals("bench")) {
            bench(args);
            return;
        }
        if (args.length != 8 || !args[0].equals("client")) {
            System.err.println("usage: GssPeer server PRINCIPAL KEYTAB PORT_FILE SECONDS | client PORT PROTO SERVICE NAME PRINCIPAL KEYTAB WHOAMI");
            System.exit(2);
        }
        int port = Integer.parseInt(args[1]);
        String proto = args[2];
        GssService svc = GssService.valueOf(args[3].toUpperCase(java.util.Locale.ROOT));
        GssIdentity me = GssIdentity.clientFromKeytab(args[5], Path.of(args[6]));
        int failed = 0;
        RpcClient c = RpcClient.create(InetAddress.getLoopbackAddress(), port, PROG, 1, proto);
        try {
            c.setTimeout(Duration.ofSeconds(20));
            c.setRetransmitInterval(Duration.ofSeconds(2));
            c.setSecurity(RpcSecGss.forService(me, args[4], svc));
            String who = GssTest.whoami(c);
            if (!who.equals(args[7])) {
                System.out.println("whoami: got \"" + who + "\", expected \"" + args[7] + "\"");
                failed++;
            } else {
                System.out.println("whoami: " + who);
            }
            for (int n : new int[] {0, 5, 1000, 30000, 65536}) {
                if (proto.equals("udp") && n > 30000)
                    continue;
                byte[] data = new byte[n];
                for (int k = 0; k < n; k++)
                    data[k] = (byte) (k * 13 + 1);
                try {
                    byte[] back = GssTest.echo(c, data);
                    boolean ok = Arrays.equals(data, back);
                    System.out.println("echo " + n + ": " + (ok ? "ok" : "came back different"));
                    if (!ok)
                        failed++;
                } catch (rpc_err e) {
                    System.out.println("echo " + n + ": " + e.getMessage());
                    failed++;
                }
            }
        } catch (rpc_err e) {
            System.out.println("call: " + e.getMessage());
            failed++;
        } finally {
            c.close();
        }
        System.out.println(proto + " " + args[3] + " " + args[4] + ": " + (failed == 0 ? "passed" : "FAILED"));
        System.exit(failed == 0 ? 0 : 1);
    }

    private static void bench(String[] args) throws Exception {
        GssService svc = GssService.valueOf(args[3].toUpperCase(java.util.Locale.ROOT));
        GssIdentity me = GssIdentity.clientFromKeytab(args[5], Path.of(args[6]));
        long calls = Long.parseLong(args[7]);
        byte[] data = new byte[Integer.parseInt(args[8])];
        try (RpcClient c = RpcClient.create(InetAddress.getLoopbackAddress(), Integer.parseInt(args[1]), PROG, 1, args[2])) {
            c.setSecurity(RpcSecGss.forService(me, args[4], svc));
            // Warm up for three seconds (and at least a tenth of the calls), so that the
            // measured calls run compiled code, as a long-lived client's do.
            long warm_end = System.nanoTime() + 3_000_000_000L;
            for (long i = 0; i <= calls / 10 || System.nanoTime() < warm_end; i++)
                GssTest.echo(c, data);
            long t0 = System.nanoTime();
            for (long i = 0; i < calls; i++) {
                if (GssTest.echo(c, data).length != data.length)
                    throw new IllegalStateException("echo came back different");
            }
            double s = (System.nanoTime() - t0) / 1e9;
            System.out.printf("calls/s %.0f%n", calls / s);
        }
        System.exit(0);
    }
}
