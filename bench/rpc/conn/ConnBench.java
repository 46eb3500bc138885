// SPDX-License-Identifier: Apache-2.0
import java.io.DataInputStream;
import java.io.IOException;
import java.io.OutputStream;
import java.net.InetAddress;
import java.net.InetSocketAddress;
import java.net.Socket;
import java.nio.ByteBuffer;
import java.nio.channels.SelectionKey;
import java.nio.channels.Selector;
import java.nio.channels.SocketChannel;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import java.util.concurrent.atomic.AtomicBoolean;

/**
 * How a benchmark server handles connections, by hand-built ECHO_INT calls
 * (bench.x) over raw sockets, so that the client costs little:
 *
 *   java ConnBench accept PORT N
 *       opens N connections at once (non-blocking connects from one
 *       thread), sends one call on each, and prints the milliseconds until
 *       every one is answered.
 *   java ConnBench concurrent PORT N SECONDS
 *       N connections, each calling again as soon as its reply came (one
 *       selector thread drives them all); prints calls/s over SECONDS after
 *       a warm-up of 3 s. Every reply is checked.
 *   java ConnBench attack PORT PID KIND SECONDS
 *       legitimate calls, one after another, each on a fresh TCP
 *       connection with a 5 s time-out, first on a quiet server and then
 *       while an attack runs: KIND slow (500 connections sending a record
 *       header and then one byte a second), header (64 connections sending
 *       a record header and then nothing) or zero (8 connections sending
 *       endless empty fragments). Attackers reconnect when the server
 *       closes them. Prints, per phase, the calls made and answered, the
 *       median and 99th-percentile latency, and the CPU the server
 *       process (PID) used; then the CPU the attack alone costs it, and
 *       for zero how soon the server closed each attacking connection.
 */
public class ConnBench {
    static final int PROG = 0x20000BE0;
    static final InetAddress LOOPBACK = InetAddress.getLoopbackAddress();

    /** A record-marked ECHO_INT call. */
    static byte[] call(int xid, int value) {
        ByteBuffer b = ByteBuffer.allocate(48);
        b.putInt(0x80000000 | 44).putInt(xid).putInt(0).putInt(2).putInt(PROG).putInt(1).putInt(1);
        b.putInt(0).putInt(0).putInt(0).putInt(0).putInt(value);
        return b.array();
    }

    static final int REPLY = 32; // mark, xid, REPLY, MSG_ACCEPTED, verifier (2), SUCCESS, the int

    static void check(ByteBuffer r, int xid, int value) throws IOException {
        r.flip();
        if (r.getInt() != (0x80000000 | 28) || r.getInt() != xid || r.getInt() != 1 || r.getInt() != 0
                || r.getInt() != 0 || r.getInt() != 0 || r.getInt() != 0 || r.getInt() != value)
            throw new IOException("bad reply for xid " + xid);
    }

    /** One connection driven by the selector: its call count and reply buffer. */
    static final class Conn {
        final SocketChannel ch;
        final int id;
        int seq;
        final ByteBuffer in = ByteBuffer.allocate(REPLY);
        ByteBuffer out;

        Conn(SocketChannel ch, int id) {
            this.ch = ch;
            this.id = id;
        }

        int xid() {
            return id << 20 | (seq & 0xfffff);
        }

        void send(Selector sel) throws IOException {
            out = ByteBuffer.wrap(call(xid(), seq ^ id));
            ch.write(out);
            ch.register(sel, out.hasRemaining() ? SelectionKey.OP_WRITE : SelectionKey.OP_READ, this);
        }
    }

