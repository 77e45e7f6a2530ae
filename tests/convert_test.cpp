// The record converters, the walker that judges their files, the packed GPS
// text decoder, the dump splitter (against a byte-by-byte transcription of its
// search), damaged entries, carving, the health check and NMEA sentences: each
// rule of the file format, and the mended faults.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <future>
#include <limits>
#include <map>
#include <numeric>
#include <optional>
#include <random>

#include "convert/carve.h"
#include "convert/disc_check.h"
#include "convert/nmea.h"
#include "convert/packed_text.h"
#include "convert/tk40_convert.h"
#include "convert/volume_stream.h"
#include "disc/unit_reader.h"
#include "disc/scan.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/record_check.h"

namespace zep {
namespace {

using test::DiscImage;
using test::Tk40Block;
using Bytes = std::vector<std::uint8_t>;

std::vector<std::int32_t> Iota(std::int64_t n) {
  std::vector<std::int32_t> v(static_cast<std::size_t>(n));
  return std::iota(v.begin(), v.end(), 0), v;
}

// A TK40 disc holding one record in slot 0 at blocks first.., one per block given.
DiscImage Tk40Disc(const std::vector<Tk40Block>& blocks, std::int32_t first = 10, test::EntrySpec entry = {}) {
  DiscImage img(SourceType::Tk40);
  entry.first = first;
  entry.second = first + static_cast<std::int32_t>(blocks.size());
  img.Entry(0, entry);
  for (std::size_t i = 0; i < blocks.size(); ++i) img.Block(first + static_cast<std::int64_t>(i), blocks[i]);
  return img;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// One ping record that fills a sector exactly.
Bytes SectorPing(std::uint32_t index) { return test::MakePingRecord(1792, index, 6); }

// count pings cycling through the given modes, numbered from first.
Bytes Pings(std::uint32_t first, int count, std::vector<std::uint8_t> modes) {
  Bytes out;
  for (int i = 0; i < count; ++i) {
    const std::uint8_t mode = modes[static_cast<std::size_t>(i) % modes.size()];
    out = Concat({out, test::MakePingRecord(kSampleCountTable[mode], first + static_cast<std::uint32_t>(i), mode)});
  }
  return out;
}

// A ZEP V1.X record in slot 0; its first two sectors, never copied, hold a
// marker, the rest one ping each. Only sectorsOnDisc of them are written.
DiscImage ZepDisc(std::int32_t firstSector, std::int32_t sectorCount, std::int32_t sectorsOnDisc = -1) {
  DiscImage img(SourceType::ZepV1);
  for (std::int32_t s = 0; s < (sectorsOnDisc < 0 ? sectorCount : sectorsOnDisc); ++s) {
    img.Sector(firstSector + s, s < 2 ? Bytes(2048, 0xEE) : SectorPing(static_cast<std::uint32_t>(s - 2)));
  }
  return std::move(img.Entry(0, {.first = firstSector, .second = sectorCount}));
}

struct Converted {
  ConvertResult res;
  test::WalkedRecord rec;
  std::vector<std::uint16_t> ranges;  // what the progress bar was told
  std::vector<std::int32_t> positions;
};

// Runs the image's converter on volume (default: the image's bytes). A TK40
// file must walk whole; a ZEP copy may hold zero sectors, where its walk stops.
Converted Convert(const DiscImage& img, const test::MemoryVolume* volume = nullptr, int slot = 0) {
  const test::TempDir dir;
  const std::string path = dir.File("r.zep");
  Converted r;
  r.res = test::ConvertWithCore(path, img, slot,
                                {[&](std::uint16_t m) { r.ranges.push_back(m); },
                                 [&](std::int32_t p) { r.positions.push_back(p); }},
                                volume);
  if (!r.res.Converted()) return r;
  if (img.type() == SourceType::Tk40) return r.rec = test::WalkWhole(path), r;
  r.rec.walk = WalkRecordFile(path, [&](const PingInfo& p) { r.rec.pings.push_back(p); });
  if (r.rec.walk.size < (16u << 20)) r.rec.bytes = test::ReadWholeFile(path);
  return r;
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
  const auto* begin = rec.bytes.data() + rec.pings.at(i).offset + kPingHeaderSize;
  return {begin, begin + rec.pings[i].sampleCount};
}

TEST(Tk40Convert, ModeTableAndSampleRulesThroughWholePings) {
  const std::pair<std::uint8_t, std::uint8_t> rows[] = {{0, 3}, {1, 5}, {2, 6}, {3, 6}, {4, 8}, {5, 9},
                                                        {6, 10}, {7, 4}, {8, 7}, {9, 2}, {10, 3}};  // code, mode
  std::vector<Tk40Block> blocks;
  for (auto [code, mode] : rows) blocks.push_back(Tk40Block().Samples(code).ModeCode(0xA0 | code));  // high bits: no matter
  const Converted r = Convert(Tk40Disc(blocks));
  ASSERT_EQ(r.rec.pings.size(), std::size(rows));
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    EXPECT_EQ(std::pair(r.rec.pings[i].mode, r.rec.pings[i].pingIndex), std::pair(rows[i].second, std::uint32_t(i)));
    EXPECT_EQ(SamplesOf(r.rec, i), ExpectedSamples(rows[i].first, blocks[i])) << int{rows[i].first};
  }
  EXPECT_EQ(r.res.zeroFilledPings, 1);
}

// The sample rules also have a build for the processor in use; it must give
// the portable build's bytes (and leave those past the samples alike).
TEST(Tk40Convert, ProcessorBuildOfTheSampleRulesGivesThePortableBytes) {
  std::mt19937 random(20081105);
  std::array<std::uint8_t, tk40::kBlockSize> block{};
  for (int round = 0; round < 40 * 16; ++round) {
    if (round % 16 == 0) for (auto& b : block) b = round == 0 ? 0 : round == 16 ? 0xFF : static_cast<std::uint8_t>(random());
    std::array<std::uint8_t, kMaxSampleCount> fast{}, portable{};
    const auto mode = static_cast<std::uint8_t>(round % 16);
    EXPECT_EQ(tk40::ConvertSamples(mode, block.data(), fast.data()), tk40::ConvertSamplesPortable(mode, block.data(), portable.data()));
    EXPECT_EQ(fast, portable) << "mode " << int{mode} << ", round " << round / 16;
  }
}

TEST(Tk40Convert, HeaderFieldsFromTheTrailerAndTheEntry) {
  using Pairs = std::vector<std::pair<int, std::uint8_t>>;
  const std::tuple<const char*, Pairs, Pairs, std::uint8_t> cases[] = {  // block offset, value; header offset, expected; year
      {"3972 doubled", {{3972, 0xFF}}, {{22, 0xFE}, {23, 0x01}}, 8},
      {"3975 sign-extended", {{3975, 0x80}}, {{16, 0x80}, {17, 0xFF}}, 8},
      {"words and bytes copied",
       {{3973, 0x34}, {3974, 0x12}, {3976, 0xCD}, {3977, 0xAB}, {3978, 0x01}, {3979, 0x80}, {4094, 0x55}, {4095, 0xAA},
        {3968, 1}, {3969, 2}, {3970, 3}, {3980, 0x9C}},
       {{14, 0x34}, {15, 0x12}, {18, 0xCD}, {19, 0xAB}, {20, 0x01}, {21, 0x80}, {24, 0x55}, {25, 0xAA},
        {34, 1}, {35, 2}, {36, 3}, {38, 0x9C}}, 8},
      {"flags FF keep 0D", {{3981, 0xFF}}, {{39, 0x0D}}, 8},
      {"flags 02 dropped", {{3981, 0x02}, {3982, 0x11}, {3983, 0x22}}, {{39, 0x00}, {26, 0}, {27, 0}, {54, 0}}, 8},
      {"flags 04 pass", {{3981, 0x04}}, {{39, 0x04}, {26, 0}, {54, 0}}, 8},
      {"flag bit 0 takes 3982-3983", {{3981, 0x01}, {3982, 0x34}, {3983, 0x12}}, {{39, 0x01}, {26, 0x34}, {27, 0x12}}, 8},
      {"mode byte A7 is code 7", {{3971, 0xA7}}, {{37, 4}, {4, 0x80}, {5, 0x07}}, 8},
      {"year 90 is 2090", {}, {{30, 0x90}, {31, 0x20}, {32, 0x12}, {33, 0x31}}, 0x90},
      {"year 91 is 1991", {}, {{30, 0x91}, {31, 0x19}}, 0x91},
  };
  for (const auto& [name, block, header, year] : cases) {
    SCOPED_TRACE(name);
    Tk40Block b;
    for (auto [at, v] : block) b.Byte(at, v);
    const Converted r = Convert(Tk40Disc({Tk40Block(), b}, 10, {.day = 0x31, .month = 0x12, .year = year}));
    ASSERT_EQ(r.rec.pings.size(), 2u);
    for (auto [at, v] : header) EXPECT_EQ(r.rec.pings[1].header[static_cast<std::size_t>(at)], v) << "byte " << at;
  }
  // A trailer all 0xFF fills no byte that has no field.
  Tk40Block full;
  for (int k = 3840; k < 4096; ++k) full.Byte(k, 0xFF);
  const Converted r = Convert(Tk40Disc({full.ModeCode(0xF6)}));
  ASSERT_EQ(r.rec.pings.size(), 1u);
  for (int k = 6; k < 256; ++k) {
    const bool unused = k < 10 || k == 28 || k == 29 || (k >= 40 && k < 54) || k >= 118;
    EXPECT_TRUE(!unused || r.rec.pings[0].header[k] == 0) << k;
  }
}

TEST(Tk40Convert, CarriesTextAndBytes26ForwardAndNotIntoTheNextRecord) {
  DiscImage img = Tk40Disc({Tk40Block(), Tk40Block().Text("$GPGLL,12.5").Value26(0x1234), Tk40Block(),
                            Tk40Block().Text("AB"), Tk40Block().Value26(0x5678), Tk40Block()},
                           0);
  img.Entry(1, {.first = 6, .second = 8}).Block(6, Tk40Block()).Block(7, Tk40Block());
  const Converted r = Convert(img), next = Convert(img, nullptr, 1);
  std::string first = "$GPGLL,12.5\r";
  first.resize(64, '\0');
  const std::string second = "AB\r" + first.substr(3);  // the shorter text over the longer
  using Ping = std::tuple<std::string, std::uint16_t, std::uint8_t>;  // text, bytes 26-27, flags
  const Ping expected[] = {{std::string(64, '\0'), 0, 0}, {first, 0x1234, 0x09}, {first, 0x1234, 0},
                           {second, 0x1234, 0x08},        {second, 0x5678, 0x01}, {second, 0x5678, 0}};
  ASSERT_EQ(r.rec.pings.size(), 6u);
  for (std::size_t i = 0; i < 6; ++i) {
    const auto& h = r.rec.pings[i].header;
    EXPECT_EQ(Ping(std::string(h.begin() + 54, h.begin() + 118), GetU16(h.data() + 26), h[39]), expected[i]) << i;
  }
  ASSERT_EQ(next.rec.pings.size(), 2u);
  for (const PingInfo& p : next.rec.pings) EXPECT_TRUE(p.header[54] == 0 && GetU16(p.header.data() + 26) == 0);
}

// Counts of zero and below give the bare file header; the range is the low
// 16 bits of the count, and blocks that fail still step the bar.
TEST(Tk40Convert, CountsAndProgressRange) {
  const std::tuple<std::int32_t, std::int32_t, std::uint16_t> cases[] = {  // first, end block, range
      {5, 5, 0}, {5, 4, 65535}, {10, 0, 65526}, {0, -65536, 0}, {-3, -3, 0}, {0, 65537, 1}};
  for (const auto& [first, end, range] : cases) {
    SCOPED_TRACE(std::to_string(first) + ".." + std::to_string(end));
    const std::int64_t n = std::max(end - first, 0);  // all past the end of the volume
    const Converted r = Convert(DiscImage(SourceType::Tk40).Entry(0, {.first = first, .second = end}));
    EXPECT_EQ(std::pair(r.res.status, r.res.failedUnits), std::pair(n ? ConvertStatus::Incomplete : ConvertStatus::Done, n));
    EXPECT_EQ(r.rec.bytes, Bytes(4096, 0));
    EXPECT_EQ(r.ranges, std::vector<std::uint16_t>{range});
    EXPECT_EQ(r.positions, Iota(n));
  }
}

TEST(Tk40Faults, UnreadableBlocksGiveNoPingAndAreCounted) {
  const struct {
    const char* name;
    std::int64_t blocks, failFrom, failCount;
    char how = 'F';  // F: reads fail, S: a short read, E: the volume ends 100 bytes into the block
  } cases[] = {
      {"last", 3, 2, 1}, {"a run of 34 across batches", 70, 31, 34}, {"short read", 20, 3, 1, 'S'},
      {"beyond the end", 5, 3, 2, 'E'},
  };
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
    const Converted r = Convert(img, &vol);
    EXPECT_EQ(std::pair(r.res.status, r.res.failedUnits), std::pair(ConvertStatus::Incomplete, c.failCount));
    ASSERT_EQ(test::KindsOf(r.res.problems), std::vector{ProblemKind::kUnreadable});
    EXPECT_EQ(r.res.problems[0].units, c.failCount);
    if (c.how == 'E') {
      EXPECT_NE(r.res.problems[0].what.find("beyond the end"), std::string::npos);
    }
    EXPECT_EQ(r.positions, Iota(c.blocks));
    // Every other block is there, with its own place as pingIndex and its own samples.
    ASSERT_EQ(static_cast<std::int64_t>(r.rec.pings.size()), c.blocks - c.failCount);
    for (std::size_t k = 0; k < r.rec.pings.size(); ++k) {
      const auto i = static_cast<std::size_t>(static_cast<std::int64_t>(k) < c.failFrom ? k : k + c.failCount);
      EXPECT_EQ(r.rec.pings[k].pingIndex, i);
      EXPECT_EQ(SamplesOf(r.rec, k), ExpectedSamples(static_cast<std::uint8_t>(i % 11), blocks[i])) << i;
    }
  }
}

TEST(Tk40Faults, ModeCodes11To15GiveNoPingAndCarryNothing) {
  for (std::uint8_t code = 11; code <= 15; ++code) {
    const Converted r = Convert(Tk40Disc({Tk40Block().Text("111").Value26(0x1111),
                                          Tk40Block().ModeCode(code).Text("222").Value26(0x2222), Tk40Block()}));
    EXPECT_EQ(std::tuple(r.res.status, r.res.skippedUnits, r.positions), std::tuple(ConvertStatus::Incomplete, 1, Iota(3)));
    ASSERT_EQ(test::KindsOf(r.res.problems), std::vector{ProblemKind::kOther});
    EXPECT_EQ(r.res.problems[0].units, 1);
    ASSERT_EQ(r.rec.pings.size(), 2u);
    const auto& h = r.rec.pings[1].header;
    EXPECT_EQ(std::tuple(r.rec.pings[1].pingIndex, GpsTextOf(h.data()), GetU16(h.data() + 26)), std::tuple(2u, "111", 0x1111));
  }
}

// An unreadable sector is zeros, counted and named in the file's map; the
// rows put one at the edges of the batches of 64.
TEST(ZepCopy, SectorsFromTheThirdOnTheRangeAndUnreadableSectors) {
  const std::tuple<std::int32_t, std::int32_t, std::uint16_t, std::int64_t, std::int64_t> cases[] = {
      // first sector, sector count, range, pings, the unreadable sector (-1: none)
      {20, -1, 65533, 0, -1}, {20, 0, 65534, 0, -1}, {20, 2, 0, 0, -1}, {20, 3, 1, 1, -1}, {20, 5, 3, 3, -1},
      {0, 4, 2, 2, -1},       {7, 102, 100, 100, 0}, {7, 102, 100, 100, 64}, {7, 102, 100, 100, 99}};
  for (const auto& [first, sectorCount, range, pings, bad] : cases) {
    SCOPED_TRACE(std::to_string(sectorCount) + " sectors, unreadable " + std::to_string(bad));
    const DiscImage img = ZepDisc(first, sectorCount);
    test::MemoryVolume vol(img.bytes());
    if (bad >= 0) vol.FailRange(ZepSectorOffset(first + 2 + bad) + 10, 1);
    const Converted r = Convert(img, &vol);
    EXPECT_EQ(std::tuple(r.res.status, r.res.failedUnits, r.ranges, r.positions),
              std::tuple(bad < 0 ? ConvertStatus::Done : ConvertStatus::Incomplete, bad < 0 ? 0 : 1, std::vector{range}, Iota(pings)));
    EXPECT_EQ(test::KindsOf(r.res.problems),
              bad < 0 ? std::vector<ProblemKind>{} : std::vector{ProblemKind::kUnreadable});
    EXPECT_EQ(r.rec.walk.unreadBytes, bad < 0 ? 0u : 2048u);
    Bytes expected(4096, 0);
    for (std::int64_t s = 0; s < pings; ++s)
      expected = Concat({expected, s == bad ? Bytes(2048, 0) : SectorPing(static_cast<std::uint32_t>(s))});
    EXPECT_TRUE(r.rec.bytes == expected);
  }
  // A count of 65536 and more: the range maximum is 0, the copy is not
  // shortened. The disc ends 1000 bytes into the fourth sector: those bytes
  // are kept, the rest of it and all after it are zeros, counted and unread.
  const Converted r = Convert(ZepDisc(10, 2 + 65536, 2 + 4).Resize(ZepSectorOffset(10 + 2 + 3) + 1000));
  EXPECT_EQ(test::KindsOf(r.res.problems), (std::vector{ProblemKind::kUnreadable, ProblemKind::kPastEnd}));
  EXPECT_EQ(r.ranges, std::vector<std::uint16_t>{0});
  EXPECT_EQ(r.positions, Iota(65536));
  EXPECT_EQ(r.rec.walk.size, 4096u + 65536u * 2048);
  EXPECT_EQ(std::pair(r.res.failedUnits, r.res.cutUnits), std::pair(std::int64_t{65536 - 4}, std::int64_t{1}));
  EXPECT_EQ(r.rec.walk.unreadBytes, 65533u * 2048 - 1000);
  // Ping 3's header is among the kept bytes: the walk hands it over.
  EXPECT_EQ(std::tuple(r.rec.walk.pings, r.rec.walk.unreadPings, r.rec.pings.back().unread.front().begin),
            std::tuple(4u, 1u, 1000u - 256u));
}

// Both converters: the volume or output that cannot be opened, and a write
// that fails past 4 MiB (6 MB of pings) removes the partial file.
TEST(ConvertFaults, OpenOrWriteFailureLeavesNoFile) {
  const test::TempDir dir;
  for (const DiscImage& img :
       {Tk40Disc(std::vector<Tk40Block>(1500, Tk40Block().Samples(1).ModeCode(2)), 0), ZepDisc(3, 2 + 3000)}) {
    SCOPED_TRACE(static_cast<int>(img.type()));
    const std::string path = dir.File("x.zep");
    ConvertResult r = test::ConverterFor(img.type())(path, img.Directory(), 0, test::FailingOpener("CreateFileA: not ready"), {});
    ASSERT_EQ(test::KindsOf(r.problems), std::vector{ProblemKind::kUnreadable});
    EXPECT_EQ(std::pair(r.status, r.problems[0].what), std::pair(ConvertStatus::VolumeFailed, std::string("CreateFileA: not ready")));
    r = test::ConvertWithCore(dir.File("missing/x.zep"), img, 0);
    EXPECT_EQ(r.status, ConvertStatus::OutputFailed);
    ASSERT_EQ(test::KindsOf(r.problems), std::vector{ProblemKind::kWriteFailed});
    EXPECT_EQ(r.problems[0].subject, dir.File("missing/x.zep"));
    {
      test::FileSizeLimit limit(4 << 20);
      if (!limit.limit) GTEST_SKIP() << "no file size limit in force";
      ASSERT_LT(limit.limit, 6000000u);
      r = test::ConvertWithCore(path, img, 0);
    }
    EXPECT_EQ(r.status, ConvertStatus::WriteFailed);
    EXPECT_EQ(test::KindsOf(r.problems), std::vector{ProblemKind::kWriteFailed});
    EXPECT_FALSE(std::filesystem::exists(path));
  }
}

TEST(RecordWalk, FindsWhatIsWrong) {
  const Bytes ping = test::MakePingRecord(100, 0), good = Concat({Bytes(4096, 0), ping, ping});
  auto changed = [&](std::size_t size, std::size_t at = 0) {
    Bytes b = good;
    b.resize(size);
    return at ? (b[at] = 'X', b) : b;
  };
  constexpr auto kCut = ProblemKind::kPastEnd, kOther = ProblemKind::kOther;
  const std::tuple<const char*, Bytes, std::uint64_t, std::uint64_t, ProblemKind> cases[] = {
      // pings, where the walk stops, what keeps it from being whole
      {"short file header", Bytes(4000, 0), 0, 4000, kCut},
      {"non-zero file header", changed(good.size(), 17), 2, good.size(), kOther},
      {"samples cut short", changed(4096 + 256 + 50), 0, 4096, kCut},
      {"header cut short", changed(4096 + 356 + 100), 1, 4096 + 356, kCut},
      {"no magic", changed(good.size(), 4096 + 356), 1, 4096 + 356, kOther},
      {"a byte after the last ping", changed(good.size() + 1), 2, good.size(), kOther},
  };
  EXPECT_TRUE(WalkRecord(good).Whole());
  // A ZEP V1.X copy ends with its last sector: zeros after the last ping up to
  // a sector boundary are padding, one more sector of them is not.
  for (const std::size_t size : {6144, 8192}) {
    const RecordWalk w = WalkRecord(changed(size));
    EXPECT_EQ(std::tuple(w.Whole(), w.pings, w.stoppedAt, w.padding), std::tuple(size == 6144, 2u, good.size(), size == 6144 ? 1336u : 0u));
  }
  for (const auto& [name, bytes, pings, stoppedAt, kind] : cases) {
    const RecordWalk w = WalkRecord(bytes);
    EXPECT_EQ(std::tuple(w.Whole(), w.problems.empty(), w.pings, w.stoppedAt, w.NotWholeKind()),
              std::tuple(false, false, pings, stoppedAt, kind))
        << name;
  }
}

// Zeros where sectors did not read: the walk searches on for the next ping
// that passes the carving checks and counts after the last, and names the gap.
TEST(RecordWalk, GoesOnPastAHole) {
  const Bytes pings = Pings(0, 6, {0});  // 896 bytes each
  auto zeroed = [&](std::size_t from, std::size_t n) {
    Bytes b = Concat({Bytes(4096, 0), pings});
    std::fill_n(b.begin() + static_cast<std::ptrdiff_t>(4096 + from), n, 0);
    return b;
  };
  const std::tuple<const char*, Bytes, std::vector<std::uint32_t>, std::string> cases[] = {  // pings walked, problem
      {"two headers lost", zeroed(896 + 100, 2 * 896), {0, 1, 4, 5},
       "1 hole: bytes 5888 to 7679 (no \"VORL\" at byte 5888), pings 2 to 3 missing"},
      {"the first ping lost", zeroed(0, 300), {1, 2, 3, 4, 5},
       "1 hole: bytes 4096 to 4991 (no \"VORL\" at byte 4096), ping 0 missing"},
      {"an index that does not count up is no ping to go on at", [&] {
         Bytes b = zeroed(896 + 100, 2 * 896);
         b[4096 + 4 * 896 + ping::kPingIndex] = 0;
         return b;
       }(), {0, 1, 5}, "1 hole: bytes 5888 to 8575 (no \"VORL\" at byte 5888), pings 2 to 4 missing"},
      {"nothing to go on at", zeroed(5 * 896, 500), {0, 1, 2, 3, 4}, "no \"VORL\" at byte 8576"},
  };
  for (const auto& [name, bytes, walked, problem] : cases) {
    std::vector<std::uint32_t> indexes;
    const RecordWalk w = WalkRecord(bytes, [&](const PingInfo& p) { indexes.push_back(p.pingIndex); });
    EXPECT_EQ(std::tuple(w.Whole(), indexes, w.NotWholeText(), w.size), std::tuple(false, walked, problem, bytes.size())) << name;
  }
}

// A header that did not read, with no ping after it to go on at: the walk
// ends there and says why, once. (A walk that does not end fails the run
// rather than hanging it.)
TEST(RecordWalk, EndsAtAnUnreadHeaderWithNothingAfterIt) {
  const Bytes file = Concat({Bytes(4096, 0), Pings(0, 6, {0})});  // 896 bytes a ping
  const std::tuple<const char*, std::size_t, std::size_t, std::vector<std::uint32_t>, std::string> cases[] = {
      // name, unread from, bytes; pings walked, why not whole
      {"the last header", 4096 + 5 * 896, 256, {0, 1, 2, 3, 4}, "256 bytes could not be read; header not read at byte 8576"},
      {"the last ping whole", 4096 + 5 * 896, 896, {0, 1, 2, 3, 4},
       "896 bytes could not be read; header not read at byte 8576"},
      {"the first header", 4096, 256, {1, 2, 3, 4, 5},
       "1 hole: bytes 4096 to 4991 (header not read at byte 4096), ping 0 missing; 256 bytes could not be read"},
  };
  for (const auto& [name, from, n, walked, problem] : cases) {
    Bytes bytes = file;
    std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(from), n, 0);
    UnreadBytes unread;
    unread.Add(static_cast<std::int64_t>(from), static_cast<std::int64_t>(n));
    auto map = std::make_shared<const RescueMap>(unread.Map(static_cast<std::int64_t>(bytes.size())));
    auto walk = std::async(std::launch::async, [&, map] {
      std::vector<std::uint32_t> indexes;
      const RecordWalk w = WalkRecord(bytes, [&](const PingInfo& p) { indexes.push_back(p.pingIndex); }, map);
      return std::tuple(w.Whole(), indexes, w.NotWholeText(), w.problems.size() + w.gaps.size(), w.NotWholeKind());
    });
    if (walk.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
      std::fprintf(stderr, "the walk of %s does not end\n", name);
      std::_Exit(1);
    }
    EXPECT_EQ(walk.get(), std::tuple(false, walked, problem, std::size_t{1}, ProblemKind::kUnreadable)) << name;
  }
}

