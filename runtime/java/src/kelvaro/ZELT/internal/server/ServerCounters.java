// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT.internal.server;

import java.util.concurrent.atomic.LongAdder;
import kelvaro.ZELT.Rpc;

/**
 * The live counters a server's transports and dispatcher add to;
 * {@link kelvaro.ZELT.RpcServer#stats()} reads them into a
 * {@link kelvaro.ZELT.ServerStats}, which says what each one counts.
 */
public final class ServerCounters {
    /** Calls answered by accept status, and calls denied. */
    public final LongAdder success = new LongAdder(), prog_unavail = new LongAdder(),
            prog_mismatch = new LongAdder(), proc_unavail = new LongAdder(), garbage_args = new LongAdder(),
            system_err = new LongAdder(), denied = new LongAdder();
    /** UDP calls answered from the duplicate-reply cache, and those it did not have. */
    public final LongAdder duplicates = new LongAdder(), drc_misses = new LongAdder();
    /** Deferred replies answered SYSTEM_ERR at the reply deadline. */
    public final LongAdder abandoned = new LongAdder();
    /** TCP connections accepted, refused, evicted, closed for a fault, closed at a deadline. */
    public final LongAdder accepted = new LongAdder(), refused = new LongAdder(), evicted = new LongAdder(),
            faults = new LongAdder(), deadlines = new LongAdder();
    /** Bytes received and sent. */
    public final LongAdder bytes_in = new LongAdder(), bytes_out = new LongAdder();

    /** Counters that are all zero. */
    public ServerCounters() {
    }

    /**
     * Counts one answered call by its accept status.
     *
     * @param accept_stat the accept status, or -1 for a call denied
     */
    public void answered(int accept_stat) {
        switch (accept_stat) {
        case Rpc.SUCCESS: success.increment(); break;
        case Rpc.PROG_UNAVAIL: prog_unavail.increment(); break;
        case Rpc.PROG_MISMATCH: prog_mismatch.increment(); break;
        case Rpc.PROC_UNAVAIL: proc_unavail.increment(); break;
        case Rpc.GARBAGE_ARGS: garbage_args.increment(); break;
        case Rpc.SYSTEM_ERR: system_err.increment(); break;
        default: denied.increment(); break;
        }
    }
}
