// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT;

import java.io.IOException;
import java.net.DatagramPacket;
import java.net.DatagramSocket;
import java.net.InetSocketAddress;

/**
 * The UDP side of an {@link RpcServer}: one thread with a large stack
 * receives each datagram, runs its call and sends the reply to the sender
 * from the same socket, so UDP calls run one at a time. A reply larger than
 * a datagram is answered with SYSTEM_ERR.
 */
final class UdpServer {
    private final CallDispatcher dispatcher;
    private final DatagramSocket socket;
    private final Thread receiver;
    private volatile boolean closed;

    UdpServer(CallDispatcher dispatcher, DatagramSocket socket, long stack_size) {
        this.dispatcher = dispatcher;
        this.socket = socket;
        receiver = new Thread(null, this::receive_loop, "kelvaro-zelt udp " + socket.getLocalPort(), stack_size);
        receiver.setDaemon(true);
    }

    void start() {
        receiver.start();
    }

    int port() {
        return socket.getLocalPort();
    }

    private void receive_loop() {
        byte[] buf = new byte[65536];
        DatagramPacket packet = new DatagramPacket(buf, buf.length);
        XDR call = new XDR(new byte[0]);
        XDR reply = new XDR(1024);
        while (!closed) {
            try {
                packet.setData(buf);
                socket.receive(packet);
                InetSocketAddress sender = (InetSocketAddress) packet.getSocketAddress();
                reply.reset_encode(0);
                if (!dispatcher.dispatch(buf, 0, packet.getLength(), call, reply, sender, "udp",
                        UdpClientTransport.MAX_DATAGRAM))
                    continue;
                socket.send(new DatagramPacket(reply.buffer(), 0, reply.position(), sender));
                if (reply.capacity() > RecordReader.KEEP)
                    reply = new XDR(1024);
            } catch (IOException e) {
                if (closed)
                    return;
                // An unreachable sender or a send that failed loses that one reply.
            } catch (RuntimeException | Error e) {
                if (closed)
                    return;
                // Keep serving the other callers.
            }
        }
    }

    void close() {
        closed = true;
        socket.close();
        try {
            receiver.join(5000);
        } catch (InterruptedException e) {
            Thread.currentThread().interrupt();
        }
    }
}
