// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT.internal.server.udp;

import java.net.InetSocketAddress;
import java.util.Iterator;
import java.util.LinkedHashMap;
import java.util.Map;
import kelvaro.ZELT.Rpc;

/**
 * The UDP duplicate-reply cache: replies by xid, caller address and port,
 * program, version, procedure, and the length and a CRC-32C checksum of
 * everything after the procedure number (credentials, verifier and
 * arguments), so that only a true retransmission (the same bytes again) is
 * answered from the cache, never a later call that reuses an xid with other
 * arguments. A retransmitted call is answered
 * with the reply it got before instead of running again (which matters for
 * procedures that are not idempotent). Bounded in entries and in reply
 * bytes; the oldest entries go first. A call that is running holds an
 * entry marked {@link #RUNNING}, so that copies of it that come meanwhile
 * are dropped instead of run a second time.
 */
public final class ReplyCache {
    /** The mark of a call that is still running. */
    static final byte[] RUNNING = new byte[0];

    /** What identifies a call. */
    static final class Key {
        final int xid, prog, vers, proc, body_length, checksum;
        final InetSocketAddress from;

        Key(int xid, InetSocketAddress from, int prog, int vers, int proc, int body_length, int checksum) {
            this.xid = xid;
            this.from = from;
            this.prog = prog;
            this.vers = vers;
            this.proc = proc;
            this.body_length = body_length;
            this.checksum = checksum;
        }

        @Override
        public boolean equals(Object o) {
            if (!(o instanceof Key))
                return false;
            Key k = (Key) o;
            return xid == k.xid && prog == k.prog && vers == k.vers && proc == k.proc && body_length == k.body_length
                    && checksum == k.checksum && from.equals(k.from);
        }

        @Override
        public int hashCode() {
            return (((xid * 31 + prog) * 31 + vers) * 31 + proc) * 31 + checksum + from.hashCode() * 17;
        }
    }

    private final int max_entries;
    private final long max_bytes;
    private final LinkedHashMap<Key, byte[]> entries = new LinkedHashMap<>(); // guarded by this
    private long bytes;

    ReplyCache(int max_entries, long max_bytes) {
        this.max_entries = max_entries;
        this.max_bytes = max_bytes;
    }

    /** The key of the call in b[0, len), or null when it is not a call that can be cached. */
    static Key key(byte[] b, int len, InetSocketAddress from) {
        if (len < 24 || word(b, 4) != Rpc.CALL)
            return null;
        java.util.zip.CRC32C crc = new java.util.zip.CRC32C();
        crc.update(b, 24, len - 24);
        return new Key(word(b, 0), from, word(b, 12), word(b, 16), word(b, 20), len - 24, (int) crc.getValue());
    }

    private static int word(byte[] b, int at) {
        return (b[at] & 0xff) << 24 | (b[at + 1] & 0xff) << 16 | (b[at + 2] & 0xff) << 8 | (b[at + 3] & 0xff);
    }

    /**
     * Looks the call up: its cached reply, {@link #RUNNING} while the same
     * call runs, or null when it is new (it is then marked running).
     */
    synchronized byte[] begin(Key k) {
        byte[] r = entries.get(k);
        if (r != null)
            return r;
        entries.put(k, RUNNING);
        trim();
        return null;
    }

    /** Keeps the reply of a call that ran. */
    synchronized void done(Key k, byte[] reply) {
        if (reply.length > max_bytes) {
            entries.remove(k);
            return;
        }
        byte[] old = entries.remove(k);
        if (old != null)
            bytes -= old.length;
        entries.put(k, reply);
        bytes += reply.length;
        trim();
    }

    /** Forgets a call that got no reply. */
    synchronized void abandon(Key k) {
        if (entries.get(k) == RUNNING)
            entries.remove(k);
    }

    private void trim() {
        Iterator<Map.Entry<Key, byte[]>> it = entries.entrySet().iterator();
        while ((entries.size() > max_entries || bytes > max_bytes) && it.hasNext()) {
            bytes -= it.next().getValue().length;
            it.remove();
        }
    }

    synchronized int size() {
        return entries.size();
    }
}
