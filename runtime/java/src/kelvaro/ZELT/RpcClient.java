// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT;

import java.net.InetAddress;
import java.net.InetSocketAddress;
import java.net.UnknownHostException;
import java.time.Duration;
import java.util.concurrent.CompletableFuture;
import java.util.concurrent.ThreadLocalRandom;
import java.util.concurrent.atomic.AtomicInteger;
import java.util.concurrent.atomic.AtomicReference;
import kelvaro.ZELT.internal.client.ClientTransport;
import kelvaro.ZELT.internal.client.RpcMessage;
import kelvaro.ZELT.internal.client.TcpClientTransport;
import kelvaro.ZELT.internal.client.UdpClientTransport;
import kelvaro.ZELT.internal.codec.MemberPath;
import kelvaro.ZELT.internal.exec.CodecThread;
import kelvaro.ZELT.internal.gss.GssClientSession;
import kelvaro.ZELT.internal.record.BufferTrend;

/**
 * A connection to one program version of an RPC server, over TCP or UDP;
 * what {@link ClientGeneric#getClient()} returns and generated client
 * methods call.
 *
 * <p>{@link #call} sends a CALL message (RFC 5531) with AUTH_NONE, or the
 * AUTH_SYS credentials set with {@link #setCredentials}, and waits for the
 * REPLY with the same transaction id (xid). Every failure is an
 * {@link rpc_err} whose {@link rpc_err#status() status} says what went
 * wrong: what the server answered, or that the call could not be encoded,
 * sent, received or decoded, or timed out.
 *
 * <h2>Deadlines</h2>
 * Each call has a deadline: the time-out ({@link #setTimeout}, 25 seconds
 * by default) from the moment the call starts. Everything the call does
 * waits at most until then, whatever the server does: waiting for its turn
 * on a shared client, opening a new connection (and asking the portmapper),
 * writing the call to a server that does not read, and reading a reply
 * that comes slowly, in many fragments or not at all. When the deadline
 * passes the call fails with {@link RpcStatus#TIMED_OUT}, whose message
 * names the program, version and procedure and the time-out; a call may
 * have a time-out of its own ({@link #call(int, XDT, XDT, Duration)}). On a client that
 * several threads share, each caller returns by its own deadline, also
 * while another thread is reading the connection for it.
 *
 * <h2>TCP</h2>
 * Calls go over one connection, opened when the client is made, with
 * record marking; each call is written with one write. Replies are read
 * into a buffer that grows as bytes arrive, up to the record limit
 * ({@link #setRecordLimit}, 4 MiB by default). A reply record must be
 * complete within the time-out of its first byte (counting the time that
 * callers spend reading it), and its fragments are bounded: at most one
 * per KiB of the record limit (at least 1,024), none of them empty unless
 * it is the last. A call that times out leaves the connection usable, and
 * its late reply is dropped.
 *
 * <p>The connection breaks when the server closes it (a restart, an
 * eviction), when a reply breaks the rules above (too long, too slow, bad
 * fragments), when a call cannot be written by its deadline (half a record
 * would spoil the stream), or on a socket error. Then:
 * <ul>
 * <li>every call waiting on it fails with {@link RpcStatus#CANT_RECV} (or
 * {@link RpcStatus#CANT_SEND} for the call whose write failed). Such a
 * call is never sent again by the client: the server may have run it, and
 * only the caller can tell whether running it twice is harmless;
 * <li>the next call opens a new connection, and so does a call that found
 * the connection broken before anything of it was sent (it goes out once,
 * on the new connection). A client made with a host name asks the
 * portmapper for the port again first; the host's address found when the
 * client was made is kept;
 * <li>before a call goes on a connection that has been quiet (nothing read
 * from it for a millisecond), the client looks whether the server has
 * closed it meanwhile, so that the first call after a server restart goes
 * on a new connection instead of failing.
 * </ul>
 * Nothing else is retried: a reconnection that fails fails that call
 * (the next call tries again), and a call is never resent over TCP.
 *
 * <h2>UDP</h2>
 * A call is one datagram (at most 65,507 bytes, larger calls fail with
 * {@link RpcStatus#CANT_ENCODE_ARGS}), sent again every retransmission
 * interval ({@link #setRetransmitInterval}, 5 seconds by default, so a
 * 25-second call is tried five times) until the reply comes or the
 * deadline passes; that retransmission of the same datagram (same xid) is
 * the only resending the client does. Replies with other xids are dropped.
 * When the server is not there (the system reports an ICMP port
 * unreachable) the call fails at once with {@link RpcStatus#CANT_RECV} and
 * the message "RPC: Unable to receive; errno = Connection refused". A
 * client made with a host name first asks the portmapper again, and when
 * the server is registered on another port now (a restart), sends the
 * datagram there instead of failing: nobody received it where it went.
 *
 * <h2>Threads and order</h2>
 * A client may be shared by any number of threads. Over TCP their calls
 * are in flight together on the one connection and replies are matched to
 * their callers by xid (one waiting caller, or the reader thread of
 * asynchronous calls, reads the connection and hands each reply to the
 * caller it belongs to), so a fast call is not held up behind a slow one
 * of another thread: the server runs a connection's calls concurrently
 * (see {@link ServerSettings#maxCallsPerConnection}). Calls go out in the
 * order they were made, but their replies may come in any order. Over UDP
 * calls are serialised. {@link #callAsync} returns at once with a
 * {@link CompletableFuture}; many calls may be outstanding from one thread.
 *
 * <h2>Memory</h2>
 * The buffer a call is encoded in and the buffer replies are read into are
 * kept from call to call at the size the recent calls needed, up to the
 * record limit, so that a run of large calls allocates nothing for them;
 * after 64 calls in a row that needed at most a quarter of a buffer it
 * shrinks to twice the largest of them. An idle client holds what its last
 * calls needed; {@link #close()} lets it all go.
 *
 * <h2>Deep data</h2>
 * A call encodes its arguments and decodes its result on the
 * caller's thread while they nest less than 1,000 levels deep; deeper data
 * is redone on a shared thread with a 128 MiB stack, up to
 * {@link XDR#MAX_DEPTH} levels. Deeper arguments fail with
 * {@link RpcStatus#CANT_ENCODE_ARGS} before anything is sent, a deeper
 * result with {@link RpcStatus#CANT_DECODE_RES}; the connection stays
 * usable either way.
 */
