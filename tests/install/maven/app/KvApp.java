// SPDX-License-Identifier: Apache-2.0
package app;

import com.example.kv.KVSTORE;
import com.example.kv.KVSTORE_cln;
import com.example.kv.KVSTORE_svcb;
import com.example.kv.getres;
import com.example.kv.kventry;
import com.example.kv.kvkey;
import com.example.kv.kvstatus;
import com.example.kv.putargs;
import java.net.InetAddress;
import java.nio.charset.StandardCharsets;
import java.util.HashMap;
import java.util.Map;

/**
 * Version 1 of the key-value store, served and called in one process on
 * the loopback interface: a write over TCP, reads over UDP.
 */
public class KvApp extends KVSTORE_svcb {
    private final Map<String, kventry> entries = new HashMap<>();

    @Override
    public void KV_NULL() {
    }

    @Override
    public synchronized getres KV_GET(kvkey key) {
        getres res = new getres();
        kventry entry = entries.get(key.value);
        res.status.value = entry == null ? kvstatus.KV_NOTFOUND : kvstatus.KV_OK;
        res.entry = entry;
        return res;
    }

    @Override
    public synchronized kvstatus KV_PUT(putargs args) {
        kventry old = entries.get(args.key.value);
        kventry entry = new kventry();
        entry.key = args.key;
        entry.value = args.value;
        entry.revision = old == null ? 1 : old.revision + 1;
        entries.put(args.key.value, entry);
        kvstatus status = new kvstatus();
        status.value = kvstatus.KV_OK;
        return status;
    }

    static kvkey key(String s) {
        kvkey k = new kvkey();
        k.value = s;
        return k;
    }

    public static void main(String[] args) throws Exception {
        KvApp store = new KvApp();
        int port = store.start(InetAddress.getLoopbackAddress(), 0);
        InetAddress here = InetAddress.getLoopbackAddress();
        try (KVSTORE_cln tcp = new KVSTORE_cln(here, KVSTORE._def_pno, KVSTORE._def_vno, port, "tcp");
                KVSTORE_cln udp = new KVSTORE_cln(here, KVSTORE._def_pno, KVSTORE._def_vno, port, "udp")) {
            putargs put = new putargs();
            put.key = key("colour");
            put.value.value = "blue".getBytes(StandardCharsets.UTF_8);
            System.out.println("put colour: " + (tcp.KV_PUT(put).value == kvstatus.KV_OK ? "stored" : "refused"));
            getres got = udp.KV_GET(key("colour"));
            System.out.println("get colour: " + new String(got.entry.value.value, StandardCharsets.UTF_8)
                    + " (revision " + got.entry.revision + ")");
            System.out.println("get size: " + (udp.KV_GET(key("size")).status.value == kvstatus.KV_NOTFOUND
                    ? "not found" : "found"));
        } finally {
            store.stop();
        }
    }
}
