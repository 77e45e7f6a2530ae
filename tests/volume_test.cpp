// The real volume backend against image files (addressing, 64-bit positions,
// the end of the volume, errors that name the path), the disc never written
// to, and output files: writes whose failures are reported, and deletion that
// never reaches anything but an ordinary file this program wrote.

#include <gtest/gtest.h>

#include <filesystem>

#include "disc/aligned_buffer.h"
#include "disc/file.h"
#include "disc/scan.h"
#include "tests/support/record_check.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#endif

namespace zep {
namespace {

using test::DiscImage;
namespace fs = std::filesystem;

TEST(VolumeTest, BlocksFromByte16384PositionsPast2GiBAndTheEnd) {
  const test::TempDir tmp;
  const std::string path = tmp.File("big.img");
  const std::int64_t size = std::int64_t{3} << 30, block = 600000;  // (600000 + 4) * 4096 is about 2.29 GiB
  std::ofstream(path).flush();
  fs::resize_file(path, static_cast<std::uintmax_t>(size - 2048));
  std::fstream io(path, std::ios::binary | std::ios::in | std::ios::out);
  for (const std::int64_t b : {std::int64_t{0}, std::int64_t{1}, block}) {
    io.seekp(Tk40BlockOffset(b));
    io.write(std::string(4096, static_cast<char>(b % 250 + 1)).data(), 4096);
  }
  io.close();
  VolumeOpenResult opened = OpenDiscVolume(path);
  ASSERT_TRUE(opened.volume) << opened.error;
  EXPECT_TRUE(opened.volume->IsRemovableMedia());
  AlignedBuffer buf(4096);
  for (const std::int64_t b : {std::int64_t{0}, std::int64_t{1}, block}) {
    const ReadResult r = ReadDiscBlock(*opened.volume, b, buf.span());
    EXPECT_TRUE(r.ok() && r.bytes == 4096 && buf[0] == b % 250 + 1 && buf[4095] == b % 250 + 1) << b << r.error;
  }
  // The last block is half there: a short read of the volume, a failed block.
  const std::int64_t last = (size - 2048) / 4096 - 4;
  EXPECT_EQ(opened.volume->ReadAt(Tk40BlockOffset(last), buf.span()).bytes, 2048u);
  EXPECT_FALSE(ReadDiscBlock(*opened.volume, last, buf.span()).ok());
  EXPECT_FALSE(ReadDiscBlock(*opened.volume, last + 1, buf.span()).ok());
  EXPECT_FALSE(ReadDiscBlock(*opened.volume, -5, buf.span()).ok());  // before the start

  const VolumeOpenResult absent = OpenDiscVolume(tmp.File("absent.img"));
  EXPECT_FALSE(absent.volume);
  EXPECT_NE(absent.error.find(tmp.File("absent.img")), std::string::npos) << absent.error;
}

TEST(ReadOnlyTest, VolumeHandleHasNoWriteAccess) {
  const test::TempDir tmp;
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
  auto modes = [target = fs::canonical(path)] {
    std::vector<int> found;
    for (const auto& fd : fs::directory_iterator("/proc/self/fd")) {
      std::error_code ec;
      if (fs::read_symlink(fd.path(), ec) != target || ec) continue;
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
  const test::TempDir tmp;
  const std::string path = tmp.File("disc.img");
  for (SourceType type : {SourceType::Tk40, SourceType::ZepV1}) {
    DiscImage image(type);
    image.Label("RO").Entry(0, {.name = "A", .first = 2, .second = 6});
    for (int u = 2; u < 10; ++u) {
      image.Block(u, test::Tk40Block().Samples(u).ModeCode(static_cast<std::uint8_t>(u)));
      image.Sector(u + 4, test::MakePingRecord(1792, static_cast<std::uint32_t>(u)));
    }
    image.Resize(kDumpOffset + 8192).WriteFile(path);  // reaches into the dump area
    const auto before = test::ReadWholeFile(path);
    RecordDirectory dir{};
    ASSERT_EQ(ScanDisc(VolumeAt(path), 'M', type, dir, tmp.File("test.bin")).outcome, ScanOutcome::DiscRead);
    const auto convert = type == SourceType::Tk40 ? ConvertTk40Record : CopyZepRecord;
    EXPECT_EQ(convert(tmp.File("a.zep"), dir, 0, VolumeAt(path), {}).result, 1);
    SplitScanDump(tmp.File("test.bin"), tmp.File("fond%i.zep"));
    EXPECT_EQ(test::ReadWholeFile(path), before);
  }
}

// Pieces below and above the buffer, an empty one (once handed memcpy a null
// pointer), over a longer file that is replaced.
TEST(OutputFileTest, WritesPiecesInOrderAndReportsFailuresByPath) {
  const test::TempDir tmp;
  const std::string path = tmp.File("a.bin");
  std::ofstream(path) << std::string(1000000, 'z');
  std::vector<std::uint8_t> expected;
  OutputFile out = OutputFile::Create(path);
  ASSERT_TRUE(out.open()) << out.error();
  for (std::size_t size : {1u, 4095u, 300000u, 0u, 262144u, 5u}) {
    std::vector<std::uint8_t> piece(size);
    for (std::size_t i = 0; i < size; ++i) piece[i] = static_cast<std::uint8_t>(expected.size() + i * 13);
    ASSERT_TRUE(out.Write(piece));
    expected.insert(expected.end(), piece.begin(), piece.end());
  }
  ASSERT_TRUE(out.WriteZeros(10000));
  expected.resize(expected.size() + 10000, 0);
  ASSERT_TRUE(out.Close()) << out.error();
  EXPECT_EQ(test::ReadWholeFile(path), expected);

  OutputFile none = OutputFile::Create(tmp.File("no-such-folder/c.bin"));
  EXPECT_FALSE(none.open() || none.Write(expected));
  EXPECT_NE(none.error().find(tmp.File("no-such-folder/c.bin")), std::string::npos) << none.error();
#ifndef _WIN32
  OutputFile full = OutputFile::Create("/dev/full");
  ASSERT_TRUE(full.open()) << full.error();
  full.WriteZeros(1 << 20);  // beyond the buffer: the device is written
  EXPECT_FALSE(full.Close());
  EXPECT_NE(full.error().find("No space"), std::string::npos) << full.error();
  full.Discard();
  EXPECT_FALSE(RemoveFile("/dev/full"));
  EXPECT_TRUE(fs::exists("/dev/full")) << "a device node is never deleted";
#endif
}

}  // namespace
}  // namespace zep
