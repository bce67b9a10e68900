// The report over the real-world EDIDs of the shared corpus: golden reports
// for a few, and every image decoded (under the sanitizers in that build).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "edid/edid_data.h"

namespace mc {
namespace {

namespace fs = std::filesystem;

const fs::path kCorpus = fs::path(MC_SHARED_DIR) / "edid-corpus";

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string ReportOfFile(const fs::path& p) {
  const std::string bytes = ReadFile(p);
  // On the heap, so that a read past the image also lands in a redzone.
  auto edid = std::make_unique<EdidData>();
  edid->Load(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  std::string report;
  edid->ToText(report);
  return report;
}

// Golden reports under tests/edid/golden/, named after the corpus file.
struct Golden {
  const char* corpus;  // path inside the corpus
  const char* what;
};

const std::vector<Golden> kGolden = {
    {"hdmi/ed-samsung-ue48ju7090-hdmi.bin",
     "TV: audio, speakers, two vendor blocks, deep colour, four 4K x 2K, 3D multi 2, "
     "interlaced DTD"},
    {"hdmi/lhw-hdmi-many-sads-DON004B-3DDE24.bin",
     "receiver: eight SADs with DTS-HD Master and .1 counts, physical address 1.3.0.0"},
    {"malformed/lhw-bad-cea-checksum-GSM5867-25CDBA.bin",
     "wrong extension checksum: the note first, then the whole report"},
    {"padded-128/ed-dell-2408wfp-dp-pad-00.bin", "PC monitor without extension"},
    {"no-cta/ed-apple-macbookpro-16inch-2019.bin", "DisplayID extension: no section"},
    {"malformed/ed-planar-ix2790-trunc384to256.bin", "extension count 2: no section"},
};

TEST(EdidCorpus, GoldenReports) {
  if (!fs::is_directory(kCorpus)) GTEST_SKIP() << "no EDID corpus at " << kCorpus;
  for (const auto& g : kGolden) {
    const fs::path edid = kCorpus / g.corpus;
    const fs::path golden = fs::path(MC_GOLDEN_DIR) / (edid.stem().string() + ".txt");
    if (!fs::exists(edid)) {
      ADD_FAILURE() << "corpus file missing: " << edid;
      continue;
    }
    ASSERT_TRUE(fs::exists(golden)) << golden;
    EXPECT_EQ(ReportOfFile(edid), ReadFile(golden)) << g.corpus << " (" << g.what << ")";
  }
}

// Each image as it is, and with every DTD offset, so that the data block walk
// also starts and ends at every position over real block contents.
TEST(EdidCorpus, EveryImageDecodes) {
  if (!fs::is_directory(kCorpus)) GTEST_SKIP() << "no EDID corpus at " << kCorpus;
  std::size_t count = 0;
  for (const auto& entry : fs::recursive_directory_iterator(kCorpus)) {
    if (!entry.is_regular_file() || entry.path().extension() != ".bin") continue;
    ++count;
    const std::string bytes = ReadFile(entry.path());
    auto edid = std::make_unique<EdidData>();
    edid->Load(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    std::string report = "before";
    edid->ToText(report);
    EXPECT_GT(report.size(), 6u) << entry.path();
    EXPECT_EQ(report.compare(0, 6, "before"), 0) << entry.path();

    std::array<std::uint8_t, EdidData::kSize> image;
    std::copy(edid->image().begin(), edid->image().end(), image.begin());
    image[126] = 1;
    image[128] = 0x02;
    for (int d = 0; d < 256; ++d) {
      image[130] = static_cast<std::uint8_t>(d);
      edid->Load(image.data(), image.size());
      report.clear();
      edid->ToText(report);
    }
  }
  EXPECT_GT(count, 0u);
}

}  // namespace
}  // namespace mc
