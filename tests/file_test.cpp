// Output files: buffered writes whose failures are reported, and deletion that
// never reaches anything but an ordinary file this program wrote.

#include <gtest/gtest.h>

#include <filesystem>

#include "disc/file.h"
#include "tests/support/temp_dir.h"

namespace zep {
namespace {

TEST(OutputFileTest, WritesLargeAndSmallPiecesInOrder) {
  test::TempDir tmp;
  std::vector<std::uint8_t> expected;
  OutputFile out = OutputFile::Create(tmp.File("a.bin"));
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
  EXPECT_EQ(test::ReadWholeFile(tmp.File("a.bin")), expected);
}

TEST(OutputFileTest, CreateReplacesAnExistingFile) {
  test::TempDir tmp;
  const std::string path = tmp.File("b.bin");
  for (std::size_t size : {5000u, 10u}) {
    OutputFile out = OutputFile::Create(path);
    ASSERT_TRUE(out.WriteZeros(size));
    ASSERT_TRUE(out.Close());
    EXPECT_EQ(std::filesystem::file_size(path), size);
  }
}

TEST(OutputFileTest, CreateFailureNamesThePath) {
  test::TempDir tmp;
  const std::string path = tmp.File("no-such-folder/c.bin");
  OutputFile out = OutputFile::Create(path);
  EXPECT_FALSE(out.open());
  EXPECT_NE(out.error().find(path), std::string::npos) << out.error();
  EXPECT_FALSE(out.Write(std::vector<std::uint8_t>(3)));
}

TEST(OutputFileTest, DiscardRemovesTheFile) {
  test::TempDir tmp;
  const std::string path = tmp.File("d.bin");
  OutputFile out = OutputFile::Create(path);
  out.WriteZeros(100);
  out.Discard();
  EXPECT_FALSE(std::filesystem::exists(path));
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
