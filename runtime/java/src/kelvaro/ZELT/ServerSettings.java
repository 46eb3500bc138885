// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT;

import java.net.InetAddress;
import java.time.Duration;
import kelvaro.ZELT.internal.record.RecordAssembler;

/**
 * Everything an {@link RpcServer} can be told before it starts, in one
 * place. Each setter checks its value, stores it and returns this object,
 * so settings chain:
 *
 * <pre>{@code
 * RpcServer server = new RpcServer(new ServerSettings()
 *         .port(2049)
 *         .maxConnections(4096)
 *         .recordTimeout(Duration.ofSeconds(10))
 *         .duplicateReplyCache(4096, 16 << 20));
 * }</pre>
 *
 * <p>The server takes a copy when it is built and another when it starts;
 * changing a settings object afterwards changes nothing in a server. The
 * defaults are the constants of this class; see the limits table of the
 * package.
 */
public final class ServerSettings implements Cloneable {
    /** The default record limit: 4 MiB. */
    public static final int DEFAULT_RECORD_LIMIT = 4 << 20;
    /** The default most live TCP connections: 1,024. */
    public static final int DEFAULT_MAX_CONNECTIONS = 1024;
    /** The default record time-out, from a record's first byte to its last: 30 seconds. */
    public static final Duration DEFAULT_RECORD_TIMEOUT = Duration.ofSeconds(30);
    /** The default listen backlog: 1,024 (the system may cap it). */
    public static final int DEFAULT_BACKLOG = 1024;
    /** The default number of threads that run calls: 64. */
    public static final int DEFAULT_WORKER_THREADS = 64;
    /** The default most calls of one TCP connection in flight at once: 1,024. */
    public static final int DEFAULT_MAX_CALLS_PER_CONNECTION = 1024;
    /** The default time a deferred reply may take before the call is answered SYSTEM_ERR: 60 seconds. */
    public static final Duration DEFAULT_DEFERRED_REPLY_TIMEOUT = Duration.ofSeconds(60);
    /** The default slowest a TCP record may arrive, on average from its first byte: 1,024 bytes a second. */
    public static final int DEFAULT_MIN_RECORD_RATE = 1024;
    /** The most the default buffer budget is, whatever the heap: 256 MiB. */
    public static final long DEFAULT_MAX_BUFFER_BUDGET = 256L << 20;

    private InetAddress address;
    private int port;
    private boolean tcp = true;
    private boolean udp = true;
    private int record_limit = DEFAULT_RECORD_LIMIT;
    private int max_fragments; // 0: derived from the record limit
    private int max_connections = DEFAULT_MAX_CONNECTIONS;
    private int max_per_address; // 0: only max_connections
    private int backlog = DEFAULT_BACKLOG;
    private Duration idle_timeout = Duration.ZERO;
    private Duration record_timeout = DEFAULT_RECORD_TIMEOUT;
    private long buffer_budget = Math.max(2L * DEFAULT_RECORD_LIMIT,
            Math.min(DEFAULT_MAX_BUFFER_BUDGET, Runtime.getRuntime().maxMemory() / 2));
    private int worker_threads = DEFAULT_WORKER_THREADS;
    private int max_calls_per_connection = DEFAULT_MAX_CALLS_PER_CONNECTION;
    private Duration deferred_reply_timeout = DEFAULT_DEFERRED_REPLY_TIMEOUT;
    private int min_record_rate = DEFAULT_MIN_RECORD_RATE;
    private int drc_entries;
    private long drc_bytes;
    private boolean serialized;

    /** Settings with every default. */
    public ServerSettings() {
    }

    /**
     * A copy of these settings.
     *
     * @return the copy
     */
    public ServerSettings copy() {
        try {
            return (ServerSettings) super.clone();
        } catch (CloneNotSupportedException e) {
            throw new AssertionError(e);
        }
    }

    /**
     * Sets the address to listen on.
     *
     * @param address the local address, or null for every address (the default)
     * @return this
     */
    public ServerSettings address(InetAddress address) {
        this.address = address;
        return this;
    }

