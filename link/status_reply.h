// The 21-byte answer to the status query.
//
//   byte 0      0xAA
//   byte 1      not interpreted; in the sum
//   bytes 2-9   input (1-8) routed to outputs 1-8; bit 7 set = output off
//   bytes 10-17 input indicator flags, non-zero = signal on input k+1
//   byte 18     power state 0, 1 or 2
//   byte 19     model: 0 K700 8x8, 1 K720 8x8, 2 K720 6x4+2
//   byte 20     (sum of bytes 1 .. 19) mod 256
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace mc {

constexpr int kOutputs = 8;
constexpr int kInputs = 8;

// Model code as the console keeps it: the status reply's model byte + 1.
enum ModelCode : int { kModelUnknown = 0, kModelK700 = 1, kModelK720 = 2, kModelK720_6x4 = 3 };
const char* ModelName(int modelCode);  // "K700 8x8", "K720 8x8", "K720 6x4+2", "unknown"

struct StatusReply {
  static constexpr std::size_t kSize = 21;

  std::uint8_t reserved = 0;
  std::array<std::uint8_t, kOutputs> outputs{};  // raw output status bytes
  std::array<std::uint8_t, kInputs> inputFlags{};
  std::uint8_t power = 0;
  std::uint8_t modelByte = 0;

  // Accepts exactly 21 bytes with 0xAA first and a right sum.
  static std::optional<StatusReply> Parse(std::span<const std::uint8_t> bytes);
  // The 21 bytes of this reply, sum included.
  std::array<std::uint8_t, kSize> Encode() const;

  int modelCode() const { return modelByte + 1; }
  // The input routed to `output` (0-based): bits 0-3 of its status byte.
  int RoutedInput(int output) const { return outputs[static_cast<std::size_t>(output)] & 0x0F; }
  bool OutputOff(int output) const {
    return (outputs[static_cast<std::size_t>(output)] & 0x80) != 0;
  }
};

}  // namespace mc
