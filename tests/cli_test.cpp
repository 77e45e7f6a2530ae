// zepconv, run as its own process on generated images of both types: what the
// tool adds to the core (the JSON list, file names, record selection, files
// equal to the core's) and the exit status and message of each kind of failure.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include <nlohmann/json.hpp>

#include "disc/scan.h"
#include "tests/cli_run.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/record_check.h"

namespace zep {
namespace {

using json = nlohmann::json;
using test::DiscImage;
using test::RunZepconv;
namespace fs = std::filesystem;
using Files = std::map<std::string, std::vector<std::uint8_t>>;

// A label with a byte above 0x7F, a gap before record 4, two records named
// alike, names no file can carry (one would climb out of the folder), one with
// an extension, records without pings.
DiscImage Tk40Disc() {
  DiscImage img(SourceType::Tk40);
  img.Label("K\xF8GE");
  img.Entry(0, {.name = "SURVEY", .first = 0, .second = 3});
  img.Entry(1, {.name = "../..\\CON", .first = 5, .second = 5});
  img.Entry(3, {.name = "SURVEY", .day = 0x06, .first = 3, .second = 5});
  img.Entry(4, {.name = "A/B", .first = 5, .second = 5});
  img.Entry(6, {.name = "RUN.2", .start = {0x23, 0x59}, .first = 5, .second = 7});
  const std::uint8_t modeCodes[] = {0, 6, 7, 1, 2, 8, 10};
  for (int b = 0; b < 7; ++b) {
    test::Tk40Block block;
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

const struct {
  std::string type;
  DiscImage (*make)();
  std::string listJson;
  std::map<std::string, int> files;  // file name (UTF-8) -> slot, after converting every record
} kDiscs[] = {
    {"tk40", Tk40Disc,
     R"({"title": "ZEP Converter - K\u00f8GE", "label": "K\u00f8GE", "records": [
       {"record": 1, "slot": 0, "name": "SURVEY", "date": "05 Nov 08", "start": "14:05", "end": "15:30", "pings": 3},
       {"record": 2, "slot": 1, "name": "../..\\CON", "date": "05 Nov 08", "start": "14:05", "end": "15:30", "pings": 0},
       {"record": 4, "slot": 3, "name": "SURVEY", "date": "06 Nov 08", "start": "14:05", "end": "15:30", "pings": 2},
       {"record": 5, "slot": 4, "name": "A/B", "date": "05 Nov 08", "start": "14:05", "end": "15:30", "pings": 0},
       {"record": 7, "slot": 6, "name": "RUN.2", "date": "05 Nov 08", "start": "23:59", "end": "15:30", "pings": 2}]})",
     {{"SURVEY.ZEP", 0}, {".._.._CON", 1}, {"SURVEY_4.ZEP", 3}, {"A_B.ZEP", 4}, {"RUN.2", 6}}},
    {"zep", ZepDisc,
     R"({"title": "ZEP Converter", "label": null, "records": [
       {"record": 1, "slot": 0, "name": "DIVE\u00e9", "date": "05 Nov 08", "start": "14:05", "end": "15:30", "pings": 5},
       {"record": 3, "slot": 2, "name": "DIVE2", "date": "05 Nov 08", "start": "14:05", "end": "15:30", "pings": 4}]})",
     {{"DIVE\xC3\xA9.ZEP", 0}, {"DIVE2.ZEP", 2}}},  // the byte 0xE9 is U+00E9 in the file's name
};

// Every file in dir by its name in UTF-8, whatever the system's own encoding of it.
Files FilesIn(const std::string& dir) {
  Files files;
  for (const auto& e : fs::directory_iterator(dir)) {
    const std::u8string name = e.path().filename().u8string();
    files[std::string(name.begin(), name.end())] = test::ReadWholeFile(e.path());
  }
  return files;
}

Files CoreFiles(const DiscImage& img, const std::map<std::string, int>& slots) {
  Files files;
  for (const auto& [name, slot] : slots) files[name] = test::CoreRecord(img, slot);
  return files;
}

struct CliTest : ::testing::Test {
  std::string Write(const DiscImage& img, const std::string& name = "disc.img") {
    img.WriteFile(tmp.File(name));
    return tmp.File(name);
  }
  test::TempDir tmp;
};

