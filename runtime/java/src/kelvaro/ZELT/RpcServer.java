// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT;

import java.io.IOException;
import java.net.BindException;
import java.net.DatagramSocket;
import java.net.InetAddress;
import java.net.InetSocketAddress;
import java.net.ServerSocket;
import java.time.Duration;
import java.util.ArrayList;
import java.util.List;
import java.util.Map;
import java.util.NavigableMap;
import java.util.concurrent.ConcurrentHashMap;
import java.util.concurrent.ConcurrentSkipListMap;

/**
 * Serves any number of {@link Svc} objects (several versions of one
 * program, several programs) on one TCP port and one UDP port with the same
 * number.
 *
 * <pre>{@code
 * RpcServer server = new RpcServer();
 * server.add(new MyService());        // a subclass of a generated _svcb class
 * server.add(new MyServiceV2());
 * server.start();
 * server.register();                  // with the portmapper on this machine
 * ...
 * server.close();                     // unregisters, closes, stops the threads
 * }</pre>
 *
 * <p>Settings are made before {@link #start()}; later they throw
 * {@link IllegalStateException}. Defaults: every address, any free port,
 * TCP and UDP, a record limit of 4 MiB, at most 64 connections, no idle
 * time-out, a record time-out of 30 seconds, a buffer budget of half the
 * heap, calls not serialised.
 *
 * <p>Threads: each TCP connection is served by a worker thread of its own
 * (from a pool; at most {@link #setMaxConnections} live connections), and
 * all UDP calls by one receiver thread. So calls from different
 * connections run {@code proc_call} at the same time, on the same
 * {@code Svc} object: service methods must be thread-safe, unless
 * {@link #setSerialized(boolean) setSerialized(true)} makes each
 * {@code Svc} run one call at a time. The threads have stacks of 128 MiB
 * (virtual memory, taken as used), enough to decode and encode data
 * nested {@link XDR#MAX_DEPTH} levels deep; deeper arguments are answered
 * with GARBAGE_ARGS.
 *
 * <p>Memory: a connection's buffer grows with the bytes of a record that
 * have arrived, never past the record limit, and shrinks back after a
 * record of more than 1 MiB; all connections together hold at most the
 * buffer budget ({@link #setBufferBudget}, half the heap by default) beyond
 * 8 KiB each, and a connection that would pass it is closed.
 *
 * <p>Replies follow RFC 5531; see the table at {@link Svc}.
 */
public final class RpcServer implements AutoCloseable {
    /** The default record limit: 4 MiB. */
    public static final int DEFAULT_RECORD_LIMIT = 4 << 20;
    /** The default most live TCP connections: 64. */
    public static final int DEFAULT_MAX_CONNECTIONS = 64;
    /** The default record time-out: 30 seconds. */
    public static final Duration DEFAULT_RECORD_TIMEOUT = Duration.ofSeconds(30);

    private final Map<Integer, NavigableMap<Integer, Svc>> programs = new ConcurrentHashMap<>();
    private final CallDispatcher dispatcher = new CallDispatcher(this);

    private InetAddress address;
    private int port;
    private boolean use_tcp = true;
    private boolean use_udp = true;
    private int record_limit = DEFAULT_RECORD_LIMIT;
    private int max_connections = DEFAULT_MAX_CONNECTIONS;
    private Duration idle_timeout = Duration.ZERO;
    private Duration record_timeout = DEFAULT_RECORD_TIMEOUT;
    private long buffer_budget = Math.max(2L * DEFAULT_RECORD_LIMIT, Runtime.getRuntime().maxMemory() / 2);
    private volatile boolean serialized;

    private boolean started;
    private boolean closed;
    private boolean registered;
    private TcpServer tcp;
    private UdpServer udp;

    /** A server with the default settings and no services. */
    public RpcServer() {
    }

    private void check_not_started() {
        if (started)
            throw new IllegalStateException("server already started");
    }

    /**
     * Sets the address to listen on.
     *
     * @param address the local address, or null for every address (the default)
     * @throws IllegalStateException after {@link #start()}
     */
    public synchronized void setAddress(InetAddress address) {
        check_not_started();
        this.address = address;
    }

    /**
     * Sets the port for TCP and UDP.
     *
     * @param port 0 (the default) for any free port, which TCP and UDP then share
     * @throws IllegalArgumentException when out of range
     * @throws IllegalStateException after {@link #start()}
     */
    public synchronized void setPort(int port) {
        check_not_started();
        if (port < 0 || port > 65535)
            throw new IllegalArgumentException("port out of range: " + port);
        this.port = port;
    }

