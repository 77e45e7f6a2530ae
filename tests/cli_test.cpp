// zepconv run as its own process on generated images: what it adds to the core, its exit
// status and messages, its conventions, the disc health commands, mapfiles and exports.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <regex>
#include <tuple>

#include <nlohmann/json.hpp>

#include "convert/record_file.h"
#include "disc/scan.h"
#include "cli/console.h"
#include "export/netcdf.h"
#include "disc/record_names.h"
#include "operations/convert_records.h"
#include "operations/records.h"
#include "operations/source.h"
#include "ui/run_texts.h"
#include "export/text_output.h"
#include "tests/cli_run.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/record_check.h"

namespace zep {
namespace {

using json = nlohmann::json;
using test::DiscImage;
using test::CliTest;
using test::Lines;
using test::ReadText;
using test::RunZepconv;
namespace fs = std::filesystem;
using Files = std::map<std::string, std::vector<std::uint8_t>>;

// A label with a byte above 0x7F, a gap before record 4, two records named alike, names no
// file can carry (one would climb out of the folder), one with an extension, records without pings.
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
  img.Entry(0, {.name = "DIVE\xE9", .first = 10, .second = 5}).Entry(2, {.name = "DIVE2", .first = 20, .second = 4});
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
       {"record": 1, "slot": 0, "name": "DIVE\u00e9", "date": "05 Nov 08", "start": "14:05", "end": "15:30", "sectors": 5},
       {"record": 3, "slot": 2, "name": "DIVE2", "date": "05 Nov 08", "start": "14:05", "end": "15:30", "sectors": 4}]})",
     {{"DIVE\xC3\xA9.ZEP", 0}, {"DIVE2.ZEP", 2}}},  // the byte 0xE9 is U+00E9 in the file's name
};

// Two ZEP V1.X records of six pings of 1536 bytes (sectors 12-16, 22-26).
DiscImage SixPingDisc() {
  DiscImage img(SourceType::ZepV1);
  for (int r = 0; r < 2; ++r) {
    img.Entry(r, {.name = "DIVE", .first = 10 + 10 * r, .second = 7});
    for (std::uint32_t i = 0; i < 6; ++i) img.Bytes(ZepSectorOffset(12 + 10 * r) + 1536 * i, test::MakePingRecord(1280, i, 1));
  }
  return img.Resize(static_cast<std::size_t>(ZepSectorOffset(30)));
}

// Records 1 (blocks 0-3) and 2 (blocks 4-7); block 1 is zeros, as ddrescue leaves what it could not read.
DiscImage RescuedDisc() {
  DiscImage img(SourceType::Tk40, 16384 + 8 * 4096);
  img.Entry(0, {.name = "ONE", .first = 0, .second = 4}).Entry(1, {.name = "TWO", .first = 4, .second = 8});
  for (int b = 0; b < 8; ++b)
    if (b != 1) img.Block(b, test::Tk40Block().Samples(static_cast<std::uint32_t>(b)).ModeCode(1));
  return img;
}

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

// Converted in record order whatever the order asked; alone in its run a record keeps its plain name.
TEST_F(CliTest, RecordNumbersSelectSlots) {
  const struct { std::vector<std::string> select; std::map<std::string, int> files; } cases[] = {
      {{"--record", "4"}, {{"SURVEY.ZEP", 3}}},
      {{"--record", "7", "--record", "1", "--record", "7"}, {{"SURVEY.ZEP", 0}, {"RUN.2", 6}}},
      {{"--record", "4,1"}, {{"SURVEY.ZEP", 0}, {"SURVEY_4.ZEP", 3}}},
      {{"--record", "1-2,7"}, {{"SURVEY.ZEP", 0}, {".._.._CON", 1}, {"RUN.2", 6}}},
  };
  const std::string img = Write(Tk40Disc());
  for (const auto& c : cases) {
    const std::string out = tmp.File("new/" + c.select[1]);  // folders are created
    std::vector<std::string> args{"convert", img, "-o", out};
    args.insert(args.end(), c.select.begin(), c.select.end());
    EXPECT_EQ(RunZepconv(args).status, 0) << c.select[1];
    EXPECT_EQ(FilesIn(out), CoreFiles(Tk40Disc(), c.files)) << c.select[1];
  }
}

// A source refused, or a fault reaching the conversion: the library's kind and
// words, the Windows program's kind, and each face's text (zepconv, its box, the
// inventory), which hold the words up to the first path each face names its own way.
struct FaceWords {
  Problems said;
  ProblemKind boxKind;
  std::string hint;  // zepconv's own, where record files are read
  std::vector<std::string> faces;
};

FaceWords RefusalWords(const Problem& problem, const std::string& image, const std::string& boxFolder) {
  const std::string hint = problem.kind == ProblemKind::kRecordFileAsDisc ? "; `zepconv info`" : "\n";
  const test::ToolRun list = RunZepconv({"list", image});
  EXPECT_EQ(list.status, 2);
  EXPECT_TRUE(list.err.starts_with("zepconv: " + problem.Text() + hint)) << list.err;
  ScanResult scan{.outcome = ScanOutcome::NotADisc, .problem = problem};
  EXPECT_EQ(ui::ScanErrorText(scan, 'X', image), "The file " + problem.Text());
  return {{problem}, problem.kind, hint, {list.err, RunZepconv({"inventory", image, "-o", boxFolder}).err}};
}

