// SPDX-License-Identifier: Apache-2.0
import java.io.IOException;
import java.io.OutputStream;
import java.net.DatagramPacket;
import java.net.DatagramSocket;
import java.net.ServerSocket;
import java.net.Socket;
import java.util.Arrays;
import java.util.List;
import java.util.concurrent.CopyOnWriteArrayList;

/**
 * A peer that answers calls as a test script says, over TCP (every
 * connection, every record) or UDP; it records the calls it got.
 */
final class Scripted implements AutoCloseable {
    interface Script {
        /** Answers call number n (from 0) by writing to out, or not at all; out is null over UDP (return the reply). */
        byte[] answer(int n, byte[] call, OutputStream out) throws IOException;
    }

    final List<byte[]> calls = new CopyOnWriteArrayList<>();
    private final ServerSocket listener;
    private final DatagramSocket datagrams;
    private final Thread thread;

    private Scripted(ServerSocket listener, DatagramSocket datagrams, Script script) {
        this.listener = listener;
        this.datagrams = datagrams;
        thread = new Thread(() -> serve(script), "scripted peer");
        thread.setDaemon(true);
        thread.start();
    }

    static Scripted tcp(Script script) throws IOException {
        return new Scripted(new ServerSocket(0, 50, Wire.LOOPBACK), null, script);
    }

    static Scripted udp(Script script) throws IOException {
        return new Scripted(null, new DatagramSocket(0, Wire.LOOPBACK), script);
    }

    int port() {
        return listener != null ? listener.getLocalPort() : datagrams.getLocalPort();
    }

    private void serve(Script script) {
        try {
            if (datagrams != null) {
                byte[] buf = new byte[65536];
                while (true) {
                    DatagramPacket p = new DatagramPacket(buf, buf.length);
                    datagrams.receive(p);
                    byte[] call = Arrays.copyOf(buf, p.getLength());
                    calls.add(call);
                    byte[] reply = script.answer(calls.size() - 1, call, null);
                    if (reply != null)
                        datagrams.send(new DatagramPacket(reply, reply.length, p.getSocketAddress()));
                }
            }
            while (true) {
                Socket s = listener.accept();
                Thread t = new Thread(() -> {
                    try (s) {
                        byte[] call;
                        while ((call = Wire.receive(s.getInputStream())) != null) {
                            calls.add(call);
                            script.answer(calls.size() - 1, call, s.getOutputStream());
                        }
                    } catch (IOException e) {
                        // the client went away
                    }
                });
                t.setDaemon(true);
                t.start();
            }
        } catch (IOException e) {
            // closed
        }
    }

    /** The reply to call, after its xid, with the given hex body. */
    static byte[] reply(byte[] call, String body) {
        return Wire.concat(Arrays.copyOf(call, 4), Wire.hex(body));
    }

    @Override
    public void close() throws IOException {
        if (listener != null)
            listener.close();
        if (datagrams != null)
            datagrams.close();
    }
}
