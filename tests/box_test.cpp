// zepconv over a box of discs: several sources in one command, and the
// inventory with its table, manifest and resumed runs.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <nlohmann/json.hpp>

#include "box/inventory.h"
#include "box/sha256.h"
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
       "total: 2 discs, 4 records, 15 pings, 1 unit lost, partly done"},
      {"one unreadable", {"convert", gone, a}, 1, {"disc"},
       "total: 2 discs, 2 records, 8 pings, 0 units lost, partly done"},
      {"none readable", {"convert", gone, gone}, 2, {}, "total: 2 discs, 0 records, 0 pings, 0 units lost, nothing done"},
      {"check", {"check", hurt, a}, 1, {}, "total: 2 discs, 4 records, 15 pings, 1 unit lost, partly done"},
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

// Every line of the manifest names a file with the hash it has now.
void ExpectManifestHolds(const std::string& box) {
  for (const std::string& line : Lines(ReadText(box + "/manifest-sha256.txt"))) {
    const std::string path = line.substr(66);
    EXPECT_EQ(line.substr(0, 64), Sha256OfFile(box + "/" + path).hex) << path;
  }
}

// The image's hash is checked against the standard's own example ("abc"),
// on both builds' hash libraries; a resumed run keeps a disc only while its
// image and every file made of it are as they were.
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
  // A stray in a disc's folder is no record and no file of the box.
  Put("box/a/carved-999999999999.zep", std::vector<std::uint8_t>(8192, 0));
  Put("box/a/~OLD.nc.tmp", "x");

  // Bytes appended to a's record file: the resumed run reads a again.
  std::ofstream(out + "/a/ONE.ZEP", std::ios::binary | std::ios::app) << "spoilt";
  run = RunZepconv({"inventory", a, b, "--out", out, "--resume"});
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_EQ(ReadText(out + "/a/ONE.ZEP").find("spoilt"), std::string::npos);
  inv = json::parse(ReadText(out + "/inventory.json"));
  ASSERT_EQ(inv["records"].size(), 5u);  // index.img stays in the box
  EXPECT_EQ(inv["records"][2]["mapfile"], "b.mapfile");
  EXPECT_EQ(inv["records"][2]["verdict"], "damaged");
  EXPECT_EQ(inv["records"][2]["units_lost"], 1);
  const std::string csv = ReadText(out + "/inventory.csv");
  EXPECT_EQ(Lines(csv)[0],
            "image,image_size,image_sha256,mapfile,disc_type,label,health,record,name,date,start,end,pings,verdict,"
            "units_lost,units_past_end,units_never_tried,output,output_sha256,first_fix_lat,first_fix_lon,last_fix_lat,"
            "last_fix_lon,track_km,outputs");
  EXPECT_EQ(Lines(csv).size(), 6u);
  const std::string manifest = ReadText(out + "/manifest-sha256.txt");
  EXPECT_NE(manifest.find(inv["records"][2]["output_sha256"].get<std::string>() + "  b/ONE.ZEP\n"), std::string::npos);
  EXPECT_NE(manifest.find("  index.html\n"), std::string::npos);
  EXPECT_EQ(manifest.find("carved-999999999999"), std::string::npos);
  EXPECT_EQ(manifest.find("~OLD"), std::string::npos);
  ExpectManifestHolds(out);

  // Nothing changed: the run reads no disc, and says the same, b's damage
  // included.
  const std::string before = ReadText(out + "/inventory.json");
  run = RunZepconv({"inventory", a, b, "--out", out, "--resume"});
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_EQ(ReadText(out + "/inventory.json"), before);
  // b's image changes: it is read again.
  std::ofstream(b, std::ios::binary | std::ios::app) << std::string(4096, '\0');
  std::ofstream(out + "/b/ONE.ZEP", std::ios::binary) << "spoilt";
  run = RunZepconv({"inventory", a, b, "--out", out, "--resume"});
  EXPECT_NE(ReadText(out + "/b/ONE.ZEP"), "spoilt");
  ExpectManifestHolds(out);
}

