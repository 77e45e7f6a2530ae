// ConvertTk40Record: the ModeTable and the sample rules through
// whole pings, the PingHeader fields, carry-forward within a record and reset
// between records, counts of zero and below, the progress protocol, and the
// mended faults (unreadable blocks, failed writes, outputs that cannot
// be created). Every file written is walked.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "convert/convert.h"
#include "convert/record_file.h"
#include "convert/tk40_convert.h"
#include "disc/file.h"
#include "tests/support/disc_image.h"
#include "tests/support/fake_volume.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/pattern_volume.h"
#include "tests/support/record_check.h"
#include "tests/support/temp_dir.h"

namespace zep {
namespace {

using test::DiscImage;
using test::EntrySpec;
using test::Tk40Block;

// What a converter told the progress bar.
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

// A TK40 disc holding one record in slot 0 at blocks first.., one per block given.
DiscImage Tk40Disc(const std::vector<Tk40Block>& blocks, std::int32_t first = 10, EntrySpec entry = {}) {
  DiscImage img(SourceType::Tk40);
  entry.name = entry.name.empty() ? "REC" : entry.name;
  entry.first = first;
  entry.second = first + static_cast<std::int32_t>(blocks.size());
  img.Entry(0, entry);
  for (std::size_t i = 0; i < blocks.size(); ++i) img.Block(first + static_cast<std::int64_t>(i), blocks[i]);
  return img;
}

struct Converted {
  ConvertResult res;
  test::WalkedRecord rec;
  ProgressLog log;
};

Converted ConvertOn(test::MemoryVolume& vol, const RecordDirectory& dir, const std::string& path, int slot = 0) {
  Converted r;
  r.res = ConvertTk40Record(path, dir, slot, test::OpenerFor(&vol), r.log.progress());
  if (r.res.result == 1) r.rec = test::WalkWhole(path);
  return r;
}

Converted Convert(const DiscImage& img, const std::string& path, int slot = 0) {
  test::MemoryVolume vol(img.bytes());
  return ConvertOn(vol, img.Directory(), path, slot);
}

// The sample rules as the rule table states them, written apart from the
// converter's code: 255 - x, halving each byte before the sum.
std::vector<std::uint8_t> ExpectedSamples(std::uint8_t code, const Tk40Block& b) {
  const std::uint8_t* s = b.bytes.data();
  std::vector<std::uint8_t> out;
  auto c = [](int x) { return static_cast<std::uint8_t>(255 - x); };
  switch (code & 0x0F) {
    case 0: case 8: case 10:  // rule 1
      for (int k = 0; k <= 3837; k += 3) out.push_back(c(s[k] / 2 + s[k + 2] / 2));
      break;
    case 7:  // rule 2
      for (int k = 0; k <= 3838; k += 2) out.push_back(c(s[k] / 2 + s[k + 1] / 2));
      break;
    case 1: case 4:  // rule 3
      for (int k = 0; k <= 3837; k += 3) {
        out.push_back(c(s[k]));
        out.push_back(c(s[k + 2]));
      }
      break;
    case 2: case 3: case 5:  // rule 4
      for (int k = 0; k <= 3839; ++k) out.push_back(c(s[k]));
      break;
    case 6:  // rule 5
      for (int k = 0; k <= 3837; k += 3) {
        out.push_back(c(s[k]));
        out.push_back(c(s[k + 1]));
        out.push_back(c(s[k + 1]));
        out.push_back(c(s[k + 2]));
      }
      break;
    case 9:  // no rule: our choice, zeros
      out.assign(1280, 0);
      break;
  }
  return out;
}

std::vector<std::uint8_t> SamplesOf(const test::WalkedRecord& rec, std::size_t i) {
  const PingInfo& p = rec.pings.at(i);
  const auto* begin = rec.bytes.data() + p.offset + kPingHeaderSize;
  return {begin, begin + p.sampleCount};
}

struct ModeRow {
  std::uint8_t code, mode;
  std::uint16_t count;
};
const ModeRow kModeRows[] = {{0, 3, 1280}, {1, 5, 2560},  {2, 6, 3840}, {3, 6, 3840}, {4, 8, 2560}, {5, 9, 3840},
                             {6, 10, 5120}, {7, 4, 1920}, {8, 7, 1280}, {9, 2, 1280}, {10, 3, 1280}};

TEST(Tk40Convert, ModeTableAndSampleRulesThroughWholePings) {
  test::TempDir dir;
  std::vector<Tk40Block> blocks;
  for (const ModeRow& row : kModeRows) {
    // The high four bits of the mode byte do not matter.
    blocks.push_back(Tk40Block().Samples(row.code + 1).ModeCode(static_cast<std::uint8_t>(0xA0 | row.code)));
  }
  const Converted r = Convert(Tk40Disc(blocks), dir.File("modes.zep"));
  ASSERT_EQ(r.res.status, ConvertStatus::Done) << r.res.reason;
  ASSERT_EQ(r.rec.pings.size(), std::size(kModeRows));
  std::uint64_t size = 4096;
  for (std::size_t i = 0; i < std::size(kModeRows); ++i) {
    SCOPED_TRACE(static_cast<int>(kModeRows[i].code));
    EXPECT_EQ(r.rec.pings[i].mode, kModeRows[i].mode);
    EXPECT_EQ(r.rec.pings[i].sampleCount, kModeRows[i].count);
    EXPECT_EQ(r.rec.pings[i].sampleCount, kSampleCountTable[kModeRows[i].mode]);
    EXPECT_EQ(r.rec.pings[i].pingIndex, i);
    EXPECT_EQ(SamplesOf(r.rec, i), ExpectedSamples(kModeRows[i].code, blocks[i]));
    size += 256 + kModeRows[i].count;
  }
  EXPECT_EQ(r.rec.bytes.size(), size);
  EXPECT_EQ(r.res.bytesWritten, size);
  EXPECT_EQ(r.res.zeroFilledPings, 1);
}

struct RuleCase {
  const char* name;
  std::uint8_t code;
  std::vector<std::uint8_t> samples;  // block bytes from 0
  std::vector<std::uint8_t> first;    // the ping's first sample bytes
};

// Bytes that show halving before adding (two odd bytes lose both low bits)
// and the complement.
const RuleCase kRuleCases[] = {
    {"rule 1: 01 . 01 gives FF", 0, {0x01, 0xFF, 0x01}, {0xFF}},
    {"rule 1: FF . FF gives 01", 0, {0xFF, 0x00, 0xFF}, {0x01}},
    {"rule 1: 03 . 03 gives FD", 8, {0x03, 0x77, 0x03}, {0xFD}},
    {"rule 1 (mode code 10)", 10, {0x80, 0x00, 0x80, 0x02, 0x00, 0x03}, {0x7F, 0xFD}},
    {"rule 2: 01 01 gives FF", 7, {0x01, 0x01}, {0xFF}},
    {"rule 2: FF FF gives 01", 7, {0xFF, 0xFF, 0x10, 0x21}, {0x01, 0xE7}},
    {"rule 3", 1, {0x00, 0x55, 0xF0, 0x12, 0x34, 0x56}, {0xFF, 0x0F, 0xED, 0xA9}},
    {"rule 3 (mode code 4)", 4, {0xFF, 0x00, 0x01}, {0x00, 0xFE}},
    {"rule 4", 2, {0x00, 0x10, 0xFF, 0x80}, {0xFF, 0xEF, 0x00, 0x7F}},
    {"rule 4 (mode code 5)", 5, {0x7F}, {0x80}},
    {"rule 5: 00 10 FF", 6, {0x00, 0x10, 0xFF}, {0xFF, 0xEF, 0xEF, 0x00}},
    {"mode code 9: zeros", 9, {0x12, 0x34, 0x56}, {0x00, 0x00, 0x00}},
};

TEST(Tk40Convert, SampleRulesOnRevealingBytes) {
  test::TempDir dir;
  for (const RuleCase& c : kRuleCases) {
    SCOPED_TRACE(c.name);
    Tk40Block b;
    std::copy(c.samples.begin(), c.samples.end(), b.bytes.begin());
    b.ModeCode(c.code);
    const Converted r = Convert(Tk40Disc({b}), dir.File("rule.zep"));
    ASSERT_EQ(r.rec.pings.size(), 1u);
    const auto samples = SamplesOf(r.rec, 0);
    ASSERT_GE(samples.size(), c.first.size());
    EXPECT_EQ(std::vector<std::uint8_t>(samples.begin(), samples.begin() + c.first.size()), c.first);
    EXPECT_EQ(samples, ExpectedSamples(c.code, b));
  }
}

TEST(Tk40Convert, SampleRulesNeverReadTheTrailer) {
  // Rules read block bytes 0..3839 only: a trailer full of 0xFF and a block
  // of zero samples give samples of 0xFF (rule 4), whatever the trailer.
  std::uint8_t block[4096];
  std::memset(block, 0, 3840);
  std::memset(block + 3840, 0xAB, 256);
  std::uint8_t out[6400];
  for (const ModeRow& row : kModeRows) {
    SCOPED_TRACE(static_cast<int>(row.code));
    std::memset(out, 0x11, sizeof out);
    const std::size_t n = tk40::ConvertSamples(row.mode, block, out);
    EXPECT_EQ(n, row.count);
    for (std::size_t k = 0; k < n; ++k) ASSERT_EQ(out[k], row.mode == 2 ? 0x00 : 0xFF) << k;
    for (std::size_t k = n; k < sizeof out; ++k) ASSERT_EQ(out[k], 0x11) << k;
  }
}

// Blocks 500 to 502: pingIndex is the place in the record, not the block number.
TEST(Tk40Convert, ThreeBlocksOfModeCodes0_6_7) {
  test::TempDir dir;
  const Converted r = Convert(
      Tk40Disc({Tk40Block().ModeCode(0), Tk40Block().ModeCode(6), Tk40Block().ModeCode(7)}, 500), dir.File("three.zep"));
  EXPECT_EQ(r.rec.bytes.size(), 4096u + (256 + 1280) + (256 + 5120) + (256 + 1920));
  ASSERT_EQ(r.rec.pings.size(), 3u);
  for (std::uint32_t i = 0; i < 3; ++i) EXPECT_EQ(r.rec.pings[i].pingIndex, i);
  EXPECT_EQ(r.rec.pings[1].offset, 4096u + 256 + 1280);
}

struct YearCase {
  std::uint8_t year;
  std::uint16_t widened;
};

TEST(Tk40Convert, YearWideningAndDate) {
  test::TempDir dir;
  const YearCase cases[] = {{0x00, 0x2000}, {0x08, 0x2008}, {0x89, 0x2089}, {0x90, 0x2090},
                            {0x91, 0x1991}, {0x99, 0x1999}, {0xFF, 0x19FF}};
  for (const YearCase& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.year));
    EntrySpec entry;
    entry.year = c.year;
    entry.month = 0x12;
    entry.day = 0x31;
    const Converted r = Convert(Tk40Disc({Tk40Block(), Tk40Block()}, 3, entry), dir.File("year.zep"));
    ASSERT_EQ(r.rec.pings.size(), 2u);
    for (const PingInfo& p : r.rec.pings) {
      EXPECT_EQ(p.year, c.widened);
      EXPECT_EQ(p.month, 0x12);
      EXPECT_EQ(p.day, 0x31);
    }
    EXPECT_EQ(tk40::WidenYear(c.year), c.widened);
  }
}

