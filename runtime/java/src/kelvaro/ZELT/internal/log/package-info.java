// SPDX-License-Identifier: Apache-2.0
/**
 * The runtime's loggers and the rate limit for records a peer can cause.
 *
 * <p>Part of the runtime's implementation: the module {@code kelvaro.zelt}
 * does not export this package, and on the class path its public classes
 * are no API either; they may change in any release.
 */
package kelvaro.ZELT.internal.log;
