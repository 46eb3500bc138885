// SPDX-License-Identifier: Apache-2.0
import java.io.IOException;
import java.net.InetAddress;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.concurrent.TimeUnit;
import kelvaro.ZELT.*;

/**
 * The runtime against the machine's rpcbind on 127.0.0.1:111, and the C
 * library's rpcinfo against the runtime's server.
 */
public class RpcbindTest {
    static final InetAddress LOOPBACK = InetAddress.getLoopbackAddress();

    static class Greeter extends Svc {
        Greeter(int prog) {
            super(prog, 1);
        }

        public XDT proc_call(int proc, XDR in) throws XDRError {
            if (proc == 0)
                return new XDTvoid();
            if (proc == 1)
                return new XDTString("hi " + in.dec_String());
            return null;
        }
    }

    /** Runs rpcinfo with the arguments; returns its exit status and output. */
    static String[] rpcinfo(String... args) throws IOException, InterruptedException {
        String tool = Files.isExecutable(Path.of("/usr/sbin/rpcinfo")) ? "/usr/sbin/rpcinfo" : "rpcinfo";
        String[] command = new String[args.length + 1];
        command[0] = tool;
        System.arraycopy(args, 0, command, 1, args.length);
        Process p = new ProcessBuilder(command).redirectErrorStream(true).start();
        if (!p.waitFor(20, TimeUnit.SECONDS)) {
            p.destroyForcibly();
            return new String[] {"timeout", ""};
        }
        String out = new String(p.getInputStream().readAllBytes(), StandardCharsets.UTF_8);
        return new String[] {Integer.toString(p.exitValue()), out};
    }

