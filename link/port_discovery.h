// Discovery of the serial ports that are present, so that the user can pick
// the one cabled to the switcher.
//
// Windows: the port numbers of the devices of the Ports class (their friendly
// names end in "(COMn)"), then the ports that only the SERIALCOMM device map
// lists. Other systems: the paths of the serial device nodes, for matrixctl.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mc {

// The number that follows the first "COM" (case-sensitive) of a device's
// friendly name, read as atoi reads it: leading digits, none gives 0.
// nullopt when the name holds no "COM".
std::optional<int> ParseComNumber(std::string_view friendlyName);

// Appends `port` unless the table already holds it; true when appended.
bool AppendUnique(std::vector<int>& ports, int port);
// Appends, in order, each port of `more` that the table does not hold yet.
void MergeUnique(std::vector<int>& ports, const std::vector<int>& more);
// Appends the ports named by COM names such as "COM5" (the data of the
// SERIALCOMM values), in order and without duplicates; names without "COM"
// are skipped.
void MergeComNames(std::vector<int>& ports, const std::vector<std::string>& names);

// The text of a port's entry in the COM port combo box: "COM %d".
std::string ComboText(int port);

#if defined(_WIN32)
// The COM port numbers in discovery order. Empty when no port is present.
std::vector<int> DiscoverComPorts();
#else
// The serial device nodes that exist: /dev/ttyS*, /dev/ttyUSB*, /dev/ttyACM*,
// each group in numeric order. ttyS nodes without a UART behind them are
// left out where the kernel tells.
std::vector<std::string> DiscoverSerialDevices();
#endif

}  // namespace mc