// Builds an area nibble by nibble, low half first; unwritten nibbles are 0.
struct Nibbles {
  std::array<std::uint8_t, 64> area{};
  int pos = 0;
  Nibbles& Put(int v) {
    area.at(pos >> 1) = static_cast<std::uint8_t>(area[pos >> 1] | (v & 0xF) << ((pos & 1) * 4));
    return ++pos, *this;
  }
  Nibbles& Byte(int b) { return Put(b & 0xF).Put(b >> 4); }  // a literal byte
  Nibbles& Repeat(int times, const std::function<void(Nibbles&)>& put) {
    for (int i = 0; i < times; ++i) put(*this);
    return *this;
  }
};

// Areas no encoder makes end where the format says: commands stand only at
// nibbles 0 to 63, a run reaching nibble 128 ends before it, 64 characters
// are the most. (Ordinary texts: the carry-forward test and zepconv info.)
TEST(PackedText, DecodesWhatWasPackedAndStopsAtTheAreasLimits) {
  auto group = [](std::initializer_list<int> symbols) {
    return [symbols](Nibbles& n) {
      n.Put(static_cast<int>(symbols.size()));
      for (int s : symbols) n.Put(s);
    };
  };
  Nibbles runAt63, halfByte;  // 21 one-character runs fill nibbles 0 to 62, then a run at 63
  runAt63.Repeat(21, [k = 0](Nibbles& n) mutable { n.Put(0).Byte(0x80 | ('A' + k++)); });
  runAt63.Put(0).Repeat(32, [k = 0](Nibbles& n) mutable { n.Byte('a' + k++ % 26); });
  halfByte.Repeat(20, [](Nibbles& n) { n.Put(0).Byte(0x80 | 'A'); }).Repeat(1, group({9})).Put(0);
  while (halfByte.pos < 127) halfByte.Byte('x');  // the 33rd byte would be nibbles 127 and 128
  const std::tuple<const char*, std::array<std::uint8_t, 64>, std::string> cases[] = {  // area, text
      {"five groups of 14 stop at 64 characters", Nibbles().Repeat(5, group({2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15})).area,
       "23456789,.$GPL23456789,.$GPL23456789,.$GPL23456789,.$GPL23456789"},
      // Nibbles 64 on would be a symbol group if read as commands.
      {"sixteen groups of 3 end at nibble 64",
       Nibbles().Repeat(16, group({1, 2, 3})).Repeat(32, [](Nibbles& n) { n.Put(2).Put(5); }).area,
       "123123123123123123123123123123123123123123123123"},
      // A group at nibble 63 takes its symbols from 64 to 66; 67 ends the text.
      {"group at nibble 63", Nibbles().Repeat(15, group({0, 0, 0})).Repeat(1, group({7, 8})).Repeat(1, group({13, 14, 15})).Put(1).area,
       std::string(45, '0') + "78GPL"},
      {"literal run cut by the area", runAt63.area, "ABCDEFGHIJKLMNOPQRSTUabcdefghijklmnopqrstuvwxyzabcdef"},
      {"half a byte left", halfByte.Put(0x7).area, std::string(20, 'A') + "9" + std::string(32, 'x')},
  };
  for (const auto& [name, area, text] : cases) {
    Bytes memory(192, 0x41), out(66, 0xA5);  // the bytes around the area would show as text
    std::copy(area.begin(), area.end(), memory.begin() + 64);
    const int n = DecodePackedText(out.data(), memory.data() + 64);
    EXPECT_EQ(std::string(out.begin(), out.begin() + n), text) << name;
    EXPECT_EQ(out[static_cast<std::size_t>(n)], n < 64 ? 0x0D : 0xA5) << name;
  }
}

