// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT;

import java.io.IOException;
import java.net.InetAddress;
import kelvaro.ZELT.internal.access.Access;
import kelvaro.ZELT.internal.server.CallDispatcher;
import kelvaro.ZELT.internal.server.ServerCall;

/**
 * Base of generated server classes: one program version, whose
 * {@link #proc_call} decodes a call's arguments, runs the procedure and
 * returns its result. A service is served by adding it to an
 * {@link RpcServer}, or alone with the conveniences here
 * ({@link #start(int)}, {@link #register()}, {@link #stop()}), which run a
 * server of its own on TCP and UDP.
 *
 * <p>How a call is answered (RFC 5531):
 * <ul>
 * <li>{@code proc_call} returns a result: SUCCESS with the encoded result;</li>
 * <li>it returns null for a procedure the service does not have:
 * PROC_UNAVAIL;</li>
 * <li>it returns null for a procedure it has (a service method returned
 * null where a result is due): SYSTEM_ERR, logged;</li>
 * <li>it throws {@link XDRError} (the arguments cannot be decoded, or nest
 * deeper than {@link XDR#MAX_DEPTH}): GARBAGE_ARGS;</li>
 * <li>it throws anything else, or the result cannot be encoded: SYSTEM_ERR,
 * logged with the stack trace, and the server goes on;</li>
 * <li>the program is not served: PROG_UNAVAIL; the version is not:
 * PROG_MISMATCH with the lowest and highest version of the program the
 * server has;</li>
 * <li>the RPC version is not 2: RPC_MISMATCH; credentials that are
 * malformed or over 400 bytes: AUTH_ERROR (see {@link RpcServer}).</li>
 * </ul>
 *
 * <p>A procedure counts as one the service has when its number is the value
 * of a constant named {@code _NAME_proc} in an interface the service's
 * class implements (as generated interfaces declare them), or when
 * {@code proc_call} read its arguments before returning null.
 *
 * <h2>Concurrency and order</h2>
 * {@code proc_call} may run for several calls at once, on different
 * threads, also for calls that came on one connection: a server runs up to
 * {@link ServerSettings#maxCallsPerConnection} calls of a connection at
 * once and sends each reply, whole, as soon as it is ready, in any order
 * (callers match replies by xid). Calls of one connection begin in the
 * order they came, but nothing orders their ends. With
 * {@code maxCallsPerConnection(1)} a connection's calls run one at a
 * time, in order, and their replies go out in that order. UDP calls always
 * run concurrently. {@link RpcServer#setSerialized} makes each service run
 * one call at a time whatever the connection. {@link #currentCall()} tells
 * each call who called; {@link #deferReply()} lets a method answer later
 * from another thread.
 */
public abstract class Svc {
    static {
        Access.register(new RpcBridge());
    }

    final int prog;
    final int ver;
    final Object call_lock = new Object();
    private RpcServer own; // the server of start(), if any
    private volatile java.util.Set<Integer> procedures; // from the _NAME_proc constants, found when first needed
    volatile AuthPolicy auth_policy; // null: AUTH_NONE and AUTH_SYS, no RPCSEC_GSS

    /**
     * A service for a program version.
     *
     * @param prog the program number
     * @param ver the version number
     */
    public Svc(int prog, int ver) {
        this.prog = prog;
        this.ver = ver;
    }

    /**
     * Decodes the arguments of procedure {@code proc} from {@code inXDR},
     * runs the procedure and returns its result.
     *
     * @param proc the procedure number
     * @param inXDR the call's arguments
     * @return the result, or null when there is no such procedure
     * @throws XDRError when the arguments cannot be decoded
     */
    public abstract XDT proc_call(int proc, XDR inXDR) throws XDRError;

    /** True when the service's interfaces declare a procedure of that number. */
    final boolean has_procedure(int proc) {
        java.util.Set<Integer> known = procedures;
        if (known == null) {
            known = new java.util.HashSet<>();
            for (Class<?> c = getClass(); c != null; c = c.getSuperclass())
                collect(c, known, new java.util.HashSet<>());
            procedures = known;
        }
        return known.contains(proc);
    }

    private static void collect(Class<?> c, java.util.Set<Integer> known, java.util.Set<Class<?>> seen) {
        for (Class<?> i : c.getInterfaces()) {
            if (!seen.add(i))
                continue;
            for (java.lang.reflect.Field f : i.getFields()) {
                String name = f.getName();
                if (f.getType() == int.class && name.length() > 6 && name.startsWith("_") && name.endsWith("_proc")
                        && java.lang.reflect.Modifier.isStatic(f.getModifiers())) {
                    try {
                        known.add(f.getInt(null));
                    } catch (IllegalAccessException | RuntimeException e) {
                        // not readable: not a procedure number we can use
                    }
                }
            }
            collect(i, known, seen);
        }
    }

