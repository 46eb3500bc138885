// SPDX-License-Identifier: Apache-2.0
import java.io.ByteArrayOutputStream;
import java.io.DataInputStream;
import java.io.EOFException;
import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.net.DatagramPacket;
import java.net.DatagramSocket;
import java.net.InetAddress;
import java.net.Socket;

/** Hand-built RPC messages and raw transport for the tests: hex text, record marking, datagrams. */
final class Wire {
    private Wire() {
    }

    static final InetAddress LOOPBACK = InetAddress.getLoopbackAddress();

    /** Bytes from hex text; blanks are ignored ("0000 0001" is four bytes). */
    static byte[] hex(String text) {
        String digits = text.replace(" ", "");
        byte[] b = new byte[digits.length() / 2];
        for (int i = 0; i < b.length; i++)
            b[i] = (byte) Integer.parseInt(digits.substring(2 * i, 2 * i + 2), 16);
        return b;
    }

    static String show(byte[] b) {
        StringBuilder s = new StringBuilder();
        for (int i = 0; i < b.length; i++)
            s.append(i > 0 && i % 4 == 0 ? " " : "").append(String.format("%02x", b[i]));
        return s.toString();
    }

    static String word(int v) {
        return String.format("%08x ", v);
    }

    /** A CALL header with AUTH_NONE credentials and verifier, as hex. */
    static String call(int xid, int prog, int vers, int proc) {
        return call(xid, 2, prog, vers, proc, "00000000 00000000");
    }

    /** A CALL header with the given RPC version and credential (flavour, length, body) as hex. */
    static String call(int xid, int rpcvers, int prog, int vers, int proc, String cred) {
        return word(xid) + "00000000 " + word(rpcvers) + word(prog) + word(vers) + word(proc) + cred + " 00000000 00000000 ";
    }

    /** The start of a MSG_ACCEPTED reply with an AUTH_NONE verifier, as hex; the accept status follows. */
    static String accepted(int xid) {
        return word(xid) + "00000001 00000000 00000000 00000000 ";
    }

    /** Writes the record as one fragment. */
    static void send(OutputStream out, byte[] record) throws IOException {
        ByteArrayOutputStream wire = new ByteArrayOutputStream();
        int h = 0x80000000 | record.length;
        wire.write(new byte[] {(byte) (h >>> 24), (byte) (h >>> 16), (byte) (h >>> 8), (byte) h});
        wire.write(record);
        out.write(wire.toByteArray());
        out.flush();
    }

    /** Reads one record; null when the stream ends before one starts. */
    static byte[] receive(InputStream in) throws IOException {
        DataInputStream data = new DataInputStream(in);
        ByteArrayOutputStream record = new ByteArrayOutputStream();
        while (true) {
            int b0 = data.read();
            if (b0 < 0) {
                if (record.size() == 0)
                    return null;
                throw new EOFException("stream ended inside a record");
            }
            int h = b0 << 24 | data.readUnsignedByte() << 16 | data.readUnsignedByte() << 8 | data.readUnsignedByte();
            byte[] fragment = new byte[h & 0x7fffffff];
            data.readFully(fragment);
            record.write(fragment);
            if (h < 0)
                return record.toByteArray();
        }
    }

    /** Sends a record on the connection and returns the reply record (null: the server closed it). */
    static byte[] exchange(Socket s, byte[] record) throws IOException {
        send(s.getOutputStream(), record);
        try {
            return receive(s.getInputStream());
        } catch (java.net.SocketException e) {
            return null; // reset by the server
        }
    }

    /** Sends a datagram and returns the answer. */
    static byte[] exchange(DatagramSocket s, int port, byte[] datagram) throws IOException {
        s.send(new DatagramPacket(datagram, datagram.length, LOOPBACK, port));
        byte[] buf = new byte[65536];
        DatagramPacket p = new DatagramPacket(buf, buf.length);
        s.receive(p);
        return java.util.Arrays.copyOf(buf, p.getLength());
    }

    /** A geo polygon that encodes: its fixed array of corners filled. */
    static polygon polygon(String name) {
        polygon p = new polygon();
        p.name = name;
        for (int i = 0; i < p.corners.length; i++)
            p.corners[i] = new point();
        return p;
    }

    /** A linked list of n geo nodes, 1..n, built without recursion. */
    static node list(int n) {
        node head = null;
        for (int i = n; i >= 1; i--) {
            node x = new node();
            x.v = i;
            x.next = head;
            head = x;
        }
        return head;
    }

    /** The length of a list, counted without recursion; -1 when a value is out of order. */
    static int length(node head) {
        int n = 0;
        for (node x = head; x != null; x = x.next)
            if (x.v != ++n)
                return -1;
        return n;
    }

    /** The XDR bytes of a list of n nodes as hex-free bytes: v, TRUE ... v, FALSE. */
    static byte[] list_bytes(int n) {
        byte[] b = new byte[8 * n];
        for (int i = 0; i < n; i++) {
            int v = i + 1;
            b[8 * i] = (byte) (v >>> 24);
            b[8 * i + 1] = (byte) (v >>> 16);
            b[8 * i + 2] = (byte) (v >>> 8);
            b[8 * i + 3] = (byte) v;
            b[8 * i + 7] = (byte) (i + 1 < n ? 1 : 0);
        }
        return b;
    }

    static byte[] concat(byte[]... parts) {
        ByteArrayOutputStream out = new ByteArrayOutputStream();
        for (byte[] p : parts)
            out.writeBytes(p);
        return out.toByteArray();
    }
}
