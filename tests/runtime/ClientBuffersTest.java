// SPDX-License-Identifier: Apache-2.0
import static org.junit.jupiter.api.Assertions.*;

import java.lang.management.ManagementFactory;
import kelvaro.ZELT.*;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.ValueSource;

/**
 * Large calls in a row reuse the client's buffers, whatever their size
 * below the record limit: what a call allocates is its result.
 */
class ClientBuffersTest {
    static long allocated() {
        return ((com.sun.management.ThreadMXBean) ManagementFactory.getThreadMXBean()).getCurrentThreadAllocatedBytes();
    }

    @ParameterizedTest(name = "{0} bytes")
    @ValueSource(ints = {(1 << 20) - 4096, 1 << 20, 3 << 20})
    void a_run_of_large_calls_allocates_little_beyond_the_results(int size) throws Exception {
        try (RpcServer server = new RpcServer()) {
            server.setAddress(Wire.LOOPBACK);
            server.add(new GeoService());
            server.start();
            try (GEOPROG_cln c = new GEOPROG_cln(Wire.LOOPBACK, GEOPROG._def_pno, 1, server.tcpPort(), "tcp")) {
                polygon p = Wire.polygon("big");
                p.blob = new byte[size];
                for (int i = 0; i < 3; i++)
                    assertEquals(size, c.ECHO(p).blob.length);
                int calls = 8;
                long before = allocated();
                for (int i = 0; i < calls; i++) {
                    p.blob[i] = (byte) (i + 1);
                    assertEquals(i + 1, c.ECHO(p).blob[i]);
                }
                long per_call = (allocated() - before) / calls;
                // The result's blob is one payload; buffers regrown for each call would be several more.
                assertTrue(per_call < 2L * size, per_call + " bytes allocated per call of " + size + " bytes");
            }
        }
    }
}
