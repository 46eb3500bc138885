// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT;

import static org.junit.jupiter.api.Assertions.*;

import java.nio.ByteBuffer;
import java.util.Random;
import org.junit.jupiter.api.Test;

/** A call's large opaque data referred to instead of copied: the bytes that go out are the same. */
class XdrReferencesTest {
    static byte[] random_bytes(Random r, int n) {
        byte[] b = new byte[n];
        r.nextBytes(b);
        return b;
    }

    /** Encodes a mix of items, one of them taken back, as a call does; refer: the least opaque size referred to. */
    static XDR encode(int refer, long seed) throws XDRError {
        Random r = new Random(seed);
        XDR x = new XDR(64);
        x.reset_encode(4);
        x.refer_to_opaque(refer);
        for (int i = 0; i < 6; i++) {
            x.enc_int(r.nextInt());
            x.enc_bytes(random_bytes(r, r.nextInt(3) == 0 ? 40_001 : r.nextInt(100)));
            x.xdr_byte_vec(random_bytes(r, 20_002));
            if (i == 3) {
                int mark = x.position();
                x.enc_bytes(random_bytes(r, 50_000)); // encoded, then taken back, as a redo does
                x.set_position(mark);
            }
            x.enc_String("s" + i);
        }
        return x;
    }

    @Test
    void referred_opaque_data_comes_out_as_copied_data_does() throws Exception {
        for (long seed = 1; seed <= 20; seed++) {
            XDR copied = encode(Integer.MAX_VALUE, seed);
            XDR referred = encode(16 << 10, seed);
            assertFalse(copied.refers());
            assertTrue(referred.refers());
            assertTrue(referred.position() < copied.position() / 2, "the large arrays are not in the buffer");
            byte[] want = copied.toByteArray();
            assertEquals(want.length, referred.size());
            assertArrayEquals(want, referred.toByteArray(), "seed " + seed);
            // Copied out in chunks of any size, from any offset on, as the writer does.
            int chunk = 1 + new Random(seed).nextInt(70_000);
            ByteBuffer all = ByteBuffer.allocate(want.length);
            for (long at = 0; at < want.length;) {
                ByteBuffer piece = ByteBuffer.allocateDirect(chunk);
                at += referred.copy_encoded(at, piece);
                all.put(piece.flip());
            }
            assertArrayEquals(want, all.array(), "in chunks of " + chunk);
            referred.forget_references();
            assertFalse(referred.refers());
        }
    }
}
