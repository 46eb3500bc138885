// SPDX-License-Identifier: Apache-2.0
package kelvaro.ZELT.internal.gss;

import com.sun.security.jgss.ExtendedGSSContext;
import com.sun.security.jgss.InquireType;
import java.security.GeneralSecurityException;
import java.security.MessageDigest;
import javax.crypto.Cipher;
import javax.crypto.Mac;
import javax.crypto.spec.SecretKeySpec;
import javax.security.auth.kerberos.EncryptionKey;
import org.ietf.jgss.GSSContext;
import org.ietf.jgss.GSSException;
import org.ietf.jgss.MessageProp;

/**
 * The per-message tokens of one established context. Checksum (MIC)
 * tokens of the Kerberos mechanism with AES keys are made and checked here
 * with keys derived once for the context, since the mechanism's own
 * getMIC and verifyMIC derive them again for every token; everything else
 * (other key types, contexts that asked for replay or sequence detection,
 * wrap and unwrap) goes to the mechanism. The first checksum token from the
 * peer is checked both ways before this path is used, and tells whether
 * the acceptor's subkey is in use; a disagreement leaves it off for the
 * context.
 */
public final class GssTokens {
    final GSSContext gss;
    private final boolean acceptor;
    private volatile Fast fast;
    private volatile boolean fast_off;

    /**
     * The tokens of an established context.
     *
     * @param gss the context
     * @param acceptor true on the server side
     */
    public GssTokens(GSSContext gss, boolean acceptor) {
        this.gss = gss;
        this.acceptor = acceptor;
        try {
            fast_off = gss.getReplayDetState() || gss.getSequenceDetState() || key() == null;
        } catch (RuntimeException e) {
            fast_off = true;
        }
    }

    private EncryptionKey key() {
        if (!(gss instanceof ExtendedGSSContext))
            return null;
        try {
            Object k = ((ExtendedGSSContext) gss).inquireSecContext(InquireType.KRB5_GET_SESSION_KEY_EX);
            if (!(k instanceof EncryptionKey))
                return null;
            EncryptionKey key = (EncryptionKey) k;
            int type = key.getKeyType();
            return type == 17 || type == 18 ? key : null; // aes128- and aes256-cts-hmac-sha1-96
        } catch (GSSException | RuntimeException e) {
            return null;
        }
    }

    byte[] mic(byte[] b, int off, int len) throws GSSException {
        Fast f = fast;
        if (f != null)
            return f.make(b, off, len);
        synchronized (gss) {
            return gss.getMIC(b, off, len, new MessageProp(0, false));
        }
    }

    void verify_mic(byte[] token, byte[] b, int off, int len) throws GSSException {
        Fast f = fast;
        if (f != null) {
            if (!f.check(token, b, off, len))
                throw new GSSException(GSSException.BAD_MIC, -1, "checksum does not verify");
            return;
        }
        synchronized (gss) {
            gss.verifyMIC(token, 0, token.length, b, off, len, new MessageProp(0, false));
        }
        if (!fast_off)
            learn(token, b, off, len);
    }

    /** After the mechanism accepted the peer's token: sets up the fast path if it agrees. */
    private synchronized void learn(byte[] token, byte[] b, int off, int len) {
        if (fast != null || fast_off)
            return;
        fast_off = true; // one try
        if (token.length != Fast.TOKEN || token[0] != 4 || token[1] != 4)
            return;
        EncryptionKey key = key();
        if (key == null)
            return;
        try {
            Fast f = new Fast(key.getEncoded(), acceptor, (token[2] & Fast.ACCEPTOR_SUBKEY) != 0);
            if (f.check(token, b, off, len)) {
                fast = f;
                fast_off = false;
            }
        } catch (GeneralSecurityException e) {
            // stays with the mechanism
        }
    }

    byte[] wrap(byte[] b, int off, int len) throws GSSException {
        synchronized (gss) {
            return gss.wrap(b, off, len, new MessageProp(0, true));
        }
    }

    byte[] unwrap(byte[] b, int off, int len, MessageProp prop) throws GSSException {
        synchronized (gss) {
            return gss.unwrap(b, off, len, prop);
        }
    }

    /**
     * Whether the context's checksums and encryption run in this runtime's own code.
     *
     * @return true when they do
     */
    public boolean fast() {
        return fast != null;
    }

    /** Checksum tokens (RFC 4121) with HMAC-SHA1-96 under keys derived once (RFC 3961, 3962). */
    public static final class Fast {
        static final int TOKEN = 28;
        static final int SENT_BY_ACCEPTOR = 1, ACCEPTOR_SUBKEY = 4;
        private static final int ACCEPTOR_SIGN = 23, INITIATOR_SIGN = 25;

