// A box that grows over runs, reads the same from any folder and in any
// order, merges with another box; the inventory's command line and what it
// says of discs it cannot read.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include <nlohmann/json.hpp>

#include "export/netcdf.h"
#include "box/sha256.h"
#include "tests/cli_run.h"
#include "tests/support/record_check.h"

namespace zep {
namespace {

using json = nlohmann::json;
using test::CliTest;
using test::Lines;
using test::ReadText;
using test::RunZepconv;
namespace fs = std::filesystem;

// Records 1 (blocks 0-3) and 2 (blocks 4-7); seed makes two images differ.
test::DiscImage Disc(std::uint32_t seed = 0) {
  test::DiscImage img(SourceType::Tk40, 16384 + 8 * 4096);
  img.Entry(0, {.name = "ONE", .first = 0, .second = 4}).Entry(1, {.name = "TWO", .first = 4, .second = 8});
  for (int b = 0; b < 8; ++b) img.Block(b, test::Tk40Block().Samples(static_cast<std::uint32_t>(b) + seed).ModeCode(1));
  return img;
}

// ddrescue could not read block 1.
constexpr const char* kMap = "0x0 +\n0x0 0x5000 +\n0x5000 0x1000 -\n0x6000 0x6000 +\n";

std::vector<std::string> Folders(const std::string& box) {
  std::vector<std::string> folders;
  const json inv = json::parse(ReadText(box + "/inventory.json"));
  for (const json& d : inv["discs"]) folders.push_back(d["folder"]);
  return folders;
}

// Every line of the manifest names a file with the hash it has now.
void ExpectManifestHolds(const std::string& box) {
  const auto lines = Lines(ReadText(box + "/manifest-sha256.txt"));
  EXPECT_FALSE(lines.empty());
  for (const std::string& line : lines) {
    EXPECT_EQ(line.substr(0, 64), Sha256OfFile(box + "/" + line.substr(66)).hex) << line;
  }
}

// Every file below dir, by path, with its bytes; the state's times left out.
std::map<std::string, std::string> Tree(const std::string& dir) {
  std::map<std::string, std::string> tree;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    if (!e.is_regular_file()) continue;
    std::string text = ReadText(e.path().string());
    if (e.path().filename() == "inventory-state.json") {
      std::string kept;
      for (const std::string& line : Lines(text)) kept += line.find("\"mtime\"") == std::string::npos ? line + "\n" : "";
      text = kept;
    }
    tree[fs::relative(e.path(), dir).generic_string()] = text;
  }
  return tree;
}

// Runs zepconv with folder as its working folder.
test::ToolRun RunIn(const std::string& folder, const std::vector<std::string>& args) {
  const fs::path was = fs::current_path();
  fs::current_path(folder);
  test::ToolRun run = RunZepconv(args);
  fs::current_path(was);
  return run;
}

// Run after run into one box: discs stay, new ones join, one given again is
// read again only when its image changed or --reread asks; --drop takes one out.
TEST_F(CliTest, ABoxGrowsOverRuns) {
  for (const char* name : {"a.img", "b.img", "c.img"}) Write(Disc(), name);
  const std::string box = tmp.File("box");
  const struct {
    const char* what;
    std::vector<std::string> args;
    const char* change;                  // an image changed before the run
    std::vector<std::string> folders;    // the box's discs after it
    std::set<std::string> read;          // the discs given that were read, not kept
  } runs[] = {
      {"one disc", {"a.img"}, "", {"a"}, {"a"}},
      {"two more", {"b.img", "c.img"}, "", {"a", "b", "c"}, {"b", "c"}},
      {"one unchanged, one changed", {"a.img", "c.img"}, "c.img", {"a", "b", "c"}, {"c"}},
      {"asked to read again", {"b.img", "--reread"}, "", {"a", "b", "c"}, {"b"}},
      {"netCDF asked for only now", {"a.img", "--netcdf"}, "", {"a", "b", "c"},
       HaveNetcdf() ? std::set<std::string>{"a"} : std::set<std::string>{}},
      {"one taken out", {"--drop", "b.img"}, "", {"a", "c"}, {}},
  };
  for (const auto& r : runs) {
    SCOPED_TRACE(r.what);
    if (*r.change) std::ofstream(tmp.File(r.change), std::ios::binary | std::ios::app) << std::string(4096, '\0');
    std::vector<std::string> args{"inventory", "-o", box};
    for (const std::string& a : r.args) args.push_back(a.ends_with(".img") ? tmp.File(a) : a);
    const test::ToolRun run = RunZepconv(args);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Folders(box), r.folders);
    EXPECT_EQ(Lines(ReadText(box + "/inventory.csv")).size(), 1 + 2 * r.folders.size());
    // Each disc given has its line; one the box held as it was says so.
    for (const std::string& line : Lines(run.out)) {
      if (line.starts_with("total: ")) continue;
      const std::string f = line.substr(line.rfind(".img -> ") - 1, 1);
      EXPECT_EQ(line.ends_with(" (as read before)"), !r.read.contains(f)) << line;
    }
    for (const std::string& f : r.folders) {
      EXPECT_NE(ReadText(box + "/manifest-sha256.txt").find("  " + f + "/ONE.ZEP\n"), std::string::npos) << f;
    }
    ExpectManifestHolds(box);
  }
  EXPECT_FALSE(fs::exists(box + "/b") || fs::exists(box + "/b.html"));
}

