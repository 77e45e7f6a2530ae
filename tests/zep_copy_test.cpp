// CopyZepRecord: copies of 0 to 3 sectors, a first sector of 0,
// the progress protocol, batches, and the mended faults (unreadable
// and missing sectors become zeros and are counted; failed writes and
// outputs that cannot be created are reported).

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "convert/convert.h"
#include "convert/record_file.h"
#include "disc/file.h"
#include "tests/support/disc_image.h"
#include "tests/support/fake_volume.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/record_check.h"
#include "tests/support/temp_dir.h"

namespace zep {
namespace {

using test::DiscImage;
using test::EntrySpec;

struct ProgressLog {
  std::vector<std::uint16_t> ranges;
  std::vector<std::int32_t> positions;
  Progress progress() {
    return {[this](std::uint16_t m) { ranges.push_back(m); }, [this](std::int32_t p) { positions.push_back(p); }};
  }
};

std::vector<std::int32_t> Iota(std::int32_t n) {
  std::vector<std::int32_t> v(static_cast<std::size_t>(n));
  for (std::int32_t i = 0; i < n; ++i) v[static_cast<std::size_t>(i)] = i;
  return v;
}

// One ping record that fills a sector exactly: 256 + 1792 bytes.
std::vector<std::uint8_t> SectorPing(std::uint32_t index) { return test::MakePingRecord(1792, index, 6); }

// A ZEP V1.X disc whose slot 0 record starts at firstSector and has
// sectorCount sectors; the record's sectors from the third on hold one ping
// each, the first two hold a marker that must never be copied.
DiscImage ZepDisc(std::int32_t firstSector, std::int32_t sectorCount, std::int32_t sectorsOnDisc = -1) {
  DiscImage img(SourceType::ZepV1);
  EntrySpec entry;
  entry.name = "ZREC";
  entry.first = firstSector;
  entry.second = sectorCount;
  img.Entry(0, entry);
  const std::int32_t present = sectorsOnDisc < 0 ? sectorCount : sectorsOnDisc;
  for (std::int32_t s = 0; s < present; ++s) {
    if (s < 2) {
      const std::vector<std::uint8_t> marker(2048, 0xEE);
      img.Sector(firstSector + s, marker);
    } else {
      img.Sector(firstSector + s, SectorPing(static_cast<std::uint32_t>(s - 2)));
    }
  }
  return img;
}

struct Copied {
  ConvertResult res;
  std::vector<std::uint8_t> bytes;  // left empty for files of 16 MiB and more
  std::uint64_t size = 0;
  RecordWalk walk;
  ProgressLog log;
};

Copied CopyOn(test::MemoryVolume& vol, const RecordDirectory& dir, const std::string& path) {
  Copied c;
  c.res = CopyZepRecord(path, dir, 0, test::OpenerFor(&vol), c.log.progress());
  if (c.res.result == 1) {
    c.size = std::filesystem::file_size(path);
    if (c.size < (16u << 20)) c.bytes = test::ReadWholeFile(path);
    c.walk = WalkRecordFile(path);
    EXPECT_EQ(c.walk.size, c.size);
  }
  return c;
}

struct SmallCase {
  std::int32_t sectorCount;
  std::uint16_t range;
  std::size_t pings;
};

TEST(ZepCopy, ZeroToThreeSectors) {
  test::TempDir dir;
  const SmallCase cases[] = {{-1, 65533}, {0, 65534}, {1, 65535}, {2, 0}, {3, 1, 1}, {4, 2, 2}, {5, 3, 3}};
  for (const SmallCase& c : cases) {
    SCOPED_TRACE(c.sectorCount);
    const DiscImage img = ZepDisc(20, c.sectorCount);
    test::MemoryVolume vol(img.bytes());
    const Copied r = CopyOn(vol, img.Directory(), dir.File("z.zep"));
    EXPECT_EQ(r.res.result, 1);
    EXPECT_EQ(r.res.status, ConvertStatus::Done) << r.res.reason;
    EXPECT_EQ(r.log.ranges, std::vector<std::uint16_t>{c.range});
    EXPECT_EQ(r.log.positions, Iota(static_cast<std::int32_t>(c.pings)));
    EXPECT_EQ(r.bytes.size(), 4096 + 2048 * c.pings);
    EXPECT_TRUE(r.walk.whole) << r.walk.problem;
    EXPECT_EQ(r.walk.pings, c.pings);
    // The file is the header and sectors firstSector + 2 on, as they stand.
    for (std::size_t s = 0; s < c.pings; ++s) {
      const auto ping = SectorPing(static_cast<std::uint32_t>(s));
      EXPECT_TRUE(std::equal(ping.begin(), ping.end(), r.bytes.begin() + 4096 + 2048 * s)) << s;
    }
  }
}

TEST(ZepCopy, FirstSectorZeroStartsAtByte4096) {
  test::TempDir dir;
  // Sector 0 is the directory, sector 1 the second sector of the record.
  DiscImage img(SourceType::ZepV1);
  EntrySpec entry;
  entry.first = 0;
  entry.second = 4;
  img.Entry(0, entry).Sector(2, SectorPing(0)).Sector(3, SectorPing(1));
  test::MemoryVolume vol(img.bytes());
  const Copied r = CopyOn(vol, img.Directory(), dir.File("z0.zep"));
  ASSERT_FALSE(vol.reads().empty());
  EXPECT_EQ(vol.reads()[0].pos, 4096);
  EXPECT_TRUE(r.walk.whole) << r.walk.problem;
  EXPECT_EQ(r.walk.pings, 2u);
}

TEST(ZepCopy, CountsOf65536AndMoreTakeTheLow16BitsForTheRange) {
  // n = 65536: the range maximum is 0, the copy is not shortened. The disc
  // ends early; the missing sectors are zeros and counted.
  test::TempDir dir;
  const DiscImage img = ZepDisc(10, 2 + 65536, 2 + 3);
  test::MemoryVolume vol(img.bytes());
  const Copied r = CopyOn(vol, img.Directory(), dir.File("big.zep"));
  EXPECT_EQ(r.res.result, 1);
  EXPECT_EQ(r.log.ranges, std::vector<std::uint16_t>{0});
  EXPECT_EQ(r.log.positions.size(), 65536u);
  EXPECT_EQ(r.log.positions.back(), 65535);
  EXPECT_EQ(r.size, 4096u + 65536u * 2048);
  EXPECT_EQ(r.res.failedUnits, 65536 - 3);
  // The walk stops where the disc ended, after the three pings that were there.
  EXPECT_EQ(r.walk.pings, 3u);
  EXPECT_EQ(r.walk.stoppedAt, 4096u + 3 * 2048);
}

// --- Mended faults ---------------------------------------------

TEST(ZepCopyFaults, UnreadableSectorsAreZerosAndCounted) {
  // Sector k of the copy fails: it is 2048 zeros, the sectors after it keep
  // their places, and the walk stops exactly at the hole.
  test::TempDir dir;
  for (const std::int64_t bad : {std::int64_t{0}, std::int64_t{1}, std::int64_t{63}, std::int64_t{64},
                                 std::int64_t{99}}) {
    SCOPED_TRACE(bad);
    const DiscImage img = ZepDisc(7, 2 + 100);
    test::MemoryVolume vol(img.bytes());
    vol.FailRange(ZepSectorOffset(7 + 2 + bad) + 10, 1);
    const Copied r = CopyOn(vol, img.Directory(), dir.File("hole.zep"));
    EXPECT_EQ(r.res.result, 1);
    EXPECT_EQ(r.res.status, ConvertStatus::Incomplete);
    EXPECT_EQ(r.res.failedUnits, 1);
    EXPECT_NE(r.res.reason.find("written as zeros"), std::string::npos) << r.res.reason;
    EXPECT_EQ(r.log.positions, Iota(100));
    ASSERT_EQ(r.bytes.size(), 4096u + 100 * 2048);
    for (std::int64_t s = 0; s < 100; ++s) {
      const auto* got = r.bytes.data() + 4096 + 2048 * s;
      if (s == bad) {
        EXPECT_TRUE(std::all_of(got, got + 2048, [](std::uint8_t b) { return b == 0; }));
      } else {
        const auto ping = SectorPing(static_cast<std::uint32_t>(s));
        EXPECT_EQ(std::memcmp(got, ping.data(), 2048), 0) << s;
      }
    }
    EXPECT_EQ(r.walk.pings, static_cast<std::uint64_t>(bad));
    EXPECT_EQ(r.walk.stoppedAt, static_cast<std::uint64_t>(4096 + 2048 * bad));
  }
}

TEST(ZepCopyFaults, SectorsPastTheEndAreZerosAndCounted) {
  test::TempDir dir;
  DiscImage img = ZepDisc(4, 2 + 6);
  // The volume ends 1000 bytes into the copy's fourth sector.
  img.Resize(static_cast<std::size_t>(ZepSectorOffset(4 + 2 + 3) + 1000));
  test::MemoryVolume vol(img.bytes());
  const Copied r = CopyOn(vol, img.Directory(), dir.File("short.zep"));
  EXPECT_EQ(r.res.status, ConvertStatus::Incomplete);
  EXPECT_EQ(r.res.failedUnits, 3);
  ASSERT_EQ(r.bytes.size(), 4096u + 6 * 2048);
  // A sector only partly on the volume is zeros too: the walk stops at it.
  EXPECT_TRUE(std::all_of(r.bytes.begin() + 4096 + 3 * 2048, r.bytes.end(), [](std::uint8_t b) { return b == 0; }));
  EXPECT_EQ(r.walk.pings, 3u);
  EXPECT_EQ(r.walk.stoppedAt, 4096u + 3 * 2048);
  EXPECT_NE(r.res.reason.find("beyond the end"), std::string::npos) << r.res.reason;
}

TEST(ZepCopyFaults, VolumeThatCannotBeOpened) {
  test::TempDir dir;
  const ConvertResult r =
      CopyZepRecord(dir.File("x.zep"), ZepDisc(5, 4).Directory(), 0, test::FailingOpener("no disc"));
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.status, ConvertStatus::VolumeFailed);
  EXPECT_EQ(r.reason, "no disc");
  EXPECT_FALSE(std::filesystem::exists(dir.File("x.zep")));
}

TEST(ZepCopyFaults, OutputThatCannotBeCreated) {
  test::TempDir dir;
  const DiscImage img = ZepDisc(5, 4);
  test::MemoryVolume vol(img.bytes());
  const ConvertResult r =
      CopyZepRecord((dir.path() / "missing" / "x.zep").string(), img.Directory(), 0, test::OpenerFor(&vol));
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.status, ConvertStatus::OutputFailed);
  EXPECT_NE(r.reason.find("x.zep"), std::string::npos) << r.reason;
  EXPECT_TRUE(vol.reads().empty());
}

TEST(ZepCopyFaults, WriteFailureRemovesThePartialFile) {
  test::TempDir dir;
  const std::string path = dir.File("full.zep");
  const DiscImage img = ZepDisc(3, 2 + 3000);  // 6 MB of sectors
  test::MemoryVolume vol(img.bytes());
  ConvertResult r;
  {
    test::FileSizeLimit limit(4 << 20);
    if (!limit.active()) GTEST_SKIP() << limit.whyNot();
    ASSERT_LT(limit.limit(), 3000u * 2048);
    r = CopyZepRecord(path, img.Directory(), 0, test::OpenerFor(&vol));
  }
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.status, ConvertStatus::WriteFailed);
  EXPECT_FALSE(r.reason.empty());
  EXPECT_FALSE(std::filesystem::exists(path));
}

}  // namespace
}  // namespace zep
