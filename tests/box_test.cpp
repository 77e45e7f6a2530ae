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
       "total: 2 discs, 4 records, 16 pings, 0 sectors lost, done"},
      {"the map beside is used", {"convert", hurt, a}, 1, {"hurt", "disc"},
       "total: 2 discs, 4 records, 15 pings, 2 sectors lost, partly done"},
      {"one unreadable", {"convert", gone, a}, 1, {"disc"},
       "total: 2 discs, 2 records, 8 pings, 0 sectors lost, partly done"},
      {"none readable", {"convert", gone, gone}, 2, {}, "total: 2 discs, 0 records, 0 pings, 0 sectors lost, nothing done"},
      {"check", {"check", hurt, a}, 1, {}, "total: 2 discs, 4 records, 15 pings, 2 sectors lost, partly done"},
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

  // Bytes appended to a's record file: the resumed run reads a again, and
  // writes the file as it was.
  const std::string aMade = ReadText(out + "/a/ONE.ZEP");
  ASSERT_FALSE(aMade.empty());
  std::ofstream(out + "/a/ONE.ZEP", std::ios::binary | std::ios::app) << "spoilt";
  run = RunZepconv({"inventory", a, b, "--out", out, "--resume"});
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_EQ(ReadText(out + "/a/ONE.ZEP"), aMade);
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
  const std::string bMade = ReadText(out + "/b/ONE.ZEP");
  ASSERT_FALSE(bMade.empty());
  std::ofstream(out + "/b/ONE.ZEP", std::ios::binary) << "spoilt";
  run = RunZepconv({"inventory", a, b, "--out", out, "--resume"});
  EXPECT_EQ(ReadText(out + "/b/ONE.ZEP"), bMade);
  ExpectManifestHolds(out);
}

