// Reports per second over the shared EDID corpus (one ToText per image).
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "edid/edid_data.h"

namespace {

namespace fs = std::filesystem;

std::vector<mc::EdidData> LoadCorpus() {
  std::vector<mc::EdidData> images;
  const fs::path corpus = fs::path(MC_SHARED_DIR) / "edid-corpus";
  if (!fs::is_directory(corpus)) return images;
  for (const auto& entry : fs::recursive_directory_iterator(corpus)) {
    if (!entry.is_regular_file() || entry.path().extension() != ".bin") continue;
    std::ifstream in(entry.path(), std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    images.emplace_back();
    images.back().Load(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  }
  return images;
}

void BM_EdidReport(benchmark::State& state) {
  static const std::vector<mc::EdidData> images = LoadCorpus();
  if (images.empty()) {
    state.SkipWithError("no EDID corpus under MC_SHARED_DIR");
    return;
  }
  std::string report;
  report.reserve(4096);
  std::size_t i = 0;
  std::size_t bytes = 0;
  for (auto _ : state) {
    report.clear();
    images[i].ToText(report);
    benchmark::DoNotOptimize(report.data());
    bytes += report.size();
    if (++i == images.size()) i = 0;
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
  state.counters["reports/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["images"] = static_cast<double>(images.size());
}
BENCHMARK(BM_EdidReport);

}  // namespace
