// The HDBaseT-board loader against the emulated update mode, on virtual time.
#include <gtest/gtest.h>

#include "fw_rig.h"

namespace mc::test {
namespace {

// A HEX file of `n` image bytes, with a vector block when `vector` is set.
std::vector<std::uint8_t> HdbtFile(const std::vector<std::uint8_t>& image,
                                   const std::vector<std::uint8_t>& vector = {}) {
  std::string text = HexData(0, image);
  if (!vector.empty()) text += HexLinear(1) + HexData(0xFF80, vector);
  return Bytes(text + HexEnd());
}

void RunHdbt(Rig& rig, const std::vector<std::uint8_t>& file) {
  rig.UseFile("720-470-TX-GRDX_3090C.hex", file);
  rig.loader.BusyFlag = 1;
  rig.loader.HdbtBoardThread();
  EXPECT_EQ(rig.loader.BusyFlag, 0);
}

TEST(HdbtBoard, BlocksAddressesAndFill) {
  struct Case {
    std::size_t length;
    bool vector;
    int count;
  } cases[] = {{1000, false, 8}, {1024, false, 8}, {1000, true, 9}, {100, false, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.length) + (c.vector ? " with vector" : ""));
    Rig rig;
    const auto image = Pattern(c.length, 21);
    const auto vector = c.vector ? Pattern(128, 22) : std::vector<std::uint8_t>{};
    RunHdbt(rig, HdbtFile(image, vector));
    const auto& board = rig.boards.hdbt();
    EXPECT_EQ(rig.report.texts[1093], (std::vector<std::string>{"Writing ... !", "Complete!"}));
    EXPECT_EQ(rig.report.cursor, (std::vector<bool>{true, false}));
    EXPECT_FALSE(rig.port.IsOpen());
    EXPECT_TRUE(board.Completed());
    EXPECT_EQ(board.Count(), c.count);
    EXPECT_EQ(rig.report.rangeHigh, c.count);
    EXPECT_EQ(rig.report.position, c.count);
    ASSERT_EQ(board.Blocks().size(), static_cast<std::size_t>(c.count));
    const std::size_t imageBlocks = (c.length + 127) / 128;
    for (std::size_t k = 0; k < imageBlocks; ++k) {
      EXPECT_EQ(board.Blocks()[k].address, 128 * k);
    }
    // The image, then 0xFF to the end of its last block.
    std::vector<std::uint8_t> expected = image;
    expected.resize(imageBlocks * 128, 0xFF);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), board.Memory().begin()));
    if (c.vector) {
      EXPECT_EQ(board.Blocks().back().address, 0xFF80);
      EXPECT_TRUE(std::equal(vector.begin(), vector.end(), board.Blocks().back().data.begin()));
    }
  }
  // The first address bytes on the wire, high byte first: the count 00 08,
  // then 00 00 and, after the first block, 00 80.
  Rig rig;
  RunHdbt(rig, HdbtFile(Pattern(1000, 21)));
  const auto& host = rig.wire.HostBytes();
  ASSERT_GT(host.size(), 14u + 128 + 1 + 2);
  EXPECT_EQ(host[10].byte, 0x00);
  EXPECT_EQ(host[11].byte, 0x08);
  EXPECT_EQ(host[12].byte, 0x00);
  EXPECT_EQ(host[13].byte, 0x00);
  EXPECT_EQ(host[14 + 128 + 1].byte, 0x00);
  EXPECT_EQ(host[14 + 128 + 2].byte, 0x80);
}

TEST(HdbtBoard, LateBlockDoneIsAccepted) {
  Rig rig;
  rig.boards.hdbt().faults.lateBlock = 1;
  rig.boards.hdbt().faults.lateBy = seconds(3);
  RunHdbt(rig, HdbtFile(Pattern(512, 23)));
  EXPECT_EQ(rig.report.Last(1093), "Complete!");
  // Count, then per block: address, sum and confirmation waits; block 1
  // waits once more for its 0xDD.
  EXPECT_EQ(rig.SleepsMs(),
            (std::vector<int>{10, 50, 30, 30, 50, 500, 30, 30, 50, 30, 30, 50, 30, 30}));
}

TEST(HdbtBoard, FailureEnds) {
  struct Case {
    const char* name;
    std::function<void(Rig&)> setup;
    std::uint8_t lastAnswer;  // the host's last verdict on a sum, 0 = none
  } cases[] = {
      {"wrong sum", [](Rig& r) { r.boards.hdbt().faults.wrongSumBlock = 2; }, 0xA4},
      {"no 0xDD", [](Rig& r) { r.boards.hdbt().faults.silentBlock = 1; }, 0xAA},
      {"count refused", [](Rig& r) { r.boards.hdbt().faults.nakCount = true; }, 0},
      {"address refused", [](Rig& r) { r.boards.hdbt().faults.nakAddressBlock = 3; }, 0xAA},
      {"no update mode", [](Rig& r) { r.model.AttachBoard(kCmdHdbtUpdate, nullptr); }, 0},
      {"abort", [](Rig& r) { r.AbortAtProgress(1); }, 0xAA},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig;
    c.setup(rig);
    RunHdbt(rig, HdbtFile(Pattern(1000, 24)));
    EXPECT_EQ(rig.report.texts[1093],
              (std::vector<std::string>{"Writing ... !", "Fail to write flash!"}));
    EXPECT_EQ(rig.report.cursor, (std::vector<bool>{true, false}));
    EXPECT_TRUE(rig.port.IsOpen());  // the dialog closes it
    EXPECT_FALSE(rig.boards.hdbt().Completed());
    const auto& answers = rig.boards.hdbt().SumAnswers();
    EXPECT_EQ(answers.empty() ? 0 : answers.back(), c.lastAnswer);
  }
}

}  // namespace
}  // namespace mc::test