public final class RpcClient implements AutoCloseable {
    /** The default time-out of one call: 25 seconds. */
    public static final Duration DEFAULT_TIMEOUT = Duration.ofSeconds(25);
    /** The default interval between UDP retransmissions: 5 seconds. */
    public static final Duration DEFAULT_RETRANSMIT = Duration.ofSeconds(5);
    /** The default record limit for replies over TCP: 4 MiB. */
    public static final int DEFAULT_RECORD_LIMIT = 4 << 20;

    private final int prog;
    private final int vers;
    private final ClientTransport transport; // null: a client without a connection
    private final AtomicInteger next_xid = new AtomicInteger(ThreadLocalRandom.current().nextInt());
    // The encoding buffer kept between calls, and how large calls have been lately.
    private final AtomicReference<XDR> spare = new AtomicReference<>();
    private final BufferTrend spare_trend = new BufferTrend(); // guarded by spare_trend
    private volatile int last_call_size = 512;
    private volatile long timeout_nanos = DEFAULT_TIMEOUT.toNanos();
    private volatile long retransmit_nanos = DEFAULT_RETRANSMIT.toNanos();
    private volatile AuthSys credentials;
    private volatile GssClientSession gss; // RPCSEC_GSS, when set: takes over the calls

    private RpcClient(int prog, int vers, ClientTransport transport) {
        this.prog = prog;
        this.vers = vers;
        this.transport = transport;
    }

    /** A client whose calls all fail, for the generated classes' constructor without arguments. */
    static RpcClient unconnected() {
        return new RpcClient(0, 0, null);
    }

    /**
     * Opens a client for a program version at a known address and port.
     *
     * @param host the server's address
     * @param port the server's port
     * @param prog the program number
     * @param vers the version number
     * @param proto "tcp" or "udp", in any case
     * @return the client; over TCP it is connected
     * @throws rpc_err {@link RpcStatus#UNKNOWN_PROTO} for another protocol,
     *         {@link RpcStatus#SYSTEM_ERROR} when the connection or socket
     *         cannot be opened
     */
    public static RpcClient create(InetAddress host, int port, int prog, int vers, String proto) throws rpc_err {
        boolean tcp = is_tcp(proto);
        InetSocketAddress to = new InetSocketAddress(host, port);
        return connect(to, prog, vers, tcp, ClientTransport.fixed(to), DEFAULT_TIMEOUT);
    }