FaceWords ConversionWords(Volume& volume, const std::string& image, int record, const std::string& out) {
  RecordDirectory dir{};
  EXPECT_FALSE(ReadRecordDirectory(volume, dir));
  const SourceType type = SettleType(image, WeighOpenDisc(volume, dir), {}).type;
  const RecordChoice choice = ChooseRecords(image, dir, {record});
  const test::ToolRun run = RunZepconv({"convert", image, "-o", out + "-cli", "--record", std::to_string(record)});
  EXPECT_EQ(run.status, choice.problem ? 2 : 1);
  // The Windows program shows a refused choice as it comes; the inventory takes every record.
  if (choice.problem) return {{*choice.problem}, choice.problem->kind, "", {run.err, choice.problem->Text()}};
  const RecordConversion c = ConvertOpenRecord(volume, type, dir, record - 1, out + "-ui.zep");
  const auto failure = ui::FailureOf(c.result, ui::RecordSubject(record, RecordName(dir, record - 1, type)));
  if (!failure) return {};
  return {c.result.problems, failure->problem.kind, "",
          {run.err, ui::ConversionFailureText({*failure}), RunZepconv({"inventory", image, "-o", out + "-box"}).err}};
}

TEST_F(CliTest, OneFaultHasOneKindAndOneWordingInEveryFace) {
  std::vector<std::uint8_t> record(kFileHeaderSize, 0);
  const auto ping = test::MakePingRecord(1280, 0, 3);
  record.insert(record.end(), ping.begin(), ping.end());
  const struct {
    std::string name;
    std::vector<std::uint8_t> bytes;
    ProblemKind kind;
    std::string what;  // the first problem's start
    int record = 1;    // chosen and converted
    std::string map;   // beside the image, when given
  } cases[] = {
      {"empty.img", {}, ProblemKind::kNoDirectory, "empty, shorter than the 2048-byte record directory"},
      {"tiny.img", std::vector<std::uint8_t>(32, 1), ProblemKind::kNoDirectory,
       "32 bytes, shorter than the 2048-byte record directory: there is no directory to read"},
      {"SURVEY1.ZEP", record, ProblemKind::kRecordFileAsDisc, "a .ZEP record file, not a disc"},
      {"EMPTY.ZEP", std::vector<std::uint8_t>(4096, 0), ProblemKind::kRecordFileAsDisc, "a .ZEP record file, not a disc"},
      {"missing.img", Tk40Disc().bytes(), ProblemKind::kUsage, "no record 3 (its records: 1, 2, 4, 5, 7)", 3},
      {"unread.img", SixPingDisc().bytes(), ProblemKind::kUnreadable,
       "1 of 5 sectors could not be read; their bytes are marked unread in ", 2,
       "0 +\n0 0xB800 +\n0xB800 0x800 -\n0xC000 0x3000 +\n"},
      {"long.img", Tk40Disc().Entry(7, {.name = "LONG", .first = 5, .second = 12}).bytes(), ProblemKind::kPastEnd,
       "5 of 7 blocks lie past the end of ", 8},
      {"long-zep.img", ZepDisc().Entry(5, {.name = "LONG", .first = 20, .second = 10}).bytes(), ProblemKind::kPastEnd,
       "6 of 8 sectors lie past the end of ", 6},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string image = Put(c.name, c.bytes);
    if (!c.map.empty()) Put(c.name + ".map", c.map);
    const SourceOpen opened = OpenSource(image, {});
    const FaceWords faces = opened.problem ? RefusalWords(*opened.problem, image, tmp.File("box-" + c.name))
                                           : ConversionWords(*opened.disc->volume, image, c.record, tmp.File(c.name));
    ASSERT_FALSE(faces.said.empty());
    EXPECT_EQ(std::pair(faces.said.front().kind, faces.boxKind), std::pair(c.kind, c.kind));
    EXPECT_TRUE(faces.said.front().what.starts_with(c.what)) << faces.said.front().what;
    for (const Problem& p : faces.said) {
      const std::string words = p.what.substr(0, std::min(p.what.find(tmp.File("")), p.what.find(c.name)));
      for (const std::string& face : faces.faces) EXPECT_NE(face.find(": " + words + faces.hint), std::string::npos) << face;
    }
  }
}

