// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT;

import java.nio.file.Path;
import java.security.PrivilegedActionException;
import java.security.PrivilegedExceptionAction;
import java.util.HashMap;
import java.util.Map;
import javax.security.auth.Subject;
import javax.security.auth.login.AppConfigurationEntry;
import javax.security.auth.login.Configuration;
import javax.security.auth.login.LoginContext;
import javax.security.auth.login.LoginException;
import kelvaro.ZELT.internal.gss.GssAction;
import org.ietf.jgss.GSSException;

/**
 * Who this side is in Kerberos: a principal with its keys from a keytab, or
 * the tickets of a ticket cache. A client uses one to prove who it is
 * ({@link RpcSecGss}); a server uses one made from its service keytab to
 * accept callers ({@link GssAuthenticator}). Made with the JDK's Kerberos
 * login module, without a JAAS configuration file; where the KDC is comes
 * from the Kerberos configuration the JDK reads (the system property
 * {@code java.security.krb5.conf}, else {@code /etc/krb5.conf}).
 * Immutable and thread-safe.
 */
public final class GssIdentity {
    private final Subject subject;
    private final String description;

    private GssIdentity(Subject subject, String description) {
        this.subject = subject;
        this.description = description;
    }

    /**
     * A client identity: the principal's keys from a keytab, with which it
     * gets its own tickets from the KDC.
     *
     * @param principal the principal, for example {@code alice@EXAMPLE.ORG}
     * @param keytab the keytab file holding the principal's keys
     * @return the identity, logged in
     * @throws LoginException when the keytab has no keys for the principal
     *         or the KDC refuses them
     */
    public static GssIdentity clientFromKeytab(String principal, Path keytab) throws LoginException {
        Map<String, String> o = new HashMap<>();
        o.put("useKeyTab", "true");
        o.put("keyTab", keytab.toString());
        o.put("principal", principal);
        o.put("storeKey", "true");
        o.put("doNotPrompt", "true");
        o.put("refreshKrb5Config", "true");
        return login(o, "client " + principal);
    }

    /**
     * A client identity from a ticket cache that {@code kinit} filled.
     *
     * @param ticketCache the cache file, or null for the default one
     *        ({@code KRB5CCNAME} when it names a file, else
     *        {@code /tmp/krb5cc_<uid>})
     * @return the identity
     * @throws LoginException when the cache holds no valid ticket-granting ticket
     */
    public static GssIdentity clientFromTicketCache(Path ticketCache) throws LoginException {
        Map<String, String> o = new HashMap<>();
        o.put("useTicketCache", "true");
        if (ticketCache != null)
            o.put("ticketCache", ticketCache.toString());
        o.put("doNotPrompt", "true");
        o.put("refreshKrb5Config", "true");
        return login(o, "ticket cache " + (ticketCache == null ? "(default)" : ticketCache.toString()));
    }

    /**
     * A server identity: the service's keys from a keytab. The server asks
     * no KDC; it decrypts the tickets that callers present.
     *
     * @param principal the service principal, for example
     *        {@code nfs/server.example.org@EXAMPLE.ORG}, or null to accept
     *        tickets for any principal the keytab has keys for
     * @param keytab the keytab file
     * @return the identity
     * @throws LoginException when the keytab cannot be read or has no keys
     *         for the principal
     */
    public static GssIdentity serverFromKeytab(String principal, Path keytab) throws LoginException {
        Map<String, String> o = new HashMap<>();
        o.put("useKeyTab", "true");
        o.put("keyTab", keytab.toString());
        o.put("principal", principal == null ? "*" : principal);
        o.put("storeKey", "true");
        o.put("doNotPrompt", "true");
        o.put("isInitiator", "false");
        o.put("refreshKrb5Config", "true");
        return login(o, "service " + (principal == null ? "(any in keytab)" : principal));
    }

    private static GssIdentity login(Map<String, String> options, String description) throws LoginException {
        Configuration config = new Configuration() {
            @Override
            public AppConfigurationEntry[] getAppConfigurationEntry(String name) {
                return new AppConfigurationEntry[] {new AppConfigurationEntry(
                        "com.sun.security.auth.module.Krb5LoginModule",
                        AppConfigurationEntry.LoginModuleControlFlag.REQUIRED, options)};
            }
        };
        LoginContext lc = new LoginContext("kelvaro.ZELT", new Subject(), null, config);
        lc.login();
        return new GssIdentity(lc.getSubject(), description);
    }

    /** Runs the action as this identity, so that the Kerberos mechanism finds its keys and tickets. */
    @SuppressWarnings("removal")
    <T> T run(GssAction<T> action) throws GSSException {
        try {
            return Subject.doAs(subject, (PrivilegedExceptionAction<T>) action::run);
        } catch (PrivilegedActionException e) {
            Throwable c = e.getCause();
            if (c instanceof GSSException)
                throw (GSSException) c;
            if (c instanceof RuntimeException)
                throw (RuntimeException) c;
            throw new GSSException(GSSException.FAILURE, -1, String.valueOf(c));
        }
    }

    /**
     * What this identity is, for logs.
     *
     * @return a short description
     */
    @Override
    public String toString() {
        return "GssIdentity[" + description + "]";
    }
}