// The same discs from two working folders, by relative and absolute paths,
// in two orders of runs, on one thread and on two: the same files, times
// aside. A damaged disc (its mapfile named), a disc claiming blocks past its
// end (its image named) and a file that is no disc put paths into the texts.
TEST_F(CliTest, ABoxIsTheSameFromAnyFolderInAnyOrder) {
  for (const char* dir : {"imgs", "w1", "w2/deep"}) fs::create_directories(tmp.File(dir));
  Write(Disc(), "imgs/a.img");
  Write(Disc(), "imgs/hurt.img");
  Put("imgs/hurt.map", kMap);
  test::DiscImage far = Disc();
  far.Entry(1, {.name = "FAR", .first = 4, .second = 900});
  Write(far, "imgs/far.img");
  Put("imgs/noise.img", std::string(20000, '\x5a'));
  const std::vector<std::vector<std::string>> one = {{"../imgs/a.img", "../imgs/hurt.img"},
                                                     {"../imgs/far.img", "../imgs/noise.img"}};
  for (const auto& images : one) {
    std::vector<std::string> args{"inventory", "-o", "../box1", "--jobs", "1"};
    args.insert(args.end(), images.begin(), images.end());
    RunIn(tmp.File("w1"), args);
  }
  for (const char* image : {"noise.img", "far.img", "hurt.img", "a.img"}) {
    RunIn(tmp.File("w2/deep"), {"inventory", tmp.File(std::string("imgs/") + image), "--out", tmp.File("box2"), "--jobs", "2"});
  }
  const auto box1 = Tree(tmp.File("box1")), box2 = Tree(tmp.File("box2"));
  ASSERT_EQ(Folders(tmp.File("box1")), (std::vector<std::string>{"a", "far", "hurt", "noise"}));
  for (const auto& [path, text] : box1) {
    EXPECT_EQ(text, box2.count(path) ? box2.at(path) : "(missing)") << path;
    EXPECT_EQ(text.find("imgs/"), std::string::npos) << path;
    EXPECT_EQ(text.find(tmp.File("")), std::string::npos) << path;
  }
  EXPECT_EQ(box1.size(), box2.size());
  // check.json is what check --json says of the image by its own name.
  const test::ToolRun check = RunIn(tmp.File("imgs"), {"check", "--json", "hurt.img"});
  EXPECT_EQ(box1.at("hurt/check.json"), check.out);
}

