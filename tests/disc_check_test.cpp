// The health check's verdicts on whole, damaged, beyond-end and empty records
// of both types, with what each one loses.

#include <gtest/gtest.h>

#include <optional>

#include "convert/disc_check.h"
#include "convert/record_file.h"
#include "tests/support/disc_image.h"
#include "tests/support/fake_volume.h"

namespace zep {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes ModePings(int count, std::uint8_t mode) {
  Bytes out;
  for (int i = 0; i < count; ++i) {
    const Bytes p = test::MakePingRecord(kSampleCountTable[mode], static_cast<std::uint32_t>(i), mode);
    out.insert(out.end(), p.begin(), p.end());
  }
  return out;
}

// Sectors 10.. hold three records of four copied sectors each (nine pings of
// 896 bytes, then zeros), the image ends at sector 60; sector 20 does not read.
test::MemoryVolume ZepDisc() {
  test::DiscImage img(SourceType::ZepV1);
  const Bytes pings = ModePings(9, 0);
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
test::MemoryVolume Tk40Disc() {
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
  };
  const struct {
    SourceType type;
    test::MemoryVolume (*make)();
    std::vector<Expected> records;  // slots 0 to 5
  } cases[] = {
      {SourceType::ZepV1, ZepDisc,
       {{Verdict::Whole, {}, 0, 0, 9},
        {Verdict::Damaged, {{20, 1}}, 0, 0, 4, ZepSectorOffset(18) + 4 * 896},
        {Verdict::Damaged, {}, 0, 0, 5, ZepSectorOffset(24) + 5 * 896},
        {Verdict::BeyondEnd, {}, 4, 0, 0},
        {Verdict::Damaged, {}, 2, 0, 0, ZepSectorOffset(58)},
        {Verdict::Empty, {}, 0, 0, 0}}},
      {SourceType::Tk40, Tk40Disc,
       {{Verdict::Whole, {}, 0, 0, 3},
        {Verdict::Damaged, {}, 0, 1, 2},
        {Verdict::Damaged, {{7, 1}}, 0, 0, 2},
        {Verdict::BeyondEnd, {}, 3, 0, 0},
        {Verdict::Damaged, {}, 2, 0, 2},
        {Verdict::Empty, {}, 0, 0, 0}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.type == SourceType::Tk40 ? "TK40" : "ZEP V1.X");
    test::MemoryVolume volume = c.make();
    RecordDirectory dir{};
    std::copy_n(volume.bytes().begin(), kDirectorySize, dir.begin());
    const DiscHealth health = CheckDisc(volume, dir, c.type);
    ASSERT_EQ(health.records.size(), c.records.size());
    for (std::size_t i = 0; i < c.records.size(); ++i) {
      SCOPED_TRACE(i);
      const RecordHealth& h = health.records[i];
      const Expected& e = c.records[i];
      EXPECT_STREQ(VerdictName(h.verdict), VerdictName(e.verdict));
      std::vector<std::pair<std::int64_t, std::int64_t>> unreadable;
      for (const UnitRun& u : h.unreadable) unreadable.emplace_back(u.first, u.count);
      EXPECT_EQ(unreadable, e.unreadable);
      EXPECT_EQ(h.beyondEnd, e.beyondEnd);
      EXPECT_EQ(h.noMode, e.noMode);
      EXPECT_EQ(h.pings, e.pings);
      EXPECT_EQ(h.walkBreaksAt, e.walkBreaksAt);
      EXPECT_EQ(h.wholeUnits + h.unreadableUnits + h.beyondEnd, h.units);
    }
    EXPECT_EQ(health.dump.beyondEnd, health.dump.pieces);
  }
}

}  // namespace
}  // namespace zep
