// SPDX-License-Identifier: Apache-2.0
// msgclient: sends "hello" one thousand times to procedure 2 of the message
// service on this machine over TCP and prints every reply.
#include <cstdio>
#include <cstdlib>

#include <rpc/rpc.h>

#include "msg_clnt.h"

namespace {

constexpr int message_count = 1000;

// Prefix of every error message when the command line names none.
constexpr const char *default_prefix = "msgclient";

}  // namespace

int main(int argc, char *argv[]) {
  const char *prefix = argc > 1 ? argv[1] : default_prefix;

  CLIENT *clnt = clnt_create("localhost", MSG_PROGRAM, MSG_VERSION, "tcp");
  if (clnt == nullptr) {
    clnt_pcreateerror(prefix);
    std::exit(1);
  }

  char message_text[] = "hello";
  char *message = message_text;
  for (int i = 0; i < message_count; i++) {
    char **reply = sendmsg_1(&message, clnt);
    if (reply == nullptr) {
      // No reply to print: report the call's failure and stop rather
      // than print a line without one.
      clnt_perror(clnt, prefix);
      clnt_destroy(clnt);
      std::exit(1);
    }
    std::printf("Got reply: %s.\n", *reply);
  }

  clnt_destroy(clnt);
  return 0;
}
