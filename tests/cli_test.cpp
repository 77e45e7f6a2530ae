// zepconv end to end: the built tool, run as its own process, on generated
// disc images of both types. The core's tests carry the detail; these check
// what the tool adds: the JSON list, file names and record selection, files
// equal to the core's, and the exit status of each kind of failure. Faults are
// injected the way a damaged disc, a full drive or a hostile name presents
// them: each is reported and leaves only whole files or none.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "convert/convert.h"
#include "convert/record_file.h"
#include "disc/scan.h"
#include "tests/cli_run.h"
#include "tests/support/disc_image.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/temp_dir.h"

namespace zep {
namespace {

using json = nlohmann::json;
using test::DiscImage;
using test::RunZepconv;
using test::Tk40Block;
namespace fs = std::filesystem;

// A label with a byte above 0x7F, a gap before record 4, two records named
// alike, a name no file can carry, one with an extension, one without pings.
DiscImage Tk40Disc() {
  DiscImage img(SourceType::Tk40);
  img.Label("K\xF8GE");
  img.Entry(0, {.name = "SURVEY", .first = 0, .second = 3});
  img.Entry(3, {.name = "SURVEY", .day = 0x06, .first = 3, .second = 5});
  img.Entry(4, {.name = "A/B", .first = 5, .second = 5});
  img.Entry(6, {.name = "RUN.2", .start = {0x23, 0x59}, .first = 5, .second = 7});
  const std::uint8_t modeCodes[] = {0, 6, 7, 1, 2, 8, 10};
  for (int b = 0; b < 7; ++b) {
    Tk40Block block;
    block.Samples(static_cast<std::uint32_t>(b)).ModeCode(modeCodes[b]);
    if (b % 2 == 0) block.Text("$GPGLL," + std::to_string(b));
    img.Block(b, block);
  }
  return img;
}

// Ping records of 2048 bytes, one per sector, behind the two sectors that
// every record starts with; a name ending in the byte 0xE9.
DiscImage ZepDisc() {
  DiscImage img(SourceType::ZepV1);
  img.Entry(0, {.name = "DIVE\xE9", .first = 10, .second = 5});
  img.Entry(2, {.name = "DIVE2", .first = 20, .second = 4});
  for (int s = 10; s < 24; ++s) img.Sector(s, test::MakePingRecord(2048 - 256, static_cast<std::uint32_t>(s)));
  return img;
}

// The byte 0xE9 is the character U+00E9 in the file's name, here in UTF-8.
constexpr const char* kDiveFile = "DIVE\xC3\xA9.ZEP";

struct DiscCase {
  std::string name;
  DiscImage (*make)();
  std::string type;
  std::string listJson;
  std::map<std::string, int> files;  // file name -> slot, after converting every record
};

const DiscCase kDiscs[] = {
    {"tk40", Tk40Disc, "tk40",
     R"({"title": "ZEP Converter - K\u00f8GE", "label": "K\u00f8GE", "records": [
       {"record": 1, "slot": 0, "name": "SURVEY", "date": "05 Nov 08", "start": "14:05", "end": "15:30", "pings": 3},
       {"record": 4, "slot": 3, "name": "SURVEY", "date": "06 Nov 08", "start": "14:05", "end": "15:30", "pings": 2},
       {"record": 5, "slot": 4, "name": "A/B", "date": "05 Nov 08", "start": "14:05", "end": "15:30", "pings": 0},
       {"record": 7, "slot": 6, "name": "RUN.2", "date": "05 Nov 08", "start": "23:59", "end": "15:30", "pings": 2}]})",
     {{"SURVEY.ZEP", 0}, {"SURVEY_4.ZEP", 3}, {"A_B.ZEP", 4}, {"RUN.2", 6}}},
    {"zep", ZepDisc, "zep",
     R"({"title": "ZEP Converter", "label": null, "records": [
       {"record": 1, "slot": 0, "name": "DIVE\u00e9", "date": "05 Nov 08", "start": "14:05", "end": "15:30", "pings": 5},
       {"record": 3, "slot": 2, "name": "DIVE2", "date": "05 Nov 08", "start": "14:05", "end": "15:30", "pings": 4}]})",
     {{kDiveFile, 0}, {"DIVE2.ZEP", 2}}},
};