// The search step by step, one byte per read, with the mend: a ping record
// cut short by the end of the dump is not written. Returns the files and the
// number of pings left out.
std::pair<std::vector<Bytes>, int> SplitByteByByte(const Bytes& dump) {
  std::vector<Bytes> files;
  int dropped = 0;
  std::size_t pos = 0;
  auto read = [&](std::uint8_t* dst, std::size_t n) {
    const std::size_t got = std::min(n, dump.size() - pos);
    std::copy_n(dump.begin() + static_cast<std::ptrdiff_t>(pos), got, dst);
    return pos += got, got;
  };
  std::uint8_t window[4] = {}, b = 0;
  for (int filled = 0; read(&b, 1);) {
    if (filled < 4) window[filled++] = b;
    else std::memmove(window, window + 1, 3), window[3] = b;
    if (filled < 4 || std::memcmp(window, "VORL", 4) != 0) continue;
    pos -= 4;
    Bytes file(4096, 0);
    std::uint8_t header[256] = {};
    std::size_t got;
    while ((got = read(header, 256)) >= 4 && std::memcmp(header, "VORL", 4) == 0) {
      Bytes samples(got >= 6 ? GetU16(header + 4) : 0);
      if (read(samples.data(), samples.size()) < samples.size() || got < 256) {
        ++dropped;  // cut short by the end of the dump; the next header read gives no bytes
        continue;
      }
      file = Concat({file, Bytes(header, header + 256), samples});
    }
    files.push_back(std::move(file));
    if (got == 0) break;
    std::memcpy(window, header, 4);  // the window restarts as the first four bytes of the 256
  }
  return {files, dropped};
}

