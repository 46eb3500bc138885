// SPDX-License-Identifier: Apache-2.0
/**
 * The client transports: TCP, with several calls in flight on one
 * connection, and UDP, with retransmission; and the call and reply
 * headers the client writes and reads.
 *
 * <p>Part of the runtime's implementation: the module {@code kelvaro.zelt}
 * does not export this package, and on the class path its public classes
 * are no API either; they may change in any release.
 */
package kelvaro.ZELT.internal.client;
