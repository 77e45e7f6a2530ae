// The two record converters and the walker that judges their files: the
// ModeTable and sample rules through whole pings, the PingHeader fields,
// carry-forward within a record and its reset between records, counts of zero
// and below, the progress protocol, ZEP copies, and the mended faults.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "convert/convert.h"
#include "convert/record_file.h"
#include "convert/tk40_convert.h"
#include "tests/support/disc_image.h"
#include "tests/support/fake_volume.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/record_check.h"
#include "tests/support/temp_dir.h"

namespace zep {
namespace {

using test::DiscImage;
using test::EntrySpec;
using test::Tk40Block;
using Bytes = std::vector<std::uint8_t>;

struct ProgressLog {
  std::vector<std::uint16_t> ranges;
  std::vector<std::int32_t> positions;
  Progress progress() {
    return {[this](std::uint16_t m) { ranges.push_back(m); }, [this](std::int32_t p) { positions.push_back(p); }};
  }
};

std::vector<std::int32_t> Iota(std::int64_t n) {
  std::vector<std::int32_t> v(static_cast<std::size_t>(n));
  for (std::size_t i = 0; i < v.size(); ++i) v[i] = static_cast<std::int32_t>(i);
  return v;
}

// A TK40 disc holding one record in slot 0 at blocks first.., one per block given.
DiscImage Tk40Disc(const std::vector<Tk40Block>& blocks, std::int32_t first = 10, EntrySpec entry = {}) {
  DiscImage img(SourceType::Tk40);
  entry.first = first;
  entry.second = first + static_cast<std::int32_t>(blocks.size());
  img.Entry(0, entry);
  for (std::size_t i = 0; i < blocks.size(); ++i) img.Block(first + static_cast<std::int64_t>(i), blocks[i]);
  return img;
}

// One ping record that fills a sector exactly.
Bytes SectorPing(std::uint32_t index) { return test::MakePingRecord(1792, index, 6); }

// A ZEP V1.X record in slot 0; its first two sectors, never copied, hold a
// marker, the rest one ping each. Only sectorsOnDisc of them are written.
DiscImage ZepDisc(std::int32_t firstSector, std::int32_t sectorCount, std::int32_t sectorsOnDisc = -1) {
  DiscImage img(SourceType::ZepV1);
  img.Entry(0, {.first = firstSector, .second = sectorCount});
  const std::int32_t present = sectorsOnDisc < 0 ? sectorCount : sectorsOnDisc;
  for (std::int32_t s = 0; s < present; ++s) {
    img.Sector(firstSector + s, s < 2 ? Bytes(2048, 0xEE) : SectorPing(static_cast<std::uint32_t>(s - 2)));
  }
  return img;
}

struct Converted {
  ConvertResult res;
  test::WalkedRecord rec;  // bytes left empty for files of 16 MiB and more
  ProgressLog log;
};

// Runs the image's converter. A TK40 file must walk whole; a ZEP copy may hold
// zero sectors, where its walk stops.
Converted Convert(test::MemoryVolume& vol, SourceType type, const RecordDirectory& dir, const std::string& path,
              int slot = 0) {
  Converted r;
  const auto convert = type == SourceType::Tk40 ? ConvertTk40Record : CopyZepRecord;
  r.res = convert(path, dir, slot, test::OpenerFor(&vol), r.log.progress());
  if (r.res.result != 1) return r;
  if (type == SourceType::Tk40) {
    r.rec = test::WalkWhole(path);
  } else {
    r.rec.walk = WalkRecordFile(path, [&](const PingInfo& p) { r.rec.pings.push_back(p); });
    if (r.rec.walk.size < (16u << 20)) r.rec.bytes = test::ReadWholeFile(path);
  }
  return r;
}

Converted Convert(const DiscImage& img, const std::string& path) {
  test::MemoryVolume vol(img.bytes());
  return Convert(vol, img.type(), img.Directory(), path);
}

// The sample rules as the rule table states them, written apart from the
// converter's code: 255 - x, halving each byte before the sum.
Bytes ExpectedSamples(std::uint8_t code, const Tk40Block& b) {
  const std::uint8_t* s = b.bytes.data();
  Bytes out;
  auto c = [](int x) { return static_cast<std::uint8_t>(255 - x); };
  switch (code & 0x0F) {
    case 0: case 8: case 10:  // rule 1
      for (int k = 0; k <= 3837; k += 3) out.push_back(c(s[k] / 2 + s[k + 2] / 2));
      break;
    case 7:  // rule 2
      for (int k = 0; k <= 3838; k += 2) out.push_back(c(s[k] / 2 + s[k + 1] / 2));
      break;
    case 1: case 4:  // rule 3
      for (int k = 0; k <= 3837; k += 3) out.insert(out.end(), {c(s[k]), c(s[k + 2])});
      break;
    case 2: case 3: case 5:  // rule 4
      for (int k = 0; k <= 3839; ++k) out.push_back(c(s[k]));
      break;
    case 6:  // rule 5
      for (int k = 0; k <= 3837; k += 3) out.insert(out.end(), {c(s[k]), c(s[k + 1]), c(s[k + 1]), c(s[k + 2])});
      break;
    case 9:  // no rule: our choice, zeros
      out.assign(1280, 0);
      break;
  }
  return out;
}

Bytes SamplesOf(const test::WalkedRecord& rec, std::size_t i) {
  const PingInfo& p = rec.pings.at(i);
  const auto* begin = rec.bytes.data() + p.offset + kPingHeaderSize;
  return {begin, begin + p.sampleCount};
}

const struct {
  std::uint8_t code, mode;
  std::uint16_t count;
} kModeRows[] = {{0, 3, 1280},  {1, 5, 2560}, {2, 6, 3840}, {3, 6, 3840}, {4, 8, 2560}, {5, 9, 3840},
                 {6, 10, 5120}, {7, 4, 1920}, {8, 7, 1280}, {9, 2, 1280}, {10, 3, 1280}};

TEST(Tk40Convert, ModeTableAndSampleRulesThroughWholePings) {
  test::TempDir dir;
  std::vector<Tk40Block> blocks;
  for (const auto& row : kModeRows) {
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
    EXPECT_EQ(r.rec.pings[i].pingIndex, i);  // the place in the record, not the block number
    EXPECT_EQ(SamplesOf(r.rec, i), ExpectedSamples(kModeRows[i].code, blocks[i]));
    size += 256 + kModeRows[i].count;
  }
  EXPECT_EQ(r.res.bytesWritten, size);
  EXPECT_EQ(r.res.zeroFilledPings, 1);
}

TEST(Tk40Convert, SampleRulesOnRevealingBytes) {
  // Bytes that show halving before adding (two odd bytes lose both low bits)
  // and the complement.
  const struct {
    const char* name;
    std::uint8_t code;
    Bytes samples;  // block bytes from 0
    Bytes first;    // the ping's first sample bytes
  } cases[] = {
      {"rule 1: 01 . 01 gives FF", 0, {0x01, 0xFF, 0x01}, {0xFF}},
      {"rule 1: FF . FF gives 01 (mode code 10)", 10, {0xFF, 0x00, 0xFF, 0x03, 0x77, 0x03}, {0x01, 0xFD}},
      {"rule 2: 01 01 gives FF", 7, {0x01, 0x01, 0xFF, 0xFF}, {0xFF, 0x01}},
      {"rule 3 (mode code 4)", 4, {0x00, 0x55, 0xF0, 0x12, 0x34, 0x56}, {0xFF, 0x0F, 0xED, 0xA9}},
      {"rule 4 (mode code 5)", 5, {0x00, 0x10, 0xFF, 0x80}, {0xFF, 0xEF, 0x00, 0x7F}},
      {"rule 5: 00 10 FF", 6, {0x00, 0x10, 0xFF}, {0xFF, 0xEF, 0xEF, 0x00}},
      {"mode code 9: zeros", 9, {0x12, 0x34, 0x56}, {0x00, 0x00, 0x00}},
  };
  test::TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Tk40Block b;
    std::copy(c.samples.begin(), c.samples.end(), b.bytes.begin());
    b.ModeCode(c.code);
    const Converted r = Convert(Tk40Disc({b}), dir.File("rule.zep"));
    ASSERT_EQ(r.rec.pings.size(), 1u);
    const auto samples = SamplesOf(r.rec, 0);
    ASSERT_GE(samples.size(), c.first.size());
    EXPECT_EQ(Bytes(samples.begin(), samples.begin() + static_cast<std::ptrdiff_t>(c.first.size())), c.first);
    EXPECT_EQ(samples, ExpectedSamples(c.code, b));
  }
}

TEST(Tk40Convert, YearWideningAndDate) {
  test::TempDir dir;
  const std::pair<std::uint8_t, std::uint16_t> cases[] = {{0x00, 0x2000}, {0x89, 0x2089}, {0x90, 0x2090},
                                                          {0x91, 0x1991}, {0x99, 0x1999}, {0xFF, 0x19FF}};
  for (const auto& [year, widened] : cases) {
    SCOPED_TRACE(static_cast<int>(year));
    const Converted r = Convert(Tk40Disc({Tk40Block()}, 3, {.day = 0x31, .month = 0x12, .year = year}), dir.File("y.zep"));
    ASSERT_EQ(r.rec.pings.size(), 1u);
    EXPECT_EQ(r.rec.pings[0].year, widened);
    EXPECT_EQ(r.rec.pings[0].month, 0x12);
    EXPECT_EQ(r.rec.pings[0].day, 0x31);
  }
}

TEST(Tk40Convert, TrailerFields) {
  const struct {
    const char* name;
    std::vector<std::pair<int, std::uint8_t>> block;   // block offset, value
    std::vector<std::pair<int, std::uint8_t>> header;  // header offset, expected
  } cases[] = {
      {"3972 doubled", {{3972, 0xFF}}, {{22, 0xFE}, {23, 0x01}}},
      {"3975 = 7F", {{3975, 0x7F}}, {{16, 0x7F}, {17, 0x00}}},
      {"3975 = 80 sign-extended", {{3975, 0x80}}, {{16, 0x80}, {17, 0xFF}}},
      {"the words and bytes copied as they are",
       {{3973, 0x34}, {3974, 0x12}, {3976, 0xCD}, {3977, 0xAB}, {3978, 0x01}, {3979, 0x80}, {4094, 0x55}, {4095, 0xAA},
        {3968, 1}, {3969, 2}, {3970, 3}, {3980, 0x9C}},
       {{14, 0x34}, {15, 0x12}, {18, 0xCD}, {19, 0xAB}, {20, 0x01}, {21, 0x80}, {24, 0x55}, {25, 0xAA},
        {34, 1}, {35, 2}, {36, 3}, {38, 0x9C}}},
      {"flags FF keep 0D", {{3981, 0xFF}}, {{39, 0x0D}}},
      {"flags 02 are dropped", {{3981, 0x02}, {3982, 0x11}, {3983, 0x22}}, {{39, 0x00}, {26, 0}, {27, 0}, {54, 0}}},
      {"flags 04 pass through", {{3981, 0x04}}, {{39, 0x04}, {26, 0}, {54, 0}}},
      {"flag bit 0 takes 3982-3983", {{3981, 0x01}, {3982, 0x34}, {3983, 0x12}}, {{39, 0x01}, {26, 0x34}, {27, 0x12}}},
      {"mode byte A7 is code 7", {{3971, 0xA7}}, {{37, 4}, {4, 0x80}, {5, 0x07}}},
  };
  test::TempDir dir;
  for (const auto& c : cases) {
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

TEST(Tk40Convert, HeaderBytesNoFieldFillsStayZero) {
  test::TempDir dir;
  Tk40Block b;
  for (int k = 3840; k < 4096; ++k) b.Byte(k, 0xFF);
  b.ModeCode(0xF6);
  const Converted r = Convert(Tk40Disc({b}), dir.File("full.zep"));
  ASSERT_EQ(r.rec.pings.size(), 1u);
  const auto& h = r.rec.pings[0].header;
  for (int k = 6; k < 256; ++k) {
    const bool unused = k < 10 || k == 28 || k == 29 || (k >= 40 && k < 54) || k >= 118;
    if (unused) {
      EXPECT_EQ(h[k], 0) << k;
    }
  }
}

TEST(Tk40Convert, CarriesTextAndBytes26ForwardAndNotIntoTheNextRecord) {
  const std::vector<Tk40Block> blocks = {
      Tk40Block(),                                      // nothing yet
      Tk40Block().Text("$GPGLL,12.5").Value26(0x1234),  //
      Tk40Block(),                                      // repeats the one before
      Tk40Block().Text("AB"),                           // shorter text over the longer
      Tk40Block().Value26(0x5678),
      Tk40Block(),
  };
  DiscImage img = Tk40Disc(blocks, 0, {.year = 0x99});
  img.Entry(1, {.year = 0x01, .first = 6, .second = 8}).Block(6, Tk40Block()).Block(7, Tk40Block());
  test::MemoryVolume vol(img.bytes());
  test::TempDir dir;
  const Converted r = Convert(vol, SourceType::Tk40, img.Directory(), dir.File("a.zep"), 0);
  const Converted next = Convert(vol, SourceType::Tk40, img.Directory(), dir.File("b.zep"), 1);

  std::string first = "$GPGLL,12.5\r";
  first.resize(64, '\0');
  std::string second = first;
  second.replace(0, 3, "AB\r");
  const struct {
    std::string text;
    std::uint16_t v26;
    std::uint8_t flags;
  } expected[] = {{std::string(64, '\0'), 0, 0}, {first, 0x1234, 0x09}, {first, 0x1234, 0}, {second, 0x1234, 0x08},
                  {second, 0x5678, 0x01},        {second, 0x5678, 0}};
  ASSERT_EQ(r.rec.pings.size(), 6u);
  for (std::size_t i = 0; i < 6; ++i) {
    SCOPED_TRACE(i);
    const auto& h = r.rec.pings[i].header;
    EXPECT_EQ(std::string(h.begin() + 54, h.begin() + 54 + 64), expected[i].text);
    EXPECT_EQ(GetU16(h.data() + 26), expected[i].v26);
    EXPECT_EQ(r.rec.pings[i].flags, expected[i].flags);
  }
  EXPECT_EQ(GpsTextOf(r.rec.pings[3].header.data()), "AB");
  ASSERT_EQ(next.rec.pings.size(), 2u);
  for (const PingInfo& p : next.rec.pings) {
    EXPECT_EQ(p.header[54], 0);
    EXPECT_EQ(GetU16(p.header.data() + 26), 0);
    EXPECT_EQ(p.year, 0x2001);
  }
}

TEST(Tk40Convert, ZeroAndNegativeCounts) {
  test::TempDir dir;
  const struct {
    std::int32_t first, end;
    std::uint16_t range;
  } cases[] = {{5, 5, 0}, {5, 4, 65535}, {10, 0, 65526}, {0, -65536, 0}, {-3, -3, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.first) + ".." + std::to_string(c.end));
    DiscImage img(SourceType::Tk40);
    img.Entry(0, {.first = c.first, .second = c.end}).Block(0, Tk40Block()).Block(5, Tk40Block());
    const Converted r = Convert(img, dir.File("empty.zep"));
    EXPECT_EQ(r.res.result, 1);
    EXPECT_EQ(r.res.status, ConvertStatus::Done);
    EXPECT_EQ(r.res.units, 0);
    EXPECT_EQ(r.rec.bytes, Bytes(4096, 0));
    EXPECT_EQ(r.log.ranges, std::vector<std::uint16_t>{c.range});
    EXPECT_TRUE(r.log.positions.empty());
  }
}

TEST(Tk40Convert, ProgressRangeTakesTheLow16BitsAndFailedBlocksStillStep) {
  // 65537 blocks, all beyond the end of the volume: the range is 1, every
  // block steps the bar, and the file is the bare header.
  constexpr std::int64_t kBlocks = 65537;
  test::TempDir dir;
  DiscImage img(SourceType::Tk40);
  img.Entry(0, {.first = 0, .second = kBlocks});
  const Converted r = Convert(img, dir.File("wide.zep"));
  EXPECT_EQ(r.res.result, 1);
  EXPECT_EQ(r.res.status, ConvertStatus::Incomplete);
  EXPECT_EQ(r.res.failedUnits, kBlocks);
  EXPECT_EQ(r.log.ranges, std::vector<std::uint16_t>{1});
  EXPECT_EQ(r.log.positions, Iota(kBlocks));
  EXPECT_EQ(r.rec.bytes.size(), 4096u);
}

TEST(Tk40Faults, UnreadableBlocksGiveNoPingAndAreCounted) {
  const struct {
    const char* name;
    std::int64_t blocks, failFrom, failCount;
    char how = 'F';  // F: reads fail, S: a short read, E: the volume ends 100 bytes into the block
    const char* reason = "could not be read";
  } cases[] = {
      {"first", 3, 0, 1},
      {"middle", 3, 1, 1},
      {"last", 3, 2, 1},
      {"a run of 34", 70, 31, 34},
      {"short read", 20, 3, 1, 'S'},
      {"beyond the end", 5, 3, 2, 'E', "beyond the end"},
  };
  test::TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<Tk40Block> blocks;
    for (std::int64_t i = 0; i < c.blocks; ++i) {
      blocks.push_back(Tk40Block().Samples(static_cast<std::uint32_t>(i)).ModeCode(static_cast<std::uint8_t>(i % 11)));
    }
    DiscImage img = Tk40Disc(blocks, 3);
    if (c.how == 'E') img.Resize(static_cast<std::size_t>(Tk40BlockOffset(3 + c.failFrom) + 100));
    test::MemoryVolume vol(img.bytes());
    for (std::int64_t f = c.failFrom; f < c.failFrom + c.failCount; ++f) {
      if (c.how == 'S') vol.ShortRange(Tk40BlockOffset(3 + f) + 1000, 1);
      if (c.how == 'F') vol.FailRange(Tk40BlockOffset(3 + f) + 100, 1);
    }
    const Converted r = Convert(vol, SourceType::Tk40, img.Directory(), dir.File("bad.zep"));
    EXPECT_EQ(r.res.result, 1);
    EXPECT_EQ(r.res.status, ConvertStatus::Incomplete);
    EXPECT_EQ(r.res.failedUnits, c.failCount);
    EXPECT_EQ(r.res.units, c.blocks);
    EXPECT_NE(r.res.reason.find(c.reason), std::string::npos) << r.res.reason;
    EXPECT_EQ(r.log.positions, Iota(c.blocks));
    // Every other block is there, with its own place as pingIndex and its own samples.
    ASSERT_EQ(static_cast<std::int64_t>(r.rec.pings.size()), c.blocks - c.failCount);
    for (std::size_t k = 0; k < r.rec.pings.size(); ++k) {
      const auto n = static_cast<std::int64_t>(k);
      const auto i = static_cast<std::size_t>(n < c.failFrom ? n : n + c.failCount);
      EXPECT_EQ(r.rec.pings[k].pingIndex, i);
      EXPECT_EQ(SamplesOf(r.rec, k), ExpectedSamples(static_cast<std::uint8_t>(i % 11), blocks[i])) << i;
    }
  }
}

TEST(Tk40Faults, BlocksBeforeTheStartOfTheVolumeFail) {
  // Block -5 would start at byte -4096; block -4 is byte 0, the directory.
  test::TempDir dir;
  const Converted start = Convert(DiscImage(SourceType::Tk40).Entry(0, {.first = -5, .second = -3}).Resize(16384),
                              dir.File("neg.zep"));
  EXPECT_EQ(start.res.beyondEndUnits, 1);
  ASSERT_EQ(start.rec.pings.size(), 1u);
  EXPECT_EQ(start.rec.pings[0].pingIndex, 1u);
}

TEST(Tk40Faults, ModeCodes11To15GiveNoPingAndCarryNothing) {
  test::TempDir dir;
  for (std::uint8_t code = 11; code <= 15; ++code) {
    SCOPED_TRACE(static_cast<int>(code));
    const Converted r = Convert(Tk40Disc({Tk40Block().Text("111").Value26(0x1111),
                                      Tk40Block().ModeCode(code).Text("222").Value26(0x2222), Tk40Block()}),
                            dir.File("code.zep"));
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

TEST(ZepCopy, ZeroToThreeSectorsFromTheThirdOn) {
  test::TempDir dir;
  const struct {
    std::int32_t sectorCount;
    std::uint16_t range;
    std::size_t pings;
  } cases[] = {{-1, 65533}, {0, 65534}, {1, 65535}, {2, 0}, {3, 1, 1}, {4, 2, 2}, {5, 3, 3}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sectorCount);
    const Converted r = Convert(ZepDisc(20, c.sectorCount), dir.File("z.zep"));
    EXPECT_EQ(r.res.status, ConvertStatus::Done) << r.res.reason;
    EXPECT_EQ(r.log.ranges, std::vector<std::uint16_t>{c.range});
    EXPECT_EQ(r.log.positions, Iota(static_cast<std::int64_t>(c.pings)));
    EXPECT_TRUE(r.rec.walk.whole) << r.rec.walk.problem;
    Bytes expected(4096, 0);
    for (std::size_t s = 0; s < c.pings; ++s) {
      const Bytes ping = SectorPing(static_cast<std::uint32_t>(s));
      expected.insert(expected.end(), ping.begin(), ping.end());
    }
    EXPECT_TRUE(r.rec.bytes == expected);
  }
  // A first sector of 0: sectors 0 and 1 are skipped, the copy starts at byte 4096.
  const Converted zero = Convert(DiscImage(SourceType::ZepV1)
                                 .Entry(0, {.first = 0, .second = 4})
                                 .Sector(2, SectorPing(0))
                                 .Sector(3, SectorPing(1)),
                             dir.File("z0.zep"));
  EXPECT_TRUE(zero.rec.walk.whole) << zero.rec.walk.problem;
  EXPECT_EQ(zero.rec.walk.pings, 2u);
}

TEST(ZepCopy, CountsOf65536AndMoreTakeTheLow16BitsForTheRange) {
  // The range maximum is 0, the copy is not shortened. The disc ends 1000
  // bytes into the copy's fourth sector: it and all after it are zeros, counted.
  test::TempDir dir;
  const Converted r = Convert(ZepDisc(10, 2 + 65536, 2 + 4).Resize(ZepSectorOffset(10 + 2 + 3) + 1000),
                              dir.File("big.zep"));
  EXPECT_EQ(r.res.result, 1);
  EXPECT_NE(r.res.reason.find("beyond the end"), std::string::npos) << r.res.reason;
  EXPECT_EQ(r.log.ranges, std::vector<std::uint16_t>{0});
  EXPECT_EQ(r.log.positions, Iota(65536));
  EXPECT_EQ(r.rec.walk.size, 4096u + 65536u * 2048);
  EXPECT_EQ(r.res.failedUnits, 65536 - 3);
  EXPECT_EQ(r.rec.walk.pings, 3u);
  EXPECT_EQ(r.rec.walk.stoppedAt, 4096u + 3 * 2048);
}

TEST(ZepCopyFaults, UnreadableSectorsAreZerosAndCounted) {
  test::TempDir dir;
  for (const std::int64_t bad : {0, 64, 99}) {
    SCOPED_TRACE(bad);
    const DiscImage img = ZepDisc(7, 2 + 100);
    test::MemoryVolume vol(img.bytes());
    vol.FailRange(ZepSectorOffset(7 + 2 + bad) + 10, 1);
    const Converted r = Convert(vol, SourceType::ZepV1, img.Directory(), dir.File("hole.zep"));
    EXPECT_EQ(r.res.status, ConvertStatus::Incomplete);
    EXPECT_EQ(r.res.failedUnits, 1);
    EXPECT_NE(r.res.reason.find("written as zeros"), std::string::npos) << r.res.reason;
    EXPECT_EQ(r.log.positions, Iota(100));
    ASSERT_EQ(r.rec.bytes.size(), 4096u + 100 * 2048);
    for (std::int64_t s = 0; s < 100; ++s) {
      const auto* got = r.rec.bytes.data() + 4096 + 2048 * s;
      const Bytes expected = s == bad ? Bytes(2048, 0) : SectorPing(static_cast<std::uint32_t>(s));
      EXPECT_EQ(std::memcmp(got, expected.data(), 2048), 0) << s;
    }
    EXPECT_EQ(r.rec.walk.stoppedAt, static_cast<std::uint64_t>(4096 + 2048 * bad));
  }
}

// Both converters: the volume or output that cannot be opened, and a write
// that fails past 4 MiB (6 MB of pings).
std::vector<DiscImage> FaultDiscs() {
  return {Tk40Disc(std::vector<Tk40Block>(1500, Tk40Block().Samples(1).ModeCode(2)), 0), ZepDisc(3, 2 + 3000)};
}

TEST(ConvertFaults, VolumeOrOutputThatCannotBeOpened) {
  test::TempDir dir;
  for (const DiscImage& img : FaultDiscs()) {
    SCOPED_TRACE(static_cast<int>(img.type()));
    const auto convert = img.type() == SourceType::Tk40 ? ConvertTk40Record : CopyZepRecord;
    ProgressLog log;
    ConvertResult r = convert(dir.File("x.zep"), img.Directory(), 0, test::FailingOpener("CreateFileA: not ready"),
                              log.progress());
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.status, ConvertStatus::VolumeFailed);
    EXPECT_EQ(r.reason, "CreateFileA: not ready");
    EXPECT_FALSE(std::filesystem::exists(dir.File("x.zep")));

    test::MemoryVolume vol(img.bytes());
    r = convert((dir.path() / "missing" / "x.zep").string(), img.Directory(), 0, test::OpenerFor(&vol),
                log.progress());
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.status, ConvertStatus::OutputFailed);
    EXPECT_NE(r.reason.find("x.zep"), std::string::npos) << r.reason;
    EXPECT_TRUE(vol.reads().empty());
    EXPECT_TRUE(log.ranges.empty());
  }
}

