// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT;

import java.io.IOException;
import java.net.BindException;
import java.net.InetAddress;
import java.net.InetSocketAddress;
import java.net.StandardSocketOptions;
import java.nio.channels.DatagramChannel;
import java.nio.channels.ServerSocketChannel;
import java.time.Duration;
import java.util.ArrayList;
import java.util.List;
import java.util.Map;
import java.util.NavigableMap;
import java.util.concurrent.ConcurrentHashMap;
import java.util.concurrent.ConcurrentSkipListMap;
import kelvaro.ZELT.internal.exec.CallScheduler;
import kelvaro.ZELT.internal.exec.CodecThread;
import kelvaro.ZELT.internal.server.CallDispatcher;
import kelvaro.ZELT.internal.server.ServerCounters;
import kelvaro.ZELT.internal.server.tcp.TcpServer;
import kelvaro.ZELT.internal.server.udp.UdpServer;

/**
 * Serves any number of {@link Svc} objects (several versions of one
 * program, several programs) on one TCP port and one UDP port with the same
 * number.
 *
 * <pre>{@code
 * RpcServer server = new RpcServer();  // or new RpcServer(new ServerSettings()...)
 * server.add(new MyService());        // a subclass of a generated _svcb class
 * server.add(new MyServiceV2());
 * server.start();
 * server.register();                  // with the portmapper on this machine
 * ...
 * server.close();                     // unregisters, closes, stops the threads
 * }</pre>
 *
 * <p>Settings ({@link ServerSettings}) are made before {@link #start()},
 * whole through the constructor or one by one with the setters here, which
 * write into the same settings; after the start the setters throw
 * {@link IllegalStateException}. Defaults: every address, any free port,
 * TCP and UDP, a record limit of 4 MiB, at most 1,024 connections, no
 * per-address limit, a listen backlog of 1,024, no idle time-out, a record
 * time-out of 30 seconds from a record's first byte to its last, a minimum
 * record rate of 1,024 bytes a second, a buffer budget of half the heap
 * (at most 256 MiB), 64 threads to run calls, 1,024 calls in flight per
 * connection, 60 seconds for a deferred reply, no duplicate-reply cache,
 * calls not serialised.
 *
 * <p>Threads: two selector threads take turns at accepting TCP connections
 * and reading them all without blocking; whole calls go to a pool of
 * threads ({@link ServerSettings#workerThreads}) that TCP and UDP share
 * and that serves client addresses, and each address's connections, in
 * turn; cheap calls on a quiet server run on the thread that read them.
 * A connection's calls run concurrently, up to
 * {@link ServerSettings#maxCallsPerConnection} at once, each reply written
 * whole when it is ready, in any order (with a bound of 1, one after
 * another in the order they came, answered in that order). Calls from
 * different connections, and UDP calls, run {@code proc_call} at the same
 * time, on the same {@code Svc} object: service methods must be
 * thread-safe, unless {@link #setSerialized(boolean) setSerialized(true)}
 * makes each {@code Svc} run one call at a time. A service method may
 * defer its reply ({@link Svc#deferReply()}) and free its thread. Pool
 * threads have ordinary stacks (4 MiB); a call whose arguments or result
 * nest deeper than 1,000 levels moves on to one of two shared threads with
 * stacks of 128 MiB, enough for {@link XDR#MAX_DEPTH} levels, without the
 * pool thread waiting for it; deeper
 * arguments are answered with GARBAGE_ARGS.
 *
 * <p>Hostile peers (see {@link ServerSettings} for each bound): a record
 * must be whole within the record time-out of its first byte, however its
 * bytes trickle, and arrive no slower than the minimum record rate once it
 * has been arriving for 2 seconds; it may come in at most {@link ServerSettings#maxFragments}
 * fragments and never in an empty fragment that is not its last; a reply
 * must be taken within the record time-out. A connection that breaks a
 * bound is closed; the others are served meanwhile, since no thread waits
 * on any one connection.
 *
 * <p>Memory: a connection between records holds no buffer. A record's
 * buffer is allocated when its first data byte arrives, sized like the
 * connection's previous record but never past what the fragment headers
 * announced, and grows by doubling as bytes arrive, never past the record
 * limit; all connections together hold at most the buffer budget
 * ({@link #setBufferBudget}) in records being read or run, and a
 * connection that would pass it is closed.
 *
 * <p>Failures show: a service that throws or returns null where a result
 * is due is answered with SYSTEM_ERR and logged at WARNING on the
 * {@code System.Logger} named {@code kelvaro.ZELT.server}, with program,
 * version, procedure, caller and stack trace; connections refused,
 * evicted or closed for a fault, and rejected credentials, are logged there
 * at DEBUG; every kind of record is rate-limited (10 per 10 s, then a count
 * of those dropped). {@link #stats()} gives the counters.
 *
 * <p>Replies follow RFC 5531; see the table at {@link Svc}.
 */
