// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT;

import java.util.Arrays;
import kelvaro.ZELT.internal.codec.StringCodec;

/**
 * AUTH_SYS credentials (RFC 5531, appendix A): a stamp, the caller's
 * machine name (at most 255 bytes), user id, group id and up to 16 further
 * group ids. Immutable. A client sends them with
 * {@link RpcClient#setCredentials}; a server method finds the caller's in
 * {@link CallContext#credentials()}.
 */
public final class AuthSys {
    /** The most machine-name bytes the credential may hold. */
    public static final int MAX_MACHINE_NAME = 255;
    /** The most further group ids the credential may hold. */
    public static final int MAX_GIDS = 16;

    private final int stamp;
    private final String machine_name;
    private final int uid;
    private final int gid;
    private final int[] gids;

    /**
     * Credentials with the given fields.
     *
     * @param stamp an arbitrary number the caller chooses
     * @param machineName the caller's machine name; null is the empty name
     * @param uid the user id
     * @param gid the group id
     * @param gids further group ids (copied); null is none
     * @throws IllegalArgumentException when the name encodes to more than
     *         255 bytes or cannot be encoded, or there are more than 16 gids
     */
    public AuthSys(int stamp, String machineName, int uid, int gid, int[] gids) {
        this.stamp = stamp;
        this.machine_name = machineName == null ? "" : machineName;
        this.uid = uid;
        this.gid = gid;
        this.gids = gids == null ? new int[0] : gids.clone();
        if (this.gids.length > MAX_GIDS)
            throw new IllegalArgumentException("AUTH_SYS allows at most " + MAX_GIDS + " gids, not " + this.gids.length);
        int name_bytes;
        try {
            name_bytes = StringCodec.encoded_length(machine_name, 0);
        } catch (XDRError e) {
            throw new IllegalArgumentException("machine name: " + e.getMessage(), e);
        }
        if (name_bytes > MAX_MACHINE_NAME)
            throw new IllegalArgumentException("machine name of " + name_bytes + " bytes; AUTH_SYS allows " + MAX_MACHINE_NAME);
    }

    /**
     * The stamp.
     *
     * @return the stamp
     */
    public int stamp() {
        return stamp;
    }

    /**
     * The machine name.
     *
     * @return the machine name
     */
    public String machineName() {
        return machine_name;
    }

    /**
     * The user id.
     *
     * @return the uid
     */
    public int uid() {
        return uid;
    }

    /**
     * The group id.
     *
     * @return the gid
     */
    public int gid() {
        return gid;
    }

    /**
     * The further group ids.
     *
     * @return a copy of the gids
     */
    public int[] gids() {
        return gids.clone();
    }

    /** Writes the credential body (without flavour and length). */
    void encode(XDR x) {
        x.enc_int(stamp);
        try {
            x.enc_String(machine_name);
        } catch (XDRError e) {
            throw new IllegalStateException(e); // checked by the constructor
        }
        x.enc_int(uid);
        x.enc_int(gid);
        x.enc_int_array(gids);
    }

    /**
     * Reads a credential body of exactly len bytes from x.
     *
     * @throws XDRError when the body is malformed or not exactly len bytes long
     */
    static AuthSys decode(XDR x, int len) throws XDRError {
        int before = x.remaining();
        if (len > before)
            throw new XDRError("AUTH_SYS body longer than the message");
        int stamp = x.dec_int();
        int peek = x.position();
        int name_len = x.dec_int();
        if (name_len < 0 || name_len > MAX_MACHINE_NAME)
            throw new XDRError("AUTH_SYS machine name of " + (name_len & 0xffffffffL) + " bytes");
        x.set_position(peek);
        String name = x.dec_String();
        int uid = x.dec_int();
        int gid = x.dec_int();
        int n = x.dec_int();
        if (n < 0 || n > MAX_GIDS)
            throw new XDRError("AUTH_SYS with " + (n & 0xffffffffL) + " gids");
        int[] gids = new int[n];
        for (int i = 0; i < n; i++)
            gids[i] = x.dec_int();
        if (before - x.remaining() != len)
            throw new XDRError("AUTH_SYS body of " + len + " bytes holds " + (before - x.remaining()));
        return new AuthSys(stamp, name, uid, gid, gids);
    }

    /**
     * Two credentials are equal when all their fields are.
     *
     * @param o the other object
     * @return whether o is equal credentials
     */
    @Override
    public boolean equals(Object o) {
        if (!(o instanceof AuthSys))
            return false;
        AuthSys a = (AuthSys) o;
        return stamp == a.stamp && uid == a.uid && gid == a.gid && machine_name.equals(a.machine_name)
                && Arrays.equals(gids, a.gids);
    }

    /**
     * A hash of all fields.
     *
     * @return the hash
     */
    @Override
    public int hashCode() {
        return ((stamp * 31 + uid) * 31 + gid) * 31 + machine_name.hashCode() * 31 + Arrays.hashCode(gids);
    }

    /**
     * The fields as text, for logs.
     *
     * @return the text
     */
    @Override
    public String toString() {
        return "AuthSys[stamp=" + stamp + ", machine=" + machine_name + ", uid=" + uid + ", gid=" + gid
                + ", gids=" + Arrays.toString(gids) + "]";
    }
}