// Off a terminal nothing but problems goes to stderr: no progress bar.
TEST_F(CliTest, ListAndConvertEveryRecordOfBothTypes) {
  for (const auto& d : kDiscs) {
    SCOPED_TRACE(d.type);
    const std::string img = Write(d.make(), d.type + ".img"), out = tmp.File(d.type);
    auto run = RunZepconv({"list", img, "--type", d.type, "--json"});
    EXPECT_EQ(std::pair(run.status, run.err), std::pair(0, std::string()));
    json list = json::parse(run.out);
    for (json& r : list["records"]) r.erase("date_iso"), r.erase("start_iso"), r.erase("end_iso");  // tested on their own
    EXPECT_EQ(list, json::parse(d.listJson));
    fs::create_directory(out);
    std::ofstream(out + "/" + d.files.begin()->first) << std::string(1 << 20, 'z');  // longer than what replaces it
    run = RunZepconv({"convert", img, "--type", d.type, "--out", out});
    EXPECT_EQ(std::pair(run.status, run.err), std::pair(0, std::string()));
    EXPECT_EQ(FilesIn(out), CoreFiles(d.make(), d.files));
  }
}

// Converted in record order whatever the order asked; alone in its run a
// record keeps its plain name.
TEST_F(CliTest, RecordNumbersSelectSlots) {
  const struct {
    std::vector<std::string> select;
    std::map<std::string, int> files;
  } cases[] = {
      {{"--record", "4"}, {{"SURVEY.ZEP", 3}}},
      {{"--record", "7", "--record", "1", "--record", "7"}, {{"SURVEY.ZEP", 0}, {"RUN.2", 6}}},
      {{"--record", "4,1"}, {{"SURVEY.ZEP", 0}, {"SURVEY_4.ZEP", 3}}},
  };
  const std::string img = Write(Tk40Disc());
  for (const auto& c : cases) {
    const std::string out = tmp.File("new/" + c.select[1]);  // folders are created
    std::vector<std::string> args{"convert", img, "--out", out};
    args.insert(args.end(), c.select.begin(), c.select.end());
    EXPECT_EQ(RunZepconv(args).status, 0) << c.select[1];
    EXPECT_EQ(FilesIn(out), CoreFiles(Tk40Disc(), c.files)) << c.select[1];
  }
}

// Status 2 refuses before anything is written (the parser's own refusals are
// one row: what they say is the library's); status 1 names what failed.
// Records past the end of the disc: the readable part is written, the record
// named, the other records converted all the same.
TEST_F(CliTest, ExitStatusNamesEachKindOfFailure) {
  const std::string img = Write(Tk40Disc()), dir = tmp.path().string(), out = tmp.File("out");
  const std::string blocker = tmp.File("blocker");
  std::ofstream(blocker) << "a file, not a folder";
  const std::string tiny = Write(DiscImage(Tk40Disc()).Resize(32), "tiny.img");  // slot 0 alone
  const std::string longTk40 = Write(Tk40Disc().Entry(7, {.name = "LONG", .first = 5, .second = 12}), "long.img");
  const std::string longZep = Write(ZepDisc().Entry(5, {.name = "LONG", .first = 20, .second = 10}), "long-zep.img");
  const struct {
    std::vector<std::string> args;
    int status;
    std::string err;
    std::size_t files = 0;  // in out afterwards
  } cases[] = {
      {{}, 2, "command"},
      {{"list", dir + "/none.img"}, 2, "none.img"},
#ifdef _WIN32
      {{"list", "q:"}, 2, "There is no disk in drive Q"},  // no drive Q in the test's Wine prefix
#endif
      {{"convert", img, "--out", out, "--record", "1", "--record", "3"}, 2, ": no record 3 (its records: 1, 2, 4, 5, 7)"},
      {{"split", dir + "/none.bin", "--out", out}, 2, "none.bin"},
      {{"info", dir + "/none.ZEP"}, 2, "none.ZEP"},
      {{"convert", img, "--out", blocker + "/sub"}, 2, "cannot create the folder"},
      {{"dump", img, "--out", blocker + "/d.bin"}, 2, "the dump was not written"},
      {{"list", tiny}, 1, "directory"},
#ifndef _WIN32
      {{"dump", img, "--out", "/dev/full"}, 1, "No space"},  // and the device is left alone
#endif
      {{"convert", longTk40, "--out", out}, 1, "record 8 (LONG): 5 of 7 blocks", 6},
      {{"convert", longZep, "--type", "zep", "--out", out}, 1, "record 6 (LONG): 6 of 8 sectors", 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.empty() ? "no command" : c.args[0] + " " + c.args[1]);
    const auto run = RunZepconv(c.args);
    EXPECT_EQ(run.status, c.status);
    EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
    EXPECT_EQ(fs::exists(out) ? FilesIn(out).size() : 0, c.files);
    EXPECT_TRUE(!c.files || fs::exists(out + "/LONG.ZEP"));
    fs::remove_all(out);
  }
#ifndef _WIN32
  EXPECT_TRUE(fs::exists("/dev/full"));
#endif
}

