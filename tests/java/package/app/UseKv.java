// SPDX-License-Identifier: Apache-2.0
package app;

import com.example.kv.KVPROG;
import com.example.kv.KVPROG_cln;
import com.example.kv.KVPROG_svcb;
import com.example.kv.entry;
import java.net.InetAddress;
import kelvaro.ZELT.XDR;

/**
 * Uses classes generated into the package com.example.kv from a class of
 * another package: encodes and decodes an entry, and calls a server of the
 * generated server class through the generated client on the loopback
 * interface. Prints "ok" and exits with 0 when all went as expected.
 */
public class UseKv {
    /** Answers every key with its length. */
    static final class Server extends KVPROG_svcb {
        @Override
        public entry LOOKUP(String key) {
            entry e = new entry();
            e.key = key;
            e.value = key.length();
            return e;
        }
    }

    private static void check(boolean ok, String what) {
        if (!ok) {
            System.err.println("UseKv: " + what);
            System.exit(1);
        }
    }

    public static void main(String[] args) throws Exception {
        entry sent = new entry();
        sent.key = "alpha";
        sent.value = 7;
        XDR out = new XDR();
        sent.xdr(out);
        entry back = new entry();
        back.xdr(new XDR(out.toByteArray()));
        check(back.key.equals("alpha") && back.value == 7, "entry did not come back as sent");
        check(KVPROG.MAXKEY == 16 && KVPROG._def_pno == 0x20000321, "interface constants");

        Server server = new Server();
        int port = server.start(InetAddress.getLoopbackAddress(), 0);
        try (KVPROG_cln client = new KVPROG_cln(InetAddress.getLoopbackAddress(), KVPROG._def_pno,
                KVPROG._def_vno, port, "tcp")) {
            entry found = client.LOOKUP("four");
            check(found.key.equals("four") && found.value == 4, "LOOKUP answered " + found.key + " " + found.value);
        } finally {
            server.stop();
        }
        System.out.println("ok");
    }
}
