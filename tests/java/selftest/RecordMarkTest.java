import java.io.ByteArrayInputStream;
import java.io.ByteArrayOutputStream;
import java.io.EOFException;
import java.io.IOException;
import kelvaro.ZELT.*;

/** Record marking of RPC messages on a byte stream (RFC 5531, section 11). */
public class RecordMarkTest {
    static void writes(String expected, String record, int max_fragment, String what) {
        Check.runs(what, () -> {
            ByteArrayOutputStream out = new ByteArrayOutputStream();
            RecordMark.write(out, Check.hex(record), max_fragment);
            Check.equal(Check.hex(expected), out.toByteArray(), "write " + what);
        });
    }

    static void reads_back(String wire, String[] records, String what) {
        Check.runs(what, () -> {
            ByteArrayInputStream in = new ByteArrayInputStream(Check.hex(wire));
            for (String r : records)
                Check.equal(Check.hex(r), RecordMark.read(in), "read " + what);
            Check.equal(null, RecordMark.read(in), "clean end after " + what);
        });
    }

    static void refuses(Class<? extends Throwable> type, String text, String wire, String what) {
        Check.fails(type, text, what, () -> RecordMark.read(new ByteArrayInputStream(Check.hex(wire))));
    }

    public static void main(String[] args) {
        writes("80000004 01020304", "01020304", Integer.MAX_VALUE, "one fragment");
        writes("80000000", "", Integer.MAX_VALUE, "empty record");
        writes("00000003 010203 00000003 040506 80000001 07", "01020304050607", 3, "three fragments");
        writes("00000002 0102 80000002 0304", "01020304", 2, "record an exact multiple of the fragment size");
        Check.fails(IllegalArgumentException.class, "positive", "fragment size 0",
                () -> RecordMark.write(new ByteArrayOutputStream(), new byte[1], 0));

        reads_back("80000004 01020304", new String[] {"01020304"}, "one fragment");
        reads_back("00000003 010203 00000003 040506 80000001 07", new String[] {"01020304050607"}, "three fragments");
        reads_back("00000000 80000002 0a0b", new String[] {"0a0b"}, "an empty first fragment");
        reads_back("80000001 01 80000000 80000002 0203", new String[] {"01", "", "0203"}, "records back to back");
        reads_back("", new String[] {}, "an empty stream");

        refuses(EOFException.class, "", "8000", "stream ending inside a header");
        refuses(EOFException.class, "", "80000004 0102", "stream ending inside a fragment");
        refuses(EOFException.class, "inside a record", "00000001 01", "stream ending after a fragment that is not the last");
        refuses(IOException.class, "longer than", "7fffffff", "fragment longer than a record may be");
        refuses(IOException.class, "longer than", "00800000 " + "00".repeat(RecordMark.MAX_RECORD / 2) + " 00800001",
                "fragments adding up to more than a record may be");

        // What write produces, read gives back, for sizes around the fragment size.
        Check.runs("write then read", () -> {
            for (int size = 0; size <= 9; size++) {
                byte[] record = new byte[size];
                for (int i = 0; i < size; i++)
                    record[i] = (byte) (i * 37);
                ByteArrayOutputStream out = new ByteArrayOutputStream();
                RecordMark.write(out, record, 4);
                Check.equal(record, RecordMark.read(new ByteArrayInputStream(out.toByteArray())), "size " + size);
            }
        });
        Check.finish("RecordMarkTest");
    }
}
