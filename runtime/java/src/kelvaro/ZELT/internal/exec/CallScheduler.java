// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT.internal.exec;

import java.util.ArrayDeque;
import java.util.ArrayList;
import java.util.HashMap;
import java.util.List;
import java.util.concurrent.TimeUnit;
import java.util.concurrent.locks.Condition;
import java.util.concurrent.locks.ReentrantLock;
import kelvaro.ZELT.internal.log.RuntimeLog;
import kelvaro.ZELT.internal.server.ServerCall;

/**
 * A fair queue of calls and the threads that run them. Calls are queued by
 * peer address and, within an address, by flow (a TCP connection, or the
 * UDP datagrams from one source port); a thread that is free takes the
 * next address in turn, and of that address the next flow in turn. So a
 * connection with a thousand calls queued delays another connection's call
 * by about one call, an address with a hundred connections gets no more
 * turns than an address with one, and a UDP caller that shares its host
 * with a flood from many ports waits for about one call of each port, not
 * for the whole flood.
 *
 * <p>Threads are started as calls need them, up to the limit, and end
 * after being idle for the keep-alive time. Calls of a flow may run
 * concurrently on several threads; a flow that needs one at a time keeps
 * its later calls back itself.
 *
 * <p>UDP calls are bounded in number: when the bound is reached, the
 * oldest queued datagram of the longest UDP flow of the address that has
 * the most queued is dropped (its caller retransmits). The new datagram is
 * dropped instead when nothing queued is more to blame: its own address
 * has the most, and no flow of that address is longer than its own would
 * be with it.
 */
public final class CallScheduler {
    /** What the scheduler runs: a call, or what is left of one. */
    public interface Task extends Runnable {
        /** Gives back what the task holds, without running it (a closed connection, a shed datagram). */
        void drop();
    }

    /** The flow of the UDP calls from one source port of an address. */
    private record UdpFlow(int port) {
    }

    private static final class Flow {
        final Object key;
        final ArrayDeque<Task> tasks = new ArrayDeque<>();

        Flow(Object key) {
            this.key = key;
        }
    }

    private static final class Peer {
        final Object address;
        final HashMap<Object, Flow> flows = new HashMap<>(4);
        final ArrayDeque<Flow> ring = new ArrayDeque<>(4); // flows with tasks, in turn
        int udp; // UDP tasks queued

        Peer(Object address) {
            this.address = address;
        }
    }

    private final ReentrantLock lock = new ReentrantLock();
    private final Condition work = lock.newCondition();
    private final HashMap<Object, Peer> peers = new HashMap<>(); // peers with tasks queued
    private final ArrayDeque<Peer> ready = new ArrayDeque<>();   // the same peers, in turn
    private final String name;
    private final long stack_size;
    private final int max_threads;
    private final long keep_alive_nanos;
    private int queued;
    private int udp_queued;
    private int idle;
    private int threads;
    private boolean closed;
    private final ArrayList<Thread> started = new ArrayList<>(); // guarded by lock; for close()

    /**
     * A scheduler whose threads are started as calls need them.
     *
     * @param name the threads' name
     * @param max_threads the most threads
     * @param stack_size each thread's stack size
     * @param keep_alive_nanos how long an idle thread waits for work before it ends
     */
    public CallScheduler(String name, int max_threads, long stack_size, long keep_alive_nanos) {
        this.name = name;
        this.max_threads = max_threads;
        this.stack_size = stack_size;
        this.keep_alive_nanos = keep_alive_nanos;
    }

    /**
     * Queues a TCP task of a flow of an address; false (task not taken) once closed.
     *
     * @param address the peer's address
     * @param flow the flow: the connection the task came on
     * @param task the task
     * @return true when queued
     */
    public boolean submit(Object address, Object flow, Task task) {
        lock.lock();
        try {
            if (closed)
                return false;
            enqueue(address, flow, task);
            return true;
        } finally {
            lock.unlock();
        }
    }

    /**
     * Queues a UDP task of an address and source port, within the bound on
     * queued UDP tasks; false when the task itself was shed (dropped, not
     * run).
     *
     * @param address the peer's address
     * @param port the peer's source port
     * @param task the task
     * @param bound the most UDP tasks queued
     * @return false when the task was shed
     */
    public boolean submit_udp(Object address, int port, Task task, int bound) {
        UdpFlow key = new UdpFlow(port);
        Task shed = null;
        lock.lock();
        try {
            if (closed)
                return false;
            if (udp_queued >= bound) {
                Peer own = peers.get(address);
                Peer most = null;
                for (Peer p : peers.values())
                    if (p.udp > 0 && (most == null || p.udp > most.udp))
                        most = p;
                int mine = own == null ? 0 : own.udp;
                if (most == null || most != own && most.udp <= mine)
                    return false;
                Flow longest = longest_udp_flow(most);
                if (most == own) {
                    Flow mine_flow = own.flows.get(key);
                    int with_new = (mine_flow == null ? 0 : mine_flow.tasks.size()) + 1;
                    if (longest == mine_flow || longest.tasks.size() <= with_new)
                        return false;
                }
                shed = longest.tasks.pollFirst();
                most.udp--;
                udp_queued--;
                queued--;
                if (longest.tasks.isEmpty()) {
                    most.flows.remove(longest.key);
                    most.ring.remove(longest);
                    if (most.ring.isEmpty()) {
                        peers.remove(most.address);
                        ready.remove(most);
                    }
                }
            }
            enqueue(address, key, task);
            Peer p = peers.get(address);
            p.udp++;
            udp_queued++;
        } finally {
            lock.unlock();
        }
        if (shed != null)
            shed.drop();
        return true;
    }

