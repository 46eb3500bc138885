// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT;

/**
 * Thrown when a remote call cannot be completed. {@link #status()} says
 * why; the message is the status's text, as classic RPC clients print it,
 * followed by details after "; " where there are any, for example
 * "RPC: Program/version mismatch; low version = 1, high version = 2".
 */
public class rpc_err extends Exception {
    private static final long serialVersionUID = 1L;

    /** Why the call failed. */
    private final RpcStatus status;

    /**
     * An error with the given status and no details.
     *
     * @param status why the call failed
     */
    public rpc_err(RpcStatus status) {
        this(status, null, null);
    }

    /**
     * An error with the given status and details.
     *
     * @param status why the call failed
     * @param detail what follows the status text after "; ", or null
     */
    public rpc_err(RpcStatus status, String detail) {
        this(status, detail, null);
    }

    /**
     * An error with the given status, details and cause.
     *
     * @param status why the call failed
     * @param detail what follows the status text after "; ", or null
     * @param cause the exception behind it, or null
     */
    public rpc_err(RpcStatus status, String detail, Throwable cause) {
        super(detail == null || detail.isEmpty() ? status.text() : status.text() + "; " + detail, cause);
        this.status = status;
    }

    /**
     * A local failure of status {@link RpcStatus#SYSTEM_ERROR} (a socket
     * that could not be opened or connected on this side): its message
     * says so, "RPC: Local system error; " and the details, instead of the
     * status text, which speaks of the remote side.
     */
    static rpc_err local(String detail, Throwable cause) {
        return new rpc_err(RpcStatus.SYSTEM_ERROR, LOCAL_TEXT + "; " + detail, cause, true);
    }

    /** The text of a local system error. */
    static final String LOCAL_TEXT = "RPC: Local system error";

    private rpc_err(RpcStatus status, String message, Throwable cause, boolean whole) {
        super(message, cause);
        this.status = status;
    }

    /**
     * An error of status {@link RpcStatus#FAILED} with the given message as
     * it stands.
     *
     * @param message the message
     */
    public rpc_err(String message) {
        this(message, null);
    }

    /**
     * An error of status {@link RpcStatus#FAILED} with the given message as
     * it stands and a cause.
     *
     * @param message the message
     * @param cause the exception behind it, or null
     */
    public rpc_err(String message, Throwable cause) {
        super(message, cause);
        this.status = RpcStatus.FAILED;
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
