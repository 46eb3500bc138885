package kelvaro.ZELT;

import java.io.BufferedInputStream;
import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.net.InetAddress;
import java.net.InetSocketAddress;
import java.net.ServerSocket;
import java.net.Socket;
import java.util.ArrayList;
import java.util.HashSet;
import java.util.List;
import java.util.Set;

/**
 * Base of generated server classes: serves one program version over TCP on
 * 127.0.0.1. Each connection has a thread of its own; proc_call runs for one
 * call at a time.
 */
public abstract class Svc {
    private final int prog;
    private final int ver;
    private ServerSocket listener;
    private Thread acceptor;
    private final Set<Socket> connections = new HashSet<>(); // guarded by itself
    private boolean registered;
    private final Object call_lock = new Object(); // one proc_call at a time

    public Svc(int prog, int ver) {
        this.prog = prog;
        this.ver = ver;
    }

    /**
     * Decodes the arguments of procedure proc from inXDR and returns the
     * result, or null when there is no such procedure.
     */
    public abstract XDT proc_call(int proc, XDR inXDR) throws XDRError;

    /** Binds 127.0.0.1:port (0 for any free port), serves in the background and returns the bound port. */
    public synchronized int start(int port) throws IOException {
        if (listener != null)
            throw new IllegalStateException("server already started");
        ServerSocket socket = new ServerSocket();
        socket.setReuseAddress(true);
        socket.bind(new InetSocketAddress(InetAddress.getLoopbackAddress(), port));
        listener = socket;
        acceptor = new Thread(() -> accept_loop(socket), "Svc " + prog + "." + ver + " acceptor");
        acceptor.setDaemon(true);
        acceptor.start();
        return socket.getLocalPort();
    }

    /** Registers the bound TCP port with the portmapper on 127.0.0.1; returns its answer. */
    public synchronized boolean register() throws IOException {
        if (listener == null)
            throw new IllegalStateException("server not started");
        try {
            registered = Portmap.set(InetAddress.getLoopbackAddress(), prog, ver, Rpc.IPPROTO_TCP, listener.getLocalPort());
        } catch (rpc_err e) {
            throw new IOException(e.getMessage(), e);
        }
        return registered;
    }

    /** Removes the program version from the portmapper; failures are ignored. */
    public synchronized void unregister() {
        try {
            Portmap.unset(InetAddress.getLoopbackAddress(), prog, ver);
        } catch (rpc_err e) {
            // No portmapper, or it has forgotten us already: nothing to undo.
        }
        registered = false;
    }

    /** Unregisters when registered, closes the listener and every connection, and waits for the acceptor. */
    public void stop() {
        Thread waiting;
        synchronized (this) {
            if (registered)
                unregister();
            if (listener == null)
                return;
            try {
                listener.close();
            } catch (IOException e) {
                // Closed either way.
            }
            listener = null;
            waiting = acceptor;
        }
        List<Socket> open;
        synchronized (connections) {
            open = new ArrayList<>(connections);
        }
        for (Socket s : open)
            close_quietly(s);
        try {
            waiting.join(5000);
        } catch (InterruptedException e) {
            Thread.currentThread().interrupt();
        }
    }

    private void accept_loop(ServerSocket socket) {
        while (!socket.isClosed()) {
            try {
                Socket connection = socket.accept();
                // stop() closes the listener before it closes the connections, so a
                // connection accepted while it runs is either in the set or closed here.
                synchronized (connections) {
                    if (socket.isClosed()) {
                        close_quietly(connection);
                        continue;
                    }
                    connections.add(connection);
                }
                Thread t = new Thread(() -> serve(connection), "Svc " + prog + "." + ver + " connection");
                t.setDaemon(true);
                t.start();
            } catch (IOException e) {
                // accept fails once the listener is closed; the loop test ends it.
            }
        }
    }

    private void serve(Socket connection) {
        try (connection) {
            InputStream in = new BufferedInputStream(connection.getInputStream());
            OutputStream out = connection.getOutputStream();
            byte[] call;
            while ((call = RecordMark.read(in)) != null) {
                byte[] reply = answer(call);
                if (reply != null)
                    RecordMark.write(out, reply);
            }
        } catch (IOException e) {
            // A broken or closed connection ends its thread.
        } finally {
            synchronized (connections) {
                connections.remove(connection);
            }
        }
    }

    private static void close_quietly(Socket s) {
        try {
            s.close();
        } catch (IOException e) {
            // Closed either way.
        }
    }

    /**
     * The reply record for one call record, or null for a record that is not
     * a call whose header can be read (nothing sensible can be answered then).
     */
    public byte[] answer(byte[] call) {
        XDR in = new XDR(call);
        XDR reply = new XDR();
        int rpcvers, call_prog, call_ver, proc;
        try {
            reply.enc_int(in.dec_int()); // xid
            if (in.dec_int() != Rpc.CALL)
                return null;
            reply.enc_int(Rpc.REPLY);
            rpcvers = in.dec_int();
            if (rpcvers != Rpc.RPC_VERSION) {
                reply.enc_int(Rpc.MSG_DENIED);
                reply.enc_int(Rpc.RPC_MISMATCH);
                reply.enc_int(Rpc.RPC_VERSION);
                reply.enc_int(Rpc.RPC_VERSION);
                return reply.toByteArray();
            }
            call_prog = in.dec_int();
            call_ver = in.dec_int();
            proc = in.dec_int();
            in.dec_int(); // credentials: any flavour is accepted
            in.dec_bytes();
            in.dec_int(); // verifier
            in.dec_bytes();
        } catch (XDRError e) {
            return null;
        }
        reply.enc_int(Rpc.MSG_ACCEPTED);
        reply.enc_int(Rpc.AUTH_NONE);
        reply.enc_bytes(null);
        if (call_prog != prog) {
            reply.enc_int(Rpc.PROG_UNAVAIL);
        } else if (call_ver != ver) {
            reply.enc_int(Rpc.PROG_MISMATCH);
            reply.enc_int(ver);
            reply.enc_int(ver);
        } else {
            XDR body = new XDR();
            int stat;
            try {
                XDT result;
                synchronized (call_lock) {
                    result = proc_call(proc, in);
                }
                if (result == null) {
                    stat = Rpc.PROC_UNAVAIL;
                } else {
                    stat = encode_result(result, body);
                }
            } catch (XDRError e) {
                stat = Rpc.GARBAGE_ARGS;
            } catch (RuntimeException e) {
                // A fault in the service's own code must not end the connection.
                stat = Rpc.SYSTEM_ERR;
            }
            reply.enc_int(stat);
            if (stat == Rpc.SUCCESS)
                reply.put_encoded(body.toByteArray());
        }
        return reply.toByteArray();
    }

    private static int encode_result(XDT result, XDR body) {
        try {
            result.xdr(body);
            return Rpc.SUCCESS;
        } catch (XDRError | RuntimeException e) {
            return Rpc.SYSTEM_ERR;
        }
    }
}
