#include <cstdio>

#include "cli/commands.h"

namespace mc::cli {

int CmdHex2Bin(const Args& args) {
  (void)args;
  std::fprintf(stderr, "matrixctl hex2bin: not built yet\n");
  return 2;
}

int CmdFirmware(const Args& args) {
  (void)args;
  std::fprintf(stderr, "matrixctl firmware: not built yet\n");
  return 2;
}

}  // namespace mc::cli
