// Process entry of vorlith.
#include <cerrno>
#include <cstdio>

#include "rpc_main.h"
#include "rpc_util.h"

int main(int argc, char **argv) {
  int status = vorlith_main(argc, argv);
  // The file lists are output too: losing them is a failed run.
  if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
    int error_number = errno != 0 ? errno : EIO;
    std::fputs((g_state.program_name + ": ").c_str(), stderr);
    report_system_error("<stdout>", error_number);
    return 255;
  }
  return status;
}
