// The sample rules run in a build for the processor in use where there is
// one; it must give the bytes of the portable build for every mode, on
// blocks of all zeros, all ones and random bytes.

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <random>

#include "convert/record_file.h"
#include "convert/tk40_convert.h"

namespace zep::tk40 {
namespace {

TEST(SampleRules, ProcessorBuildGivesThePortableBytes) {
  std::mt19937 random(20081105);
  std::array<std::uint8_t, kBlockSize> block{};
  for (int round = 0; round < 40; ++round) {
    for (auto& b : block) b = round == 0 ? 0x00 : round == 1 ? 0xFF : static_cast<std::uint8_t>(random());
    for (int mode = 0; mode < 16; ++mode) {
      // Filled alike beforehand, so bytes past the samples must also agree.
      std::array<std::uint8_t, kMaxSampleCount> fast, portable;
      fast.fill(0xA5);
      portable.fill(0xA5);
      const std::size_t n = ConvertSamples(static_cast<std::uint8_t>(mode), block.data(), fast.data());
      EXPECT_EQ(n, ConvertSamplesPortable(static_cast<std::uint8_t>(mode), block.data(), portable.data()));
      EXPECT_EQ(fast, portable) << "mode " << mode << ", round " << round;
    }
  }
}

}  // namespace
}  // namespace zep::tk40