    /**
     * Chooses the protocols served.
     *
     * @param tcp serve TCP
     * @param udp serve UDP
     * @throws IllegalArgumentException when both are false
     * @throws IllegalStateException after {@link #start()}
     */
    public synchronized void setProtocols(boolean tcp, boolean udp) {
        check_not_started();
        if (!tcp && !udp)
            throw new IllegalArgumentException("no protocol to serve");
        use_tcp = tcp;
        use_udp = udp;
    }

    /**
     * Sets the longest call record accepted over TCP; a connection that
     * announces a longer one is closed at once.
     *
     * @param bytes the limit, positive
     * @throws IllegalArgumentException when not positive
     * @throws IllegalStateException after {@link #start()}
     */
    public synchronized void setRecordLimit(int bytes) {
        check_not_started();
        if (bytes <= 0)
            throw new IllegalArgumentException("record limit must be positive");
        record_limit = bytes;
    }

    /**
     * Sets the most TCP connections served at once. When a new connection
     * comes while that many live, the one idle (between records) the
     * longest is closed for it; when none is idle, the new one is refused.
     *
     * @param n the limit, positive
     * @throws IllegalArgumentException when not positive
     * @throws IllegalStateException after {@link #start()}
     */
    public synchronized void setMaxConnections(int n) {
        check_not_started();
        if (n <= 0)
            throw new IllegalArgumentException("connection limit must be positive");
        max_connections = n;
    }

    /**
     * Sets how long a TCP connection may stay idle between records before
     * it is closed.
     *
     * @param timeout the time-out; zero (the default) for none
     * @throws IllegalArgumentException when negative
     * @throws IllegalStateException after {@link #start()}
     */
    public synchronized void setIdleTimeout(Duration timeout) {
        check_not_started();
        if (timeout.isNegative())
            throw new IllegalArgumentException("idle time-out must not be negative");
        idle_timeout = timeout;
    }

    /**
     * Sets how long a TCP connection may wait inside a record for more bytes,
     * or leave a reply untaken, before it is closed.
     *
     * @param timeout the time-out, positive (default 30 seconds)
     * @throws IllegalArgumentException when not positive
     * @throws IllegalStateException after {@link #start()}
     */
    public synchronized void setRecordTimeout(Duration timeout) {
        check_not_started();
        if (timeout.isNegative() || timeout.isZero())
            throw new IllegalArgumentException("record time-out must be positive");
        record_timeout = timeout;
    }

    /**
     * Sets how many bytes all TCP connections together may buffer for
     * records beyond their first 8 KiB each. A connection whose record needs
     * more while the budget is spent is closed, so that many large records
     * at once cannot exhaust the heap. The default is half the heap's
     * maximum size, and at least 8 MiB.
     *
     * @param bytes the budget, positive
     * @throws IllegalArgumentException when not positive
     * @throws IllegalStateException after {@link #start()}
     */
    public synchronized void setBufferBudget(long bytes) {
        check_not_started();
        if (bytes <= 0)
            throw new IllegalArgumentException("buffer budget must be positive");
        buffer_budget = bytes;
    }

    /**
     * Chooses whether each {@code Svc} runs one call at a time (true) or
     * calls from several connections at once (false, the default). May be
     * changed at any time; calls already running are not affected.
     *
     * @param serialized one call at a time per {@code Svc}
     */
    public void setSerialized(boolean serialized) {
        this.serialized = serialized;
    }

    boolean serialized() {
        return serialized;
    }

    /**
     * Adds a service: calls for its program and version go to it. May be
     * called before and after {@link #start()}.
     *
     * @param svc the service
     * @throws IllegalArgumentException when the server has that program
     *         version already
     */
    public synchronized void add(Svc svc) {
        NavigableMap<Integer, Svc> versions = programs.computeIfAbsent(svc.prog, p -> new ConcurrentSkipListMap<>());
        if (versions.putIfAbsent(svc.ver, svc) != null)
            throw new IllegalArgumentException("program " + Integer.toUnsignedString(svc.prog) + " version "
                    + Integer.toUnsignedString(svc.ver) + " is served already");
    }

    NavigableMap<Integer, Svc> versions(int prog) {
        return programs.get(prog);
    }

