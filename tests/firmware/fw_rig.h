// A PC with one simulated COM port cabled to an emulated switcher and its
// boards, on virtual time, and a firmware loader that records what it shows.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "emulator/boards/boards.h"
#include "emulator/switcher_model.h"
#include "firmware/loaders.h"
#include "link/command_frame.h"
#include "link/serial_port_sim.h"
#include "link/sim_wire.h"

namespace mc::test {

class RecordingReport : public LoaderReport {
 public:
  void SetItemText(int id, const std::string& text) override { texts[id].push_back(text); }
  void EnableItem(int id, bool enable) override { enabled[id] = enable; }
  void SetProgressRange(int low, int high) override {
    rangeLow = low;
    rangeHigh = high;
  }
  void SetProgressPos(int pos) override {
    position = pos;
    if (onProgress) onProgress(pos);
  }
  void SetWaitCursor(bool wait) override { cursor.push_back(wait); }
  void ShowMessage(const std::string& text) override { messages.push_back(text); }

  std::string Last(int id) const {
    auto it = texts.find(id);
    return it == texts.end() || it->second.empty() ? std::string() : it->second.back();
  }

  std::map<int, std::vector<std::string>> texts;
  std::map<int, bool> enabled;
  std::vector<bool> cursor;
  std::vector<std::string> messages;
  int rangeLow = -1, rangeHigh = -1, position = -1;
  std::function<void(int)> onProgress;
};

// Writes `bytes` to a fresh file in the test's temporary directory.
inline std::string WriteTempFile(const std::string& name, const std::vector<std::uint8_t>& bytes) {
  const auto dir = std::filesystem::path(testing::TempDir()) / "fw";
  std::filesystem::create_directories(dir);
  const auto path = dir / name;
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  return path.string();
}

inline std::vector<std::uint8_t> Bytes(const std::string& text) {
  return {text.begin(), text.end()};
}

// Deterministic test data.
inline std::vector<std::uint8_t> Pattern(std::size_t n, std::uint32_t seed = 1) {
  std::vector<std::uint8_t> v(n);
  for (auto& b : v) {
    seed = seed * 1103515245u + 12345u;
    b = static_cast<std::uint8_t>(seed >> 16);
  }
  return v;
}

// One Intel HEX record with its checksum and CR LF.
inline std::string HexRecord(int type, std::uint32_t offset,
                             const std::vector<std::uint8_t>& data) {
  std::vector<std::uint8_t> raw = {
      static_cast<std::uint8_t>(data.size()), static_cast<std::uint8_t>(offset >> 8),
      static_cast<std::uint8_t>(offset), static_cast<std::uint8_t>(type)};
  raw.insert(raw.end(), data.begin(), data.end());
  std::uint8_t sum = 0;
  for (auto b : raw) sum = static_cast<std::uint8_t>(sum + b);
  raw.push_back(static_cast<std::uint8_t>(-sum));
  std::string s = ":";
  char hex[3];
  for (auto b : raw) {
    std::snprintf(hex, sizeof hex, "%02X", b);
    s += hex;
  }
  return s + "\r\n";
}

inline std::string HexData(std::uint32_t offset, const std::vector<std::uint8_t>& data,
                           std::size_t perRecord = 16) {
  std::string s;
  for (std::size_t i = 0; i < data.size(); i += perRecord) {
    const auto end = std::min(data.size(), i + perRecord);
    s += HexRecord(0, static_cast<std::uint32_t>(offset + i),
                   {data.begin() + i, data.begin() + end});
  }
  return s;
}
inline std::string HexLinear(std::uint16_t upper) {
  return HexRecord(4, 0, {static_cast<std::uint8_t>(upper >> 8), static_cast<std::uint8_t>(upper)});
}
inline std::string HexSegment(std::uint16_t segment) {
  return HexRecord(2, 0,
                   {static_cast<std::uint8_t>(segment >> 8), static_cast<std::uint8_t>(segment)});
}
inline std::string HexEnd() {
  return ":00000001FF\r\n";
}

struct Rig {
  static constexpr int kCom = 3;

  Rig() {
    wire.Attach(&model);
    bank.Add(kCom, wire);
    loader.ComPortNumber = kCom;
  }

  void UseFile(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    loader.FirmwarePath = WriteTempFile(name, bytes);
  }
  LoaderIo Io() { return LoaderIo{port, clock, report, loader.AbortFlag}; }
  std::vector<int> SleepsMs() const {
    std::vector<int> ms;
    for (auto d : clock.Sleeps()) ms.push_back(static_cast<int>(d.count() / 1000));
    return ms;
  }
  // Sets AbortFlag once the progress bar reaches `pos`, as a click on Abort.
  void AbortAtProgress(int pos) {
    report.onProgress = [this, pos](int p) {
      if (p >= pos) loader.AbortFlag = 1;
    };
  }

  VirtualClock clock;
  SimWire wire{clock};
  SimPortBank bank;
  emu::SwitcherModel model;
  emu::Boards boards{model};
  SimSerialPort port{bank};
  RecordingReport report;
  FirmwareLoader loader{port, clock, report};
};

}  // namespace mc::test
