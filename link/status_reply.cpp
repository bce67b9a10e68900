#include "link/status_reply.h"

#include "link/command_frame.h"

namespace mc {

const char* ModelName(int modelCode) {
  switch (modelCode) {
    case kModelK700: return "K700 8x8";
    case kModelK720: return "K720 8x8";
    case kModelK720_6x4: return "K720 6x4+2";
    default: return "unknown";
  }
}

std::optional<StatusReply> StatusReply::Parse(std::span<const std::uint8_t> b) {
  if (b.size() != kSize || b[0] != kAck) return std::nullopt;
  if (b[20] != Sum8(b.subspan(1, 19))) return std::nullopt;
  StatusReply r;
  r.reserved = b[1];
  for (std::size_t k = 0; k < kOutputs; ++k) r.outputs[k] = b[2 + k];
  for (std::size_t k = 0; k < kInputs; ++k) r.inputFlags[k] = b[10 + k];
  r.power = b[18];
  r.modelByte = b[19];
  return r;
}

std::array<std::uint8_t, StatusReply::kSize> StatusReply::Encode() const {
  std::array<std::uint8_t, kSize> b{};
  b[0] = kAck;
  b[1] = reserved;
  for (std::size_t k = 0; k < kOutputs; ++k) b[2 + k] = outputs[k];
  for (std::size_t k = 0; k < kInputs; ++k) b[10 + k] = inputFlags[k];
  b[18] = power;
  b[19] = modelByte;
  b[20] = Sum8(std::span<const std::uint8_t>(b).subspan(1, 19));
  return b;
}

}  // namespace mc
