// zepconv over a box of discs: several sources in one command, and the
// inventory with its table, manifest and resumed runs.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <nlohmann/json.hpp>

#include "tests/cli_run.h"
#include "tests/support/record_check.h"

namespace zep {
namespace {

using test::CliTest;
using test::Lines;
using test::ReadText;
using test::RunZepconv;
namespace fs = std::filesystem;

// Records 1 (blocks 0-3) and 2 (blocks 4-7).
test::DiscImage TwoRecords() {
  test::DiscImage img(SourceType::Tk40, 16384 + 8 * 4096);
  img.Entry(0, {.name = "ONE", .first = 0, .second = 4}).Entry(1, {.name = "TWO", .first = 4, .second = 8});
  for (int b = 0; b < 8; ++b) img.Block(b, test::Tk40Block().Samples(static_cast<std::uint32_t>(b)).ModeCode(1));
  return img;
}

// ddrescue could not read block 1 (bytes 20480-24575).
constexpr const char* kMap = "0x0 +\n0x0 0x5000 +\n0x5000 0x1000 -\n0x6000 0x6000 +\n";

TEST_F(CliTest, SeveralSourcesGoEachIntoAFolderOfItsOwn) {
  for (const char* dir : {"a", "b"}) fs::create_directory(tmp.File(dir));
  const std::string a = Write(TwoRecords(), "a/disc.img"), b = Write(TwoRecords(), "b/disc.img");
  const std::string hurt = Write(TwoRecords(), "hurt.img"), gone = tmp.File("gone.img");
  Put("hurt.map", kMap);
  const struct {
    const char* what;
    std::vector<std::string> args;
    int status;
    std::vector<std::string> folders;  // under --out, each holding ONE.ZEP and TWO.ZEP
    const char* total;                 // the last line of stdout
  } cases[] = {
      {"one name twice", {"convert", a, b}, 0, {"disc", "disc-2"},
       "total: 2 discs, 4 records, 16 pings, 0 units lost, done"},
      {"the map beside is used", {"convert", hurt, a}, 1, {"hurt", "disc"},
       "total: 2 discs, 4 records, 15 pings, 1 units lost, partly done"},
      {"one unreadable", {"convert", gone, a}, 1, {"disc"},
       "total: 2 discs, 2 records, 8 pings, 0 units lost, partly done"},
      {"none readable", {"convert", gone, gone}, 2, {}, "total: 2 discs, 0 records, 0 pings, 0 units lost, nothing done"},
      {"check", {"check", hurt, a}, 1, {}, "total: 2 discs, 4 records, 15 pings, 1 units lost, partly done"},
      {"--mapfile names one map", {"check", a, b, "--mapfile", tmp.File("hurt.map")}, 2, {}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string out = tmp.File(std::string("out-") + c.what);
    std::vector<std::string> args = c.args;
    if (args[0] == "convert") args.insert(args.end(), {"--out", out});
    const test::ToolRun run = RunZepconv(args);
    EXPECT_EQ(run.status, c.status) << run.err;
    const auto lines = Lines(run.out);
    EXPECT_EQ(lines.empty() ? "" : lines.back(), c.total) << run.out;
    // Every line on stderr names the disc it is about (the refused --mapfile is about no disc).
    for (const std::string& line : c.status == 2 && !c.total[0] ? std::vector<std::string>{} : Lines(run.err)) {
      EXPECT_TRUE(std::any_of(c.args.begin() + 1, c.args.end(), [&](const std::string& s) {
        return line.starts_with("zepconv: " + s + ": ");
      })) << line;
    }
    EXPECT_EQ(run.err.find("using the mapfile beside it") != std::string::npos,
              std::string(c.what).starts_with("the map") || std::string(c.what) == "check") << run.err;
    std::vector<std::string> folders;
    if (fs::exists(out))
      for (const auto& e : fs::directory_iterator(out)) folders.push_back(e.path().filename().string());
    std::sort(folders.begin(), folders.end());
    std::vector<std::string> expected = c.folders;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(folders, expected);
    for (const std::string& f : folders) {
      EXPECT_TRUE(fs::exists(out + "/" + f + "/ONE.ZEP") && fs::exists(out + "/" + f + "/TWO.ZEP")) << f;
    }
  }
}

// The image's hash is checked against the standard's own example ("abc"),
// on both builds' hash libraries; a resumed run leaves a disc it has done
// alone and redoes one whose image changed.
TEST_F(CliTest, InventoryRowsHashesAndResume) {
  const std::string a = Write(TwoRecords(), "a.img"), b = Write(TwoRecords(), "b.img"), abc = Put("index.img", "abc");
  Put("b.mapfile", kMap);
  const std::string out = tmp.File("box");
  test::ToolRun run = RunZepconv({"inventory", a, abc, "--out", out});
  EXPECT_EQ(run.status, 1) << run.err;  // index.img is no disc
  using json = nlohmann::json;
  json inv = json::parse(ReadText(out + "/inventory.json"));
  ASSERT_EQ(inv["records"].size(), 3u);
  EXPECT_EQ(inv["records"][2]["image_sha256"], "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(inv["records"][2]["health"], "unreadable");  // too short to hold a directory
  EXPECT_EQ(inv["records"][0]["output"], "a/ONE.ZEP");
  EXPECT_EQ(inv["records"][0]["pings"], 4);
  EXPECT_EQ(inv["discs"][1]["folder"], "index-2");  // index.html is the box's page

  // a's record file is spoilt: a resumed run must not read a again, and so keeps it.
  std::ofstream(out + "/a/ONE.ZEP", std::ios::binary) << "spoilt";
  run = RunZepconv({"inventory", a, b, "--out", out, "--resume"});
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_EQ(ReadText(out + "/a/ONE.ZEP"), "spoilt");
  inv = json::parse(ReadText(out + "/inventory.json"));
  ASSERT_EQ(inv["records"].size(), 4u);
  EXPECT_EQ(inv["records"][2]["mapfile"], tmp.File("b.mapfile"));
  EXPECT_EQ(inv["records"][2]["verdict"], "damaged");
  EXPECT_EQ(inv["records"][2]["units_lost"], 1);
  const std::string csv = ReadText(out + "/inventory.csv");
  EXPECT_EQ(Lines(csv)[0],
            "image,image_size,image_sha256,mapfile,disc_type,label,health,record,name,date,start,end,pings,verdict,"
            "units_lost,output,output_sha256,first_fix_lat,first_fix_lon,last_fix_lat,last_fix_lon,track_km");
  EXPECT_EQ(Lines(csv).size(), 5u);
  // The manifest lists b's record under its own hash, a's as first made.
  const std::string manifest = ReadText(out + "/manifest-sha256.txt");
  EXPECT_NE(manifest.find(inv["records"][2]["output_sha256"].get<std::string>() + "  b/ONE.ZEP\n"), std::string::npos);
  EXPECT_NE(manifest.find("  index.html\n"), std::string::npos);

  // b's image changes: it is read again, a is still left alone.
  std::ofstream(b, std::ios::binary | std::ios::app) << std::string(4096, '\0');
  std::ofstream(out + "/b/ONE.ZEP", std::ios::binary) << "spoilt";
  run = RunZepconv({"inventory", a, b, "--out", out, "--resume"});
  EXPECT_NE(ReadText(out + "/b/ONE.ZEP"), "spoilt");
  EXPECT_EQ(ReadText(out + "/a/ONE.ZEP"), "spoilt");
}

}  // namespace
}  // namespace zep
