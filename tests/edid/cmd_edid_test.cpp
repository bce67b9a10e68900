// matrixctl edid decode FILE, run in-process with stdout and stderr captured.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "edid/edid_data.h"
#include "tests/edid/edid_test_image.h"

namespace mc::test {
namespace {

namespace fs = std::filesystem;

struct Outcome {
  int code;
  std::string out;
  std::string err;
};

Outcome Edid(const cli::Args& args) {
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  const int code = cli::CmdEdid(args);
  std::string out = testing::internal::GetCapturedStdout();
  std::string err = testing::internal::GetCapturedStderr();
  return {code, out, err};
}

class CmdEdidTest : public testing::Test {
 protected:
  void SetUp() override {
    // Unique per run: the native and the sanitizer build may run this at once.
    dir_ =
        fs::temp_directory_path() / ("mc-edid-" + std::to_string(std::random_device{}()) + "-" +
                                     testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    const fs::path p = dir_ / name;
    std::ofstream(p, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return p.string();
  }

  fs::path dir_;
};

std::string ReportOf(const std::vector<std::uint8_t>& bytes) {
  EdidData edid;
  edid.Load(bytes.data(), bytes.size());
  std::string r;
  edid.ToText(r);
  return r;
}

TEST_F(CmdEdidTest, DecodesTheFileByteForByte) {
  const auto full = TestImage()
                        .Set(108, Display(0xFC, {'T', 'V', 0x0A, 0xE9, 0x00}))
                        .Cta(8)
                        .Block({0x43, 0x10, 0x04, 0x1F})
                        .Bytes();
  const std::vector<std::uint8_t> image(full.begin(), full.end());
  const std::vector<std::uint8_t> base(full.begin(), full.begin() + 128);
  std::vector<std::uint8_t> longer = image;
  longer.resize(384, 0x02);

  const Outcome whole = Edid({"decode", Write("tv.bin", image)});
  EXPECT_EQ(whole.code, 0);
  EXPECT_EQ(whole.out, ReportOf(image));
  EXPECT_NE(whole.out.find("Monitor name : TV\n\xE9"), std::string::npos);
  EXPECT_EQ(whole.out.substr(whole.out.size() - 2), "\r\n");  // the report's own line end
  EXPECT_EQ(whole.err, "");

  // A lone base block fills a zeroed image: the extension count still says 1,
  // but the zero tag shows no section.
  const Outcome half = Edid({"decode", Write("base.bin", base)});
  EXPECT_EQ(half.code, 0);
  EXPECT_EQ(half.out, ReportOf(base));
  EXPECT_EQ(half.err, "");

  const Outcome more = Edid({"decode", Write("long.bin", longer)});
  EXPECT_EQ(more.code, 0);
  EXPECT_EQ(more.out, whole.out);
  EXPECT_NE(more.err.find("warning"), std::string::npos);
  EXPECT_EQ(std::count(more.err.begin(), more.err.end(), '\n'), 1);
}

TEST_F(CmdEdidTest, FailuresAndUsage) {
  const std::string empty = Write("empty.bin", {});
  struct Case {
    cli::Args args;
    int code;
  };
  const Case cases[] = {
      {{"decode", empty}, 1},
      {{"decode", (dir_ / "missing.bin").string()}, 1},
      {{"decode", dir_.string()}, 1},  // a directory cannot be read
      {{}, 2},
      {{"decode"}, 2},
      {{"decode", empty, "extra"}, 2},
      {{"show", empty}, 2},
  };
  for (const auto& c : cases) {
    const Outcome r = Edid(c.args);
    EXPECT_EQ(r.code, c.code) << testing::PrintToString(c.args);
    EXPECT_EQ(r.out, "") << testing::PrintToString(c.args);
    ASSERT_FALSE(r.err.empty());
    if (c.code == 1) {
      EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    } else {
      EXPECT_NE(r.err.find("usage"), std::string::npos) << r.err;
    }
  }
}

}  // namespace
}  // namespace mc::test