    /** A client whose first connection goes to first, and later ones where target says. */
    static RpcClient connect(InetSocketAddress first, int prog, int vers, boolean tcp, ClientTransport.Target target,
            Duration connect_timeout) throws rpc_err {
        ClientTransport t = tcp ? new TcpClientTransport(target, first, connect_timeout, DEFAULT_RECORD_LIMIT)
                : new UdpClientTransport(target, first);
        return new RpcClient(prog, vers, t);
    }

    /**
     * Opens a client for a program version on a host, asking the host's
     * portmapper (program 100000, version 2, GETPORT) for its port. The
     * host name is resolved once, here; the portmapper is asked again
     * before each new connection (see the class description).
     *
     * @param host the server's host name or address
     * @param prog the program number
     * @param vers the version number
     * @param proto "tcp" or "udp", in any case
     * @return the client
     * @throws rpc_err {@link RpcStatus#UNKNOWN_PROTO},
     *         {@link RpcStatus#UNKNOWN_HOST}, {@link RpcStatus#PMAP_FAILURE}
     *         when the portmapper cannot be asked,
     *         {@link RpcStatus#PROG_NOT_REGISTERED} when it knows no port,
     *         or as {@link #create(InetAddress, int, int, int, String)}
     */
    public static RpcClient create(String host, int prog, int vers, String proto) throws rpc_err {
        boolean tcp = is_tcp(proto);
        InetAddress address;
        try {
            address = InetAddress.getByName(host);
        } catch (UnknownHostException e) {
            throw new rpc_err(RpcStatus.UNKNOWN_HOST, host, e);
        }
        ClientTransport.Target portmapper = new ClientTransport.Target() {
            @Override
            public InetSocketAddress locate(long deadline) throws rpc_err {
                long now = System.nanoTime();
                if (deadline - now <= 0)
                    throw new rpc_err(RpcStatus.TIMED_OUT);
                long until = deadline - now < Portmap.TIMEOUT.toNanos() ? deadline : now + Portmap.TIMEOUT.toNanos();
                int port = Portmap.getport(address, prog, vers, tcp ? Rpc.IPPROTO_TCP : Rpc.IPPROTO_UDP, until);
                if (port == 0)
                    throw new rpc_err(RpcStatus.PROG_NOT_REGISTERED,
                            "program " + Integer.toUnsignedString(prog) + " version " + Integer.toUnsignedString(vers)
                                    + " for " + (tcp ? "tcp" : "udp") + " on " + host);
                return new InetSocketAddress(address, port);
            }

            @Override
            public boolean moves() {
                return true;
            }
        };
        InetSocketAddress first = portmapper.locate(System.nanoTime() + Portmap.TIMEOUT.toNanos());
        return connect(first, prog, vers, tcp, portmapper, DEFAULT_TIMEOUT);
    }

    /** True for "tcp", false for "udp" (any case); anything else is rpc_err UNKNOWN_PROTO. */
    static boolean is_tcp(String proto) throws rpc_err {
        if ("tcp".equalsIgnoreCase(proto))
            return true;
        if ("udp".equalsIgnoreCase(proto))
            return false;
        throw new rpc_err(RpcStatus.UNKNOWN_PROTO, String.valueOf(proto));
    }

    /**
     * Sets the time-out of each later call: the longest it may take from
     * its start to its result, all waiting, reconnecting and
     * retransmissions included. Over TCP it also bounds how long a reply
     * record may take from its first byte to its last.
     *
     * @param timeout a positive duration
     * @throws IllegalArgumentException when not positive
     */
    public void setTimeout(Duration timeout) {
        if (timeout.isNegative() || timeout.isZero())
            throw new IllegalArgumentException("time-out must be positive");
        timeout_nanos = timeout.toNanos();
        if (transport != null)
            transport.set_timeout(timeout_nanos);
    }

    /**
     * The time-out of each call.
     *
     * @return the time-out
     */
    public Duration getTimeout() {
        return Duration.ofNanos(timeout_nanos);
    }

