// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT;

import static org.junit.jupiter.api.Assertions.*;

import java.io.ByteArrayInputStream;
import java.io.ByteArrayOutputStream;
import java.io.EOFException;
import java.io.IOException;
import java.io.InputStream;
import java.io.SequenceInputStream;
import java.net.SocketTimeoutException;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;

/** Reassembly of record-marked records (RFC 5531, section 11): fragments, limits, and memory that follows the bytes. */
class RecordReaderTest {
    static byte[] hex(String text) {
        String digits = text.replace(" ", "");
        byte[] b = new byte[digits.length() / 2];
        for (int i = 0; i < b.length; i++)
            b[i] = (byte) Integer.parseInt(digits.substring(2 * i, 2 * i + 2), 16);
        return b;
    }

    /** The record in fragments of at most max bytes, as the wire carries them. */
    static byte[] fragments(byte[] record, int max) {
        ByteArrayOutputStream wire = new ByteArrayOutputStream();
        int offset = 0;
        do {
            int len = Math.min(max, record.length - offset);
            int h = len | (offset + len == record.length ? 0x80000000 : 0);
            wire.writeBytes(new byte[] {(byte) (h >>> 24), (byte) (h >>> 16), (byte) (h >>> 8), (byte) h});
            wire.write(record, offset, len);
            offset += len;
        } while (offset < record.length);
        return wire.toByteArray();
    }

    static List<byte[]> read_all(RecordReader r, InputStream in) throws IOException {
        List<byte[]> records = new ArrayList<>();
        while (r.read(in))
            records.add(Arrays.copyOfRange(r.buffer(), r.start(), r.start() + r.length()));
        return records;
    }

    @ParameterizedTest(name = "{0}")
    @CsvSource(delimiter = '|', value = {
        "one fragment                 | 80000004 01020304                           | 01020304",
        "three fragments              | 00000003 010203 00000003 040506 80000001 07 | 01020304050607",
        "an empty last fragment       | 00000002 0a0b 80000000                      | 0a0b",
        "records back to back         | 80000001 01 80000000 80000002 0203          | 01,,0203",
        "an empty stream              | ''                                          | ''",
    })
    void reads_records(String what, String wire, String expected) throws IOException {
        List<byte[]> got = read_all(new RecordReader(1 << 20), new ByteArrayInputStream(hex(wire)));
        String[] want = expected.isEmpty() ? new String[0] : expected.split(",", -1);
        assertEquals(want.length, got.size(), what);
        for (int i = 0; i < want.length; i++)
            assertArrayEquals(hex(want[i]), got.get(i), what + ", record " + i);
    }

    @ParameterizedTest(name = "{0}")
    @CsvSource(delimiter = '|', value = {
        "stream ending inside a header                    | 8000",
        "stream ending inside a fragment                  | 80000004 0102",
        "stream ending after a fragment that is not last  | 00000001 01",
    })
    void a_stream_ending_inside_a_record_is_an_error(String what, String wire) {
        assertThrows(EOFException.class, () -> read_all(new RecordReader(100), new ByteArrayInputStream(hex(wire))), what);
    }

    @Test
    void headers_past_the_limit_fail_at_once() {
        RecordReader r = new RecordReader(4 << 20);
        // 81 00 00 00: a last fragment of 16 MiB, and no data at all.
        assertThrows(RecordReader.RecordTooLong.class, () -> r.read(new ByteArrayInputStream(hex("81000000"))));
        assertEquals(RecordReader.INITIAL, r.capacity(), "nothing allocated for the claim");
        assertThrows(RecordReader.RecordTooLong.class, () -> read_all(new RecordReader(100),
                new ByteArrayInputStream(hex("00000040 " + "00".repeat(64) + " 80000025"))), "fragments adding up past the limit");
        assertThrows(RecordReader.RecordTooLong.class,
                () -> read_all(new RecordReader(100), new ByteArrayInputStream(hex("7fffffff"))), "a fragment of 2 GiB");
    }

    @Test
    void the_buffer_grows_with_the_bytes_that_arrive_not_with_the_claim() throws IOException {
        RecordReader r = new RecordReader(4 << 20);
        // A record of 4 MiB is announced; only 100 bytes come before the stream ends.
        byte[] wire = Arrays.copyOf(hex("80400000"), 104);
        assertThrows(EOFException.class, () -> r.read(new ByteArrayInputStream(wire)));
        assertEquals(RecordReader.INITIAL, r.capacity());

        // 1 MiB of the 4 MiB arrives: the buffer stays within twice what arrived.
        RecordReader r2 = new RecordReader(4 << 20);
        byte[] part = Arrays.copyOf(hex("80400000"), 4 + (1 << 20));
        assertThrows(EOFException.class, () -> r2.read(new ByteArrayInputStream(part)));
        assertTrue(r2.capacity() <= 2 * part.length, "capacity " + r2.capacity());
    }

