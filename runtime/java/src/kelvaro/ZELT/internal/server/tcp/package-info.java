// SPDX-License-Identifier: Apache-2.0
/**
 * The TCP server: the selector threads that accept and read connections,
 * each connection with its record reassembly and reply queue, and the
 * connection table that decides who gets a place.
 *
 * <p>Part of the runtime's implementation: the module {@code kelvaro.zelt}
 * does not export this package, and on the class path its public classes
 * are no API either; they may change in any release.
 */
package kelvaro.ZELT.internal.server.tcp;