// Status 2 refuses before anything is written, 1 names what failed; records
// past the end of the disc give their readable part and the rest converted.
TEST_F(CliTest, ExitStatusNamesEachKindOfFailure) {
  const std::string img = Write(Tk40Disc()), dir = tmp.path().string(), out = tmp.File("out");
  const std::string blocker = Put("blocker", "a file, not a folder"), six = Write(SixPingDisc(), "six.img");
  const std::string rescued = Write(RescuedDisc(), "rescued.img"), reaching = Write(Tk40Disc(), "reaching.img");
  fs::resize_file(reaching, kDumpOffset + 4096);  // into the dump area
  std::vector<std::uint8_t> noise(4096);
  for (std::size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<std::uint8_t>(i * 131 + 7);
  const std::string random = Put("noise.img", noise);
  const std::string map = Put("zep.map", "0 +\n0 0xB800 +\n0xB800 0x800 -\n0xC000 0x3000 +\n");  // sector 23 lost
  std::vector<std::uint8_t> record(kFileHeaderSize, 0);
  for (std::uint32_t i = 0; i < 3; ++i) {
    const auto r = test::MakePingRecord(1280, i, 3);
    record.insert(record.end(), r.begin(), r.end());
  }
  const std::string zepFile = Put("SURVEY1.ZEP", record);
  const struct {
    std::vector<std::string> args;
    int status;
    std::string err;
    std::ptrdiff_t files = 0;       // in out afterwards,
    std::string made = "LONG.ZEP";  // one of them
    std::vector<std::string> blocked = {};  // folders in out where the files should go: every file fails
  } cases[] = {
#ifdef _WIN32
      {{"list", "q:"}, 2, "There is no disk in drive Q"},  // no drive Q in the test's Wine prefix
#endif
      {{"dump", reaching, "--out", blocker + "/d.bin"}, 2, "the dump was not written"},
      // Nothing done is 2, for every file as for one.
      {{"convert", six, "--out", out}, 2, "DIVE_2.ZEP: is a folder", 2, "DIVE.ZEP", {"DIVE.ZEP", "DIVE_2.ZEP"}},
      {{"carve", six, "--all", "--out", out}, 2, "is a folder", 2, "carved-000000024576.zep",
       {"carved-000000024576.zep", "carved-000000045056.zep"}},
      {{"split", six, "--out", out}, 2, "fond1.zep: is a folder", 2, "fond0.zep", {"fond0.zep", "fond1.zep"}},
      {{"carve", six, "--out", blocker}, 2, "blocker: cannot create the folder"},
      {{"dump", six, "--out", out + "/d.bin"}, 2, "six.img: the volume ends at byte 61440, before the dump area"},
      // A TK40 disc is carved for runs of data blocks: these have no GPS time that would tell them from noise.
      {{"carve", img, "--all", "--out", out}, 1, "disc.img: no runs of ping records found"},
      // A record file is no disc, whatever the command that reads discs.
      {{"dump", zepFile, "--out", out + "/d.bin"}, 2, "SURVEY1.ZEP: a .ZEP record file, not a disc"},
      // Finding nothing is 1, as grep answers.
      {{"carve", random, "--out", out}, 1, "noise.img: no runs of ping records found"},
      {{"split", random, "--out", out}, 1, "noise.img: no runs of ping records found"},
#ifndef _WIN32
      {{"dump", reaching, "--out", "/dev/full"}, 1, "No space"},  // and the device is left alone
#endif
      // --type auto says what it found, and refuses what fits neither type.
      {{"list", img}, 0, "disc.img: a TK40 disc"},
      {{"list", six}, 0, "six.img: a ZEP V1.X disc"},
      // A --type that no slot fits is refused, naming the type that fits, unless forced.
      {{"list", six, "--type", "tk40"}, 2,
       "six.img: --type tk40 is ruled out: a ZEP V1.X disc (of 2 slots in use, 0 fit TK40, 2 fit ZEP V1.X; 2 records "
       "open with a ping record); give --type zep, or --force-type to read it as TK40 all the same\n"},
      {{"list", six, "--type", "tk40", "--force-type"}, 0, "six.img looks like a ZEP V1.X disc"},
      {{"convert", img, "--type", "zep", "--out", out}, 2,
       "; give --type tk40, or --force-type to read it as ZEP V1.X all the same\n"},
      {{"check", six, "--type", "tk40"}, 2, "six.img: --type tk40 is ruled out: a ZEP V1.X disc"},
      {{"carve", img, "--type", "zep", "--out", out}, 2, "disc.img: --type zep is ruled out: a TK40 disc"},
      {{"domain", six, "--type", "tk40", "--out", out}, 2, "six.img: --type tk40 is ruled out"},
      {{"list", Write(DiscImage(SourceType::Tk40, 8192), "blank.img")}, 0, "blank.img: a blank disc (its record directory is all zeros): no records; try `zepconv carve`"},
      {{"list", random}, 2, "noise.img: not a TK40 or ZEP V1.X disc"},
      {{"list", random, "--type", "zep"}, 0, ""},
      // check: 0 when whole, 1 when something is lost, 2 when it cannot look.
      {{"check", six}, 0, ""},
      {{"check", six, "--mapfile", map}, 1, "record 2 (DIVE): damaged: 1 sector unreadable (23)"},
      {{"check", six, "--mapfile", Put("bad.map", "rescued\n")}, 2, "bad.map:1:"},
      {{"check", dir + "/missing.img"}, 2, "missing.img"},
      // carve names files by offset and leaves out listed records unless --all.
      {{"carve", six, "--out", out}, 0, "six.img: a ZEP V1.X disc (of 2 slots in use, 0 fit TK40, 2 fit ZEP V1.X; 2 records "
                                         "open with a ping record)\nzepconv: 12 pings that a conversion of the listed "
                                         "records writes were left out (--all keeps them)\n"},
      {{"carve", six, "--out", out, "--all"}, 0, "records open with a ping record)\n", 2, "carved-000000024576.zep"},
      // Malformed mapfiles, or ones that do not fit the image.
      {{"list", rescued, "--mapfile", Put("m1.map", "0x0 +\n0x0 0x800 +\n0x800 0x800 !\n")}, 2,
       tmp.File("m1.map") + ":3: status \"!\" is none of ? * / - +"},
      {{"list", rescued, "--mapfile", Put("m2.map", "0 + 1\n0 49152 +\n49152 4096 +\n")}, 2,
       tmp.File("m2.map") + ": rescued bytes up to 0xD000 but " + rescued + " holds only 49152 bytes"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.args[1]);
    for (const std::string& name : c.blocked) fs::create_directories(out + "/" + name);
    const auto run = RunZepconv(c.args);
    EXPECT_EQ(run.status, c.status);
    // An empty err is a run that has nothing to say; the rest end with their last line.
    if (c.err.empty()) EXPECT_EQ(run.err, "");
    else if (c.err.ends_with('\n')) EXPECT_TRUE(run.err.ends_with(c.err)) << run.err;
    else EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
    EXPECT_EQ(fs::exists(out) ? std::distance(fs::directory_iterator(out), {}) : 0, c.files);
    EXPECT_TRUE(!c.files || fs::exists(out + "/" + c.made));
    fs::remove_all(out);
  }
#ifndef _WIN32
  EXPECT_TRUE(fs::exists("/dev/full"));
#endif
  const auto doc = json::parse(RunZepconv({"check", six, "--mapfile", map, "--json"}).out);
  EXPECT_EQ(doc["records"][0]["verdict"], "whole");
  EXPECT_EQ(doc["records"][1]["unreadable"], json::parse("[[23, 23]]"));
  // Ping 1's samples overlap sector 23: it is counted, with unread samples,
  // as a walk of the converted file counts it.
  EXPECT_EQ(doc["records"][1]["walk_runs"], json::parse("[2, 3]"));
  EXPECT_EQ(doc["records"][1]["unread_pings"], 1);
}

// The sample discs as a new user meets them. A default convert and carve
// hold every ping that carve --all finds exactly once, even where a damaged
// entry claims the scan dump area; a TK40 disc whose directory is lost is
// carved back to the pings its conversion gives; and the same survey reads
// alike from both recorders, the seabed its brightest sample.
using SampleCounts = std::map<std::vector<std::uint8_t>, int>;

SampleCounts PingSamplesIn(const std::vector<std::string>& dirs) {
  SampleCounts counts;
  for (const std::string& dir : dirs) {
    if (!fs::exists(dir)) continue;
    for (const auto& e : fs::directory_iterator(dir)) {
      WalkRecordFileSamples(e.path().string(), [&](const PingInfo&, std::span<const std::uint8_t> s) {
        ++counts[std::vector<std::uint8_t>(s.begin(), s.end())];
      });
    }
  }
  return counts;
}

std::vector<std::vector<std::uint8_t>> SurveyPings(const std::string& file) {
  std::vector<std::vector<std::uint8_t>> pings;
  WalkRecordFileSamples(file, [&](const PingInfo&, std::span<const std::uint8_t> s) { pings.emplace_back(s.begin(), s.end()); });
  return pings;
}

double Correlation(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
  const std::size_t n = std::min(a.size(), b.size());
  double ma = 0, mb = 0, ab = 0, aa = 0, bb = 0;
  for (std::size_t i = 0; i < n; ++i) ma += a[i], mb += b[i];
  ma /= static_cast<double>(n), mb /= static_cast<double>(n);
  for (std::size_t i = 0; i < n; ++i) ab += (a[i] - ma) * (b[i] - mb), aa += (a[i] - ma) * (a[i] - ma), bb += (b[i] - mb) * (b[i] - mb);
  return ab / std::sqrt(aa * bb);
}

TEST_F(CliTest, SampleDiscsLoseNoPingByDefault) {
  const auto make = [&](std::vector<std::string> args, const std::string& name) {
    const std::string img = tmp.File(name);
    args.insert(args.begin(), MAKE_SAMPLE_DISC_PATH);
    args.push_back(img);
    EXPECT_EQ(test::RunProcess(args, tmp.File("make.out"), tmp.File("make.err")), 0) << name;
    return img;
  };
  const struct {
    std::vector<std::string> make;
    int convertStatus, carveStatus;
    std::size_t carvedPings;  // by --all
  } discs[] = {
      {{}, 0, 0, 1400},
      {{"--dump-runs"}, 0, 0, 1525},  // TK40 blocks, and ping records in the scan dump area
      {{"--type", "zep", "--dump-runs"}, 0, 0, 1525},
      {{"--type", "zep", "--dump-runs", "--damaged"}, 1, 1, 1521},  // the mapfile beside the image is used
  };
  for (std::size_t d = 0; d < std::size(discs); ++d) {
    const std::string img = make(discs[d].make, "disc" + std::to_string(d) + ".img"), base = tmp.File("d" + std::to_string(d));
    SCOPED_TRACE(img);
    EXPECT_EQ(RunZepconv({"convert", img, "--out", base + "/convert"}).status, discs[d].convertStatus);
    EXPECT_EQ(RunZepconv({"carve", img, "--out", base + "/carve"}).status, discs[d].carveStatus);
    EXPECT_EQ(RunZepconv({"carve", img, "--all", "--out", base + "/all"}).status, discs[d].carveStatus);
    const SampleCounts all = PingSamplesIn({base + "/all"}), kept = PingSamplesIn({base + "/convert", base + "/carve"});
    EXPECT_EQ(all.size(), discs[d].carvedPings);
    const auto notOnce = std::count_if(all.begin(), all.end(), [&](const auto& p) {
      const auto it = kept.find(p.first);
      return it == kept.end() || it->second != 1;
    });
    EXPECT_EQ(notOnce, 0);
  }

  // The TK40 disc of the first row again, its directory zeroed.
  const std::string lost = make({"--zero-directory"}, "lost.img");
  ASSERT_EQ(RunZepconv({"carve", lost, "--out", tmp.File("lost")}).status, 0);
  const SampleCounts converted = PingSamplesIn({tmp.File("d0/convert")}), carved = PingSamplesIn({tmp.File("lost")});
  std::size_t found = 0, extra = 0;
  for (const auto& [samples, n] : carved) (converted.count(samples) ? found : extra) += static_cast<std::size_t>(n);
  EXPECT_GE(found, converted.size() * 99 / 100);
  EXPECT_LE(extra, converted.size() * 2 / 100);

  const std::string zep = make({"--type", "zep"}, "zep.img");
  ASSERT_EQ(RunZepconv({"convert", zep, "--out", tmp.File("zep"), "--record", "1"}).status, 0);
  const auto a = SurveyPings(tmp.File("d0/convert/SURVEY1.ZEP")), b = SurveyPings(tmp.File("zep/SURVEY1.ZEP"));
  ASSERT_EQ(a.size(), b.size());
  for (std::size_t i = 0; i < a.size(); i += 40) {
    EXPECT_GT(Correlation(a[i], b[i]), 0.8) << "ping " << i;
    const auto seabed = [](const std::vector<std::uint8_t>& s) { return std::max_element(s.begin(), s.end()) - s.begin(); };
    EXPECT_NEAR(seabed(a[i]), seabed(b[i]), 8) << "ping " << i;
  }
}

// No disc breaks an internal promise, so the mapping to 3 is run directly:
// a bug is named as one and kept apart from a lost sector's 1.
TEST(ConsoleRun, ABrokenPromiseExitsThree) {
  const struct {
    std::function<zep::Outcome()> command;
    int status;
    std::string err;
  } cases[] = {
      {[]() -> zep::Outcome { throw zep::BrokenPromise("window asked to go back"); }, 3,
       "zepconv: internal error (a bug in zepconv, please report it): window asked to go back\n"},
      {[]() -> zep::Outcome { throw std::runtime_error("out of memory"); }, 1, "zepconv: out of memory\n"},
      {[] { return zep::Outcome::kRefused; }, 2, ""},
      {[] { return zep::Outcome::kPartly; }, 1, ""},
      {[] { return zep::Outcome::kDone; }, 0, ""},
  };
  for (const auto& c : cases) {
    std::ostringstream out, err;
    zep::Console con{out, err};
    const int status = zep::ExitCode(con.Run(c.command));
    EXPECT_EQ(std::pair(status, err.str()), std::pair(c.status, c.err));
    EXPECT_EQ(con.problems.size(), c.err.empty() ? 0u : 1u);
  }
}

// One escaper for GPX, KML and the inventory's pages: a name from a disc may
// hold any byte, and a quote or a control byte must not end an attribute or
// break the file.
TEST(MarkupEscaped, EscapesWhatEndsTextOrAttributesAndReplacesControlBytes) {
  const std::pair<std::string, std::string> cases[] = {
      {"A&B <c> \"d\" 'e'", "A&amp;B &lt;c&gt; &quot;d&quot; &#39;e&#39;"},
      {"tab\tline\nret\r", "tab\tline\nret\r"},
      {std::string("nul\0bel\x07", 8), "nul\xEF\xBF\xBD" "bel\xEF\xBF\xBD"},
      {"caf\xC3\xA9", "caf\xC3\xA9"},
  };
  for (const auto& [text, escaped] : cases) EXPECT_EQ(zep::MarkupEscaped(text), escaped) << text;
}

TEST_F(CliTest, InfoReportsPingsDateModesAndGpsAndFailsOnACutFile) {
  std::vector<std::uint8_t> bytes = test::CoreRecord(Tk40Disc(), 0);
  const std::string whole = Put("SURVEY.ZEP", bytes);
  bytes.resize(bytes.size() - 10);
#ifdef _WIN32
  const std::string cut = "cut.ZEP";
#else
  const std::string cut = "cut\xFF.ZEP";  // a path that is not UTF-8 once made the JSON output throw
#endif
  const auto run = RunZepconv({"info", whole, Put(cut, bytes), "--json"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find(cut + ": not whole"), std::string::npos) << run.err;
  // Mode codes 0, 6 and 7 are the modes 3, 10 and 4; blocks 0 and 2 carry a text.
  const json r = json::parse(run.out);
  EXPECT_EQ(r[0]["modes"], json::parse(R"([{"mode": 3, "pings": 1}, {"mode": 4, "pings": 1}, {"mode": 10, "pings": 1}])"));
  EXPECT_EQ(json::array({r[0]["whole"], r[0]["date"], r[0]["first_gps"], r[0]["last_gps"], r[1]["whole"], r[1]["pings"]}),
            json::parse(R"([true, "2008-11-05", "$GPGLL,0", "$GPGLL,2", false, 2])"));
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
  const auto pastEnd = LoadRescueMap(dump + ".map").map;
  ASSERT_TRUE(pastEnd);
  EXPECT_EQ(std::pair(pastEnd->End(), pastEnd->UnrescuedBytes(0, kDumpSize)), std::pair(kDumpSize, kDumpSize - 8192));
  // Dumped whole again, the dump's map goes with the zeros it named.
  ASSERT_EQ(RunZepconv({"dump", Write(disc.Resize(kDumpOffset + kDumpSize)), "--out", dump}).status, 0);
  EXPECT_FALSE(fs::exists(dump + ".map"));
}

std::vector<std::pair<PingInfo, std::vector<std::uint8_t>>> PingsOf(const std::vector<std::string>& files) {
  std::vector<std::pair<PingInfo, std::vector<std::uint8_t>>> pings;
  for (const std::string& file : files) {
    WalkRecordFileSamples(file, [&](const PingInfo& p, std::span<const std::uint8_t> s) { pings.emplace_back(p, std::vector(s.begin(), s.end())); });
  }
  return pings;
}

// The damaged sample disc with a piece of its dump area lost as well, though
// the image still holds the pings there. The piece falls in the third run:
// the end of ping 11's samples and the headers of pings 12 and 13. The dump
// has zeros there and its map says so; the split flags ping 11's lost
// samples, and 12 and 13 neither go on with the run nor start one. Every
// other byte is what the undamaged dump gives.
TEST_F(CliTest, DumpAndSplitOfADamagedDumpAreaFlagWhatWasNotRead) {
  const std::string img = tmp.File("disc.img");
  ASSERT_EQ(test::RunProcess({MAKE_SAMPLE_DISC_PATH, "--type", "zep", "--damaged", "--dump-runs", img},
                             tmp.File("make.out"), tmp.File("make.err")), 0);
  RescueMap map = LoadRescueMap(tmp.File("disc.map")).map.value();
  const std::int64_t hole = kDumpOffset + 2310 * kDumpPieceSize, end = map.End();
  ASSERT_EQ(map.blocks.back().status, '+');
  map.blocks.back().size = hole - map.blocks.back().pos;
  map.blocks.push_back({hole, kDumpPieceSize, '-'});
  map.blocks.push_back({hole + kDumpPieceSize, end - hole - kDumpPieceSize, '+'});
  const std::string holeMap = Put("hole.map", FormatRescueMap(map, "a test")), dump = tmp.File("dump.bin");
  const struct {
    std::vector<std::string> dumpArgs;
    int status;
    std::vector<int> pings, unreadSamples;
  } cases[] = {
      {{"--mapfile", holeMap}, 1, {40, 25, 12, 46}, {0, 0, 1536, 0}},
      {{}, 0, {40, 25, 60}, {0, 0, 0}},  // the map beside the image: dumped whole, no stale maps left
  };
  std::vector<std::pair<PingInfo, std::vector<std::uint8_t>>> pings[2];
  for (std::size_t c = 0; c < std::size(cases); ++c) {
    std::vector<std::string> args = {"dump", img, "--out", dump};
    args.insert(args.end(), cases[c].dumpArgs.begin(), cases[c].dumpArgs.end());
    EXPECT_EQ(RunZepconv(args).status, cases[c].status);
    EXPECT_EQ(fs::exists(dump + ".map"), cases[c].status == 1);
    EXPECT_EQ(RunZepconv({"split", dump, "--out", tmp.File("split")}).status, cases[c].status);
    std::vector<std::string> files;
    for (std::size_t i = 0; i < cases[c].pings.size(); ++i) files.push_back(tmp.File("split/fond" + std::to_string(i) + ".zep"));
    std::vector<int> counts, unread;
    std::vector<std::string> info = {"info", "--json"};
    info.insert(info.end(), files.begin(), files.end());
    for (const json& r : json::parse(RunZepconv(info).out)) {
      counts.push_back(r["pings"]);
      unread.push_back(r["unread_samples"]);
    }
    EXPECT_EQ(std::pair(counts, unread), std::pair(cases[c].pings, cases[c].unreadSamples));
    EXPECT_EQ(fs::exists(tmp.File("split/fond2.zep.map")), cases[c].status == 1);
    pings[c] = PingsOf(files);
  }
  ASSERT_EQ(pings[0].size() + 2, pings[1].size());
  for (std::size_t i = 0, whole = 0; i < pings[0].size(); ++i, ++whole) {
    if (whole == 40 + 25 + 12) whole += 2;
    // The image's bytes there never reach the file: zeros, and flagged.
    const auto& [info, samples] = pings[0][i];
    auto expected = pings[1][whole].second;
    for (const SampleRange& r : info.unread) std::fill(expected.begin() + r.begin, expected.begin() + r.end, 0);
    EXPECT_EQ(std::pair(info.pingIndex, samples), std::pair(pings[1][whole].first.pingIndex, expected)) << i;
  }
}

#ifdef _WIN32
// Natively, tests/kill_test.sh interrupts every writing command on three
// file systems; here Ctrl+C reaches zepconv.exe in the middle of a record.
TEST_F(CliTest, CtrlCRemovesTheUnfinishedFileAndKeepsTheEarlierOne) {
  const std::string img = Write(Tk40Disc().Entry(7, {.name = "LONG", .first = 0, .second = 20000}));
  fs::resize_file(img, Tk40BlockOffset(20000));  // 60000 blocks of zeros: long enough to be caught
  const std::string out = tmp.File("out"), earlier = out + "/LONG.ZEP";
  fs::create_directories(out);
  Put("out/LONG.ZEP", "earlier");
  const auto run = RunZepconv({"convert", img, "--record", "8", "--out", out, "--quiet"}, out);
  EXPECT_EQ(run.status, 130) << run.err;
  EXPECT_NE(run.err.find("LONG.ZEP: interrupted, not finished"), std::string::npos) << run.err;
  EXPECT_EQ(ReadText(earlier), "earlier");
  EXPECT_EQ(std::distance(fs::directory_iterator(out), {}), 1);  // no temporary file
}
#endif

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

// Conventions: errors under one prefix that name the file, exit 2 where nothing was done (the first line of
// stderr, exactly), help, stdout write failures, ISO dates, one JSON object, bash completion.
TEST_F(CliTest, ErrorsHaveOnePrefixNameTheFileAndRefuseWithTwo) {
  const std::string img = Write(Tk40Disc()), dir = tmp.path().string(), file = Put("plain", "not a record file");
  const struct { std::vector<std::string> args; std::string err; } cases[] = {
      {{"lst", img}, "zepconv: unknown command 'lst'"},
      {{"help", "lst"}, "zepconv: unknown command 'lst'"},
      {{}, "zepconv: no command given (one of: list, convert, dump, split, info, carve, domain, check, pings, track, echogram, netcdf, inventory, help)"},
      {{"list"}, "zepconv: SOURCE is required"},
      {{"list", img, "--bogus"}, "zepconv: unknown option '--bogus'"},
      {{"info", file, "-z", "extra"}, "zepconv: unknown option '-z'"},
      {{"list", img, "extra"}, "zepconv: more arguments than the command takes: extra"},
      {{"convert", img, "--out", dir, "--record", "x"}, "zepconv: --record: not a number or a range such as 1-3: x"},
      {{"convert", img, "--out", dir, "--record", "7-6"}, "zepconv: --record: 7-6 runs backwards: write 6-7"},
      {{"echogram", file, file, "-o", "x.png"}, "zepconv: FILE: takes at most one value, got two"},
      {{"track", file, "--format", "csv", "--gap", "0"}, "zepconv: --gap: 0 seconds is not more than 0"},
      {{"convert", img, "--out"}, "zepconv: --out: needs a value"},
      // Outputs that cannot be what was asked for, refused before anything is written.
      {{"echogram", file, "-o", dir}, "zepconv: " + dir + ": is a folder; -o names the PNG to write"},
      {{"echogram", file, "-o", tmp.File("x.jpg")}, "zepconv: " + tmp.File("x.jpg") + ": echograms are written as PNG, not .jpg"},
      {{"list", img, "--mapfile", dir}, "zepconv: " + dir + ": is a folder, not a mapfile"},
      {{"pings", file}, "zepconv: " + file + ": not a .ZEP record file"},
      {{"echogram", file, "-o", tmp.File("e.png")}, "zepconv: " + file + ": not a .ZEP record file"},
      {{"convert", img, "--out", dir, "--record", "1,99"}, "zepconv: --record: 99 is not between 1 and 64"},
      {{"convert", img, "--type", "tk40", "--out", file}, "zepconv: " + file + ": cannot create the folder: "},
      {{"split", img, "--out", file}, "zepconv: " + file + ": cannot create the folder: "},
      {{"dump", img, "--out", dir}, "zepconv: " + dir + ": is a folder; --out names the dump file to write"},
      {{"info", dir}, "zepconv: " + dir + ": "},
      {{"info", file}, "zepconv: " + file + ": not a .ZEP record file"},
      {{"list", dir + "/none.img"}, "zepconv: " + dir + "/none.img: "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.err);
    const auto run = RunZepconv(c.args);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(run.err.starts_with(c.err)) << run.err;
    for (const char* call : {"open(", "CreateFile", "stat("}) EXPECT_EQ(run.err.find(call), std::string::npos) << run.err;
  }
}

TEST_F(CliTest, HelpCommandAnswersOnStdout) {
  for (const char* command : {"list", "convert", "dump", "split", "info"}) {
    const auto help = RunZepconv({"help", command});
    EXPECT_EQ(help.status, 0) << command;
    EXPECT_EQ(help.out, RunZepconv({command, "--help"}).out);
    EXPECT_NE(help.out.find(std::string("Usage: zepconv ") + command), std::string::npos) << help.out;
  }
}

// Dates and times as ISO 8601 where the BCD bytes make them, null where not.
TEST_F(CliTest, ListJsonAddsIsoDatesBesideTheShownCells) {
  using Hm = std::array<std::uint8_t, 2>;
  const struct { test::EntrySpec entry; json date, start, end; } cases[] = {
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
  for (std::size_t i = 0; const auto& c : cases) {
    const json& r = records[i++];
    EXPECT_EQ(json::array({r["date_iso"], r["start_iso"], r["end_iso"]}), json::array({c.date, c.start, c.end})) << c.entry.name;
  }
}

// One object on stdout, whatever happened; its failures are stderr's messages.
TEST_F(CliTest, WritingCommandsGiveOneJsonObject) {
  DiscImage img(SourceType::Tk40);
  img.Entry(0, {.name = "GOOD", .first = 0, .second = 1}).Entry(1, {.name = "LONG", .first = 0, .second = 9});
  const std::string disc = Write(img.Block(0, test::Tk40Block().Samples(0))), out = tmp.File("out");
  const struct { std::vector<std::string> args; int status; json files; std::string failure; } cases[] = {
      {{"convert", disc, "--out", out, "--json"}, 1,
       {{{"record", 1}, {"name", "GOOD"}, {"file", (fs::path(out) / "GOOD.ZEP").string()}, {"pings", 1}, {"unread_pings", 0}, {"missing_pings", 0}, {"complete", true}},
        {{"record", 2}, {"name", "LONG"}, {"file", (fs::path(out) / "LONG.ZEP").string()}, {"pings", 1}, {"unread_pings", 0}, {"missing_pings", 0}, {"complete", false}}},
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
    EXPECT_TRUE(doc["failures"][0]["reason"].get<std::string>().starts_with(c.failure)) << run.out;
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
  for (const auto& [args, status] : {std::pair{"list " + Write(Tk40Disc()), 1}, {"info --json " + tmp.File("none"), 2}}) {
    EXPECT_EQ(Shell(std::string(ZEPCONV_PATH) + " " + args + " >/dev/full 2>" + err), status) << args;
    const std::string text = test::ReadText(err);
    EXPECT_NE(text.find("zepconv: standard output: No space left on device"), std::string::npos) << text;
  }
}

TEST_F(CliTest, BashCompletionKnowsCommandsOptionsAndChoices) {
  const std::string script = tmp.File("completion");
  ASSERT_EQ(Shell(std::string(ZEPCONV_PATH) + " --bash-completion >" + script), 0);
  const struct { std::string line, expected; } cases[] = {
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
    EXPECT_EQ(test::ReadText(reply), c.expected + "\n");
  }
}
#endif

#ifndef _WIN32  // ddrescuelog runs on the build system only
// Sectors the real ddrescuelog leaves unrescued (sector s is in block (s - 8) / 2) are unreadable.
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
    for (const auto& [name, indexes] : {std::pair{"/ONE.ZEP", c.one}, {"/TWO.ZEP", c.two}}) {
      std::vector<std::uint32_t> found;
      WalkRecordFile(out + name, [&](const PingInfo& p) { found.push_back(p.pingIndex); });
      EXPECT_EQ(found, indexes) << name;
    }
  }
}
#endif

// The domain mapfile: the directory and the records' copied sectors, the
// dump area past this small disc's end left out; a record not on the disc,
// and a directory that does not read, write no map.
TEST_F(CliTest, DomainNamesWhatAConversionReads) {
  const std::string image = Write(ZepDisc());
  const std::string unread = Put("unread.map", std::string("0x0 ?\n0x0 0x800 -\n0x800 0xB800 +\n"));
  const struct {
    std::vector<std::string> args;
    int status;
    std::string blocks;  // the map's lines that are not comments, or what stderr says
  } cases[] = {
      {{}, 0, "0x00000000     ?               1\n0x00000000  0x00000800  +\n0x00000800  0x00005800  ?\n"
              "0x00006000  0x00001800  +\n0x00007800  0x00003800  ?\n0x0000B000  0x00001000  +\n"},
      {{"--record", "3"}, 0, "0x00000000     ?               1\n0x00000000  0x00000800  +\n0x00000800  0x0000A800  ?\n"
                             "0x0000B000  0x00001000  +\n"},
      {{"--record", "2"}, 2, "zepconv: " + image + ": no record 2 (its records: 1, 3)\n"},
      {{"--mapfile", unread}, 2, "the record directory (bytes 0 to 2047) does not read"},
  };
  for (const auto& c : cases) {
    const std::string map = tmp.File("used.map");
    fs::remove(map);
    std::vector<std::string> args = {"domain", image, "-o", map};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const test::ToolRun run = RunZepconv(args);
    SCOPED_TRACE(run.err);
    EXPECT_EQ(run.status, c.status);
    if (c.status != 0) {
      EXPECT_NE(run.err.find(c.blocks), std::string::npos);
      EXPECT_FALSE(fs::exists(map));
      continue;
    }
    std::string blocks;
    for (const std::string& line : Lines(ReadText(map)))
      if (!line.starts_with('#')) blocks += line + "\n";
    EXPECT_EQ(blocks, c.blocks);
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

// netcdf needs one output, and the command line says which; echogram's -o
// names a PNG, not a folder. What the exports write is ExportTest's.
TEST_F(CliTest, NetcdfAndEchogramRefuseWhatTheCommandLineCannotMean) {
  const std::string a = Put("R.ZEP", "x"), b = Put("REEF.A", "x");
  const std::vector<std::string> cases[] = {
      {"netcdf", a},
      {"netcdf", a, b, "-o", tmp.File("x.nc")},
      {"netcdf", a, "-o", tmp.File("x.nc"), "--out", tmp.File("nc")},
      {"netcdf", a, "--deflate", "10", "-o", tmp.File("x.nc")},
  };
  for (const auto& args : cases) EXPECT_EQ(RunZepconv(args).status, 2) << args.size();
  const test::ToolRun echogram = RunZepconv({"echogram", b, "-o", tmp.path().string()});
  EXPECT_EQ(echogram.err, "zepconv: " + tmp.path().string() + ": is a folder; -o names the PNG to write, such as " +
                              (tmp.path() / "REEF.A.png").string() + "\n");
}

}  // namespace
}  // namespace zep
