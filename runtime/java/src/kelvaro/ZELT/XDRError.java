// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT;

/**
 * Thrown when data cannot be encoded or decoded as XDR: input cut short, a
 * count larger than the input left, a bool other than 0 or 1, a value out
 * of range, data nested deeper than {@link XDR#MAX_DEPTH}, a member over its
 * declared size, or a string that has no byte form. The message says which.
 *
 * <p>A call whose argument (or, on a server, whose result) holds a member
 * over its declared size fails with the member's path from the object the
 * caller gave ({@code putargs.key holds 257 bytes, more than its maximum of
 * 256}); the error itself knows only the member's own name.
 */
public class XDRError extends Exception {
    private static final long serialVersionUID = 1L;

    /** The member a size error is about, as the generated code names it; null for other errors. */
    private final String member;
    /** The value refused, for finding it in the caller's object; not kept when serialized. */
    private final transient Object value;
    /** What is wrong with the member, after its name. */
    private final String problem;

    /**
     * An error with the given message.
     *
     * @param message what went wrong
     */
    public XDRError(String message) {
        super(message);
        member = null;
        value = null;
        problem = null;
    }

    /**
     * A size error about one member: "XDR: MEMBER PROBLEM".
     *
     * @param member the member's name, as the generated code passes it
     * @param value the value refused (the string, the array), or null when it is null
     * @param problem what is wrong, such as "holds 9 items, more than its maximum of 8"
     */
    XDRError(String member, Object value, String problem) {
        super("XDR: " + member + " " + problem);
        this.member = member;
        this.value = value;
        this.problem = problem;
    }

    boolean has_member() {
        return member != null;
    }

    String member() {
        return member;
    }

    Object value() {
        return value;
    }

    String problem() {
        return problem;
    }
}