    /** The UDP flow of a peer with the most tasks queued; the peer has at least one. */
    private static Flow longest_udp_flow(Peer p) {
        Flow longest = null;
        for (Flow f : p.ring)
            if (f.key instanceof UdpFlow && (longest == null || f.tasks.size() > longest.tasks.size()))
                longest = f;
        return longest;
    }

    private void enqueue(Object address, Object key, Task task) {
        Peer p = peers.get(address);
        if (p == null) {
            p = new Peer(address);
            peers.put(address, p);
            ready.addLast(p);
        }
        Flow f = p.flows.get(key);
        if (f == null) {
            f = new Flow(key);
            p.flows.put(key, f);
            p.ring.addLast(f);
        }
        f.tasks.addLast(task);
        queued++;
        if (idle > 0)
            work.signal();
        if (queued > idle && threads < max_threads)
            start_thread();
    }

    /** The next task in turn, or null when none comes within the wait (or once closed). */
    private Task take(long wait_nanos) throws InterruptedException {
        lock.lock();
        try {
            long left = wait_nanos;
            while (ready.isEmpty()) {
                if (closed || left <= 0)
                    return null;
                idle++;
                try {
                    left = work.awaitNanos(left);
                } finally {
                    idle--;
                }
            }
            Peer p = ready.pollFirst();
            Flow f = p.ring.pollFirst();
            Task t = f.tasks.pollFirst();
            queued--;
            if (f.key instanceof UdpFlow) {
                p.udp--;
                udp_queued--;
            }
            if (f.tasks.isEmpty())
                p.flows.remove(f.key);
            else
                p.ring.addLast(f);
            if (p.ring.isEmpty())
                peers.remove(p.address);
            else
                ready.addLast(p);
            return t;
        } finally {
            lock.unlock();
        }
    }

    /**
     * Takes a flow's queued tasks out, unrun (its connection closed); the caller drops them.
     *
     * @param address the peer's address
     * @param key the flow
     * @return the tasks taken out
     */
    public List<Task> remove_flow(Object address, Object key) {
        lock.lock();
        try {
            Peer p = peers.get(address);
            if (p == null)
                return List.of();
            Flow f = p.flows.remove(key);
            if (f == null)
                return List.of();
            p.ring.remove(f);
            queued -= f.tasks.size();
            if (p.ring.isEmpty()) {
                peers.remove(address);
                ready.remove(p);
            }
            return new ArrayList<>(f.tasks);
        } finally {
            lock.unlock();
        }
    }

    /**
     * Tasks queued and not begun.
     *
     * @return the count
     */
    public int queued() {
        lock.lock();
        try {
            return queued;
        } finally {
            lock.unlock();
        }
    }

    /** True when a thread waits for work, so that a task submitted now begins at once. */
    boolean has_idle() {
        lock.lock();
        try {
            return idle > queued;
        } finally {
            lock.unlock();
        }
    }

    private void start_thread() {
        Thread t = new Thread(null, this::work_loop, name, stack_size);
        t.setDaemon(true);
        threads++;
        started.add(t);
        t.start();
    }

    private void work_loop() {
        ServerCall.Buffers.may_wait();
        try {
            while (true) {
                Task t;
                try {
                    t = take(keep_alive_nanos);
                } catch (InterruptedException e) {
                    t = null;
                }
                if (t == null) {
                    lock.lock();
                    try {
                        // Another task may have come between the wait and here: stay for it.
                        if (!closed && !ready.isEmpty())
                            continue;
                        threads--;
                        started.remove(Thread.currentThread());
                        return;
                    } finally {
                        lock.unlock();
                    }
                }
                try {
                    t.run();
                } catch (VirtualMachineError e) {
                    throw e;
                } catch (Throwable e) {
                    // A task that failed has dealt with its own connection; the thread serves on.
                    RuntimeLog.limited(RuntimeLog.logger("server"), System.Logger.Level.ERROR, "task",
                            () -> "a server task failed", e);
                }
            }
        } finally {
            ServerCall.Buffers.forget();
        }
    }

    /**
     * Stops taking tasks, drops what is queued and waits a while for running ones.
     *
     * @param wait_millis how long to wait for running tasks
     */
    public void close(long wait_millis) {
        List<Task> left = new ArrayList<>();
        List<Thread> running;
        lock.lock();
        try {
            closed = true;
            for (Peer p : peers.values())
                for (Flow f : p.flows.values())
                    left.addAll(f.tasks);
            peers.clear();
            ready.clear();
            queued = 0;
            udp_queued = 0;
            work.signalAll();
            running = new ArrayList<>(started);
        } finally {
            lock.unlock();
        }
        for (Task t : left)
            t.drop();
        long until = System.nanoTime() + TimeUnit.MILLISECONDS.toNanos(wait_millis);
        for (Thread t : running) {
            if (t == Thread.currentThread())
                continue;
            long ms = (until - System.nanoTime()) / 1_000_000L;
            if (ms <= 0)
                break;
            try {
                t.join(ms);
            } catch (InterruptedException e) {
                Thread.currentThread().interrupt();
                return;
            }
        }
    }
}