struct TrailerCase {
  const char* name;
  std::vector<std::pair<int, std::uint8_t>> block;   // block offset, value
  std::vector<std::pair<int, std::uint8_t>> header;  // header offset, expected
};

const TrailerCase kTrailerCases[] = {
    {"3972 doubled", {{3972, 0xFF}}, {{22, 0xFE}, {23, 0x01}}},
    {"3972 = 1", {{3972, 0x01}}, {{22, 0x02}, {23, 0x00}}},
    {"3975 = 7F", {{3975, 0x7F}}, {{16, 0x7F}, {17, 0x00}}},
    {"3975 = 80 sign-extended", {{3975, 0x80}}, {{16, 0x80}, {17, 0xFF}}},
    {"3975 = FF sign-extended", {{3975, 0xFF}}, {{16, 0xFF}, {17, 0xFF}}},
    {"3973-3974", {{3973, 0x34}, {3974, 0x12}}, {{14, 0x34}, {15, 0x12}}},
    {"3976-3977", {{3976, 0xCD}, {3977, 0xAB}}, {{18, 0xCD}, {19, 0xAB}}},
    {"3978-3979", {{3978, 0x01}, {3979, 0x80}}, {{20, 0x01}, {21, 0x80}}},
    {"4094-4095", {{4094, 0x55}, {4095, 0xAA}}, {{24, 0x55}, {25, 0xAA}}},
    {"3968-3970", {{3968, 1}, {3969, 2}, {3970, 3}}, {{34, 1}, {35, 2}, {36, 3}}},
    {"3980", {{3980, 0x9C}}, {{38, 0x9C}}},
    {"flags FF keep 0D", {{3981, 0xFF}}, {{39, 0x0D}}},
    {"flags 02 are dropped", {{3981, 0x02}, {3982, 0x11}, {3983, 0x22}}, {{39, 0x00}, {26, 0}, {27, 0}, {54, 0}}},
    {"flags 04 pass through", {{3981, 0x04}}, {{39, 0x04}, {26, 0}, {54, 0}}},
    {"flag bit 0 takes 3982-3983", {{3981, 0x01}, {3982, 0x34}, {3983, 0x12}}, {{39, 0x01}, {26, 0x34}, {27, 0x12}}},
    {"mode byte A7 is code 7", {{3971, 0xA7}}, {{37, 4}, {4, 0x80}, {5, 0x07}}},
    {"unused bytes stay out", {{3840, 0xEE}, {3967, 0xEE}, {3984, 0xEE}, {4031, 0xEE}},
     {{6, 0}, {7, 0}, {8, 0}, {9, 0}, {28, 0}, {29, 0}, {40, 0}, {53, 0}, {118, 0}, {255, 0}}},
};

