// SPDX-License-Identifier: Apache-2.0
// The message interface defines no type of its own, so this module holds no
// routine; see msg_xdr.h.
#include "msg_xdr.h"
