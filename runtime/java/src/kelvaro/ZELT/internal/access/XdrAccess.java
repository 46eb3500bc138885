// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT.internal.access;

import java.nio.ByteBuffer;
import kelvaro.ZELT.XDR;
import kelvaro.ZELT.XDRError;

/**
 * What the transports and the RPC layers do to an {@link XDR} beyond its
 * public methods: reuse it from call to call, read and rewrite its buffer
 * in place, and copy out encoded data it refers to; and the parts of a
 * size {@link XDRError} that name the member it is about. Implemented by
 * {@link XDR}, found through {@link Access#xdr()}.
 */
public interface XdrAccess {
    /**
     * A stream that encodes into a buffer of the given initial capacity.
     *
     * @param capacity the buffer's first size in bytes
     * @return the stream
     */
    XDR encoder(int capacity);

    /**
     * Makes x an encoding stream again, its output starting at offset start
     * of its buffer (the bytes before are left for a header); references to
     * opaque data are dropped and no longer made.
     *
     * @param x the stream
     * @param start where encoding begins
     */
    void reset_encode(XDR x, int start);

    /**
     * Makes x decode length bytes of data from offset on; the array is used, not copied.
     *
     * @param x the stream
     * @param data the encoded bytes
     * @param offset where they begin
     * @param length how many there are
     * @throws IndexOutOfBoundsException when the range lies outside the array
     */
    void reset_decode(XDR x, byte[] data, int offset, int length);

    /**
     * The stream's buffer: the encoded bytes up to {@link #position}, or the input.
     *
     * @param x the stream
     * @return the array itself, not a copy
     */
    byte[] buffer(XDR x);

    /**
     * Where the stream is in its buffer.
     *
     * @param x the stream
     * @return the offset of the next byte encoded or decoded
     */
    int position(XDR x);

    /**
     * Moves the stream to offset p of its buffer: back, to take encoded
     * bytes back or to read again, or forward past bytes decoded elsewhere.
     *
     * @param x the stream
     * @param p the new position
     */
    void set_position(XDR x, int p);

    /**
     * Until the next reset, opaque data of at least min bytes is referred
     * to rather than copied into the buffer.
     *
     * @param x the stream
     * @param min the smallest opaque item referred to
     */
    void refer_to_opaque(XDR x, int min);

    /**
     * Whether some encoded bytes are in arrays referred to, not in the buffer.
     *
     * @param x the stream
     * @return true when the buffer alone does not hold the output
     */
    boolean refers(XDR x);

    /**
     * Copies the encoded output, referred arrays included, from offset from on into dst, as much as fits.
     *
     * @param x the stream
     * @param from the offset in the encoded output
     * @param dst where the bytes go
     * @return how many bytes were copied
     */
    int copy_encoded(XDR x, long from, ByteBuffer dst);

    /**
     * The size of the stream's buffer.
     *
     * @param x the stream
     * @return its length in bytes
     */
    int capacity(XDR x);

    /**
     * Sets the nesting depth past which the stream throws
     * {@link kelvaro.ZELT.internal.codec.DeepData#SIGNAL}, so that its caller
     * goes on on a larger stack; {@link Integer#MAX_VALUE} for never.
     *
     * @param x the stream
     * @param depth the depth
     */
    void set_switch_depth(XDR x, int depth);

    /**
     * Writes v over the 4 bytes at offset at of the encoded output.
     *
     * @param x the stream
     * @param at the offset
     * @param v the value
     */
    void put_int_at(XDR x, int at, int v);

    /**
     * The member a size error is about.
     *
     * @param e the error
     * @return the member's name, or null for an error of another kind
     */
    String member(XDRError e);

    /**
     * The value a size error refused.
     *
     * @param e the error
     * @return the value, or null
     */
    Object value(XDRError e);

    /**
     * What is wrong with the member of a size error.
     *
     * @param e the error
     * @return the text after the member's name, or null
     */
    String problem(XDRError e);
}
