// zepconv, run as its own process on generated images of both types: what the
// tool adds to the core (the JSON list, file names, record selection, files
// equal to the core's), the exit status and message of each kind of failure,
// its conventions, the disc health commands and ddrescue mapfiles.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>

#include <nlohmann/json.hpp>

#include "convert/record_file.h"
#include "disc/scan.h"
#include "tests/cli_run.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/record_check.h"
#include "zep_version.h"

namespace zep {
namespace {

using json = nlohmann::json;
using test::DiscImage;
using test::CliTest;
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

// Status 2 refuses before anything is written (more rows under the
// conventions below); status 1 names what failed.
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
#ifdef _WIN32
      {{"list", "q:"}, 2, "There is no disk in drive Q"},  // no drive Q in the test's Wine prefix
#endif
      {{"convert", img, "--out", out, "--record", "1", "--record", "3"}, 2, ": no record 3 (its records: 1, 2, 4, 5, 7)"},
      {{"split", dir + "/none.bin", "--out", out}, 2, "none.bin"},
      {{"info", dir + "/none.ZEP"}, 2, "none.ZEP"},
      {{"dump", img, "--out", blocker + "/d.bin"}, 2, "the dump was not written"},
      {{"list", tiny}, 1, "directory"},
#ifndef _WIN32
      {{"dump", img, "--out", "/dev/full"}, 1, "No space"},  // and the device is left alone
#endif
      {{"convert", longTk40, "--out", out}, 1, "record 8 (LONG): 5 of 7 blocks", 6},
      {{"convert", longZep, "--type", "zep", "--out", out}, 1, "record 6 (LONG): 6 of 8 sectors", 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.args[1]);
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

// zepconv as the tools its users know behave: errors under one prefix that
// name the file, exit 2 where nothing was done, help and version, a failed
// write to stdout reported, ISO dates in the list, one JSON object for the
// commands that write files, and the generated bash completion.
bool StartsWith(const std::string& text, const std::string& head) { return text.rfind(head, 0) == 0; }

// The first line of stderr, exactly; the try-help line follows parser errors.
TEST_F(CliTest, ErrorsHaveOnePrefixNameTheFileAndRefuseWithTwo) {
  const std::string img = Write(Tk40Disc()), dir = tmp.path().string(), file = tmp.File("plain");
  std::ofstream(file) << "not a record file, not a folder";
  const struct {
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
      {{"lst", img}, "zepconv: unknown command 'lst'"},
      {{"help", "lst"}, "zepconv: unknown command 'lst'"},
      {{}, "zepconv: no command given (one of: list, convert, dump, split, info, carve, check, pings, track, echogram, help)"},
      {{"list"}, "zepconv: SOURCE is required"},
      {{"convert", img, "--out", dir, "--record", "x"}, "zepconv: --record: not a number: x"},
      {{"convert", img, "--out", dir, "--record", "1,99"}, "zepconv: --record: 99 is not between 1 and 64"},
      {{"convert", img, "--type", "tk40", "--out", file}, "zepconv: " + file + ": cannot create the folder: "},
      {{"split", img, "--out", file}, "zepconv: " + file + ": cannot create the folder: "},
      {{"dump", img, "--out", dir}, "zepconv: " + dir + ": is a folder; --out names the dump file to write"},
      {{"info", dir}, "zepconv: " + dir + ": "},
      {{"info", file}, "zepconv: " + file + ": not a .ZEP record file"},
      {{"info", img}, "zepconv: " + img + ": not a .ZEP record file"},
      {{"list", dir + "/none.img"}, "zepconv: " + dir + "/none.img: "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.err);
    const auto run = RunZepconv(c.args);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(StartsWith(run.err, c.err)) << run.err;
    for (const char* call : {"open(", "CreateFile", "stat("}) EXPECT_EQ(run.err.find(call), std::string::npos) << run.err;
  }
}

TEST_F(CliTest, HelpCommandAndVersionAnswerOnStdout) {
  for (const char* command : {"list", "convert", "dump", "split", "info"}) {
    SCOPED_TRACE(command);
    const auto help = RunZepconv({"help", command});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out, RunZepconv({command, "--help"}).out);
    EXPECT_NE(help.out.find(std::string("Usage: zepconv ") + command), std::string::npos) << help.out;
  }
  for (const char* flag : {"--version", "-V"}) {
    const auto run = RunZepconv({flag});
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(StartsWith(run.out, "zepconv " ZEP_VERSION)) << run.out;
  }
}

// Dates and times as ISO 8601 where the BCD bytes make them, null where not.
TEST_F(CliTest, ListJsonAddsIsoDatesBesideTheShownCells) {
  using Hm = std::array<std::uint8_t, 2>;
  const struct {
    test::EntrySpec entry;
    json date, start, end;
  } cases[] = {
      {{.name = "PLAIN"}, "2008-11-05", "2008-11-05T14:05", "2008-11-05T15:30"},
      {{.name = "MIDNIGHT", .day = 0x31, .month = 0x12, .year = 0x99, .start = Hm{0x23, 0x50}, .end = Hm{0x00, 0x10}},
       "1999-12-31", "1999-12-31T23:50", "2000-01-01T00:10"},
      {{.name = "LEAPDAY", .day = 0x29, .month = 0x02, .year = 0x04}, "2004-02-29", "2004-02-29T14:05", "2004-02-29T15:30"},
      {{.name = "NOLEAP", .day = 0x29, .month = 0x02, .year = 0x07}, nullptr, nullptr, nullptr},
      {{.name = "NOTBCD", .day = 0x1A}, nullptr, nullptr, nullptr},
      {{.name = "MONTH13", .month = 0x13}, nullptr, nullptr, nullptr},
      {{.name = "BADSTART", .start = Hm{0x24, 0x00}}, "2008-11-05", nullptr, nullptr},
      {{.name = "BADEND", .end = Hm{0x12, 0x60}}, "2008-11-05", "2008-11-05T14:05", nullptr},
  };
  DiscImage img(SourceType::Tk40);
  int slot = 0;
  for (const auto& c : cases) img.Entry(slot++, c.entry);
  const auto run = RunZepconv({"list", Write(img), "--json"});
  ASSERT_EQ(run.status, 0) << run.err;
  const json records = json::parse(run.out)["records"];
  ASSERT_EQ(records.size(), std::size(cases));
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].entry.name);
    EXPECT_EQ(records[i]["date_iso"], cases[i].date);
    EXPECT_EQ(records[i]["start_iso"], cases[i].start);
    EXPECT_EQ(records[i]["end_iso"], cases[i].end);
  }
}