    /**
     * Sets the port for TCP and UDP.
     *
     * @param port 0 (the default) for any free port, which TCP and UDP then share
     * @return this
     * @throws IllegalArgumentException when out of range
     */
    public ServerSettings port(int port) {
        if (port < 0 || port > 65535)
            throw new IllegalArgumentException("port out of range: " + port);
        this.port = port;
        return this;
    }

    /**
     * Chooses the protocols served (both by default).
     *
     * @param tcp serve TCP
     * @param udp serve UDP
     * @return this
     * @throws IllegalArgumentException when both are false
     */
    public ServerSettings protocols(boolean tcp, boolean udp) {
        if (!tcp && !udp)
            throw new IllegalArgumentException("no protocol to serve");
        this.tcp = tcp;
        this.udp = udp;
        return this;
    }

    /**
     * Sets the longest call record accepted over TCP; a connection whose
     * fragment headers announce a longer one is closed at once.
     *
     * @param bytes the limit, positive (default 4 MiB)
     * @return this
     * @throws IllegalArgumentException when not positive
     */
    public ServerSettings recordLimit(int bytes) {
        if (bytes <= 0)
            throw new IllegalArgumentException("record limit must be positive");
        record_limit = bytes;
        return this;
    }

    /**
     * Sets the most fragments one record may come in; a connection that
     * sends more is closed. An empty fragment that is not the record's last
     * always closes the connection.
     *
     * @param n the limit, positive; 0 (the default) for the larger of 1,024
     *        and the record limit divided by 1,024 (4,096 for 4 MiB)
     * @return this
     * @throws IllegalArgumentException when negative
     */
    public ServerSettings maxFragments(int n) {
        if (n < 0)
            throw new IllegalArgumentException("fragment limit must not be negative");
        max_fragments = n;
        return this;
    }

    /**
     * Sets the most TCP connections served at once (default 1,024). When a
     * new connection comes while that many live, an idle one (between
     * records, no call running) is closed for it: first the one that has
     * waited longest without ever sending a whole record, then the one
     * idle the longest; when none is idle, the new one is refused.
     *
     * @param n the limit, positive
     * @return this
     * @throws IllegalArgumentException when not positive
     */
    public ServerSettings maxConnections(int n) {
        if (n <= 0)
            throw new IllegalArgumentException("connection limit must be positive");
        max_connections = n;
        return this;
    }

    /**
     * Sets the most TCP connections from one client address. A new
     * connection from an address at its limit closes an idle connection
     * of that same address, chosen as for {@link #maxConnections}, or is
     * refused; other addresses are not touched.
     *
     * @param n the limit, positive; 0 (the default) for no limit beyond
     *        {@link #maxConnections}
     * @return this
     * @throws IllegalArgumentException when negative
     */
    public ServerSettings maxConnectionsPerAddress(int n) {
        if (n < 0)
            throw new IllegalArgumentException("per-address connection limit must not be negative");
        max_per_address = n;
        return this;
    }

    /**
     * Sets the listen backlog of the TCP socket: how many connections the
     * system queues before the server accepts them (default 1,024; the
     * system caps it at its own limit, net.core.somaxconn on Linux).
     *
     * @param n the backlog, positive
     * @return this
     * @throws IllegalArgumentException when not positive
     */
    public ServerSettings backlog(int n) {
        if (n <= 0)
            throw new IllegalArgumentException("backlog must be positive");
        backlog = n;
        return this;
    }

    /**
     * Sets how long a TCP connection may stay idle between records before
     * it is closed.
     *
     * @param timeout the time-out; zero (the default) for none
     * @return this
     * @throws IllegalArgumentException when negative
     */
    public ServerSettings idleTimeout(Duration timeout) {
        if (timeout.isNegative())
            throw new IllegalArgumentException("idle time-out must not be negative");
        idle_timeout = timeout;
        return this;
    }

