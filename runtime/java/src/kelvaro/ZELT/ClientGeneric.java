// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT;

import java.net.InetAddress;

/**
 * Base of generated client classes: holds the {@link RpcClient} of one
 * program version, which the generated methods call through
 * {@link #getClient()}. Set time-outs and credentials on that client.
 */
public class ClientGeneric implements AutoCloseable {
    private final RpcClient client;

    /**
     * A client without a connection: every call fails with
     * {@link RpcStatus#CANT_SEND}.
     *
     * @throws rpc_err never; declared for the generated constructors
     */
    public ClientGeneric() throws rpc_err {
        client = RpcClient.unconnected();
    }

    /**
     * A client for the program version at a known address and port.
     *
     * @param host the server's address
     * @param prog the program number
     * @param ver the version number
     * @param port the server's port
     * @param proto "tcp" or "udp", in any case
     * @throws rpc_err as {@link RpcClient#create(InetAddress, int, int, int, String)}
     */
    public ClientGeneric(InetAddress host, int prog, int ver, int port, String proto) throws rpc_err {
        client = RpcClient.create(host, port, prog, ver, proto);
    }

    /**
     * A client for the program version on a host, at the port that the
     * host's portmapper gives for the protocol.
     *
     * @param host the server's host name or address
     * @param prog the program number
     * @param ver the version number
     * @param proto "tcp" or "udp", in any case
     * @throws rpc_err as {@link RpcClient#create(String, int, int, String)}
     */
    public ClientGeneric(String host, int prog, int ver, String proto) throws rpc_err {
        client = RpcClient.create(host, prog, ver, proto);
    }

    /**
     * The client that the generated methods call.
     *
     * @return the client
     */
    public RpcClient getClient() {
        return client;
    }

    /** Closes the connection; see {@link RpcClient#close()}. */
    @Override
    public void close() {
        client.close();
    }
}
