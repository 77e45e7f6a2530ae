// The disc scan: its three outcomes, what each leaves behind, and the dump.

#include <gtest/gtest.h>

#include "disc/scan.h"
#include "tests/support/record_check.h"

namespace zep {
namespace {

using test::DiscImage;
using test::MemoryVolume;
using Bytes = std::vector<std::uint8_t>;

// A disc of the given size with a different byte pattern in every piece.
DiscImage Patterned(std::size_t size) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>((i / 4096) * 31 + i);
  return std::move(DiscImage(SourceType::Tk40).Bytes(0, bytes));
}

RecordDirectory Filled(std::uint8_t value) {
  RecordDirectory dir;
  dir.fill(value);
  return dir;
}

// Unreadable pieces, and those past the end of the disc, are zeros, counted;
// the dump keeps its length.
TEST(ScanTest, DiscReadReplacesTheDirectoryAndWritesTheDump) {
  const struct {
    const char* what;
    std::size_t discSize;
    std::int64_t failingPiece;  // -1: none
    int unreadable;
    std::size_t zerosFrom, zerosTo;  // within the dump
  } cases[] = {
      {"whole", kDumpOffset + kDumpSize, -1, 0, 0, 0},
      {"disc ends 3.5 pieces in", kDumpOffset + 3 * 4096 + 2048, -1, kDumpPieces - 3, 3 * 4096 + 2048, kDumpSize},
      {"piece 100 unreadable", kDumpOffset + kDumpSize, 100, 1, 100 * 4096, 101 * 4096},
  };
  const test::TempDir tmp;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    DiscImage image = Patterned(c.discSize);
    for (int slot = 0; slot < 64; ++slot) image.Entry(slot, {.status = 0});
    image.Entry(0, {.name = "ONE"}).Entry(5, {.name = "SIX"}).Label("DISC");
    MemoryVolume volume(image.bytes());
    if (c.failingPiece >= 0) volume.FailRange(kDumpOffset + c.failingPiece * 4096 + 10, 1);
    RecordDirectory dir = Filled(0xAA);
    const ScanResult r = ScanDisc(test::OpenerFor(volume), 'M', SourceType::Tk40, dir, tmp.File("test.bin"));
    EXPECT_EQ(r.outcome, ScanOutcome::DiscRead);
    EXPECT_EQ(std::tuple(r.message, r.title, r.titleChanged), std::tuple("", "ZEP Converter - DISC", true));
    ASSERT_EQ(r.rows.size(), 2u);
    EXPECT_EQ(r.rows[1].slot, 5);
    EXPECT_EQ(dir, image.Directory());
    EXPECT_TRUE(r.dump.written);
    EXPECT_EQ(r.dump.unreadablePieces, c.unreadable);
    Bytes expected(image.bytes().begin() + kDumpOffset, image.bytes().end());
    expected.resize(kDumpSize);
    std::fill(expected.begin() + c.zerosFrom, expected.begin() + c.zerosTo, 0);
    EXPECT_TRUE(test::ReadWholeFile(tmp.File("test.bin")) == expected);
  }
}

TEST(ScanTest, NoDiskOrFixedDiskLeavesDirectoryAndDumpAlone) {
  const test::TempDir tmp;
  RecordDirectory dir = Filled(0x11);
  const ScanResult none =
      ScanDisc(test::FailingOpener("CreateFileA: not found"), 'Q', SourceType::Tk40, dir, tmp.File("test.bin"));
  EXPECT_EQ(none.outcome, ScanOutcome::NoDisk);
  EXPECT_EQ(std::tuple(none.message, none.openError, none.title, none.titleChanged),
            std::tuple("There is no disk in drive Q  ", "CreateFileA: not found", "ZEP Converter", true));
  EXPECT_TRUE(none.rows.empty());

  const MemoryVolume fixed(DiscImage(SourceType::Tk40).Entry(0, {.name = "X"}).bytes(), /*removable=*/false);
  const ScanResult r = ScanDisc(test::OpenerFor(fixed), 'C', SourceType::Tk40, dir, tmp.File("test.bin"));
  EXPECT_EQ(r.outcome, ScanOutcome::NotMoDisc);
  EXPECT_EQ(std::tuple(r.message, r.titleChanged, r.rows.size()), std::tuple("Drive C is not an MO disc", false, 0u));
  EXPECT_EQ(dir, Filled(0x11));
  EXPECT_FALSE(std::filesystem::exists(tmp.File("test.bin")));
}

TEST(ScanTest, DirectoryCutShortIsReadAsZerosNotAsTheEarlierDisc) {
  const MemoryVolume volume(DiscImage(SourceType::Tk40).Entry(0, {.name = "FIRST"}).Resize(1024).bytes());
  RecordDirectory dir = Filled(0x01);  // an earlier disc with records everywhere
  const ScanResult r = ScanDisc(test::OpenerFor(volume), 'E', SourceType::Tk40, dir, "");
  EXPECT_EQ(r.outcome, ScanOutcome::DiscRead);
  EXPECT_FALSE(r.directoryError.empty());
  ASSERT_EQ(r.rows.size(), 1u);
  EXPECT_EQ(r.rows[0].cells[1], "FIRST");
  EXPECT_FALSE(r.dump.attempted);
}

}  // namespace
}  // namespace zep