// The same discs read into two places, from another folder: the tables and
// tracks name nothing outside the inventory, and so are the same bytes.
TEST_F(CliTest, InventoryReadsTheSameWhereverItIs) {
  fs::create_directories(tmp.File("deep/er"));
  const std::string a = Write(TwoRecords(), "a.img");
  ASSERT_EQ(RunZepconv({"inventory", a, "--out", tmp.File("one")}).status, 0);
  ASSERT_EQ(RunZepconv({"inventory", a, "--out", tmp.File("deep/er/two")}).status, 0);
  for (const char* file : {"inventory.csv", "inventory.json", "a/ONE.geojson", "a/TWO.geojson", "a/check.json"}) {
    EXPECT_EQ(ReadText(tmp.File(std::string("one/") + file)), ReadText(tmp.File(std::string("deep/er/two/") + file)))
        << file;
  }
  EXPECT_EQ(ReadText(tmp.File("one/inventory.json")).find(tmp.File("")), std::string::npos);
}

// Folder names: safe on any file system, apart from each other whatever the
// case, and never a disc page's name less ".html".
TEST(InventoryNames, DiscFoldersAreSafeAndApart) {
  struct Case {
    std::vector<std::string> taken;
    std::string image, folder;
  } cases[] = {
      {{}, "box/disc.img", "disc"},
      {{}, "box\\disc.IMG", "disc"},
      {{}, "E:", "E_"},
      {{}, "box/a*b?.img", "a_b_"},
      {{}, "box/con.img", "_con"},
      {{}, "box/CONOUT$.img", "_CONOUT$"},
      {{}, "box/aux.tar.img", "_aux.tar"},
      {{"disc"}, "other/disc.img", "disc-2"},
      {{"DISC", "disc-2"}, "other/disc.img", "disc-3"},
      {{"z.html"}, "z.img", "z-2"},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.image);
    std::vector<std::string> taken = c.taken;
    EXPECT_EQ(DiscFolderName(c.image, taken), c.folder);
    EXPECT_EQ(taken.back(), c.folder);
  }
}

// The resume state gives back what it was given; text that is no state of
// ours starts the run afresh rather than trusting part of it.
TEST(InventoryState, ReadsBackWhatItWroteAndNothingElse) {
  InventoryDisc d;
  d.image = "/discs/box 1/HARBOUR.img";
  d.folder = "HARBOUR";
  d.size = 5931008;
  d.mtime = "2026-12-08T06:27:01.123456789Z";
  d.sha256 = std::string(64, 'a');
  d.health = "damaged";
  d.problems.push_back(Problem{"record 2 (HARBOUR)", "3 sectors could not be read", 3, ProblemKind::kUnreadable});
  d.files.push_back({"HARBOUR/HARBOUR.ZEP", std::string(64, 'b'), 4096, "2026-12-08T06:27:02Z"});
  const auto back = ParseState(StateJson({d}));
  ASSERT_TRUE(back.has_value());
  ASSERT_EQ(back->size(), 1u);
  const InventoryDisc& r = back->front();
  // The image by its own name: the box names nothing outside it.
  EXPECT_EQ(std::tuple(r.image, r.folder, r.size, r.mtime, r.sha256, r.health),
            std::tuple(std::string("HARBOUR.img"), d.folder, d.size, d.mtime, d.sha256, d.health));
  ASSERT_EQ(r.problems.size(), 1u);
  EXPECT_EQ(std::tuple(r.problems[0].subject, r.problems[0].units, r.problems[0].kind),
            std::tuple(d.problems[0].subject, std::int64_t{3}, ProblemKind::kUnreadable));
  ASSERT_EQ(r.files.size(), 1u);
  EXPECT_EQ(std::tuple(r.files[0].path, r.files[0].size, r.files[0].mtime),
            std::tuple(d.files[0].path, d.files[0].size, d.files[0].mtime));
  for (const std::string text : {"", "{}", "[]", "not json", R"({"version": 999, "discs": []})"}) {
    EXPECT_FALSE(ParseState(text).has_value()) << text;
  }
}

}  // namespace
}  // namespace zep
