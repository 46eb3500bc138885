// SPDX-License-Identifier: Apache-2.0
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import kelvaro.ZELT.XDR;
import kelvaro.ZELT.XDRError;

/**
 * Decodes the same replies with the default output's classes (package dd),
 * the idiomatic output's (package di), and the hand-written C routines
 * (decode_c, run between the Java rounds so that the contenders share the
 * machine's load), and prints the median time per decode of each.
 *
 *   java DecodeBench DIR DECODE_C WARMUP_MS ROUND_MS ROUNDS
 */
public final class DecodeBench {
    private DecodeBench() {
    }

    interface Decode {
        Object run(byte[] bytes) throws XDRError;
    }

    static volatile Object sink;

    static double javaRound(Decode d, byte[] bytes, long millis) throws XDRError {
        long start = System.nanoTime(), end = start + millis * 1_000_000L, t;
        long n = 0;
        do {
            sink = d.run(bytes);
            n++;
            t = System.nanoTime();
        } while (t < end);
        return (t - start) / (double) n;
    }

    static double cRound(String decodeC, Path file, String what, long millis) throws Exception {
        Process p = new ProcessBuilder(decodeC, "time", file.toString(), what, Long.toString(millis)).start();
        String out = new String(p.getInputStream().readAllBytes()).trim();
        if (p.waitFor() != 0 || !out.startsWith("ns_per_decode "))
            throw new IllegalStateException("decode_c failed: " + out);
        return Double.parseDouble(out.substring("ns_per_decode ".length()));
    }

    static double median(List<Double> v) {
        double[] a = v.stream().mapToDouble(Double::doubleValue).sorted().toArray();
        return a.length % 2 == 1 ? a[a.length / 2] : (a[a.length / 2 - 1] + a[a.length / 2]) / 2;
    }

    /** The idiomatic listing's entries, counted along the list. */
    static int entries(di.ListingResult r) {
        int n = 0;
        if (r instanceof di.ListingResult.Ok ok)
            for (di.DirEntry e = ok.ok().reply().entries(); e != null; e = e.next())
                n++;
        return n;
    }

    public static void main(String[] args) throws Exception {
        Path dir = Path.of(args[0]);
        String decodeC = args[1];
        long warmup = Long.parseLong(args[2]), round = Long.parseLong(args[3]);
        int rounds = Integer.parseInt(args[4]);
        byte[] listing = Files.readAllBytes(dir.resolve("listing.bin"));
        byte[] read = Files.readAllBytes(dir.resolve("read.bin"));
        byte[] buffer = new byte[read.length]; // the caller's, for read_into

        Decode listingDefault = b -> {
            dd.listing_result r = new dd.listing_result();
            r.xdr(new XDR(b));
            return r;
        };
        Decode listingIdiomatic = b -> di.ListingResult.decode(new XDR(b));
        Decode readDefault = b -> {
            dd.read_result r = new dd.read_result();
            r.xdr(new XDR(b));
            return r;
        };
        Decode readIdiomatic = b -> di.ReadResult.decode(new XDR(b));
        // The reply read by hand, its data into the caller's buffer.
        Decode readInto = b -> {
            XDR x = new XDR(b);
            if (di.ResultCode.decode(x) != di.ResultCode.OK)
                throw new XDRError("not OK");
            sink = di.MaybeAttrs.decode(x);
            int count = x.dec_int();
            boolean eof = x.dec_boolean();
            int n = x.dec_bytes_into(buffer, 0, -1, "data");
            return count + n + (eof ? 1 : 0);
        };

        // Not a decoder: a new array of the data's size and nothing else,
        // the least that decoding into a new array costs in this JVM.
        int dataLength = ((di.ReadResult.Ok) di.ReadResult.decode(new XDR(read))).ok().data().length;
        Decode newArray = b -> new byte[dataLength];

        // The decoders agree on what they read.
        di.ListingResult l = di.ListingResult.decode(new XDR(listing));
        di.ReadResult r = di.ReadResult.decode(new XDR(read));
        int entries = entries(l);
        byte[] data = ((di.ReadResult.Ok) r).ok().data();
        readInto.run(read);
        if (!Arrays.equals(data, 0, data.length, buffer, 0, data.length) || data.length == 0)
            throw new IllegalStateException("read_into decoded other data");
        System.out.println("listing: " + listing.length + " bytes, " + entries + " entries; read: " + data.length
                + " bytes of data");

        String[] names = {"listing default", "listing idiomatic", "listing C", "read default", "read idiomatic",
            "read C", "read_into idiomatic", "read_into C", "new array only"};
        Decode[] java = {listingDefault, listingIdiomatic, null, readDefault, readIdiomatic, null, readInto, null,
            newArray};
        String[] c = {null, null, "listing", null, null, "read", null, "read_into", null};
        for (int i = 0; i < java.length; i++)
            if (java[i] != null)
                javaRound(java[i], i < 3 ? listing : read, warmup);
        List<List<Double>> times = new ArrayList<>();
        for (int i = 0; i < names.length; i++)
            times.add(new ArrayList<>());
        for (int k = 0; k < rounds; k++) {
            for (int i = 0; i < names.length; i++) {
                byte[] bytes = i < 3 ? listing : read;
                Path file = dir.resolve(i < 3 ? "listing.bin" : "read.bin");
                times.get(i).add(java[i] != null ? javaRound(java[i], bytes, round) : cRound(decodeC, file, c[i], round));
            }
        }
        for (int i = 0; i < names.length; i++)
            System.out.printf("%-20s %12.1f us per decode (rounds: %s)%n", names[i], median(times.get(i)) / 1000,
                    times.get(i).stream().map(t -> String.format("%.0f", t / 1000)).toList());
        double[][] ratios = {{2, 0}, {2, 1}, {5, 3}, {5, 4}, {7, 6}, {5, 8}};
        for (double[] q : ratios) {
            int cIndex = (int) q[0], jIndex = (int) q[1];
            System.out.printf("%s vs C: %.2fx C's speed%n", names[jIndex],
                    median(times.get(cIndex)) / median(times.get(jIndex)));
        }
    }
}
