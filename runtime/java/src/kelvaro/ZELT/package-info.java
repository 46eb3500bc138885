// SPDX-License-Identifier: Apache-2.0
/**
 * The runtime that the Java code written by {@code vorlith} calls: XDR
 * (RFC 4506) and ONC RPC version 2 (RFC 5531) over TCP and UDP, with the
 * portmapper (RFC 1833). Java 17, nothing beyond the JDK.
 *
 * <h2>What generated code uses</h2>
 * Data-type classes implement {@link kelvaro.ZELT.XDT} and encode through
 * {@link kelvaro.ZELT.XDR}; enum classes extend {@link kelvaro.ZELT.XDTint};
 * built-in types travel in the wrappers {@code XDTint}, {@code XDTString}
 * and the others. A client class extends {@link kelvaro.ZELT.ClientGeneric}
 * and calls {@link kelvaro.ZELT.RpcClient#call} (with {@code vorlith --async}
 * also {@link kelvaro.ZELT.RpcClient#callAsync}); a server class extends
 * {@link kelvaro.ZELT.Svc} and implements {@code proc_call}.
 *
 * <h2>The module</h2>
 * The jar is the module {@code kelvaro.zelt}, and this package is the one
 * it exports; the implementation is in packages under
 * {@code kelvaro.ZELT.internal}, which it does not export (on the class
 * path, their public classes are no API either). A module of generated
 * classes requires it and exports their package to it, so that a server
 * can read the procedure numbers of the generated interfaces and size
 * errors can name the member's path in the caller's object:
 * <pre>{@code
 * module com.example.app {
 *     requires kelvaro.zelt;
 *     exports com.example.kv to kelvaro.zelt;
 * }
 * }</pre>
 *
 * <h2>Writing a client</h2>
 * <pre>{@code
 * try (KVSTORE_cln kv = new KVSTORE_cln("server.example", "tcp")) {   // asks the portmapper
 *     kv.getClient().setTimeout(Duration.ofSeconds(5));
 *     kv.getClient().setCredentials(new AuthSys(0, "me", 1000, 1000, null));
 *     getres r = kv.KV_GET(key);
 * } catch (rpc_err e) {
 *     System.err.println(e.getMessage());   // "RPC: Program not registered", ...
 * }
 * }</pre>
 *
 * <h2>Writing a server</h2>
 * <pre>{@code
 * class Store extends KVSTORE_svcb {   // implement the abstract methods
 *     public getres KV_GET(kvkey key) {
 *         CallContext call = Svc.currentCall();   // caller's address and credentials
 *         ...
 *     }
 * }
 * try (RpcServer server = new RpcServer()) {
 *     server.add(new Store());
 *     server.add(new StoreV2());       // version 2 on the same port
 *     server.start();
 *     server.register();
 *     ...
 * }
 * }</pre>
 *
 * <h2>Running a server in the open</h2>
 * Settings go in a {@link kelvaro.ZELT.ServerSettings} given whole to the
 * server. A server reads every TCP connection without blocking and runs
 * whole calls on a pool of threads that TCP and UDP share, so slow,
 * stalled or silent peers keep nobody else waiting; each bound in the
 * table below closes the connection that breaks it. A free thread takes
 * the next client address in turn, and of that address the next
 * connection (or its UDP calls) in turn: a connection with a thousand
 * calls queued delays another connection's call by about one call.
 *
 * <h2>Order and concurrency</h2>
 * A server runs the calls of one TCP connection concurrently, up to
 * {@link kelvaro.ZELT.ServerSettings#maxCallsPerConnection} at once, and
 * writes each reply whole as soon as it is ready, in any order; calls of a
 * connection begin in the order they came. At its bound a connection is
 * not read until a call ends. With a bound of 1 its calls run one at a
 * time and are answered in order. UDP calls run concurrently. A service
 * method may answer later from any thread through the
 * {@link kelvaro.ZELT.ReplyHandle} of {@link kelvaro.ZELT.Svc#deferReply()},
 * which frees its thread. A client may be shared by any number of
 * threads: over TCP their calls are in flight together on one connection
 * and replies reach their callers by xid, so a fast call does not wait for
 * another thread's slow one; {@link kelvaro.ZELT.RpcClient#callAsync}
 * returns a {@code CompletableFuture} and many calls may be outstanding
 * from one thread, with no thread per call. A service that throws or returns null where
 * a result is due is answered with SYSTEM_ERR and logged at WARNING on the
 * {@code System.Logger} {@code kelvaro.ZELT.server}; connections refused,
 * evicted or closed for a fault, and rejected credentials, are logged
 * there at DEBUG, at most 10 records of a kind every 10 seconds; the next
 * record of a kind says how many were left out, and when none comes a
 * summary record says it once the 10 seconds are over.
 * {@link kelvaro.ZELT.RpcServer#stats()} gives the counters (calls by
 * status, connections, bytes) as an immutable
 * {@link kelvaro.ZELT.ServerStats}. The runtime itself never prints.
 *
 * <h2>RPCSEC_GSS with Kerberos</h2>
 * Callers prove who they are with Kerberos, and each call can carry a
 * checksum ({@link kelvaro.ZELT.GssService#INTEGRITY}) or be encrypted
 * ({@link kelvaro.ZELT.GssService#PRIVACY}); generated code stays as it is.
 * The server needs a service principal and its keytab, each client a
 * principal with a keytab or a ticket cache ({@code kinit}); the JDK finds
 * the KDC through its Kerberos configuration ({@code -Djava.security.krb5.conf=...},
 * else {@code /etc/krb5.conf}). With MIT Kerberos:
 * <pre>
 * kadmin.local -q "addprinc -randkey kv/server.example.org"
 * kadmin.local -q "ktadd -k /etc/kv.keytab kv/server.example.org"
 * kadmin.local -q "addprinc -randkey alice" ; kadmin.local -q "ktadd -k alice.keytab alice"
 * </pre>
 * The server: one {@link kelvaro.ZELT.GssAuthenticator} from the keytab, and
 * a policy on each program version that needs it.
 * <pre>{@code
 * GssIdentity me = GssIdentity.serverFromKeytab("kv/server.example.org@EXAMPLE.ORG", Path.of("/etc/kv.keytab"));
 * GssAuthenticator gss = new GssAuthenticator(me);
 * Store store = new Store();
 * store.setAuthPolicy(AuthPolicy.requireGss(gss, GssService.INTEGRITY));   // AUTH_SYS: AUTH_TOOWEAK
 * server.add(store);
 * // in a service method: Svc.currentCall().principal() is "alice@EXAMPLE.ORG"
 * }</pre>
 * The client: credentials on its {@code RpcClient}; the context is made on
 * the first call and destroyed by {@code close()}.
 * <pre>{@code
 * GssIdentity alice = GssIdentity.clientFromKeytab("alice@EXAMPLE.ORG", Path.of("alice.keytab"));
 * // or GssIdentity.clientFromTicketCache(null) after kinit
 * kv.getClient().setSecurity(RpcSecGss.forService(alice, "kv@server.example.org", GssService.PRIVACY));
 * }</pre>
 * What the client retries and when is at
 * {@link kelvaro.ZELT.RpcClient#setSecurity}; the answers a server gives at
 * {@link kelvaro.ZELT.AuthPolicy}; its bounds at
 * {@link kelvaro.ZELT.GssAuthenticator}.
 *
 * <h2>Limits</h2>
 * <table>
 * <caption>Limits and defaults</caption>
 * <tr><th>What</th><th>Default</th><th>Set with</th></tr>
 * <tr><td>Record (TCP message) size, server and client</td><td>4 MiB</td>
 *     <td>{@link kelvaro.ZELT.RpcServer#setRecordLimit}, {@link kelvaro.ZELT.RpcClient#setRecordLimit}</td></tr>
 * <tr><td>UDP message size</td><td>65,507 bytes</td><td>fixed</td></tr>
 * <tr><td>Nesting of optional data and arrays of objects (a list of 250,000 nodes passes, 250,001 fail)</td>
 *     <td>250,000 levels</td><td>fixed ({@link kelvaro.ZELT.XDR#MAX_DEPTH})</td></tr>
 * <tr><td>Stack of the threads that run server calls; a call with data deeper than 1,000 levels moves on,
 *     whole, to one of two shared server threads with 128 MiB stacks, which take deep calls by client
 *     address in turn (the pool thread does not wait for it)</td><td>4 MiB</td><td>fixed</td></tr>
 * <tr><td>Stack of the client's deep-data thread</td><td>128 MiB</td><td>fixed</td></tr>
 * <tr><td>Depth a client handles on the caller's own stack</td><td>1,000 levels</td><td>fixed</td></tr>
 * <tr><td>Call time-out, from its start to its result (waiting for its turn on a shared client,
 *     reconnecting, writing, reading and all retransmissions included)</td><td>25 s</td>
 *     <td>{@link kelvaro.ZELT.RpcClient#setTimeout}; per call with
 *     {@link kelvaro.ZELT.RpcClient#call(int, XDT, XDT, java.time.Duration)} and
 *     {@link kelvaro.ZELT.RpcClient#callAsync(int, XDT, XDT, java.time.Duration)}</td></tr>
 * <tr><td>Asynchronous calls outstanding on one client connection</td><td>no limit of the client's
 *     (the server's bound pushes back: a call waits to be written while the connection's send buffer
 *     is full); one reader thread per connection while any are outstanding</td><td>fixed</td></tr>
 * <tr><td>A reply record over TCP, from its first byte to its last (time callers spend reading it)</td>
 *     <td>the call time-out</td><td>{@link kelvaro.ZELT.RpcClient#setTimeout}</td></tr>
 * <tr><td>Fragments of a reply record</td><td>one per KiB of the record limit, at least 1,024;
 *     none empty but the last</td><td>follows {@link kelvaro.ZELT.RpcClient#setRecordLimit}</td></tr>
 * <tr><td>Client buffers kept between calls (encoding, replies, batched writes)</td>
 *     <td>the size recent calls needed, up to the record limit; shrunk after 64 calls in a row
 *     that used at most a quarter</td><td>fixed</td></tr>
 * <tr><td>Client connection after a break (TCP)</td><td>the next call opens a new one (through the
 *     portmapper again for a client made with a host name); calls in flight fail, never resent</td>
 *     <td>fixed</td></tr>
 * <tr><td>UDP retransmission interval</td><td>5 s</td>
 *     <td>{@link kelvaro.ZELT.RpcClient#setRetransmitInterval}</td></tr>
 * <tr><td>Portmapper call time-out (connecting included; within the call time-out when a call
 *     reconnects)</td><td>10 s</td><td>fixed</td></tr>
 * <tr><td>Live TCP connections of a server (when full, one without a call in flight makes room: first
 *     one that has sent nothing, then one whose record arrives slower than the minimum rate, then the
 *     one idle longest; the address with the most connections first)</td><td>1,024</td>
 *     <td>{@link kelvaro.ZELT.ServerSettings#maxConnections}, {@link kelvaro.ZELT.RpcServer#setMaxConnections}</td></tr>
 * <tr><td>TCP connections of a server from one client address</td><td>no limit of its own</td>
 *     <td>{@link kelvaro.ZELT.ServerSettings#maxConnectionsPerAddress}</td></tr>
 * <tr><td>Listen backlog of a server</td><td>1,024 (capped by the system)</td>
 *     <td>{@link kelvaro.ZELT.ServerSettings#backlog}</td></tr>
 * <tr><td>Idle time between records</td><td>none</td>
 *     <td>{@link kelvaro.ZELT.ServerSettings#idleTimeout}, {@link kelvaro.ZELT.RpcServer#setIdleTimeout}</td></tr>
 * <tr><td>A server's record, first byte to last, and a reply left untaken (checked every 200 ms at
 *     most)</td><td>30 s</td>
 *     <td>{@link kelvaro.ZELT.ServerSettings#recordTimeout}, {@link kelvaro.ZELT.RpcServer#setRecordTimeout}</td></tr>
 * <tr><td>Slowest a server's record may arrive, on average since its first byte, once it has been
 *     arriving for 2 s</td><td>1,024 bytes a second</td>
 *     <td>{@link kelvaro.ZELT.ServerSettings#minRecordRate}</td></tr>
 * <tr><td>Calls of one TCP connection in flight at once (read, not answered; deferred replies
 *     included); past it the connection is not read</td><td>1,024</td>
 *     <td>{@link kelvaro.ZELT.ServerSettings#maxCallsPerConnection} (1: one at a time, in order)</td></tr>
 * <tr><td>A deferred reply ({@link kelvaro.ZELT.Svc#deferReply()}) not given is answered SYSTEM_ERR
 *     after</td><td>60 s</td><td>{@link kelvaro.ZELT.ServerSettings#deferredReplyTimeout}</td></tr>
 * <tr><td>Fragments of one record a server reads (an empty fragment that is not the last closes the
 *     connection)</td><td>4,096 (record limit / 1,024, at least 1,024)</td>
 *     <td>{@link kelvaro.ZELT.ServerSettings#maxFragments}</td></tr>
 * <tr><td>Record bytes all of a server's connections hold together (when spent, the connection
 *     holding the most is closed, or the asker when it holds the most)</td><td>half the heap, at most
 *     256 MiB</td>
 *     <td>{@link kelvaro.ZELT.ServerSettings#bufferBudget}, {@link kelvaro.ZELT.RpcServer#setBufferBudget}</td></tr>
 * <tr><td>Threads that run a server's calls (one pool for TCP and UDP, started as needed)</td><td>64</td>
 *     <td>{@link kelvaro.ZELT.ServerSettings#workerThreads}</td></tr>
 * <tr><td>Threads that read a server's UDP socket; UDP calls waiting for a pool thread</td>
 *     <td>2; 1,024 (past that, the oldest of the address with the most waiting is dropped)</td>
 *     <td>fixed</td></tr>
 * <tr><td>UDP duplicate-reply cache (keyed also by the length and CRC-32C of the call past its
 *     procedure number)</td><td>off</td>
 *     <td>{@link kelvaro.ZELT.ServerSettings#duplicateReplyCache}</td></tr>
 * <tr><td>Credential and verifier bodies</td><td>400 bytes</td><td>fixed (RFC 5531)</td></tr>
 * <tr><td>AUTH_SYS machine name, gids</td><td>255 bytes, 16</td><td>fixed (RFC 5531)</td></tr>
 * <tr><td>RPCSEC_GSS contexts of a server; of one principal</td><td>1,024; 64</td>
 *     <td>{@link kelvaro.ZELT.GssAuthenticator#setMaxContexts}, {@link kelvaro.ZELT.GssAuthenticator#setMaxContextsPerPrincipal}</td></tr>
 * <tr><td>RPCSEC_GSS sequence window a server grants</td><td>128</td>
 *     <td>{@link kelvaro.ZELT.GssAuthenticator#setWindow}</td></tr>
 * <tr><td>RPCSEC_GSS context idle time-out</td><td>30 min</td>
 *     <td>{@link kelvaro.ZELT.GssAuthenticator#setIdleTimeout}</td></tr>
 * <tr><td>RPCSEC_GSS context token, context handle</td><td>64 KiB, 64 bytes</td><td>fixed</td></tr>
 * </table>
 */
package kelvaro.ZELT;
