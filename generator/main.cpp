// Process entry of vorlith.
#include <cstdio>

#include "rpc_main.h"

int main(int argc, char **argv) {
  int status = vorlith_main(argc, argv);
  if (std::fflush(stdout) != 0) return 1;
  return status;
}
