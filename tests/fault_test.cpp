// Faults injected into the real tool, the way a damaged disc or a full drive
// presents them: each must be reported, with the right exit status, and leave
// behind only files that are whole or no file at all.

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "convert/record_file.h"
#include "disc/scan.h"
#include "tests/cli_run.h"
#include "tests/support/disc_image.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/temp_dir.h"

namespace zep {
namespace {

namespace fs = std::filesystem;
using test::DiscImage;
using test::RunZepconv;
using test::Tk40Block;

// Three records: A (blocks 0-9), B (10-19), C (20-29).
DiscImage ThreeRecords() {
  DiscImage img(SourceType::Tk40);
  const char* names[] = {"A", "B", "C"};
  for (int r = 0; r < 3; ++r) img.Entry(r, {.name = names[r], .first = r * 10, .second = r * 10 + 10});
  for (int b = 0; b < 30; ++b) {
    img.Block(b, Tk40Block().Samples(static_cast<std::uint32_t>(b)).ModeCode(static_cast<std::uint8_t>(b % 9)));
  }
  return img;
}

// Every file in dir walks whole; returns their ping counts by name.
std::map<std::string, std::uint64_t> WholeFiles(const fs::path& dir) {
  std::map<std::string, std::uint64_t> pings;
  for (const auto& e : fs::directory_iterator(dir)) {
    const RecordWalk walk = WalkRecordFile(e.path().string());
    EXPECT_TRUE(walk.whole) << e.path() << ": " << walk.problem;
    pings[e.path().filename().string()] = walk.pings;
  }
  return pings;
}

TEST(FaultTest, ImageCutInsideARecord) {
  test::TempDir tmp;
  DiscImage img = ThreeRecords();
  img.Resize(static_cast<std::size_t>(Tk40BlockOffset(14)) + 1000);  // B ends after 4 whole blocks
  img.WriteFile(tmp.File("cut.img"));
  const auto run = RunZepconv({"convert", tmp.File("cut.img"), "--out", tmp.File("out"), "--quiet"});
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_NE(run.err.find("B"), std::string::npos) << run.err;
  const auto pings = WholeFiles(tmp.File("out"));
  EXPECT_EQ(pings.at("A.ZEP"), 10u);
  EXPECT_EQ(pings.at("B.ZEP"), 4u);  // the blocks that are there, and no invented ones
  EXPECT_EQ(pings.at("C.ZEP"), 0u);
}

TEST(FaultTest, ImageShorterThanTheDirectory) {
  test::TempDir tmp;
  DiscImage img = ThreeRecords();
  img.Resize(32);  // slot 0 alone
  img.WriteFile(tmp.File("tiny.img"));
  const auto list = RunZepconv({"list", tmp.File("tiny.img")});
  EXPECT_EQ(list.status, 1) << list.err;
  EXPECT_NE(list.err.find("directory"), std::string::npos) << list.err;
  const auto conv = RunZepconv({"convert", tmp.File("tiny.img"), "--out", tmp.File("out"), "--quiet"});
  EXPECT_EQ(conv.status, 1) << conv.err;
  const auto pings = WholeFiles(tmp.File("out"));
  EXPECT_EQ(pings.size(), 1u);
  EXPECT_EQ(pings.at("A.ZEP"), 0u);  // its blocks lie beyond the end
}

TEST(FaultTest, FullDiskRemovesTheRecordItStopped) {
  test::TempDir tmp;
  ThreeRecords().WriteFile(tmp.File("disc.img"));
  test::ToolRun run;
  {
    // A file size limit, inherited by the tool, stands in for a full disk:
    // record A's file (34176 bytes) fits, B's (35456) does not.
    test::FileSizeLimit limit(35000);
    if (!limit.active()) GTEST_SKIP() << limit.whyNot();
    run = RunZepconv({"convert", tmp.File("disc.img"), "--out", tmp.File("out"), "--record", "1", "--record", "2",
                      "--quiet"});
  }
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_NE(run.err.find("B"), std::string::npos) << run.err;
  const auto pings = WholeFiles(tmp.File("out"));
  EXPECT_EQ(pings.size(), 1u);  // B's partial file is gone
  EXPECT_EQ(pings.at("A.ZEP"), 10u);
}

TEST(FaultTest, DumpOntoAFullDevice) {
  if (!fs::exists("/dev/full")) GTEST_SKIP();
  test::TempDir tmp;
  ThreeRecords().WriteFile(tmp.File("disc.img"));
  const auto run = RunZepconv({"dump", tmp.File("disc.img"), "--out", "/dev/full"});
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_NE(run.err.find("No space"), std::string::npos) << run.err;
  EXPECT_TRUE(fs::exists("/dev/full"));
}

TEST(FaultTest, OutputFolderThatCannotBeWritten) {
  test::TempDir tmp;
  ThreeRecords().WriteFile(tmp.File("disc.img"));
  fs::create_directory(tmp.File("ro"));
  fs::permissions(tmp.File("ro"), fs::perms::owner_read | fs::perms::owner_exec);
  // Permissions do not bind root; /proc takes no new folder from anyone.
  const std::string out = geteuid() == 0 ? "/proc/zepconv-out" : tmp.File("ro");
  const auto run = RunZepconv({"convert", tmp.File("disc.img"), "--out", out, "--quiet"});
  fs::permissions(tmp.File("ro"), fs::perms::owner_all);
  EXPECT_NE(run.status, 0);
  EXPECT_FALSE(run.err.empty());
  EXPECT_TRUE(fs::is_empty(tmp.File("ro")));
}

TEST(FaultTest, OutputFolderIsAFile) {
  test::TempDir tmp;
  ThreeRecords().WriteFile(tmp.File("disc.img"));
  { std::ofstream(tmp.File("plain")) << "x"; }
  const auto run = RunZepconv({"convert", tmp.File("disc.img"), "--out", tmp.File("plain"), "--quiet"});
  EXPECT_NE(run.status, 0) << run.err;
  EXPECT_FALSE(run.err.empty());
}

// Names read off a disc that try to leave the output folder, name a device or
// carry bytes no file name should: every file lands inside the folder.
TEST(FaultTest, HostileNamesStayInsideTheOutputFolder) {
  test::TempDir tmp;
  DiscImage img(SourceType::Tk40);
  const std::string names[] = {"..", "../../evil", "/etc/x", "CON", "nul.txt", "A\\..\\B", std::string("\x01\x1F\x7F", 3),
                               "\xFF\xFE\xFD", "COM1", "a:b*c?d"};
  int slot = 0;
  for (const std::string& n : names) img.Entry(slot++, {.name = n, .first = 0, .second = 1});
  img.Block(0, Tk40Block().Samples(1));
  img.WriteFile(tmp.File("hostile.img"));
  fs::create_directory(tmp.File("out"));
  const auto run = RunZepconv({"convert", tmp.File("hostile.img"), "--out", tmp.File("out/inner"), "--quiet"});
  EXPECT_EQ(run.status, 0) << run.err;
  // Nothing beside the output folder, nothing below it but plain files.
  std::vector<std::string> outside;
  for (const auto& e : fs::recursive_directory_iterator(tmp.path())) {
    const auto rel = fs::relative(e.path(), tmp.path()).string();
    if (rel == "hostile.img" || rel == "out" || rel == "out/inner") continue;
    if (e.path().parent_path() != fs::path(tmp.File("out/inner")) || !e.is_regular_file()) outside.push_back(rel);
  }
  EXPECT_TRUE(outside.empty()) << outside.front();
  EXPECT_EQ(WholeFiles(tmp.File("out/inner")).size(), std::size(names));
}

}  // namespace
}  // namespace zep