    /**
     * Sets the record time-out: the longest a TCP record may take from its
     * first byte to its last, however the bytes trickle in, and the longest
     * a peer may leave a reply untaken. A connection that passes it is
     * closed.
     *
     * @param timeout the time-out, positive (default 30 seconds)
     * @return this
     * @throws IllegalArgumentException when not positive
     */
    public ServerSettings recordTimeout(Duration timeout) {
        if (timeout.isNegative() || timeout.isZero())
            throw new IllegalArgumentException("record time-out must be positive");
        record_timeout = timeout;
        return this;
    }

    /**
     * Sets how many bytes all TCP connections together may hold in records
     * being read and calls being run. A connection whose record would take
     * more while the budget is spent makes the server shed the connection
     * that holds the most (in records being read and calls queued), which
     * may be itself; a small call is never the one shed while a larger
     * holder is there. So many large records at once cannot exhaust the
     * heap. The default is half the heap's maximum size, at most 256 MiB
     * and at least 8 MiB.
     *
     * @param bytes the budget, positive
     * @return this
     * @throws IllegalArgumentException when not positive
     */
    public ServerSettings bufferBudget(long bytes) {
        if (bytes <= 0)
            throw new IllegalArgumentException("buffer budget must be positive");
        buffer_budget = bytes;
        return this;
    }

    /**
     * Sets how many threads run calls: TCP calls from all connections and
     * UDP calls share a pool of this many, started as calls need them.
     * Threads are shared out fairly: a free thread takes the next client
     * address in turn, and of that address the next connection in turn
     * (see the package's description). A call waits when every pool
     * thread is busy; a deferred reply ({@link Svc#deferReply()}) holds no
     * thread.
     *
     * @param n the number of threads, positive (default 64)
     * @return this
     * @throws IllegalArgumentException when not positive
     */
    public ServerSettings workerThreads(int n) {
        if (n <= 0)
            throw new IllegalArgumentException("worker threads must be positive");
        worker_threads = n;
        return this;
    }

    /**
     * Turns on the UDP duplicate-reply cache: a call whose xid, caller
     * address and port, program, version and procedure match a call
     * answered before, and whose credentials and arguments are the same
     * bytes (their length and CRC-32C checksum match), gets that reply again instead of running again, and a
     * copy that comes while the first still runs is dropped. The cache
     * keeps the latest replies up to both bounds. Off by default.
     *
     * @param entries the most replies kept; 0 turns the cache off
     * @param bytes the most reply bytes kept
     * @return this
     * @throws IllegalArgumentException when negative, or when entries is
     *         positive and bytes is not
     */
    public ServerSettings duplicateReplyCache(int entries, long bytes) {
        if (entries < 0 || bytes < 0 || (entries > 0 && bytes == 0))
            throw new IllegalArgumentException("bad duplicate-reply cache bounds");
        drc_entries = entries;
        drc_bytes = bytes;
        return this;
    }

    /**
     * Sets how many calls of one TCP connection may be in flight at once:
     * read and not yet answered, deferred replies included. Calls of a
     * connection begin in the order they came and run concurrently up to
     * this bound; each reply is written whole as soon as it is ready, in
     * any order. A connection at its bound is not read until a call ends
     * (back-pressure: nothing is dropped). With 1, a connection's calls run
     * one at a time in the order they came and their replies go out in
     * that order, as a service that relies on it needs; then up to 16
     * whole records are read ahead.
     *
     * @param n the bound, positive (default 1,024)
     * @return this
     * @throws IllegalArgumentException when not positive
     */
    public ServerSettings maxCallsPerConnection(int n) {
        if (n <= 0)
            throw new IllegalArgumentException("calls per connection must be positive");
        max_calls_per_connection = n;
        return this;
    }

    /**
     * Sets how long a service may take to give a deferred reply
     * ({@link Svc#deferReply()}); a call not answered by then is answered
     * SYSTEM_ERR and logged.
     *
     * @param timeout the time-out, positive (default 60 seconds)
     * @return this
     * @throws IllegalArgumentException when not positive
     */
    public ServerSettings deferredReplyTimeout(Duration timeout) {
        if (timeout.isNegative() || timeout.isZero())
            throw new IllegalArgumentException("deferred reply time-out must be positive");
        deferred_reply_timeout = timeout;
        return this;
    }

