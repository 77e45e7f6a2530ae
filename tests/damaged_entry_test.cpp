// Damaged discs: entries whose counts run past the end of the volume (or
// before its start) and images cut inside a record are converted as far as
// the volume goes, with a bounded number of reads and nothing written past
// it; a failed conversion never costs an earlier file of the same name.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <limits>

#include "convert/convert.h"
#include "disc/scan.h"
#include "tests/support/disc_image.h"
#include "tests/support/fake_volume.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/temp_dir.h"

namespace zep {
namespace {

constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max(), kMin = std::numeric_limits<std::int32_t>::min();

ConvertResult ConvertOne(SourceType type, const std::string& out, const RecordDirectory& dir, const VolumeOpener& open) {
  return type == SourceType::Tk40 ? ConvertTk40Record(out, dir, 0, open) : CopyZepRecord(out, dir, 0, open);
}

TEST(DamagedEntryTest, UnitsOutsideTheVolumeAreNeitherReadNorWritten) {
  const auto tk40 = SourceType::Tk40, zep = SourceType::ZepV1;
  struct Case {
    const char* what;
    SourceType type;
    std::int32_t first, second;
    std::size_t imageSize;
    std::int64_t written, failed, beyond;  // units
  } cases[] = {
      {"TK40 endBlock 50,000,000 on 1 MB", tk40, 0, 50000000, 1 << 20, 252, 0, 50000000 - 252},
      {"TK40 endBlock 2^31-1", tk40, 0, kMax, 1 << 20, 252, 0, kMax - 252},
      {"TK40 firstBlock -2^31+10", tk40, kMin + 10, 8, 1 << 20, 12, 0, std::int64_t{-(kMin + 10)} - 4},
      {"TK40 wholly past the end", tk40, 1000000, 1000010, 1 << 20, 0, 0, 10},
      {"TK40 cut inside block 5", tk40, 0, 10, 16384 + 5 * 4096 + 100, 5, 1, 4},
      {"ZEP sectorCount 2,000,000 on 1 MB", zep, 10, 2000000, 1 << 20, 500, 0, 2000000 - 2 - 500},
      {"ZEP sectorCount 2^31-1", zep, 10, kMax, 1 << 20, 500, 0, kMax - 2 - 500},
      {"ZEP firstSector -2^31", zep, kMin, kMax, 1 << 20, 0, 0, kMax - 2},
      {"ZEP wholly past the end", zep, 1000000, 12, 1 << 20, 0, 0, 10},
      {"ZEP cut inside sector 15", zep, 10, 12, 15 * 2048 + 1000, 3, 1, 6},
      {"ZEP negative sectorCount", zep, 10, -5, 1 << 20, 0, 0, 0},
  };
  test::TempDir tmp;
  const std::string imagePath = tmp.File("disc.img"), out = tmp.File("out.zep");
  for (const Case& c : cases) {
    test::DiscImage img(c.type, c.imageSize);
    img.Entry(0, {.name = "BAD", .first = c.first, .second = c.second}).WriteFile(imagePath);
    // Zero blocks give pings of mode 3 (256 + 1280 bytes); unreadable sectors are zeros in the copy.
    const auto fileSize =
        static_cast<std::uintmax_t>(4096 + (c.type == tk40 ? 1536 * c.written : 2048 * (c.written + c.failed)));
    // An image knows its size when opened; a drive under Wine learns it at the first read that meets the end.
    for (const auto how : {test::MemoryVolume::SizeKnown::FromStart, test::MemoryVolume::SizeKnown::AtEnd}) {
      SCOPED_TRACE(std::string(c.what) + (how == test::MemoryVolume::SizeKnown::AtEnd ? ", end learnt" : ""));
      test::MemoryVolume vol(img.bytes());
      vol.KnowSize(how);
      const ConvertResult r = ConvertOne(c.type, out, img.Directory(), test::OpenerFor(&vol));
      EXPECT_EQ(r.failedUnits, c.failed) << r.reason;
      EXPECT_EQ(r.beyondEndUnits, c.beyond) << r.reason;
      EXPECT_EQ(r.status, c.failed + c.beyond ? ConvertStatus::Incomplete : ConvertStatus::Done) << r.reason;
      EXPECT_EQ(std::filesystem::file_size(out), fileSize);
      // A batch read per 32 units, and one read per unit a batch did not deliver.
      EXPECT_LE(vol.reads().size(), static_cast<std::size_t>(c.written + c.failed) / 32 + 34);
      const ConvertResult onFile = ConvertOne(c.type, out, img.Directory(), VolumeAt(imagePath));
      EXPECT_EQ(onFile.beyondEndUnits, c.beyond);
      EXPECT_EQ(onFile.failedUnits, c.failed);
    }
  }
}

// The name carries "WriteFailure" for the Wine run that limits file sizes.
TEST(DamagedEntryTest, WriteFailureKeepsTheEarlierFile) {
  test::TempDir tmp;
  test::DiscImage img(SourceType::ZepV1, 8 << 20);
  img.Entry(0, {.name = "BIG", .first = 10, .second = 3000});
  const std::string out = tmp.File("BIG.ZEP"), earlier(5000, 'e');
  std::ofstream(out, std::ios::binary) << earlier;
  test::MemoryVolume vol(img.bytes());
  const ConvertResult kept = CopyZepRecord({out, {.noClobber = true}}, img.Directory(), 0, test::OpenerFor(&vol));
  EXPECT_EQ(kept.status, ConvertStatus::OutputFailed);
  EXPECT_TRUE(vol.reads().empty());
  {
    test::FileSizeLimit limit(100000);  // under Wine 4 MiB; the copy needs 6 MB
    if (!limit.limit) GTEST_SKIP() << "no file size limit in force";
    EXPECT_EQ(CopyZepRecord(out, img.Directory(), 0, test::OpenerFor(&vol)).status, ConvertStatus::WriteFailed);
  }
  EXPECT_EQ(test::ReadWholeFile(out), std::vector<std::uint8_t>(earlier.begin(), earlier.end()));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(tmp.path()), {}), 1);  // no temporary left
}

// The Windows program's scan dump is the exception: another disc's dump must
// never be split as this one's, so a failed dump removes the earlier one.
TEST(DamagedEntryTest, WriteFailureOfTheScanDumpRemovesTheEarlierDumpOnly) {
  test::TempDir tmp;
  const std::string scanDump = tmp.File("test.bin"), userDump = tmp.File("user.bin");
  for (const std::string& path : {scanDump, userDump}) std::ofstream(path) << "an earlier disc's dump";
  test::MemoryVolume vol(std::vector<std::uint8_t>(1 << 20));
  test::FileSizeLimit limit(100000);  // the dump is 20 MB
  if (!limit.limit) GTEST_SKIP() << "no file size limit in force";
  EXPECT_FALSE(WriteScanDump(vol, scanDump).written);
  EXPECT_FALSE(WriteDumpFile(vol, userDump).written);
  EXPECT_FALSE(std::filesystem::exists(scanDump));
  EXPECT_EQ(test::ReadWholeFile(userDump).size(), 22u);
}

}  // namespace
}  // namespace zep
