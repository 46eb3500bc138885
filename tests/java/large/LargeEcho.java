// SPDX-License-Identifier: Apache-2.0
import java.net.InetAddress;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import kelvaro.ZELT.CallContext;
import kelvaro.ZELT.RpcServer;

/**
 * Echoes opaque data from nothing to 3 MiB over TCP between the default
 * and the idiomatic output, each as client and as server (four pairings),
 * and checks every byte both ways: the server checks what came against
 * what the client was to send, the client checks what came back. Sizes
 * around the point where a record is kept in direct memory, odd ones (for
 * the padding), small calls between large ones, and a struct whose items
 * after a large opaque come from the far end of the record.
 *
 *   java LargeEcho
 */
public final class LargeEcho {
    static final InetAddress LOOPBACK = InetAddress.getLoopbackAddress();
    static final int[] SIZES = {0, 1, 5, 4096, 131071, 131072, 131073, 1 << 20, (1 << 20) + 3, 100, 3 << 20 | 1,
        7, 1 << 20, 262147, 2};
    static final List<String> faults = new ArrayList<>();

    /** The bytes of the call of this size: a pattern no other size shares. */
    static byte[] pattern(int size) {
        byte[] b = new byte[size];
        int v = size * 31 + 7;
        for (int i = 0; i < size; i++) {
            v = v * 1103515245 + 12345;
            b[i] = (byte) (v >>> 16);
        }
        return b;
    }

    static void check(String where, int size, byte[] got) {
        if (got == null || !Arrays.equals(pattern(size), got))
            faults.add(where + ": " + size + " bytes came back as "
                    + (got == null ? "null" : got.length + " other bytes"));
    }

    static String note(int size) {
        return "after " + size + " bytes \u00e9";
    }

    static final class DefaultServer extends gd.LARGE_PROG_svcb {
        @Override
        public gd.blob ECHO(gd.blob in) {
            check("default server", in.value.length, in.value);
            return in;
        }

        @Override
        public gd.chunk ECHO_CHUNK(gd.chunk in) {
            check("default server, struct", in.seq, in.data);
            if (!Arrays.equals(new byte[] {(byte) in.seq, 2, 3}, in.tag) || !note(in.seq).equals(in.note)
                    || in.last != -in.seq)
                faults.add("default server, struct of " + in.seq + ": items after the data differ");
            return in;
        }
    }

    static final class IdiomaticServer implements gi.LargeVersService {
        @Override
        public byte[] echo(byte[] arg, CallContext call) {
            check("idiomatic server", arg.length, arg);
            return arg;
        }

        @Override
        public gi.Chunk echoChunk(gi.Chunk arg, CallContext call) {
            check("idiomatic server, struct", arg.seq(), arg.data());
            if (!Arrays.equals(new byte[] {(byte) arg.seq(), 2, 3}, arg.tag()) || !note(arg.seq()).equals(arg.note())
                    || arg.last() != -arg.seq())
                faults.add("idiomatic server, struct of " + arg.seq() + ": items after the data differ");
            return arg;
        }
    }

    static void default_client(String server, int port) throws Exception {
        String where = "default client, " + server + " server";
        try (gd.LARGE_PROG_cln c = new gd.LARGE_PROG_cln(LOOPBACK, gd.LARGE_PROG._def_pno, 1, port, "tcp")) {
            for (int size : SIZES) {
                gd.blob b = new gd.blob();
                b.value = pattern(size);
                check(where, size, c.ECHO(b).value);
                gd.chunk k = new gd.chunk();
                k.seq = size;
                k.data = pattern(size);
                k.tag = new byte[] {(byte) size, 2, 3};
                k.note = note(size);
                k.last = -size;
                gd.chunk back = c.ECHO_CHUNK(k);
                check(where + ", struct", size, back.data);
                if (back.seq != size || !Arrays.equals(k.tag, back.tag) || !k.note.equals(back.note)
                        || back.last != -size)
                    faults.add(where + ", struct of " + size + ": items after the data differ");
            }
        }
    }

    static void idiomatic_client(String server, int port) throws Exception {
        String where = "idiomatic client, " + server + " server";
        try (gi.LargeVersClient c = gi.LargeVersClient.connect(LOOPBACK, port, "tcp")) {
            for (int size : SIZES) {
                check(where, size, c.echo(pattern(size)));
                gi.Chunk k = new gi.Chunk(size, pattern(size), new byte[] {(byte) size, 2, 3}, note(size), -size);
                gi.Chunk back = c.echoChunk(k);
                check(where + ", struct", size, back.data());
                if (!k.equals(back))
                    faults.add(where + ", struct of " + size + ": " + back + " came back for " + k);
            }
        }
    }

    static RpcServer serve(kelvaro.ZELT.Svc svc) throws Exception {
        RpcServer s = new RpcServer();
        s.setAddress(LOOPBACK);
        s.setProtocols(true, false);
        s.add(svc);
        s.start();
        return s;
    }

    public static void main(String[] args) throws Exception {
        try (RpcServer d = serve(new DefaultServer()); RpcServer i = serve(new IdiomaticServer().asSvc())) {
            default_client("default", d.tcpPort());
            default_client("idiomatic", i.tcpPort());
            idiomatic_client("default", d.tcpPort());
            idiomatic_client("idiomatic", i.tcpPort());
        }
        for (String f : faults)
            System.err.println("LargeEcho: FAIL " + f);
        System.out.println("LargeEcho: " + SIZES.length * 8 + " calls, " + faults.size() + " faults");
        System.exit(faults.isEmpty() ? 0 : 1);
    }
}
