package kelvaro.ZELT;

import java.io.BufferedInputStream;
import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.net.InetAddress;
import java.net.InetSocketAddress;
import java.net.Socket;
import java.net.SocketTimeoutException;

/**
 * One TCP connection to an RPC program version. call() sends a CALL with
 * AUTH_NONE credentials and waits for the REPLY with the same xid; calls on
 * one client are serialised.
 */
public class RpcClient implements AutoCloseable {
    /** Default time-out for connecting and for waiting on a reply. */
    public static final int DEFAULT_TIMEOUT_MS = 25_000;

    private final int prog;
    private final int vers;
    private Socket socket;
    private InputStream in;
    private OutputStream out;
    private int timeout_ms = DEFAULT_TIMEOUT_MS;
    private int next_xid = (int) System.nanoTime();

    /** A client without a connection: every call fails with rpc_err. */
    public RpcClient(int prog, int vers) {
        this.prog = prog;
        this.vers = vers;
    }

    public RpcClient(InetAddress host, int port, int prog, int vers) throws rpc_err {
        this(prog, vers);
        try {
            socket = new Socket();
            socket.connect(new InetSocketAddress(host, port), timeout_ms);
            socket.setTcpNoDelay(true);
            socket.setSoTimeout(timeout_ms);
            in = new BufferedInputStream(socket.getInputStream());
            out = socket.getOutputStream();
        } catch (IOException e) {
            close();
            throw new rpc_err("cannot connect to " + host.getHostAddress() + " port " + port + ": " + e.getMessage(), e);
        }
    }

    /** Sets the time-out for each later call. */
    public synchronized void setTimeout(int millis) {
        timeout_ms = millis;
        try {
            if (socket != null)
                socket.setSoTimeout(millis);
        } catch (IOException e) {
            // The socket is broken; the next call reports it.
        }
    }

    public synchronized void close() {
        try {
            if (socket != null)
                socket.close();
        } catch (IOException e) {
            // Nothing left to release.
        }
        socket = null;
    }

    /** Calls procedure proc with arg and decodes the reply's result into result. */
    public synchronized void call(int proc, XDT arg, XDT result) throws rpc_err {
        if (socket == null)
            throw new rpc_err("RPC client is not connected");
        int xid = next_xid++;
        XDR call = new XDR();
        call.enc_int(xid);
        call.enc_int(Rpc.CALL);
        call.enc_int(Rpc.RPC_VERSION);
        call.enc_int(prog);
        call.enc_int(vers);
        call.enc_int(proc);
        call.enc_int(Rpc.AUTH_NONE); // credentials
        call.enc_bytes(null);
        call.enc_int(Rpc.AUTH_NONE); // verifier
        call.enc_bytes(null);
        try {
            arg.xdr(call);
        } catch (XDRError e) {
            throw new rpc_err("cannot encode the arguments: " + e.getMessage(), e);
        }
        try {
            RecordMark.write(out, call.toByteArray());
        } catch (IOException e) {
            close();
            throw new rpc_err("cannot send the call: " + e.getMessage(), e);
        }
        read_reply(xid, proc, result);
    }

    private void read_reply(int xid, int proc, XDT result) throws rpc_err {
        long deadline = System.nanoTime() + timeout_ms * 1_000_000L;
        XDR reply;
        try {
            // Replies to earlier, abandoned calls may still arrive; skip them.
            do {
                if (System.nanoTime() > deadline)
                    throw new SocketTimeoutException();
                byte[] record = RecordMark.read(in);
                if (record == null)
                    throw new IOException("server closed the connection");
                reply = new XDR(record);
            } while (reply.remaining() < 4 || reply.dec_int() != xid);
        } catch (SocketTimeoutException e) {
            close();
            throw new rpc_err("timed out waiting for the reply", e);
        } catch (IOException | XDRError e) {
            close();
            throw new rpc_err("cannot receive the reply: " + e.getMessage(), e);
        }
        try {
            if (reply.dec_int() != Rpc.REPLY)
                throw new rpc_err("answer to the call is not a reply");
            if (reply.dec_int() == Rpc.MSG_DENIED) {
                int reject = reply.dec_int();
                if (reject == Rpc.RPC_MISMATCH)
                    throw new rpc_err("call rejected: RPC version mismatch (server supports "
                            + reply.dec_int() + " to " + reply.dec_int() + ")");
                if (reject == Rpc.AUTH_ERROR)
                    throw new rpc_err("call rejected: authentication error " + reply.dec_int());
                throw new rpc_err("call rejected with status " + reject);
            }
            reply.dec_int(); // verifier flavour
            reply.dec_bytes(); // verifier body
            int stat = reply.dec_int();
            if (stat == Rpc.PROG_MISMATCH)
                throw new rpc_err("program version mismatch: program " + prog + " version " + vers
                        + " (server supports " + reply.dec_int() + " to " + reply.dec_int() + ")");
            if (stat != Rpc.SUCCESS)
                throw new rpc_err(Rpc.accept_text(stat) + ": program " + prog + " version " + vers + " procedure " + proc);
        } catch (XDRError e) {
            throw new rpc_err("cannot decode the reply header: " + e.getMessage(), e);
        }
        try {
            result.xdr(reply);
        } catch (XDRError e) {
            throw new rpc_err("cannot decode the result: " + e.getMessage(), e);
        }
    }
}
