// SPDX-License-Identifier: Apache-2.0
/**
 * What {@link kelvaro.ZELT.XDR} leans on: the lossless string codec, the
 * signal that data nests too deep for the current stack, and the member
 * paths that size errors name; and the box that carries a value of the
 * idiomatic output, with its writer or reader, as an {@link kelvaro.ZELT.XDT}.
 *
 * <p>Part of the runtime's implementation: the module {@code kelvaro.zelt}
 * does not export this package, and on the class path its public classes
 * are no API either; they may change in any release.
 */
package kelvaro.ZELT.internal.codec;
