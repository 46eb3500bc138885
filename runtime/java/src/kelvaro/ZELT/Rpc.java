package kelvaro.ZELT;

/** Numbers of the RPC version 2 message protocol (RFC 5531) and the portmapper (RFC 1833). */
public final class Rpc {
    private Rpc() {
    }

    public static final int RPC_VERSION = 2;

    // msg_type
    public static final int CALL = 0;
    public static final int REPLY = 1;

    // reply_stat
    public static final int MSG_ACCEPTED = 0;
    public static final int MSG_DENIED = 1;

    // accept_stat
    public static final int SUCCESS = 0;
    public static final int PROG_UNAVAIL = 1;
    public static final int PROG_MISMATCH = 2;
    public static final int PROC_UNAVAIL = 3;
    public static final int GARBAGE_ARGS = 4;
    public static final int SYSTEM_ERR = 5;

    // reject_stat
    public static final int RPC_MISMATCH = 0;
    public static final int AUTH_ERROR = 1;

    public static final int AUTH_NONE = 0;

    public static final int IPPROTO_TCP = 6;
    public static final int IPPROTO_UDP = 17;

    // portmapper program, version 2
    public static final int PMAP_PROG = 100000;
    public static final int PMAP_VERS = 2;
    public static final int PMAPPROC_SET = 1;
    public static final int PMAPPROC_UNSET = 2;
    public static final int PMAPPROC_GETPORT = 3;
    public static final int PMAP_PORT = 111;

    /** A readable name for an accept_stat value. */
    static String accept_text(int stat) {
        switch (stat) {
        case SUCCESS: return "success";
        case PROG_UNAVAIL: return "program unavailable";
        case PROG_MISMATCH: return "program version mismatch";
        case PROC_UNAVAIL: return "procedure unavailable";
        case GARBAGE_ARGS: return "server could not decode the arguments";
        case SYSTEM_ERR: return "system error on the server";
        default: return "unknown accept status " + stat;
        }
    }
}
