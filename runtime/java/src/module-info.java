// SPDX-License-Identifier: Apache-2.0
/**
 * The runtime that the Java code written by {@code vorlith} calls: XDR and
 * ONC RPC over TCP and UDP, the portmapper and RPCSEC_GSS. Its one
 * exported package, {@link kelvaro.ZELT}, holds everything that generated
 * code and its users name; the packages under {@code kelvaro.ZELT.internal}
 * (transports, record framing, the connection table, RPCSEC_GSS on the
 * wire) are the implementation and are not exported.
 *
 * <p>A module that uses generated classes requires this one:
 * <pre>{@code
 * module app {
 *     requires kelvaro.zelt;
 *     exports app.rpc to kelvaro.zelt;   // the package of the generated classes
 * }
 * }</pre>
 * Exporting the generated classes' package to this module lets a server
 * read the procedure numbers of the generated interfaces (for the choice
 * between PROC_UNAVAIL and SYSTEM_ERR when a service returns null) and
 * lets size errors name the member's path in the caller's object; without
 * it both still work, with the plainer answer and message.
 */
module kelvaro.zelt {
    exports kelvaro.ZELT;

    // GssAuthenticator and GssIdentity throw org.ietf.jgss.GSSException.
    requires transitive java.security.jgss;
    // The RPCSEC_GSS integrity and privacy code reads the session key through com.sun.security.jgss.
    requires jdk.security.jgss;
    // GssIdentity logs in with the Kerberos login module.
    requires jdk.security.auth;
}