// Splits the dump, walks every file, and expects what the reference finds.
SplitResult ExpectSameAsByteByByte(const Bytes& dump, const std::vector<Bytes>* stated = nullptr, int dropped = 0) {
  const test::TempDir dir;
  const SplitResult r = SplitScanDump(test::WriteWholeFile(dir.File("test.bin"), dump), dir.File("fond%i.zep"));
  EXPECT_TRUE(r.dumpOpened && r.failures.empty());
  std::vector<Bytes> files;
  for (std::size_t i = 0; i < r.files.size(); ++i) {
    EXPECT_EQ(r.files[i], dir.File("fond" + std::to_string(i) + ".zep"));
    files.push_back(test::WalkWhole(r.files[i]).bytes);
    EXPECT_EQ(r.filePings.at(i), WalkRecord(files.back()).pings);
  }
  const auto [refFiles, refDropped] = SplitByteByByte(dump);
  EXPECT_EQ(r.runs, static_cast<int>(refFiles.size()));
  EXPECT_EQ(r.droppedPartialPings, refDropped);
  EXPECT_TRUE(files == refFiles);
  EXPECT_TRUE(!stated || (files == *stated && refDropped == dropped));
  return r;
}

Bytes Garbage(std::size_t n) { return Bytes(n, 0x20); }
Bytes FileOf(std::initializer_list<Bytes> pings) { return Concat({Bytes(4096, 0), Concat(pings)}); }

// 256 bytes that end a run (they do not open with the magic), with texts placed in them.
Bytes Ender(std::initializer_list<std::pair<std::size_t, const char*>> texts) {
  Bytes b = Garbage(256);
  for (auto [at, text] : texts) std::memcpy(b.data() + at, text, std::strlen(text));
  return b;
}

TEST(DumpSplit, HandMadeDumps) {
  const Bytes a = test::MakePingRecord(1280, 0), b = test::MakePingRecord(3840, 1), z = test::MakePingRecord(0, 3);
  const Bytes cut(b.begin(), b.end() - 1), empty = FileOf({});
  const std::tuple<const char*, Bytes, std::vector<Bytes>, int> cases[] = {  // dump, files, pings left out
      {"runs with sampleCount 0 inside", Concat({Garbage(1000), a, z, Garbage(500), b}), {FileOf({a, z}), FileOf({b})}, 0},
      // A run ends at 256 bytes that do not open with the magic; a magic
      // wholly inside them after their first byte is never seen.
      {"magic inside the ending bytes", Concat({a, Ender({{1, "VORL"}, {252, "VORL"}}), Garbage(9)}), {FileOf({a})}, 0},
      // The window then holds their first four bytes: "VOR" + 'L' after them
      // is a magic, and the run starts 4 bytes back, where no magic is.
      {"window mixing VOR + L", Concat({a, Ender({{1, "VOR"}}), Bytes{'L'}, Garbage(600)}), {FileOf({a}), empty}, 0},
      {"magic straddling the ending bytes", Concat({a, Ender({{253, "VOR"}}), Bytes{'L'}, Garbage(600)}), {FileOf({a})}, 0},
      {"cut in the header", Concat({a, Bytes(b.begin(), b.begin() + 128)}), {FileOf({a})}, 1},
      {"one sample short", Concat({Garbage(9), a, cut}), {FileOf({a})}, 1},
  };
  for (const auto& [name, dump, files, dropped] : cases) {
    SCOPED_TRACE(name);
    ExpectSameAsByteByByte(dump, &files, dropped);
  }
}

// Under the dump's map its unread bytes are zeros to the search and in the
// files, whatever the dump holds there; a ping's unread samples are named in
// its file's own map, and 256 bytes with an unread one are no ping's header.
TEST(DumpSplit, UnreadBytesAreNeverTakenForData) {
  const Bytes a = test::MakePingRecord(1280, 0), b = test::MakePingRecord(640, 1), c = test::MakePingRecord(900, 2);
  Bytes holed = a;
  std::fill(holed.begin() + 266, holed.begin() + 276, 0);
  const std::int64_t afterA = static_cast<std::int64_t>(a.size());
  const std::tuple<const char*, Bytes, std::vector<std::pair<std::int64_t, std::int64_t>>, std::vector<Bytes>, std::uint64_t> cases[] = {
      // dump, its unread stretches, the files, their unread samples
      {"samples", Concat({Garbage(100), a, b, Garbage(300)}), {{100 + 266, 10}}, {FileOf({holed, b})}, 10},
      {"a header ends the run", Concat({a, b, c, Garbage(300)}), {{afterA + 100, 1}}, {FileOf({a}), FileOf({c})}, 0},
      {"a header starts none", Concat({Garbage(50), a, Garbage(300)}), {{250, 1}}, {}, 0},
      {"the magic itself", Concat({Garbage(50), a, Garbage(300)}), {{50, 4}}, {}, 0},
      {"the window after a run", Concat({a, Ender({{1, "VOR"}}), Bytes{'L'}, Garbage(600)}), {{afterA + 256, 1}}, {FileOf({a})}, 0},
  };
  for (const auto& [name, dump, stretches, files, unreadSamples] : cases) {
    SCOPED_TRACE(name);
    const test::TempDir dir;
    UnreadBytes unread;
    for (const auto& [pos, size] : stretches) unread.Add(pos, size);
    const SplitResult r = SplitScanDump(test::WriteWholeFile(dir.File("test.bin"), dump), dir.File("fond%i.zep"),
                                        std::make_shared<const RescueMap>(unread.Map(static_cast<std::int64_t>(dump.size()))));
    ASSERT_EQ(r.files.size(), files.size());
    std::uint64_t flagged = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
      EXPECT_TRUE(test::ReadWholeFile(r.files[i]) == files[i]) << i;
      flagged += WalkRecordFile(r.files[i]).unreadSamples;
      EXPECT_EQ(r.fileUnread[i], WalkRecordFile(r.files[i]).unreadBytes);
    }
    EXPECT_EQ(flagged, unreadSamples);
  }
}

// Runs, stray magics, the mixed windows and cut pings placed at random:
// buffer boundaries fall everywhere.
Bytes GeneratedDump(std::uint32_t seed, std::size_t size) {
  std::mt19937 rng(seed);
  auto next = [&](std::uint32_t n) { return static_cast<std::uint32_t>(rng() % n); };
  auto random = [&](std::size_t n, const char* alphabet = nullptr) {
    Bytes g(n);
    for (auto& x : g) x = static_cast<std::uint8_t>(alphabet ? alphabet[next(5)] : next(256));
    return g;
  };
  Bytes dump;
  for (std::uint32_t index = 0; dump.size() < size;) {
    Bytes part;
    if (const std::uint32_t kind = next(8); kind < 2) {  // a run of pings, then bytes that end it
      for (std::uint32_t i = 0, pings = 1 + next(6); i < pings; ++i) {
        const auto count = static_cast<std::uint16_t>(next(4) == 0 ? next(65536) : next(3000));
        part = Concat({part, test::MakePingRecord(count, index++, static_cast<std::uint8_t>(next(13)))});
      }
      Bytes ender = random(256);
      ender[0] = 'X';
      const std::uint32_t magic = next(5);  // magics near and inside the ender
      if (magic == 0) std::memcpy(ender.data() + 1 + next(3), "VOR", 3);
      if (magic == 1) std::memcpy(ender.data() + 1 + next(252), "VORL", 4);
      if (magic == 2) std::memcpy(ender.data() + 253, "VOR", 3);
      if (magic == 0 || magic == 2) ender.push_back('L');
      part = Concat({part, ender});
    } else if (kind == 2) {  // a stray magic inside garbage
      part = random(4 + next(2000));
      std::memcpy(part.data(), "VORL", 4);
    } else {  // garbage with many near-misses
      part = random(1 + next(5000), "VORLX");
    }
    dump.insert(dump.end(), part.begin(), part.end());
  }
  dump.resize(size - next(300));  // ends anywhere, often inside a ping
  return dump;
}

TEST(DumpSplit, BufferedSearchMatchesTheByteByByteSearch) {
  for (std::uint32_t seed = 1; seed <= 6; ++seed) {
    SCOPED_TRACE(seed);
    ExpectSameAsByteByByte(GeneratedDump(seed, seed % 3 == 0 ? 3000000 : 700000));
  }
  ExpectSameAsByteByByte(GeneratedDump(99, 5056 * 4096 + 300));  // the real dump's size
}