        private final Mac send;
        private final Mac receive;
        private final int send_flags;
        private final int peer_flag; // SENT_BY_ACCEPTOR in the peer's tokens
        private long seq = 1L << 40;

        Fast(byte[] key, boolean acceptor, boolean acceptor_subkey) throws GeneralSecurityException {
            send = hmac(derive(key, acceptor ? ACCEPTOR_SIGN : INITIATOR_SIGN));
            receive = hmac(derive(key, acceptor ? INITIATOR_SIGN : ACCEPTOR_SIGN));
            send_flags = (acceptor ? SENT_BY_ACCEPTOR : 0) | (acceptor_subkey ? ACCEPTOR_SUBKEY : 0);
            peer_flag = acceptor ? 0 : SENT_BY_ACCEPTOR;
        }

        private static Mac hmac(byte[] key) throws GeneralSecurityException {
            Mac m = Mac.getInstance("HmacSHA1");
            m.init(new SecretKeySpec(key, "HmacSHA1"));
            return m;
        }

        /** The checksum key for a usage: DK(key, usage | 0x99). */
        static byte[] derive(byte[] key, int usage) throws GeneralSecurityException {
            byte[] constant = {(byte) (usage >>> 24), (byte) (usage >>> 16), (byte) (usage >>> 8), (byte) usage, (byte) 0x99};
            Cipher aes = Cipher.getInstance("AES/ECB/NoPadding");
            aes.init(Cipher.ENCRYPT_MODE, new SecretKeySpec(key, "AES"));
            byte[] block = nfold(constant, 16);
            byte[] out = new byte[key.length];
            for (int n = 0; n < out.length; n += 16) {
                block = aes.doFinal(block);
                System.arraycopy(block, 0, out, n, Math.min(16, out.length - n));
            }
            return out;
        }

        /**
         * The n-fold of RFC 3961: in spread over n bytes by rotated copies and ones'-complement addition.
         *
         * @param in the bytes
         * @param n the length wanted
         * @return the n bytes
         */
        public static byte[] nfold(byte[] in, int n) {
            int k = in.length;
            int lcm = n / gcd(n, k) * k;
            byte[] out = new byte[n];
            int carry = 0;
            for (int i = lcm - 1; i >= 0; i--) {
                int msbit = ((k << 3) - 1) + (((k << 3) + 13) * (i / k)) + ((k - (i % k)) << 3);
                msbit %= k << 3;
                int hi = in[((k - 1) - (msbit >>> 3)) % k] & 0xff;
                int lo = in[(k - (msbit >>> 3)) % k] & 0xff;
                int b = ((hi << 8 | lo) >>> ((msbit & 7) + 1)) & 0xff;
                carry += b + (out[i % n] & 0xff);
                out[i % n] = (byte) carry;
                carry >>>= 8;
            }
            while (carry != 0) {
                for (int i = n - 1; i >= 0 && carry != 0; i--) {
                    carry += out[i] & 0xff;
                    out[i] = (byte) carry;
                    carry >>>= 8;
                }
            }
            return out;
        }

        private static int gcd(int a, int b) {
            return b == 0 ? a : gcd(b, a % b);
        }

        synchronized byte[] make(byte[] b, int off, int len) {
            byte[] t = new byte[TOKEN];
            t[0] = 4;
            t[1] = 4;
            t[2] = (byte) send_flags;
            for (int i = 3; i < 8; i++)
                t[i] = (byte) 0xff;
            long s = seq++;
            for (int i = 15; i >= 8; i--) {
                t[i] = (byte) s;
                s >>>= 8;
            }
            send.update(b, off, len);
            send.update(t, 0, 16);
            System.arraycopy(send.doFinal(), 0, t, 16, 12);
            return t;
        }

        synchronized boolean check(byte[] t, byte[] b, int off, int len) {
            if (t.length != TOKEN || t[0] != 4 || t[1] != 4 || (t[2] & SENT_BY_ACCEPTOR) != peer_flag)
                return false;
            for (int i = 3; i < 8; i++)
                if (t[i] != (byte) 0xff)
                    return false;
            receive.update(b, off, len);
            receive.update(t, 0, 16);
            byte[] sum = receive.doFinal();
            return MessageDigest.isEqual(java.util.Arrays.copyOf(sum, 12), java.util.Arrays.copyOfRange(t, 16, 28));
        }
    }
}
