#include <cstdio>

#include "cli/commands.h"

namespace mc::cli {

int CmdEdid(const Args& args) {
  (void)args;
  std::fprintf(stderr, "matrixctl edid: not built yet\n");
  return 2;
}

}  // namespace mc::cli
