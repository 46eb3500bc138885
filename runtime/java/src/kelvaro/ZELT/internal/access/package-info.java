// SPDX-License-Identifier: Apache-2.0
/**
 * How the internal packages reach the package-private parts of the API
 * classes in {@code kelvaro.ZELT} without making them public: an access
 * interface per concern, implemented in {@code kelvaro.ZELT} and
 * registered from a static initializer, and {@link kelvaro.ZELT.internal.access.Access}
 * where the implementations are found.
 *
 * <p>Part of the runtime's implementation: the module {@code kelvaro.zelt}
 * does not export this package, and on the class path its public classes
 * are no API either; they may change in any release.
 */
package kelvaro.ZELT.internal.access;
