// The main-board loader against the emulated bootloader, on virtual time.
#include <gtest/gtest.h>

#include "fw_rig.h"

namespace mc::test {
namespace {

using Boot = emu::MainBootloader;

// A main-board image as a raw file (its first byte is not ':').
std::vector<std::uint8_t> MainImage(std::size_t n, std::uint32_t seed = 5) {
  auto image = Pattern(n, seed);
  image[0] = 0x12;
  image[1] = 0x0F;  // bytes that need escaping
  image[2] = 0x04;
  image[3] = 0x05;
  return image;
}

// Break, power cycle into the bootloader, Start.
void RunMain(Rig& rig, const std::vector<std::uint8_t>& image) {
  rig.UseFile("K700-K720.8x8.main", image);
  ASSERT_TRUE(rig.loader.Break());
  EXPECT_EQ(rig.report.Last(1091), "Power Cycle the Matrix and then Press Start.");
  rig.model.PowerCycle(rig.clock.Now(), rig.wire);
  rig.loader.BusyFlag = 1;
  rig.loader.MainBoardThread();
  EXPECT_EQ(rig.loader.BusyFlag, 0);
  EXPECT_FALSE(rig.port.IsOpen());
}

std::vector<Boot::Frame> FramesOf(const Boot& boot, std::uint8_t command) {
  std::vector<Boot::Frame> frames;
  for (const auto& f : boot.Frames()) {
    if (f.command == command) frames.push_back(f);
  }
  return frames;
}

TEST(Crc16, XmodemCheckValueAndFinishFrame) {
  EXPECT_EQ(Crc16(Bytes("123456789")), 0x31C3);
  const std::uint8_t finish[] = {0x09};
  EXPECT_EQ(Crc16(finish), 0x9129);  // sent low byte first: 09 29 91
}

TEST(EscapeFrame, EscapesControlBytesAndEndsWithEtx) {
  const std::uint8_t frame[] = {0x0F, 0x01, 0x04, 0x05, 0x10};
  EXPECT_EQ(EscapeFrame(frame),
            (std::vector<std::uint8_t>{0x05, 0x0F, 0x01, 0x05, 0x04, 0x05, 0x05, 0x10, 0x04}));
}

TEST(MainBoard, FullImageIsErasedWrittenAndFinished) {
  Rig rig;
  auto image = MainImage(128 * 1024);
  // The top of the image is unprogrammed, where the vector block lies.
  std::fill(image.begin() + 0x1F7C0, image.end(), std::uint8_t{0xFF});
  RunMain(rig, image);
  const Boot& boot = rig.boards.bootloader();
  EXPECT_EQ(rig.report.Last(1091), "Complete!");
  EXPECT_EQ(rig.report.texts[1091],
            (std::vector<std::string>{"Power Cycle the Matrix and then Press Start.",
                                      "COM port Connected!", "Writing...!", "Complete!"}));
  EXPECT_EQ(rig.report.cursor, (std::vector<bool>{true, false}));
  EXPECT_TRUE(rig.report.enabled[1130]);
  EXPECT_FALSE(rig.report.enabled[1088]);
  EXPECT_TRUE(boot.FinishSeen());
  EXPECT_FALSE(rig.model.InBoardMode());

  const auto& flash = boot.Flash();
  const auto factory = Boot::FactoryFlash();
  EXPECT_EQ(std::vector<std::uint8_t>(flash.begin(), flash.begin() + 4),
            (std::vector<std::uint8_t>{0x01, 0xEF, 0xFC, 0xF0}));
  EXPECT_TRUE(std::equal(image.begin() + 4, image.begin() + 0x1F7C0, flash.begin() + 4));
  EXPECT_TRUE(std::all_of(flash.begin() + 0x1F7C0, flash.begin() + 0x1F7FC,
                          [](std::uint8_t b) { return b == 0xFF; }));
  EXPECT_TRUE(std::equal(image.begin(), image.begin() + 4, flash.begin() + 0x1F7FC));
  EXPECT_TRUE(
      std::equal(factory.begin() + Boot::kAppEnd, factory.end(), flash.begin() + Boot::kAppEnd));

  // 32 erase frames from 0x1F400 down, never at 0 or below.
  const auto erases = FramesOf(boot, 0x03);
  ASSERT_EQ(erases.size(), 32u);
  for (std::size_t k = 0; k < 31; ++k) {
    EXPECT_EQ(erases[k].address, 0x1F400u - 0x1000u * k);
    EXPECT_EQ(erases[k].count, 4);
  }
  EXPECT_EQ(erases[31].address, 0x400u);
  EXPECT_EQ(erases[31].count, 2);
  const auto writes = FramesOf(boot, 0x04);
  ASSERT_EQ(writes.size(), 37u);  // 35 x 57 blocks, 53 blocks, the vector block
  EXPECT_EQ(writes[35].count, 53);
  EXPECT_EQ(writes.back().address, 0x1F7C0u);
}

TEST(MainBoard, FrameSplitAndFill) {
  struct Case {
    std::size_t length;
    std::vector<std::pair<std::uint32_t, int>> writes;  // address, blocks
  } cases[] = {
      {3649, {{0, 57}, {3648, 1}, {0x1F7C0, 1}}},
      {7296, {{0, 57}, {3648, 57}, {7296, 0}, {0x1F7C0, 1}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.length);
    Rig rig;
    const auto image = MainImage(c.length);
    RunMain(rig, image);
    EXPECT_EQ(rig.report.Last(1091), "Complete!");
    const auto writes = FramesOf(rig.boards.bootloader(), 0x04);
    ASSERT_EQ(writes.size(), c.writes.size());
    for (std::size_t i = 0; i < writes.size(); ++i) {
      EXPECT_EQ(writes[i].address, c.writes[i].first);
      EXPECT_EQ(writes[i].count, c.writes[i].second);
      EXPECT_TRUE(writes[i].ok);
    }
    if (c.length == 3649) {
      const auto& tail = writes[1].data;
      EXPECT_EQ(tail[0], image[3648]);
      EXPECT_TRUE(
          std::all_of(tail.begin() + 1, tail.end(), [](std::uint8_t b) { return b == 0xFF; }));
    }
    EXPECT_EQ(rig.report.rangeHigh, static_cast<int>(c.length / 5));
  }
}

TEST(MainBoard, EraseWaits) {
  Rig rig;
  rig.model.PowerCycle(rig.clock.Now(), rig.wire, true);
  ASSERT_TRUE(rig.port.Open(Rig::kCom, 19200));
  LoaderIo io = rig.Io();
  ASSERT_TRUE(EraseFlash(io));
  std::vector<int> expected = {50};
  for (int k = 0; k < 32; ++k) expected.insert(expected.end(), {50, 200});
  EXPECT_EQ(rig.SleepsMs(), expected);
}

TEST(MainBoard, WrongEchoFailsEveryAttempt) {
  for (bool lost : {false, true}) {
    Rig rig;
    rig.boards.bootloader().faults.badEchoFrom = 0;
    rig.boards.bootloader().faults.lostEcho = lost;
    RunMain(rig, MainImage(1000));
    EXPECT_EQ(rig.report.Last(1091), "Fail to write flash!");
    // Each attempt: the ignored first sync, then the sync that fails.
    EXPECT_EQ(rig.boards.bootloader().Syncs(), 12);
    EXPECT_TRUE(rig.boards.bootloader().Frames().empty());
    EXPECT_TRUE(rig.report.enabled[1088]);
  }
}

TEST(MainBoard, RepeatedAttemptRelocatesTheBytesAsLoaded) {
  Rig rig;
  rig.boards.bootloader().faults.nakWriteFrom = 1;  // the first attempt fails mid-image
  const auto image = MainImage(8000);
  RunMain(rig, image);
  EXPECT_EQ(rig.report.Last(1091), "Complete!");
  const auto erases = FramesOf(rig.boards.bootloader(), 0x03);
  EXPECT_EQ(erases.size(), 64u);
  const auto vector = FramesOf(rig.boards.bootloader(), 0x04).back();
  ASSERT_EQ(vector.address, 0x1F7C0u);
  EXPECT_TRUE(std::equal(image.begin(), image.begin() + 4, vector.data.begin() + 60));
  EXPECT_TRUE(
      std::equal(image.begin() + 4, image.end(), rig.boards.bootloader().Flash().begin() + 4));
}

TEST(MainBoard, AbortEndsWithFailure) {
  Rig rig;
  rig.AbortAtProgress(1);
  RunMain(rig, MainImage(8000));
  EXPECT_EQ(rig.report.Last(1091), "Fail to write flash!");
  EXPECT_EQ(FramesOf(rig.boards.bootloader(), 0x03).size(), 32u);  // no second attempt
  EXPECT_EQ(FramesOf(rig.boards.bootloader(), 0x04).size(), 1u);
  EXPECT_FALSE(rig.boards.bootloader().FinishSeen());
}

TEST(MainBoard, BreakOnABusyPort) {
  Rig rig;
  SimSerialPort other(rig.bank);
  ASSERT_TRUE(other.Open(Rig::kCom, 9600));
  EXPECT_FALSE(rig.loader.Break());
  EXPECT_EQ(rig.report.messages, (std::vector<std::string>{"COM port is occupied!"}));
}

}  // namespace
}  // namespace mc::test
