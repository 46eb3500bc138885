// SPDX-License-Identifier: Apache-2.0
package app;

import com.example.kv.KVPROG;
import com.example.kv.KVPROG_cln;
import com.example.kv.KVPROG_svcb;
import com.example.kv.entry;
import java.net.InetAddress;
import java.util.concurrent.TimeUnit;
import kelvaro.ZELT.RpcClient;
import kelvaro.ZELT.XDR;
import kelvaro.ZELT.XDRError;

/**
 * Runs in the named module app against the runtime on the module path:
 * checks that the runtime is the module kelvaro.zelt and keeps its
 * internal packages to itself, then encodes an entry and calls a server
 * of the generated server class through the generated client, plainly
 * and with the --async method, on the loopback interface. Prints "ok" and
 * exits with 0 when all went as expected.
 */
public class InModule {
    /** Answers every key with its length; an empty key with a key over its maximum. */
    static final class Server extends KVPROG_svcb {
        @Override
        public entry LOOKUP(String key) {
            entry e = new entry();
            e.key = key.isEmpty() ? "x".repeat(KVPROG.MAXKEY + 1) : key;
            e.value = key.length();
            return e;
        }
    }

    private static void check(boolean ok, String what) {
        if (!ok) {
            System.err.println("InModule: " + what);
            System.exit(1);
        }
    }

    public static void main(String[] args) throws Exception {
        Module runtime = RpcClient.class.getModule();
        check("kelvaro.zelt".equals(runtime.getName()), "the runtime runs as module " + runtime.getName());
        check(runtime.isExported("kelvaro.ZELT"), "kelvaro.ZELT is not exported");
        for (String p : runtime.getPackages())
            check(p.equals("kelvaro.ZELT") || !runtime.isExported(p), p + " is exported");
        check(InModule.class.getModule().getName().equals("app"), "the check runs outside the module app");

        // An internal class can be loaded by name, but nothing of it can be used from here.
        Class<?> internal = Class.forName("kelvaro.ZELT.internal.client.RpcMessage");
        try {
            internal.getMethod("auth_text", int.class).invoke(null, 1);
            check(false, "an internal method of the runtime could be called from the module app");
        } catch (IllegalAccessException expected) {
            // the package is not exported
        }

        entry sent = new entry();
        sent.key = "alpha";
        sent.value = 7;
        XDR out = new XDR();
        sent.xdr(out);
        entry back = new entry();
        back.xdr(new XDR(out.toByteArray()));
        check(back.key.equals("alpha") && back.value == 7, "entry did not come back as sent");
        sent.key = "x".repeat(KVPROG.MAXKEY + 1);
        try {
            sent.xdr(new XDR());
            check(false, "a key over its maximum was encoded");
        } catch (XDRError e) {
            check(e.getMessage().contains("key"), "size error without the member: " + e.getMessage());
        }

        Server server = new Server();
        int port = server.start(InetAddress.getLoopbackAddress(), 0);
        try (KVPROG_cln client = new KVPROG_cln(InetAddress.getLoopbackAddress(), KVPROG._def_pno,
                KVPROG._def_vno, port, "tcp")) {
            entry found = client.LOOKUP("four");
            check(found.key.equals("four") && found.value == 4, "LOOKUP answered " + found.key + " " + found.value);
            entry later = client.LOOKUPAsync("seven").get(30, TimeUnit.SECONDS);
            check(later.key.equals("seven") && later.value == 5, "LOOKUPAsync answered " + later.key);
            try {
                client.LOOKUP("");
                check(false, "a result over its declared size was answered");
            } catch (kelvaro.ZELT.rpc_err e) {
                check(e.status() == kelvaro.ZELT.RpcStatus.SYSTEM_ERROR, "oversized result: " + e.getMessage());
            }
        } finally {
            server.stop();
        }
        System.out.println("ok");
    }
}