// One object on stdout, whatever happened; its failures are stderr's messages.
TEST_F(CliTest, WritingCommandsGiveOneJsonObject) {
  DiscImage img(SourceType::Tk40);
  img.Entry(0, {.name = "GOOD", .first = 0, .second = 1}).Entry(1, {.name = "LONG", .first = 0, .second = 9});
  const std::string disc = Write(img.Block(0, test::Tk40Block().Samples(0))), out = tmp.File("out");
  const struct {
    std::vector<std::string> args;
    int status;
    json files;
    std::string failure;
  } cases[] = {
      {{"convert", disc, "--out", out, "--json"}, 1,
       {{{"record", 1}, {"name", "GOOD"}, {"file", (fs::path(out) / "GOOD.ZEP").string()}, {"pings", 1}, {"complete", true}},
        {{"record", 2}, {"name", "LONG"}, {"file", (fs::path(out) / "LONG.ZEP").string()}, {"pings", 1}, {"complete", false}}},
       "record 2 (LONG): "},
      {{"dump", disc, "--out", out, "--json"}, 2, json::array(), out + ": is a folder"},
      {{"split", tmp.File("none"), "--out", out, "--json"}, 2, json::array(), tmp.File("none") + ": "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[0]);
    const auto run = RunZepconv(c.args);
    EXPECT_EQ(run.status, c.status);
    const json doc = json::parse(run.out);
    EXPECT_EQ(doc["files"], c.files);
    ASSERT_EQ(doc["failures"].size(), 1u) << run.out;
    EXPECT_TRUE(StartsWith(doc["failures"][0]["reason"], c.failure)) << run.out;
    EXPECT_NE(run.err.find(doc["failures"][0]["reason"].get<std::string>()), std::string::npos);
  }
}