    /**
     * Opens the sockets and starts the threads.
     *
     * @throws IOException when a socket cannot be opened or bound
     * @throws IllegalStateException when started before
     */
    public synchronized void start() throws IOException {
        check_not_started();
        if (closed)
            throw new IllegalStateException("server closed");
        ServerSocket listener = null;
        DatagramSocket datagrams = null;
        // With port 0 the UDP port may be taken where TCP got a free one; try other ports then.
        for (int attempt = 0;; attempt++) {
            try {
                if (use_tcp) {
                    listener = new ServerSocket();
                    listener.setReuseAddress(true);
                    listener.bind(new InetSocketAddress(address, port), 128);
                }
                if (use_udp) {
                    int p = listener != null ? listener.getLocalPort() : port;
                    datagrams = new DatagramSocket(null);
                    datagrams.bind(new InetSocketAddress(address, p));
                }
                break;
            } catch (IOException e) {
                if (listener != null)
                    listener.close();
                if (datagrams != null)
                    datagrams.close();
                listener = null;
                datagrams = null;
                if (!(e instanceof BindException) || port != 0 || attempt >= 20)
                    throw e;
            }
        }
        int ms_idle = (int) Math.min(Integer.MAX_VALUE, idle_timeout.toMillis());
        int ms_stall = (int) Math.max(1, Math.min(Integer.MAX_VALUE, record_timeout.toMillis()));
        if (listener != null)
            tcp = new TcpServer(dispatcher, listener, record_limit, max_connections, ms_idle, ms_stall, buffer_budget,
                    CodecThread.STACK_SIZE);
        if (datagrams != null)
            udp = new UdpServer(dispatcher, datagrams, CodecThread.STACK_SIZE);
        started = true;
        if (tcp != null)
            tcp.start();
        if (udp != null)
            udp.start();
    }

    /**
     * The TCP port served.
     *
     * @return the port, or 0 before {@link #start()} or without TCP
     */
    public synchronized int tcpPort() {
        return tcp == null ? 0 : tcp.port();
    }

    /**
     * The UDP port served.
     *
     * @return the port, or 0 before {@link #start()} or without UDP
     */
    public synchronized int udpPort() {
        return udp == null ? 0 : udp.port();
    }

    /**
     * The number of TCP connections being served.
     *
     * @return the number of live connections
     */
    public synchronized int connectionCount() {
        return tcp == null ? 0 : tcp.connections();
    }

    /**
     * Registers every program version served, for every protocol served,
     * with the portmapper on this machine (SET).
     *
     * @return true when the portmapper accepted every registration; false
     *         when it refused one (for instance because the program version
     *         is registered already by another server)
     * @throws rpc_err {@link RpcStatus#PMAP_FAILURE} when the portmapper cannot be asked
     * @throws IllegalStateException before {@link #start()}
     */
    public synchronized boolean register() throws rpc_err {
        if (!started || closed)
            throw new IllegalStateException("server not running");
        InetAddress local = InetAddress.getLoopbackAddress();
        boolean all = true;
        registered = true;
        for (int[] pv : program_versions()) {
            if (tcp != null)
                all &= Portmap.set(local, pv[0], pv[1], Rpc.IPPROTO_TCP, tcp.port());
            if (udp != null)
                all &= Portmap.set(local, pv[0], pv[1], Rpc.IPPROTO_UDP, udp.port());
        }
        return all;
    }

    /**
     * Removes every program version served from the portmapper on this
     * machine (UNSET, all protocols), whether this server registered it or
     * not; failures are ignored.
     */
    public synchronized void unregister() {
        InetAddress local = InetAddress.getLoopbackAddress();
        for (int[] pv : program_versions()) {
            try {
                Portmap.unset(local, pv[0], pv[1]);
            } catch (rpc_err e) {
                // No portmapper, or it has forgotten us already: nothing to undo.
            }
        }
        registered = false;
    }

    private List<int[]> program_versions() {
        List<int[]> all = new ArrayList<>();
        for (Map.Entry<Integer, NavigableMap<Integer, Svc>> p : programs.entrySet())
            for (Integer v : p.getValue().keySet())
                all.add(new int[] {p.getKey(), v});
        return all;
    }

    /**
     * Unregisters when registered, closes the sockets and every connection,
     * and stops the threads (waiting a few seconds for calls that run).
     * Closing twice does nothing; a closed server cannot start again.
     */
    @Override
    public void close() {
        TcpServer t;
        UdpServer u;
        synchronized (this) {
            if (closed)
                return;
            closed = true;
            if (registered)
                unregister();
            t = tcp;
            u = udp;
        }
        if (t != null)
            t.close();
        if (u != null)
            u.close();
    }
}
