// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT.internal.exec;

import java.util.concurrent.ExecutionException;
import java.util.concurrent.Future;
import java.util.concurrent.LinkedBlockingQueue;
import java.util.concurrent.ThreadPoolExecutor;
import java.util.concurrent.TimeUnit;
import kelvaro.ZELT.XDR;
import kelvaro.ZELT.XDRError;
import kelvaro.ZELT.internal.access.Access;
import kelvaro.ZELT.internal.access.XdrAccess;
import kelvaro.ZELT.internal.codec.DeepData;

/**
 * Where data too deep for an ordinary stack is encoded or decoded. For
 * clients: one daemon thread with a stack of {@link #STACK_SIZE} bytes,
 * made when first needed and ended after 30 idle seconds (which also
 * returns the stack pages that deep data touched); work from several
 * clients queues. For servers: up to {@link #SERVER_DEEP_THREADS} such
 * threads shared by every server of the process, ended after 5 idle
 * seconds, so that deep calls from many connections touch a bounded
 * amount of stack and give it back soon.
 */
public final class CodecThread {
    private static final XdrAccess XDRS = Access.xdr();

    private CodecThread() {
    }

    /**
     * Stack size of the threads that walk deep data: 128 MiB, room for
     * {@link XDR#MAX_DEPTH} levels at twice the 216 bytes a level a linked
     * list takes in the interpreter.
     */
    static final long STACK_SIZE = 128L << 20;

    /** Depth up to which a client works on the caller's own stack. */
    public static final int CALLER_DEPTH = 1000;

    /** Large-stack threads that serve deep calls, for all servers together. */
    static final int SERVER_DEEP_THREADS = 2;

    /** Stack size of the threads that run server calls: deep data moves to a large-stack thread. */
    public static final long WORKER_STACK_SIZE = 4L << 20;

    /** Work that gives no result. */
    public interface Work {
        /**
         * Does the work.
         *
         * @throws XDRError when the data cannot be encoded or decoded
         */
        void run() throws XDRError;
    }

    private static final ThreadPoolExecutor EXECUTOR = new ThreadPoolExecutor(0, 1, 30, TimeUnit.SECONDS,
            new LinkedBlockingQueue<>(), r -> {
                Thread t = new Thread(null, r, "kelvaro-zelt codec", STACK_SIZE);
                t.setDaemon(true);
                return t;
            });

    /** Work that gives a result. */
    public interface Call<T> {
        /**
         * Does the work.
         *
         * @return its result
         * @throws XDRError when the data cannot be encoded or decoded
         */
        T run() throws XDRError;
    }

    private static final ThreadPoolExecutor SERVER_EXECUTOR = new ThreadPoolExecutor(SERVER_DEEP_THREADS,
            SERVER_DEEP_THREADS, 5, TimeUnit.SECONDS, new LinkedBlockingQueue<>(), r -> {
                Thread t = new Thread(null, r, "kelvaro-zelt server deep", STACK_SIZE);
                t.setDaemon(true);
                return t;
            });

    static {
        SERVER_EXECUTOR.allowCoreThreadTimeOut(true);
    }

    /** Runs work on the large-stack thread and waits for it; its exceptions come back as they were thrown. */
    static void run(Work work) throws XDRError {
        wait_for(EXECUTOR.submit(() -> {
            work.run();
            return null;
        }));
    }

    /**
     * The large-stack threads that deep server calls move on to, shared by
     * every server of the process and taken by peer address in turn.
     */
    private static final CallScheduler DEEP_CALLS = new CallScheduler("kelvaro-zelt server deep",
            SERVER_DEEP_THREADS, STACK_SIZE, 5_000_000_000L);

    /**
     * Runs a server call's rest on a large-stack thread, in turn with the deep calls of other peers; no wait.
     *
     * @param peer the caller's address, whose deep calls take turns with other callers'
     * @param task the rest of the call
     */
    public static void serve_later(Object peer, CallScheduler.Task task) {
        if (!DEEP_CALLS.submit(peer, peer, task))
            task.drop();
    }

    /**
     * Runs a server's call on one of its large-stack threads and waits for it; exceptions come back as thrown.
     *
     * @param <T> the result's type
     * @param call the work
     * @return what it gave
     * @throws XDRError as the work throws it
     */
    public static <T> T serve(Call<T> call) throws XDRError {
        return wait_for(SERVER_EXECUTOR.submit(call::run));
    }

    private static <T> T wait_for(Future<T> done) throws XDRError {
        boolean interrupted = false;
        try {
            while (true) {
                try {
                    return done.get();
                } catch (InterruptedException e) {
                    interrupted = true; // the work uses the caller's buffers: wait for it to end
                }
            }
        } catch (ExecutionException e) {
            Throwable cause = e.getCause();
            if (cause instanceof XDRError)
                throw (XDRError) cause;
            if (cause instanceof RuntimeException)
                throw (RuntimeException) cause;
            if (cause instanceof Error)
                throw (Error) cause;
            throw new IllegalStateException(cause);
        } finally {
            if (interrupted)
                Thread.currentThread().interrupt();
        }
    }

    /**
     * Runs work on the caller's stack while it stays shallow, else on the large-stack thread from mark on.
     *
     * @param x the stream the work uses
     * @param work the work
     * @throws XDRError as the work throws it
     */
    public static void walk(XDR x, Work work) throws XDRError {
        int mark = XDRS.position(x);
        XDRS.set_switch_depth(x, CALLER_DEPTH);
        try {
            work.run();
            return;
        } catch (DeepData deep) {
            // fall through: redo it all on the large stack
        } finally {
            XDRS.set_switch_depth(x, Integer.MAX_VALUE);
        }
        XDRS.set_position(x, mark);
        run(work);
    }
}
