// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT;

/**
 * Thrown when data cannot be encoded or decoded as XDR: input cut short, a
 * count larger than the input left, a bool other than 0 or 1, a value out
 * of range, data nested deeper than {@link XDR#MAX_DEPTH}, or a string that
 * has no byte form. The message says which.
 */
public class XDRError extends Exception {
    private static final long serialVersionUID = 1L;

    /**
     * An error with the given message.
     *
     * @param message what went wrong
     */
    public XDRError(String message) {
        super(message);
    }
}
