// The end of the volume: which units lie wholly past it, and how a volume
// learns its size (from the system, or from the first read that meets it).

#include <gtest/gtest.h>

#include <fstream>

#include "disc/aligned_buffer.h"
#include "disc/volume.h"
#include "tests/support/temp_dir.h"

namespace zep {
namespace {

TEST(VolumeEndTest, UnitsBeforeEnd) {
  struct Case {
    const char* what;
    std::int64_t size, firstPos, unitSize, count, expected;
  } cases[] = {
      {"size unknown: every unit", Volume::kUnknownSize, 0, 2048, 7, 7},
      {"all inside", 1 << 20, 0, 2048, 10, 10},
      {"the end cuts a unit: it still counts", 5000, 0, 2048, 10, 3},
      {"the end on a unit's edge", 4096, 0, 2048, 10, 2},
      {"first unit at the end", 4096, 4096, 2048, 10, 0},
      {"first unit far past the end", 1 << 20, std::int64_t{1} << 40, 4096, 2000000000, 0},
      {"count near 2^31 on 1 MB", 1 << 20, 16384, 4096, 2147483647, 252},
      {"a negative position is not past the end", 1 << 20, -8192, 4096, 4, 4},
      {"no units", 1 << 20, 0, 2048, 0, 0},
      {"negative count", 1 << 20, 0, 2048, -5, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(UnitsBeforeEnd(c.size, c.firstPos, c.unitSize, c.count), c.expected) << c.what;
  }
}

TEST(VolumeEndTest, AnImageKnowsItsSizeAtOnce) {
  test::TempDir tmp;
  const std::string path = tmp.File("cut.img");
  std::ofstream(path, std::ios::binary) << std::string(10000, 'x');
  VolumeOpenResult opened = OpenDiscVolume(path);
  ASSERT_TRUE(opened.volume) << opened.error;
  EXPECT_EQ(opened.volume->Size(), 10000);
  AlignedBuffer buf(4096);
  const ReadResult r = opened.volume->ReadAt(8192, buf.span());
  EXPECT_TRUE(r.ok());
  EXPECT_EQ(r.bytes, 10000u - 8192u);
  EXPECT_EQ(opened.volume->Size(), 10000);
}

}  // namespace
}  // namespace zep
