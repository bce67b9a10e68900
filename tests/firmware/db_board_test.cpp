// The DB-board loader against the emulated update mode, on virtual time.
#include <gtest/gtest.h>

#include "fw_rig.h"

namespace mc::test {
namespace {

constexpr const char* kRetrying = "Failed to Write Flash \xA1\x56 Trying again.";

std::vector<std::uint8_t> DbImage(std::size_t n) {
  auto image = Pattern(n, 11);
  image[0] = 0x00;  // a raw image, not HEX
  return image;
}

void RunDb(Rig& rig, const std::vector<std::uint8_t>& image) {
  rig.UseFile("K700-K720-DB.8x8.01.bin", image);
  rig.loader.BusyFlag = 1;
  rig.loader.DbBoardThread();
  EXPECT_EQ(rig.loader.BusyFlag, 0);
  EXPECT_FALSE(rig.port.IsOpen());
}

// How often each data position went on the wire in the last session.
std::map<std::size_t, int> SendsPerPosition(const emu::DbBoard& board) {
  std::map<std::size_t, int> sends;
  for (const auto& w : board.WireBytes()) ++sends[w.position];
  return sends;
}

TEST(DbWire, PositionCode) {
  struct Case {
    std::uint8_t b;
    std::size_t q;
    std::uint8_t wire;
  } cases[] = {
      {0x12, 0, 0x21}, {0x12, 1, 0x22}, {0x12, 256, 0x22}, {0x12, 384, 0xA2}, {0xFF, 65535, 0xFD}};
  for (const Case& c : cases) {
    EXPECT_EQ(DbWireByte(c.b, c.q), c.wire) << c.q;
    EXPECT_EQ(DbImageByte(c.wire, c.q), c.b) << c.q;
  }
}

TEST(DbBoard, ImageArrivesDecodedIntact) {
  for (std::size_t n : {300u, 2048u}) {
    SCOPED_TRACE(n);
    Rig rig;
    const auto image = DbImage(n);
    RunDb(rig, image);
    const auto& board = rig.boards.db();
    EXPECT_EQ(rig.report.texts[1092],
              (std::vector<std::string>{"", "COM port Connected!", "Writing ... !", "Complete!"}));
    EXPECT_EQ(rig.report.cursor, (std::vector<bool>{true, false}));
    EXPECT_TRUE(board.Completed());
    EXPECT_EQ(board.Length(), n);
    EXPECT_EQ(board.Received(), image);
    // The last block is whole: its bytes past the image are 0xFF.
    const std::size_t blocks = (n + 127) / 128;
    ASSERT_EQ(board.WireBytes().size(), blocks * 128);
    for (std::size_t q = n; q < blocks * 128; ++q) {
      EXPECT_EQ(DbImageByte(board.WireBytes()[q].byte, q), 0xFF);
    }
    // Entry frame, then 00 and the length low byte first.
    const auto& host = rig.wire.HostBytes();
    ASSERT_GT(host.size(), 13u);
    EXPECT_EQ(host[10].byte, 0x00);
    EXPECT_EQ(host[11].byte, n & 0xFF);
    EXPECT_EQ(host[12].byte, n >> 8);
    EXPECT_EQ(rig.report.rangeHigh, static_cast<int>(n / 64));

    // Waits: entry, ready, the length handshake, then 20 ms per byte and
    // 20 + 50 ms around each block sum.
    std::vector<int> expected = {6000, 1500, 25, 25, 25, 25};
    for (std::size_t b = 0; b < blocks; ++b) {
      expected.insert(expected.end(), 128, 20);
      expected.insert(expected.end(), {20, 50});
    }
    EXPECT_EQ(rig.SleepsMs(), expected);
  }
}

TEST(DbBoard, NakedByteIsSentAgain) {
  Rig rig;
  rig.boards.db().faults.nakByte = 5;
  rig.boards.db().faults.nakTimes = 2;
  const auto image = DbImage(512);
  RunDb(rig, image);
  EXPECT_EQ(rig.report.Last(1092), "Complete!");
  const auto sends = SendsPerPosition(rig.boards.db());
  EXPECT_EQ(sends.at(5), 3);
  EXPECT_EQ(sends.at(4), 1);
  EXPECT_EQ(rig.boards.db().Received(), image);
}

TEST(DbBoard, LateAnswerWaitsThroughTheChecks) {
  Rig rig;
  rig.boards.db().faults.lateByte = 3;
  rig.boards.db().faults.lateBy = seconds(3);
  RunDb(rig, DbImage(384));
  EXPECT_EQ(rig.report.Last(1092), "Complete!");
  const auto sleeps = rig.SleepsMs();
  // Byte 3: its read finds nothing, so each of the three checks waits.
  const std::vector<int> around(sleeps.begin() + 6 + 3, sleeps.begin() + 6 + 7);
  EXPECT_EQ(around, (std::vector<int>{20, 6200, 6200, 6200}));
}

TEST(DbBoard, WrongBlockSumReentersAndSendsAgain) {
  Rig rig;
  rig.boards.db().faults.wrongSumBlock = 1;
  rig.boards.db().faults.sessions = 1;
  const auto image = DbImage(1000);
  RunDb(rig, image);
  const auto& board = rig.boards.db();
  EXPECT_EQ(rig.report.texts[1092],
            (std::vector<std::string>{"", "COM port Connected!", "Writing ... !", kRetrying,
                                      "Complete!"}));
  EXPECT_EQ(board.Sessions(), 2);
  std::vector<std::uint8_t> answers = {0xAA, 0x55};
  answers.insert(answers.end(), 8, 0xAA);
  EXPECT_EQ(board.SumAnswers(), answers);
  EXPECT_EQ(board.Received(), image);
  const auto sleeps = rig.SleepsMs();
  EXPECT_NE(std::find(sleeps.begin(), sleeps.end(), 1000), sleeps.end());
}

TEST(DbBoard, FailureEnds) {
  struct Case {
    const char* name;
    std::function<void(Rig&)> setup;
    std::string last;
    int sessions;
  } cases[] = {
      {"no update mode", [](Rig& r) { r.model.AttachBoard(kCmdDbUpdate, nullptr); },
       "Failed to Write Flash.", 0},
      {"wrong sum twice", [](Rig& r) { r.boards.db().faults.wrongSumBlock = 0; },
       "Failed to Write Flash.", 2},
      {"length not echoed", [](Rig& r) { r.boards.db().faults.lostEcho = true; },
       "Failed to Write Flash.", 2},
      // The board drops out mid-block; the switcher takes the line back.
      {"silent board", [](Rig& r) { r.boards.db().faults.silentByte = 130; },
       "Failed to Write Flash.", 2},
      // The first acknowledge is lost: the second try of the entry reaches
      // the board, which answers it.
      {"entry acknowledge lost",
       [](Rig& r) {
         r.model.AddFault({emu::Fault::kSilence, 1, kCmdDbUpdate});
       },
       "Complete!", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig;
    c.setup(rig);
    RunDb(rig, DbImage(300));
    EXPECT_EQ(rig.report.Last(1092), c.last);
    EXPECT_EQ(rig.boards.db().Sessions(), c.sessions);
    EXPECT_FALSE(rig.report.cursor.empty() ? false : rig.report.cursor.back());
  }
}

TEST(DbBoard, AbortEndsWithFailureText) {
  Rig rig;
  rig.AbortAtProgress(2);
  RunDb(rig, DbImage(1024));
  EXPECT_EQ(rig.report.texts[1092],
            (std::vector<std::string>{"", "COM port Connected!", "Writing ... !", kRetrying,
                                      "Failed to Write Flash."}));
  // Nothing of the third block went out: two entries, a length handshake
  // each at most, two blocks and their sum answers.
  EXPECT_LE(rig.wire.HostBytes().size(), 10u + 3 + 256 + 2 + 10 + 3);
}

TEST(OversizedImage, RefusedBeforeAnythingIsSent) {
  struct Case {
    Board board;
    std::vector<std::uint8_t> file;
    int status;
  } cases[] = {
      {Board::kDb, DbImage(65536), 1092},
      {Board::kHdbt, Bytes(HexData(0, Pattern(65536), 32) + HexEnd()), 1093},
  };
  for (const Case& c : cases) {
    Rig rig;
    rig.UseFile("image", c.file);
    rig.loader.BusyFlag = 1;
    c.board == Board::kDb ? rig.loader.DbBoardThread() : rig.loader.HdbtBoardThread();
    EXPECT_EQ(rig.report.Last(c.status), "File is too large for this board!");
    EXPECT_TRUE(rig.wire.HostBytes().empty());
    EXPECT_EQ(rig.loader.BusyFlag, 0);
  }
  Rig rig;  // 65535 bytes still fit the DB board's length
  RunDb(rig, DbImage(65535));
  EXPECT_EQ(rig.report.Last(1092), "Complete!");
}

TEST(BoardOptions, ConfigureSetsFaults) {
  emu::SwitcherModel model;
  emu::Boards boards(model);
  std::string error;
  EXPECT_TRUE(boards.Configure("db.nak", "5:2", &error));
  EXPECT_EQ(boards.db().faults.nakByte, 5);
  EXPECT_EQ(boards.db().faults.nakTimes, 2);
  EXPECT_TRUE(boards.Configure("hdbt.late", "3:2500", &error));
  EXPECT_EQ(boards.hdbt().faults.lateBlock, 3);
  EXPECT_EQ(boards.hdbt().faults.lateBy, milliseconds(2500));
  EXPECT_TRUE(boards.Configure("boot.bad-echo", "2", &error));
  EXPECT_EQ(boards.bootloader().faults.badEchoCount, -1);
  EXPECT_FALSE(boards.Configure("db.nak", "five", &error));
  EXPECT_EQ(error, "bad value for board option db.nak: five");
  EXPECT_FALSE(boards.Configure("db.colour", "1", &error));
  EXPECT_EQ(error, "unknown board option: db.colour");
  EXPECT_NE(emu::Boards::OptionsHelp().find("db.wrong-sum="), std::string::npos);
}

}  // namespace
}  // namespace mc::test
