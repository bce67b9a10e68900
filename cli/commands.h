// The subcommands of matrixctl. Each takes the arguments after its own name
// and returns the process exit code: 0 success, 1 the device or a file
// failed, 2 bad arguments (usage printed on stderr).
#pragma once

#include <string>
#include <vector>

namespace mc::cli {

using Args = std::vector<std::string>;

int CmdPorts(const Args& args);
int CmdStatus(const Args& args);
int CmdRoute(const Args& args);
int CmdPower(const Args& args);
int CmdEdid(const Args& args);      // edid decode FILE
int CmdHex2Bin(const Args& args);   // hex2bin --board main|db|hdbt IN OUT
int CmdFirmware(const Args& args);  // firmware main|db|hdbt --port PATH FILE

}  // namespace mc::cli