    /**
     * Sets the interval after which a UDP call is sent again while no reply
     * has come; no effect over TCP.
     *
     * @param interval a positive duration
     * @throws IllegalArgumentException when not positive
     */
    public void setRetransmitInterval(Duration interval) {
        if (interval.isNegative() || interval.isZero())
            throw new IllegalArgumentException("retransmission interval must be positive");
        retransmit_nanos = interval.toNanos();
    }

    /**
     * Sets the credentials that later calls carry.
     *
     * @param credentials AUTH_SYS credentials, or null for AUTH_NONE (the default)
     */
    public void setCredentials(AuthSys credentials) {
        this.credentials = credentials;
    }

    /**
     * The credentials that calls carry.
     *
     * @return the AUTH_SYS credentials, or null for AUTH_NONE
     */
    public AuthSys getCredentials() {
        return credentials;
    }

    /**
     * Makes later calls use RPCSEC_GSS with these credentials instead of
     * AUTH_NONE or AUTH_SYS, or goes back to those with null.
     *
     * <p>The client creates its context with the server on the first call
     * after this (INIT and, where the mechanism needs it, CONTINUE_INIT, on
     * procedure 0 of the client's program version), within that call's
     * time-out, and uses it for every later call, on this client's
     * connection only. It creates a new context before a call when the
     * context's Kerberos lifetime has ended, or when all 2^31 sequence
     * numbers are used up. When the server answers a call with AUTH_ERROR
     * RPCSEC_GSS_CREDPROBLEM or RPCSEC_GSS_CTXPROBLEM (it lost the context,
     * dropped it to make room, restarted, or found it expired), the client
     * creates a new context and sends that call once more; the server ran
     * nothing for the refused call, so the retry cannot run a procedure
     * twice. A second such answer for the same call fails it with
     * {@link RpcStatus#AUTH_ERROR}. A context the server refuses to create,
     * a reply verifier that does not verify, or no Kerberos ticket to be had
     * fail the call with {@link RpcStatus#AUTH_ERROR}; a result whose
     * checksum or encryption does not hold with
     * {@link RpcStatus#CANT_DECODE_RES}.
     *
     * <p>At most as many calls as the server's sequence window are in flight
     * at once; further callers wait, within their time-out. Over UDP each
     * retransmission is sent with a new sequence number and xid (the server
     * drops a sequence number it has seen). {@link #close()} destroys the
     * context on the server, waiting at most 2 seconds for the answer.
     * Setting other credentials (or null) destroys the previous context the
     * same way.
     *
     * @param security the credentials, or null for AUTH_NONE or AUTH_SYS
     *        (as set with {@link #setCredentials})
     */
    public void setSecurity(RpcSecGss security) {
        GssClientSession old;
        synchronized (this) {
            old = gss;
            gss = security == null || transport == null ? null
                    : new GssClientSession(security, transport, prog, vers, next_xid);
        }
        if (old != null)
            old.close();
    }

    /**
     * The RPCSEC_GSS credentials that calls use.
     *
     * @return the credentials, or null when calls use AUTH_NONE or AUTH_SYS
     */
    public RpcSecGss getSecurity() {
        GssClientSession g = gss;
        return g == null ? null : g.sec;
    }

    GssClientSession gss_session() {
        return gss;
    }

    /**
     * Sets the longest reply record accepted over TCP; a longer one breaks
     * the connection (the next call opens a new one). Set it before the
     * calls it is for: while calls wait for replies it takes effect with
     * the next connection. It also bounds the fragments of a record (one
     * per KiB of the limit, at least 1,024). No effect over UDP.
     *
     * @param bytes the limit, positive
     * @throws IllegalArgumentException when not positive
     */
    public void setRecordLimit(int bytes) {
        if (bytes <= 0)
            throw new IllegalArgumentException("record limit must be positive");
        if (transport != null)
            transport.set_record_limit(bytes);
    }

    /**
     * The protocol of this client.
     *
     * @return "tcp" or "udp", or null for a client without a connection
     */
    public String protocol() {
        return transport == null ? null : transport.protocol();
    }

