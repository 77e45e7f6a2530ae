// GNU ddrescue mapfiles: malformed ones are refused naming file and line, and
// under a map every read that touches a byte not rescued fails.

#include <gtest/gtest.h>

#include <memory>

#include "disc/aligned_buffer.h"
#include "disc/rescue_map.h"
#include "tests/support/fake_volume.h"

namespace zep {
namespace {

constexpr const char* kHead = "# Mapfile. Created by GNU ddrescue version 1.27\n# current_pos  current_status  current_pass\n"
                              "0x00000000     +               1\n#      pos        size  status\n";

TEST(RescueMapTest, MalformedMapsNameFileAndLine) {
  using namespace std::literals;
  struct Case {
    std::string_view text;
    const char* error;  // the whole message
  } cases[] = {
      {""sv, "m.map: no \"pos size status\" lines: not a ddrescue mapfile"},
      {"hello world, this is text\n", "m.map:1: expected the current position line \"pos status [pass]\", found "
                                      "\"hello world, this is text\": not a ddrescue mapfile"},
      {"0 +\n0 0x800 +\n0x800 0x800 x\n", "m.map:3: status \"x\" is none of ? * / - +"},
      {"0 +\n0 0x800 +\n0x900 0x800 -\n",
       "m.map:3: the block at 0x900 does not start where the one before ends (0x800)"},
      {"0 +\n0 0 +\n", "m.map:2: a block of size 0"},
      {"0 +\n0 0x1g +\n", "m.map:2: \"0x1g\" is not a number"},
      {"0 +\n0 0800 +\n", "m.map:2: \"0800\" starts with 0, which ddrescue reads as octal; write it in decimal or 0x hex"},
      {"0 +\n1 0x7FFFFFFFFFFFFFFF +\n", "m.map:2: the block ends past 2^63"},
      {"0 +\n0 1\0 +\n"sv, "m.map:2: a zero byte: not a ddrescue mapfile"},
  };
  for (const Case& c : cases) {
    const RescueMapLoad load = ParseRescueMap(c.text, "m.map");
    EXPECT_FALSE(load.map) << c.text;
    EXPECT_EQ(load.error, c.error) << c.text;
  }
}

TEST(RescueMapTest, ReadsTouchingBytesNotRescuedFail) {
  // 8 sectors of 2048: 2 and 3 bad, 6 non-tried, 7 bad and, as ddrescue
  // leaves it, missing from the image.
  const std::string text = std::string(kHead) +
                           "0x00000000  0x00001000  +  # annotated\n0x1000 4096 -\n0x2000 0x1000 +\n0x3000 0x800 ?\n"
                           "0x3800 0x800 -\n";
  const RescueMapLoad load = ParseRescueMap(text, "m.map");
  ASSERT_TRUE(load.map) << load.error;
  auto image = std::make_unique<test::MemoryVolume>(std::vector<std::uint8_t>(7 * 2048, 0xAB));
  image->KnowSize(test::MemoryVolume::SizeKnown::FromStart);
  EXPECT_EQ(RescueMapMismatch(*load.map, *image), "");
  auto volume = VolumeUnderMap(std::move(image), std::make_shared<RescueMap>(*load.map));
  struct Case {
    std::int64_t sector, sectors;
    bool ok;
  } cases[] = {{0, 2, true}, {1, 2, false}, {3, 1, false}, {4, 2, true}, {5, 2, false}, {7, 1, false}, {8, 1, true}};
  AlignedBuffer buf(4 * 2048);
  for (const Case& c : cases) {
    const ReadResult r = volume->ReadAt(c.sector * 2048, buf.span().first(static_cast<std::size_t>(c.sectors) * 2048));
    EXPECT_EQ(r.ok(), c.ok) << "sector " << c.sector << ": " << r.error;
  }
  EXPECT_EQ(volume->ReadAt(2 * 2048, buf.span().first(2048)).error, "m.map marks bytes 4096 to 8191 '-' (not rescued)");
  EXPECT_EQ(volume->Size(), 8 * 2048);
}

}  // namespace
}  // namespace zep