std::vector<std::uint8_t> Bytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// File names in UTF-8, whatever the system's own encoding of them.
std::map<std::string, std::vector<std::uint8_t>> FilesIn(const std::string& dir) {
  std::map<std::string, std::vector<std::uint8_t>> files;
  if (!fs::exists(dir)) return files;
  for (const auto& e : fs::directory_iterator(dir)) {
    const std::u8string name = e.path().filename().u8string();
    files[std::string(name.begin(), name.end())] = Bytes(e.path());
  }
  return files;
}

class CliTest : public ::testing::Test {
 protected:
  std::string Write(const DiscImage& img, const std::string& name = "disc.img") {
    const std::string path = tmp_.File(name);
    img.WriteFile(path);
    return path;
  }

  // What the core itself writes for a record of the image.
  std::vector<std::uint8_t> CoreRecord(const DiscImage& img, const std::string& imgPath, int slot) {
    const std::string path = tmp_.File("core.zep");
    const ConvertResult r = img.type() == SourceType::Tk40
                                ? ConvertTk40Record(path, img.Directory(), slot, VolumeAt(imgPath))
                                : CopyZepRecord(path, img.Directory(), slot, VolumeAt(imgPath));
    EXPECT_EQ(r.result, 1) << r.reason;
    return Bytes(path);
  }

  void ExpectCoreFiles(const DiscImage& img, const std::string& imgPath, const std::string& outDir,
                       const std::map<std::string, int>& expected) {
    const auto files = FilesIn(outDir);
    ASSERT_EQ(files.size(), expected.size());
    for (const auto& [name, slot] : expected) {
      SCOPED_TRACE(name);
      ASSERT_TRUE(files.count(name));
      EXPECT_EQ(files.at(name), CoreRecord(img, imgPath, slot));
    }
  }

  test::TempDir tmp_;
};

TEST_F(CliTest, ListJsonHoldsTitleLabelAndTheCellsOfEveryRecord) {
  for (const DiscCase& d : kDiscs) {
    SCOPED_TRACE(d.name);
    const auto run = RunZepconv({"list", Write(d.make(), d.name + ".img"), "--type", d.type, "--json"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    json list = json::parse(run.out);
    for (json& r : list["records"]) r.erase("date_iso"), r.erase("start_iso"), r.erase("end_iso");  // tested on their own
    EXPECT_EQ(list, json::parse(d.listJson));
  }
}

// Off a terminal nothing but problems goes to stderr: no progress bar.
TEST_F(CliTest, ConvertWritesTheCoresFilesUnderSafeDistinctNames) {
  for (const DiscCase& d : kDiscs) {
    SCOPED_TRACE(d.name);
    const DiscImage img = d.make();
    const std::string imgPath = Write(img, d.name + ".img"), out = tmp_.File(d.name + "-out/new");
    const auto run = RunZepconv({"convert", imgPath, "--type", d.type, "--out", out});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    ExpectCoreFiles(img, imgPath, out, d.files);
  }
}

TEST_F(CliTest, RecordNumbersSelectSlotsAndNameInAscendingOrder) {
  const struct {
    std::vector<std::string> select;
    std::map<std::string, int> files;
  } cases[] = {
      // Record 4 is slot 3 (the second row); alone in its run it keeps its plain name.
      {{"--record", "4"}, {{"SURVEY.ZEP", 3}}},
      {{"--record", "7", "--record", "1", "--record", "7"}, {{"SURVEY.ZEP", 0}, {"RUN.2", 6}}},
      // Converted in record order whatever the order asked: record 4 is the one renamed.
      {{"--record", "4,1"}, {{"SURVEY.ZEP", 0}, {"SURVEY_4.ZEP", 3}}},
  };
  const DiscImage img = Tk40Disc();
  const std::string imgPath = Write(img);
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.select[1]);
    const std::string out = tmp_.File("out" + std::to_string(n++));
    std::vector<std::string> args{"convert", imgPath, "--out", out};
    args.insert(args.end(), c.select.begin(), c.select.end());
    const auto run = RunZepconv(args);
    EXPECT_EQ(run.status, 0) << run.err;
    ExpectCoreFiles(img, imgPath, out, c.files);
  }
}

