// Board file rules, the Intel HEX conversion and the image read at Start.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "firmware/firmware_files.h"
#include "fw_rig.h"

namespace mc::test {
namespace {

TEST(FirmwareName, RulesOfEachBoard) {
  struct Case {
    Board board;
    const char* path;
    bool ok;
  } cases[] = {
      {Board::kMain, "C:\\Docs\\Orvane\\K700-K720.8x8.01.00.16.hex", true},
      {Board::kMain, "C:\\8x8\\firmware.hex", true},               // "8x8" only in a folder
      {Board::kMain, "C:\\Cabinet\\K700-K720.8x8.01.hex", false},  // "bin" in a folder
      {Board::kMain, "C:\\Orvane\\K700-K720.8x8.BIN", false},
      {Board::kMain, "C:\\Orvane\\K700-K720.8X8.hex", false},  // case-sensitive
      {Board::kDb, "C:\\Orvane\\K700-K720-DB.8x8.01.bin", true},
      {Board::kDb, "C:\\Orvane\\720-470-TX-GRDX_3090C.bin", true},
      {Board::kDb, "C:\\Orvane\\K700-K720-DB.8x8.hex", false},
      {Board::kDb, "C:\\Orvane\\K700-K720.8x8.bin", false},
      {Board::kHdbt, "C:\\Orvane\\720-470-TX-GRDX_3090C.hex", true},
      {Board::kHdbt, "C:\\Orvane\\x_Tavlen_HDBaseT_470_Source.hex", true},
      {Board::kHdbt, "C:\\Orvane\\720-470-TX-GRDX_3090C.bin", false},
      {Board::kHdbt, "C:\\Orvane\\720-470-TX-GRDx_3090C.hex", false},
  };
  for (const Case& c : cases) {
    const char* error = CheckFirmwareName(c.board, c.path);
    EXPECT_EQ(error == nullptr, c.ok) << c.path;
    if (!c.ok && error) {
      EXPECT_STREQ(error, "Error Format!");
    }
  }
  EXPECT_STREQ(CheckFirmwareName(Board::kMain, "C:\\8x8\\" + std::string(250, 'a')),
               "Error Format!");  // longer than FirmwarePath holds
}

TEST(FirmwareName, HdbtContentAndSizeRules) {
  const std::string path = "C:\\Orvane\\720-470-TX-GRDX_3090C.hex";
  std::vector<std::uint8_t> head(100, ':');
  auto check = [&](long long length) {
    return CheckFirmwareFile(Board::kHdbt, path, head, length);
  };

  const LoadFileResult ok = check(240000);
  EXPECT_TRUE(ok.accepted);
  EXPECT_EQ(ok.sizeText, "240000 byte.");
  EXPECT_EQ(ok.pathField, 1097);
  EXPECT_EQ(ok.enable, (std::vector<int>{1193}));
  EXPECT_EQ(ok.disable, (std::vector<int>{1130, 1088, 1196}));
  EXPECT_EQ(check(240001).message, "File fromat error!");

  for (const char* marker : {".bin", ".BIN"}) {
    std::copy(marker, marker + 4, head.begin() + 96);
    EXPECT_EQ(check(1000).message, "File fromat error!") << marker;
    head.assign(100, ':');
  }
  // Only the first 100 bytes are looked at.
  head.assign(104, ':');
  std::copy_n(".bin", 4, head.begin() + 100);
  EXPECT_TRUE(check(1000).accepted);
}

// ---- Conversion rules --------------------------------------------------------

// A HEX text padded with blanks after its end record so that the image
// buffer (the file's size) holds `size` bytes.
FirmwareImage ImageOf(const std::string& text, std::size_t size = 0) {
  FirmwareImage image;
  image.ImageBuffer = Bytes(text);
  if (image.ImageBuffer.size() < size) image.ImageBuffer.resize(size, ' ');
  image.ImageLength = static_cast<std::int32_t>(image.ImageBuffer.size());
  return image;
}

TEST(ConvertHex, VariantRulesAndBounds) {
  const auto d16 = Pattern(16);
  struct Case {
    const char* name;
    HexVariant variant;
    std::string text;
    std::size_t size;
    bool ok;
    std::int32_t length;
    std::size_t at;  // where d16 must be (if ok and length > at)
  } cases[] = {
      {"plain", HexVariant::kMain, HexData(0x20, d16) + HexEnd(), 0, true, 0x30, 0x20},
      {"no end record", HexVariant::kMain, HexData(0x20, d16), 0, false, 0, 0},
      {"main keeps 0xFFF0", HexVariant::kMain, HexData(0xFFF0, d16) + HexEnd(), 0x10000, true,
       0x10000, 0xFFF0},
      {"main drops 0xFFF8", HexVariant::kMain,
       HexData(0, d16) + HexRecord(0, 0xFFF8, {1, 2}) + HexEnd(), 0x10000, true, 16, 0},
      {"linear base", HexVariant::kMain, HexLinear(1) + HexData(0x10, d16) + HexEnd(), 0x10020,
       true, 0x10020, 0x10010},
      {"segment base", HexVariant::kMain, HexSegment(0x100) + HexData(0x10, d16) + HexEnd(), 0x1020,
       true, 0x1020, 0x1010},
      {"base set anew", HexVariant::kMain,
       HexLinear(1) + HexSegment(0x10) + HexData(0, d16) + HexEnd(), 0x110, true, 0x110, 0x100},
      {"db keeps 0xEFFF at base 0x10000", HexVariant::kDb,
       HexLinear(1) + HexData(0xEFFF, d16) + HexEnd(), 0x20000, true, 0x1F00F, 0x1EFFF},
      {"db drops 0xF000 at base 0x10000", HexVariant::kDb,
       HexData(0, d16) + HexLinear(1) + HexData(0xF000, d16) + HexEnd(), 0x20000, true, 16, 0},
      {"db keeps 0xF000 at base 0", HexVariant::kDb, HexData(0xF000, d16) + HexEnd(), 0x10000, true,
       0xF010, 0xF000},
      {"hdbt vector block", HexVariant::kHdbt,
       HexData(0, d16) + HexLinear(1) + HexData(0xFF80, d16) + HexEnd(), 0, true, 16, 0},
      // Stores that would leave the buffer or the vector block fail.
      {"past the buffer", HexVariant::kMain, HexLinear(1) + HexData(0, d16) + HexEnd(), 0, false, 0,
       0},
      {"hdbt below the vector block", HexVariant::kHdbt,
       HexLinear(1) + HexData(0xF000, d16) + HexEnd(), 0, false, 0, 0},
      {"hdbt past the vector block", HexVariant::kHdbt,
       HexLinear(1) + HexRecord(0, 0xFFF8, Pattern(16)) + HexEnd(), 0, false, 0, 0},
      {"count longer than the record", HexVariant::kMain, ":10000000AABB\r\n" + HexEnd(), 0, false,
       0, 0},
      {"bad hex digit", HexVariant::kMain, ":0200000012G4E8\r\n" + HexEnd(), 0, false, 0, 0},
      // Records separated by any white space: LF-only lines, blank lines,
      // leading blanks.
      {"lf only and blanks", HexVariant::kMain,
       "\n  :10002000" + std::string(HexData(0x20, d16)).substr(9, 34) + "\n\n" + HexEnd(), 0, true,
       0x30, 0x20},
      {"other types ignored", HexVariant::kMain,
       HexRecord(5, 0, {0, 0, 1, 0}) + HexRecord(3, 0, {0, 0, 1, 0}) + HexData(0, d16) + HexEnd(),
       0, true, 16, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FirmwareImage image = ImageOf(c.text, c.size);
    ASSERT_EQ(ConvertHexImage(c.variant, image), c.ok);
    if (!c.ok) continue;
    EXPECT_EQ(image.ImageLength, c.length);
    ASSERT_GE(image.ImageBuffer.size(), c.at + 16);
    EXPECT_TRUE(std::equal(d16.begin(), d16.end(), image.ImageBuffer.begin() + c.at));
  }
}

TEST(ConvertHex, HdbtVectorBlock) {
  const auto d16 = Pattern(16, 7);
  FirmwareImage image =
      ImageOf(HexData(0, Pattern(32)) + HexLinear(2) + HexData(0xFF80, d16) + HexEnd());
  ASSERT_TRUE(ConvertHexImage(HexVariant::kHdbt, image));
  EXPECT_EQ(image.ImageLength, 32);
  EXPECT_EQ(image.VectorBlockUsed, 128u);
  EXPECT_TRUE(std::equal(d16.begin(), d16.end(), image.VectorBlock.begin()));
  EXPECT_EQ(image.VectorBlock[16], 0xFF);

  FirmwareImage none = ImageOf(HexData(0, Pattern(32)) + HexEnd());
  ASSERT_TRUE(ConvertHexImage(HexVariant::kHdbt, none));
  EXPECT_EQ(none.VectorBlockUsed, 0u);
}

// ---- Agreement with srec_cat ---------------------------------------------------

std::vector<std::uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(ConvertHex, AgreesWithSrecCat) {
  if (std::system("command -v srec_cat >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "srec_cat (Debian package srecord) is not installed";
  }
  // Files the variant rules do not touch: offsets below 0xE000 and no
  // records at the top of a segment.
  const std::vector<std::string> files = {
      HexData(0, Pattern(0x3000, 1)) + HexData(0x4000, Pattern(0x800, 2), 32) + HexEnd(),
      HexData(0, Pattern(0x6000, 3)) + HexLinear(1) + HexData(0x100, Pattern(0x100, 4)) +
          HexLinear(0) + HexData(0x6000, Pattern(0x40, 5)) + HexEnd(),
      HexSegment(0x0400) + HexData(0, Pattern(0x5000, 6), 20) + HexSegment(0) +
          HexData(0x10, Pattern(0x30, 7)) + HexSegment(0x0A00) + HexData(0x20, Pattern(0x8, 8)) +
          HexEnd(),
  };
  for (std::size_t i = 0; i < files.size(); ++i) {
    for (HexVariant variant : {HexVariant::kMain, HexVariant::kDb, HexVariant::kHdbt}) {
      SCOPED_TRACE("file " + std::to_string(i) + " variant " +
                   std::to_string(static_cast<int>(variant)));
      FirmwareImage image = ImageOf(files[i]);
      ASSERT_TRUE(ConvertHexImage(variant, image));
      const std::string in = WriteTempFile("agree" + std::to_string(i) + ".hex", Bytes(files[i]));
      const std::string out = in + ".bin";
      std::string cmd = "srec_cat -disable-sequence-warnings ";
      cmd += in;
      cmd += " -Intel -fill 0x00 0 ";
      cmd += std::to_string(image.ImageLength);
      cmd += " -o ";
      cmd += out;
      cmd += " -Binary";
      ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
      EXPECT_EQ(ReadAll(out),
                std::vector<std::uint8_t>(image.Bytes().begin(), image.Bytes().end()));
    }
  }
}

// ---- The image read at Start ----------------------------------------------------

TEST(MakeFirmwareImage, SmallEmptyAndRawFiles) {
  struct Case {
    const char* name;
    Board board;
    std::vector<std::uint8_t> file;
    bool ok;
  } cases[] = {
      {"256 bytes leave no image", Board::kMain, Pattern(256), false},
      {"257 raw bytes are the image", Board::kMain, Pattern(257, 2), true},
      {"raw db image", Board::kDb, Pattern(300, 3), true},
      {"hdbt is always converted", Board::kHdbt, Bytes(std::string(300, 'x')), false},
      {"end record only", Board::kDb, Bytes(HexEnd() + std::string(300, ' ')), false},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (!c.file.empty() && c.file[0] == ':' && c.ok) c.file[0] = 0;
    const auto copy = c.file;
    FirmwareImage image;
    std::string message;
    EXPECT_EQ(MakeFirmwareImage(c.board, c.file, image, &message), c.ok);
    if (c.ok) {
      EXPECT_EQ(std::vector<std::uint8_t>(image.Bytes().begin(), image.Bytes().end()), copy);
    } else {
      EXPECT_EQ(message, "Fail to convert the input from hex to bin!");
      EXPECT_FALSE(image.HasImage());
    }
  }
}

TEST(ReadFirmwareImage, ReportsOnTheBoardsStatusLine) {
  Rig rig;
  rig.loader.FirmwarePath = (std::filesystem::path(testing::TempDir()) / "missing.hex").string();
  EXPECT_FALSE(rig.loader.ReadFirmwareImage(Board::kDb));
  EXPECT_EQ(rig.report.Last(1092), "Please load file first!");

  rig.UseFile("conv.hex", Bytes(HexData(0, Pattern(100)) + HexEnd()));
  ASSERT_TRUE(rig.loader.ReadFirmwareImage(Board::kHdbt));
  EXPECT_EQ(rig.loader.Image.ImageLength, 100);
  EXPECT_EQ(rig.report.Last(1090),
            std::to_string(std::filesystem::file_size(rig.loader.FirmwarePath)) + " byte.");

  rig.UseFile("noend.hex", Bytes(HexData(0, Pattern(100))));
  EXPECT_FALSE(rig.loader.ReadFirmwareImage(Board::kMain));
  EXPECT_EQ(rig.report.Last(1091), "Fail to convert the input from hex to bin!");
  EXPECT_FALSE(rig.loader.Image.HasImage());
}

}  // namespace
}  // namespace mc::test
