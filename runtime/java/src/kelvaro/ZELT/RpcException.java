// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT;

/**
 * Thrown, unchecked, by the clients of the idiomatic output when a remote
 * call fails. {@link #status()} says why; the message and cause are those
 * of the {@link rpc_err} the call failed with.
 */
public class RpcException extends RuntimeException {
    private static final long serialVersionUID = 1L;

    /** Why the call failed. */
    private final RpcStatus status;

    /**
     * The exception of a failed call.
     *
     * @param cause what the call failed with
     */
    public RpcException(rpc_err cause) {
        super(cause.getMessage(), cause);
        this.status = cause.status();
    }

    /**
     * An exception with a status and details.
     *
     * @param status why the call failed
     * @param detail what follows the status text after "; ", or null
     */
    public RpcException(RpcStatus status, String detail) {
        this(new rpc_err(status, detail));
    }

    /**
     * Why the call failed.
     *
     * @return the status
     */
    public RpcStatus status() {
        return status;
    }
}
