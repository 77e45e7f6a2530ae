// zepconv on GNU ddrescue images, with mapfiles made by the real ddrescuelog:
// units not marked rescued are unreadable, whatever zeros the image holds
// there. Malformed or mismatched mapfiles are usage errors; --no-clobber
// keeps existing files.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "convert/record_file.h"
#include "tests/cli_run.h"
#include "tests/support/disc_image.h"
#include "tests/support/temp_dir.h"

namespace zep {
namespace {

// Records 1 (blocks 0-3) and 2 (blocks 4-7); block 1 is zeros, as ddrescue
// leaves what it could not read. Block b is 2048-byte sectors 2b+8 and 2b+9.
std::string WriteDisc(const test::TempDir& tmp) {
  test::DiscImage img(SourceType::Tk40, 16384 + 8 * 4096);
  img.Entry(0, {.name = "ONE", .first = 0, .second = 4}).Entry(1, {.name = "TWO", .first = 4, .second = 8});
  for (int b = 0; b < 8; ++b)
    if (b != 1) img.Block(b, test::Tk40Block().Samples(static_cast<std::uint32_t>(b)).ModeCode(1));
  img.WriteFile(tmp.File("disc.img"));
  return tmp.File("disc.img");
}

#ifndef _WIN32  // ddrescuelog runs on the build system only
std::vector<std::uint32_t> PingIndexes(const std::string& path) {
  std::vector<std::uint32_t> indexes;
  WalkRecordFile(path, [&](const PingInfo& p) { indexes.push_back(p.pingIndex); });
  return indexes;
}

TEST(CliMapfileTest, SectorsNotRescuedAreUnreadableUnits) {
  const struct {
    const char* what;
    const char* badSectors;  // what ddrescuelog marks '-'
    int status;
    std::vector<std::uint32_t> one, two;  // the ping indexes of each file
  } cases[] = {
      {"no hole", "", 0, {0, 1, 2, 3}, {0, 1, 2, 3}},
      {"inside a record", "11\n", 1, {0, 2, 3}, {0, 1, 2, 3}},
      {"at the edge of two records", "15\n16\n", 1, {0, 1, 2}, {1, 2, 3}},
      {"over the directory", "0\n", 1, {}, {}},
  };
  test::TempDir tmp;
  const std::string image = WriteDisc(tmp), map = tmp.File("disc.map"), bad = tmp.File("bad.txt");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::ofstream(bad) << c.badSectors;
    const std::string make = "ddrescuelog -b 2048 -s 49152 -f --create-mapfile=-+ '" + map + "' < '" + bad + "'";
    ASSERT_EQ(std::system(make.c_str()), 0) << make;
    const std::string out = tmp.File(c.what);
    const test::ToolRun run = test::RunZepconv({"convert", image, "--mapfile", map, "--out", out});
    EXPECT_EQ(run.status, c.status) << run.err;
    EXPECT_EQ(run.err.find(map) != std::string::npos, c.status != 0) << run.err;
    EXPECT_EQ(PingIndexes(out + "/ONE.ZEP"), c.one);
    EXPECT_EQ(PingIndexes(out + "/TWO.ZEP"), c.two);
  }
}
#endif

TEST(CliMapfileTest, MalformedOrMismatchedMapfilesAreUsageErrors) {
  test::TempDir tmp;
  const std::string image = WriteDisc(tmp), map = tmp.File("m.map");
  const std::pair<const char*, std::string> cases[] = {
      {"0x0 +\n0x0 0x800 +\n0x800 0x800 !\n", map + ":3: status \"!\" is none of ? * / - +"},
      {"0 + 1\n0 49152 +\n49152 4096 +\n", map + ": rescued bytes up to 0xD000 but " + image + " holds only 49152 bytes"},
  };
  for (const auto& [text, err] : cases) {
    std::ofstream(map) << text;
    const test::ToolRun run = test::RunZepconv({"list", image, "--mapfile", map});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find(err), std::string::npos) << run.err;
  }
}

TEST(CliMapfileTest, NoClobberKeepsExistingFilesAndNamesThem) {
  test::TempDir tmp;
  const std::string image = WriteDisc(tmp), out = tmp.File("out");
  ASSERT_EQ(test::RunZepconv({"convert", image, "--out", out, "--record", "2"}).status, 0);
  std::ofstream(out + "/ONE.ZEP") << "earlier";
  const test::ToolRun run = test::RunZepconv({"convert", image, "--out", out, "--no-clobber"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("ONE.ZEP: already exists"), std::string::npos) << run.err;
  EXPECT_EQ(test::ReadWholeFile(out + "/ONE.ZEP").size(), 7u);
}

}  // namespace
}  // namespace zep