TEST_F(CliTest, InfoReportsPingsDateModesAndGpsAndFailsOnACutFile) {
  std::vector<std::uint8_t> bytes = test::CoreRecord(Tk40Disc(), 0);
  const std::string whole = test::WriteWholeFile(tmp.File("SURVEY.ZEP"), bytes);
  bytes.resize(bytes.size() - 10);
#ifdef _WIN32
  const std::string cut = "cut.ZEP";
#else
  const std::string cut = "cut\xFF.ZEP";  // a path that is not UTF-8 once made the JSON output throw
#endif
  const auto run = RunZepconv({"info", whole, test::WriteWholeFile(tmp.File(cut), bytes), "--json"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find(cut + ": not whole"), std::string::npos) << run.err;
  json reports = json::parse(run.out);
  for (json& r : reports) r.erase("file"), r.erase("size"), r.erase("problem");
  // Mode codes 0, 6 and 7 are the modes 3, 10 and 4; blocks 0 and 2 carry a text.
  EXPECT_EQ(reports, json::parse(R"([
    {"whole": true, "pings": 3, "date": "2008-11-05", "first_gps": "$GPGLL,0", "last_gps": "$GPGLL,2",
     "modes": [{"mode": 3, "pings": 1}, {"mode": 4, "pings": 1}, {"mode": 10, "pings": 1}],
     "duration_s": null, "first_position": null, "last_position": null},
    {"whole": false, "pings": 2, "date": "2008-11-05", "first_gps": "$GPGLL,0", "last_gps": "$GPGLL,0",
     "modes": [{"mode": 3, "pings": 1}, {"mode": 10, "pings": 1}],
     "duration_s": null, "first_position": null, "last_position": null}])"));
  EXPECT_EQ(RunZepconv({"info", whole}).status, 0);
}

// The dump area of a disc holding two runs of ping records, dumped and split;
// a disc that ends inside the dump area still gives a dump of full length.
TEST_F(CliTest, DumpThenSplitRecoversTheRunsOfPings) {
  const auto p0 = test::MakePingRecord(100, 0), p1 = test::MakePingRecord(2000, 1);
  DiscImage disc = Tk40Disc();
  disc.Bytes(kDumpOffset + 1000, p0).Bytes(kDumpOffset + 1000 + p0.size(), p0).Bytes(kDumpOffset + 50001, p1);
  const std::string img = Write(disc.Resize(kDumpOffset + kDumpSize)), dump = tmp.File("test.bin");
  auto run = RunZepconv({"dump", img, "--out", dump});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(fs::file_size(dump), static_cast<std::uintmax_t>(kDumpSize));
  run = RunZepconv({"split", dump, "--out", tmp.File("split")});
  EXPECT_EQ(run.status, 0) << run.err;
  std::vector<std::uint8_t> fond0(4096, 0), fond1(4096, 0);
  for (int i = 0; i < 2; ++i) fond0.insert(fond0.end(), p0.begin(), p0.end());
  fond1.insert(fond1.end(), p1.begin(), p1.end());
  EXPECT_EQ(FilesIn(tmp.File("split")), (Files{{"fond0.zep", fond0}, {"fond1.zep", fond1}}));

  run = RunZepconv({"dump", Write(disc.Resize(kDumpOffset + 8192)), "--out", dump});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("5054 of 5056 pieces"), std::string::npos) << run.err;
  EXPECT_EQ(fs::file_size(dump), static_cast<std::uintmax_t>(kDumpSize));
}

#ifndef _WIN32
TEST_F(CliTest, FullDiskRemovesTheRecordItStopped) {
  const std::string img = Write(Tk40Disc());
  test::ToolRun run;
  {
    // A file size limit, inherited by the tool, stands in for a full disk:
    // record 5's file (4096 bytes) fits, record 1's (13184) does not.
    test::FileSizeLimit limit(8000);
    if (!limit.limit) GTEST_SKIP() << "no file size limit in force";
    run = RunZepconv({"convert", img, "--out", tmp.File("out"), "--record", "5,1", "--quiet"});
  }
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_NE(run.err.find("SURVEY"), std::string::npos) << run.err;
  EXPECT_EQ(FilesIn(tmp.File("out")), (Files{{"A_B.ZEP", std::vector<std::uint8_t>(4096, 0)}}));
}
#endif

}  // namespace
}  // namespace zep