    public static void main(String[] args) {
        // A program number of this run's own, so that runs side by side do not meet.
        int prog = 0x20007a00 + (int) (ProcessHandle.current().pid() & 0xff);
        Greeter server = new Greeter(prog);
        Check.runs("rpcbind", () -> {
            try {
                int port = server.start(0);
                server.unregister(); // a run killed earlier may have left its entry
                Check.that(server.register(), "SET with rpcbind");
                Check.equal(port, Portmap.getport(LOOPBACK, prog, 1, Rpc.IPPROTO_TCP), "GETPORT for tcp");
                Check.equal(port, Portmap.getport(LOOPBACK, prog, 1, Rpc.IPPROTO_UDP), "GETPORT for udp, on the same port");

                String[] listed = rpcinfo("-p", "127.0.0.1");
                Check.that(listed[0].equals("0") && listed[1].matches("(?s).*\\b" + prog + "\\s+1\\s+tcp\\s+" + port + "\\b.*"),
                        "rpcinfo -p lists the registration: " + listed[1]);
                String[] pinged = rpcinfo("-t", "127.0.0.1", Integer.toString(prog), "1");
                Check.that(pinged[0].equals("0") && pinged[1].contains("ready and waiting"),
                        "rpcinfo -t calls procedure 0 of the runtime's server: " + pinged[1]);
                Check.that(listed[1].matches("(?s).*\\b" + prog + "\\s+1\\s+udp\\s+" + port + "\\b.*"),
                        "rpcinfo -p lists the udp registration: " + listed[1]);
                String[] udp_pinged = rpcinfo("-u", "127.0.0.1", Integer.toString(prog), "1");
                Check.that(udp_pinged[0].equals("0") && udp_pinged[1].contains("ready and waiting"),
                        "rpcinfo -u calls procedure 0 over udp: " + udp_pinged[1]);

                try (ClientGeneric c = new ClientGeneric("127.0.0.1", prog, 1, "udp")) {
                    XDTString reply = new XDTString();
                    c.getClient().call(1, new XDTString("udp"), reply);
                    Check.equal("hi udp", reply.value, "call over udp through the port from rpcbind");
                }

                try (ClientGeneric c = new ClientGeneric("127.0.0.1", prog, 1, "tcp")) {
                    XDTString reply = new XDTString();
                    c.getClient().call(1, new XDTString("there"), reply);
                    Check.equal("hi there", reply.value, "call through the port from rpcbind");
                }

                // rpcbind is a C server on UDP too: GETPORT over the runtime's UDP client.
                try (RpcClient pm = RpcClient.create(LOOPBACK, Rpc.PMAP_PORT, Rpc.PMAP_PROG, Rpc.PMAP_VERS, "udp")) {
                    XDTint got = new XDTint();
                    pm.call(Rpc.PMAPPROC_GETPORT, new XDT() {
                        public XDT Clone() {
                            return this;
                        }

                        public XDT[] getArray(int len) {
                            return new XDT[len];
                        }

                        public void xdr(XDR x) {
                            x.enc_int(prog);
                            x.enc_int(1);
                            x.enc_int(Rpc.IPPROTO_UDP);
                            x.enc_int(0);
                        }
                    }, got);
                    Check.equal(port, got.value, "GETPORT over udp from rpcbind");
                }

                // For a version it does not know, rpcbind gives the port of another version of the
                // program, and that server answers with the versions it has.
                try (ClientGeneric c = new ClientGeneric("127.0.0.1", prog, 2, "tcp")) {
                    Check.fails(rpc_err.class, "RPC: Program/version mismatch; low version = 1, high version = 1", "call to an unregistered version",
                            () -> c.getClient().call(0, new XDTvoid(), new XDTvoid()));
                }

                server.unregister();
                Check.equal(0, Portmap.getport(LOOPBACK, prog, 1, Rpc.IPPROTO_TCP), "GETPORT after UNSET");
                Check.fails(rpc_err.class, "RPC: Program not registered", "client after UNSET",
                        () -> new ClientGeneric("127.0.0.1", prog, 1, "tcp"));
            } finally {
                server.stop();
            }
        });
        // A second instance of a service, started by mistake while the first serves: it must
        // neither take over the first one's registration nor remove it.
        Check.runs("second instance", () -> {
            Greeter first = new Greeter(prog);
            Greeter second = new Greeter(prog);
            try {
                int port = first.start(0);
                Check.that(first.register(), "the first instance registers");
                Check.that(first.register(), "registering again keeps the registration");
                second.start(0);
                Check.that(!second.register(), "the second instance is refused while the first answers");
                Check.equal(port, Portmap.getport(LOOPBACK, prog, 1, Rpc.IPPROTO_TCP), "tcp stays the first's");
                Check.equal(port, Portmap.getport(LOOPBACK, prog, 1, Rpc.IPPROTO_UDP), "udp stays the first's");
                second.unregister();
                Check.equal(port, Portmap.getport(LOOPBACK, prog, 1, Rpc.IPPROTO_TCP),
                        "the second's unregister leaves the first's registration");
                second.stop();
                new Greeter(prog).unregister();
                Check.equal(port, Portmap.getport(LOOPBACK, prog, 1, Rpc.IPPROTO_UDP),
                        "neither the second's stop nor an unregister before start removes it");
                try (ClientGeneric c = new ClientGeneric("127.0.0.1", prog, 1, "tcp")) {
                    XDTString reply = new XDTString();
                    c.getClient().call(1, new XDTString("first"), reply);
                    Check.equal("hi first", reply.value, "clients still reach the first instance");
                }
            } finally {
                second.stop();
                first.stop();
            }
            Check.equal(0, Portmap.getport(LOOPBACK, prog, 1, Rpc.IPPROTO_TCP), "the first's stop unregisters");
        });

        // A registration left by a server that was killed: nothing answers at its port.
        int stale_prog = prog + 0x100;
        Check.runs("stale registration", () -> {
            Greeter next = new Greeter(stale_prog);
            try {
                int dead;
                try (java.net.ServerSocket s = new java.net.ServerSocket(0, 1, LOOPBACK)) {
                    dead = s.getLocalPort();
                }
                Portmap.unset(LOOPBACK, stale_prog, 1);
                Check.that(Portmap.set(LOOPBACK, stale_prog, 1, Rpc.IPPROTO_TCP, dead), "a stale tcp registration");
                Check.that(Portmap.set(LOOPBACK, stale_prog, 1, Rpc.IPPROTO_UDP, dead), "a stale udp registration");
                new Greeter(stale_prog).unregister();
                Check.equal(0, Portmap.getport(LOOPBACK, stale_prog, 1, Rpc.IPPROTO_TCP),
                        "unregister before start removes a stale registration");
                Check.that(Portmap.set(LOOPBACK, stale_prog, 1, Rpc.IPPROTO_TCP, dead), "stale again");
                int port = next.start(0);
                Check.that(next.register(), "a new server replaces a stale registration");
                Check.equal(port, Portmap.getport(LOOPBACK, stale_prog, 1, Rpc.IPPROTO_TCP), "tcp is the new server's");
                Check.equal(port, Portmap.getport(LOOPBACK, stale_prog, 1, Rpc.IPPROTO_UDP), "udp is the new server's");
            } finally {
                next.stop();
                Portmap.unset(LOOPBACK, stale_prog, 1);
            }
        });
        Check.finish("RpcbindTest");
    }
}
