// SPDX-License-Identifier: Apache-2.0
/**
 * The UDP server: its readers and the duplicate-reply cache.
 *
 * <p>Part of the runtime's implementation: the module {@code kelvaro.zelt}
 * does not export this package, and on the class path its public classes
 * are no API either; they may change in any release.
 */
package kelvaro.ZELT.internal.server.udp;
