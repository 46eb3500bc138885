// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT.internal.record;

import static org.junit.jupiter.api.Assertions.*;

import java.io.ByteArrayOutputStream;
import java.nio.ByteBuffer;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.Random;
import org.junit.jupiter.api.Test;

/** Record assembly as a client reads: bytes in pieces cut anywhere, fragment bounds, and the buffer it keeps. */
class RecordBoundsTest {
    /** An assembler as a TCP client makes one: no shared budget, a buffer kept as the trend says. */
    static RecordAssembler client(int limit) {
        return new RecordAssembler(limit, RecordAssembler.max_fragments(limit),
                new RecordAssembler.Budget(Long.MAX_VALUE), new BufferTrend());
    }

    /** Every record of the wire, fed in the pieces that the cuts make; each record's buffer is recycled. */
    static List<byte[]> drain(RecordAssembler a, byte[] wire, int... cuts) throws RecordAssembler.Fault {
        List<byte[]> records = new ArrayList<>();
        int from = 0;
        for (int k = 0; k <= cuts.length; k++) {
            int to = k < cuts.length ? cuts[k] : wire.length;
            ByteBuffer piece = ByteBuffer.wrap(wire, from, to - from);
            while (piece.hasRemaining()) {
                RecordAssembler.Record r = a.feed(piece, 1);
                if (r != null) {
                    records.add(Arrays.copyOf(r.bytes, r.length));
                    a.recycle(r);
                }
            }
            from = to;
        }
        assertFalse(a.inside(), "the wire ends between records");
        return records;
    }

    static byte[] fragments(byte[] record, int... sizes) {
        ByteArrayOutputStream wire = new ByteArrayOutputStream();
        int offset = 0;
        for (int i = 0; offset < record.length || i == 0; i++) {
            int len = Math.min(sizes[i % sizes.length], record.length - offset);
            int h = len | (offset + len == record.length ? 0x80000000 : 0);
            wire.writeBytes(new byte[] {(byte) (h >>> 24), (byte) (h >>> 16), (byte) (h >>> 8), (byte) h});
            wire.write(record, offset, len);
            offset += len;
        }
        return wire.toByteArray();
    }

    @Test
    void a_record_has_at_most_one_fragment_per_kib_of_the_limit() throws Exception {
        int limit = 2 << 20;
        int most = RecordAssembler.max_fragments(limit);
        assertEquals(2048, most);
        assertEquals(RecordAssembler.MIN_FRAGMENTS, RecordAssembler.max_fragments(100), "and at least 1,024");
        byte[] record = new byte[most];
        Arrays.fill(record, (byte) 5);
        List<byte[]> got = drain(client(limit), fragments(record, 1));
        assertEquals(1, got.size());
        assertArrayEquals(record, got.get(0), "exactly the most fragments");
        RecordAssembler.Fault f = assertThrows(RecordAssembler.Fault.class,
                () -> drain(client(limit), fragments(new byte[most + 1], 1)));
        assertEquals("fragments", f.kind);
    }

    @Test
    void records_in_fragments_of_every_size_come_whole_through_pieces_cut_anywhere() throws Exception {
        Random random = new Random(19);
        for (int trial = 0; trial < 200; trial++) {
            List<byte[]> records = new ArrayList<>();
            ByteArrayOutputStream wire = new ByteArrayOutputStream();
            int count = 1 + random.nextInt(4);
            for (int k = 0; k < count; k++) {
                byte[] record = new byte[random.nextInt(trial < 100 ? 300 : 70_000)];
                random.nextBytes(record);
                records.add(record);
                wire.writeBytes(fragments(record, 1 + random.nextInt(record.length + 1), 1 + random.nextInt(9000)));
            }
            byte[] bytes = wire.toByteArray();
            int[] cuts = random.ints(random.nextInt(12), 1, Math.max(2, bytes.length)).filter(c -> c < bytes.length)
                    .sorted().distinct().toArray();
            List<byte[]> got = drain(client(1 << 20), bytes, cuts);
            assertEquals(records.size(), got.size(), "trial " + trial);
            for (int k = 0; k < records.size(); k++)
                assertArrayEquals(records.get(k), got.get(k), "trial " + trial + ", record " + k);
        }
    }

    @Test
    void a_record_in_many_small_fragments_grows_its_buffer_by_doubling() throws Exception {
        // 1 MiB in fragments of 1 KiB: growing to each fragment's end would
        // copy the record once per fragment, a thousand allocations.
        RecordAssembler a = client(4 << 20);
        byte[] record = new byte[1 << 20];
        new Random(7).nextBytes(record);
        assertArrayEquals(record, drain(a, fragments(record, 1024), 300_001).get(0));
        assertTrue(a.allocations() <= 10, "allocations: " + a.allocations());
    }

    @Test
    void memory_follows_the_bytes_that_came_not_what_a_header_claims() throws Exception {
        RecordAssembler.Budget budget = new RecordAssembler.Budget(64 << 20);
        RecordAssembler a = new RecordAssembler(8 << 20, 8192, budget);
        // A last fragment of 4 MiB is announced; 1 MiB of it comes.
        ByteBuffer part = ByteBuffer.allocate(4 + (1 << 20)).putInt(0x80400000);
        part.position(0);
        assertNull(a.feed(part, 1));
        long held = (64L << 20) - budget.left();
        assertTrue(held >= 1 << 20 && held <= 2 << 20, "held " + held);
        // The same in fragments that are not the last, whose total nobody has announced.
        RecordAssembler b = new RecordAssembler(8 << 20, 8192, budget);
        byte[] wire = fragments(new byte[4 << 20], 64 << 10);
        assertNull(b.feed(ByteBuffer.wrap(wire, 0, (1 << 20) + 64), 1));
        held = (64L << 20) - budget.left() - held;
        assertTrue(held >= 1 << 20 && held <= 2 << 20, "held " + held);
    }

    @Test
    void a_kept_buffer_serves_a_run_of_large_records_and_shrinks_after_a_run_of_small_ones() throws Exception {
        RecordAssembler a = client(4 << 20);
        byte[] large = fragments(new byte[3 << 20], 9000);
        byte[] small = fragments(new byte[100], 1000);
        byte[] buffer = null;
        for (int i = 0; i < 3; i++) {
            RecordAssembler.Record r = a.feed(ByteBuffer.wrap(large), 1);
            assertEquals(3 << 20, r.length);
            if (buffer != null)
                assertSame(buffer, r.bytes, "the large record's buffer is kept for the next one");
            buffer = r.bytes;
            a.recycle(r);
        }
        int allocations = a.allocations();
        for (int i = 0; i < 2 * BufferTrend.SHRINK_AFTER; i++) {
            RecordAssembler.Record r = a.feed(ByteBuffer.wrap(small), 1);
            if (i < BufferTrend.SHRINK_AFTER - 1)
                assertSame(buffer, r.bytes, "a few small records keep it");
            if (i == 2 * BufferTrend.SHRINK_AFTER - 1)
                assertTrue(r.bytes.length <= RecordAssembler.INITIAL, "after a run of small records: " + r.bytes.length);
            a.recycle(r);
        }
        assertEquals(allocations + 1, a.allocations(), "one smaller buffer, then no more");
    }
}
