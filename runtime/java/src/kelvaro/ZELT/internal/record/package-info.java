// SPDX-License-Identifier: Apache-2.0
/**
 * Record marking on TCP: reassembly of fragments into records under a
 * record limit, a fragment bound and a shared buffer budget, and the
 * trend that sizes a client's record buffer.
 *
 * <p>Part of the runtime's implementation: the module {@code kelvaro.zelt}
 * does not export this package, and on the class path its public classes
 * are no API either; they may change in any release.
 */
package kelvaro.ZELT.internal.record;