#ifndef _WIN32
int Shell(const std::string& command) {
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(CliTest, AFailedWriteToStdoutIsAnError) {
  const std::string err = tmp.File("err");
  for (const std::string& args : {"list " + Write(Tk40Disc()), "info --json " + tmp.File("none")}) {
    SCOPED_TRACE(args);
    EXPECT_GE(Shell(std::string(ZEPCONV_PATH) + " " + args + " >/dev/full 2>" + err), 1);
    std::ifstream in(err);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_NE(text.find("zepconv: standard output: No space left on device"), std::string::npos) << text;
  }
  EXPECT_EQ(Shell(std::string(ZEPCONV_PATH) + " list " + Write(Tk40Disc()) + " >/dev/full 2>/dev/null"), 1);
}

TEST_F(CliTest, BashCompletionKnowsCommandsOptionsAndChoices) {
  const std::string script = tmp.File("completion");
  ASSERT_EQ(Shell(std::string(ZEPCONV_PATH) + " --bash-completion >" + script), 0);
  const struct {
    std::string line, expected;
  } cases[] = {
      {"zepconv li", "list"},          {"zepconv --ver", "--version"},   {"zepconv list x --ty", "--type"},
      {"zepconv list --type ", "auto tk40 zep"}, {"zepconv help co", "convert"}, {"zepconv -q info --js", "--json"},
      {"zepconv convert --out ", ""},  // a file name: bash's own completion
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    const std::string reply = tmp.File("reply");
    const std::string command = "bash -c 'source " + script + "; COMP_WORDS=(" + c.line +
                                (c.line.back() == ' ' ? "\"\"" : "") + "); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _zepconv; " +
                                "echo \"${COMPREPLY[*]}\"' >" + reply;
    ASSERT_EQ(Shell(command), 0);
    std::ifstream in(reply);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, c.expected);
  }
}
#endif

// --type auto, check and carve: what they say, and their exit statuses.
// Two ZEP V1.X records of six pings of 1536 bytes (sectors 12-16, 22-26).
DiscImage SixPingDisc() {
  DiscImage img(SourceType::ZepV1);
  for (int r = 0; r < 2; ++r) {
    img.Entry(r, {.name = "DIVE", .first = 10 + 10 * r, .second = 7});
    for (std::uint32_t i = 0; i < 6; ++i) img.Bytes(ZepSectorOffset(12 + 10 * r) + 1536 * i, test::MakePingRecord(1280, i, 1));
  }
  return img.Resize(static_cast<std::size_t>(ZepSectorOffset(30)));
}