    /** Drives n connections; each makes calls until stop; returns answered calls counted after count_from. */
    static long drive(int port, int n, long stop_ns, long count_from_ns, long[] all_answered_ns) throws IOException {
        Selector sel = Selector.open();
        List<Conn> conns = new ArrayList<>();
        long start = System.nanoTime();
        for (int i = 0; i < n; i++) {
            SocketChannel ch = SocketChannel.open();
            ch.configureBlocking(false);
            Conn c = new Conn(ch, i + 1);
            conns.add(c);
            if (ch.connect(new InetSocketAddress(LOOPBACK, port)))
                c.send(sel);
            else
                ch.register(sel, SelectionKey.OP_CONNECT, c);
        }
        long counted = 0;
        int first_replies = 0;
        boolean once = all_answered_ns != null;
        try {
            while (System.nanoTime() < stop_ns) {
                sel.select(100);
                for (SelectionKey k : sel.selectedKeys()) {
                    Conn c = (Conn) k.attachment();
                    if (k.isConnectable()) {
                        c.ch.finishConnect();
                        c.send(sel);
                    } else if (k.isWritable()) {
                        c.ch.write(c.out);
                        if (!c.out.hasRemaining())
                            k.interestOps(SelectionKey.OP_READ);
                    } else if (k.isReadable()) {
                        if (c.ch.read(c.in) < 0)
                            throw new IOException("connection " + c.id + " closed by the server");
                        if (c.in.hasRemaining())
                            continue;
                        check(c.in, c.xid(), c.seq ^ c.id);
                        c.in.clear();
                        c.seq++;
                        if (System.nanoTime() >= count_from_ns)
                            counted++;
                        if (once) {
                            if (c.seq == 1 && ++first_replies == n) {
                                all_answered_ns[0] = System.nanoTime() - start;
                                return counted;
                            }
                            k.interestOps(0);
                        } else {
                            c.send(sel);
                        }
                    }
                }
                sel.selectedKeys().clear();
            }
            if (once)
                throw new IOException("only " + first_replies + " of " + n + " connections answered in time");
            return counted;
        } finally {
            for (Conn c : conns)
                c.ch.close();
            sel.close();
        }
    }

    /** utime + stime of a process, in clock ticks (100 a second on Linux). */
    static long cpu_ticks(long pid) throws IOException {
        String stat = Files.readString(Path.of("/proc/" + pid + "/stat"));
        String[] f = stat.substring(stat.lastIndexOf(')') + 2).split(" ");
        return Long.parseLong(f[11]) + Long.parseLong(f[12]);
    }

    /** Legitimate calls on fresh connections for the given time: prints counts, latencies, server CPU. */
    static double legit(String phase, int port, long pid, double seconds) throws IOException {
        List<Long> lat = new ArrayList<>();
        int made = 0;
        long cpu0 = cpu_ticks(pid), t0 = System.nanoTime(), end = t0 + (long) (seconds * 1e9);
        while (System.nanoTime() < end) {
            made++;
            long s = System.nanoTime();
            try (Socket sock = new Socket()) {
                sock.connect(new InetSocketAddress(LOOPBACK, port), 5000);
                sock.setSoTimeout(5000);
                sock.setTcpNoDelay(true);
                sock.getOutputStream().write(call(made, made));
                byte[] r = new byte[REPLY];
                new DataInputStream(sock.getInputStream()).readFully(r);
                check(ByteBuffer.wrap(r).position(REPLY), made, made);
                lat.add(System.nanoTime() - s);
            } catch (IOException e) {
                // a failed legitimate call
            }
        }
        double wall = (System.nanoTime() - t0) / 1e9;
        double cpu = (cpu_ticks(pid) - cpu0) / 100.0 / wall;
        long[] l = lat.stream().mapToLong(Long::longValue).sorted().toArray();
        double median = l.length == 0 ? Double.NaN : l[l.length / 2] / 1e6;
        double p99 = l.length == 0 ? Double.NaN : l[Math.min(l.length - 1, (int) (l.length * 0.99))] / 1e6;
        System.out.printf("%-8s calls %d answered %d (%.2f %%) median %.3f ms p99 %.3f ms server CPU %.2f cores%n",
                phase, made, l.length, 100.0 * l.length / Math.max(1, made), median, p99, cpu);
        return median;
    }

    /** The attack: opens its connections and keeps them going, reconnecting closed ones, until stopped. */
    static final class Attack extends Thread {
        final String kind;
        final int port;
        final AtomicBoolean on = new AtomicBoolean(true);
        final List<Long> close_ms = new ArrayList<>();
        long reconnects;

        Attack(String kind, int port) {
            this.kind = kind;
            this.port = port;
            setDaemon(true);
        }

        Socket open() throws IOException {
            Socket s = new Socket(LOOPBACK, port);
            s.getOutputStream().write(kind.equals("zero") ? new byte[0] : new byte[] {(byte) 0x80, 0, 0x10, 0});
            return s;
        }

