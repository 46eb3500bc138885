// SPDX-License-Identifier: Apache-2.0
#include "msg_clnt.h"

#include "msg_xdr.h"

const struct timeval TIMEOUT = {25, 0};

char **sendmsg_1(char **argp, CLIENT *clnt) {
  // One slot for the whole process. The decoder allocates a fresh reply
  // string only into a null slot, so it is cleared before every call.
  static char *clnt_res;

  clnt_res = nullptr;
  if (clnt_call(clnt, MSG_SEND_PROC, reinterpret_cast<xdrproc_t>(xdr_wrapstring), reinterpret_cast<caddr_t>(argp),
                reinterpret_cast<xdrproc_t>(xdr_wrapstring), reinterpret_cast<caddr_t>(&clnt_res),
                TIMEOUT) != RPC_SUCCESS) {
    return nullptr;
  }
  return &clnt_res;
}
