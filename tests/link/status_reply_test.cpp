#include "link/status_reply.h"

#include <gtest/gtest.h>

#include <vector>

#include "link/command_frame.h"

namespace mc {
namespace {

std::vector<std::uint8_t> ValidReply() {
  StatusReply r;
  r.reserved = 0x07;
  r.outputs = {1, 2, 3, 4, 5, 6, 7, 0x88};
  r.inputFlags = {1, 0, 1, 0, 0, 0, 0, 1};
  r.power = 2;
  r.modelByte = 1;
  const auto b = r.Encode();
  return {b.begin(), b.end()};
}

TEST(StatusReply, AcceptsAndDecodesAValidReply) {
  const auto bytes = ValidReply();
  EXPECT_EQ(bytes[20], Sum8(std::span<const std::uint8_t>(bytes).subspan(1, 19)));
  const auto r = StatusReply::Parse(bytes);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->modelCode(), kModelK720);
  EXPECT_EQ(r->power, 2);
  EXPECT_EQ(r->RoutedInput(7), 8);
  EXPECT_TRUE(r->OutputOff(7));
  EXPECT_FALSE(r->OutputOff(0));
  EXPECT_EQ(r->inputFlags[2], 1);
}

TEST(StatusReply, RejectsMalformedReplies) {
  struct Case {
    const char* name;
    void (*spoil)(std::vector<std::uint8_t>&);
  };
  const Case cases[] = {
      {"20 bytes", [](std::vector<std::uint8_t>& b) { b.pop_back(); }},
      {"22 bytes", [](std::vector<std::uint8_t>& b) { b.push_back(0); }},
      {"checksum off by one", [](std::vector<std::uint8_t>& b) { b[20]++; }},
      // Byte 0 is outside the sum: a wrong first byte keeps the sum right.
      {"byte 0 not 0xAA", [](std::vector<std::uint8_t>& b) { b[0] = 0xAB; }},
      {"payload changed", [](std::vector<std::uint8_t>& b) { b[5] ^= 0x01; }},
  };
  for (const Case& c : cases) {
    auto bytes = ValidReply();
    c.spoil(bytes);
    EXPECT_FALSE(StatusReply::Parse(bytes)) << c.name;
  }
}

TEST(CommandFrame, ChecksumWrapsAndCoversTheHeader) {
  // 0A+42+01+08+08+FF+01 = 0x15D: the sum byte is 0x5D.
  const CommandFrame status(kCmdStatus, {});
  EXPECT_EQ(status.size(), 10u);
  EXPECT_EQ(status.data()[9], 0x5D);
  // Header variant 0x03 makes the sum two higher.
  EXPECT_EQ(CommandFrame(kCmdStatus, {}, kHeaderAlt).data()[9], 0x5F);
  const CommandFrame route(kCmdRoute, {1, 2, 3, 4, 5, 6, 7, 8});
  EXPECT_EQ(route.size(), 18u);
  EXPECT_EQ(route.data()[0], 18);
  EXPECT_TRUE(IsValidFrame(route.bytes()));
}

}  // namespace
}  // namespace mc
