// The EDID text report on images built in code.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "edid/edid_data.h"
#include "tests/edid/edid_test_image.h"

namespace mc::test {
namespace {

using namespace std::string_literals;

struct Case {
  const char* name;
  TestImage image;
  std::string expected;
};

std::string Repeat(const std::string& s, int n) {
  std::string r;
  for (int i = 0; i < n; ++i) r += s;
  return r;
}

const std::string kVideo = "**********Video Format Support**********\r\n";
const std::string kAudio = "**********Audio Format Support**********\r\n";
const std::string k720 = "Descriptor Block: 1280x720@60Hz\r\n";
const std::string k1080at50 = "Descriptor Block: 1920x1080@50Hz\r\n";
const auto kDtd720 = Dtd(1280, 370, 720);
const auto kDtd1080at50 = Dtd(1920, 720, 1080);

TEST(EdidReport, HeaderAndEmptinessMessagesReplaceTheReport) {
  TestImage ff;
  for (std::size_t i = 0; i < 256; ++i) ff.Set(i, {0xFF});
  TestImage empty;
  for (std::size_t i = 8; i < 254; ++i) empty.Set(i, {0xFF});
  empty.NoSums();
  TestImage empty_tail = empty;
  empty_tail.Set(254, {0x12, 0x34});
  TestImage almost_empty = empty;
  almost_empty.Set(253, {0xFE});

  std::vector<Case> cases = {
      {"all zero", TestImage().Set(0, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), "error edid format"},
      {"all 0xFF", ff, "error EDID format"},
      {"byte 0 tested first", TestImage().Set(0, {0x01, 0x00}), "error EDID format"},
      {"byte 6", TestImage().Set(6, {0xFE, 0xFF}), "error edid format"},
      {"byte 7", TestImage().Set(7, {0x01}), "error EDID format"},
      {"empty", empty, "EDID is empty!"},
      {"empty, bytes 254-255 not looked at", empty_tail, "EDID is empty!"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.image.Report(), c.expected) << c.name;

  // One byte short of empty: a report, here with the note (byte 127 is 0xFF).
  const std::string r = almost_empty.Report();
  EXPECT_EQ(r.substr(0, std::string(kNoteText).size() + 22),
            kNoteText + "Manufacturer ID: ___\r\n"s);
}

TEST(EdidReport, ChecksumNoteComesOnceBeforeTheReport) {
  const std::string ext = k720 + "\r\n"s;
  auto cta = [] { return TestImage().Cta(4).Set(132, kDtd720); };
  std::vector<Case> cases = {
      {"all right, no extension", TestImage(), kBaseText},
      {"all right, extension", cta(), kBaseText + ext},
      {"base wrong", TestImage().BreakBaseSum(), kNoteText + std::string(kBaseText)},
      {"base and extension wrong", cta().BreakBaseSum().BreakExtSum(), kNoteText + kBaseText + ext},
      {"extension wrong", cta().BreakExtSum(), kNoteText + kBaseText + ext},
      {"extension wrong, count 2: no check, no section", cta().Set(126, {2}).BreakExtSum(),
       kBaseText},
      {"extension wrong, count 0", cta().Set(126, {0}).BreakExtSum(), kBaseText},
  };
  for (const auto& c : cases) EXPECT_EQ(c.image.Report(), c.expected) << c.name;
}

TEST(EdidReport, ManufacturerLetters) {
  const std::vector<std::pair<std::array<int, 2>, std::string>> cases = {
      {{0x4C, 0x2D}, "SAM"}, {{0x04, 0x21}, "AAA"},
      {{0x80, 0x00}, "@@@"},  // bit 15 ignored, field 0 shown as 0x40
      {{0x7F, 0xFF}, "___"},  // field 31 shown as 0x5F
      {{0x6F, 0x7B}, "[[["},  // field 27
  };
  for (const auto& [bytes, letters] : cases) {
    const std::string r = TestImage().Set(8, {bytes[0], bytes[1]}).Report();
    EXPECT_EQ(r, "Manufacturer ID: " + letters + "\r\n") << letters;
  }
}

TEST(EdidReport, EstablishedTimingsInTableOrder) {
  const std::string all =
      "\t720x400@70 Hz\r\n\t720x400@88 Hz\r\n\t640x480@60 Hz\r\n\t640x480@67 Hz\r\n"
      "\t640x480@72 Hz\r\n\t640x480@75 Hz\r\n\t800x600@56 Hz\r\n\t800x600@60 Hz\r\n"
      "\t800x600@72 Hz\r\n\t800x600@75 Hz\r\n\t832x624@75 Hz\r\n\t1024x768@87 Hz\r\n"
      "\t1024x768@60 Hz\r\n\t1024x768@70 Hz\r\n\t1024x768@75 Hz\r\n\t1280x1024@75 Hz\r\n"
      "\t1152x870@75 Hz\r\n";
  std::vector<Case> cases = {
      {"all bits", TestImage().Set(35, {0xFF, 0xFF, 0xFF}), kBaseText + all},
      {"low bits of byte 37 ignored", TestImage().Set(37, {0x7F}), kBaseText},
      {"byte 35 bit 5, byte 36 bit 3", TestImage().Set(35, {0x20, 0x08}),
       kBaseText + "\t640x480@60 Hz\r\n\t1024x768@60 Hz\r\n"s},
  };
  for (const auto& c : cases) EXPECT_EQ(c.image.Report(), c.expected) << c.name;
}

TEST(EdidReport, StandardTimings) {
  struct Entry {
    int a, b;
    const char* line;
  };
  const Entry entries[] = {
      {0xD1, 0xC0, "Resolution : 1920 x 1080@60\r\n"},
      {0x81, 0x80, "Resolution : 1280 x 1024@60\r\n"},
      {0x61, 0x40, "Resolution : 1024 x 768@60\r\n"},
      {0xA9, 0x00, "Resolution : 1600 x 1000@60\r\n"},  // 16:10
      {0x8A, 0xC0, "Resolution : 1352 x 761@60\r\n"},   // 760.5, halfway: away from zero
      {0x02, 0xC0, "Resolution : 264 x 149@60\r\n"},    // 148.5 (printf would give 148)
      {0x00, 0x00, "Resolution : 248 x 155@60\r\n"},
      {0x81, 0xBF, "Resolution : 1280 x 1024@123\r\n"},  // refresh 63 + 60
      {0x01, 0x01, ""},
      {0x01, 0xC0, ""},  // 01 xx skipped whatever xx
  };
  for (const auto& e : entries) {
    EXPECT_EQ(TestImage().Set(38, {e.a, e.b}).Report(), kBaseText + std::string(e.line))
        << std::hex << e.a << " " << e.b;
  }
  // Entries in byte order, skipped ones leaving no gap.
  EXPECT_EQ(
      TestImage().Set(38, {0xD1, 0xC0, 0x01, 0x00, 0x81, 0x80}).Set(52, {0x61, 0x40}).Report(),
      kBaseText +
          "Resolution : 1920 x 1080@60\r\nResolution : 1280 x 1024@60\r\n"
          "Resolution : 1024 x 768@60\r\n"s);
}

TEST(EdidReport, Descriptors) {
  const std::string name_bytes = "ABC\n         ";
  const std::string raw_name("\x00\xE9\xFF\x0D\x0A\x7F\x80 \x01\x02\x03\x04\x05", 13);
  std::vector<Case> cases = {
      {"1080p, blanking 280", TestImage().Set(54, Dtd(1920, 280, 1080)),
       "Descriptor Block: 1920x1080@60Hz\r\n"},
      {"1080p, blanking 720", TestImage().Set(54, Dtd(1920, 720, 1080)), k1080at50},
      {"1080i, blanking 280", TestImage().Set(54, Dtd(1920, 280, 540, true)),
       "Descriptor Block: 1080i@60Hz\r\n"},
      {"576p, blanking 144", TestImage().Set(54, Dtd(720, 144, 576)),
       "Descriptor Block: 720x576@50Hz\r\n"},
      {"480p, blanking 138", TestImage().Set(54, Dtd(720, 138, 480)),
       "Descriptor Block: 720x480@60Hz\r\n"},
      {"blanking 700 (high nibble)", TestImage().Set(54, Dtd(3840, 700, 2160)),
       "Descriptor Block: 3840x2160@50Hz\r\n"},
      {"blanking 701", TestImage().Set(54, Dtd(3840, 701, 2160)),
       "Descriptor Block: 3840x2160@60Hz\r\n"},
      {"clock in byte 1 only", TestImage().Set(54, Dtd(640, 160, 480)).Set(54, {0x00, 0x01}),
       "Descriptor Block: 640x480@60Hz\r\n"},
      {"monitor name",
       TestImage().Set(
           54, Display(0xFC, {'A', 'B', 'C', 0x0A, ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '})),
       "Monitor name : " + name_bytes + "\r\n"},
      {"monitor name bytes unchanged",
       TestImage().Set(
           54, Display(0xFC, {0x00, 0xE9, 0xFF, 0x0D, 0x0A, 0x7F, 0x80, ' ', 1, 2, 3, 4, 5})),
       "Monitor name : " + raw_name + "\r\n"},
      {"range limits", TestImage().Set(54, Display(0xFD, {50, 75, 30, 80, 15})), ""},
      {"text", TestImage().Set(54, Display(0xFE, {'X'})), "\r\n"},
      {"serial", TestImage().Set(54, Display(0xFF, {'1'})), "\r\n"},
      {"other tag", TestImage().Set(54, Display(0x10)), ""},
  };
  for (const auto& c : cases) {
    const EdidData edid = c.image.Edid();
    std::string report = "kept";
    EXPECT_EQ(edid.DecodeDescriptor(report, 54), 72u) << c.name;
    EXPECT_EQ(report, "kept" + c.expected) << c.name;
  }

  // The four base-block descriptors in order; without an extension the report
  // ends with the last one's text.
  const auto image = TestImage()
                         .Set(54, Dtd(1920, 280, 1080))
                         .Set(72, Display(0xFD))
                         .Set(90, Display(0xFF, {'1'}))
                         .Set(108, Display(0xFC, {'T', 'V', 0x0A}));
  EXPECT_EQ(image.Report(), kBaseText +
                                "Descriptor Block: 1920x1080@60Hz\r\n\r\nMonitor name : TV\n"s +
                                std::string(10, '\0') + "\r\n");

  // A descriptor that would not fit in the image adds nothing.
  std::string report;
  EXPECT_EQ(TestImage().Edid().DecodeDescriptor(report, 250), 268u);
  EXPECT_EQ(report, "");
}

TEST(EdidReport, ExtensionSectionByTagAndDtdOffset) {
  // Descriptors sit at 128 + d; the data blocks before them are tag-5 filler.
  auto at = [](int d) { return TestImage().Cta(d).Set(128 + d, kDtd1080at50); };
  std::vector<Case> cases = {
      {"byte 126 = 1, not CEA", TestImage().Cta(4).Set(128, {0xF0}).Set(132, kDtd720), ""},
      {"d = 0", TestImage().Cta(0).Set(132, kDtd720), ""},
      {"d = 255", TestImage().Cta(255).Set(132, kDtd720), ""},
      {"d = 1: descriptors from 132", TestImage().Cta(1).Set(132, kDtd720), k720 + "\r\n"s},
      {"d = 4", TestImage().Cta(4).Set(132, kDtd720).Set(150, kDtd1080at50),
       k720 + k1080at50 + "\r\n"s},
      {"d = 5: one block byte", TestImage().Cta(5).Block({0x40}).Set(133, kDtd1080at50),
       kVideo + k1080at50 + "\r\n"s},
      {"d = 100", at(100).PadTo(228), k1080at50 + "\r\n"s},
      {"d = 109: last whole descriptor ends at 254", at(109).PadTo(237), k1080at50 + "\r\n"s},
      {"d = 110: no room for a descriptor", at(110).PadTo(238), "\r\n"},
      {"d = 123: collection up to byte 250",
       TestImage().Cta(123).PadTo(228).Block({0x56}).Set(
           229, std::array<std::uint8_t, 22>{0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10,
                                             0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10,
                                             0x10, 0x10, 0x10, 0x10, 0x10, 0x10}),
       kVideo + Repeat("1920x1080p@59.94(60)Hz\r\n", 22) + "\r\n"},
      {"d = 124: blocks skipped", TestImage().Cta(124).Set(132, kDtd720), k720 + "\r\n"s},
      {"d = 254: blocks skipped", TestImage().Cta(254).Set(132, kDtd720), k720 + "\r\n"s},
  };
  for (const auto& c : cases) EXPECT_EQ(c.image.Tail(), c.expected) << c.name;
}

TEST(EdidReport, DataBlockRunningToByte255EndsTheWalk) {
  // Blocks from byte 234 that would end at 255 (L = 21) or fit (L = 20).
  const std::string before = kVideo + "1920x1080p@59.94(60)Hz\r\n1280x720p@59.94(60)Hz\r\n"s;
  for (int tag = 0; tag <= 4; ++tag) {
    const auto image = TestImage()
                           .Cta(123)
                           .PadTo(230)
                           .Block({0x42, 0x10, 0x04})
                           .PadTo(234)
                           .Block({(tag << 5) | 21})
                           .Keep255();
    EXPECT_EQ(image.Tail(), before + "\r\n") << "tag " << tag;
  }
  // The same positions with room to spare: the walk goes on to the descriptors
  // (none fit after byte 254, so only the closing line follows).
  const auto fits =
      TestImage().Cta(123).PadTo(230).Block({0x42, 0x10, 0x04}).PadTo(234).Block({0x40 | 20});
  EXPECT_EQ(fits.Tail(), before + kVideo + "\r\n");

  // A block that ends at 254 leaves p at 255: no descriptor, closing line.
  const EdidData edid = TestImage().Cta(123).PadTo(234).Block({0x40 | 20}).Edid();
  std::string report;
  EXPECT_EQ(edid.DecodeDataBlocks(report, 234, 17), 255u);
  EXPECT_EQ(edid.DecodeDataBlocks(report, 234, 22), 256u);  // collection past 255
  EXPECT_EQ(edid.DecodeDataBlocks(report, 300, 0), 256u);
  EXPECT_EQ(report, kVideo);
}

TEST(EdidReport, AudioBlocks) {
  struct Sad {
    std::array<int, 3> bytes;
    const char* line;
  };
  const Sad sads[] = {
      {{0x09, 0x07, 0x07}, "LPCM 2 channels "},
      {{0x89, 0x07, 0x07}, "LPCM 2 channels "},  // bit 7 not part of the format
      {{0x0F, 0x07, 0x07}, "LPCM 7.1 channels "},
      {{0x15, 0x07, 0x50}, "Dolby Digital 5.1 channels "},
      {{0x16, 0x07, 0x50}, "Dolby Digital 7 channels "},
      {{0x18, 0x07, 0x50}, "MPEG1(Layers 1 & 2) 1 channels "},
      {{0x21, 0x07, 0x50}, "MP3 2 channels "},
      {{0x2D, 0x07, 0x50}, "MPEG2 5.1 channels "},
      {{0x32, 0x07, 0x50}, "AAC 3 channels "},
      {{0x3D, 0x07, 0xC0}, "DTS 5.1 channels "},
      {{0x43, 0x07, 0xC0}, "ATRAC 4 channels "},
      {{0x4C, 0x07, 0xC0}, "One Bit Audio 5 channels "},
      {{0x57, 0x07, 0x00}, "Dolby Digital + 7.1 channels "},
      {{0x5D, 0x07, 0x01}, "DTS-HD Master 5.1 channels "},
      {{0x59, 0x07, 0x03}, "DTS-HD Master 2 channels "},
      {{0x5F, 0x07, 0x00}, "DTS-HD 7.1 channels "},
      {{0x5E, 0x07, 0xFE}, "DTS-HD 7 channels "},
      {{0x62, 0x07, 0x00}, "Dolby TrueHD 3 channels "},
      {{0x6F, 0x07, 0x00}, "DST 7.1 channels "},
      {{0x70, 0x07, 0x00}, "WMA Pro 1 channels "},
      {{0x7D, 0x07, 0x00}, "Reserved for audio format 15 6 channels  "},
      {{0x7F, 0x07, 0x01}, "Reserved for audio format 15 8 channels  "},
      {{0x00, 0x00, 0x00}, ""},
  };
  for (const auto& s : sads) {
    const auto image = TestImage().Cta(8).Block({0x23, s.bytes[0], s.bytes[1], s.bytes[2]});
    EXPECT_EQ(image.Tail(), kAudio + std::string(s.line) + "\r\n\r\n") << s.line;
  }

  // Format 0 still takes three bytes; two blocks give two headings.
  const auto two = TestImage()
                       .Cta(17)
                       .Block({0x26, 0x00, 0x00, 0x00, 0x09, 0x07, 0x07})
                       .Block({0x23, 0x15, 0x07, 0x50});
  EXPECT_EQ(two.Tail(),
            kAudio + "\r\nLPCM 2 channels \r\n"s + kAudio + "Dolby Digital 5.1 channels \r\n\r\n");
}

TEST(EdidReport, VideoBlocksOneLinePerByte) {
  const auto image =
      TestImage().Cta(13).Block({0x48, 0x90, 0x04, 0x17, 0x00, 0x41, 0x80, 0x8C, 0x0D});
  EXPECT_EQ(image.Tail(), kVideo +
                              "1920x1080p@59.94(60)Hz\r\n1280x720p@59.94(60)Hz\r\n"
                              "720(1440)x288p@50Hz\r\n2880x240p@59.94(60)Hz\r\n"
                              "2880x240p@59.94(60)Hz\r\n\r\n"s);
  const auto ends = TestImage().Cta(8).Block({0x43, 0x01, 0x27, 0x40});
  EXPECT_EQ(ends.Tail(),
            kVideo + "640x480p@59.94(60)Hz\r\n1920x1080i@50Hz\r\n1920x1080p@100Hz\r\n\r\n"s);
}

TEST(EdidReport, SpeakerAllocationAddsOneLinePerThreeBytes) {
  EXPECT_EQ(TestImage().Cta(8).Block({0x83, 0x4F, 0x00, 0x00}).Tail(), "\r\n\r\n");
  EXPECT_EQ(TestImage().Cta(11).Block({0x86, 0x4F, 0, 0, 0x01, 0, 0}).Tail(), "\r\n\r\n\r\n");
}

TEST(EdidReport, VendorBlock) {
  const std::string cec = "CEC Physical Address:1.0.0.0\r\n";
  const std::string sbs_half = "Side-by-Side(Half) with all sub-sampling\r\n";
  const std::string all3d =
      "Frame packing\r\nField alternative\r\nLine alternative\r\nSide-by-Side(Full)\r\n"
      "L + depth\r\nL + depth + graphics + graphics-depth\r\n";
  // HDMI OUI, physical address 1.0.0.0, then the bytes from byte 6 on.
  auto vsdb = [](std::initializer_list<int> rest) {
    TestImage image;
    image.Cta(100).Block({0x60 | static_cast<int>(5 + rest.size()), 0x03, 0x0C, 0x00, 0x10, 0x00});
    image.Block(rest);
    return image;
  };
  std::vector<Case> cases = {
      {"length 5", TestImage().Cta(100).Block({0x65, 0x03, 0x0C, 0x00, 0x20, 0x00}),
       "CEC Physical Address:2.0.0.0\r\n"},
      {"hex digits", TestImage().Cta(100).Block({0x65, 0x03, 0x0C, 0x00, 0xAB, 0xCD}),
       "CEC Physical Address:A.B.C.D\r\n"},
      {"deep colour", vsdb({0x78}),
       cec + "4:4:4 in deep color modes\r\n10-bit-per-channel deep color\r\n"
             "12-bit-per-channel deep color\r\n16-bit-per-channel deep color\r\n"},
      {"deep colour: other bits", vsdb({0x87}), cec},
      // Bytes after the block that would show a 4K line if read as its flags
      // (and that the walk skips as blocks of tags 7 and 0).
      {"length 7: no flags",
       vsdb({0x00, 0x2D}).Block({0xE0, 0xE0, 0xE0, 0xE0, 0xE0, 0xE0, 0xE0, 0x01}), cec},
      {"no HDMI video", vsdb({0x00, 0x2D, 0xC0, 0, 0, 0, 0, 0x40, 0x01}), cec},
      {"two HDMI VICs, no 3D", vsdb({0x00, 0x2D, 0x20, 0x00, 0x40, 0x01, 0x03}),
       cec + "4K x 2K@(29.97)30 Hz\r\n4K x 2K@(23.98)24 Hz\r\n"},
      {"HDMI VICs 0, 2, 4, 5", vsdb({0x00, 0x2D, 0x20, 0x00, 0x80, 0x00, 0x02, 0x04, 0x05}),
       cec + "4K x 2K@25 Hz\r\n4K x 2K@24 Hz(SMPTE)\r\n"},
      {"latency fields: 3D flags at 13, count at 14",
       vsdb({0x00, 0x2D, 0xE0, 1, 2, 3, 4, 0xA0, 0x20, 0x02, 0x01, 0x3F}),
       cec + "4K x 2K@25 Hz\r\n3D Support:\r\n" + sbs_half + all3d},
      {"latency only, 3D multi 2, no VICs", vsdb({0x00, 0x2D, 0xA0, 1, 2, 0xC0, 0x00, 0x00, 0x05}),
       cec + "3D Support:\r\nFrame packing\r\nLine alternative\r\n"},
      {"3D multi 0", vsdb({0x00, 0x2D, 0x20, 0x80, 0x00, 0x01, 0x3F}), cec},
      {"3D multi 1", vsdb({0x00, 0x2D, 0x20, 0xA0, 0x00, 0x01, 0x3F}),
       cec + "3D Support:\r\n" + sbs_half + all3d},
      {"3D multi 2, bits 6-7 not shown", vsdb({0x00, 0x2D, 0x20, 0xC0, 0x00, 0x00, 0xC1}),
       cec + "3D Support:\r\nFrame packing\r\n"},
      {"3D multi 3", vsdb({0x00, 0x2D, 0x20, 0xE0, 0x00, 0x01, 0x3F}), cec},
      {"3D multi 1 but 3D not present", vsdb({0x00, 0x2D, 0x20, 0x20, 0x00, 0x01, 0x3F}), cec},
  };
  for (const auto& c : cases) EXPECT_EQ(c.image.Tail(), c.expected + "\r\n") << c.name;
}

// Fields found by flags or by the three-byte step can point past byte 255:
// decoding stops there, the text so far stays and the section closes.
TEST(EdidReport, FieldsPastTheImageEndTheWalk) {
  const std::string lpcm = kAudio + "LPCM 2 channels \r\n"s;
  std::vector<Case> cases = {
      {"DTS-HD at byte 254: third byte would be 256",
       TestImage().Cta(123).PadTo(250).Block({0x24, 0x09, 0x07, 0x07, 0x5D}), lpcm + "\r\n"},
      {"Dolby Digital at byte 254 needs no third byte",
       TestImage().Cta(123).PadTo(250).Block({0x24, 0x09, 0x07, 0x07, 0x15}),
       lpcm + "Dolby Digital 5.1 channels \r\n\r\n"},
      {"HDMI VIC count past the image",
       TestImage().Cta(123).PadTo(246).Block(
           {0x68, 0x03, 0x0C, 0x00, 0x10, 0x00, 0x08, 0x2D, 0xE0}),
       "CEC Physical Address:1.0.0.0\r\n4:4:4 in deep color modes\r\n\r\n"},
      // Byte 255 (left 0 here) is read as the third of four HDMI VICs.
      {"HDMI VIC past the image",
       TestImage()
           .Cta(123)
           .PadTo(242)
           .Block({0x6C, 0x03, 0x0C, 0x00, 0x10, 0x00, 0x00, 0x2D, 0x20, 0x00, 0x80, 0x01, 0x02})
           .Keep255(),
       "CEC Physical Address:1.0.0.0\r\n4K x 2K@(29.97)30 Hz\r\n4K x 2K@25 Hz\r\n\r\n"},
      {"3D structure past the image",
       TestImage()
           .Cta(123)
           .PadTo(242)
           .Block({0x6C, 0x03, 0x0C, 0x00, 0x10, 0x00, 0x00, 0x2D, 0x20, 0xA0, 0x40, 0x03, 0x01})
           .Keep255(),
       "CEC Physical Address:1.0.0.0\r\n4K x 2K@(23.98)24 Hz\r\n4K x 2K@(29.97)30 Hz\r\n"
       "3D Support:\r\n\r\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.image.Tail(), c.expected) << c.name;

  // A vendor block whose address bytes lie past the image adds nothing.
  const EdidData edid = TestImage().Set(254, {0x60}).Edid();
  std::string report;
  EXPECT_EQ(edid.DecodeDataBlocks(report, 254, 1), 256u);
  EXPECT_EQ(report, "");
}

TEST(EdidData, LoadAndClear) {
  std::array<std::uint8_t, 300> src{};
  for (std::size_t i = 0; i < src.size(); ++i) src[i] = static_cast<std::uint8_t>(i + 1);

  EdidData edid;
  for (std::uint8_t b : edid.image()) ASSERT_EQ(b, 0);
  edid.Load(src.data(), 300);       // at most the image is taken
  EXPECT_EQ(edid.image()[255], 0);  // 256 & 0xFF
  EXPECT_EQ(edid.image()[0], 1);

  std::array<std::uint8_t, 4> four = {9, 9, 9, 9};
  edid.Load(four.data(), four.size());
  EXPECT_EQ(edid.image()[3], 9);
  EXPECT_EQ(edid.image()[4], 5);  // from count on, bytes keep their value

  edid.Clear();
  for (std::uint8_t b : edid.image()) ASSERT_EQ(b, 0);
}

TEST(EdidReport, AppendsToTheCallersText) {
  const EdidData edid = TestImage().Cta(8).Block({0x43, 0x10, 0x04, 0x1F}).Edid();
  std::string once;
  edid.ToText(once);
  std::string running = "Input 1\r\n";
  edid.ToText(running);
  edid.ToText(running);
  EXPECT_EQ(running, "Input 1\r\n" + once + once);
}

}  // namespace
}  // namespace mc::test
