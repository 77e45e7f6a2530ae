// The disc is never written: scanning, dumping and converting an image leave
// it bit-identical, and the volume handle itself carries no write access.

#include <gtest/gtest.h>

#include <filesystem>

#include "convert/convert.h"
#include "disc/scan.h"
#include "tests/support/disc_image.h"
#include "tests/support/temp_dir.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>

#include <fstream>
#endif

namespace zep {
namespace {

using test::DiscImage;
using test::Tk40Block;

#ifndef _WIN32
// The access mode of every descriptor of this process that refers to path.
std::vector<int> AccessModesOf(const std::string& path) {
  std::vector<int> modes;
  const auto target = std::filesystem::canonical(path);
  for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code ec;
    const auto link = std::filesystem::read_symlink(fd.path(), ec);
    if (ec || link != target) continue;
    std::ifstream info("/proc/self/fdinfo/" + fd.path().filename().string());
    std::string key, value;
    while (info >> key >> value) {
      if (key == "flags:") modes.push_back(std::stoi(value, nullptr, 8) & O_ACCMODE);
    }
  }
  return modes;
}
#endif

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
  const auto modes = AccessModesOf(path);
  ASSERT_EQ(modes.size(), 1u);
  EXPECT_EQ(modes[0], O_RDONLY);
#endif
  opened.volume.reset();
#ifndef _WIN32
  EXPECT_TRUE(AccessModesOf(path).empty()) << "the volume stays open after it is released";
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
      for (int b = 2; b < 6; ++b) image.Block(b, Tk40Block().Samples(b).ModeCode(static_cast<std::uint8_t>(b)));
    } else {
      image.Entry(0, {.name = "B", .first = 4, .second = 6});
      for (int s = 6; s < 10; ++s) image.Sector(s, test::MakePingRecord(1792, static_cast<std::uint32_t>(s)));
    }
    image.Resize(kDumpOffset + 8192);  // reaches into the dump area
    image.WriteFile(path);
    const auto before = test::ReadWholeFile(path);

    RecordDirectory dir{};
    const ScanResult scan = ScanDisc(VolumeAt(path), 'M', type, dir, tmp.File("test.bin"));
    ASSERT_EQ(scan.outcome, ScanOutcome::DiscRead);
    const ConvertResult converted = type == SourceType::Tk40
                                        ? ConvertTk40Record(tmp.File("a.zep"), dir, 0, VolumeAt(path))
                                        : CopyZepRecord(tmp.File("b.zep"), dir, 0, VolumeAt(path));
    EXPECT_EQ(converted.result, 1) << converted.reason;
    SplitScanDump(tmp.File("test.bin"), tmp.File("fond%i.zep"));

    EXPECT_EQ(test::ReadWholeFile(path), before);
  }
}

}  // namespace
}  // namespace zep
