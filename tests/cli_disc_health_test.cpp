// zepconv's --type auto, check and carve, run as their own process: what they
// say, and their exit statuses.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <nlohmann/json.hpp>

#include "convert/record_file.h"
#include "disc/volume.h"
#include "tests/cli_run.h"
#include "tests/support/disc_image.h"
#include "tests/support/temp_dir.h"

namespace zep {
namespace {

using test::DiscImage;
using test::RunZepconv;

// Two ZEP V1.X records of six pings of 1536 bytes (sectors 12-16, 22-26).
DiscImage ZepDisc() {
  DiscImage img(SourceType::ZepV1);
  for (int r = 0; r < 2; ++r) {
    img.Entry(r, {.name = "DIVE", .first = 10 + 10 * r, .second = 7});
    for (std::uint32_t i = 0; i < 6; ++i) img.Bytes(ZepSectorOffset(12 + 10 * r) + 1536 * i, test::MakePingRecord(1280, i, 1));
  }
  return img.Resize(static_cast<std::size_t>(ZepSectorOffset(30)));
}

DiscImage Tk40Disc() {
  DiscImage img(SourceType::Tk40);
  img.Entry(0, {.name = "SURVEY", .first = 0, .second = 2});
  return img.Block(0, test::Tk40Block()).Block(1, test::Tk40Block());
}

class CliDiscHealthTest : public ::testing::Test {
 protected:
  std::string Write(const DiscImage& img, const std::string& name) {
    img.WriteFile(tmp_.File(name));
    return tmp_.File(name);
  }
  std::string WriteText(const std::string& name, const std::string& text) {
    std::ofstream(tmp_.File(name)) << text;
    return tmp_.File(name);
  }
  test::TempDir tmp_;
};

TEST_F(CliDiscHealthTest, TypeAutoSaysWhatItFoundAndRefusesWhatFitsNeither) {
  std::vector<std::uint8_t> noise(4096);
  for (std::size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<std::uint8_t>(i * 131 + 7);
  const struct {
    DiscImage img;
    std::vector<std::string> args;
    int status;
    const char* err;
  } cases[] = {
      {Tk40Disc(), {}, 0, "disc.img: a TK40 disc"},
      {ZepDisc(), {}, 0, "disc.img: a ZEP V1.X disc"},
      {ZepDisc(), {"--type", "tk40"}, 0, "disc.img looks like a ZEP V1.X disc"},
      {DiscImage(SourceType::Tk40, 8192), {}, 0, "a blank disc"},
      {DiscImage(SourceType::Tk40).Bytes(0, noise), {}, 2, "disc.img: not a TK40 or ZEP V1.X disc"},
      {DiscImage(SourceType::Tk40).Bytes(0, noise), {"--type", "zep"}, 0, ""},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args{"list", Write(c.img, "disc.img")};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const auto run = RunZepconv(args);
    SCOPED_TRACE(run.err);
    EXPECT_EQ(run.status, c.status);
    EXPECT_NE(run.err.find(c.err), std::string::npos);
  }
}

TEST_F(CliDiscHealthTest, CheckExitsZeroWhenWholeOneWhenLostTwoWhenUnreadable) {
  const std::string img = Write(ZepDisc(), "zep.img");
  // Sector 23 of record 2 was not rescued.
  const std::string map = WriteText("zep.map", "0 +\n0 0xB800 +\n0xB800 0x800 -\n0xC000 0x3000 +\n");
  const struct {
    std::vector<std::string> args;
    int status;
    const char* err;
  } cases[] = {
      {{"check", img}, 0, ""},
      {{"check", img, "--mapfile", map}, 1, "record 2 (DIVE): damaged: 1 sector unreadable (23)"},
      {{"check", img, "--mapfile", WriteText("bad.map", "rescued\n")}, 2, "bad.map:1:"},
      {{"check", tmp_.File("missing.img")}, 2, "missing.img"},
  };
  for (const auto& c : cases) {
    const auto run = RunZepconv(c.args);
    SCOPED_TRACE(run.err);
    EXPECT_EQ(run.status, c.status);
    EXPECT_NE(run.err.find(c.err), std::string::npos);
  }
  const auto run = RunZepconv({"check", img, "--mapfile", map, "--json"});
  const auto doc = nlohmann::json::parse(run.out);
  EXPECT_EQ(doc["records"][0]["verdict"], "whole");
  EXPECT_EQ(doc["records"][1]["unreadable"], nlohmann::json::parse("[[23, 23]]"));
  EXPECT_EQ(doc["records"][1]["pings"], 1);  // ping 1 overlaps sector 23
}

TEST_F(CliDiscHealthTest, CarveNamesFilesByOffsetAndLeavesOutListedRecords) {
  const std::string img = Write(ZepDisc(), "zep.img");
  auto run = RunZepconv({"carve", img, "--out", tmp_.File("listed")});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(std::filesystem::is_empty(tmp_.File("listed")));
  run = RunZepconv({"carve", img, "--out", tmp_.File("all"), "--all"});
  EXPECT_EQ(run.status, 0) << run.err;
  for (const char* name : {"carved-000000024576.zep", "carved-000000045056.zep"}) {
    EXPECT_EQ(WalkRecordFile(tmp_.File(std::string("all/") + name)).pings, 6u) << name;
  }
}

}  // namespace
}  // namespace zep