    @Test
    void readers_sharing_a_budget_grow_only_as_far_as_it_allows() throws IOException {
        RecordReader.Budget budget = new RecordReader.Budget(100_000);
        byte[] record = new byte[60_000];
        RecordReader a = new RecordReader(1 << 20, budget), b = new RecordReader(1 << 20, budget);
        assertTrue(a.read(new ByteArrayInputStream(fragments(record, 1 << 20))));
        assertThrows(RecordReader.OverBudget.class, () -> b.read(new ByteArrayInputStream(fragments(record, 1 << 20))));
        a.release();
        RecordReader c = new RecordReader(1 << 20, budget);
        assertTrue(c.read(new ByteArrayInputStream(fragments(record, 1 << 20))), "the budget came back");
        c.release();
        b.release();
        assertEquals(100_000, budget.left());
    }

    @Test
    void a_record_the_size_of_the_limit_passes_and_the_buffer_shrinks_after_it() throws IOException {
        int limit = 2 << 20;
        byte[] big = new byte[limit];
        Arrays.fill(big, (byte) 7);
        byte[] wire = concat(fragments(big, 300_000), fragments(hex("0102"), 10));
        RecordReader r = new RecordReader(limit);
        ByteArrayInputStream in = new ByteArrayInputStream(wire);
        assertTrue(r.read(in));
        assertEquals(limit, r.length());
        assertTrue(r.capacity() <= limit + 2 * RecordReader.INITIAL, "capacity " + r.capacity());
        assertTrue(r.read(in));
        assertArrayEquals(hex("0102"), Arrays.copyOfRange(r.buffer(), r.start(), r.start() + r.length()));
        assertTrue(r.capacity() <= RecordReader.KEEP, "buffer dropped after the large record: " + r.capacity());
    }

    @Test
    void a_timed_out_read_goes_on_where_it_stopped() throws IOException {
        byte[] record = new byte[50_000];
        for (int i = 0; i < record.length; i++)
            record[i] = (byte) (i * 31);
        byte[] wire = fragments(record, 7_000);
        // The stream pauses (times out) twice in the middle of the record.
        InputStream in = new SequenceInputStream(java.util.Collections.enumeration(List.of(
                new ByteArrayInputStream(wire, 0, 10_001), pause(), new ByteArrayInputStream(wire, 10_001, 20_000), pause(),
                new ByteArrayInputStream(wire, 30_001, wire.length - 30_001))));
        RecordReader r = new RecordReader(1 << 20);
        int timeouts = 0;
        while (true) {
            try {
                assertTrue(r.read(in));
                break;
            } catch (SocketTimeoutException e) {
                timeouts++;
                assertTrue(r.inside_record());
            }
        }
        assertEquals(2, timeouts);
        assertArrayEquals(record, Arrays.copyOfRange(r.buffer(), r.start(), r.start() + r.length()));
    }

    /** A stream that times out once, then reports its end (so the sequence moves on). */
    static InputStream pause() {
        return new InputStream() {
            boolean paused;

            @Override
            public int read() throws IOException {
                return read(new byte[1], 0, 1);
            }

            @Override
            public int read(byte[] b, int off, int len) throws IOException {
                if (!paused) {
                    paused = true;
                    throw new SocketTimeoutException("pause");
                }
                return -1;
            }
        };
    }

    static byte[] concat(byte[] a, byte[] b) {
        byte[] c = Arrays.copyOf(a, a.length + b.length);
        System.arraycopy(b, 0, c, a.length, b.length);
        return c;
    }

    @Test
    void what_the_fragmenting_writer_produces_reads_back() throws IOException {
        assertArrayEquals(hex("00000003 010203 00000003 040506 80000001 07"), fragments(hex("01020304050607"), 3));
        assertArrayEquals(hex("00000002 0102 80000002 0304"), fragments(hex("01020304"), 2));
        assertArrayEquals(hex("80000000"), fragments(new byte[0], 5));
        for (int size = 0; size <= 9; size++) {
            byte[] record = new byte[size];
            for (int i = 0; i < size; i++)
                record[i] = (byte) (i * 37);
            List<byte[]> got = read_all(new RecordReader(64), new ByteArrayInputStream(fragments(record, 4)));
            assertEquals(1, got.size());
            assertArrayEquals(record, got.get(0), "size " + size);
        }
    }
}
