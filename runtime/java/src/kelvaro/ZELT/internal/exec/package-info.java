// SPDX-License-Identifier: Apache-2.0
/**
 * Where the runtime's work runs: the fair scheduler of server calls and
 * its worker threads, and the large-stack threads that deep data is
 * encoded and decoded on.
 *
 * <p>Part of the runtime's implementation: the module {@code kelvaro.zelt}
 * does not export this package, and on the class path its public classes
 * are no API either; they may change in any release.
 */
package kelvaro.ZELT.internal.exec;
