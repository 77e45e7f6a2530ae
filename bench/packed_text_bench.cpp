// The packed GPS text decoder runs once for every TK40 block that carries
// text; these cases show its cost per block for the texts that occur.

#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "convert/packed_text.h"
#include "tests/support/packed_text_encoder.h"

namespace {

std::array<std::uint8_t, 64> Pack(const std::string& text) {
  const auto area = zep::test::EncodePackedText(text);
  if (!area) throw std::invalid_argument("not encodable: " + text);
  return *area;
}

void Decode(benchmark::State& state, const std::array<std::uint8_t, 64>& area) {
  std::array<std::uint8_t, 64> out{};
  for (auto _ : state) {
    benchmark::DoNotOptimize(zep::DecodePackedText(out.data(), area.data()));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(area.size()));
}

// What the recorder stores most: a position sentence, digits and commas as
// symbol groups, the hemisphere letters as one-character literal runs.
void BM_DecodeSentence(benchmark::State& state) {
  Decode(state, Pack("$GPGLL,5412.3660,N,01023.4720,E,091500,A"));
}
BENCHMARK(BM_DecodeSentence);

// 64 alphabet characters: the longest text, in groups of 14.
void BM_DecodeFullSymbols(benchmark::State& state) {
  Decode(state, Pack(std::string(64, '7').replace(10, 3, "$GP")));
}
BENCHMARK(BM_DecodeFullSymbols);

// Letters only: one long literal run, two nibbles per character.
void BM_DecodeLiteralRun(benchmark::State& state) { Decode(state, Pack("ABCDEFGHIJKMNOQRSTUVWXYZabcdefg")); }
BENCHMARK(BM_DecodeLiteralRun);

void BM_DecodeEmpty(benchmark::State& state) { Decode(state, Pack("")); }
BENCHMARK(BM_DecodeEmpty);

}  // namespace

BENCHMARK_MAIN();
