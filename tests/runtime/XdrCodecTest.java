// SPDX-License-Identifier: Apache-2.0
import static org.junit.jupiter.api.Assertions.*;

import com.sun.management.ThreadMXBean;
import java.lang.management.ManagementFactory;
import java.nio.charset.StandardCharsets;
import java.util.Random;
import kelvaro.ZELT.*;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;

/** The XDR codec: the string mapping, and decoding of hostile input that must fail before it allocates. */
class XdrCodecTest {
    static byte[] encode_string(String s) throws XDRError {
        XDR x = new XDR();
        x.enc_String(s);
        return x.toByteArray();
    }

    static String decode_string(byte[] wire) throws XDRError {
        XDR x = new XDR(wire);
        String s = x.dec_String();
        assertEquals(0, x.remaining(), "string decoding uses all its bytes");
        return s;
    }

    /** The counted, padded form of raw string bytes. */
    static byte[] counted(byte[] raw) {
        byte[] b = new byte[4 + raw.length + (-raw.length & 3)];
        b[0] = (byte) (raw.length >>> 24);
        b[1] = (byte) (raw.length >>> 16);
        b[2] = (byte) (raw.length >>> 8);
        b[3] = (byte) raw.length;
        System.arraycopy(raw, 0, b, 4, raw.length);
        return b;
    }

    @ParameterizedTest(name = "{0}")
    @CsvSource(delimiter = '|', value = {
        "bytes that are no UTF-8 come back unchanged | 00000004 41fffe42 | A\\uDCFF\\uDCFEB",
        "two-byte UTF-8                             | 00000002 c3a90000 | \\u00E9",
        "three-byte UTF-8                           | 00000003 e282ac00 | \\u20AC",
        "four-byte UTF-8 is a surrogate pair        | 00000004 f09f9880 | \\uD83D\\uDE00",
        "overlong NUL is two escaped bytes          | 00000002 c0800000 | \\uDCC0\\uDC80",
        "overlong three-byte form                   | 00000003 e080af00 | \\uDCE0\\uDC80\\uDCAF",
        "encoded surrogate U+D800                   | 00000003 eda08000 | \\uDCED\\uDCA0\\uDC80",
        "above U+10FFFF                             | 00000004 f4908080 | \\uDCF4\\uDC90\\uDC80\\uDC80",
        "sequence cut by the end of the string      | 00000003 41e28200 | A\\uDCE2\\uDC82",
        "lone continuation byte between ASCII       | 00000003 61806200 | a\\uDC80b",
    })
    void string_mapping_round_trips(String what, String wire, String escaped) throws XDRError {
        String expected = unescape(escaped);
        assertEquals(expected, decode_string(Wire.hex(wire)), what);
        assertEquals(wire.replace(" ", ""), Wire.show(encode_string(expected)).replace(" ", ""), what + " re-encoded");
    }

    static String unescape(String s) {
        StringBuilder out = new StringBuilder();
        for (int i = 0; i < s.length(); i++) {
            if (s.startsWith("\\u", i)) {
                out.append((char) Integer.parseInt(s.substring(i + 2, i + 6), 16));
                i += 5;
            } else {
                out.append(s.charAt(i));
            }
        }
        return out.toString();
    }

    @Test
    void strings_that_have_no_byte_form_fail_loudly() {
        for (String bad : new String[] {"a\uD800", "\uD800b", "\uDC00", "\uDD00x", "x\uDFFF", "\uDBFF\uDBFF"}) {
            XDRError e = assertThrows(XDRError.class, () -> encode_string(bad), "unpaired surrogate in " + bad);
            assertTrue(e.getMessage().contains("unpaired surrogate"), e.getMessage());
        }
        assertThrows(XDRError.class, () -> new XDR().enc_String_array(new String[] {"ok", "\uD800"}));
    }