TEST(Tk40Convert, TrailerFields) {
  test::TempDir dir;
  for (const TrailerCase& c : kTrailerCases) {
    SCOPED_TRACE(c.name);
    Tk40Block b;
    for (auto [at, v] : c.block) b.Byte(at, v);
    const Converted r = Convert(Tk40Disc({Tk40Block(), b}), dir.File("trailer.zep"));
    ASSERT_EQ(r.rec.pings.size(), 2u);
    const auto& h = r.rec.pings[1].header;
    for (auto [at, v] : c.header) EXPECT_EQ(h[static_cast<std::size_t>(at)], v) << "header byte " << at;
    EXPECT_EQ(std::memcmp(h.data(), "VORL", 4), 0);
  }
}

TEST(Tk40Convert, MagicAndTheRestOfTheHeader) {
  test::TempDir dir;
  Tk40Block b;
  for (int k = 3840; k < 4096; ++k) b.Byte(k, 0xFF);  // every trailer byte set, mode code 15 aside
  b.ModeCode(0xF6);                                    // code 6
  const Converted r = Convert(Tk40Disc({b}), dir.File("full.zep"));
  ASSERT_EQ(r.rec.pings.size(), 1u);
  const auto& h = r.rec.pings[0].header;
  // Never set: 6-9, 28-29, 40-53, and 118 on.
  for (int k : {6, 7, 8, 9, 28, 29}) EXPECT_EQ(h[k], 0) << k;
  for (int k = 40; k < 54; ++k) EXPECT_EQ(h[k], 0) << k;
  for (int k = 118; k < 256; ++k) EXPECT_EQ(h[k], 0) << k;
}

