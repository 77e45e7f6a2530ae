// The real volume backend against image files: addressing, 64-bit positions,
// the end of the volume, and errors that name the path.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "disc/aligned_buffer.h"
#include "disc/volume.h"
#include "tests/support/temp_dir.h"

namespace zep {
namespace {

// Writes a few marked 4096-byte pieces into a sparse file of the given size.
void WriteMarks(const std::string& path, std::int64_t size, std::initializer_list<std::int64_t> positions) {
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
  }
  std::filesystem::resize_file(path, static_cast<std::uintmax_t>(size));
  std::fstream io(path, std::ios::binary | std::ios::in | std::ios::out);
  for (std::int64_t pos : positions) {
    std::vector<char> piece(4096);
    for (int i = 0; i < 4096; ++i) piece[i] = static_cast<char>((pos / 2048 + i) & 0xFF);
    io.seekp(pos);
    io.write(piece.data(), 4096);
  }
}

bool HasMark(const AlignedBuffer& buf, std::int64_t pos) {
  for (int i = 0; i < 4096; ++i)
    if (buf[static_cast<std::size_t>(i)] != static_cast<std::uint8_t>((pos / 2048 + i) & 0xFF)) return false;
  return true;
}

TEST(VolumeTest, Tk40BlocksAreCountedFromByte16384) {
  EXPECT_EQ(Tk40BlockOffset(0), 16384);
  EXPECT_EQ(Tk40BlockOffset(1), 5 * 4096);
  EXPECT_EQ(ZepSectorOffset(0), 0);
  EXPECT_EQ(ZepSectorOffset(3), 6144);

  test::TempDir tmp;
  const std::string path = tmp.File("disc.img");
  WriteMarks(path, 64 * 4096, {16384, 5 * 4096});
  VolumeOpenResult opened = OpenDiscVolume(path);
  ASSERT_TRUE(opened.volume) << opened.error;
  EXPECT_TRUE(opened.volume->IsRemovableMedia());
  AlignedBuffer buf(4096);
  for (std::int64_t block : {0, 1}) {
    const ReadResult r = ReadDiscBlock(*opened.volume, block, buf.span());
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(r.bytes, 4096u);
    EXPECT_TRUE(HasMark(buf, Tk40BlockOffset(block))) << "block " << block;
  }
}

TEST(VolumeTest, PositionsPast2GiBAreReadWhereTheyAre) {
  test::TempDir tmp;
  const std::string path = tmp.File("big.img");
  const std::int64_t block = 600000;  // (600000 + 4) * 4096 is about 2.29 GiB
  const std::int64_t sector = (std::int64_t{3} << 30) / 2048 - 8;
  WriteMarks(path, std::int64_t{3} << 30, {Tk40BlockOffset(block), ZepSectorOffset(sector)});
  VolumeOpenResult opened = OpenDiscVolume(path);
  ASSERT_TRUE(opened.volume) << opened.error;
  AlignedBuffer buf(4096);
  ASSERT_TRUE(ReadDiscBlock(*opened.volume, block, buf.span()).ok());
  EXPECT_TRUE(HasMark(buf, Tk40BlockOffset(block)));
  const ReadResult r = opened.volume->ReadAt(ZepSectorOffset(sector), buf.span());
  ASSERT_TRUE(r.ok()) << r.error;
  EXPECT_TRUE(HasMark(buf, ZepSectorOffset(sector)));
}

TEST(VolumeTest, EndOfVolumeAndBadPositionsAreNotSuccess) {
  test::TempDir tmp;
  const std::string path = tmp.File("small.img");
  WriteMarks(path, 16384 + 4096 + 2048, {});
  VolumeOpenResult opened = OpenDiscVolume(path);
  ASSERT_TRUE(opened.volume);
  AlignedBuffer buf(4096);
  EXPECT_TRUE(ReadDiscBlock(*opened.volume, 0, buf.span()).ok());
  EXPECT_FALSE(ReadDiscBlock(*opened.volume, 1, buf.span()).ok());  // half there
  EXPECT_FALSE(ReadDiscBlock(*opened.volume, 2, buf.span()).ok());  // beyond the end
  EXPECT_FALSE(ReadDiscBlock(*opened.volume, -5, buf.span()).ok());  // before the start
  const ReadResult half = opened.volume->ReadAt(16384 + 4096, buf.span());
  EXPECT_TRUE(half.ok());
  EXPECT_EQ(half.bytes, 2048u);
}

TEST(VolumeTest, MissingSourceNamesThePath) {
  test::TempDir tmp;
  const std::string path = tmp.File("absent.img");
  const VolumeOpenResult opened = OpenDiscVolume(path);
  EXPECT_FALSE(opened.volume);
  EXPECT_NE(opened.error.find(path), std::string::npos) << opened.error;
}

TEST(VolumeTest, OpeningAndReadingLeavesTheImageUntouched) {
  test::TempDir tmp;
  const std::string path = tmp.File("ro.img");
  WriteMarks(path, 32 * 4096, {0, 16384});
  std::filesystem::permissions(path, std::filesystem::perms::owner_read, std::filesystem::perm_options::replace);
  const auto before = test::ReadWholeFile(path);
  {
    VolumeOpenResult opened = OpenDiscVolume(path);  // a read-only file opens: no write access is asked for
    ASSERT_TRUE(opened.volume) << opened.error;
    AlignedBuffer buf(4096);
    for (int b = 0; b < 28; ++b) ReadDiscBlock(*opened.volume, b, buf.span());
  }
  EXPECT_EQ(test::ReadWholeFile(path), before);
  std::filesystem::permissions(path, std::filesystem::perms::owner_all, std::filesystem::perm_options::replace);
}

}  // namespace
}  // namespace zep
