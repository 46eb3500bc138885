// SPDX-License-Identifier: Apache-2.0
import java.lang.reflect.InvocationTargetException;
import java.lang.reflect.Method;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.Random;
import kelvaro.ZELT.XDR;
import kelvaro.ZELT.XDRError;
import kelvaro.ZELT.XDT;

/**
 * The same values through both outputs of one interface, byte for byte.
 * For each type, random words are decoded into a value of the idiomatic
 * class (most tries fail, as random words rarely make a valid value; those
 * that succeed are values of every shape the type has); the value is
 * encoded, the bytes decoded by the default output's class, which must use
 * them all and encode exactly the same bytes again; those decode into a
 * value equal to the first, with the same hash and text.
 *
 * <p>Usage: CrossMode IDIOMATIC_PACKAGE DEFAULT_PACKAGE TRIES MIN_VALUES
 * Class=xdrname...
 */
public final class CrossMode {
    private CrossMode() {
    }

    /** Small values that counts, booleans, enum values and labels often take. */
    static final int[] COMMON = {0, 0, 0, 1, 1, 2, 3, 4, 5, 6, 7, 8, -1, -2};

    /**
     * Random words, most of them from a palette of a few common values
     * chosen for the try (short counts, the first arms, the values of one
     * enum), the rest any value.
     */
    static byte[] words(Random random, int count) {
        int[] palette = new int[1 + random.nextInt(3)];
        for (int i = 0; i < palette.length; i++)
            palette[i] = COMMON[random.nextInt(COMMON.length)];
        palette[0] = 0; // every type has a way to end: empty lists, absent data
        byte[] b = new byte[4 * count];
        for (int i = 0; i < count; i++) {
            int r = random.nextInt(100);
            int v = r < 90 ? palette[random.nextInt(palette.length)] : r < 95 ? COMMON[random.nextInt(COMMON.length)]
                    : random.nextInt();
            b[4 * i] = (byte) (v >>> 24);
            b[4 * i + 1] = (byte) (v >>> 16);
            b[4 * i + 2] = (byte) (v >>> 8);
            b[4 * i + 3] = (byte) v;
        }
        return b;
    }

    static Object decodeIdiomatic(Method decode, byte[] bytes, int[] used) throws Exception {
        XDR in = new XDR(bytes);
        try {
            Object v = decode.invoke(null, in);
            used[0] = bytes.length - in.remaining();
            return v;
        } catch (InvocationTargetException e) {
            if (e.getCause() instanceof XDRError)
                return null;
            throw e;
        }
    }

    static byte[] encodeIdiomatic(Object v) throws Exception {
        XDR out = new XDR();
        v.getClass().getMethod("encode", XDR.class).invoke(v, out);
        return out.toByteArray();
    }

    public static void main(String[] args) throws Exception {
        String idiomatic = args[0];
        String plain = args[1];
        int tries = Integer.parseInt(args[2]);
        int least = Integer.parseInt(args[3]);
        Random random = new Random(7);
        List<String> faults = new ArrayList<>();
        List<String> unreached = new ArrayList<>();
        int compared = 0;
        for (int k = 4; k < args.length; k++) {
            String[] pair = args[k].split("=");
            Class<?> ic = Class.forName(idiomatic + "." + pair[0]);
            Class<?> dc;
            try {
                dc = Class.forName(plain + "." + pair[1]);
            } catch (ClassNotFoundException e) {
                dc = Class.forName(plain + "." + pair[1] + "_");
            }
            Method decode = ic.getMethod("decode", XDR.class);
            int values = 0;
            int faults_before = faults.size();
            for (int t = 0; t < tries && faults.size() - faults_before < 5; t++) {
                byte[] random_words = words(random, 1 + random.nextInt(600));
                int[] used = new int[1]; // what the decoder read
                Object v = decodeIdiomatic(decode, random_words, used);
                if (v == null)
                    continue;
                values++;
                // Not always the words decoded: a short or char travels
                // sign-extended whichever 16-bit form came in.
                byte[] b1 = encodeIdiomatic(v);
                XDT d = (XDT) dc.getDeclaredConstructor().newInstance();
                XDR in = new XDR(b1);
                d.xdr(in);
                if (in.remaining() != 0) {
                    faults.add(pair[0] + ": the default class left " + in.remaining() + " bytes of " + v);
                    continue;
                }
                XDR out = new XDR();
                d.xdr(out);
                byte[] b2 = out.toByteArray();
                if (!Arrays.equals(b1, b2)) {
                    faults.add(pair[0] + ": the default class encodes other bytes for " + v);
                    continue;
                }
                Object v2 = decodeIdiomatic(decode, b2, used);
                if (v2 == null || !v.equals(v2) || v.hashCode() != v2.hashCode()
                        || !v.toString().equals(v2.toString())) {
                    faults.add(pair[0] + ": " + v + " came back as " + v2);
                    continue;
                }
                compared++;
            }
            if (values < least)
                unreached.add(pair[0] + " (" + values + " values)");
            System.out.println(pair[0] + ": " + values + " values");
        }
        // A type that random words seldom make whole (a large struct of
        // many constrained members) is covered through its members'
        // types; more than one such type is a fault of the test.
        if (unreached.size() > 1)
            faults.add("types that random words do not reach: " + unreached);
        else if (!unreached.isEmpty())
            System.out.println("not reached: " + unreached.get(0));
        for (String f : faults)
            System.out.println("FAULT " + f);
        System.out.println(compared + " values compared, " + faults.size() + " faults");
        System.exit(faults.isEmpty() ? 0 : 1);
    }
}
