// The real volume backend against image files (addressing, 64-bit positions,
// the end of the volume, errors that name the path), the disc never written
// to, and output files: writes whose failures are reported, and deletion that
// never reaches anything but an ordinary file this program wrote.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "convert/convert.h"
#include "disc/aligned_buffer.h"
#include "disc/file.h"
#include "disc/scan.h"
#include "disc/volume.h"
#include "tests/support/disc_image.h"
#include "tests/support/temp_dir.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#endif

namespace zep {
namespace {

using test::DiscImage;

// Writes a few marked 4096-byte pieces into a sparse file of the given size.
void WriteMarks(const std::string& path, std::int64_t size, std::initializer_list<std::int64_t> positions) {
  std::ofstream(path, std::ios::binary | std::ios::trunc).flush();
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

TEST(VolumeTest, BlocksFromByte16384AndPositionsPast2GiB) {
  test::TempDir tmp;
  const std::string path = tmp.File("big.img");
  const std::int64_t block = 600000;  // (600000 + 4) * 4096 is about 2.29 GiB
  const std::int64_t sector = (std::int64_t{3} << 30) / 2048 - 8;
  WriteMarks(path, std::int64_t{3} << 30, {16384, 5 * 4096, Tk40BlockOffset(block), ZepSectorOffset(sector)});
  VolumeOpenResult opened = OpenDiscVolume(path);
  ASSERT_TRUE(opened.volume) << opened.error;
  EXPECT_TRUE(opened.volume->IsRemovableMedia());
  AlignedBuffer buf(4096);
  for (const std::int64_t b : {std::int64_t{0}, std::int64_t{1}, block}) {
    const ReadResult r = ReadDiscBlock(*opened.volume, b, buf.span());
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(r.bytes, 4096u);
    EXPECT_TRUE(HasMark(buf, 16384 + 4096 * b)) << "block " << b;
  }
  EXPECT_EQ(ZepSectorOffset(3), 6144);
  const ReadResult r = opened.volume->ReadAt(ZepSectorOffset(sector), buf.span());
  ASSERT_TRUE(r.ok()) << r.error;
  EXPECT_TRUE(HasMark(buf, ZepSectorOffset(sector)));
}

TEST(VolumeTest, EndOfVolumeBadPositionsAndMissingSources) {
  test::TempDir tmp;
  const std::string path = tmp.File("small.img");
  WriteMarks(path, 16384 + 4096 + 2048, {});
  VolumeOpenResult opened = OpenDiscVolume(path);
  ASSERT_TRUE(opened.volume);
  AlignedBuffer buf(4096);
  EXPECT_TRUE(ReadDiscBlock(*opened.volume, 0, buf.span()).ok());
  EXPECT_FALSE(ReadDiscBlock(*opened.volume, 1, buf.span()).ok());   // half there
  EXPECT_FALSE(ReadDiscBlock(*opened.volume, 2, buf.span()).ok());   // beyond the end
  EXPECT_FALSE(ReadDiscBlock(*opened.volume, -5, buf.span()).ok());  // before the start
  const ReadResult half = opened.volume->ReadAt(16384 + 4096, buf.span());
  EXPECT_TRUE(half.ok());
  EXPECT_EQ(half.bytes, 2048u);

  const VolumeOpenResult absent = OpenDiscVolume(tmp.File("absent.img"));
  EXPECT_FALSE(absent.volume);
  EXPECT_NE(absent.error.find(tmp.File("absent.img")), std::string::npos) << absent.error;
}

TEST(ReadOnlyTest, VolumeHandleHasNoWriteAccess) {
  test::TempDir tmp;
  const std::string path = tmp.File("disc.img");
  DiscImage(SourceType::Tk40, 64 * 1024).WriteFile(path);
  VolumeOpenResult opened = OpenDiscVolume(path);
  ASSERT_TRUE(opened.volume) << opened.error;
#ifdef _WIN32
  // Opening the file again while sharing only reads succeeds only if no open
  // handle to it holds write access.
  const HANDLE exclusive =
      CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_NE(exclusive, INVALID_HANDLE_VALUE) << "the volume holds write access or denies reading";
  if (exclusive != INVALID_HANDLE_VALUE) CloseHandle(exclusive);
#else
  // The access mode of every descriptor of this process that refers to the image.
  auto modes = [target = std::filesystem::canonical(path)] {
    std::vector<int> found;
    for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
      std::error_code ec;
      if (std::filesystem::read_symlink(fd.path(), ec) != target || ec) continue;
      std::ifstream info("/proc/self/fdinfo/" + fd.path().filename().string());
      for (std::string key, value; info >> key >> value;) {
        if (key == "flags:") found.push_back(std::stoi(value, nullptr, 8) & O_ACCMODE);
      }
    }
    return found;
  };
  EXPECT_EQ(modes(), std::vector<int>{O_RDONLY});
  opened.volume.reset();
  EXPECT_TRUE(modes().empty()) << "the volume stays open after it is released";
#endif
}

TEST(ReadOnlyTest, ScanDumpAndConversionsLeaveTheImageBitIdentical) {
  test::TempDir tmp;
  const std::string path = tmp.File("disc.img");
  for (SourceType type : {SourceType::Tk40, SourceType::ZepV1}) {
    DiscImage image(type);
    image.Label("RO");
    if (type == SourceType::Tk40) {
      image.Entry(0, {.name = "A", .first = 2, .second = 6});
      for (int b = 2; b < 6; ++b) image.Block(b, test::Tk40Block().Samples(b).ModeCode(static_cast<std::uint8_t>(b)));
    } else {
      image.Entry(0, {.name = "B", .first = 4, .second = 6});
      for (int s = 6; s < 10; ++s) image.Sector(s, test::MakePingRecord(1792, static_cast<std::uint32_t>(s)));
    }
    image.Resize(kDumpOffset + 8192);  // reaches into the dump area
    image.WriteFile(path);
    const auto before = test::ReadWholeFile(path);

    RecordDirectory dir{};
    ASSERT_EQ(ScanDisc(VolumeAt(path), 'M', type, dir, tmp.File("test.bin")).outcome, ScanOutcome::DiscRead);
    const ConvertResult converted = type == SourceType::Tk40
                                        ? ConvertTk40Record(tmp.File("a.zep"), dir, 0, VolumeAt(path))
                                        : CopyZepRecord(tmp.File("b.zep"), dir, 0, VolumeAt(path));
    EXPECT_EQ(converted.result, 1) << converted.reason;
    SplitScanDump(tmp.File("test.bin"), tmp.File("fond%i.zep"));
    EXPECT_EQ(test::ReadWholeFile(path), before);
  }
}

TEST(OutputFileTest, WritesPiecesInOrderAndReplacesAnExistingFile) {
  test::TempDir tmp;
  const std::string path = tmp.File("a.bin");
  std::ofstream(path) << std::string(1000000, 'z');  // longer than what replaces it
  std::vector<std::uint8_t> expected;
  OutputFile out = OutputFile::Create(path);
  ASSERT_TRUE(out.open()) << out.error();
  for (std::size_t size : {1u, 4095u, 300000u, 7u, 262144u, 0u, 5u}) {
    std::vector<std::uint8_t> piece(size);
    for (std::size_t i = 0; i < size; ++i) piece[i] = static_cast<std::uint8_t>(expected.size() + i * 13);
    ASSERT_TRUE(out.Write(piece));
    expected.insert(expected.end(), piece.begin(), piece.end());
  }
  ASSERT_TRUE(out.WriteZeros(10000));
  expected.resize(expected.size() + 10000, 0);
  EXPECT_EQ(out.written(), expected.size());
  ASSERT_TRUE(out.Close()) << out.error();
  EXPECT_EQ(test::ReadWholeFile(path), expected);

  const std::string missing = tmp.File("no-such-folder/c.bin");
  OutputFile none = OutputFile::Create(missing);
  EXPECT_FALSE(none.open());
  EXPECT_NE(none.error().find(missing), std::string::npos) << none.error();
  EXPECT_FALSE(none.Write(std::vector<std::uint8_t>(3)));
}

#ifndef _WIN32
TEST(OutputFileTest, FullDeviceFailsTheWriteAndSurvivesDiscard) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  OutputFile out = OutputFile::Create("/dev/full");
  ASSERT_TRUE(out.open()) << out.error();
  out.WriteZeros(1 << 20);  // beyond the buffer: the device is written
  EXPECT_FALSE(out.Close());
  EXPECT_NE(out.error().find("No space"), std::string::npos) << out.error();
  out.Discard();
  EXPECT_TRUE(std::filesystem::exists("/dev/full"));  // a device node is never deleted
  EXPECT_FALSE(RemoveFile("/dev/full"));
  EXPECT_TRUE(std::filesystem::exists("/dev/full"));
}
#endif

}  // namespace
}  // namespace zep