// Status 2 refuses before anything is written; status 1 names what failed.
TEST_F(CliTest, ExitStatusNamesEachKindOfFailure) {
  const std::string img = Write(Tk40Disc());
  const std::string blocker = tmp_.File("blocker");
  std::ofstream(blocker) << "a file, not a folder";
  const std::string dir = tmp_.path().string(), out = tmp_.File("out");
  const std::string tiny = Write(DiscImage(Tk40Disc()).Resize(32), "tiny.img");  // slot 0 alone
  const struct {
    std::vector<std::string> args;
    int status;
    std::string err;
  } cases[] = {
      {{}, 2, "command"},
      {{"list", dir + "/none.img"}, 2, "none.img"},
#ifdef _WIN32
      {{"list", "q:"}, 2, "There is no disk in drive Q"},  // no drive Q in the test's Wine prefix
#endif
      {{"list", img, "--type", "tk41"}, 2, "tk41"},
      {{"convert", img, "--out", out, "--record", "65"}, 2, "65"},
      {{"convert", img, "--out", out, "--record", "1", "--record", "3"}, 2, ": no record 3 (its records: 1, 4, 5, 7)"},
      {{"convert", img}, 2, "--out"},
      {{"split", dir + "/none.bin", "--out", out}, 2, "none.bin"},
      {{"info", dir + "/none.ZEP"}, 2, "none.ZEP"},
      {{"convert", img, "--out", blocker + "/sub"}, 2, "cannot create the folder"},
      {{"dump", img, "--out", blocker + "/d.bin"}, 2, "the dump was not written"},
      {{"list", tiny}, 1, "directory"},
#ifndef _WIN32
      {{"dump", img, "--out", "/dev/full"}, 1, "No space"},  // and the device is left alone
#endif
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.empty() ? "no command" : c.args[0] + " " + c.args.back());
    const auto run = RunZepconv(c.args);
    EXPECT_EQ(run.status, c.status);
    EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(out));
  }
#ifndef _WIN32
  EXPECT_TRUE(fs::exists("/dev/full"));
#endif
}

// A record that runs past the end of the disc: the readable part is written,
// the record is named, and the other records are converted all the same.
TEST_F(CliTest, UnreadableUnitsGiveStatusOneAndTheRestIsConverted) {
  const struct {
    std::string type;
    DiscImage img;
    std::string err;
  } cases[] = {
      {"tk40", Tk40Disc().Entry(7, {.name = "LONG", .first = 5, .second = 12}), "record 8 (LONG): 5 blocks of 7"},
      {"zep", ZepDisc().Entry(5, {.name = "LONG", .first = 20, .second = 10}), "record 6 (LONG): 6 of 8 sectors"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.type);
    const std::string out = tmp_.File(c.type + "-out");
    const auto run = RunZepconv({"convert", Write(c.img, c.type + ".img"), "--type", c.type, "--out", out});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
    const auto files = FilesIn(out);
    EXPECT_EQ(files.size(), (c.type == "tk40" ? 5u : 3u));
    EXPECT_TRUE(files.count("LONG.ZEP"));
  }
}

