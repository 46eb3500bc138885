// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT;

import java.net.InetSocketAddress;

/** How an {@link RpcClient} gets a call to its server and the reply back. */
abstract class ClientTransport {
    /** Bytes to leave free in front of a call for the transport's own header. */
    abstract int header_room();

    /**
     * Sends the call in out (from offset 0, header room included, to its
     * position) and decodes the reply with this xid into result, before the
     * deadline (System.nanoTime).
     */
    abstract void call(int xid, XDR out, XDT result, long deadline, long retransmit_nanos) throws rpc_err;

    abstract void set_record_limit(int bytes);

    abstract String protocol();

    abstract InetSocketAddress remote();

    abstract void close();

    static int millis_left(long deadline) {
        long left = deadline - System.nanoTime();
        if (left <= 0)
            return 0;
        return (int) Math.max(1, Math.min(Integer.MAX_VALUE, (left + 999_999) / 1_000_000));
    }
}
