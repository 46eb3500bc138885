// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT.internal.gss;

import org.ietf.jgss.GSSException;

/**
 * Work that runs with a {@link kelvaro.ZELT.GssIdentity}'s credentials.
 *
 * @param <T> what the work gives
 */
@FunctionalInterface
public interface GssAction<T> {
    /**
     * Does the work.
     *
     * @return its result
     * @throws GSSException when the GSS mechanism fails
     */
    T run() throws GSSException;
}