    /**
     * The server's address and port: where the current connection goes (or
     * the last one went), which may change after a reconnection through the
     * portmapper.
     *
     * @return the address, or null for a client without a connection
     */
    public InetSocketAddress remoteAddress() {
        return transport == null ? null : transport.remote();
    }

    /**
     * Closes the connection or socket for good, with the buffers, after
     * destroying the RPCSEC_GSS context if there is one. Calls waiting for
     * replies fail with {@link RpcStatus#CANT_RECV}, later calls with
     * {@link RpcStatus#CANT_SEND}; no new connection is opened.
     * Closing twice does nothing.
     */
    @Override
    public void close() {
        GssClientSession g = gss;
        if (g != null)
            g.close();
        if (transport != null)
            transport.close();
    }

    /**
     * Calls procedure {@code proc} with {@code arg} and decodes the reply's
     * result into {@code result}.
     *
     * @param proc the procedure number
     * @param arg the argument, encoded with its {@code xdr} method; over
     *        TCP its large opaque arrays are read until the call has been
     *        written, so they must not change before the call returns
     * @param result the object the result is decoded into
     * @throws rpc_err when the call fails; its status says why
     */
    public void call(int proc, XDT arg, XDT result) throws rpc_err {
        call(proc, arg, result, timeout_nanos);
    }

    /**
     * Calls procedure {@code proc} with {@code arg} within its own
     * time-out, instead of the client's, and decodes the reply's result
     * into {@code result}.
     *
     * @param proc the procedure number
     * @param arg the argument (see {@link #call(int, XDT, XDT)})
     * @param result the object the result is decoded into
     * @param timeout this call's time-out, positive
     * @throws rpc_err when the call fails; its status says why
     * @throws IllegalArgumentException when the time-out is not positive
     */
    public void call(int proc, XDT arg, XDT result, Duration timeout) throws rpc_err {
        call(proc, arg, result, positive(timeout));
    }

    private static long positive(Duration timeout) {
        if (timeout.isNegative() || timeout.isZero())
            throw new IllegalArgumentException("time-out must be positive");
        return timeout.toNanos();
    }

    private void call(int proc, XDT arg, XDT result, long timeout) throws rpc_err {
        if (transport == null)
            throw new rpc_err(RpcStatus.CANT_SEND, "client not connected");
        long deadline = System.nanoTime() + timeout;
        try {
            GssClientSession g = gss;
            if (g != null) {
                g.call(proc, arg, result, deadline, retransmit_nanos);
                return;
            }
            int xid = next_xid.getAndIncrement();
            XDR out = encode(xid, proc, arg);
            int size = out.position();
            try {
                transport.call(xid, out, result, deadline, retransmit_nanos);
            } finally {
                out.forget_references();
                keep(out, size);
            }
        } catch (rpc_err e) {
            throw e.status() == RpcStatus.TIMED_OUT ? timed_out(proc, timeout, e) : e;
        }
    }

    /** Encodes a call's header and argument into the kept buffer (or a new one). */
    private XDR encode(int xid, int proc, XDT arg) throws rpc_err {
        XDR taken = spare.getAndSet(null);
        // A caller that finds the spare in use starts at the size of recent calls, not from scratch.
        final XDR out = taken != null ? taken : new XDR(last_call_size);
        out.reset_encode(transport.header_room());
        out.refer_to_opaque(transport.refer_from());
        RpcMessage.put_call_header(out, xid, prog, vers, proc, credentials);
        try {
            CodecThread.walk(out, () -> arg.xdr(out));
        } catch (XDRError e) {
            throw new rpc_err(RpcStatus.CANT_ENCODE_ARGS, MemberPath.message(e, arg), e);
        } catch (RuntimeException e) {
            throw new rpc_err(RpcStatus.CANT_ENCODE_ARGS, e.toString(), e);
        }
        return out;
    }

    /**
     * A time-out that names the call and its time-out: "RPC: Timed out;
     * program 536870913 version 1 procedure 2 got no reply within 300 ms",
     * and what the transport said, if anything.
     */
    private rpc_err timed_out(int proc, long timeout, rpc_err e) {
        String said = e.getMessage();
        String prefix = RpcStatus.TIMED_OUT.text() + "; ";
        String detail = "program " + Integer.toUnsignedString(prog) + " version " + Integer.toUnsignedString(vers)
                + " procedure " + Integer.toUnsignedString(proc) + " got no reply within "
                + Math.max(1, timeout / 1_000_000L) + " ms";
        if (said != null && said.startsWith(prefix))
            detail += " (" + said.substring(prefix.length()) + ")";
        return new rpc_err(RpcStatus.TIMED_OUT, detail, e);
    }