    /**
     * Sets the slowest a TCP record may arrive: once a record has been
     * arriving for 2 seconds, its bytes so far divided by the time since
     * its first byte must be at least this many a second, or the
     * connection is closed. While the connection table is full, a
     * connection whose record is slower than this (judged over at least a
     * second) may also be closed to make room. The record time-out bounds
     * every record besides.
     *
     * @param bytes_per_second the rate; 0 for no minimum (default 1,024)
     * @return this
     * @throws IllegalArgumentException when negative
     */
    public ServerSettings minRecordRate(int bytes_per_second) {
        if (bytes_per_second < 0)
            throw new IllegalArgumentException("minimum record rate must not be negative");
        min_record_rate = bytes_per_second;
        return this;
    }

    /**
     * Chooses whether each {@code Svc} runs one call at a time (true) or
     * several at once (false, the default).
     *
     * @param serialized one call at a time per {@code Svc}
     * @return this
     */
    public ServerSettings serialized(boolean serialized) {
        this.serialized = serialized;
        return this;
    }

    /**
     * The address to listen on.
     *
     * @return the address, or null for every address
     */
    public InetAddress address() {
        return address;
    }

    /**
     * The port.
     *
     * @return the port, 0 for any free one
     */
    public int port() {
        return port;
    }

    /**
     * Whether TCP is served.
     *
     * @return true when it is
     */
    public boolean tcp() {
        return tcp;
    }

    /**
     * Whether UDP is served.
     *
     * @return true when it is
     */
    public boolean udp() {
        return udp;
    }

    /**
     * The record limit.
     *
     * @return bytes
     */
    public int recordLimit() {
        return record_limit;
    }

    /**
     * The most fragments of one record, the default worked out.
     *
     * @return the limit
     */
    public int maxFragments() {
        return max_fragments > 0 ? max_fragments : RecordAssembler.max_fragments(record_limit);
    }

    /**
     * The most live TCP connections.
     *
     * @return the limit
     */
    public int maxConnections() {
        return max_connections;
    }

    /**
     * The most TCP connections from one address.
     *
     * @return the limit, 0 for none beyond {@link #maxConnections()}
     */
    public int maxConnectionsPerAddress() {
        return max_per_address;
    }

    /**
     * The listen backlog.
     *
     * @return the backlog
     */
    public int backlog() {
        return backlog;
    }

    /**
     * The idle time-out.
     *
     * @return the time-out, zero for none
     */
    public Duration idleTimeout() {
        return idle_timeout;
    }

    /**
     * The record time-out.
     *
     * @return the time-out
     */
    public Duration recordTimeout() {
        return record_timeout;
    }

    /**
     * The buffer budget.
     *
     * @return bytes
     */
    public long bufferBudget() {
        return buffer_budget;
    }

    /**
     * The number of threads that run calls.
     *
     * @return the number
     */
    public int workerThreads() {
        return worker_threads;
    }

    /**
     * The most calls of one TCP connection in flight at once.
     *
     * @return the bound
     */
    public int maxCallsPerConnection() {
        return max_calls_per_connection;
    }

    /**
     * The time a service may take to give a deferred reply.
     *
     * @return the time-out
     */
    public Duration deferredReplyTimeout() {
        return deferred_reply_timeout;
    }

    /**
     * The slowest a TCP record may arrive.
     *
     * @return bytes a second, 0 for no minimum
     */
    public int minRecordRate() {
        return min_record_rate;
    }

    /**
     * The most entries of the UDP duplicate-reply cache.
     *
     * @return entries, 0 when the cache is off
     */
    public int duplicateReplyEntries() {
        return drc_entries;
    }

    /**
     * The most bytes of the UDP duplicate-reply cache.
     *
     * @return bytes
     */
    public long duplicateReplyBytes() {
        return drc_bytes;
    }

    /**
     * Whether each {@code Svc} runs one call at a time.
     *
     * @return true when it does
     */
    public boolean serialized() {
        return serialized;
    }
}
