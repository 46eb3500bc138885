// SPDX-License-Identifier: Apache-2.0
package intruder;

import kelvaro.ZELT.internal.client.RpcMessage;

/** Names a class of a package that the runtime does not export. */
public class Reach {
    public static String text() {
        return RpcMessage.auth_text(1);
    }
}