TEST(DumpSplitFaults, WriteFailureIsReportedAndThePartialFileRemoved) {
  // Writes fail past 4 MiB. A first run of just under 4 MiB fits in the
  // dump, but not behind the 4096-byte file header of its output; a small
  // run after it still fits. (Under Wine the limit is on the whole process,
  // so the dump itself must stay below it.)
  constexpr std::size_t kLimit = 4 << 20;
  const test::TempDir dir;
  Bytes dump;
  for (std::uint32_t i = 0; i < 70; ++i) dump = Concat({dump, test::MakePingRecord(i < 69 ? 60000 : 33000, i)});
  const Bytes small = test::MakePingRecord(10, 0);
  dump = Concat({dump, Garbage(300), small, Garbage(300)});
  ASSERT_TRUE(dump.size() <= kLimit && dump.size() > kLimit - 4096);
  SplitResult r;
  {
    test::FileSizeLimit limit(kLimit);
    if (limit.limit != kLimit) GTEST_SKIP() << "no file size limit in force";
    r = SplitScanDump(test::WriteWholeFile(dir.File("test.bin"), dump), dir.File("fond%i.zep"));
  }
  EXPECT_EQ(r.runs, 2);
  ASSERT_EQ(r.failures.size(), 1u);
  EXPECT_EQ(std::pair(r.failures[0].subject, r.failures[0].kind),
            std::pair(dir.File("fond0.zep"), ProblemKind::kWriteFailed));
  EXPECT_FALSE(std::filesystem::exists(dir.File("fond0.zep")));
  ASSERT_EQ(r.files, std::vector<std::string>{dir.File("fond1.zep")});
  EXPECT_TRUE(test::WalkWhole(dir.File("fond1.zep")).bytes == FileOf({small}));
}

TEST(DumpSplitFaults, OutputsThatCannotBeCreatedAndPercentIInAFolder) {
  const test::TempDir dir;
  const std::string dump = test::WriteWholeFile(dir.File("test.bin"), test::MakePingRecord(10, 0));
  const SplitResult r = SplitScanDump(dump, dir.File("missing/fond%i.zep"));
  EXPECT_EQ(std::tuple(r.runs, r.files.size(), r.failures.size()), std::tuple(1, 0u, 1u));
  EXPECT_EQ(std::pair(r.failures.at(0).subject, r.failures.at(0).kind),
            std::pair(dir.File("missing/fond0.zep"), ProblemKind::kWriteFailed));
  // The last "%i" is the number: a folder named with one is safe.
  std::filesystem::create_directory(dir.path() / "run%i");
  EXPECT_EQ(SplitScanDump(dump, dir.File("run%i/fond%i.zep")).files, std::vector<std::string>{dir.File("run%i/fond0.zep")});
}

// Damaged discs: counts that run past the end of the volume (or before its
// start) and images cut inside a record are converted as far as the volume
// goes, with a bounded number of reads and nothing written past it.
TEST(DamagedEntryTest, UnitsOutsideTheVolumeAreNeitherReadNorWritten) {
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max(), kMin = std::numeric_limits<std::int32_t>::min();
  const auto tk40 = SourceType::Tk40, zep = SourceType::ZepV1;
  const std::tuple<const char*, SourceType, std::int32_t, std::int32_t, std::size_t, std::int64_t, std::int64_t, std::int64_t> cases[] = {
      // first, second entry field, image size; units written, failed, beyond the end
      {"TK40 endBlock 50,000,000 on 1 MB", tk40, 0, 50000000, 1 << 20, 252, 0, 50000000 - 252},
      {"TK40 endBlock 2^31-1", tk40, 0, kMax, 1 << 20, 252, 0, kMax - 252},
      {"TK40 firstBlock -2^31+10", tk40, kMin + 10, 8, 1 << 20, 12, 0, std::int64_t{-(kMin + 10)} - 4},
      {"TK40 wholly past the end", tk40, 1000000, 1000010, 1 << 20, 0, 0, 10},
      {"TK40 cut inside block 5", tk40, 0, 10, 16384 + 5 * 4096 + 100, 5, 1, 4},
      {"ZEP sectorCount 2,000,000 on 1 MB", zep, 10, 2000000, 1 << 20, 500, 0, 2000000 - 2 - 500},
      {"ZEP sectorCount 2^31-1", zep, 10, kMax, 1 << 20, 500, 0, kMax - 2 - 500},
      {"ZEP firstSector -2^31", zep, kMin, kMax, 1 << 20, 0, 0, kMax - 2},
      {"ZEP wholly past the end", zep, 1000000, 12, 1 << 20, 0, 0, 10},
      // The sector the end cuts keeps its 1000 bytes: written, not failed.
      {"ZEP cut inside sector 15", zep, 10, 12, 15 * 2048 + 1000, 4, 0, 6},
      {"ZEP negative sectorCount", zep, 10, -5, 1 << 20, 0, 0, 0},
  };
  test::TempDir tmp;
  const std::string imagePath = tmp.File("disc.img"), out = tmp.File("out.zep");
  for (const auto& [what, type, first, second, imageSize, written, failed, beyond] : cases) {
    test::DiscImage img(type, imageSize);
    img.Entry(0, {.name = "BAD", .first = first, .second = second}).WriteFile(imagePath);
    // Zero blocks give pings of mode 3 (256 + 1280 bytes); unreadable sectors are zeros in the copy.
    const auto fileSize = static_cast<std::uintmax_t>(4096 + (type == tk40 ? 1536 * written : 2048 * (written + failed)));
    const auto convert = test::ConverterFor(type);
    // An image knows its size when opened; a drive under Wine learns it at the first read that meets the end.
    for (const auto how : {test::MemoryVolume::SizeKnown::FromStart, test::MemoryVolume::SizeKnown::AtEnd}) {
      SCOPED_TRACE(std::string(what) + (how == test::MemoryVolume::SizeKnown::AtEnd ? ", end learnt" : ""));
      test::MemoryVolume vol(img.bytes());
      vol.KnowSize(how);
      const ConvertResult r = convert(out, img.Directory(), 0, test::OpenerFor(&vol), {});
      EXPECT_EQ(std::tuple(r.failedUnits, r.beyondEndUnits, r.status),
                std::tuple(failed, beyond, failed + beyond ? ConvertStatus::Incomplete : ConvertStatus::Done));
      EXPECT_EQ(std::filesystem::file_size(out), fileSize);
      // A batch read per 32 units, and one read per unit a batch did not deliver.
      EXPECT_LE(vol.reads().size(), static_cast<std::size_t>(written + failed) / 32 + 34);
      // From the file, the system copies the sectors inside it: the same bytes.
      const Bytes read = test::ReadWholeFile(out);
      const ConvertResult onFile = convert(out, img.Directory(), 0, VolumeAt(imagePath), {});
      EXPECT_EQ(std::tuple(onFile.failedUnits, onFile.beyondEndUnits, test::ReadWholeFile(out)), std::tuple(failed, beyond, read));
    }
  }
}

// A failed conversion never costs an earlier file of the same name. The name
// carries "WriteFailure" for the Wine run that limits file sizes.
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

// Carving: a disc whose directory is gone gives back its records' pings byte
// for byte, and nothing that merely contains "VORL" starts a run.

// Carves the volume into a fresh folder: the result, and every file walked whole, keyed by name.
std::pair<CarveResult, std::map<std::string, Bytes>> Carve(test::MemoryVolume volume, std::vector<ByteRange> leaveOut = {}) {
  const test::TempDir tmp;
  std::pair<CarveResult, std::map<std::string, Bytes>> r;
  r.first = CarveRuns(volume, {.outDir = tmp.path().string(), .written = std::move(leaveOut)});
  for (const CarvedFile& f : r.first.files) r.second[CarvedFileName(f.offset)] = test::WalkWhole(f.path).bytes;
  return r;
}

TEST(CarveTest, ZeroedDirectoryGivesBackEveryRecordsPingsByteForByte) {
  // A header that would pass every check, twice over, inside sample bytes and
  // in a record's lead sectors: the first is walked over, the second is one
  // record alone and no run.
  const Bytes decoy = Pings(7, 2, {0});
  Bytes second = Pings(0, 30, {4, 10, 0, 11});
  std::copy(decoy.begin(), decoy.end(), second.begin() + 256 + 10);
  const std::pair<std::int32_t, Bytes> records[] = {{20, Pings(0, 50, {3})}, {80, second}, {200, Pings(0, 9, {12, 6})}};
  test::DiscImage img(SourceType::ZepV1, static_cast<std::size_t>(ZepSectorOffset(260)));  // its directory all zeros
  std::map<std::string, Bytes> expected;
  for (const auto& [first, pings] : records) {
    img.Bytes(ZepSectorOffset(first), Pings(3, 1, {5})).Bytes(ZepSectorOffset(first + 2), pings);
    expected[CarvedFileName(ZepSectorOffset(first + 2))] = FileOf({pings});
  }
  const auto [r, files] = Carve(test::MemoryVolume(img.bytes()));
  EXPECT_EQ(files, expected);
  EXPECT_TRUE(r.failures.empty());
  EXPECT_EQ(r.bytesRead, img.bytes().size());
}

// Stray headers between runs: each case puts its bytes at an odd offset in
// noise; only two records that pass every check and count up start a run.
TEST(CarveTest, OnlyTwoCheckedRecordsInARowStartARun) {
  auto with = [](Bytes b, std::size_t at, std::uint8_t v) { return b[at] = v, b; };
  const Bytes two = Pings(4, 2, {2});
  const std::tuple<const char*, Bytes, std::size_t> cases[] = {  // bytes, files
      {"two that count up", two, 1},
      {"one alone", Pings(4, 1, {2}), 0},
      {"index skips one", Concat({Pings(4, 1, {2}), Pings(6, 1, {2})}), 0},
      {"mode outside the table", with(two, 37, 13), 0},
      {"sample count not the mode's", with(two, 4, 0x01), 0},
      {"month 13", with(two, 32, 0x13), 0},
      {"30 February", with(with(two, 32, 0x02), 33, 0x30), 0},
      {"day not BCD", with(two, 33, 0x1A), 0},
  };
  for (const auto& [name, bytes, files] : cases) {
    Bytes disc(64 * 1024, 0x56);  // 'V', so the search meets many near-misses
    std::copy(bytes.begin(), bytes.end(), disc.begin() + 777);
    EXPECT_EQ(Carve(test::MemoryVolume(disc)).first.files.size(), files) << name;
  }
}