public final class RpcServer implements AutoCloseable {
    /** The default record limit: 4 MiB. */
    public static final int DEFAULT_RECORD_LIMIT = ServerSettings.DEFAULT_RECORD_LIMIT;
    /** The default most live TCP connections: 1,024. */
    public static final int DEFAULT_MAX_CONNECTIONS = ServerSettings.DEFAULT_MAX_CONNECTIONS;
    /** The default record time-out: 30 seconds. */
    public static final Duration DEFAULT_RECORD_TIMEOUT = ServerSettings.DEFAULT_RECORD_TIMEOUT;

    private final Map<Integer, NavigableMap<Integer, Svc>> programs = new ConcurrentHashMap<>();
    private final ServerCounters counters = new ServerCounters();
    private final CallDispatcher dispatcher = new CallDispatcher(new Services(), counters);

    private final ServerSettings settings;
    private volatile boolean serialized;

    private boolean started;
    private boolean closed;
    private boolean registered;
    private TcpServer tcp;
    private UdpServer udp;
    private CallScheduler scheduler;

    /** A server with the default settings and no services. */
    public RpcServer() {
        this(new ServerSettings());
    }

    /**
     * A server with the given settings (a copy is kept) and no services.
     *
     * @param settings the settings
     */
    public RpcServer(ServerSettings settings) {
        this.settings = settings.copy();
        this.serialized = settings.serialized();
    }

    private void check_not_started() {
        if (started)
            throw new IllegalStateException("server already started");
    }

    /**
     * A copy of the server's settings.
     *
     * @return the copy
     */
    public synchronized ServerSettings settings() {
        return settings.copy().serialized(serialized);
    }

    /**
     * A snapshot of the server's counters: calls by how they were answered,
     * connections, bytes (see {@link ServerStats}).
     *
     * @return the snapshot
     */
    public ServerStats stats() {
        TcpServer t;
        synchronized (this) {
            t = tcp;
        }
        return ServerStats.of(counters, t == null ? 0 : t.connections());
    }

    /**
     * Sets the address to listen on.
     *
     * @param address the local address, or null for every address (the default)
     * @throws IllegalStateException after {@link #start()}
     */
    public synchronized void setAddress(InetAddress address) {
        check_not_started();
        settings.address(address);
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
        settings.port(port);
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
        settings.protocols(tcp, udp);
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
        settings.recordLimit(bytes);
    }

    /**
     * Sets the most TCP connections served at once (default 1,024). When a
     * new connection comes while that many live, an idle one (no call
     * running, not inside a record) is closed for it: first the one that
     * has waited longest without ever sending a whole record, then the one
     * idle the longest; when none is idle, the new one is refused.
     *
     * @param n the limit, positive
     * @throws IllegalArgumentException when not positive
     * @throws IllegalStateException after {@link #start()}
     */
    public synchronized void setMaxConnections(int n) {
        check_not_started();
        settings.maxConnections(n);
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
        settings.idleTimeout(timeout);
    }

    /**
     * Sets the longest a TCP record may take from its first byte to its
     * last, however its bytes trickle in, and the longest a peer may leave a
     * reply untaken; a connection that passes it is closed.
     *
     * @param timeout the time-out, positive (default 30 seconds)
     * @throws IllegalArgumentException when not positive
     * @throws IllegalStateException after {@link #start()}
     */
    public synchronized void setRecordTimeout(Duration timeout) {
        check_not_started();
        settings.recordTimeout(timeout);
    }

