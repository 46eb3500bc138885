package kelvaro.ZELT;

/** Raised by a client when a remote call cannot be completed; the message says why. */
public class rpc_err extends Exception {
    private static final long serialVersionUID = 1L;

    public rpc_err(String message) {
        super(message);
    }

    public rpc_err(String message, Throwable cause) {
        super(message, cause);
    }
}
