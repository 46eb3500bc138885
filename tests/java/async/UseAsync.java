// SPDX-License-Identifier: Apache-2.0
import java.net.InetAddress;
import java.time.Duration;
import java.util.ArrayList;
import java.util.List;
import java.util.concurrent.CompletableFuture;
import java.util.concurrent.ExecutionException;
import java.util.concurrent.Executors;
import java.util.concurrent.ScheduledExecutorService;
import java.util.concurrent.TimeUnit;
import kelvaro.ZELT.*;

/**
 * The client that vorlith --async writes, against a server whose NAME
 * defers its reply and gives it 20 ms later from another thread: a
 * thousand calls outstanding at once, each kind of result (void, int,
 * String, a generated class), a failing call, and a call's own time-out.
 */
public class UseAsync {
    static final ScheduledExecutorService LATER = Executors.newSingleThreadScheduledExecutor(r -> {
        Thread t = new Thread(r, "later");
        t.setDaemon(true);
        return t;
    });

    static final class Service extends GEOPROG_svcb {
        public void PING() {
        }

        public polygon ECHO(polygon p) {
            return p;
        }

        public String NAME(int i) {
            ReplyHandle h = Svc.deferReply();
            LATER.schedule(() -> h.reply(new XDTString("n" + i)), 20, TimeUnit.MILLISECONDS);
            return null;
        }

        public int ADD(point p) {
            return p.x + p.y;
        }

        public void FAIL() {
            throw new IllegalStateException("fails on purpose");
        }
    }

    static final class Slow extends GEOPROG_svcb {
        public void PING() {
        }

        public polygon ECHO(polygon p) {
            return p;
        }

        public String NAME(int i) {
            Svc.deferReply();
            return null;
        }

        public int ADD(point p) {
            return 0;
        }

        public void FAIL() {
        }
    }

    static void check(boolean ok, String what) {
        if (!ok)
            throw new AssertionError(what);
    }

    public static void main(String[] args) throws Exception {
        InetAddress lo = InetAddress.getLoopbackAddress();
        try (RpcServer server = new RpcServer(new ServerSettings().address(lo))) {
            server.add(new Service());
            server.start();
            try (GEOPROG_cln c = new GEOPROG_cln(lo, GEOPROG._def_pno, GEOPROG._def_vno, server.tcpPort(), "tcp")) {
                List<CompletableFuture<String>> names = new ArrayList<>();
                for (int i = 0; i < 1000; i++)
                    names.add(c.NAMEAsync(i));
                for (int i = 0; i < 1000; i++)
                    check(("n" + i).equals(names.get(i).get(30, TimeUnit.SECONDS)), "NAMEAsync " + i);
                point p = new point();
                p.x = 2;
                p.y = 40;
                check(c.ADDAsync(p).get(10, TimeUnit.SECONDS) == 42, "ADDAsync");
                check(c.PINGAsync(Duration.ofSeconds(5)).get(10, TimeUnit.SECONDS) == null, "PINGAsync");
                polygon sent = new polygon();
                sent.name = "tri";
                for (int i = 0; i < sent.corners.length; i++)
                    sent.corners[i] = new point();
                check("tri".equals(c.ECHOAsync(sent).get(10, TimeUnit.SECONDS).name), "ECHOAsync");
                try {
                    c.FAILAsync().get(10, TimeUnit.SECONDS);
                    check(false, "FAILAsync succeeded");
                } catch (ExecutionException e) {
                    check(e.getCause() instanceof rpc_err r && r.status() == RpcStatus.SYSTEM_ERROR, "FAILAsync: " + e);
                }
            }
        }
        try (RpcServer server = new RpcServer(new ServerSettings().address(lo))) {
            server.add(new Slow());
            server.start();
            try (GEOPROG_cln c = new GEOPROG_cln(lo, GEOPROG._def_pno, GEOPROG._def_vno, server.tcpPort(), "tcp")) {
                try {
                    c.NAMEAsync(1, Duration.ofMillis(200)).get(10, TimeUnit.SECONDS);
                    check(false, "a never-answered call succeeded");
                } catch (ExecutionException e) {
                    check(e.getCause() instanceof rpc_err r && r.status() == RpcStatus.TIMED_OUT, "time-out: " + e);
                }
            }
        }
        System.out.println("ok");
    }
}
