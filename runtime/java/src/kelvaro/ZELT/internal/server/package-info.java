// SPDX-License-Identifier: Apache-2.0
/**
 * The server side shared by both transports: a call on its way through a
 * server, the dispatcher that admits it, runs the procedure and encodes
 * the reply, and the counters that {@link kelvaro.ZELT.ServerStats} reads.
 *
 * <p>Part of the runtime's implementation: the module {@code kelvaro.zelt}
 * does not export this package, and on the class path its public classes
 * are no API either; they may change in any release.
 */
package kelvaro.ZELT.internal.server;
