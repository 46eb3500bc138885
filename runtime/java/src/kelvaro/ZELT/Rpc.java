// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT;

/** Numbers of the RPC version 2 message protocol (RFC 5531) and of the portmapper (RFC 1833). */
public final class Rpc {
    private Rpc() {
    }

    /** The RPC protocol version this runtime speaks. */
    public static final int RPC_VERSION = 2;

    /** msg_type of a call. */
    public static final int CALL = 0;
    /** msg_type of a reply. */
    public static final int REPLY = 1;

    /** reply_stat: the call was accepted. */
    public static final int MSG_ACCEPTED = 0;
    /** reply_stat: the call was denied. */
    public static final int MSG_DENIED = 1;

    /** accept_stat: the call ran. */
    public static final int SUCCESS = 0;
    /** accept_stat: the program is not served. */
    public static final int PROG_UNAVAIL = 1;
    /** accept_stat: the version is not served; the lowest and highest follow. */
    public static final int PROG_MISMATCH = 2;
    /** accept_stat: no such procedure. */
    public static final int PROC_UNAVAIL = 3;
    /** accept_stat: the arguments could not be decoded. */
    public static final int GARBAGE_ARGS = 4;
    /** accept_stat: the server failed while running the call. */
    public static final int SYSTEM_ERR = 5;

    /** reject_stat: the RPC version is not 2; the lowest and highest follow. */
    public static final int RPC_MISMATCH = 0;
    /** reject_stat: authentication failed; an auth_stat follows. */
    public static final int AUTH_ERROR = 1;

    /** auth_stat: bad credential (seal broken, malformed or oversized). */
    public static final int AUTH_BADCRED = 1;
    /** auth_stat: the client must begin a new session; given for flavours this runtime does not know. */
    public static final int AUTH_REJECTEDCRED = 2;
    /** auth_stat: bad verifier (malformed or oversized). */
    public static final int AUTH_BADVERF = 3;
    /** auth_stat: the verifier expired or was replayed. */
    public static final int AUTH_REJECTEDVERF = 4;
    /** auth_stat: rejected for security reasons. */
    public static final int AUTH_TOOWEAK = 5;

    /** Authentication flavour: none. */
    public static final int AUTH_NONE = 0;
    /** Authentication flavour: AUTH_SYS (uid, gid and gids). */
    public static final int AUTH_SYS = 1;
    /** The largest credential or verifier body RFC 5531 allows, in bytes. */
    public static final int MAX_AUTH_BYTES = 400;

    /** Protocol number of TCP, as the portmapper uses it. */
    public static final int IPPROTO_TCP = 6;
    /** Protocol number of UDP, as the portmapper uses it. */
    public static final int IPPROTO_UDP = 17;

    /** The portmapper's program number. */
    public static final int PMAP_PROG = 100000;
    /** The portmapper version used here. */
    public static final int PMAP_VERS = 2;
    /** Portmapper procedure: register a mapping. */
    public static final int PMAPPROC_SET = 1;
    /** Portmapper procedure: remove the mappings of a program version. */
    public static final int PMAPPROC_UNSET = 2;
    /** Portmapper procedure: look a port up. */
    public static final int PMAPPROC_GETPORT = 3;
    /** The portmapper's well-known port. */
    public static final int PMAP_PORT = 111;
}
