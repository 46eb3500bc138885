// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT;

import java.io.IOException;
import java.net.DatagramPacket;
import java.net.DatagramSocket;
import java.net.InetSocketAddress;
import java.net.SocketTimeoutException;

/**
 * RPC over UDP: each call is one datagram, sent again every retransmission
 * interval until the reply with its xid comes or the deadline passes.
 * Calls are serialised.
 */
final class UdpClientTransport extends ClientTransport {
    /** The largest UDP payload over IPv4. */
    static final int MAX_DATAGRAM = 65507;

    private final InetSocketAddress to;
    private final DatagramSocket socket;
    private final byte[] in_buf = new byte[65536];
    private final DatagramPacket in_packet = new DatagramPacket(in_buf, in_buf.length);
    private final XDR reply = new XDR(new byte[0]);

    UdpClientTransport(InetSocketAddress to) throws rpc_err {
        this.to = to;
        try {
            socket = new DatagramSocket();
            // Connected: datagrams from any other sender are not delivered to it.
            socket.connect(to);
        } catch (IOException e) {
            throw new rpc_err(RpcStatus.SYSTEM_ERROR, "cannot open a UDP socket to "
                    + to.getAddress().getHostAddress() + " port " + to.getPort() + ": " + e.getMessage(), e);
        }
    }

    @Override
    int header_room() {
        return 0;
    }

    @Override
    void set_record_limit(int bytes) {
        // datagrams bound the size
    }

    @Override
    String protocol() {
        return "udp";
    }

    @Override
    InetSocketAddress remote() {
        return to;
    }

    @Override
    void close() {
        socket.close();
    }

    @Override
    synchronized void call(int xid, XDR call, XDT result, long deadline, long retransmit_nanos) throws rpc_err {
        int len = call.position();
        if (len > MAX_DATAGRAM)
            throw new rpc_err(RpcStatus.CANT_ENCODE_ARGS, "call of " + len + " bytes is larger than a UDP datagram");
        if (socket.isClosed())
            throw new rpc_err(RpcStatus.CANT_SEND, "client closed");
        DatagramPacket packet = new DatagramPacket(call.buffer(), 0, len, to);
        while (true) {
            try {
                socket.send(packet);
            } catch (IOException e) {
                throw new rpc_err(RpcStatus.CANT_SEND, e.getMessage(), e);
            }
            long resend = Math.min(deadline, System.nanoTime() + retransmit_nanos);
            while (true) {
                int ms = millis_left(resend);
                if (ms == 0)
                    break;
                try {
                    socket.setSoTimeout(ms);
                    in_packet.setData(in_buf);
                    socket.receive(in_packet);
                } catch (SocketTimeoutException e) {
                    break;
                } catch (IOException e) {
                    throw new rpc_err(RpcStatus.CANT_RECV, e.getMessage(), e);
                }
                int n = in_packet.getLength();
                if (n < 4)
                    continue;
                reply.reset_decode(in_buf, 0, n);
                try {
                    if (reply.dec_int() != xid)
                        continue; // a late reply to an earlier call
                } catch (XDRError e) {
                    continue;
                }
                RpcClient.decode_reply(reply, result);
                return;
            }
            if (deadline - System.nanoTime() <= 0)
                throw new rpc_err(RpcStatus.TIMED_OUT);
        }
    }
}
