// matrixctl: the switcher from the command line.
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/commands.h"

namespace {

struct Command {
  const char* name;
  int (*run)(const mc::cli::Args&);
  const char* synopsis;
};

constexpr Command kCommands[] = {
    {"ports", mc::cli::CmdPorts, "ports                                  list the serial ports"},
    {"status", mc::cli::CmdStatus,
     "status [--json] LINK                   routing, inputs, power, model"},
    {"route", mc::cli::CmdRoute,
     "route OUT IN LINK                      route input IN to output OUT"},
    {"power", mc::cli::CmdPower,
     "power on|off LINK                      switch the switcher's power"},
    {"edid", mc::cli::CmdEdid,
     "edid decode FILE                       the text report of an EDID file"},
    {"hex2bin", mc::cli::CmdHex2Bin,
     "hex2bin --board main|db|hdbt IN OUT    convert a firmware HEX file"},
    {"firmware", mc::cli::CmdFirmware,
     "firmware main|db|hdbt --port PATH FILE update a board's firmware"},
};

void Usage(FILE* to) {
  std::fprintf(to, "usage: matrixctl COMMAND [ARGS]\n\nCommands:\n");
  for (const Command& c : kCommands) std::fprintf(to, "  %s\n", c.synopsis);
  std::fprintf(to,
               "\nLINK is --port PATH (serial device, 9600 8N1) or --host ADDR[:PORT] (TCP, port "
               "9760 by default).\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    Usage(stderr);
    return 2;
  }
  const std::string name = argv[1];
  if (name == "--help" || name == "-h" || name == "help") {
    Usage(stdout);
    return 0;
  }
  for (const Command& c : kCommands) {
    if (name == c.name) return c.run(mc::cli::Args(argv + 2, argv + argc));
  }
  std::fprintf(stderr, "matrixctl: unknown command '%s'\n", name.c_str());
  Usage(stderr);
  return 2;
}
