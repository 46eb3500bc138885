// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT.internal.record;

import static org.junit.jupiter.api.Assertions.*;

import java.nio.ByteBuffer;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;

/** The server's non-blocking record assembly: bounds that close a connection, and buffers sized for the work. */
class RecordAssemblerTest {
    static byte[] hex(String text) {
        String digits = text.replace(" ", "");
        byte[] b = new byte[digits.length() / 2];
        for (int i = 0; i < b.length; i++)
            b[i] = (byte) Integer.parseInt(digits.substring(2 * i, 2 * i + 2), 16);
        return b;
    }

    /** Feeds the wire bytes in pieces of the given size; the fault's kind, or "ok:<length>" per record. */
    static String feed(RecordAssembler a, byte[] wire, int piece) {
        StringBuilder out = new StringBuilder();
        try {
            for (int at = 0; at < wire.length; at += piece) {
                ByteBuffer b = ByteBuffer.wrap(wire, at, Math.min(piece, wire.length - at));
                while (b.hasRemaining()) {
                    RecordAssembler.Record r = a.feed(b, System.nanoTime());
                    if (r != null)
                        out.append(out.length() > 0 ? " " : "").append("ok:").append(r.length);
                }
            }
        } catch (RecordAssembler.Fault f) {
            out.append(out.length() > 0 ? " " : "").append(f.kind);
        }
        return out.toString();
    }

    @ParameterizedTest(name = "{0}")
    @CsvSource({
        "one fragment,                  80000004 01020304,                              ok:4",
        "two fragments,                 00000002 0102 80000002 0304,                    ok:4",
        "an empty record,               80000000,                                       ok:0",
        "an empty last fragment,        00000002 0102 80000000,                         ok:2",
        "an empty fragment not last,    00000000 00000000,                              empty-fragment",
        "a fifth fragment,              00000001 01 00000001 01 00000001 01 00000001 01 80000001 01, fragments",
        "four fragments,                00000001 01 00000001 01 00000001 01 80000001 01, ok:4",
        "over the limit at once,        80000011,                                       record-limit",
        "over the limit in two,         00000010 00000000000000000000000000000000 80000001, record-limit",
        "exactly the limit,             80000010 00000000000000000000000000000000,      ok:16",
        "two records,                   80000001 01 80000002 0102,                      ok:1 ok:2",
    })
    void bounds(String name, String wire, String expected) {
        for (int piece : new int[] {1, 3, 1000}) {
            RecordAssembler a = new RecordAssembler(16, 4, new RecordAssembler.Budget(1 << 20));
            assertEquals(expected, feed(a, hex(wire), piece), name + " in pieces of " + piece);
        }
    }

    static byte[] record(int length) {
        ByteBuffer b = ByteBuffer.allocate(4 + length);
        b.putInt(0x80000000 | length);
        return b.array();
    }

    @Test
    void a_record_is_allocated_once_when_it_is_like_the_last_and_nothing_is_held_between_records() throws Exception {
        RecordAssembler.Budget budget = new RecordAssembler.Budget(64 << 20);
        RecordAssembler a = new RecordAssembler(8 << 20, 4096, budget);
        int len = (1 << 20) + 100; // just over 1 MiB, the usual transfer size
        byte[] wire = record(len);
        RecordAssembler.Record first = null, second = null;
        for (RecordAssembler.Record[] slot : new RecordAssembler.Record[][] {new RecordAssembler.Record[1],
                new RecordAssembler.Record[1]}) {
            for (int at = 0; at < wire.length; at += 65536) {
                ByteBuffer b = ByteBuffer.wrap(wire, at, Math.min(65536, wire.length - at));
                RecordAssembler.Record r = a.feed(b, 1);
                if (r != null)
                    slot[0] = r;
            }
            if (first == null)
                first = slot[0];
            else
                second = slot[0];
        }
        assertEquals(len, first.length);
        assertTrue(first.charge >= len && first.charge <= 2L * len, "grown by doubling: " + first.charge);
        assertEquals(len, second.charge, "the second record like the first is allocated once, at its size");
        assertEquals(len, second.bytes.length);
        // A buffer given back after its call holds the next record: nothing is allocated for it.
        a.recycle(second);
        a.recycle(first); // one is kept; the other goes back to the budget
        assertEquals((64L << 20) - second.charge, budget.left());
        RecordAssembler.Record third = null;
        for (int at = 0; at < wire.length; at += 65536) {
            RecordAssembler.Record r = a.feed(ByteBuffer.wrap(wire, at, Math.min(65536, wire.length - at)), 1);
            if (r != null)
                third = r;
        }
        assertSame(second.bytes, third.bytes, "the recycled buffer");
        budget.give(third.charge);
        a.drop_spare();
        // A header alone allocates nothing: memory follows the bytes that came, not the claim.
        assertNull(a.feed(ByteBuffer.wrap(hex("80400000")), 1));
        assertEquals(64 << 20, budget.left(), "an idle or header-only connection holds no buffer");
        assertTrue(a.inside());
        // A claim the budget cannot pay for closes the connection when the bytes come.
        RecordAssembler poor = new RecordAssembler(8 << 20, 4096, new RecordAssembler.Budget(10_000));
        assertEquals("budget", feed(poor, java.util.Arrays.copyOf(record(20_000), 20_004), 8192));
    }
}
