// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT;

/**
 * What encodes one value of a type into an {@link XDR} stream: the idiomatic
 * output's classes pass {@code Type::encode}, or a lambda for a built-in
 * type, to the stream's methods for optional data, lists and fixed-length
 * arrays.
 *
 * @param <T> the type of the values
 */
@FunctionalInterface
public interface XdrWriter<T> {
    /**
     * Encodes a value.
     *
     * @param value the value
     * @param xdr the stream
     * @throws XDRError when the value cannot be encoded
     */
    void write(T value, XDR xdr) throws XDRError;
}