TEST_F(CliTest, TypeAutoSaysWhatItFoundAndRefusesWhatFitsNeither) {
  std::vector<std::uint8_t> noise(4096);
  for (std::size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<std::uint8_t>(i * 131 + 7);
  const struct {
    DiscImage img;
    std::vector<std::string> args;
    int status;
    const char* err;
  } cases[] = {
      {Tk40Disc(), {}, 0, "disc.img: a TK40 disc"},
      {SixPingDisc(), {}, 0, "disc.img: a ZEP V1.X disc"},
      {SixPingDisc(), {"--type", "tk40"}, 0, "disc.img looks like a ZEP V1.X disc"},
      {DiscImage(SourceType::Tk40, 8192), {}, 0, "a blank disc"},
      {DiscImage(SourceType::Tk40).Bytes(0, noise), {}, 2, "disc.img: not a TK40 or ZEP V1.X disc"},
      {DiscImage(SourceType::Tk40).Bytes(0, noise), {"--type", "zep"}, 0, ""},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args{"list", Write(c.img)};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const auto run = RunZepconv(args);
    SCOPED_TRACE(run.err);
    EXPECT_EQ(run.status, c.status);
    EXPECT_NE(run.err.find(c.err), std::string::npos);
  }
}

TEST_F(CliTest, CheckExitsZeroWhenWholeOneWhenLostTwoWhenUnreadable) {
  const std::string img = Write(SixPingDisc(), "zep.img");
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
      {{"check", tmp.File("missing.img")}, 2, "missing.img"},
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

TEST_F(CliTest, CarveNamesFilesByOffsetAndLeavesOutListedRecords) {
  const std::string img = Write(SixPingDisc(), "zep.img");
  auto run = RunZepconv({"carve", img, "--out", tmp.File("listed")});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(std::filesystem::is_empty(tmp.File("listed")));
  run = RunZepconv({"carve", img, "--out", tmp.File("all"), "--all"});
  EXPECT_EQ(run.status, 0) << run.err;
  for (const char* name : {"carved-000000024576.zep", "carved-000000045056.zep"}) {
    EXPECT_EQ(WalkRecordFile(tmp.File(std::string("all/") + name)).pings, 6u) << name;
  }
}

// GNU ddrescue images, with mapfiles made by the real ddrescuelog: units not
// marked rescued are unreadable, whatever zeros the image holds there.
// Records 1 (blocks 0-3) and 2 (blocks 4-7); block 1 is zeros, as ddrescue
// leaves what it could not read. Block b is 2048-byte sectors 2b+8 and 2b+9.
DiscImage RescuedDisc() {
  DiscImage img(SourceType::Tk40, 16384 + 8 * 4096);
  img.Entry(0, {.name = "ONE", .first = 0, .second = 4}).Entry(1, {.name = "TWO", .first = 4, .second = 8});
  for (int b = 0; b < 8; ++b)
    if (b != 1) img.Block(b, test::Tk40Block().Samples(static_cast<std::uint32_t>(b)).ModeCode(1));
  return img;
}

#ifndef _WIN32  // ddrescuelog runs on the build system only
std::vector<std::uint32_t> PingIndexes(const std::string& path) {
  std::vector<std::uint32_t> indexes;
  WalkRecordFile(path, [&](const PingInfo& p) { indexes.push_back(p.pingIndex); });
  return indexes;
}

TEST_F(CliTest, SectorsNotRescuedAreUnreadableUnits) {
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
  const std::string image = Write(RescuedDisc()), map = tmp.File("disc.map"), bad = tmp.File("bad.txt");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::ofstream(bad) << c.badSectors;
    const std::string make = "ddrescuelog -b 2048 -s 49152 -f --create-mapfile=-+ '" + map + "' < '" + bad + "'";
    ASSERT_EQ(std::system(make.c_str()), 0) << make;
    const std::string out = tmp.File(c.what);
    const test::ToolRun run = RunZepconv({"convert", image, "--mapfile", map, "--out", out});
    EXPECT_EQ(run.status, c.status) << run.err;
    EXPECT_EQ(run.err.find(map) != std::string::npos, c.status != 0) << run.err;
    EXPECT_EQ(PingIndexes(out + "/ONE.ZEP"), c.one);
    EXPECT_EQ(PingIndexes(out + "/TWO.ZEP"), c.two);
  }
}
#endif

TEST_F(CliTest, MalformedOrMismatchedMapfilesAreUsageErrors) {
  const std::string image = Write(RescuedDisc()), map = tmp.File("m.map");
  const std::pair<const char*, std::string> cases[] = {
      {"0x0 +\n0x0 0x800 +\n0x800 0x800 !\n", map + ":3: status \"!\" is none of ? * / - +"},
      {"0 + 1\n0 49152 +\n49152 4096 +\n", map + ": rescued bytes up to 0xD000 but " + image + " holds only 49152 bytes"},
  };
  for (const auto& [text, err] : cases) {
    std::ofstream(map) << text;
    const test::ToolRun run = RunZepconv({"list", image, "--mapfile", map});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find(err), std::string::npos) << run.err;
  }
}

TEST_F(CliTest, NoClobberKeepsExistingFilesAndNamesThem) {
  const std::string image = Write(RescuedDisc()), out = tmp.File("out");
  ASSERT_EQ(RunZepconv({"convert", image, "--out", out, "--record", "2"}).status, 0);
  std::ofstream(out + "/ONE.ZEP") << "earlier";
  const test::ToolRun run = RunZepconv({"convert", image, "--out", out, "--no-clobber"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("ONE.ZEP: already exists"), std::string::npos) << run.err;
  EXPECT_EQ(test::ReadWholeFile(out + "/ONE.ZEP").size(), 7u);
}

}  // namespace
}  // namespace zep
