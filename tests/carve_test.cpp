// Carving: a disc whose directory is gone gives back its records' pings byte
// for byte, and nothing that merely contains "VORL" starts a run.

#include <gtest/gtest.h>

#include <map>

#include "convert/carve.h"
#include "convert/record_file.h"
#include "tests/support/disc_image.h"
#include "tests/support/fake_volume.h"
#include "tests/support/record_check.h"
#include "tests/support/temp_dir.h"

namespace zep {
namespace {

using Bytes = std::vector<std::uint8_t>;

// count pings cycling through the given modes, numbered from first.
Bytes Pings(std::uint32_t first, int count, std::vector<std::uint8_t> modes) {
  Bytes out;
  for (int i = 0; i < count; ++i) {
    const std::uint8_t mode = modes[static_cast<std::size_t>(i) % modes.size()];
    const Bytes p = test::MakePingRecord(kSampleCountTable[mode], first + static_cast<std::uint32_t>(i), mode);
    out.insert(out.end(), p.begin(), p.end());
  }
  return out;
}

// What CarveRuns wrote, each file walked whole, keyed by name.
std::map<std::string, Bytes> Carved(const CarveResult& r) {
  std::map<std::string, Bytes> files;
  for (const CarvedFile& f : r.files) files[CarvedFileName(f.offset)] = test::WalkWhole(f.path).bytes;
  return files;
}

Bytes RecordFile(const Bytes& pings) {
  Bytes file(kFileHeaderSize, 0);
  file.insert(file.end(), pings.begin(), pings.end());
  return file;
}

TEST(CarveTest, ZeroedDirectoryGivesBackEveryRecordsPingsByteForByte) {
  test::DiscImage img(SourceType::ZepV1);
  // A header that would pass every check, twice over, inside sample bytes and
  // in a record's lead sectors: the first is walked over, the second is one
  // record alone and no run.
  Bytes decoy = Pings(7, 2, {0});
  Bytes second = Pings(0, 30, {4, 10, 0, 11});
  std::copy(decoy.begin(), decoy.end(), second.begin() + 256 + 10);
  const struct {
    std::int32_t first;
    Bytes pings;
  } records[] = {{20, Pings(0, 50, {3})}, {80, second}, {200, Pings(0, 9, {12, 6})}};
  int slot = 0;
  for (const auto& r : records) {
    const auto sectors = static_cast<std::int32_t>(2 + (r.pings.size() + 2047) / 2048);
    img.Entry(slot++, {.name = "R", .first = r.first, .second = sectors});
    img.Bytes(ZepSectorOffset(r.first), Pings(3, 1, {5}));
    img.Bytes(ZepSectorOffset(r.first + 2), r.pings);
  }
  img.Resize(static_cast<std::size_t>(ZepSectorOffset(260))).Bytes(0, Bytes(kDirectorySize, 0));

  test::TempDir tmp;
  test::MemoryVolume volume(img.bytes());
  const CarveResult r = CarveRuns(volume, {.outDir = tmp.path().string()});
  std::map<std::string, Bytes> expected;
  for (const auto& rec : records) expected[CarvedFileName(ZepSectorOffset(rec.first + 2))] = RecordFile(rec.pings);
  EXPECT_EQ(Carved(r), expected);
  EXPECT_TRUE(r.failures.empty());
  EXPECT_EQ(r.bytesRead, img.bytes().size());
}

// Stray headers between runs: each case puts its bytes at an odd offset in
// noise; only two records that pass every check and count up start a run.
TEST(CarveTest, OnlyTwoCheckedRecordsInARowStartARun) {
  auto with = [](Bytes b, std::size_t at, std::uint8_t v) {
    b[at] = v;
    return b;
  };
  const Bytes two = Pings(4, 2, {2});
  Bytes skipped = Pings(4, 1, {2}), next = Pings(6, 1, {2});
  skipped.insert(skipped.end(), next.begin(), next.end());
  const struct {
    const char* name;
    Bytes bytes;
    std::size_t files;
  } cases[] = {
      {"two that count up", two, 1},
      {"one alone", Pings(4, 1, {2}), 0},
      {"index skips one", skipped, 0},
      {"mode outside the table", with(two, 37, 13), 0},
      {"sample count not the mode's", with(two, 4, 0x01), 0},
      {"month 13", with(two, 32, 0x13), 0},
      {"30 February", with(with(two, 32, 0x02), 33, 0x30), 0},
      {"day not BCD", with(two, 33, 0x1A), 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes disc(64 * 1024, 0x56);  // 'V', so the search meets many near-misses
    std::copy(c.bytes.begin(), c.bytes.end(), disc.begin() + 777);
    test::TempDir tmp;
    test::MemoryVolume volume(disc);
    EXPECT_EQ(CarveRuns(volume, {.outDir = tmp.path().string()}).files.size(), c.files);
  }
}

// Listed records are left out ping by ping, so a run that goes on past one
// keeps its tail; an unreadable sector ends a run and a new one starts after.
TEST(CarveTest, LeavesOutListedPingsAndSplitsRunsAtUnreadableSectors) {
  const Bytes pings = Pings(0, 40, {0});  // 896 bytes each
  const std::uint64_t at = 8192, length = 896;
  Bytes disc(at, 0);
  disc.insert(disc.end(), pings.begin(), pings.end());
  disc.resize(disc.size() + 4096, 0);
  auto slice = [&](std::uint64_t from, std::uint64_t to) {
    return RecordFile(Bytes(pings.begin() + static_cast<long>(from * length), pings.begin() + static_cast<long>(to * length)));
  };
  test::TempDir tmp;
  {
    test::MemoryVolume volume(disc);
    const CarveResult r = CarveRuns(volume, {.outDir = tmp.path().string(), .leaveOut = {{at, at + 10 * length + 100}}});
    EXPECT_EQ(r.pingsLeftOut, 10u);
    EXPECT_EQ(Carved(r), (std::map<std::string, Bytes>{{CarvedFileName(at + 10 * length), slice(10, 40)}}));
  }
  {
    // Sector 8 (bytes 16384 to 18431) holds the end of ping 9 and all of 10 and 11, which are lost.
    test::MemoryVolume volume(disc);
    volume.FailRange(16384, 2048);
    const CarveResult r = CarveRuns(volume, {.outDir = tmp.path().string()});
    EXPECT_EQ(r.unreadableSectors, 1);
    EXPECT_EQ(Carved(r), (std::map<std::string, Bytes>{{CarvedFileName(at), slice(0, 9)},
                                                            {CarvedFileName(at + 12 * length), slice(12, 40)}}));
  }
}

}  // namespace
}  // namespace zep
