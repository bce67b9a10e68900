// libFuzzer target: the EDID text report over 256-byte images.
//
// The first 256 input bytes are the image (a shorter input fills a zeroed
// image from byte 0). Each image is decoded as it is, and again with a valid
// header and a CEA-861 extension announced, so that random data reaches the
// data block walk. Two further input bytes, when present, drive the data
// block walker and the descriptor decoder from any position.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "edid/edid_data.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // On the heap: a read past the image lands in the allocator's redzone.
  auto edid = std::make_unique<mc::EdidData>();
  edid->Load(data, size);
  std::string report;
  edid->ToText(report);

  std::array<std::uint8_t, mc::EdidData::kSize> image{};
  std::copy_n(data, std::min(size, image.size()), image.begin());
  static constexpr std::uint8_t kHeader[8] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
  std::copy(std::begin(kHeader), std::end(kHeader), image.begin());
  image[126] = 1;
  image[128] = 0x02;
  edid->Load(image.data(), image.size());
  report.clear();
  edid->ToText(report);

  if (size >= mc::EdidData::kSize + 2) {
    const std::size_t start = data[mc::EdidData::kSize];
    const std::size_t length = data[mc::EdidData::kSize + 1];
    report.clear();
    edid->DecodeDataBlocks(report, start, length);
    edid->DecodeDescriptor(report, start);
  }
  return 0;
}