    @Test
    void every_byte_string_round_trips_and_valid_utf8_reads_as_the_jdk_reads_it() throws XDRError {
        Random random = new Random(4506);
        for (int n = 0; n < 3000; n++) {
            byte[] raw = new byte[random.nextInt(24)];
            random.nextBytes(raw);
            if (n % 3 == 0) // mostly high bytes, to meet many multi-byte sequences
                for (int i = 0; i < raw.length; i++)
                    raw[i] |= (byte) 0x80;
            assertArrayEquals(counted(raw), encode_string(decode_string(counted(raw))), "bytes " + Wire.show(raw));

            StringBuilder valid = new StringBuilder();
            for (int i = random.nextInt(8); i > 0; i--) {
                int cp = random.nextInt(0x110000);
                if (cp < 0xD800 || cp > 0xDFFF)
                    valid.appendCodePoint(cp);
            }
            byte[] utf8 = valid.toString().getBytes(StandardCharsets.UTF_8);
            assertEquals(valid.toString(), decode_string(counted(utf8)));
            assertArrayEquals(counted(utf8), encode_string(valid.toString()));
        }
    }

    @Test
    void null_string_is_empty() throws XDRError {
        assertArrayEquals(Wire.hex("00000000"), encode_string(null));
    }

    interface Decode {
        Object run(XDR x) throws XDRError;
    }

    static final ThreadMXBean MX = (ThreadMXBean) ManagementFactory.getThreadMXBean();

    // Every large claim here is of 256 MiB or more; 1 MiB leaves room for the exception and class loading.
    @ParameterizedTest(name = "{0}")
    @CsvSource(delimiter = '|', value = {
        "opaque count 2^31-1                 | 7fffffff 00000000         | bytes",
        "opaque count 2^32-1                 | ffffffff                  | bytes",
        "opaque without its padding          | 00000005 0102030405       | bytes",
        "string count beyond the input       | 40000000 41424344         | string",
        "negative string count               | 80000000 41424344         | string",
        "int array count beyond the input    | 10000000 00000001         | ints",
        "hyper array: 1 item in 4 bytes      | 00000001 00000000         | hypers",
        "double array count 2^30             | 40000000 00000000 00000000 | doubles",
        "string array count beyond the input | 20000000 00000000         | strings",
        "object array: 3 items in 8 bytes    | 00000003 00000001 00000002 | points",
        "object array count 2^30             | 40000000 00000000         | points",
        "bool 2 in optional data             | 00000002 00000001         | optional",
        "bool -1                             | ffffffff                  | bool",
        "hyper cut short                     | 00000001                  | hyper",
        "int from nothing                    | ''                        | int",
        "short 65536                         | 00010000                  | short",
        "list ends without its last flag     | 00000001 00000001 00000002 | list",
    })
    void hostile_input_fails_before_allocating_from_its_claims(String what, String wire, String type) {
        Decode d = decoder(type);
        byte[] input = Wire.hex(wire.equals("''") ? "" : wire);
        XDR x = new XDR(input);
        long before = MX.getCurrentThreadAllocatedBytes();
        XDRError e = assertThrows(XDRError.class, () -> d.run(x), what);
        long allocated = MX.getCurrentThreadAllocatedBytes() - before;
        assertTrue(allocated < 1 << 20, what + ": allocated " + allocated + " bytes (" + e.getMessage() + ")");
    }

    static Decode decoder(String type) {
        switch (type) {
        case "bytes": return XDR::dec_bytes;
        case "string": return XDR::dec_String;
        case "ints": return XDR::dec_int_array;
        case "hypers": return XDR::dec_long_array;
        case "doubles": return XDR::dec_double_array;
        case "strings": return XDR::dec_String_array;
        case "points": return x -> x.dec_array(new point());
        case "optional": return x -> x.dec_ref(new XDTint());
        case "bool": return XDR::dec_boolean;
        case "hyper": return XDR::dec_long;
        case "int": return XDR::dec_int;
        case "short": return XDR::dec_short;
        case "list": return x -> {
            node n = new node();
            n.xdr(x);
            return n;
        };
        default: throw new IllegalArgumentException(type);
        }
    }

