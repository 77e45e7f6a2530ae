// The disc scan: its three outcomes, what each leaves behind, and the dump.

#include <gtest/gtest.h>

#include "disc/scan.h"
#include "tests/support/disc_image.h"
#include "tests/support/fake_volume.h"
#include "tests/support/temp_dir.h"

namespace zep {
namespace {

using test::DiscImage;
using test::MemoryVolume;

std::vector<std::uint8_t> DumpAreaPattern(std::size_t imageSize) {
  std::vector<std::uint8_t> bytes(imageSize);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>((i / 4096) * 31 + i);
  return bytes;
}

RecordDirectory Filled(std::uint8_t value) {
  RecordDirectory dir;
  dir.fill(value);
  return dir;
}

TEST(ScanTest, DiscReadReplacesDirectoryWritesDumpAndRows) {
  DiscImage image(SourceType::Tk40, kDumpOffset + kDumpSize);
  image.Bytes(0, DumpAreaPattern(image.bytes().size()));  // garbage everywhere, then a real directory
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
  const auto dump = test::ReadWholeFile(tmp.File("test.bin"));
  ASSERT_EQ(dump.size(), static_cast<std::size_t>(kDumpSize));
  EXPECT_TRUE(std::equal(dump.begin(), dump.end(), image.bytes().begin() + kDumpOffset));
}

TEST(ScanTest, NoDiskLeavesDirectoryAndDumpAlone) {
  test::TempDir tmp;
  RecordDirectory dir = Filled(0x11);
  const ScanResult r = ScanDisc(test::FailingOpener("CreateFileA: not found"), 'Q', SourceType::Tk40, dir,
                                tmp.File("test.bin"));
  EXPECT_EQ(r.outcome, ScanOutcome::NoDisk);
  EXPECT_EQ(r.message, "There is no disk in drive Q  ");
  EXPECT_EQ(r.openError, "CreateFileA: not found");
  EXPECT_TRUE(r.titleChanged);
  EXPECT_EQ(r.title, "ZEP Converter");
  EXPECT_TRUE(r.rows.empty());
  EXPECT_EQ(dir, Filled(0x11));
  EXPECT_FALSE(std::filesystem::exists(tmp.File("test.bin")));
}

TEST(ScanTest, FixedDiskIsNotAnMoDisc) {
  DiscImage image(SourceType::Tk40);
  image.Entry(0, {.name = "X"});
  MemoryVolume volume(image.bytes(), /*removable=*/false);
  test::TempDir tmp;
  RecordDirectory dir = Filled(0x22);
  const ScanResult r = ScanDisc(test::OpenerFor(&volume), 'C', SourceType::Tk40, dir, tmp.File("test.bin"));
  EXPECT_EQ(r.outcome, ScanOutcome::NotMoDisc);
  EXPECT_EQ(r.message, "Drive C is not an MO disc");
  EXPECT_FALSE(r.titleChanged);
  EXPECT_TRUE(r.rows.empty());
  EXPECT_EQ(dir, Filled(0x22));
  EXPECT_TRUE(volume.reads().empty());
  EXPECT_FALSE(std::filesystem::exists(tmp.File("test.bin")));
}

TEST(ScanTest, SmallDiscGivesZeroFilledDumpOfFullSize) {
  // The disc ends 3.5 pieces into the dump area.
  const std::size_t size = kDumpOffset + 3 * 4096 + 2048;
  DiscImage image(SourceType::ZepV1, size);
  image.Bytes(0, DumpAreaPattern(size));
  image.Entry(0, {.name = "A"});
  MemoryVolume volume(image.bytes());
  test::TempDir tmp;
  RecordDirectory dir{};
  const ScanResult r = ScanDisc(test::OpenerFor(&volume), 'E', SourceType::ZepV1, dir, tmp.File("test.bin"));
  EXPECT_EQ(r.outcome, ScanOutcome::DiscRead);
  EXPECT_TRUE(r.dump.written);
  EXPECT_EQ(r.dump.unreadablePieces, kDumpPieces - 3);
  const auto dump = test::ReadWholeFile(tmp.File("test.bin"));
  ASSERT_EQ(dump.size(), static_cast<std::size_t>(kDumpSize));
  EXPECT_TRUE(std::equal(dump.begin(), dump.begin() + 3 * 4096 + 2048, image.bytes().begin() + kDumpOffset));
  EXPECT_TRUE(std::all_of(dump.begin() + 3 * 4096 + 2048, dump.end(), [](auto b) { return b == 0; }));
}

TEST(ScanTest, UnreadablePiecesBecomeZerosAndOthersSurvive) {
  const std::size_t size = kDumpOffset + kDumpSize;
  DiscImage image(SourceType::Tk40, size);
  image.Bytes(0, DumpAreaPattern(size));
  MemoryVolume volume(image.bytes());
  volume.FailRange(kDumpOffset + 100 * 4096 + 10, 1);  // inside piece 100 only
  test::TempDir tmp;
  RecordDirectory dir{};
  const ScanResult r = ScanDisc(test::OpenerFor(&volume), 'E', SourceType::Tk40, dir, tmp.File("d.bin"));
  EXPECT_EQ(r.dump.unreadablePieces, 1);
  const auto dump = test::ReadWholeFile(tmp.File("d.bin"));
  ASSERT_EQ(dump.size(), static_cast<std::size_t>(kDumpSize));
  EXPECT_TRUE(std::all_of(dump.begin() + 100 * 4096, dump.begin() + 101 * 4096, [](auto b) { return b == 0; }));
  EXPECT_TRUE(std::equal(dump.begin() + 101 * 4096, dump.end(), image.bytes().begin() + kDumpOffset + 101 * 4096));
  EXPECT_TRUE(std::equal(dump.begin(), dump.begin() + 100 * 4096, image.bytes().begin() + kDumpOffset));
}

TEST(ScanTest, DumpThatCannotBeCreatedLeavesNoEarlierDump) {
  DiscImage image(SourceType::Tk40);
  MemoryVolume volume(image.bytes());
  test::TempDir tmp;
  // A folder in the dump's place: creating the file fails, and nothing under
  // that name can be mistaken for this disc's dump.
  const std::string path = tmp.File("missing-folder/test.bin");
  RecordDirectory dir{};
  const ScanResult r = ScanDisc(test::OpenerFor(&volume), 'E', SourceType::Tk40, dir, path);
  EXPECT_EQ(r.outcome, ScanOutcome::DiscRead);
  EXPECT_FALSE(r.dump.written);
  EXPECT_FALSE(r.dump.error.empty());
}

TEST(ScanTest, DirectoryCutShortIsReadAsZerosNotAsTheEarlierDisc) {
  DiscImage image(SourceType::Tk40);
  image.Entry(0, {.name = "FIRST"});
  image.Resize(1024);  // the image ends inside the directory: slots 32 to 63 are missing
  MemoryVolume volume(image.bytes());
  RecordDirectory dir = Filled(0x01);  // an earlier disc with records everywhere
  const ScanResult r = ScanDisc(test::OpenerFor(&volume), 'E', SourceType::Tk40, dir, "");
  EXPECT_EQ(r.outcome, ScanOutcome::DiscRead);
  EXPECT_FALSE(r.directoryError.empty());
  ASSERT_EQ(r.rows.size(), 1u);
  EXPECT_EQ(r.rows[0].cells[1], "FIRST");
  EXPECT_FALSE(r.dump.attempted);
}

TEST(ScanTest, SourceTypeDecidesLayoutAndTerminator) {
  DiscImage image(SourceType::ZepV1);
  image.Entry(0, {.name = "AB", .day = 0x05, .month = 0x11, .year = 0x08});
  MemoryVolume volume(image.bytes());
  RecordDirectory dir{};
  const auto asZep = ScanDisc(test::OpenerFor(&volume), 'E', SourceType::ZepV1, dir, "");
  const auto asTk40 = ScanDisc(test::OpenerFor(&volume), 'E', SourceType::Tk40, dir, "");
  EXPECT_EQ(asZep.rows[0].cells[1], "AB");
  EXPECT_EQ(asZep.rows[0].cells[2], "05 Nov 08");
  // Read as TK40, the carriage return is part of the name and the date shifts.
  EXPECT_EQ(asTk40.rows[0].cells[1], std::string("AB\r"));
  EXPECT_EQ(asTk40.rows[0].cells[2], "11 Aug 00");
}

}  // namespace
}  // namespace zep
