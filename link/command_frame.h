// The command frame of the switcher protocol and its 8-bit additive sum.
//
//   byte 0      N, the whole frame length (10 + argument count)
//   bytes 1-7   42 vv 00 08 08 00 FF, vv = 0x01 or 0x03 (header variant)
//   byte 8      command code
//   bytes 9..   arguments
//   byte N-1    (sum of bytes 0 .. N-2) mod 256
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>

namespace mc {

constexpr std::uint8_t kAck = 0xAA;
constexpr std::uint8_t kHeaderMain = 0x01;  // main window, EDID, output, network r/w, service
constexpr std::uint8_t kHeaderAlt = 0x03;   // IR, announcements, firmware workers

// Command codes.
enum Command : std::uint8_t {
  kCmdPower = 0x00,
  kCmdStatus = 0x01,
  kCmdRoute = 0x02,
  kCmdService = 0x04,
  kCmdAutoEdid = 0x06,
  kCmdPoc = 0x07,
  kCmdEdidQuery = 0x08,
  kCmdEdidUpload = 0x09,
  kCmdReadOutputEdid = 0x0A,
  kCmdReadInputEdid = 0x0B,
  kCmdEdidLearn = 0x0C,
  kCmdHdbtUpdate = 0x10,
  kCmdDbUpdate = 0x17,
  kCmdFactoryReset = 0x20,
  kCmdAnnounce = 0x22,
  kCmdNetRead = 0x31,
  kCmdNetWrite = 0x32,
  kCmdIrFirst = 0x41,
  kCmdIrLast = 0x44,
};

// 8-bit sum of a byte range (plain sum, no complement).
std::uint8_t Sum8(std::span<const std::uint8_t> bytes);

class CommandFrame {
 public:
  static constexpr std::size_t kHeaderSize = 9;  // length, 7 header bytes, code
  static constexpr std::size_t kMinSize = 10;
  static constexpr std::size_t kMaxArgs = 32;
  static constexpr std::size_t kMaxSize = kMinSize + kMaxArgs;

  CommandFrame() = default;
  CommandFrame(std::uint8_t code, std::span<const std::uint8_t> args,
               std::uint8_t variant = kHeaderMain) {
    Build(code, args, variant);
  }
  CommandFrame(std::uint8_t code, std::initializer_list<std::uint8_t> args,
               std::uint8_t variant = kHeaderMain)
      : CommandFrame(code, std::span<const std::uint8_t>(args.begin(), args.size()), variant) {}

  // Fills the frame; arguments beyond kMaxArgs are not taken.
  void Build(std::uint8_t code, std::span<const std::uint8_t> args,
             std::uint8_t variant = kHeaderMain);

  const std::uint8_t* data() const { return bytes_.data(); }
  std::size_t size() const { return size_; }
  std::span<const std::uint8_t> bytes() const { return {bytes_.data(), size_}; }
  std::uint8_t code() const { return bytes_[8]; }

 private:
  std::array<std::uint8_t, kMaxSize> bytes_{};
  std::size_t size_ = 0;
};

// Parses a frame as the switcher receives it: true when `bytes` is one whole
// frame with a known header and a right sum.
bool IsValidFrame(std::span<const std::uint8_t> bytes);

}  // namespace mc
