// Serial device discovery on Linux and other POSIX systems, for matrixctl.
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <tuple>
#include <vector>

#include "link/port_discovery.h"

namespace mc {

namespace {

struct Node {
  int group;  // index into kGroups
  long number;
  std::string path;
};

constexpr const char* kGroups[] = {"ttyS", "ttyUSB", "ttyACM"};

// The group and number of a device name such as "ttyUSB0"; false when the
// name is not one of ours (the prefix alone, or trailing non-digits).
bool ParseNodeName(const std::string& name, int& group, long& number) {
  for (int g = 0; g < static_cast<int>(std::size(kGroups)); ++g) {
    const std::string prefix = kGroups[g];
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
    const std::string digits = name.substr(prefix.size());
    if (!std::all_of(digits.begin(), digits.end(),
                     [](unsigned char c) { return std::isdigit(c) != 0; })) {
      continue;
    }
    group = g;
    number = std::strtol(digits.c_str(), nullptr, 10);
    return true;
  }
  return false;
}

// Most ttyS nodes are placeholders for UARTs that are not fitted; the kernel
// gives them the port type 0 (unknown) in sysfs. Reading sysfs rather than
// asking the device keeps discovery from opening the port, which would raise
// DTR on a real line. A node whose type cannot be read is kept.
bool HasUart(const std::string& name) {
  std::ifstream type("/sys/class/tty/" + name + "/type");
  int value = -1;
  if (!(type >> value)) return true;
  return value != 0;
}

}  // namespace

std::vector<std::string> DiscoverSerialDevices() {
  std::vector<Node> nodes;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator("/dev", ec)) {
    const std::string name = entry.path().filename().string();
    Node node;
    if (!ParseNodeName(name, node.group, node.number)) continue;
    node.path = entry.path().string();
    if (node.group == 0 && !HasUart(name)) continue;
    nodes.push_back(std::move(node));
  }
  std::sort(nodes.begin(), nodes.end(), [](const Node& a, const Node& b) {
    return std::tie(a.group, a.number) < std::tie(b.group, b.number);
  });
  std::vector<std::string> paths;
  paths.reserve(nodes.size());
  for (Node& node : nodes) paths.push_back(std::move(node.path));
  return paths;
}

}  // namespace mc
