// COM port discovery on SetupAPI and the SERIALCOMM device map.
#include <string>
#include <vector>

#include "link/port_discovery.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// windows.h first: setupapi.h needs its types.
#include <setupapi.h>

namespace mc {

namespace {

// The Ports device setup class.
const GUID kPortsClass = {
    0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

constexpr DWORD kNameBufferSize = 260;
// A friendly name no longer than this is read in a second try; beyond it the
// device is skipped.
constexpr DWORD kLongestName = 64 * 1024;

// The friendly name of one device, or nullopt when it cannot be read. At
// most two reads: the second only when the first said how much room it needs.
std::optional<std::string> FriendlyName(HDEVINFO set, SP_DEVINFO_DATA& device) {
  std::vector<char> buffer(kNameBufferSize + 1, '\0');
  for (int attempt = 0; attempt < 2; ++attempt) {
    DWORD type = 0;
    DWORD required = 0;
    const DWORD room = static_cast<DWORD>(buffer.size() - 1);
    if (SetupDiGetDeviceRegistryPropertyA(set, &device, SPDRP_FRIENDLYNAME, &type,
                                          reinterpret_cast<PBYTE>(buffer.data()), room,
                                          &required)) {
      // The value need not be terminated; the extra zero byte ends it.
      return std::string(buffer.data());
    }
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || required <= room ||
        required > kLongestName) {
      return std::nullopt;
    }
    buffer.assign(required + 1, '\0');
  }
  return std::nullopt;
}

std::vector<int> PortsClassPorts() {
  std::vector<int> ports;
  HDEVINFO set = SetupDiGetClassDevsA(&kPortsClass, nullptr, nullptr, DIGCF_PRESENT);
  if (set == INVALID_HANDLE_VALUE) return ports;
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  for (DWORD index = 0; SetupDiEnumDeviceInfo(set, index, &device); ++index) {
    const std::optional<std::string> name = FriendlyName(set, device);
    if (!name) continue;
    if (const std::optional<int> port = ParseComNumber(*name)) ports.push_back(*port);
  }
  SetupDiDestroyDeviceInfoList(set);
  return ports;
}

// The data of the REG_SZ values of HKLM\HARDWARE\DEVICEMAP\SERIALCOMM
// ("COM1", "COM5", ...), in the order the registry enumerates them.
std::vector<std::string> SerialCommNames() {
  std::vector<std::string> names;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_QUERY_VALUE,
                    &key) != ERROR_SUCCESS) {
    return names;
  }
  for (DWORD index = 0; index < 4096; ++index) {
    char valueName[256];
    DWORD valueNameSize = sizeof valueName;
    BYTE data[256] = {};
    DWORD dataSize = sizeof data - 1;  // room for a terminator of our own
    DWORD type = 0;
    const LONG rc =
        RegEnumValueA(key, index, valueName, &valueNameSize, nullptr, &type, data, &dataSize);
    if (rc == ERROR_MORE_DATA) continue;  // a name or data too long: skipped
    if (rc != ERROR_SUCCESS) break;       // ERROR_NO_MORE_ITEMS, or the key is unreadable
    if (type != REG_SZ) continue;
    names.emplace_back(reinterpret_cast<const char*>(data));
  }
  RegCloseKey(key);
  return names;
}

}  // namespace

std::vector<int> DiscoverComPorts() {
  std::vector<int> ports = PortsClassPorts();
  MergeComNames(ports, SerialCommNames());
  return ports;
}

}  // namespace mc
