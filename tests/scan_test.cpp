// The disc scan: its three outcomes, what each leaves behind, and the dump.

#include <gtest/gtest.h>

#include <algorithm>

#include "disc/scan.h"
#include "tests/support/disc_image.h"
#include "tests/support/fake_volume.h"
#include "tests/support/temp_dir.h"

namespace zep {
namespace {

using test::DiscImage;
using test::MemoryVolume;

// A disc of the given size with a different byte pattern in every piece.
DiscImage Patterned(SourceType type, std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>((i / 4096) * 31 + i);
  DiscImage image(type, size);
  image.Bytes(0, bytes);
  return image;
}

RecordDirectory Filled(std::uint8_t value) {
  RecordDirectory dir;
  dir.fill(value);
  return dir;
}

TEST(ScanTest, DiscReadReplacesDirectoryWritesDumpAndRows) {
  DiscImage image = Patterned(SourceType::Tk40, kDumpOffset + kDumpSize);
  for (int slot = 0; slot < 64; ++slot) image.Entry(slot, {.status = 0});
  image.Entry(0, {.name = "ONE"}).Entry(5, {.name = "SIX"}).Label("DISC");
  MemoryVolume volume(image.bytes());
  test::TempDir tmp;
  RecordDirectory dir = Filled(0xAA);
  const ScanResult r = ScanDisc(test::OpenerFor(&volume), 'M', SourceType::Tk40, dir, tmp.File("test.bin"));
  EXPECT_EQ(r.outcome, ScanOutcome::DiscRead);
  EXPECT_TRUE(r.message.empty());
  EXPECT_EQ(r.title, "ZEP Converter - DISC");
  EXPECT_TRUE(r.titleChanged);
  ASSERT_EQ(r.rows.size(), 2u);
  EXPECT_EQ(r.rows[1].slot, 5);
  EXPECT_EQ(dir, image.Directory());
  EXPECT_TRUE(r.dump.written);
  EXPECT_EQ(r.dump.unreadablePieces, 0);
  EXPECT_TRUE(test::ReadWholeFile(tmp.File("test.bin")) ==
              std::vector<std::uint8_t>(image.bytes().begin() + kDumpOffset, image.bytes().end()));
}

TEST(ScanTest, NoDiskOrFixedDiskLeavesDirectoryAndDumpAlone) {
  test::TempDir tmp;
  RecordDirectory dir = Filled(0x11);
  const ScanResult none = ScanDisc(test::FailingOpener("CreateFileA: not found"), 'Q', SourceType::Tk40, dir,
                                   tmp.File("test.bin"));
  EXPECT_EQ(none.outcome, ScanOutcome::NoDisk);
  EXPECT_EQ(none.message, "There is no disk in drive Q  ");
  EXPECT_EQ(none.openError, "CreateFileA: not found");
  EXPECT_TRUE(none.titleChanged);
  EXPECT_EQ(none.title, "ZEP Converter");
  EXPECT_TRUE(none.rows.empty());

  DiscImage image(SourceType::Tk40);
  image.Entry(0, {.name = "X"});
  MemoryVolume fixed(image.bytes(), /*removable=*/false);
  const ScanResult r = ScanDisc(test::OpenerFor(&fixed), 'C', SourceType::Tk40, dir, tmp.File("test.bin"));
  EXPECT_EQ(r.outcome, ScanOutcome::NotMoDisc);
  EXPECT_EQ(r.message, "Drive C is not an MO disc");
  EXPECT_FALSE(r.titleChanged);
  EXPECT_TRUE(r.rows.empty());
  EXPECT_TRUE(fixed.reads().empty());

  EXPECT_EQ(dir, Filled(0x11));
  EXPECT_FALSE(std::filesystem::exists(tmp.File("test.bin")));
}

TEST(ScanTest, DumpPiecesThatCannotBeReadAreZeros) {
  const struct {
    const char* what;
    std::size_t discSize;
    std::int64_t failingPiece;  // -1: none
    int unreadable;
    std::size_t zerosFrom, zerosTo;  // within the dump
  } cases[] = {
      {"disc ends 3.5 pieces in", kDumpOffset + 3 * 4096 + 2048, -1, kDumpPieces - 3, 3 * 4096 + 2048, kDumpSize},
      {"piece 100 unreadable", kDumpOffset + kDumpSize, 100, 1, 100 * 4096, 101 * 4096},
  };
  test::TempDir tmp;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const DiscImage image = Patterned(SourceType::Tk40, c.discSize);
    MemoryVolume volume(image.bytes());
    if (c.failingPiece >= 0) volume.FailRange(kDumpOffset + c.failingPiece * 4096 + 10, 1);
    RecordDirectory dir{};
    const ScanResult r = ScanDisc(test::OpenerFor(&volume), 'E', SourceType::Tk40, dir, tmp.File("d.bin"));
    EXPECT_TRUE(r.dump.written);
    EXPECT_EQ(r.dump.unreadablePieces, c.unreadable);
    const auto dump = test::ReadWholeFile(tmp.File("d.bin"));
    ASSERT_EQ(dump.size(), static_cast<std::size_t>(kDumpSize));
    std::vector<std::uint8_t> expected(image.bytes().begin() + kDumpOffset, image.bytes().end());
    expected.resize(kDumpSize);
    std::fill(expected.begin() + c.zerosFrom, expected.begin() + c.zerosTo, 0);
    EXPECT_TRUE(dump == expected);
  }
}

TEST(ScanTest, DirectoryCutShortIsReadAsZerosNotAsTheEarlierDisc) {
  DiscImage image(SourceType::Tk40);
  image.Entry(0, {.name = "FIRST"}).Resize(1024);  // slots 32 to 63 are missing
  MemoryVolume volume(image.bytes());
  RecordDirectory dir = Filled(0x01);  // an earlier disc with records everywhere
  const ScanResult r = ScanDisc(test::OpenerFor(&volume), 'E', SourceType::Tk40, dir, "");
  EXPECT_EQ(r.outcome, ScanOutcome::DiscRead);
  EXPECT_FALSE(r.directoryError.empty());
  ASSERT_EQ(r.rows.size(), 1u);
  EXPECT_EQ(r.rows[0].cells[1], "FIRST");
  EXPECT_FALSE(r.dump.attempted);
}

}  // namespace
}  // namespace zep