    @Test
    void fixed_arrays_and_optional_data_by_hand() throws XDRError {
        // RFC 4506 4.12 and 4.19: a fixed array of 2 points has no count; optional data is a bool then the item.
        XDR x = new XDR();
        point a = new point();
        a.x = 1;
        a.y = -1;
        point b = new point();
        b.x = 2;
        x.xdr_vec(new point[] {a, b}, null);
        x.enc_ref(null);
        x.enc_ref(new XDTLong(-2));
        x.xdr_byte_vec(new byte[] {1, 2, 3, 4, 5, 6});
        assertEquals("00000001 ffffffff 00000002 00000000 00000000 00000001 ffffffff fffffffe 01020304 05060000",
                Wire.show(x.toByteArray()));
    }

    /** An XDRError's message, asserting that the action throws one. */
    interface Coding {
        void run() throws XDRError;
    }

    static String refusal(Coding coding) {
        return assertThrows(XDRError.class, coding::run).getMessage();
    }

    @Test
    void declaredSizesAreHeldBothWays() throws XDRError {
        // Encoding: at the maximum a value goes; over it, nothing of it is
        // written and the error names the member, its maximum and its size.
        XDR x = new XDR();
        x.enc_String("12345678", 8, "title");
        int written = x.size();
        String m = refusal(() -> x.enc_String("1234567\u00e9", 8, "title"));
        assertTrue(m.contains("title") && m.contains("9") && m.contains("8"), m);
        assertEquals(written, x.size(), "nothing of a refused string is written");
        m = refusal(() -> x.enc_bytes(new byte[4], 3, "blob"));
        assertTrue(m.contains("blob") && m.contains("4") && m.contains("3"), m);
        m = refusal(() -> x.enc_int_array(new int[3], 2, "nums"));
        assertTrue(m.contains("nums") && m.contains("3") && m.contains("2"), m);
        m = refusal(() -> x.enc_array(new XDTint[] {new XDTint(), new XDTint()}, 1, "list"));
        assertTrue(m.contains("list"), m);
        m = refusal(() -> x.xdr_byte_vec(new byte[5], 4, "id"));
        assertTrue(m.contains("id") && m.contains("5") && m.contains("4"), m);
        m = refusal(() -> x.xdr_vec(null, null, 2, "pts"));
        assertTrue(m.contains("pts") && m.contains("null"), m);
        assertEquals(written, x.size(), "nothing of a refused value is written");
        x.enc_int_array(null, 2, "nums");
        x.xdr_int_vec(new int[] {5, 6}, 2, "v");

        // Decoding: a count over the maximum is refused before anything is
        // allocated; at the maximum the value comes back.
        XDR in = new XDR(x.toByteArray());
        assertEquals("12345678", in.dec_String(8, "title"));
        assertArrayEquals(new int[0], in.dec_int_array(2, "nums"));
        int[] v = new int[2];
        in.xdr_int_vec(v, 2, "v");
        assertArrayEquals(new int[] {5, 6}, v);
        byte[] over = counted("123456789".getBytes(StandardCharsets.US_ASCII));
        m = refusal(() -> new XDR(over).dec_String(8, "title"));
        assertTrue(m.contains("title") && m.contains("9") && m.contains("8"), m);
        m = refusal(() -> new XDR(over).dec_bytes(8, "blob"));
        assertTrue(m.contains("blob"), m);
        byte[] huge = {(byte) 0xff, (byte) 0xff, (byte) 0xff, (byte) 0xff};
        m = refusal(() -> new XDR(huge).dec_long_array(16, "hs"));
        assertTrue(m.contains("hs") && m.contains("4294967295"), m);
        m = refusal(() -> new XDR(huge).dec_array(new XDTint(), 2, "list"));
        assertTrue(m.contains("list"), m);
    }
}
