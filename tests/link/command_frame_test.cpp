#include "link/command_frame.h"

#include <gtest/gtest.h>

#include <vector>

namespace mc {
namespace {

std::vector<std::uint8_t> Bytes(const CommandFrame& f) {
  return {f.data(), f.data() + f.size()};
}

TEST(CommandFrame, WorkedFrames) {
  EXPECT_EQ(
      Bytes(CommandFrame(kCmdStatus, {})),
      (std::vector<std::uint8_t>{0x0A, 0x42, 0x01, 0x00, 0x08, 0x08, 0x00, 0xFF, 0x01, 0x5D}));
  EXPECT_EQ(
      Bytes(CommandFrame(kCmdFactoryReset, {})),
      (std::vector<std::uint8_t>{0x0A, 0x42, 0x01, 0x00, 0x08, 0x08, 0x00, 0xFF, 0x20, 0x7C}));
  EXPECT_EQ(
      Bytes(CommandFrame(kCmdDbUpdate, {}, kHeaderAlt)),
      (std::vector<std::uint8_t>{0x0A, 0x42, 0x03, 0x00, 0x08, 0x08, 0x00, 0xFF, 0x17, 0x75}));
}

}  // namespace
}  // namespace mc