// Listed records are left out ping by ping, so a run that goes on past one
// keeps its tail; an unreadable sector ends a run and a new one starts after.
TEST(CarveTest, LeavesOutListedPingsAndSplitsRunsAtUnreadableSectors) {
  const Bytes pings = Pings(0, 40, {0});  // 896 bytes each
  const std::uint64_t at = 8192, length = 896;
  auto slice = [&](std::uint64_t from, std::uint64_t to) {
    const auto begin = pings.begin() + static_cast<long>(from * length), end = pings.begin() + static_cast<long>(to * length);
    return std::pair(CarvedFileName(at + from * length), FileOf({Bytes(begin, end)}));
  };
  test::MemoryVolume volume(Concat({Bytes(at, 0), pings, Bytes(4096, 0)}));
  const auto [left, leftFiles] = Carve(volume, {{at, at + 10 * length + 100}});
  EXPECT_EQ(left.pingsLeftOut, 10u);
  EXPECT_EQ(leftFiles, (std::map<std::string, Bytes>{slice(10, 40)}));
  // Sector 8 (bytes 16384 to 18431) holds the end of ping 9 and all of 10 and 11, which are lost.
  volume.FailRange(16384, 2048);
  const auto [cut, cutFiles] = Carve(volume);
  EXPECT_EQ(cut.unreadableSectors, 1);
  EXPECT_EQ(cutFiles, (std::map<std::string, Bytes>{slice(0, 9), slice(12, 40)}));
}
// A record's copy walks to its last ping and no further: the pings a damaged
// entry claims beyond it, another recording's, are left to carving, whether
// judged from the disc or from the file the copy wrote.
TEST(CarveTest, LeavesOutOnlyThePingsTheCopysWalkReaches) {
  const Bytes record = Pings(0, 30, {3}), other = Pings(0, 20, {4});
  DiscImage img(SourceType::ZepV1, static_cast<std::size_t>(ZepSectorOffset(500)));
  img.Bytes(ZepSectorOffset(22), record).Bytes(ZepSectorOffset(200), other).Entry(0, {.first = 20, .second = 400});
  test::MemoryVolume volume(img.bytes());
  const auto at = static_cast<std::uint64_t>(ZepSectorOffset(22));
  const std::vector<ByteRange> written = WrittenPings(volume, ExtentOf(img.Directory(), 0, SourceType::ZepV1), SourceType::ZepV1);
  EXPECT_EQ(written, (std::vector<ByteRange>{{at, at + record.size()}}));
  const test::TempDir dir;
  ASSERT_TRUE(test::ConvertWithCore(dir.File("r.zep"), img, 0).Converted());
  EXPECT_EQ(WrittenPingsOfFile(dir.File("r.zep"), at), written);
  const auto [r, files] = Carve(volume, written);
  EXPECT_EQ(r.pingsLeftOut, 30u);
  EXPECT_EQ(files, (std::map<std::string, Bytes>{{CarvedFileName(ZepSectorOffset(200)), FileOf({other})}}));
}

// A TK40 data block for the carving table: samples from seed, a mode code
// with a mode, and a GLL (or RMC) text at the given second of the day.
Tk40Block DataBlock(std::uint32_t seed, std::optional<int> second = {}, bool rmc = false) {
  Tk40Block b;
  b.Samples(seed).ModeCode(static_cast<std::uint8_t>(seed % 9));
  if (!second) return b;
  char t[80];
  const int h = *second / 3600 % 24, m = *second / 60 % 60, sec = *second % 60;
  if (rmc) std::snprintf(t, sizeof t, "$GPRMC,%02d%02d%02d,A,5412.366,N,01023.472,E,0,0,051108,,", h, m, sec);
  else std::snprintf(t, sizeof t, "$GPGLL,5412.3660,N,01023.4720,E,%02d%02d%02d,A", h, m, sec);
  return b.Text(t);
}

// A TK40 disc, block by block: T a timed GLL text (20 s a block from the
// first second), R the same as RMC, B an hour back, J twenty minutes on, d a
// data block without text, . zeros, x flag bit 1, m mode code 12, h a text
// that is no position, u an unreadable data block, r noise.
struct Tk40Blocks {
  DiscImage img;
  std::vector<std::int64_t> unreadable;
};

Tk40Blocks Tk40BlockDisc(const std::string& blocks, int first) {
  Tk40Blocks d{DiscImage(SourceType::Tk40, static_cast<std::size_t>(Tk40BlockOffset(static_cast<std::int64_t>(blocks.size())))), {}};
  std::mt19937 noise(7);
  for (std::size_t k = 0; k < blocks.size(); ++k) {
    const auto seed = static_cast<std::uint32_t>(k + 1);
    const int second = first + 20 * static_cast<int>(k);
    Tk40Block b;
    switch (blocks[k]) {
      case 'T': b = DataBlock(seed, second); break;
      case 'R': b = DataBlock(seed, second, true); break;
      case 'B': b = DataBlock(seed, second - 3600); break;
      case 'J': b = DataBlock(seed, second + 1200); break;
      case 'd': b = DataBlock(seed); break;
      case 'x': b = DataBlock(seed).Flags(0x02); break;
      case 'm': b = DataBlock(seed).ModeCode(12); break;
      case 'h': b = DataBlock(seed).Text("$PHELLO"); break;
      case 'u': b = DataBlock(seed, second), d.unreadable.push_back(static_cast<std::int64_t>(k)); break;
      case 'r': std::generate(b.bytes.begin(), b.bytes.end(), [&] { return static_cast<std::uint8_t>(noise()); }); break;
      default: break;
    }
    d.img.Block(static_cast<std::int64_t>(k), b);
  }
  return d;
}

// What the TK40 conversion makes of blocks [at, at + count) listed as a record
// of the given day (BCD; 0: no date, else the 5 November 2008 of the RMC texts).
Bytes ListedConversion(DiscImage listed, std::int32_t at, std::int32_t count, std::uint8_t day) {
  listed.Entry(0, {.day = day, .month = day ? std::uint8_t{0x11} : std::uint8_t{0}, .year = day ? std::uint8_t{0x08} : std::uint8_t{0},
                   .first = at, .second = at + count});
  return Convert(listed).rec.bytes;
}

// TK40 carving, block by block. Each run kept must be the bytes the TK40
// conversion makes of the same blocks listed with the run's date.
TEST(CarveTest, Tk40RunsOfDataBlocksConvertAsTheirRecordWould) {
  using Runs = std::vector<std::pair<std::int32_t, std::int32_t>>;  // first block, blocks
  const std::tuple<const char*, std::string, int, Runs, std::uint8_t> cases[] = {
      {"a run between zero blocks", "..TddTdd..", 33300, {{2, 6}}, 0},
      {"no text: nothing tells it from noise", "..dddddd..", 33300, {}, 0},
      {"time runs back: two records", "TddBdd", 33300, {{0, 3}, {3, 3}}, 0},
      {"a step of twenty minutes: two records", "TddJdd", 33300, {{0, 3}, {3, 3}}, 0},
      {"across midnight: one", "TddTdd", 86380, {{0, 6}}, 0},
      {"zeros end a run; a stretch with no text is not kept", "Tdd.Tdd.dd", 33300, {{0, 3}, {4, 3}}, 0},
      {"flag bit 1 ends it", "TddxTdd", 33300, {{0, 3}, {4, 3}}, 0},
      {"mode code 12 ends it", "TddmTdd", 33300, {{0, 3}, {4, 3}}, 0},
      {"a text that is no position ends it", "TddhTdd", 33300, {{0, 3}, {4, 3}}, 0},
      {"an unreadable block ends it", "TdduTdd", 33300, {{0, 3}, {4, 3}}, 0},
      {"an RMC date dates the run", "dTdRd", 33300, {{0, 5}}, 0x05},
      {"noise", std::string(64, 'r'), 33300, {}, 0},
  };
  for (const auto& [name, blocks, first, runs, day] : cases) {
    const auto [img, unreadable] = Tk40BlockDisc(blocks, first);
    test::MemoryVolume volume(img.bytes());
    for (const std::int64_t k : unreadable) volume.FailRange(Tk40BlockOffset(k), kTk40BlockSize);
    const test::TempDir tmp;
    const CarveResult r = CarveRuns(volume, {.outDir = tmp.path().string(), .type = SourceType::Tk40});
    std::map<std::string, Bytes> carved, expected;
    for (const CarvedFile& f : r.files) carved[CarvedFileName(f.offset)] = test::WalkWhole(f.path).bytes;
    for (const auto& [at, count] : runs) expected[CarvedFileName(Tk40BlockOffset(at))] = ListedConversion(img, at, count, day);
    EXPECT_EQ(carved, expected) << name;
    EXPECT_EQ(r.runs, runs.size()) << name;
  }
}