    /**
     * Sets how many bytes all TCP connections together may hold in records
     * being read or run. A connection whose record needs
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
        settings.bufferBudget(bytes);
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

    /** What the dispatcher asks of this server for each call: the services of a program, and whether to serialize. */
    private final class Services implements CallDispatcher.Services {
        @Override
        public NavigableMap<Integer, Svc> versions(int prog) {
            return programs.get(prog);
        }

        @Override
        public boolean serialized() {
            return serialized;
        }
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
        ServerSettings run = settings.copy();
        ServerSocketChannel listener = null;
        DatagramChannel datagrams = null;
        InetAddress address = run.address();
        int port = run.port();
        // With port 0 the UDP port may be taken where TCP got a free one; try other ports then.
        for (int attempt = 0;; attempt++) {
            try {
                if (run.tcp()) {
                    listener = ServerSocketChannel.open();
                    listener.setOption(StandardSocketOptions.SO_REUSEADDR, true);
                    listener.bind(new InetSocketAddress(address, port), run.backlog());
                }
                if (run.udp()) {
                    int p = listener != null ? listener.socket().getLocalPort() : port;
                    datagrams = DatagramChannel.open();
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
        int port_shown = listener != null ? listener.socket().getLocalPort() : port;
        scheduler = new CallScheduler("kelvaro-zelt " + port_shown + " worker", run.workerThreads(),
                CodecThread.WORKER_STACK_SIZE, 30_000_000_000L);
        dispatcher.set_reply_timeout(run.deferredReplyTimeout().toNanos());
        try {
            if (listener != null)
                tcp = new TcpServer(dispatcher, counters, scheduler, listener, run);
            if (datagrams != null)
                udp = new UdpServer(dispatcher, counters, scheduler, datagrams, run);
        } catch (IOException | RuntimeException e) {
            if (listener != null)
                listener.close();
            if (datagrams != null)
                datagrams.close();
            tcp = null;
            udp = null;
            throw e;
        }
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
     * with the portmapper on this machine (SET), without taking over
     * another server's registration: a program version registered at
     * another port whose server answers a NULL call (within 2 seconds)
     * stays as it is, and this method returns false (and logs a WARNING on
     * {@code kelvaro.ZELT.server}); a registration whose server does not
     * answer is stale and is replaced. Registering again does nothing.
     *
     * @return true when every program version is registered at this
     *         server's ports; false when one is held by a server that
     *         answers, or the portmapper refused a registration
     * @throws rpc_err {@link RpcStatus#PMAP_FAILURE} when the portmapper cannot be asked
     * @throws IllegalStateException before {@link #start()}
     */
    public synchronized boolean register() throws rpc_err {
        if (!started || closed)
            throw new IllegalStateException("server not running");
        InetAddress local = InetAddress.getLoopbackAddress();
        boolean all = true;
        registered = true;
        for (int[] pv : program_versions())
            all &= Portmap.register(local, pv[0], pv[1], tcp == null ? 0 : tcp.port(), udp == null ? 0 : udp.port());
        return all;
    }

    /**
     * Removes from the portmapper on this machine the program versions
     * this server is registered for (UNSET, all protocols): those the
     * portmapper maps to this server's ports. The registration of another
     * server, such as a second instance of the same service, stays; so
     * does everything before {@link #start()}. Failures are ignored.
     */
    public synchronized void unregister() {
        InetAddress local = InetAddress.getLoopbackAddress();
        int tcp_port = tcp == null ? 0 : tcp.port();
        int udp_port = udp == null ? 0 : udp.port();
        if (tcp_port != 0 || udp_port != 0) {
            for (int[] pv : program_versions()) {
                try {
                    Portmap.unregister(local, pv[0], pv[1], tcp_port, udp_port);
                } catch (rpc_err e) {
                    // No portmapper, or it has forgotten us already: nothing to undo.
                }
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
        CallScheduler s;
        synchronized (this) {
            s = scheduler;
        }
        if (s != null)
            s.close(5000);
        dispatcher.close();
    }
}