TEST(Tk40Convert, CarriesTextAndBytes26Forward) {
  test::TempDir dir;
  const std::vector<Tk40Block> blocks = {
      Tk40Block(),                                     // 0: nothing yet
      Tk40Block().Text("$GPGLL,12.5").Value26(0x1234),  // 1
      Tk40Block(),                                     // 2: repeats 1
      Tk40Block().Text("AB"),                          // 3: shorter text over the longer
      Tk40Block().Value26(0x5678),                     // 4
      Tk40Block(),                                     // 5
  };
  const Converted r = Convert(Tk40Disc(blocks), dir.File("carry.zep"));
  ASSERT_EQ(r.rec.pings.size(), 6u);
  auto text = [&](std::size_t i) {
    const auto& h = r.rec.pings[i].header;
    return std::string(h.begin() + 54, h.begin() + 54 + 64);
  };
  auto v26 = [&](std::size_t i) { return GetU16(r.rec.pings[i].header.data() + 26); };
  const std::string none(64, '\0');
  std::string first = "$GPGLL,12.5\r";
  first.resize(64, '\0');
  std::string second = first;
  second.replace(0, 3, "AB\r");

  EXPECT_EQ(text(0), none);
  EXPECT_EQ(v26(0), 0);
  EXPECT_EQ(text(1), first);
  EXPECT_EQ(r.rec.pings[1].flags, 0x09);
  EXPECT_EQ(v26(1), 0x1234);
  EXPECT_EQ(text(2), first);
  EXPECT_EQ(r.rec.pings[2].flags, 0x00);
  EXPECT_EQ(v26(2), 0x1234);
  EXPECT_EQ(text(3), second);
  EXPECT_EQ(GpsTextOf(r.rec.pings[3].header.data()), "AB");
  EXPECT_EQ(v26(3), 0x1234);
  EXPECT_EQ(text(4), second);
  EXPECT_EQ(v26(4), 0x5678);
  EXPECT_EQ(text(5), second);
  EXPECT_EQ(v26(5), 0x5678);
}

