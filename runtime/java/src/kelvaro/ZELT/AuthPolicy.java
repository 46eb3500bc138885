// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT;

import java.util.Objects;

/**
 * Which credentials a program version accepts, set with
 * {@link Svc#setAuthPolicy}. Without a policy a service accepts AUTH_NONE
 * and AUTH_SYS and refuses RPCSEC_GSS with AUTH_REJECTEDCRED.
 *
 * <p>{@link #requireGss} lets in RPCSEC_GSS calls whose service is at least
 * the one given and refuses every other call: AUTH_NONE and AUTH_SYS with
 * AUTH_TOOWEAK, RPCSEC_GSS data calls with a weaker service with
 * AUTH_TOOWEAK too (context creation itself is allowed with any service:
 * the client picks the service per call). {@link #allowGss} accepts
 * RPCSEC_GSS with any service beside AUTH_NONE and AUTH_SYS, for a service
 * that looks at {@link CallContext#principal()} itself. Immutable.
 */
public final class AuthPolicy {
    private final GssAuthenticator gss;
    private final GssService minimum; // null: GSS not required

    private AuthPolicy(GssAuthenticator gss, GssService minimum) {
        this.gss = Objects.requireNonNull(gss, "authenticator");
        this.minimum = minimum;
    }

    /**
     * RPCSEC_GSS required, with at least the given service.
     *
     * @param authenticator the server side of RPCSEC_GSS (may be shared by
     *        several services, which then share its contexts)
     * @param minimum the weakest service let in
     * @return the policy
     */
    public static AuthPolicy requireGss(GssAuthenticator authenticator, GssService minimum) {
        return new AuthPolicy(authenticator, Objects.requireNonNull(minimum, "minimum"));
    }

    /**
     * RPCSEC_GSS with any service, AUTH_NONE and AUTH_SYS accepted.
     *
     * @param authenticator the server side of RPCSEC_GSS
     * @return the policy
     */
    public static AuthPolicy allowGss(GssAuthenticator authenticator) {
        return new AuthPolicy(authenticator, null);
    }

    /**
     * The server side of RPCSEC_GSS this policy uses.
     *
     * @return the authenticator
     */
    public GssAuthenticator authenticator() {
        return gss;
    }

    /**
     * The weakest RPCSEC_GSS service let in.
     *
     * @return the service, or null when RPCSEC_GSS is not required
     */
    public GssService minimum() {
        return minimum;
    }

    /**
     * The policy as text, for logs.
     *
     * @return the text
     */
    @Override
    public String toString() {
        return minimum == null ? "AuthPolicy[RPCSEC_GSS allowed]" : "AuthPolicy[RPCSEC_GSS " + minimum + " or better required]";
    }
}