// Two boxes made apart merge: a disc in both (the same image) is kept once,
// one image name with two different images is a conflict, named; a file
// that is not what its box's manifest says keeps its disc out.
TEST_F(CliTest, BoxesMerge) {
  for (const char* dir : {"m1", "m2"}) fs::create_directories(tmp.File(dir));
  Write(Disc(), "shared.img");
  Write(Disc(), "m1/x.img");
  Write(Disc(7), "m2/x.img");
  Write(Disc(), "y.img");
  Write(Disc(), "z.img");
  ASSERT_EQ(RunZepconv({"inventory", tmp.File("shared.img"), tmp.File("m1/x.img"), "-o", tmp.File("A")}).status, 0);
  ASSERT_EQ(RunZepconv({"inventory", tmp.File("shared.img"), tmp.File("m2/x.img"), tmp.File("y.img"), "-o", tmp.File("B")}).status, 0);
  ASSERT_EQ(RunZepconv({"inventory", tmp.File("z.img"), "-o", tmp.File("C")}).status, 0);
  std::ofstream(tmp.File("C/z/TWO.ZEP"), std::ios::binary | std::ios::app) << "spoilt";
  const struct {
    const char* what;
    std::string other;
    int status;
    std::vector<std::string> folders;  // the merged box's discs
    std::vector<std::string> said;     // on stderr
  } cases[] = {
      {"shared, conflicting and new", "B", 1, {"shared", "x", "y"},
       {"shared.img: in both boxes, the same image; kept once", "x.img: in both boxes, but not the same image"}},
      {"a file its manifest does not vouch for", "C", 1, {"shared", "x", "y"}, {"TWO.ZEP: does not hold"}},
      {"no box", "m1", 2, {"shared", "x", "y"}, {"holds no box to merge"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const test::ToolRun run = RunZepconv({"inventory", "--merge", tmp.File(c.other), "-o", tmp.File("A")});
    EXPECT_EQ(run.status, c.status) << run.err;
    for (const std::string& s : c.said) EXPECT_NE(run.err.find(s), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("starting afresh"), std::string::npos) << run.err;  // a merge goes on from nothing
    EXPECT_EQ(Folders(tmp.File("A")), c.folders);
    ExpectManifestHolds(tmp.File("A"));
    EXPECT_EQ(run.status == 2 ? "" : Lines(run.out).back().substr(0, 18), run.status == 2 ? "" : "total: 3 discs -> ");
  }
  EXPECT_EQ(ReadText(tmp.File("A/y/ONE.ZEP")), ReadText(tmp.File("B/y/ONE.ZEP")));
  EXPECT_EQ(ReadText(tmp.File("A/x/ONE.ZEP")), ReadText(tmp.File("A/shared/ONE.ZEP")));  // A's own x
  EXPECT_FALSE(fs::exists(tmp.File("A/z")));
}

// The inventory's command line is the others', and every disc it cannot
// read, or reads only in part, says why on stderr and in the box, in
// convert's words.
TEST_F(CliTest, InventoryNamesWhatItCannotRead) {
  const std::string a = Write(Disc(), "a.img"), hurt = Write(Disc(), "hurt.img");
  Put("hurt.map", kMap);
  const std::string noise = Put("noise.img", std::string(20000, '\x5a'));
  const std::string lost = tmp.File("lost.img"), lostDump = tmp.File("lostdump.img");
  ASSERT_EQ(test::RunProcess({MAKE_SAMPLE_DISC_PATH, "--zero-directory", lost}, tmp.File("m.out"), tmp.File("m.err")), 0);
  ASSERT_EQ(test::RunProcess({MAKE_SAMPLE_DISC_PATH, "--zero-directory", "--dump-runs", lostDump}, tmp.File("m.out"),
                             tmp.File("m.err")),
            0);
  const struct {
    const char* what;
    std::vector<std::string> args;
    int status;
    const char* said;   // on stderr and among the disc's problems
    const char* total;  // stdout's last line, up to " -> "
    const char* type;   // the disc's type
  } cases[] = {
      {"-o and --type auto", {a, "--type", "auto"}, 0, "", "total: 1 disc, 2 records, 8 pings, 0 sectors lost", "TK40"},
      {"a file that is no disc", {noise}, 2, "not a TK40 or ZEP V1.X disc", "total: 1 disc, 0 records, 0 pings, 0 sectors lost", ""},
      {"block losses name the record", {hurt}, 1, "record 1 (ONE): 1 block of 4 could not be read",
       "total: 1 disc, 2 records, 7 pings, 2 sectors lost", "TK40"},
      {"no directory: the type of its runs", {lost}, 1, "a blank disc", "total: 1 disc, 5 records, 1400 pings, 0 sectors lost", "TK40"},
      // Its dump area's ping records are found once, by the one search for them.
      {"no directory, runs in the dump area", {lostDump}, 1, "a blank disc",
       "total: 1 disc, 8 records, 1525 pings, 0 sectors lost", "TK40"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string box = tmp.File(std::string("box-") + c.what);
    std::vector<std::string> args{"inventory", "-o", box};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const test::ToolRun run = RunZepconv(args);
    EXPECT_EQ(run.status, c.status) << run.err;
    const auto out = Lines(run.out);
    EXPECT_EQ(out.empty() ? "" : out.back().substr(0, out.back().find(" -> ")), c.total) << run.out;
    EXPECT_NE(run.err.find(c.said), std::string::npos) << run.err;
    const json disc = json::parse(ReadText(box + "/inventory.json"))["discs"][0];
    EXPECT_EQ(disc["disc_type"].is_null() ? "" : disc["disc_type"].get<std::string>(), c.type);
    EXPECT_EQ(disc["problems"].dump().find(c.said) != std::string::npos, true) << disc["problems"].dump();
  }
}

}  // namespace
}  // namespace zep
