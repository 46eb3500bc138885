// SPDX-License-Identifier: Apache-2.0
// Process entry of vorlith.
#include <cerrno>
#include <cstdio>
#include <string>

#include "rpc_diag.h"
#include "rpc_main.h"
#include "rpc_signal.h"

int main(int argc, char **argv) {
  install_signal_cleanup();
  const int status = vorlith_main(argc, argv);
  // The file lists are output too: losing them fails a run that had
  // succeeded. A failed run keeps its own status.
  if (status == 0 && (std::fflush(stdout) != 0 || std::ferror(stdout) != 0)) {
    int error_number = errno != 0 ? errno : EIO;
    const std::string name = argc > 0 && argv[0] != nullptr ? argv[0] : "vorlith";
    std::fputs((name + ": ").c_str(), stderr);
    report_system_error("<stdout>", error_number);
    return 255;
  }
  return status;
}
