#include "link/port_discovery.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>

namespace mc {

std::optional<int> ParseComNumber(std::string_view friendlyName) {
  const std::size_t at = friendlyName.find("COM");
  if (at == std::string_view::npos) return std::nullopt;
  // Read as atoi reads (blanks, sign, digits), but through strtol, which
  // saturates where atoi's overflow is undefined. The view may be a slice
  // of a buffer, so it is copied to get a terminated string.
  const std::string rest(friendlyName.substr(at + 3));
  const long n = std::strtol(rest.c_str(), nullptr, 10);
  return static_cast<int>(std::clamp<long>(n, INT_MIN, INT_MAX));
}

bool AppendUnique(std::vector<int>& ports, int port) {
  if (std::find(ports.begin(), ports.end(), port) != ports.end()) return false;
  ports.push_back(port);
  return true;
}

void MergeUnique(std::vector<int>& ports, const std::vector<int>& more) {
  for (int port : more) AppendUnique(ports, port);
}

void MergeComNames(std::vector<int>& ports, const std::vector<std::string>& names) {
  for (const std::string& name : names) {
    if (auto port = ParseComNumber(name)) AppendUnique(ports, *port);
  }
}

std::string ComboText(int port) {
  char text[32];
  std::snprintf(text, sizeof text, "COM %d", port);
  return text;
}

}  // namespace mc
