// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT;

import static org.junit.jupiter.api.Assertions.*;

import java.io.ByteArrayOutputStream;
import java.io.IOException;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.Random;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;

/** Record reading from a source that has bytes now and then: fragment bounds, pauses, and buffers a client keeps. */
class RecordBoundsTest {
    /** A source that hands out the wire in the given pieces, answering 0 (nothing for now) between them. */
    static final class Pieces implements RecordReader.Source {
        final byte[] wire;
        final int[] cuts;
        int at, piece;
        boolean paused;

        Pieces(byte[] wire, int... cuts) {
            this.wire = wire;
            this.cuts = cuts;
        }

        @Override
        public int read(byte[] b, int off, int len) {
            if (at == wire.length)
                return -1;
            if (!paused && piece < cuts.length && at == cuts[piece]) {
                paused = true;
                piece++;
                return 0;
            }
            paused = false;
            int end = piece < cuts.length ? cuts[piece] : wire.length;
            int n = Math.min(len, end - at);
            System.arraycopy(wire, at, b, off, n);
            at += n;
            return n;
        }
    }

    /** Every record the source holds, through pauses; the number of pauses is checked against the source. */
    static List<byte[]> drain(RecordReader r, Pieces source) throws IOException {
        List<byte[]> records = new ArrayList<>();
        int waits = 0;
        while (true) {
            int got = r.next(source);
            if (got == RecordReader.END)
                break;
            if (got == RecordReader.WAIT)
                waits++;
            else
                records.add(Arrays.copyOfRange(r.buffer(), r.start(), r.start() + r.length()));
        }
        assertEquals(source.cuts.length, waits, "one WAIT for each pause");
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

    @ParameterizedTest(name = "{0}")
    @CsvSource(delimiter = '|', value = {
        "an empty first fragment that is not the last  | 00000000 80000002 0a0b",
        "an empty fragment in the middle               | 00000001 0a 00000000 80000001 0b",
    })
    void an_empty_fragment_that_is_not_the_last_is_refused(String what, String wire) {
        RecordReader r = RecordReader.keeping(1 << 20);
        Pieces source = new Pieces(RecordReaderTest.hex(wire));
        assertThrows(RecordReader.BadFragments.class, () -> drain(r, source), what);
    }

    @Test
    void a_record_has_at_most_one_fragment_per_kib_of_the_limit() throws IOException {
        int limit = 2 << 20;
        int most = RecordReader.max_fragments(limit);
        assertEquals(2048, most);
        assertEquals(RecordReader.MIN_FRAGMENTS, RecordReader.max_fragments(100), "and at least 1,024");
        byte[] record = new byte[most];
        Arrays.fill(record, (byte) 5);
        List<byte[]> got = drain(RecordReader.keeping(limit), new Pieces(fragments(record, 1)));
        assertEquals(1, got.size());
        assertArrayEquals(record, got.get(0), "exactly the most fragments");
        byte[] over = new byte[most + 1];
        assertThrows(RecordReader.BadFragments.class, () -> drain(RecordReader.keeping(limit), new Pieces(fragments(over, 1))));
    }

    @Test
    void records_in_fragments_of_every_size_come_whole_through_pauses_anywhere() throws IOException {
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
            List<byte[]> got = drain(RecordReader.keeping(1 << 20), new Pieces(bytes, cuts));
            assertEquals(records.size(), got.size(), "trial " + trial);
            for (int k = 0; k < records.size(); k++)
                assertArrayEquals(records.get(k), got.get(k), "trial " + trial + ", record " + k);
        }
    }

    @Test
    void a_kept_buffer_serves_a_run_of_large_records_and_shrinks_after_a_run_of_small_ones() throws IOException {
        byte[] large = new byte[3 << 20];
        byte[] small = new byte[100];
        ByteArrayOutputStream wire = new ByteArrayOutputStream();
        for (int i = 0; i < 3; i++)
            wire.writeBytes(fragments(large, 9000));
        for (int i = 0; i < 2 * BufferTrend.SHRINK_AFTER; i++)
            wire.writeBytes(fragments(small, 1000));
        RecordReader r = RecordReader.keeping(4 << 20);
        Pieces source = new Pieces(wire.toByteArray());
        assertEquals(RecordReader.RECORD, r.next(source));
        byte[] buffer = r.buffer();
        for (int i = 1; i < 3; i++) {
            assertEquals(RecordReader.RECORD, r.next(source));
            assertEquals(large.length, r.length());
            assertSame(buffer, r.buffer(), "the large record's buffer is kept for the next one");
        }
        for (int i = 0; i < BufferTrend.SHRINK_AFTER - 1; i++)
            assertEquals(RecordReader.RECORD, r.next(source));
        assertSame(buffer, r.buffer(), "a few small records keep it");
        for (int i = 0; i < BufferTrend.SHRINK_AFTER; i++)
            assertEquals(RecordReader.RECORD, r.next(source));
        assertTrue(r.capacity() <= RecordReader.INITIAL, "after a run of small records: " + r.capacity());
    }
}
