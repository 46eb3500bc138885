// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT.internal.codec;

import kelvaro.ZELT.XDR;

/**
 * Thrown by an {@link XDR} whose caller runs on a small stack when data
 * nests deeper than it allows there; the caller then redoes the work on a
 * thread with a large stack. Never seen outside the runtime.
 */
public final class DeepData extends RuntimeException {
    private static final long serialVersionUID = 1L;

    /** The one instance: thrown often, it carries no stack trace. */
    public static final DeepData SIGNAL = new DeepData();

    private DeepData() {
        super("data too deep for this thread's stack", null, false, false);
    }
}
