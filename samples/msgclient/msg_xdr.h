// SPDX-License-Identifier: Apache-2.0
// XDR routines of the message interface. There are none of its own: the
// argument and the result of procedure 2 are both plain strings of unlimited
// length, encoded and decoded with the library's xdr_wrapstring.
#ifndef MSG_XDR_H
#define MSG_XDR_H

#include <rpc/rpc.h>

#endif
