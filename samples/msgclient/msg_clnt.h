// SPDX-License-Identifier: Apache-2.0
// Client stub of the message service: program 1234567, version 1, whose
// procedure 2 takes one string and answers one string.
#ifndef MSG_CLNT_H
#define MSG_CLNT_H

#include <rpc/rpc.h>

inline constexpr rpcprog_t MSG_PROGRAM = 1234567;
inline constexpr rpcvers_t MSG_VERSION = 1;
inline constexpr rpcproc_t MSG_SEND_PROC = 2;

// Total time-out of each call: 25 seconds.
extern const struct timeval TIMEOUT;

// Sends the string *argp through the handle clnt and returns a pointer to the
// stub's one static result slot, which then holds the reply string, or
// nullptr when the call fails (clnt_perror on clnt tells why). Each call
// overwrites the slot, so take the reply out of it before the next call.
char **sendmsg_1(char **argp, CLIENT *clnt);

#endif
