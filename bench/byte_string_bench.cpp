// The viewer writes every sample of a record once per level of its pyramid
// as a string of bytes; these cases show the encoder's speed on a chunk of
// level 0 (512 pings of 1280 samples) of weak echoes only, which need no
// escape, and of values spread over every byte, of which one in 64 does.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "export/viewer_parts.h"

namespace {

std::vector<std::uint8_t> Chunk(int top) {
  std::mt19937 random(7);
  std::uniform_int_distribution<int> value(0, top);
  std::vector<std::uint8_t> bytes(512 * 1280);
  for (std::uint8_t& b : bytes) b = static_cast<std::uint8_t>(value(random));
  return bytes;
}

template <zep::viewer::ByteStringBuild kBuild>
void BM_ByteString(benchmark::State& state) {
  if (!zep::viewer::ProcessorRuns(kBuild)) return state.SkipWithError("the processor lacks its instructions");
  const std::vector<std::uint8_t> bytes = Chunk(static_cast<int>(state.range(0)));
  std::string text;
  for (auto _ : state) {
    text.clear();
    zep::viewer::AppendByteStringBuilt(kBuild, text, bytes.data(), bytes.size());
    benchmark::DoNotOptimize(text.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes.size()));
}

using zep::viewer::ByteStringBuild;
BENCHMARK(BM_ByteString<ByteStringBuild::kAvx512>)->ArgName("top")->Arg(127)->Arg(255);
BENCHMARK(BM_ByteString<ByteStringBuild::kSsse3>)->ArgName("top")->Arg(127)->Arg(255);
BENCHMARK(BM_ByteString<ByteStringBuild::kPortable>)->ArgName("top")->Arg(127)->Arg(255);

}  // namespace

BENCHMARK_MAIN();
