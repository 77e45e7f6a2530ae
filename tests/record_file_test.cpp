// The record file format and its walker: layout constants, the
// SampleCountTable, little-endian helpers, and walking whole and broken files
// both over bytes and streaming over a file.

#include "convert/record_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "disc/file.h"
#include "tests/support/disc_image.h"
#include "tests/support/temp_dir.h"

namespace zep {
namespace {

std::vector<std::uint8_t> FileOf(const std::vector<std::vector<std::uint8_t>>& pings) {
  std::vector<std::uint8_t> f(kFileHeaderSize, 0);
  for (const auto& p : pings) f.insert(f.end(), p.begin(), p.end());
  return f;
}

TEST(RecordFile, WalksAFileOfNoPings) {
  const std::vector<std::uint8_t> f(4096, 0);
  const RecordWalk w = WalkRecord(f);
  EXPECT_TRUE(w.whole) << w.problem;
  EXPECT_EQ(w.pings, 0u);
  EXPECT_EQ(w.size, 4096u);
}

TEST(RecordFile, WalksTwoPingsOfModes6And10) {
  const auto f = FileOf({test::MakePingRecord(3840, 0, 6), test::MakePingRecord(5120, 1, 10)});
  ASSERT_EQ(f.size(), 4096u + 256 + 3840 + 256 + 5120);
  std::vector<PingInfo> pings;
  const RecordWalk w = WalkRecord(f, [&](const PingInfo& p) { pings.push_back(p); });
  EXPECT_TRUE(w.whole) << w.problem;
  ASSERT_EQ(pings.size(), 2u);
  EXPECT_EQ(pings[0].offset, 4096u);
  EXPECT_EQ(pings[1].offset, 4096u + 256 + 3840);
  EXPECT_EQ(pings[1].pingIndex, 1u);
  EXPECT_EQ(pings[1].sampleCount, 5120);
  EXPECT_EQ(pings[1].mode, 10);
  EXPECT_EQ(w.samples, 3840u + 5120);
}

TEST(RecordFile, GpsTextStopsAtTheCarriageReturn) {
  std::uint8_t h[256] = {};
  std::memcpy(h + 54, "ABC\rDEFG", 8);
  EXPECT_EQ(GpsTextOf(h), "ABC");
  std::memset(h + 54, 'x', 64);
  EXPECT_EQ(GpsTextOf(h), std::string(64, 'x'));
}

struct BrokenCase {
  const char* name;
  std::vector<std::uint8_t> bytes;
  std::uint64_t pings;
  std::uint64_t stoppedAt;
};

TEST(RecordFile, FindsWhatIsWrong) {
  auto good = FileOf({test::MakePingRecord(100, 0), test::MakePingRecord(0, 1)});
  auto nonzero = good;
  nonzero[17] = 1;
  auto cutSamples = good;
  cutSamples.resize(4096 + 256 + 50);
  auto cutHeader = good;
  cutHeader.resize(4096 + 356 + 100);
  auto noMagic = good;
  noMagic[4096 + 356] = 'X';
  auto trailing = good;
  trailing.push_back(0);
  const BrokenCase cases[] = {
      {"short file header", std::vector<std::uint8_t>(4000, 0), 0, 4000},
      {"non-zero file header", nonzero, 2, good.size()},
      {"samples cut short", cutSamples, 0, 4096},
      {"header cut short", cutHeader, 1, 4096 + 356},
      {"no magic", noMagic, 1, 4096 + 356},
      {"a byte after the last ping", trailing, 2, good.size()},
  };
  for (const BrokenCase& c : cases) {
    SCOPED_TRACE(c.name);
    const RecordWalk w = WalkRecord(c.bytes);
    EXPECT_FALSE(w.whole);
    EXPECT_FALSE(w.problem.empty());
    EXPECT_EQ(w.pings, c.pings);
    EXPECT_EQ(w.stoppedAt, c.stoppedAt);
    EXPECT_EQ(w.size, c.bytes.size());
  }
}

TEST(RecordFile, StreamingWalkAgreesWithTheBytes) {
  test::TempDir dir;
  std::vector<std::vector<std::uint8_t>> pings;
  for (std::uint32_t i = 0; i < 300; ++i) {
    pings.push_back(test::MakePingRecord(static_cast<std::uint16_t>(i * 211 % 7000), i));
  }
  const auto f = FileOf(pings);
  const std::string path = dir.File("walk.zep");
  OutputFile out = OutputFile::Create(path);
  out.Write(f);
  ASSERT_TRUE(out.Close()) << out.error();
  std::vector<std::uint32_t> indexes;
  const RecordWalk w = WalkRecordFile(path, [&](const PingInfo& p) { indexes.push_back(p.pingIndex); });
  EXPECT_TRUE(w.whole) << w.problem;
  EXPECT_EQ(w.size, f.size());
  ASSERT_EQ(indexes.size(), 300u);
  for (std::uint32_t i = 0; i < 300; ++i) EXPECT_EQ(indexes[i], i);

  const RecordWalk missing = WalkRecordFile(dir.File("missing.zep"));
  EXPECT_FALSE(missing.opened);
  EXPECT_FALSE(missing.whole);
  EXPECT_FALSE(missing.problem.empty());
}

}  // namespace
}  // namespace zep