TEST(ConvertFaults, WriteFailureRemovesThePartialFile) {
  test::TempDir dir;
  for (const DiscImage& img : FaultDiscs()) {
    SCOPED_TRACE(static_cast<int>(img.type()));
    test::MemoryVolume vol(img.bytes());
    const std::string path = dir.File("full.zep");
    ConvertResult r;
    {
      test::FileSizeLimit limit(4 << 20);
      if (!limit.active()) GTEST_SKIP() << limit.whyNot();
      ASSERT_LT(limit.limit(), 6000000u);
      r = (img.type() == SourceType::Tk40 ? ConvertTk40Record : CopyZepRecord)(path, img.Directory(), 0,
                                                                               test::OpenerFor(&vol), {});
    }
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.status, ConvertStatus::WriteFailed);
    EXPECT_FALSE(r.reason.empty());
    EXPECT_FALSE(std::filesystem::exists(path));
  }
}

TEST(RecordWalk, FindsWhatIsWrong) {
  Bytes good(4096, 0);
  for (const Bytes& p : {test::MakePingRecord(100, 0), test::MakePingRecord(0, 1)}) {
    good.insert(good.end(), p.begin(), p.end());
  }
  auto changed = [&](std::size_t size, std::size_t at = 0, std::uint8_t v = 0) {
    Bytes b = good;
    b.resize(size);
    if (at) b[at] = v;
    return b;
  };
  const struct {
    const char* name;
    Bytes bytes;
    std::uint64_t pings, stoppedAt;
  } cases[] = {
      {"short file header", Bytes(4000, 0), 0, 4000},
      {"non-zero file header", changed(good.size(), 17, 1), 2, good.size()},
      {"samples cut short", changed(4096 + 256 + 50), 0, 4096},
      {"header cut short", changed(4096 + 356 + 100), 1, 4096 + 356},
      {"no magic", changed(good.size(), 4096 + 356, 'X'), 1, 4096 + 356},
      {"a byte after the last ping", changed(good.size() + 1), 2, good.size()},
  };
  EXPECT_TRUE(WalkRecord(good).whole);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const RecordWalk w = WalkRecord(c.bytes);
    EXPECT_FALSE(w.whole);
    EXPECT_FALSE(w.problem.empty());
    EXPECT_EQ(w.pings, c.pings);
    EXPECT_EQ(w.stoppedAt, c.stoppedAt);
    EXPECT_EQ(w.size, c.bytes.size());
  }
}

}  // namespace
}  // namespace zep