// A box whose state an earlier zepconv wrote (version 2: kinds as numbers)
// goes on as it was: nothing is read again, and the problems are the same.
TEST_F(CliTest, InventoryResumesAStateOfVersionTwo) {
  const std::string b = Write(TwoRecords(), "b.img");
  Put("b.mapfile", kMap);
  const std::string out = tmp.File("box");
  const test::ToolRun first = RunZepconv({"inventory", b, "--out", out});
  ASSERT_EQ(first.status, 1) << first.err;
  using json = nlohmann::ordered_json;
  json state = json::parse(ReadText(out + "/inventory-state.json"));
  state["zepconv_inventory_state"] = 2;
  int changed = 0;
  for (json& p : state["discs"][0]["problems"]) {
    ASSERT_EQ(p["kind"], "unreadable");
    p["kind"] = 1, ++changed;
  }
  ASSERT_GT(changed, 0);
  std::ofstream(out + "/inventory-state.json", std::ios::binary | std::ios::trunc) << state.dump(1);
  const test::ToolRun again = RunZepconv({"inventory", b, "--out", out, "--resume"});
  EXPECT_EQ(again.status, 1) << again.err;
  EXPECT_NE(again.out.find("(as read before)"), std::string::npos) << again.out;
  // The problems as before (the mapfile's line names it as the state keeps it).
  std::vector<std::string> said = Lines(again.err), saidFirst = Lines(first.err);
  ASSERT_GT(said.size(), 1u);
  said.erase(said.begin()), saidFirst.erase(saidFirst.begin());
  EXPECT_EQ(said, saidFirst);
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

// A disc's health is the disc's own: an output that could not be written, or
// netCDF-C missing from the machine, fails the outputs and leaves it whole.
TEST(InventoryHealth, TheDiscsOwnProblemsDecideItNotItsOutputs) {
  const auto problem = [](ProblemKind kind) { return Problem{"", "p", 0, kind}; };
  const struct {
    Problems problems;
    std::int64_t unitsLost;
    Health health;
    Outputs outputs;
  } cases[] = {
      {{}, 0, Health::kWhole, Outputs::kWritten},
      {{}, 3, Health::kDamaged, Outputs::kWritten},
      {{problem(ProblemKind::kWriteFailed), problem(ProblemKind::kMissing)}, 0, Health::kWhole, Outputs::kFailed},
      {{problem(ProblemKind::kUnreadable)}, 0, Health::kDamaged, Outputs::kWritten},
      {{problem(ProblemKind::kMissing), problem(ProblemKind::kNoDirectory)}, 2, Health::kDirectoryLost, Outputs::kFailed},
  };
  for (const auto& c : cases) {
    InventoryDisc d;
    d.problems = c.problems;
    d.records.push_back({});
    d.records[0].unitsLost = c.unitsLost;
    d.files.push_back({});
    EXPECT_EQ(std::pair(HealthOf(d), OutputStatus(d)), std::pair(c.health, c.outputs)) << &c - cases;
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
  d.health = Health::kDamaged;
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
  for (const std::string text : {"", "{}", "[]", "not json"}) EXPECT_FALSE(ParseState(text).has_value()) << text;
}

// A state is read by its version: version 2 (kinds kept as numbers, before
// they were kept by name) still resumes; a version this zepconv does not know,
// or a word that is no health, verdict or kind, starts afresh.
TEST(InventoryState, ReadsEachVersionItKnows) {
  InventoryDisc d;
  d.image = "HARBOUR.img";
  d.health = Health::kDirectoryLost;
  d.problems.push_back(Problem{"record 2 (HARBOUR)", "ping 15 missing", 0, ProblemKind::kNotTried});
  d.records.push_back(InventoryRecord{.name = "carved-000000028672", .verdict = std::nullopt});
  d.records.push_back(InventoryRecord{.record = 2, .name = "HARBOUR", .verdict = Verdict::BeyondEnd});
  const std::string now = StateJson({d});
  const auto with = [&now](const std::string& from, const std::string& to) {
    std::string text = now;
    const std::size_t at = text.find(from);
    return at == std::string::npos ? std::string() : text.replace(at, from.size(), to);
  };
  const struct {
    std::string text;
    bool read;
  } cases[] = {
      {now, true},
      {with(R"("zepconv_inventory_state": 3)", R"("zepconv_inventory_state": 2)"), true},
      {with(R"("zepconv_inventory_state": 3)", R"("zepconv_inventory_state": 999)"), false},
      {with(R"("health": "directory lost")", R"("health": "so-so")"), false},
      {with(R"("verdict": "beyond end")", R"("verdict": "so-so")"), false},
      {with(R"("kind": "not tried")", R"("kind": "so-so")"), false},
      {with(R"("kind": "not tried")", R"("kind": 99)"), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    ASSERT_FALSE(c.text.empty());
    const auto back = ParseState(c.text);
    ASSERT_EQ(back.has_value(), c.read);
    if (!c.read) continue;
    EXPECT_EQ(back->front().health, Health::kDirectoryLost);
    EXPECT_EQ(back->front().problems.at(0).kind, ProblemKind::kNotTried);
    EXPECT_EQ(back->front().records.at(0).verdict, std::nullopt);
    EXPECT_EQ(back->front().records.at(1).verdict, Verdict::BeyondEnd);
  }
  // Every kind keeps by a name of its own; a kind that is gone reads as kOther.
  for (int k = 0; k <= static_cast<int>(ProblemKind::kRecordFileAsDisc); ++k) {
    EXPECT_EQ(ProblemKindNamed(ProblemKindName(static_cast<ProblemKind>(k))), static_cast<ProblemKind>(k)) << k;
  }
  EXPECT_EQ(ProblemKindNamed("no mode"), ProblemKind::kOther);
  // Version 2 kept the kind as ProblemKind's number then: 13 was "not tried".
  std::string two = with(R"("zepconv_inventory_state": 3)", R"("zepconv_inventory_state": 2)");
  two.replace(two.find(R"("not tried")"), 11, "13");
  const auto back = ParseState(two);
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(back->front().problems.at(0).kind, ProblemKind::kNotTried);
}

// Streams hashed through one lane, their writes interleaved, give the
// digests one thread gives: each stream's bytes in order, whichever thread
// hashes them (the lane, or the writer when the lane is behind or it waits).
TEST(HashLaneTest, EachStreamHashesAsOnOneThread) {
  const std::size_t kMiB = 1 << 20;
  const struct {
    const char* what;
    int streams;
    std::vector<std::size_t> writes;  // sizes, taken in turn by each stream
    std::size_t digestEvery;          // writes between digests (0: only at the end)
  } cases[] = {
      {"one stream, more than the lane holds", 1, {3 * kMiB + 5, kMiB, 7}, 0},
      {"many small writes, streams interleaved", 5, {1, 255, 4096, 65536}, 0},
      {"digests taken midway", 3, {kMiB - 1, 2, 300 * 1024}, 5},
      {"large streams side by side", 4, {2 * kMiB + 3, 17}, 3},
  };
  for (const auto& c : cases) {
    auto lane = std::make_shared<HashLane>();
    std::vector<std::unique_ptr<Sha256>> laned, alone;
    std::vector<std::string> got, want;
    for (int s = 0; s < c.streams; ++s) laned.push_back(std::make_unique<Sha256>(lane)), alone.push_back(std::make_unique<Sha256>());
    std::vector<std::uint8_t> bytes(4 * kMiB);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 4099);
    for (std::size_t w = 0; w < 24; ++w) {
      const int s = static_cast<int>(w) % c.streams;
      const std::span<const std::uint8_t> piece(bytes.data() + w, c.writes[w % c.writes.size()]);
      laned[s]->Update(piece), alone[s]->Update(piece);
      if (c.digestEvery && w % c.digestEvery == 0) got.push_back(laned[s]->HexDigest()), want.push_back(alone[s]->HexDigest());
    }
    for (int s = 0; s < c.streams; ++s) got.push_back(laned[s]->HexDigest()), want.push_back(alone[s]->HexDigest());
    EXPECT_EQ(got, want) << c.what;
  }
}

}  // namespace
}  // namespace zep
