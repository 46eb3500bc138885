// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT;

/**
 * Why a remote call failed, as {@link rpc_err#status()} reports it. Each
 * status has the text that an {@code rpc_err} message starts with, in the
 * words classic RPC clients print.
 */
public enum RpcStatus {
    /** The call succeeded. */
    SUCCESS("RPC: Success"),
    /** The arguments could not be encoded (bad value, too large, too deep); nothing was sent. */
    CANT_ENCODE_ARGS("RPC: Can't encode arguments"),
    /** The reply could not be decoded into the result. */
    CANT_DECODE_RES("RPC: Can't decode result"),
    /** The call could not be sent. */
    CANT_SEND("RPC: Unable to send"),
    /** The reply could not be received (connection closed, reset or broken). */
    CANT_RECV("RPC: Unable to receive"),
    /** No reply came within the time-out. */
    TIMED_OUT("RPC: Timed out"),
    /** The server does not speak RPC version 2. */
    VERS_MISMATCH("RPC: Incompatible versions of RPC"),
    /** The server rejected the credentials or the verifier. */
    AUTH_ERROR("RPC: Authentication error"),
    /** The server does not serve the program. */
    PROG_UNAVAIL("RPC: Program unavailable"),
    /** The server serves the program, but not this version. */
    PROG_VERS_MISMATCH("RPC: Program/version mismatch"),
    /** The program version has no such procedure. */
    PROC_UNAVAIL("RPC: Procedure unavailable"),
    /** The server could not decode the arguments. */
    CANT_DECODE_ARGS("RPC: Server can't decode arguments"),
    /**
     * The server failed while running the call ("RPC: Remote system
     * error"), or a system call failed on this side: connecting (refused,
     * no route, timed out while connecting for a new client) or opening a
     * socket; the message of such a local failure begins "RPC: Local system
     * error" instead.
     */
    SYSTEM_ERROR("RPC: Remote system error"),
    /** The host name could not be resolved. */
    UNKNOWN_HOST("RPC: Unknown host"),
    /** The protocol is neither "tcp" nor "udp". */
    UNKNOWN_PROTO("RPC: Unknown protocol"),
    /** The portmapper could not be asked. */
    PMAP_FAILURE("RPC: Port mapper failure"),
    /** The portmapper does not know the program version for the protocol. */
    PROG_NOT_REGISTERED("RPC: Program not registered"),
    /** Any other failure. */
    FAILED("RPC: Failed (unspecified error)");

    private final String text;

    RpcStatus(String text) {
        this.text = text;
    }

    /**
     * The text for this status, such as "RPC: Timed out".
     *
     * @return the text
     */
    public String text() {
        return text;
    }
}
