// Speed of the Intel HEX conversion on a 240,000-byte file, the largest
// HDBaseT file the firmware dialog accepts.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "firmware/firmware_files.h"

namespace {

std::string Record(int type, unsigned offset, const std::uint8_t* data, unsigned n) {
  unsigned sum = n + (offset >> 8) + (offset & 0xFF) + static_cast<unsigned>(type);
  char field[16];
  std::snprintf(field, sizeof field, ":%02X%04X%02X", n, offset & 0xFFFF, type);
  std::string s = field;
  for (unsigned i = 0; i < n; ++i) {
    std::snprintf(field, sizeof field, "%02X", data[i]);
    s += field;
    sum += data[i];
  }
  std::snprintf(field, sizeof field, "%02X\r\n", (0x100 - (sum & 0xFF)) & 0xFF);
  return s + field;
}

// Data records of 16 bytes from address 0 until the file is 240,000 bytes
// (padded after the end record).
std::string MakeHexFile(std::size_t size) {
  std::string text;
  std::uint8_t data[16];
  unsigned offset = 0;
  while (text.size() + 45 + 13 < size && offset < 0xF000) {
    for (unsigned i = 0; i < 16; ++i) data[i] = static_cast<std::uint8_t>(offset * 13 + i);
    text += Record(0, offset, data, 16);
    offset += 16;
  }
  // Past 0xF000, go on in the next segment.
  const std::uint8_t upper[2] = {0x00, 0x01};
  if (text.size() + 45 + 13 < size) text += Record(4, 0, upper, 2);
  offset = 0;
  while (text.size() + 45 + 13 < size) {
    for (unsigned i = 0; i < 16; ++i) data[i] = static_cast<std::uint8_t>(offset * 7 + i);
    text += Record(0, offset, data, 16);
    offset += 16;
  }
  text += ":00000001FF\r\n";
  text.resize(size, ' ');
  return text;
}

void BM_ConvertHexImage(benchmark::State& state) {
  const std::string text = MakeHexFile(240000);
  const auto variant = static_cast<mc::HexVariant>(state.range(0));
  for (auto _ : state) {
    mc::FirmwareImage image;
    image.ImageBuffer.assign(text.begin(), text.end());
    image.ImageLength = static_cast<std::int32_t>(text.size());
    if (!mc::ConvertHexImage(variant, image)) state.SkipWithError("conversion failed");
    benchmark::DoNotOptimize(image.ImageBuffer.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(text.size()));
  state.SetLabel("240000-byte HEX file");
}
BENCHMARK(BM_ConvertHexImage)->Arg(0)->Arg(1)->Arg(2)->ArgName("variant");

}  // namespace
