// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT;

import java.net.InetAddress;
import java.time.Duration;
import java.util.concurrent.CompletableFuture;
import java.util.concurrent.CompletionException;
import kelvaro.ZELT.internal.codec.XdrBox;

/**
 * Base of the clients of the idiomatic output: calls procedures of one
 * program version through an {@link RpcClient}, throwing the unchecked
 * {@link RpcException} when a call fails.
 *
 * <p>Each call waits at most its time-out from its start to its result:
 * the {@code RpcClient}'s ({@link RpcClient#setTimeout}), or the one a
 * client made with {@link #withTimeout} carries. Clients made from one
 * another share the {@code RpcClient} and its connection; all are safe for
 * use by several threads at once.
 *
 * <p>The future-returning calls are the RPC client's asynchronous calls
 * ({@link RpcClient#callAsync}): no thread waits for each; the future
 * completes on the thread that read the reply, and fails with the
 * {@code RpcException} (wrapped in a {@code CompletionException} or
 * {@code ExecutionException} by the methods that wait).
 *
 * @param <S> the client class itself
 */
public abstract class RpcStub<S extends RpcStub<S>> implements AutoCloseable {
    private final RpcClient client;
    private final Duration timeout; // null: the client's

    /**
     * A client that calls through an RPC client.
     *
     * @param client the RPC client of the program version
     * @param timeout the time-out of each call, or null for the client's
     * @throws NullPointerException when client is null
     * @throws IllegalArgumentException when the time-out is not positive
     */
    protected RpcStub(RpcClient client, Duration timeout) {
        this.client = java.util.Objects.requireNonNull(client, "client");
        if (timeout != null && (timeout.isNegative() || timeout.isZero()))
            throw new IllegalArgumentException("time-out must be positive");
        this.timeout = timeout;
    }

    /**
     * The RPC client underneath, for its settings: credentials, security,
     * record limit, time-out.
     *
     * @return the RPC client
     */
    public final RpcClient rpcClient() {
        return client;
    }

    /**
     * The time-out of each call this client makes.
     *
     * @return the time-out, or null when it is the RPC client's
     */
    public final Duration timeout() {
        return timeout;
    }

    /**
     * A client on the same connection whose calls each wait at most
     * timeout, from their start to their result.
     *
     * @param timeout the time-out of each call, positive
     * @return the client
     * @throws IllegalArgumentException when the time-out is not positive
     */
    public final S withTimeout(Duration timeout) {
        if (timeout.isNegative() || timeout.isZero())
            throw new IllegalArgumentException("time-out must be positive");
        return withTimeoutCopy(timeout);
    }

    /**
     * A client of the same class on the same RPC client with another
     * time-out.
     *
     * @param timeout the time-out of each call
     * @return the client
     */
    protected abstract S withTimeoutCopy(Duration timeout);

    /**
     * Calls a procedure and returns its result, as the client's methods
     * do; public for results decoded otherwise than the generated types
     * do, such as bulk data decoded into a buffer the caller keeps
     * ({@link XDR#dec_bytes_into}).
     *
     * @param <A> the argument's type
     * @param <R> the result's type
     * @param procedure the procedure number
     * @param arg the argument
     * @param writer what encodes the argument, or null for none
     * @param reader what decodes the result, or null for none
     * @return the result, or null when there is none
     * @throws RpcException when the call fails
     */
    public final <A, R> R invoke(int procedure, A arg, XdrWriter<? super A> writer, XdrReader<? extends R> reader) {
        XdrBox<A> in = new XdrBox<>(arg, writer, null);
        XdrBox<R> out = new XdrBox<>(null, null, reader);
        try {
            if (timeout == null)
                client.call(procedure, in, out);
            else
                client.call(procedure, in, out, timeout);
        } catch (rpc_err e) {
            throw new RpcException(e);
        }
        return out.value;
    }

    /**
     * Calls a procedure without waiting for its result (see
     * {@link #invoke}).
     *
     * @param <A> the argument's type
     * @param <R> the result's type
     * @param procedure the procedure number
     * @param arg the argument
     * @param writer what encodes the argument, or null for none
     * @param reader what decodes the result, or null for none
     * @return the future of the result
     */
    public final <A, R> CompletableFuture<R> invokeAsync(int procedure, A arg, XdrWriter<? super A> writer,
            XdrReader<? extends R> reader) {
        XdrBox<A> in = new XdrBox<>(arg, writer, null);
        XdrBox<R> out = new XdrBox<>(null, null, reader);
        CompletableFuture<XdrBox<R>> call = timeout == null ? client.callAsync(procedure, in, out)
                : client.callAsync(procedure, in, out, timeout);
        return call.handle((box, failure) -> {
            if (failure == null)
                return box.value;
            Throwable cause = failure instanceof CompletionException && failure.getCause() != null ? failure.getCause()
                    : failure;
            throw new CompletionException(cause instanceof rpc_err e ? new RpcException(e) : cause);
        });
    }

    /**
     * Opens an RPC client for a program version on a host, at the port its
     * rpcbind gives.
     *
     * @param host the host name or address
     * @param program the program number
     * @param version the version number
     * @param protocol "tcp" or "udp"
     * @return the RPC client
     * @throws RpcException when it cannot be opened
     */
    protected static RpcClient open(String host, int program, int version, String protocol) {
        try {
            return RpcClient.create(host, program, version, protocol);
        } catch (rpc_err e) {
            throw new RpcException(e);
        }
    }

    /**
     * Opens an RPC client for a program version at an address and port.
     *
     * @param address the server's address
     * @param port the server's port
     * @param program the program number
     * @param version the version number
     * @param protocol "tcp" or "udp"
     * @return the RPC client
     * @throws RpcException when it cannot be opened
     */
    protected static RpcClient open(InetAddress address, int port, int program, int version, String protocol) {
        try {
            return RpcClient.create(address, port, program, version, protocol);
        } catch (rpc_err e) {
            throw new RpcException(e);
        }
    }

    /** Closes the RPC client underneath, for every client made from this one; see {@link RpcClient#close()}. */
    @Override
    public void close() {
        client.close();
    }
}