    /**
     * The call that the current thread is running, for use inside
     * {@code proc_call} and the service methods it calls.
     *
     * @return the call's context, or null outside a call
     */
    public static CallContext currentCall() {
        ServerCall c = CallDispatcher.CURRENT.get();
        return c == null ? null : c.context;
    }

    /**
     * Defers the reply of the call the current thread is running: the
     * service method may then return at once (its return value, null
     * included, is ignored), freeing the thread, and the call is answered
     * later through the handle, from any thread. See {@link ReplyHandle}
     * for the reply deadline and what counts against the connection's bound.
     *
     * @return the handle that answers the call
     * @throws IllegalStateException outside a call, or when this call's
     *         reply is deferred already
     */
    public static ReplyHandle deferReply() {
        ServerCall c = CallDispatcher.CURRENT.get();
        if (c == null)
            throw new IllegalStateException("no server call runs on this thread");
        return c.defer();
    }

    /**
     * Serves this service alone over TCP and UDP on every address, on any
     * free port.
     *
     * @return the TCP port (the UDP port has the same number)
     * @throws IOException when the sockets cannot be opened
     * @throws IllegalStateException when started already
     */
    public int start() throws IOException {
        return start(null, 0);
    }

    /**
     * Serves this service alone over TCP and UDP on every address.
     *
     * @param port the port, or 0 for any free one
     * @return the TCP port (the UDP port has the same number)
     * @throws IOException when the sockets cannot be opened
     * @throws IllegalStateException when started already
     */
    public int start(int port) throws IOException {
        return start(null, port);
    }

    /**
     * Serves this service alone over TCP and UDP.
     *
     * @param address the local address, or null for every address
     * @param port the port, or 0 for any free one
     * @return the TCP port (the UDP port has the same number)
     * @throws IOException when the sockets cannot be opened
     * @throws IllegalStateException when started already
     */
    public synchronized int start(InetAddress address, int port) throws IOException {
        if (own != null)
            throw new IllegalStateException("service already started");
        RpcServer server = new RpcServer();
        server.setAddress(address);
        server.setPort(port);
        server.add(this);
        server.start();
        own = server;
        return server.tcpPort();
    }

    /**
     * The TCP port of {@link #start(int)}.
     *
     * @return the port, or 0 when not started
     */
    public synchronized int tcpPort() {
        return own == null ? 0 : own.tcpPort();
    }

    /**
     * The UDP port of {@link #start(int)}.
     *
     * @return the port, or 0 when not started
     */
    public synchronized int udpPort() {
        return own == null ? 0 : own.udpPort();
    }

    /**
     * Registers this program version for TCP and UDP with the portmapper on
     * this machine, without taking over another server's registration (see
     * {@link RpcServer#register()}): a registration left by a server that
     * no longer answers is replaced, one whose server answers a NULL call
     * stays, and the result is false.
     *
     * @return true when both registrations are this server's
     * @throws rpc_err {@link RpcStatus#PMAP_FAILURE} when the portmapper cannot be asked
     * @throws IllegalStateException when not started
     */
    public synchronized boolean register() throws rpc_err {
        if (own == null)
            throw new IllegalStateException("service not started");
        return own.register();
    }

    /**
     * Removes this program version from the portmapper on this machine, for
     * every protocol, unless another server holds the registration: when
     * started, only a registration of this server's ports is removed; when
     * not started, only one whose server does not answer a NULL call (a
     * stale one). Failures are ignored.
     */
    public synchronized void unregister() {
        if (own != null) {
            own.unregister();
            return;
        }
        try {
            Portmap.unregister_stale(InetAddress.getLoopbackAddress(), prog, ver);
        } catch (rpc_err e) {
            // No portmapper, or nothing registered: nothing to undo.
        }
    }

    /**
     * Stops the server of {@link #start(int)}: unregisters when registered,
     * closes its sockets and connections and stops its threads. Does nothing
     * when not started; the service may be started again afterwards.
     */
    public void stop() {
        RpcServer server;
        synchronized (this) {
            server = own;
            own = null;
        }
        if (server != null)
            server.close();
    }

    /**
     * Sets which credentials calls to this program version must carry, for
     * example {@code AuthPolicy.requireGss(authenticator, GssService.INTEGRITY)}.
     * Takes effect for calls that arrive afterwards; calls refused get the
     * answers listed at {@link AuthPolicy}. To cover a whole program, set
     * it on each of its versions.
     *
     * @param policy the policy, or null for the default (AUTH_NONE and
     *        AUTH_SYS accepted, RPCSEC_GSS refused)
     */
    public void setAuthPolicy(AuthPolicy policy) {
        auth_policy = policy;
    }
}
