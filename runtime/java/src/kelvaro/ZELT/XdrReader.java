// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT;

/**
 * What decodes one value of a type from an {@link XDR} stream: the
 * idiomatic output's classes pass {@code Type::decode}, or a lambda for a
 * built-in type, to the stream's methods for optional data, lists and
 * fixed-length arrays.
 *
 * @param <T> the type of the values
 */
@FunctionalInterface
public interface XdrReader<T> {
    /**
     * Decodes a value.
     *
     * @param xdr the stream, positioned at the value
     * @return the value
     * @throws XDRError when the input is short or breaks the type's rules
     */
    T read(XDR xdr) throws XDRError;
}