TEST_F(CliTest, InfoReportsPingsDateModesAndGpsAndFailsOnACutFile) {
  const std::string out = tmp_.File("out");
  ASSERT_EQ(RunZepconv({"convert", Write(Tk40Disc()), "--out", out, "--record", "1"}).status, 0);
  const std::string whole = out + "/SURVEY.ZEP", cut = out + "/cut.ZEP";
  const auto bytes = Bytes(whole);
  std::ofstream(cut, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                            static_cast<std::streamsize>(bytes.size() - 10));

  const auto run = RunZepconv({"info", whole, cut, "--json"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("cut.ZEP: not whole"), std::string::npos) << run.err;
  const json reports = json::parse(run.out);
  ASSERT_EQ(reports.size(), 2u);
  // Mode codes 0, 6 and 7 are the modes 3, 10 and 4; blocks 0 and 2 carry a text.
  EXPECT_EQ(reports[0]["whole"], true);
  EXPECT_EQ(reports[0]["pings"], 3);
  EXPECT_EQ(reports[0]["date"], "2008-11-05");
  EXPECT_EQ(reports[0]["modes"], json::parse(R"([{"mode": 3, "pings": 1}, {"mode": 4, "pings": 1},
                                                 {"mode": 10, "pings": 1}])"));
  EXPECT_EQ(reports[0]["first_gps"], "$GPGLL,0");
  EXPECT_EQ(reports[0]["last_gps"], "$GPGLL,2");
  EXPECT_EQ(reports[1]["whole"], false);
  EXPECT_EQ(reports[1]["pings"], 2);

  EXPECT_EQ(RunZepconv({"info", whole}).status, 0);
}

// The dump area of a disc holding two runs of ping records, dumped and split;
// a disc that ends inside the dump area still gives a dump of full length.
TEST_F(CliTest, DumpThenSplitRecoversTheRunsOfPings) {
  const std::string img = Write(Tk40Disc());
  const auto p0 = test::MakePingRecord(100, 0), p1 = test::MakePingRecord(0, 1), p2 = test::MakePingRecord(2000, 2);
  std::vector<std::uint8_t> run1;
  for (const auto* p : {&p0, &p1, &p2}) run1.insert(run1.end(), p->begin(), p->end());
  fs::resize_file(img, static_cast<std::uintmax_t>(kDumpOffset + kDumpSize));  // sparse: zeros between
  {
    std::fstream f(img, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(kDumpOffset + 1000);
    f.write(reinterpret_cast<const char*>(run1.data()), static_cast<std::streamsize>(run1.size()));
    f.seekp(kDumpOffset + 50001);
    f.write(reinterpret_cast<const char*>(p2.data()), static_cast<std::streamsize>(p2.size()));
  }
  const std::string dump = tmp_.File("test.bin"), out = tmp_.File("split");
  auto run = RunZepconv({"dump", img, "--out", dump});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(fs::file_size(dump), static_cast<std::uintmax_t>(kDumpSize));

  run = RunZepconv({"split", dump, "--out", out});
  EXPECT_EQ(run.status, 0) << run.err;
  std::vector<std::uint8_t> fond0(4096, 0), fond1(4096, 0);
  fond0.insert(fond0.end(), run1.begin(), run1.end());
  fond1.insert(fond1.end(), p2.begin(), p2.end());
  EXPECT_EQ(FilesIn(out), (std::map<std::string, std::vector<std::uint8_t>>{{"fond0.zep", fond0}, {"fond1.zep", fond1}}));

  fs::resize_file(img, static_cast<std::uintmax_t>(kDumpOffset + 8192));
  run = RunZepconv({"dump", img, "--out", dump});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("5054 of 5056 pieces"), std::string::npos) << run.err;
  EXPECT_EQ(fs::file_size(dump), static_cast<std::uintmax_t>(kDumpSize));
}

#ifndef _WIN32
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

TEST_F(CliTest, FullDiskRemovesTheRecordItStopped) {
  const std::string img = Write(Tk40Disc());
  test::ToolRun run;
  {
    // A file size limit, inherited by the tool, stands in for a full disk:
    // record 5's file (4096 bytes) fits, record 1's (13184) does not.
    test::FileSizeLimit limit(8000);
    if (!limit.active()) GTEST_SKIP() << limit.whyNot();
    run = RunZepconv({"convert", img, "--out", tmp_.File("out"), "--record", "5,1", "--quiet"});
  }
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_NE(run.err.find("SURVEY"), std::string::npos) << run.err;
  EXPECT_EQ(WholeFiles(tmp_.File("out")), (std::map<std::string, std::uint64_t>{{"A_B.ZEP", 0}}));
}

// Names read off a disc that try to leave the output folder, name a device or
// carry bytes no file name should: every file lands inside the folder.
TEST_F(CliTest, HostileNamesStayInsideTheOutputFolder) {
  DiscImage img(SourceType::Tk40);
  const std::string names[] = {"..",      "../../evil", "/etc/x", "CON",    "nul.txt", "A\\..\\B",
                               "\x01\x1F\x7F", "\xFF\xFE\xFD", "COM1", "a:b*c?d"};
  int slot = 0;
  for (const std::string& n : names) img.Entry(slot++, {.name = n, .first = 0, .second = 1});
  img.Block(0, Tk40Block().Samples(1));
  const std::string path = Write(img, "hostile.img"), inner = tmp_.File("out/inner");
  fs::create_directory(tmp_.File("out"));
  const auto run = RunZepconv({"convert", path, "--out", inner, "--quiet"});
  EXPECT_EQ(run.status, 0) << run.err;
  // Nothing beside the output folder, nothing below it but plain files.
  std::vector<std::string> outside;
  for (const auto& e : fs::recursive_directory_iterator(tmp_.path())) {
    const auto rel = fs::relative(e.path(), tmp_.path()).string();
    if (rel == "hostile.img" || rel == "out" || rel == "out/inner") continue;
    if (e.path().parent_path() != fs::path(inner) || !e.is_regular_file()) outside.push_back(rel);
  }
  EXPECT_TRUE(outside.empty()) << outside.front();
  EXPECT_EQ(WholeFiles(inner).size(), std::size(names));
}
#endif

}  // namespace
}  // namespace zep
