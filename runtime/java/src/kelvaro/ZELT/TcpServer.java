// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT;

import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.net.InetSocketAddress;
import java.net.ServerSocket;
import java.net.Socket;
import java.util.ArrayList;
import java.util.HashSet;
import java.util.List;
import java.util.Set;
import java.util.concurrent.SynchronousQueue;
import java.util.concurrent.ThreadPoolExecutor;
import java.util.concurrent.TimeUnit;

/**
 * The TCP side of an {@link RpcServer}: an acceptor thread, and one worker
 * thread with a large stack per live connection, taken from a pool whose
 * idle threads end after 30 seconds. At most max_connections connections
 * live at once; when full, a new connection evicts the one that has been
 * idle (between records) the longest, or is refused when none is idle. A
 * connection that sends a record over the limit, stalls inside a record
 * longer than the record time-out, does not take a reply for longer than
 * the record time-out, stays idle longer than the idle time-out, or sends
 * something that is not a call is closed.
 */
final class TcpServer {
    /** Replies to calls that arrived together are written together up to this many bytes. */
    private static final int BATCH = 64 * 1024;

    private final CallDispatcher dispatcher;
    private final int record_limit;
    private final int max_connections;
    private final int idle_ms;
    private final int stall_ms;
    private final RecordReader.Budget budget;

    private final ServerSocket listener;
    private final Thread acceptor;
    private final Thread watchdog;
    private final ThreadPoolExecutor workers;
    private final Set<Connection> live = new HashSet<>(); // guarded by itself
    private volatile boolean closed;

    /** One accepted connection and what its worker knows about it. */
    private final class Connection implements Runnable {
        final Socket socket;
        final RecordReader records;
        volatile boolean calling;
        volatile long idle_since = System.nanoTime();
        volatile long writing_since; // 0 when not writing

        Connection(Socket socket) {
            this.socket = socket;
            this.records = new RecordReader(record_limit, budget);
        }

        boolean idle() {
            return !calling && !records.inside_record();
        }

        void close() {
            try {
                socket.close();
            } catch (IOException e) {
                // closed either way
            }
        }

        @Override
        public void run() {
            try {
                serve();
            } catch (IOException | RuntimeException | Error e) {
                // A broken, stalled, hostile or evicted connection ends here; the others go on.
            } finally {
                records.release();
                synchronized (live) {
                    live.remove(this);
                }
                close();
            }
        }

        private void serve() throws IOException {
            InetSocketAddress remote = (InetSocketAddress) socket.getRemoteSocketAddress();
            InputStream in = socket.getInputStream();
            OutputStream out = socket.getOutputStream();
            records.set_timeouts(socket, idle_ms, stall_ms);
            XDR call = new XDR(new byte[0]);
            XDR reply = new XDR(512);
            reply.reset_encode(0);
            while (records.read(in)) {
                calling = true;
                int header = reply.position();
                reply.enc_int(0);
                if (!dispatcher.dispatch(records.buffer(), records.start(), records.length(), call, reply, remote,
                        "tcp", Integer.MAX_VALUE - 8 - header)) {
                    reply.set_position(header);
                    if (header > 0)
                        out.write(reply.buffer(), 0, header);
                    return; // not a call: the peer does not speak RPC
                }
                reply.put_int_at(header, 0x80000000 | (reply.position() - header - 4));
                // Calls that came in one batch get their replies in one write.
                if (reply.position() < BATCH && records.next_record_buffered())
                    continue;
                writing_since = System.nanoTime() | 1;
                out.write(reply.buffer(), 0, reply.position());
                writing_since = 0;
                if (reply.capacity() > RecordReader.KEEP)
                    reply = new XDR(512);
                reply.reset_encode(0);
                idle_since = System.nanoTime();
                calling = false;
            }
        }
    }

    TcpServer(CallDispatcher dispatcher, ServerSocket listener, int record_limit, int max_connections, int idle_ms,
            int stall_ms, long buffer_budget, long stack_size) {
        this.dispatcher = dispatcher;
        this.budget = new RecordReader.Budget(buffer_budget);
        this.listener = listener;
        this.record_limit = record_limit;
        this.max_connections = max_connections;
        this.idle_ms = idle_ms;
        this.stall_ms = stall_ms;
        int port = listener.getLocalPort();
        workers = new ThreadPoolExecutor(0, Integer.MAX_VALUE, 30, TimeUnit.SECONDS, new SynchronousQueue<>(), r -> {
            Thread t = new Thread(null, r, "kelvaro-zelt tcp " + port + " worker", stack_size);
            t.setDaemon(true);
            return t;
        });
        acceptor = new Thread(this::accept_loop, "kelvaro-zelt tcp " + port + " acceptor");
        acceptor.setDaemon(true);
        watchdog = new Thread(this::watch_writes, "kelvaro-zelt tcp " + port + " watchdog");
        watchdog.setDaemon(true);
    }

    void start() {
        acceptor.start();
        watchdog.start();
    }

    /**
     * Closes connections whose peer has not taken a reply for longer than
     * the record time-out: a socket write has no time-out of its own, and a
     * peer that sends calls but reads no replies would hold its worker.
     */
    private void watch_writes() {
        long limit = stall_ms * 1_000_000L;
        while (!closed) {
            try {
                Thread.sleep(Math.max(10, Math.min(stall_ms / 4, 1000)));
            } catch (InterruptedException e) {
                return;
            }
            long now = System.nanoTime();
            List<Connection> stuck = new ArrayList<>();
            synchronized (live) {
                for (Connection c : live) {
                    long since = c.writing_since;
                    if (since != 0 && now - since > limit)
                        stuck.add(c);
                }
            }
            for (Connection c : stuck)
                c.close();
        }
    }

    int port() {
        return listener.getLocalPort();
    }

    /** The bytes of the buffer budget not in use. */
    long budget_left() {
        return budget.left();
    }

    /** The number of live connections. */
    int connections() {
        synchronized (live) {
            return live.size();
        }
    }

    private void accept_loop() {
        while (!closed) {
            Socket s;
            try {
                s = listener.accept();
            } catch (IOException e) {
                if (closed)
                    return;
                continue; // a connection that failed while being accepted
            }
            Connection c = new Connection(s);
            Connection victim = null;
            synchronized (live) {
                if (closed) {
                    c.close();
                    return;
                }
                if (live.size() >= max_connections) {
                    for (Connection o : live)
                        if (o.idle() && (victim == null || o.idle_since < victim.idle_since))
                            victim = o;
                    if (victim == null) {
                        c.close(); // every connection is busy: refuse the new one
                        continue;
                    }
                    live.remove(victim);
                }
                live.add(c);
            }
            if (victim != null)
                victim.close();
            try {
                s.setTcpNoDelay(true);
                workers.execute(c);
            } catch (IOException | RuntimeException e) {
                c.close();
                synchronized (live) {
                    live.remove(c);
                }
            }
        }
    }

    void close() {
        closed = true;
        try {
            listener.close();
        } catch (IOException e) {
            // closed either way
        }
        List<Connection> open;
        synchronized (live) {
            open = new ArrayList<>(live);
            live.clear();
        }
        for (Connection c : open)
            c.close();
        workers.shutdown();
        watchdog.interrupt();
        try {
            acceptor.join(5000);
            workers.awaitTermination(5, TimeUnit.SECONDS);
        } catch (InterruptedException e) {
            Thread.currentThread().interrupt();
        }
    }
}