    /**
     * Calls procedure {@code proc} with {@code arg} without waiting for the
     * reply: the future completes with {@code result}, into which the reply
     * was decoded, or exceptionally with the {@link rpc_err} the blocking
     * call would have thrown (wrapped in a {@code CompletionException} or
     * {@code ExecutionException} by the methods that wait). The client's
     * time-out applies from now.
     *
     * <p>Over TCP the call is encoded and written on the calling thread
     * before this returns (it waits, within the time-out, only while the
     * connection's send buffer is full: the server pushes back), and any
     * number of calls may be outstanding on the one connection; one reader
     * thread per connection reads the replies while any are outstanding,
     * so outstanding calls cost no thread each. Over UDP, or with
     * RPCSEC_GSS, the blocking call runs on a shared thread instead.
     *
     * <p>The future completes on the thread that read the reply (or on the
     * runtime's deadline thread when the time-out passes): actions chained
     * with {@code thenApply} and the like run there, so they should not
     * block; chain them with the {@code ...Async} methods to run them
     * elsewhere. Cancelling the future forgets the call at once (a late
     * reply is dropped); the server may still run it.
     *
     * @param <T> the result's type
     * @param proc the procedure number
     * @param arg the argument (see {@link #call(int, XDT, XDT)})
     * @param result the object the result is decoded into
     * @return the future of the result
     */
    public <T extends XDT> CompletableFuture<T> callAsync(int proc, XDT arg, T result) {
        return call_async(proc, arg, result, timeout_nanos);
    }

    /**
     * As {@link #callAsync(int, XDT, XDT)}, within this call's own time-out.
     *
     * @param <T> the result's type
     * @param proc the procedure number
     * @param arg the argument
     * @param result the object the result is decoded into
     * @param timeout this call's time-out, positive
     * @return the future of the result
     * @throws IllegalArgumentException when the time-out is not positive
     */
    public <T extends XDT> CompletableFuture<T> callAsync(int proc, XDT arg, T result, Duration timeout) {
        return call_async(proc, arg, result, positive(timeout));
    }

    private <T extends XDT> CompletableFuture<T> call_async(int proc, XDT arg, T result, long timeout) {
        CompletableFuture<T> future = new CompletableFuture<>();
        java.util.function.Consumer<Throwable> done = err -> {
            if (err == null)
                future.complete(result);
            else if (err instanceof rpc_err e && e.status() == RpcStatus.TIMED_OUT)
                future.completeExceptionally(timed_out(proc, timeout, e));
            else
                future.completeExceptionally(err);
        };
        if (transport == null) {
            done.accept(new rpc_err(RpcStatus.CANT_SEND, "client not connected"));
            return future;
        }
        long deadline = System.nanoTime() + timeout;
        GssClientSession g = gss;
        if (g != null) {
            ClientTransport.run_async(() -> {
                try {
                    g.call(proc, arg, result, deadline, retransmit_nanos);
                    done.accept(null);
                } catch (rpc_err | RuntimeException | Error e) {
                    done.accept(e);
                }
            }, done);
            return future;
        }
        int xid = next_xid.getAndIncrement();
        XDR out;
        try {
            out = encode(xid, proc, arg);
        } catch (rpc_err e) {
            done.accept(e);
            return future;
        }
        int size = out.position();
        try {
            transport.call_async(xid, out, result, deadline, retransmit_nanos, done, future);
        } catch (rpc_err e) {
            done.accept(e);
        } finally {
            out.forget_references();
            keep(out, size);
        }
        return future;
    }

    /** Keeps the encoding buffer of a call of size bytes for the next call, shrunk as the recent calls say. */
    private void keep(XDR out, int size) {
        last_call_size = Math.max(512, size);
        int shrink;
        synchronized (spare_trend) {
            shrink = spare_trend.note(size, out.capacity(), 512);
        }
        spare.set(shrink > 0 ? new XDR(shrink) : out);
    }
}