TEST(Tk40Convert, NothingSurvivesFromOneRecordToTheNext) {
  test::TempDir dir;
  DiscImage img(SourceType::Tk40);
  EntrySpec a, b;
  a.name = "A";
  a.first = 0;
  a.second = 2;
  a.year = 0x99;
  b.name = "B";
  b.first = 2;
  b.second = 4;
  b.year = 0x01;
  img.Entry(0, a).Entry(1, b);
  img.Block(0, Tk40Block().Text("12345678").Value26(0xBEEF)).Block(1, Tk40Block());
  img.Block(2, Tk40Block()).Block(3, Tk40Block());
  test::MemoryVolume vol(img.bytes());
  const Converted ra = ConvertOn(vol, img.Directory(), dir.File("a.zep"), 0);
  const Converted rb = ConvertOn(vol, img.Directory(), dir.File("b.zep"), 1);
  ASSERT_EQ(ra.rec.pings.size(), 2u);
  ASSERT_EQ(rb.rec.pings.size(), 2u);
  EXPECT_EQ(GpsTextOf(ra.rec.pings[1].header.data()), "12345678");
  EXPECT_EQ(GetU16(ra.rec.pings[1].header.data() + 26), 0xBEEF);
  for (const PingInfo& p : rb.rec.pings) {
    EXPECT_EQ(p.header[54], 0);
    EXPECT_EQ(GetU16(p.header.data() + 26), 0);
    EXPECT_EQ(p.year, 0x2001);
  }
}

