// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT;

/**
 * The protection an RPCSEC_GSS call gets, weakest first: {@link #NONE}
 * authenticates the caller only, {@link #INTEGRITY} adds a checksum over the
 * arguments and results, {@link #PRIVACY} encrypts them.
 */
public enum GssService {
    /** Authentication only: the header carries a checksum, the arguments and results travel as they are. */
    NONE(1),
    /** Arguments and results carry a checksum and a sequence number. */
    INTEGRITY(2),
    /** Arguments and results are encrypted. */
    PRIVACY(3);

    private final int wire;

    GssService(int wire) {
        this.wire = wire;
    }

    /**
     * The number that stands for this service in the credential.
     *
     * @return 1, 2 or 3
     */
    public int wireValue() {
        return wire;
    }

    /** The service with this number in the credential, or null for another number. */
    static GssService of(int wire) {
        switch (wire) {
        case 1: return NONE;
        case 2: return INTEGRITY;
        case 3: return PRIVACY;
        default: return null;
        }
    }
}
