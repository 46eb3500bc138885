// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT;

import kelvaro.ZELT.internal.server.ServerCounters;

/**
 * A snapshot of an {@link RpcServer}'s counters, from {@link RpcServer#stats()}.
 * Immutable; every count runs from the server's start. Counts are read one
 * after another while calls go on, so two of them may be a call apart.
 *
 * <p>Calls: every CALL record answered, by how it was answered (the
 * accept status, or denied for RPC_MISMATCH and AUTH_ERROR). Records that
 * are not calls get no reply and count nowhere but in the bytes. UDP calls
 * answered from the duplicate-reply cache count as {@link #duplicateReplies()}
 * (the cache's hits) and not as calls again; calls the cache looked up and
 * did not have count as {@link #replyCacheMisses()}. Deferred replies
 * ({@link ReplyHandle}) that their service never answered, answered
 * SYSTEM_ERR at the reply deadline, count as {@link #repliesAbandoned()}
 * and as SYSTEM_ERR.
 *
 * <p>Connections (TCP): accepted, live now, refused (the server was full
 * and none could make room), evicted (closed to make room for a new one,
 * or idle past the idle time-out) and closed for a fault of the peer (a
 * record over the limit or the buffer budget, an empty or surplus
 * fragment, a record or reply past the record time-out, a record that is
 * not a call).
 */
public final class ServerStats {
    private final long calls, success, prog_unavail, prog_mismatch, proc_unavail, garbage_args, system_err,
            denied, duplicates, drc_misses, abandoned, accepted, live, refused, evicted, faults, deadlines, bytes_in,
            bytes_out;

    /** A snapshot of the live counters c, with the number of live connections. */
    static ServerStats of(ServerCounters c, long live) {
        return new ServerStats(c, live);
    }

    private ServerStats(ServerCounters c, long live) {
        success = c.success.sum();
        prog_unavail = c.prog_unavail.sum();
        prog_mismatch = c.prog_mismatch.sum();
        proc_unavail = c.proc_unavail.sum();
        garbage_args = c.garbage_args.sum();
        system_err = c.system_err.sum();
        denied = c.denied.sum();
        calls = success + prog_unavail + prog_mismatch + proc_unavail + garbage_args + system_err + denied;
        duplicates = c.duplicates.sum();
        drc_misses = c.drc_misses.sum();
        abandoned = c.abandoned.sum();
        accepted = c.accepted.sum();
        this.live = live;
        refused = c.refused.sum();
        evicted = c.evicted.sum();
        faults = c.faults.sum();
        deadlines = c.deadlines.sum();
        bytes_in = c.bytes_in.sum();
        bytes_out = c.bytes_out.sum();
    }

    /**
     * Calls answered, all statuses together.
     *
     * @return the count
     */
    public long calls() {
        return calls;
    }

    /**
     * Calls answered with SUCCESS.
     *
     * @return the count
     */
    public long success() {
        return success;
    }

    /**
     * Calls answered with PROG_UNAVAIL.
     *
     * @return the count
     */
    public long progUnavail() {
        return prog_unavail;
    }

    /**
     * Calls answered with PROG_MISMATCH.
     *
     * @return the count
     */
    public long progMismatch() {
        return prog_mismatch;
    }

    /**
     * Calls answered with PROC_UNAVAIL.
     *
     * @return the count
     */
    public long procUnavail() {
        return proc_unavail;
    }

    /**
     * Calls answered with GARBAGE_ARGS.
     *
     * @return the count
     */
    public long garbageArgs() {
        return garbage_args;
    }

    /**
     * Calls answered with SYSTEM_ERR (the service threw or returned null,
     * or the result could not be encoded or was too large).
     *
     * @return the count
     */
    public long systemErr() {
        return system_err;
    }

    /**
     * Calls denied: RPC_MISMATCH or AUTH_ERROR.
     *
     * @return the count
     */
    public long denied() {
        return denied;
    }

    /**
     * UDP calls answered from the duplicate-reply cache.
     *
     * @return the count
     */
    public long duplicateReplies() {
        return duplicates;
    }

    /**
     * UDP calls the duplicate-reply cache was asked about and did not have:
     * they ran. Zero while the cache is off.
     *
     * @return the count
     */
    public long replyCacheMisses() {
        return drc_misses;
    }

    /**
     * Deferred replies never given by their service, answered SYSTEM_ERR
     * when the reply deadline passed.
     *
     * @return the count
     */
    public long repliesAbandoned() {
        return abandoned;
    }

    /**
     * TCP connections accepted (refused ones not included).
     *
     * @return the count
     */
    public long connectionsAccepted() {
        return accepted;
    }

    /**
     * TCP connections live at the time of the snapshot.
     *
     * @return the count
     */
    public long connectionsLive() {
        return live;
    }

    /**
     * TCP connections refused because the server, or the caller's address,
     * was at its limit with nothing idle to close.
     *
     * @return the count
     */
    public long connectionsRefused() {
        return refused;
    }

    /**
     * TCP connections closed to make room for a new one or for idling past
     * the idle time-out.
     *
     * @return the count
     */
    public long connectionsEvicted() {
        return evicted;
    }

    /**
     * TCP connections closed for the peer's fault: a record over the limit
     * or the buffer budget, an empty or surplus fragment, a record that is
     * not a call, or a deadline passed.
     *
     * @return the count
     */
    public long connectionsClosedForFaults() {
        return faults;
    }

    /**
     * Of {@link #connectionsClosedForFaults()}, those closed because a
     * record or a reply took longer than the record time-out.
     *
     * @return the count
     */
    public long deadlinesPassed() {
        return deadlines;
    }

    /**
     * Bytes received, TCP and UDP, record marks included.
     *
     * @return the count
     */
    public long bytesIn() {
        return bytes_in;
    }

    /**
     * Bytes sent, TCP and UDP, record marks included.
     *
     * @return the count
     */
    public long bytesOut() {
        return bytes_out;
    }

    /**
     * All counts on one line, for a log.
     *
     * @return the text
     */
    @Override
    public String toString() {
        return "calls=" + calls + " success=" + success + " prog_unavail=" + prog_unavail + " prog_mismatch="
                + prog_mismatch + " proc_unavail=" + proc_unavail + " garbage_args=" + garbage_args + " system_err="
                + system_err + " denied=" + denied + " duplicate_replies=" + duplicates + " reply_cache_misses="
                + drc_misses + " replies_abandoned=" + abandoned + " connections_accepted="
                + accepted + " live=" + live + " refused=" + refused + " evicted=" + evicted + " closed_for_faults="
                + faults + " deadlines_passed=" + deadlines + " bytes_in=" + bytes_in + " bytes_out=" + bytes_out;
    }
}