struct CountCase {
  std::int32_t first, end;
  std::uint16_t range;
};

TEST(Tk40Convert, ZeroAndNegativeCounts) {
  test::TempDir dir;
  const CountCase cases[] = {{5, 5, 0}, {5, 4, 65535}, {10, 0, 65526}, {0, -65536, 0}, {-3, -3, 0}};
  for (const CountCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.first) + ".." + std::to_string(c.end));
    DiscImage img(SourceType::Tk40);
    EntrySpec entry;
    entry.first = c.first;
    entry.second = c.end;
    img.Entry(0, entry).Block(0, Tk40Block()).Block(5, Tk40Block());
    const Converted r = Convert(img, dir.File("empty.zep"));
    EXPECT_EQ(r.res.result, 1);
    EXPECT_EQ(r.res.status, ConvertStatus::Done);
    EXPECT_EQ(r.res.units, 0);
    EXPECT_EQ(r.rec.bytes, std::vector<std::uint8_t>(4096, 0));
    EXPECT_EQ(r.log.ranges, std::vector<std::uint16_t>{c.range});
    EXPECT_TRUE(r.log.positions.empty());
  }
}

TEST(Tk40Convert, ProgressRangeOnceThenEveryPosition) {
  test::TempDir dir;
  const Converted r = Convert(Tk40Disc({Tk40Block(), Tk40Block(), Tk40Block()}), dir.File("p.zep"));
  EXPECT_EQ(r.log.ranges, std::vector<std::uint16_t>{3});
  EXPECT_EQ(r.log.positions, Iota(3));
  // An empty Progress is allowed.
  test::MemoryVolume vol(Tk40Disc({Tk40Block()}).bytes());
  const ConvertResult q =
      ConvertTk40Record(dir.File("q.zep"), Tk40Disc({Tk40Block()}).Directory(), 0, test::OpenerFor(&vol));
  EXPECT_EQ(q.status, ConvertStatus::Done);
}

TEST(Tk40Convert, ProgressRangeTakesTheLow16BitsAndFailedBlocksStillStep) {
  // 65537 blocks, none readable: the range is 1, every block still steps the
  // bar, and the file is the bare header.
  test::TempDir dir;
  constexpr std::int64_t kBlocks = 65537;
  test::PatternTk40Volume vol(kBlocks + 10, [](std::int64_t, std::uint8_t* b) { std::memset(b, 0, 4096); });
  vol.FailBlocks(0, kBlocks + 10);
  EntrySpec entry;
  entry.first = 0;
  entry.second = kBlocks;
  const RecordDirectory d = DiscImage(SourceType::Tk40).Entry(0, entry).Directory();
  ProgressLog log;
  const ConvertResult res = ConvertTk40Record(dir.File("wide.zep"), d, 0, test::BorrowVolume(&vol), log.progress());
  EXPECT_EQ(res.result, 1);
  EXPECT_EQ(res.status, ConvertStatus::Incomplete);
  EXPECT_EQ(res.failedUnits, kBlocks);
  EXPECT_EQ(log.ranges, std::vector<std::uint16_t>{1});
  EXPECT_EQ(log.positions, Iota(kBlocks));
  test::WalkWhole(dir.File("wide.zep"));
}

// --- Mended faults ---------------------------------------------

struct UnreadableCase {
  const char* name;
  std::int64_t blocks;
  std::vector<std::int64_t> failing;  // block positions within the record
  bool shortRead;                     // a short read instead of a failed one
};

const UnreadableCase kUnreadable[] = {
    {"middle of three", 3, {1}, false},
    {"first", 3, {0}, false},
    {"last", 3, {2}, false},
    {"two inside batches", 40, {5, 33}, false},
    {"a whole batch and more", 70, {31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43, 44, 45, 46, 47, 48,
                                   49, 50, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60, 61, 62, 63, 64}, false},
    {"short read in the middle of a batch", 20, {3}, true},
};

