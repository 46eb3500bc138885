// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT.internal.server.tcp;

import java.net.InetAddress;
import java.util.ArrayList;
import java.util.HashMap;
import java.util.LinkedHashSet;
import java.util.List;
import java.util.Map;
import kelvaro.ZELT.internal.record.RecordAssembler;

/**
 * The live TCP connections of a server and the rules for who gets a place:
 * at most max_connections live, and at most max_per_address from one
 * address when set. A connection over either limit closes another in its
 * place, one that costs nobody a call, or is refused when there is none.
 *
 * <p>Who makes room, first to last:
 * <ol>
 * <li>a connection that has sent nothing since it was opened (the oldest
 * first);</li>
 * <li>a connection inside a record that arrives slower than the minimum
 * record rate, judged over at least a second (the slowest first): a peer
 * that trickles bytes to hold a place keeps it only until someone needs
 * it;</li>
 * <li>a connection idle between records (the one idle the longest).</li>
 * </ol>
 * A connection with a call in flight or a reply going out is never chosen.
 * Within each kind, connections of the address that holds the most
 * connections go first, so that many addresses filling the table cost a
 * legitimate caller's few connections nothing. When the per-address limit
 * is the one reached, only that address's connections are candidates.
 *
 * <p>The budget: when a record's bytes cannot be paid for, the connection
 * that holds the most budget is closed for it, as long as it holds more
 * than the asker would; else the asker is closed.
 */
public final class ConnectionTable {
    /** A record is judged against the minimum rate over at least this long. */
    static final long RATE_FLOOR_NS = 1_000_000_000L;

    private final int max_connections;
    private final int max_per_address;
    private final long min_rate; // bytes a second; 0: none

    // Guarded by this.
    private final LinkedHashSet<TcpConnection> live = new LinkedHashSet<>();
    private final Map<InetAddress, Integer> per_address = new HashMap<>();

    ConnectionTable(int max_connections, int max_per_address, long min_rate) {
        this.max_connections = max_connections;
        this.max_per_address = max_per_address;
        this.min_rate = min_rate;
    }

    /** What admission decided: the connection to close for the new one, or why it was refused. */
    static final class Admission {
        final TcpConnection victim;
        final String why; // null: admitted without taking anyone's place
        final boolean refused;

        Admission(TcpConnection victim, String why, boolean refused) {
            this.victim = victim;
            this.why = why;
            this.refused = refused;
        }
    }

    /** Admits c, taking a place from a victim when full, or refuses it. */
    synchronized Admission admit(TcpConnection c, long now) {
        int from_here = per_address.getOrDefault(c.address, 0);
        String why = null;
        TcpConnection victim = null;
        if (max_per_address > 0 && from_here >= max_per_address) {
            victim = victim(c.address, now);
            why = "its address has " + from_here + " connections, the most allowed";
        } else if (live.size() >= max_connections) {
            victim = victim(null, now);
            why = "the server has " + live.size() + " connections, the most allowed";
        }
        if (why != null && victim == null)
            return new Admission(null, why, true);
        if (victim != null)
            forget(victim);
        live.add(c);
        per_address.merge(c.address, 1, Integer::sum);
        return new Admission(victim, why, false);
    }

    /** How far a connection is from making room: lower goes first; -1 when it may not be chosen. */
    private int kind(TcpConnection o, long now) {
        if (!o.quiet())
            return -1;
        boolean inside = o.assembler.inside();
        if (!inside)
            return o.proven() ? 2 : 0;
        return trickles(o, now) ? 1 : -1;
    }

    /** Whether the record o is reading comes slower than the minimum rate, judged over at least a second. */
    boolean trickles(TcpConnection o, long now) {
        if (min_rate <= 0)
            return false;
        long started = o.assembler.started();
        if (started == 0)
            return false;
        long elapsed = Math.max(RATE_FLOOR_NS, now - started);
        return rate(o.assembler.received(), elapsed) < min_rate;
    }

    /** Bytes a second. */
    static long rate(long bytes, long nanos) {
        return nanos <= 0 ? Long.MAX_VALUE : (long) (bytes * 1e9 / nanos);
    }

    /**
     * The connection to close for a new one (of that address, or of any
     * when null), as the class description orders them; null when none may go.
     */
    private TcpConnection victim(InetAddress address, long now) {
        TcpConnection best = null;
        int best_kind = 0, best_count = 0;
        long best_key = 0;
        for (TcpConnection o : live) {
            if (address != null && !address.equals(o.address))
                continue;
            int k = kind(o, now);
            if (k < 0)
                continue;
            int count = per_address.getOrDefault(o.address, 0);
            // Oldest silent first; slowest trickle first; longest idle first.
            long key = k == 1 ? rate(o.assembler.received(), Math.max(RATE_FLOOR_NS, now - o.assembler.started()))
                    : o.idle_since();
            if (best == null || k < best_kind || k == best_kind && (count > best_count
                    || count == best_count && key < best_key)) {
                best = o;
                best_kind = k;
                best_count = count;
                best_key = key;
            }
        }
        return best;
    }

    /** Takes c out of the table; true when it was in. */
    synchronized boolean forget(TcpConnection c) {
        if (!live.remove(c))
            return false;
        int n = per_address.getOrDefault(c.address, 1) - 1;
        if (n <= 0)
            per_address.remove(c.address);
        else
            per_address.put(c.address, n);
        return true;
    }

    synchronized int size() {
        return live.size();
    }

    synchronized List<TcpConnection> all() {
        return new ArrayList<>(live);
    }

    /**
     * The connection to close so that asker's record can have need more
     * bytes: the one that holds the most, when it holds more than the asker
     * would; null when the asker itself holds the most.
     */
    synchronized TcpConnection biggest_holder(RecordAssembler asker, long need) {
        TcpConnection most = null, own = null;
        long most_bytes = -1;
        for (TcpConnection o : live) {
            if (o.assembler == asker) {
                own = o;
                continue;
            }
            long h = o.held_bytes();
            if (h > most_bytes) {
                most = o;
                most_bytes = h;
            }
        }
        long mine = (own == null ? asker.held() : own.held_bytes()) + need;
        return most != null && most_bytes > mine ? most : null;
    }
}
