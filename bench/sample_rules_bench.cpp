// The sample rules reshape 3840 bytes of every TK40 block; with the packed
// text they are the only per-byte work of the conversion. One case per mode
// the ModeTable yields; bytes are those read from the block.

#include <benchmark/benchmark.h>

#include <array>
#include <cstddef>
#include <cstdint>

#include "convert/record_file.h"
#include "convert/tk40_convert.h"

namespace {

template <std::size_t (*Convert)(std::uint8_t, const std::uint8_t*, std::uint8_t*)>
void Rules(benchmark::State& state) {
  const auto mode = static_cast<std::uint8_t>(state.range(0));
  std::array<std::uint8_t, zep::tk40::kBlockSize> block{};
  std::uint32_t x = 12345;
  for (auto& b : block) {
    x = x * 1103515245u + 12345u;
    b = static_cast<std::uint8_t>(x >> 16);
  }
  alignas(16) std::array<std::uint8_t, zep::kMaxSampleCount> out{};
  for (auto _ : state) {
    benchmark::DoNotOptimize(Convert(mode, block.data(), out.data()));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(zep::tk40::kSampleBytes));
  state.counters["out_bytes"] = zep::kSampleCountTable[mode];
}
// Rule 1: modes 3, 7; rule 2: mode 4; rule 3: modes 5, 8; rule 4: modes 6, 9;
// rule 5: mode 10; mode 2 is the zero filler of mode code 9. The conversion
// runs the build for the processor in use; the portable one is what any
// other processor gets.
void BM_ConvertSamples(benchmark::State& state) { Rules<zep::tk40::ConvertSamples>(state); }
void BM_ConvertSamplesPortable(benchmark::State& state) { Rules<zep::tk40::ConvertSamplesPortable>(state); }
BENCHMARK(BM_ConvertSamples)->ArgName("mode")->DenseRange(2, 10);
BENCHMARK(BM_ConvertSamplesPortable)->ArgName("mode")->DenseRange(2, 10);

}  // namespace

BENCHMARK_MAIN();
