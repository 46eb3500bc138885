// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT;

import java.util.Objects;

/**
 * RPCSEC_GSS credentials for a client: who the client is, which server
 * principal it talks to, and the service its calls get. Give them to a
 * client with {@link RpcClient#setSecurity}:
 *
 * <pre>{@code
 * GssIdentity alice = GssIdentity.clientFromKeytab("alice@EXAMPLE.ORG", Path.of("alice.keytab"));
 * RpcClient client = RpcClient.create(InetAddress.getByName("server.example.org"), port, PROG, VERS, "tcp");
 * client.setSecurity(RpcSecGss.forService(alice, "nfs@server.example.org", GssService.PRIVACY));
 * }</pre>
 *
 * <p>What the client does with them is described at {@link RpcClient#setSecurity}.
 * Immutable; one value may serve several clients, each of which makes its
 * own context.
 */
public final class RpcSecGss {
    private final GssIdentity identity;
    private final String target;
    private final boolean host_based;
    private final GssService service;

    private RpcSecGss(GssIdentity identity, String target, boolean host_based, GssService service) {
        this.identity = Objects.requireNonNull(identity, "identity");
        this.target = Objects.requireNonNull(target, "target");
        this.host_based = host_based;
        this.service = Objects.requireNonNull(service, "service");
    }

    /**
     * Credentials for a host-based service name such as
     * {@code nfs@server.example.org}, which Kerberos turns into the principal
     * {@code nfs/server.example.org@REALM} with the realm of that host.
     *
     * @param identity who the client is
     * @param serviceAtHost the service name, {@code service@host}
     * @param service the protection of each call
     * @return the credentials
     */
    public static RpcSecGss forService(GssIdentity identity, String serviceAtHost, GssService service) {
        return new RpcSecGss(identity, serviceAtHost, true, service);
    }

    /**
     * Credentials for a server known by its full principal name, such as
     * {@code nfs/server.example.org@EXAMPLE.ORG}.
     *
     * @param identity who the client is
     * @param principal the server's principal
     * @param service the protection of each call
     * @return the credentials
     */
    public static RpcSecGss forPrincipal(GssIdentity identity, String principal, GssService service) {
        return new RpcSecGss(identity, principal, false, service);
    }

    /**
     * The service each call gets.
     *
     * @return the service
     */
    public GssService service() {
        return service;
    }

    /**
     * The server's name as given.
     *
     * @return the service name or principal
     */
    public String target() {
        return target;
    }

    GssIdentity identity() {
        return identity;
    }

    boolean host_based() {
        return host_based;
    }

    /**
     * The credentials as text, for logs.
     *
     * @return the text
     */
    @Override
    public String toString() {
        return "RpcSecGss[" + identity + " -> " + target + ", " + service + "]";
    }
}
