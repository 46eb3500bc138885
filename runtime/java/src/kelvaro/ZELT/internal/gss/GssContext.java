// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT.internal.gss;

import org.ietf.jgss.GSSContext;

/**
 * One context a {@link kelvaro.ZELT.GssAuthenticator} accepted: the GSS
 * state, who the caller is, and its sequence window. The authenticator's
 * table keeps it; the fields other than the window are set by the
 * authenticator as the context is established and used.
 */
public final class GssContext {
    /** The context's handle, as a number; never 0. */
    public final long handle;
    /** The GSS state; lock it while using it. */
    public final GSSContext gss;
    /** The size of the sequence window. */
    public final int window;
    /** The context's tokens; set when established, before the principal. */
    public volatile GssTokens tokens;
    /** The caller's principal; null until established. */
    public volatile String principal;
    /** When the context ends, in {@link System#nanoTime()}. */
    public volatile long expires;
    /** When the context was last used, in {@link System#nanoTime()}. */
    public volatile long last_used;
    private long max_seq = -1;
    private final long[] seen;

    /**
     * A context being created.
     *
     * @param handle its handle
     * @param gss the GSS state
     * @param window the size of its sequence window
     * @param expires when it ends unless established before
     * @param now the current {@link System#nanoTime()}
     */
    public GssContext(long handle, GSSContext gss, int window, long expires, long now) {
        this.handle = handle;
        this.gss = gss;
        this.window = window;
        this.seen = new long[(window + 63) / 64];
        this.expires = expires;
        this.last_used = now;
    }

    /**
     * Records seq in the window.
     *
     * @param seq the call's sequence number
     * @return false when it is a replay or below the window
     */
    public synchronized boolean admit(long seq) {
        if (seq > max_seq) {
            long shift = max_seq < 0 ? window : seq - max_seq;
            if (shift >= window) {
                java.util.Arrays.fill(seen, 0);
            } else {
                for (long s = max_seq + 1; s < seq; s++)
                    clear(s);
            }
            max_seq = seq;
            set(seq);
            return true;
        }
        if (max_seq - seq >= window)
            return false;
        if (get(seq))
            return false;
        set(seq);
        return true;
    }

    private void set(long s) {
        int i = (int) (s % window);
        seen[i >> 6] |= 1L << (i & 63);
    }

    private void clear(long s) {
        int i = (int) (s % window);
        seen[i >> 6] &= ~(1L << (i & 63));
    }

    private boolean get(long s) {
        int i = (int) (s % window);
        return (seen[i >> 6] & (1L << (i & 63))) != 0;
    }
}
