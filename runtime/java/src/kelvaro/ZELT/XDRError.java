package kelvaro.ZELT;

/** Raised when data cannot be encoded or decoded as XDR (short input, bad length, bad bool...). */
public class XDRError extends Exception {
    private static final long serialVersionUID = 1L;

    public XDRError(String message) {
        super(message);
    }
}
