// SPDX-License-Identifier: Apache-2.0
import static org.junit.jupiter.api.Assertions.*;

import java.net.DatagramSocket;
import java.time.Duration;
import kelvaro.ZELT.*;
import org.junit.jupiter.api.Test;

/** The UDP client: a missing server reported as C clients report it, and a caller's turn bounded by its deadline. */
class UdpClientTest {
    @Test
    void a_missing_server_is_reported_with_the_systems_reason() throws Exception {
        int port;
        try (DatagramSocket s = new DatagramSocket(0, Wire.LOOPBACK)) {
            port = s.getLocalPort();
        }
        try (GEOPROG_cln c = new GEOPROG_cln(Wire.LOOPBACK, GEOPROG._def_pno, 1, port, "udp")) {
            c.getClient().setTimeout(Duration.ofSeconds(20));
            rpc_err e = assertThrows(rpc_err.class, () -> c.NAME(1));
            // Refused at once, not timed out: the message says why, as C clients print it.
            assertEquals(RpcStatus.CANT_RECV, e.status());
            assertEquals("RPC: Unable to receive; errno = Connection refused", e.getMessage());
        }
    }

    @Test
    void a_caller_waiting_for_its_turn_returns_by_its_own_deadline() throws Exception {
        try (Scripted peer = Scripted.udp((n, call, out) -> null);
                GEOPROG_cln c = new GEOPROG_cln(Wire.LOOPBACK, GEOPROG._def_pno, 1, peer.port(), "udp")) {
            c.getClient().setTimeout(Duration.ofSeconds(5));
            Object[] first = new Object[1];
            Thread long_call = new Thread(() -> {
                try {
                    first[0] = c.NAME(1);
                } catch (rpc_err e) {
                    first[0] = e;
                }
            });
            long_call.start();
            while (peer.calls.isEmpty())
                Thread.sleep(5);
            c.getClient().setTimeout(Duration.ofMillis(300));
            rpc_err e = assertThrows(rpc_err.class, () -> c.NAME(2));
            assertEquals(RpcStatus.TIMED_OUT, e.status());
            assertTrue(long_call.isAlive(), "the short call waited for the long one to end");
            long_call.join(20_000);
            assertTrue(first[0] instanceof rpc_err f && f.status() == RpcStatus.TIMED_OUT, String.valueOf(first[0]));
        }
    }
}