        @Override
        public void run() {
            try {
                if (kind.equals("zero")) {
                    zero();
                    return;
                }
                int n = kind.equals("slow") ? 500 : 64;
                Socket[] socks = new Socket[n];
                for (int i = 0; i < n; i++)
                    socks[i] = open();
                while (on.get()) {
                    for (int i = 0; i < n && on.get(); i++) {
                        try {
                            if (kind.equals("slow"))
                                socks[i].getOutputStream().write(1);
                        } catch (IOException e) {
                            socks[i].close();
                            socks[i] = open();
                            reconnects++;
                        }
                    }
                    if (kind.equals("header"))
                        for (int i = 0; i < n; i++)
                            if (closed(socks[i])) {
                                socks[i].close();
                                socks[i] = open();
                                reconnects++;
                            }
                    Thread.sleep(1000);
                }
                for (Socket s : socks)
                    s.close();
            } catch (IOException | InterruptedException e) {
                System.out.println("attack stopped: " + e);
            }
        }

        static boolean closed(Socket s) throws IOException {
            s.setSoTimeout(1);
            try {
                return s.getInputStream().read() < 0;
            } catch (java.net.SocketTimeoutException e) {
                return false;
            } catch (IOException e) {
                return true;
            }
        }

        /** Eight writers of empty fragments; each measures how soon its connection is closed, and reconnects. */
        void zero() throws InterruptedException {
            List<Thread> writers = new ArrayList<>();
            for (int w = 0; w < 8; w++) {
                Thread t = new Thread(() -> {
                    byte[] empties = new byte[64 * 1024];
                    while (on.get()) {
                        long start = System.nanoTime();
                        try (Socket s = open()) {
                            OutputStream out = s.getOutputStream();
                            while (on.get())
                                out.write(empties);
                        } catch (IOException e) {
                            synchronized (close_ms) {
                                close_ms.add((System.nanoTime() - start) / 1_000_000L);
                                reconnects++;
                            }
                            try {
                                Thread.sleep(50); // a determined but not a spinning attacker
                            } catch (InterruptedException x) {
                                return;
                            }
                        }
                    }
                });
                t.setDaemon(true);
                t.start();
                writers.add(t);
            }
            for (Thread t : writers)
                t.join();
        }
    }

    public static void main(String[] args) throws Exception {
        String mode = args.length > 0 ? args[0] : "";
        switch (mode) {
        case "accept": {
            int port = Integer.parseInt(args[1]), n = Integer.parseInt(args[2]);
            long[] took = new long[1];
            drive(port, n, System.nanoTime() + 60_000_000_000L, 0, took);
            System.out.printf("accept %d connections, one call each: %.1f ms%n", n, took[0] / 1e6);
            break;
        }
        case "concurrent": {
            int port = Integer.parseInt(args[1]), n = Integer.parseInt(args[2]);
            double seconds = Double.parseDouble(args[3]);
            long now = System.nanoTime();
            long from = now + 3_000_000_000L;
            long calls = drive(port, n, from + (long) (seconds * 1e9), from, null);
            System.out.printf("concurrent %d connections: %.0f calls/s%n", n, calls / seconds);
            break;
        }
        case "attack": {
            int port = Integer.parseInt(args[1]);
            long pid = Long.parseLong(args[2]);
            String kind = args[3];
            double seconds = Double.parseDouble(args[4]);
            legit("warm-up", port, pid, 3);
            double quiet = legit("quiet", port, pid, seconds);
            Attack attack = new Attack(kind, port);
            attack.start();
            Thread.sleep(3000);
            double under = legit("attack", port, pid, seconds);
            long cpu0 = cpu_ticks(pid), t0 = System.nanoTime();
            Thread.sleep(5000);
            double alone = (cpu_ticks(pid) - cpu0) / 100.0 / ((System.nanoTime() - t0) / 1e9);
            attack.on.set(false);
            System.out.printf("%s: median under attack / quiet = %.2f; server CPU of the attack alone %.2f cores;"
                    + " attacker reconnects %d%n", kind, under / quiet, alone, attack.reconnects);
            if (kind.equals("zero")) {
                synchronized (attack.close_ms) {
                    long[] c = attack.close_ms.stream().mapToLong(Long::longValue).sorted().toArray();
                    if (c.length > 0)
                        System.out.printf("zero: %d connections closed, ms from connect to close: median %d, max %d%n",
                                c.length, c[c.length / 2], c[c.length - 1]);
                }
            }
            System.exit(0);
            break;
        }
        default:
            System.err.println("usage: java ConnBench accept PORT N | concurrent PORT N SECONDS"
                    + " | attack PORT PID slow|header|zero SECONDS");
            System.exit(2);
        }
    }
}
