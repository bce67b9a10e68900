#include "link/command_frame.h"

#include <algorithm>

namespace mc {

std::uint8_t Sum8(std::span<const std::uint8_t> bytes) {
  unsigned sum = 0;
  for (std::uint8_t b : bytes) sum += b;
  return static_cast<std::uint8_t>(sum & 0xFF);
}

void CommandFrame::Build(std::uint8_t code, std::span<const std::uint8_t> args,
                         std::uint8_t variant) {
  const std::size_t nargs = std::min(args.size(), kMaxArgs);
  size_ = kMinSize + nargs;
  bytes_[0] = static_cast<std::uint8_t>(size_);
  bytes_[1] = 0x42;
  bytes_[2] = variant;
  bytes_[3] = 0x00;
  bytes_[4] = 0x08;
  bytes_[5] = 0x08;
  bytes_[6] = 0x00;
  bytes_[7] = 0xFF;
  bytes_[8] = code;
  std::copy_n(args.begin(), nargs, bytes_.begin() + kHeaderSize);
  bytes_[size_ - 1] = Sum8({bytes_.data(), size_ - 1});
}

bool IsValidFrame(std::span<const std::uint8_t> b) {
  if (b.size() < CommandFrame::kMinSize || b[0] != b.size()) return false;
  static constexpr std::uint8_t kFixed[] = {0x42, 0x00, 0x00, 0x08, 0x08, 0x00, 0xFF};
  for (std::size_t i = 1; i < 8; ++i) {
    if (i == 2) {
      if (b[2] != kHeaderMain && b[2] != kHeaderAlt) return false;
    } else if (b[i] != kFixed[i - 1]) {
      return false;
    }
  }
  return b.back() == Sum8(b.first(b.size() - 1));
}

}  // namespace mc