TEST(Tk40Faults, UnreadableBlocksGiveNoPingAndAreCounted) {
  test::TempDir dir;
  for (const UnreadableCase& c : kUnreadable) {
    SCOPED_TRACE(c.name);
    std::vector<Tk40Block> blocks;
    for (std::int64_t i = 0; i < c.blocks; ++i) {
      blocks.push_back(Tk40Block().Samples(static_cast<std::uint32_t>(i)).ModeCode(static_cast<std::uint8_t>(i % 11)));
    }
    blocks[0].Text("$GP,1");
    const std::int32_t first = 3;
    const DiscImage img = Tk40Disc(blocks, first);
    test::MemoryVolume vol(img.bytes());
    for (std::int64_t f : c.failing) {
      if (c.shortRead) {
        vol.ShortRange(Tk40BlockOffset(first + f) + 1000, 1);
      } else {
        vol.FailRange(Tk40BlockOffset(first + f) + 100, 1);
      }
    }
    const Converted r = ConvertOn(vol, img.Directory(), dir.File("bad.zep"));
    EXPECT_EQ(r.res.result, 1);
    EXPECT_EQ(r.res.status, ConvertStatus::Incomplete);
    EXPECT_EQ(r.res.failedUnits, static_cast<std::int64_t>(c.failing.size()));
    EXPECT_EQ(r.res.units, c.blocks);
    EXPECT_NE(r.res.reason.find("could not be read"), std::string::npos) << r.res.reason;
    EXPECT_EQ(r.log.positions, Iota(static_cast<std::int32_t>(c.blocks)));
    // Every other block is there, with its own place as pingIndex and its own samples.
    std::vector<std::uint32_t> expected;
    for (std::int64_t i = 0; i < c.blocks; ++i) {
      if (std::find(c.failing.begin(), c.failing.end(), i) == c.failing.end()) {
        expected.push_back(static_cast<std::uint32_t>(i));
      }
    }
    ASSERT_EQ(r.rec.pings.size(), expected.size());
    for (std::size_t k = 0; k < expected.size(); ++k) {
      EXPECT_EQ(r.rec.pings[k].pingIndex, expected[k]);
      const std::uint32_t i = expected[k];
      EXPECT_EQ(SamplesOf(r.rec, k), ExpectedSamples(static_cast<std::uint8_t>(i % 11), blocks[i])) << i;
    }
  }
}

TEST(Tk40Faults, BlocksPastTheEndOfTheVolumeAreCounted) {
  test::TempDir dir;
  DiscImage img = Tk40Disc({Tk40Block(), Tk40Block(), Tk40Block(), Tk40Block(), Tk40Block()}, 2);
  img.Resize(static_cast<std::size_t>(Tk40BlockOffset(2 + 3) + 100));  // blocks 3 and 4 of the record are gone
  const Converted r = Convert(img, dir.File("end.zep"));
  EXPECT_EQ(r.res.status, ConvertStatus::Incomplete);
  EXPECT_EQ(r.res.failedUnits, 2);
  EXPECT_EQ(r.rec.pings.size(), 3u);
  EXPECT_NE(r.res.reason.find("beyond the end"), std::string::npos) << r.res.reason;
}

TEST(Tk40Faults, BlocksBeforeTheStartOfTheVolumeFail) {
  // Block -5 would start at byte -4096; block -4 is byte 0, the directory.
  test::TempDir dir;
  DiscImage img(SourceType::Tk40);
  EntrySpec entry;
  entry.first = -5;
  entry.second = -3;
  img.Entry(0, entry).Resize(16384);
  const Converted r = Convert(img, dir.File("neg.zep"));
  EXPECT_EQ(r.res.failedUnits, 1);
  ASSERT_EQ(r.rec.pings.size(), 1u);
  EXPECT_EQ(r.rec.pings[0].pingIndex, 1u);
}