// Both searches share the carve's one read: a TK40 run is converted as it
// is read, once its date is known, from blocks held until then, around the
// blocks a conversion writes. Only a run that outgrows what may be held
// before its first RMC (2048 blocks) is read a second time. The files are
// those of a listed record's conversion, as above.
TEST(CarveTest, Tk40RunsAreConvertedInTheOneRead) {
  using Runs = std::vector<std::pair<std::int32_t, std::int32_t>>;  // first block, blocks
  std::string longRun;  // 2100 blocks, a fix every 20
  for (int i = 0; i < 105; ++i) longRun += "T" + std::string(19, 'd');
  const struct {
    const char* name;
    std::string blocks;
    std::optional<SourceType> type;
    std::vector<std::pair<std::int32_t, std::int32_t>> written;  // blocks a conversion writes
    Runs runs;
    std::uint8_t day;
    std::int64_t readAgain;  // blocks asked for twice
  } cases[] = {
      {"dated at once", "RddTdd", SourceType::Tk40, {}, {{0, 6}}, 0x05, 0},
      {"dated late, either type", "TddddRd", std::nullopt, {}, {{0, 7}}, 0x05, 0},
      {"held stretches around written blocks", "TdddddRdd", SourceType::Tk40, {{1, 2}, {4, 1}}, {{0, 1}, {3, 1}, {5, 4}}, 0x05, 0},
      {"written blocks after the date", "RddTdddd", SourceType::Tk40, {{2, 3}}, {{0, 2}, {5, 3}}, 0x05, 0},
      {"never dated", "TdddTd", SourceType::Tk40, {}, {{0, 6}}, 0, 0},
      {"too long before its date", longRun + "Rd", SourceType::Tk40, {}, {{0, 2102}}, 0x05, 2102},
      {"too long, never dated", longRun, std::nullopt, {}, {{0, 2100}}, 0, 2100},
  };
  for (const auto& c : cases) {
    const DiscImage img = Tk40BlockDisc(c.blocks, 33300).img;
    test::MemoryVolume volume(img.bytes());
    std::vector<ByteRange> written;
    for (const auto& [at, count] : c.written) {
      written.push_back({static_cast<std::uint64_t>(Tk40BlockOffset(at)), static_cast<std::uint64_t>(Tk40BlockOffset(at + count))});
    }
    const test::TempDir tmp;
    CarveOptions options;
    options.outDir = tmp.path().string();
    options.written = written;
    options.type = c.type;
    const CarveResult r = CarveRuns(volume, options);
    std::map<std::string, Bytes> carved, expected;
    for (const CarvedFile& f : r.files) carved[CarvedFileName(f.offset)] = test::WalkWhole(f.path).bytes;
    for (const auto& [at, count] : c.runs) expected[CarvedFileName(Tk40BlockOffset(at))] = ListedConversion(img, at, count, c.day);
    EXPECT_EQ(carved, expected) << c.name;
    std::map<std::int64_t, int> asks;
    for (const test::ReadCall& call : volume.reads()) {
      for (std::int64_t s = call.pos / kZepSectorSize; s * kZepSectorSize < call.pos + static_cast<std::int64_t>(call.size); ++s) ++asks[s];
    }
    const auto twice = std::count_if(asks.begin(), asks.end(), [](const auto& a) { return a.second == 2; });
    const auto most = std::max_element(asks.begin(), asks.end(), [](const auto& a, const auto& b) { return a.second < b.second; });
    EXPECT_EQ(std::pair(twice, most->second), std::pair(c.readAgain * 2, c.readAgain ? 2 : 1)) << c.name;
  }
}

// The unit reader across batch edges (4 sectors or 2 blocks): bad units first
// and last in a batch and across two, before the start, past the end and cut
// by it. Each sector holds its own number: a good unit holds its own bytes.
TEST(UnitReaderTest, BatchesMarkEveryUnitAndCollectTheBadRuns) {
  Bytes disc(40 * 2048 - 1000);  // sector 39 is cut short
  for (std::size_t i = 0; i < disc.size(); ++i) disc[i] = static_cast<std::uint8_t>(i / 2048 + 1);
  using Runs = std::vector<std::pair<std::int64_t, std::int64_t>>;
  const std::tuple<std::int64_t, std::int64_t, std::int64_t, std::vector<std::int64_t>, std::string, Runs, std::int64_t, std::int64_t> cases[] = {
      // unit size, first sector, count, failing sectors; states (good, unreadable, cut), bad runs, before start, past end
      {2048, 0, 12, {0, 3, 4, 11}, "ugguuggggggu", {{0, 1}, {3, 2}, {11, 1}}, 0, 0},
      {2048, 6, 8, {7, 8, 9, 10}, "guuuuggg", {{7, 4}}, 0, 0},
      {2048, -3, 6, {1}, "gug", {{1, 1}}, 3, 0},
      {2048, 36, 10, {36}, "uggc", {{36, 1}, {39, 1}}, 0, 6},
      {4096, 30, 6, {33}, "guggc", {{16, 1}, {19, 1}}, 0, 1},  // blocks 15 to 20: block 16 holds sector 33
      {2048, 50, 3, {}, "", {}, 0, 3}};
  for (const auto how : {test::MemoryVolume::SizeKnown::FromStart, test::MemoryVolume::SizeKnown::AtEnd}) {
    for (const auto& [unitSize, first, count, failing, states, runs, beforeStart, pastEnd] : cases) {
      test::MemoryVolume volume(disc);
      volume.KnowSize(how);
      for (const std::int64_t f : failing) volume.FailRange(f * 2048, 2048);
      const auto ext = RecordExtent::Bytes(first * 2048, unitSize, count, first * 2048 / unitSize);
      UnitReader reader(volume, ext, 8192);
      std::string seen;
      while (reader.Next()) {
        for (std::int64_t j = 0; j < reader.batchSize(); ++j) {
          const UnitState st = reader.State(j);
          seen += st == UnitState::Good ? 'g' : st == UnitState::Cut ? 'c' : 'u';
          const std::size_t zeroFrom = st == UnitState::Unreadable ? 0 : reader.Delivered(j);
          const std::int64_t sector = ext.Offset(reader.batchFirst() + j) / 2048;
          for (std::size_t b = 0; b < reader.Unit(j).size(); b += 512) {
            EXPECT_EQ(reader.Unit(j)[b], b < zeroFrom ? sector + 1 + static_cast<std::int64_t>(b / 2048) : 0) << first << " " << j;
          }
        }
      }
      Runs bad;
      for (const UnitRun& r : reader.badRuns()) bad.emplace_back(r.first, r.count);
      EXPECT_EQ(std::tuple(seen, bad, reader.beforeStart(), reader.pastEnd()), std::tuple(states, runs, beforeStart, pastEnd))
          << first << (how == test::MemoryVolume::SizeKnown::AtEnd ? ", end learnt" : "");
    }
  }
}

// The stream's window slides over many 1 MiB reads; a bad sector astride a
// read's edge is zeros and unreadable, the bytes around it are the disc's.
TEST(UnitReaderTest, VolumeStreamSlidesItsWindowAcrossReads) {
  Bytes disc(3 * 1024 * 1024 + 5000);
  for (std::size_t i = 0; i < disc.size(); ++i) disc[i] = static_cast<std::uint8_t>(i * 7 / 2048);
  test::MemoryVolume volume(disc);
  volume.FailRange(1024 * 1024 - 2048, 4096);  // the last sector of the first read and the first of the second
  VolumeStream stream(volume, 0);
  for (std::uint64_t pos = 0; pos < disc.size(); pos += 30001) {
    const auto view = stream.At(pos, 300);
    const bool bad = pos + 300 > 1024 * 1024 - 2048 && pos < 1024 * 1024 + 2048;
    EXPECT_EQ(stream.Unreadable(pos, view.size()), bad) << pos;
    EXPECT_TRUE(bad || std::equal(view.begin(), view.end(), disc.begin() + static_cast<long>(pos))) << pos;
  }
  EXPECT_EQ(stream.At(disc.size() - 100, 300).size(), 100u);
  EXPECT_EQ(std::tuple(stream.unreadableSectors(), stream.reached()), std::tuple(std::int64_t{2}, std::uint64_t{disc.size()}));
  EXPECT_THROW(stream.At(0, 10), BrokenPromise);  // far behind the window
}

// The health check's verdicts on whole, damaged, beyond-end and empty records
// of both types, with what each one loses.

// Sectors 10.. hold three records of four copied sectors each (nine pings of
// 896 bytes, then zeros), the image ends at sector 60; sector 20 does not read.
test::MemoryVolume CheckedZepDisc() {
  test::DiscImage img(SourceType::ZepV1);
  const Bytes pings = Pings(0, 9, {0});
  for (int slot = 0; slot < 3; ++slot) {
    img.Entry(slot, {.name = "Z", .first = 10 + 6 * slot, .second = 6});
    img.Bytes(ZepSectorOffset(12 + 6 * slot), pings);
  }
  img.Bytes(ZepSectorOffset(24) + 3 * 896 + 256 + 7, Bytes{'V', 'O', 'R', 'L'});  // inside samples: no harm
  img.Bytes(ZepSectorOffset(24) + 5 * 896, Bytes(4, 0xEE));                        // ping 5 loses its magic
  img.Entry(3, {.name = "PAST", .first = 70, .second = 6})
      .Entry(4, {.name = "CUT", .first = 56, .second = 6})
      .Entry(5, {.name = "NONE", .first = 40, .second = 2})
      .Bytes(ZepSectorOffset(58), Bytes(2 * 2048, 0))
      .Resize(static_cast<std::size_t>(ZepSectorOffset(60)));
  test::MemoryVolume volume(img.bytes());
  volume.FailRange(ZepSectorOffset(20), 2048);
  return volume;
}

// Blocks 0.. hold four records of three blocks; block 4's mode code has no
// mode, block 7 does not read, the image ends after block 13.
test::MemoryVolume CheckedTk40Disc() {
  test::DiscImage img(SourceType::Tk40);
  for (int slot = 0; slot < 3; ++slot) {
    img.Entry(slot, {.name = "T", .first = 3 * slot, .second = 3 * slot + 3});
    for (int b = 0; b < 3; ++b) img.Block(3 * slot + b, test::Tk40Block().Samples(static_cast<std::uint32_t>(b)));
  }
  img.Block(4, test::Tk40Block().ModeCode(12))
      .Entry(3, {.name = "PAST", .first = 20, .second = 23})
      .Entry(4, {.name = "CUT", .first = 12, .second = 16})
      .Entry(5, {.name = "NONE", .first = 9, .second = 9})
      .Block(13, test::Tk40Block());
  test::MemoryVolume volume(img.bytes());
  volume.FailRange(Tk40BlockOffset(7), 4096);
  return volume;
}

