// SPDX-License-Identifier: Apache-2.0
import java.io.ByteArrayOutputStream;
import java.io.DataInputStream;
import java.io.EOFException;
import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;

/**
 * Record marking (RFC 5531, section 11) for the tests' hand-built peers:
 * writes records in fragments of a chosen size and reads them back. The
 * runtime's own, bounded reader is tested in tests/runtime.
 */
final class RecordMark {
    /** Records longer than this are refused, so a bad header cannot exhaust memory. */
    public static final int MAX_RECORD = 16 << 20;

    private static final int LAST_FRAGMENT = 0x80000000;

    private RecordMark() {
    }

    /** Writes the record as one fragment. */
    public static void write(OutputStream out, byte[] record) throws IOException {
        write(out, record, Integer.MAX_VALUE);
    }

    /** Writes the record in fragments of at most max_fragment bytes (an empty record is one empty fragment). */
    public static void write(OutputStream out, byte[] record, int max_fragment) throws IOException {
        if (max_fragment <= 0)
            throw new IllegalArgumentException("fragment size must be positive");
        ByteArrayOutputStream wire = new ByteArrayOutputStream(record.length + 8);
        int offset = 0;
        do {
            int len = Math.min(max_fragment, record.length - offset);
            boolean last = offset + len == record.length;
            int header = len | (last ? LAST_FRAGMENT : 0);
            wire.write(header >>> 24);
            wire.write(header >>> 16);
            wire.write(header >>> 8);
            wire.write(header);
            wire.write(record, offset, len);
            offset += len;
        } while (offset < record.length);
        wire.writeTo(out);
        out.flush();
    }

    /**
     * Reads one whole record. Returns null when the stream ends cleanly before
     * a record starts; an end inside a record is an EOFException.
     */
    public static byte[] read(InputStream in) throws IOException {
        DataInputStream data = new DataInputStream(in);
        ByteArrayOutputStream record = new ByteArrayOutputStream();
        boolean first = true;
        while (true) {
            int b0 = data.read();
            if (b0 < 0) {
                if (first)
                    return null;
                throw new EOFException("stream ended inside a record");
            }
            first = false;
            int header = b0 << 24 | data.readUnsignedByte() << 16 | data.readUnsignedByte() << 8 | data.readUnsignedByte();
            int len = header & ~LAST_FRAGMENT;
            if (len > MAX_RECORD - record.size())
                throw new IOException("record longer than " + MAX_RECORD + " bytes");
            byte[] fragment = new byte[len];
            data.readFully(fragment);
            record.write(fragment);
            if ((header & LAST_FRAGMENT) != 0)
                return record.toByteArray();
        }
    }
}