TEST(Tk40Faults, ModeCodes11To15GiveNoPingAndCarryNothing) {
  test::TempDir dir;
  for (std::uint8_t code = 11; code <= 15; ++code) {
    SCOPED_TRACE(static_cast<int>(code));
    const std::vector<Tk40Block> blocks = {
        Tk40Block().Text("111").Value26(0x1111),
        Tk40Block().ModeCode(code).Text("222").Value26(0x2222),
        Tk40Block(),
    };
    const Converted r = Convert(Tk40Disc(blocks), dir.File("code.zep"));
    EXPECT_EQ(r.res.result, 1);
    EXPECT_EQ(r.res.status, ConvertStatus::Incomplete);
    EXPECT_EQ(r.res.failedUnits, 0);
    EXPECT_EQ(r.res.skippedUnits, 1);
    EXPECT_NE(r.res.reason.find("mode code"), std::string::npos) << r.res.reason;
    EXPECT_EQ(r.log.positions, Iota(3));
    ASSERT_EQ(r.rec.pings.size(), 2u);
    EXPECT_EQ(r.rec.pings[1].pingIndex, 2u);
    EXPECT_EQ(GpsTextOf(r.rec.pings[1].header.data()), "111");
    EXPECT_EQ(GetU16(r.rec.pings[1].header.data() + 26), 0x1111);
  }
}

TEST(Tk40Faults, VolumeThatCannotBeOpened) {
  test::TempDir dir;
  ProgressLog log;
  const ConvertResult r = ConvertTk40Record(dir.File("x.zep"), Tk40Disc({Tk40Block()}).Directory(), 0,
                                            test::FailingOpener("CreateFileA(\\\\.\\Q:): not ready"), log.progress());
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.status, ConvertStatus::VolumeFailed);
  EXPECT_EQ(r.reason, "CreateFileA(\\\\.\\Q:): not ready");
  EXPECT_FALSE(std::filesystem::exists(dir.File("x.zep")));
  EXPECT_TRUE(log.ranges.empty());
}

TEST(Tk40Faults, OutputThatCannotBeCreated) {
  test::TempDir dir;
  const DiscImage img = Tk40Disc({Tk40Block()});
  test::MemoryVolume vol(img.bytes());
  ProgressLog log;
  const std::string path = (dir.path() / "no such folder" / "x.zep").string();
  const ConvertResult r = ConvertTk40Record(path, img.Directory(), 0, test::OpenerFor(&vol), log.progress());
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.status, ConvertStatus::OutputFailed);
  EXPECT_NE(r.reason.find("x.zep"), std::string::npos) << r.reason;
  EXPECT_TRUE(vol.reads().empty());
  EXPECT_TRUE(log.ranges.empty());
}

TEST(Tk40Faults, WriteFailureRemovesThePartialFile) {
  test::TempDir dir;
  const std::string path = dir.File("full.zep");
  // 1500 pings of rule 4 make a file of 6 MB, past a limit of 4 MiB.
  test::PatternTk40Volume vol(1500, [](std::int64_t n, std::uint8_t* b) {
    std::memset(b, static_cast<int>(n), 4096);
    b[tk40::kModeCode] = 2;
  });
  EntrySpec entry;
  entry.first = 0;
  entry.second = 1500;
  const RecordDirectory d = DiscImage(SourceType::Tk40).Entry(0, entry).Directory();
  ConvertResult r;
  {
    test::FileSizeLimit limit(4 << 20);
    if (!limit.active()) GTEST_SKIP() << limit.whyNot();
    ASSERT_LT(limit.limit(), 1500u * 4096);
    r = ConvertTk40Record(path, d, 0, test::BorrowVolume(&vol));
  }
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.status, ConvertStatus::WriteFailed);
  EXPECT_FALSE(r.reason.empty());
  EXPECT_FALSE(std::filesystem::exists(path));
}

}  // namespace
}  // namespace zep