TEST(DiscCheckTest, VerdictsSayWhatEachRecordLoses) {
  struct Expected {
    Verdict verdict;
    std::vector<std::pair<std::int64_t, std::int64_t>> unreadable;  // first unit, count
    std::int64_t beyondEnd, noMode, pings;
    std::optional<std::uint64_t> walkBreaksAt;
    std::vector<std::uint64_t> walkRuns;  // ZEP V1.X past a hole: the runs before and after it
  };
  const std::tuple<SourceType, test::MemoryVolume (*)(), std::vector<Expected>> cases[] = {  // records: slots 0 to 5
      {SourceType::ZepV1, CheckedZepDisc,
       {{Verdict::Whole, {}, 0, 0, 9},
        // Ping 4's samples, not its header, lie in sector 20: it counts.
        {Verdict::Damaged, {{20, 1}}, 0, 0, 7, ZepSectorOffset(18) + 5 * 896, {5, 2}},
        {Verdict::Damaged, {}, 0, 0, 8, ZepSectorOffset(24) + 5 * 896, {5, 3}},
        {Verdict::BeyondEnd, {}, 4, 0, 0},
        {Verdict::Damaged, {}, 2, 0, 0, ZepSectorOffset(58)},
        {Verdict::Empty, {}, 0, 0, 0}}},
      {SourceType::Tk40, CheckedTk40Disc,
       {{Verdict::Whole, {}, 0, 0, 3},
        {Verdict::Damaged, {}, 0, 1, 2},
        {Verdict::Damaged, {{7, 1}}, 0, 0, 2},
        {Verdict::BeyondEnd, {}, 3, 0, 0},
        {Verdict::Damaged, {}, 2, 0, 2},
        {Verdict::Empty, {}, 0, 0, 0}}},
  };
  for (const auto& [type, make, records] : cases) {
    test::MemoryVolume volume = make();
    RecordDirectory dir{};
    std::copy_n(volume.bytes().begin(), kDirectorySize, dir.begin());
    const DiscHealth health = CheckDisc(volume, dir, type);
    ASSERT_EQ(health.records.size(), records.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
      const RecordHealth& h = health.records[i];
      const Expected& e = records[i];
      std::vector<std::pair<std::int64_t, std::int64_t>> unreadable;
      for (const UnitRun& u : h.unreadable) unreadable.emplace_back(u.first, u.count);
      EXPECT_EQ(std::tuple(std::string(VerdictName(h.verdict)), unreadable, h.beyondEnd, h.noMode, h.pings, h.walkBreaksAt),
                std::tuple(std::string(VerdictName(e.verdict)), e.unreadable, e.beyondEnd, e.noMode, e.pings, e.walkBreaksAt))
          << (type == SourceType::Tk40 ? "TK40" : "ZEP V1.X") << " slot " << i;
      EXPECT_EQ(h.wholeUnits + h.unreadableUnits + h.beyondEnd, h.units);
      if (!e.walkRuns.empty()) {
        EXPECT_EQ(h.walkRuns, e.walkRuns) << "slot " << i;
      }
    }
    EXPECT_EQ(health.dump.beyondEnd, health.dump.pieces);
    // Only what the volume holds is read: not a cut unit's missing part.
    test::MemoryVolume cut({volume.bytes().begin(), volume.bytes().end() - 1000});
    cut.KnowSize(test::MemoryVolume::SizeKnown::FromStart);
    EXPECT_LE(CheckDisc(cut, dir, type).bytesRead, BytesToCheck(dir, type, cut.Size()));
  }
}

// NMEA position sentences as the pings' texts hold them, and the dates their
// times of day get.

constexpr double kNone = 999;  // no position
constexpr int kNoTime = -1;

struct SentenceCase {
  const char* text;
  const char* type;  // "" when the text is no position sentence
  NmeaChecksum checksum = NmeaChecksum::kMissing;
  double lat = kNone, lon = kNone;
  int timeMs = kNoTime;
  bool fix = false;
};

const SentenceCase kSentences[] = {
    {"$GPGLL,5412.3660,N,01023.4720,E,091500,A", "GLL", NmeaChecksum::kMissing, 54.2061, 10.3912, 33300000, true},
    {"$GPGLL,5412.3660,N,01023.4720,E,091500,A*27", "GLL", NmeaChecksum::kOk, 54.2061, 10.3912, 33300000, true},
    {"$GNGGA,123519.50,4807.038,S,01131.000,W,1,08,0.9,545.4,M,46.9,M,,*7d", "GGA", NmeaChecksum::kOk, -48.1173,
     -11.5166667, 45319500, true},
    {"$GPRMC,235959,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*66", "RMC", NmeaChecksum::kOk, 48.1173,
     11.5166667, 86399000, true},
    // Not fixes: GLL and RMC status V, GGA quality 0; the position is shown all the same.
    {"$GPGLL,5412.3660,N,01023.4720,E,091500,V", "GLL", NmeaChecksum::kMissing, 54.2061, 10.3912, 33300000},
    {"$GPGGA,123519,4807.038,N,01131.000,E,0,08,0.9,545.4,M,46.9,M,,*46", "GGA", NmeaChecksum::kOk, 48.1173,
     11.5166667, 45319000},
    {"$IIRMC,101010,V,4807.038,N,01131.000,E,,,010100,,*1E", "RMC", NmeaChecksum::kOk, 48.1173, 11.5166667, 36610000},
    // A receiver before NMEA 2.0 sent neither time nor status.
    {"$GPGLL,5412.3660,N,01023.4720,E", "GLL", NmeaChecksum::kMissing, 54.2061, 10.3912, kNoTime, true},
    // A failed checksum leaves nothing to trust.
    {"$GPGLL,5412.3660,N,01023.4720,E,091500,A*28", "GLL", NmeaChecksum::kBad},
    {"$GPGLL,5412.3660,N,01023.4720,E,091500,A*2", "GLL", NmeaChecksum::kBad},
    {"$GPGLL,5412.3660,N,01023.4720,E,091500,A*G7", "GLL", NmeaChecksum::kBad},
    // Empty fields, and values that are no positions or times.
    {"$GPGLL,,,,,,V", "GLL"},
    {"$GPGLL,5460.0000,N,01023.4720,E,091500,A", "GLL", NmeaChecksum::kMissing, kNone, kNone, 33300000},
    {"$GPGLL,9100.0000,N,01023.4720,E,091500,A", "GLL", NmeaChecksum::kMissing, kNone, kNone, 33300000},
    {"$GPGLL,5412.3660,N,18100.0000,W,240000,A", "GLL"},
    {"$GPGLL,5412.3660,X,01023.4720,E,091500,A", "GLL", NmeaChecksum::kMissing, kNone, kNone, 33300000},
    {"$GPGLL,-412.3660,N,01023.4720,E,091500,A", "GLL", NmeaChecksum::kMissing, kNone, kNone, 33300000},
    // Not position sentences.
    {"", ""},
    {"SOUNDING 12", ""},
    {"GPGLL,5412.3660,N,01023.4720,E,091500,A", ""},
    {"$GPGSV,3,1,11,03,03,111,00,04,15,270,00,06,01,010,00,13,06,292,00*74", ""},
    {"$GPGL,5412.3660,N", ""},
    {"$gpgll,5412.3660,N,01023.4720,E,091500,A", ""},
};

TEST(NmeaTest, SentencesGiveTypeChecksumPositionTimeAndFix) {
  auto micro = [](std::optional<double> v) { return v && *v != kNone ? std::round(*v * 1e6) : kNone; };  // to 1e-6 degrees
  for (const SentenceCase& c : kSentences) {
    const std::optional<NmeaPosition> p = ParseNmeaPosition(c.text);
    ASSERT_EQ(p.has_value(), *c.type != '\0') << c.text;
    if (!p) continue;
    EXPECT_EQ(std::tuple(p->type, p->checksum, micro(p->lat), micro(p->lon), p->timeOfDayMs.value_or(kNoTime), p->fixValid),
              std::tuple(c.type, c.checksum, micro(c.lat), micro(c.lon), c.timeMs, c.fix)) << c.text;
  }
}

// Fixes of one file in turn: GLL and GGA take the ping's date and move to the
// next day when the time of day runs back past midnight; RMC has its own.
TEST(NmeaTest, TimesOfDayBecomeTimesAcrossMidnight) {
  const std::tuple<const char*, CivilDate, const char*> steps[] = {  // sentence, the ping's date, time
      {"$GPGLL,5412.3660,N,01023.4720,E,235950,A", {2008, 12, 31}, "2008-12-31T23:59:50Z"},
      {"$GPGLL,5412.3660,N,01023.4720,E,000010.25,A", {2008, 12, 31}, "2009-01-01T00:00:10.250Z"},
      // A step back of minutes is time running backwards, not another day.
      {"$GPGLL,5412.3660,N,01023.4720,E,235500,A", {2008, 12, 31}, "2008-12-31T23:55:00Z"},
      {"$GPGGA,000500,5412.3660,N,01023.4720,E,1,08,0.9,5,M,4,M,,", {2008, 12, 31}, "2009-01-01T00:05:00Z"},
      {"$GPRMC,000600,A,5412.3660,N,01023.4720,E,,,020109,,", {2008, 12, 31}, "2009-01-02T00:06:00Z"},
  };
  FixClock clock;
  for (const auto& [sentence, pingDate, time] : steps) {
    const auto t = clock.Place(*ParseNmeaPosition(sentence), pingDate);
    EXPECT_EQ(t ? FormatIsoTime(*t) : "none", time) << sentence;
  }
  EXPECT_FALSE(FixClock().Place(*ParseNmeaPosition("$GPGLL,5412.3660,N,01023.4720,E,235950,A"), std::nullopt));
}

TEST(NmeaTest, BcdDatesAndLocaleFreeNumbers) {
  EXPECT_EQ(DateFromBcd(0x2008, 0x02, 0x29), (CivilDate{2008, 2, 29}));
  for (auto [y, m, d] : {std::tuple(0x2009, 0x02, 0x29), {0x20A8, 0x01, 0x01}, {0x2008, 0x13, 0x01}})
    EXPECT_FALSE(DateFromBcd(y, m, d)) << y << m << d;
  EXPECT_EQ(FormatDegrees(-11.51666666) + FormatDegrees(-0.00000001), "-11.5166667" "0.0000000");
  // Years before 1000 and before year 0, and the least number there is.
  EXPECT_EQ(FormatIsoDate({987, 3, 4}) + " " + FormatIsoDate({-44, 3, 15}), "0987-03-04 -0044-03-15");
  std::string least;
  AppendPadded(least, std::numeric_limits<std::int64_t>::min(), 2);
  EXPECT_EQ(least, "-9223372036854775808");
}

}  // namespace
}  // namespace zep
