// The exports driven as a library on record files built here: what each
// writes, and the problems it reports, kind and words.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <regex>
#include <sstream>
#include <tuple>

#include <nlohmann/json.hpp>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb/stb_image.h>

#include "convert/record_file.h"
#include "disc/file.h"
#include "disc/rescue_map.h"
#include "export/exports.h"
#include "export/netcdf.h"
#include "tests/support/disc_image.h"
#include "tests/support/temp_dir.h"

namespace zep {
namespace {

using json = nlohmann::json;
namespace fs = std::filesystem;

using test::Lines;
using test::ReadText;

// What an export gave: its outcome, its text (what -o - prints) and the
// problems it reported, each as "kind|subject: what".
struct Exported {
  Outcome outcome;
  std::string out;
  std::vector<std::string> problems;
};

Exported Export(const std::function<Outcome(Sink&)>& run) {
  std::ostringstream text;
  ProblemList sink(text);
  const Outcome outcome = run(sink);
  std::vector<std::string> problems;
  for (const Problem& p : sink.problems) problems.push_back(std::string(ProblemKindName(p.kind)) + "|" + p.Text());
  return {outcome, text.str(), problems};
}

struct Ping {
  std::uint32_t index;
  std::string text;
  std::uint16_t samples = 64;
  std::uint8_t mode = 0;
};

// A record file of these pings, dated 2008-11-05.
std::vector<std::uint8_t> RecordFile(const std::vector<Ping>& pings) {
  std::vector<std::uint8_t> bytes(kFileHeaderSize, 0);
  for (const Ping& p : pings) {
    std::vector<std::uint8_t> r = test::MakePingRecord(p.samples, p.index, p.mode);
    PutU16(r.data() + ping::kYear, 0x2008);
    r[ping::kMonth] = 0x11;
    r[ping::kDay] = 0x05;
    PutU16(r.data() + ping::kTrailer16, static_cast<std::uint16_t>(-2));
    std::copy(p.text.begin(), p.text.end(), r.begin() + ping::kGpsText);
    if (p.text.size() < ping::kGpsTextSize) r[ping::kGpsText + p.text.size()] = 0x0D;
    bytes.insert(bytes.end(), r.begin(), r.end());
  }
  return bytes;
}

std::string WithChecksum(const std::string& body) {
  unsigned sum = 0;
  for (char c : body) sum ^= static_cast<unsigned char>(c);
  char hex[4];
  std::snprintf(hex, sizeof hex, "*%02X", sum);
  return "$" + body + hex;
}

std::string Gll(const char* time, const char* pos = "5412.3660,N,01023.4720,E", const char* status = "A") {
  return std::string("$GPGLL,") + pos + "," + time + "," + status;
}

// A folder of the test's own for the record files and what is made of them.
struct ExportTest : ::testing::Test {
  std::string Put(const std::string& name, const std::string& text) const { return Put(name, std::vector<std::uint8_t>(text.begin(), text.end())); }
  std::string Put(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
    return test::WriteWholeFile(tmp.File(name), bytes);
  }
  test::TempDir tmp;
};

TEST_F(ExportTest, PingTableGivesTheSameRowsAsCsvAndJsonLines) {
  const std::string file = Put("a.ZEP", RecordFile({{7, Gll("091500", "5412.3660,S,01023.4720,W")}, {8, "SONAR \"A\", 12\xB0"},
                                                    {9, WithChecksum("GPGGA,091510,5412.3700,N,01023.4800,E,0,08,,,,,,,")},
                                                    {10, Gll("091503", "5412.3660,S,01023.4750,W")}, {12, "no fix"}}));
  const Exported csv = Export([&](Sink& s) { return WritePingTable(s, {file}, false, ""); });
  const Exported jsonl = Export([&](Sink& s) { return WritePingTable(s, {file}, true, "-"); });
  // Ping 11 is missing: the table says so, and the file is not whole.
  const std::vector<std::string> hole = {
      "other|" + file + ": not whole: 1 hole: ping indexes jump from 10 to 12 at byte 5376, ping 11 missing"};
  EXPECT_EQ(std::tuple(csv.outcome, csv.problems, jsonl.outcome, jsonl.problems),
            std::tuple(Outcome::kPartly, hole, Outcome::kPartly, hole));
  const auto rows = Lines(csv.out), objects = Lines(jsonl.out);
  ASSERT_EQ(std::pair(rows.size(), objects.size()), std::pair(std::size_t{6}, std::size_t{5}));
  std::string keys;
  const auto first = nlohmann::ordered_json::parse(objects[0]);
  for (const auto& [key, value] : first.items()) keys += (keys.empty() ? "" : ",") + key;
  EXPECT_EQ(keys, rows[0]);
  EXPECT_EQ(jsonl.out.find("nan"), std::string::npos);
  const std::string tail = ",2008-11-05,0,64,0,0,-2,0,0,0,0,0,0,0,0,0,";
  EXPECT_EQ(rows[1], file + ",4096,7" + tail +
                         "\"$GPGLL,5412.3660,S,01023.4720,W,091500,A\",GLL,09:15:00,-54.2061000,-10.3912000,true,missing,"
                         "2008-11-05T09:15:00Z,-54.2061000,-10.3912000,fix,fix,0,0");
  // Pings between two fixes are placed between them by ping index.
  EXPECT_EQ(rows[2], file + ",4416,8" + tail + "\"SONAR \"\"A\"\", 12\xC2\xB0\",,,,,,,"
                         "2008-11-05T09:15:01Z,-54.2061000,-10.3912167,interpolated,interpolated,0,0");
  EXPECT_EQ(rows[3].substr(rows[3].find(",GGA,")),
            ",GGA,09:15:10,54.2061667,10.3913333,false,ok,2008-11-05T09:15:02Z,-54.2061000,-10.3912333,interpolated,"
            "interpolated,0,0");
  // After the last fix a ping's time goes on at the record's rate (1 s a ping
  // from ping 7 to ping 10), and it has no position.
  EXPECT_EQ(rows[5].substr(rows[5].find("no fix")), "no fix,,,,,,,2008-11-05T09:15:05Z,,,none,extrapolated,0,1");
  const json second = json::parse(objects[1]);
  EXPECT_EQ(second["gps_text"], "SONAR \"A\", 12\u00B0");
  EXPECT_TRUE(second["lat"].is_null() && second["checksum"].is_null());
  EXPECT_EQ(first["lat"], -54.2061);
}

// Each case: the pings' texts in turn, and the (segment, ping) rows the track's CSV gives for them.
TEST_F(ExportTest, TrackStartsASegmentAtGapsBackwardsTimeJumpsAndFiles) {
  const struct {
    const char* name;
    std::vector<std::string> texts;
    std::vector<std::string> points;  // "segment,ping"
    std::string note;                 // said of the file, not a fault
  } cases[] = {
      {"repeated texts and fixes are one point",
       {Gll("091500"), Gll("091500"), WithChecksum(Gll("091500").substr(1)), Gll("091501")},
       {"1,0", "1,3"}},
      {"a gap over 60 s, then time running backwards",
       {Gll("091500"), Gll("091600"), Gll("091701"), Gll("091650")},
       {"1,0", "1,1", "2,2", "3,3"}},
      {"a jump of 1.1 km in 10 s; 400 m in 10 s is a boat",
       {Gll("091500"), Gll("091510", "5412.9660,N,01023.4720,E"), Gll("091520", "5412.7500,N,01023.4720,E")},
       {"1,0", "2,1", "2,2"}},
      {"no fix, a bad checksum, a text that is no position",
       {Gll("091500"), Gll("091501", "5412.3660,N,01023.4720,E", "V"), Gll("091502") + "*00", "HELLO",
        Gll("091503")},
       {"1,0", "1,4"},
       "1 sentence with a bad checksum left out"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<Ping> pings;
    for (const std::string& t : c.texts) pings.push_back({static_cast<std::uint32_t>(pings.size()), t});
    const std::string file = Put("t.ZEP", RecordFile(pings));
    const Exported run = Export([&](Sink& s) { return WriteTrack(s, {file}, TrackFormat::kCsv, "", 60); });
    EXPECT_EQ(run.outcome, Outcome::kDone);
    EXPECT_EQ(run.problems, c.note.empty() ? std::vector<std::string>{} : std::vector{"other|" + file + ": " + c.note});
    std::vector<std::string> points;
    for (const std::string& row : Lines(run.out)) {
      const std::size_t a = row.find(',') + 1, b = row.find(',', row.find(',', a) + 1);
      if (row.rfind("file,", 0) != 0) points.push_back(row.substr(a, b - a));
    }
    EXPECT_EQ(points, c.points);
  }
  // Every file starts a segment of its own, even where the track runs on.
  const std::string a = Put("a.ZEP", RecordFile({{0, Gll("091500")}})), b = Put("b.ZEP", RecordFile({{0, Gll("091501")}}));
  const json collection = json::parse(Export([&](Sink& s) { return WriteTrack(s, {a, b}, TrackFormat::kGeoJson, "", 60); }).out);
  ASSERT_EQ(collection["features"].size(), 2u);
  EXPECT_EQ(collection["features"][1]["geometry"], json::parse(R"({"type": "Point", "coordinates": [10.3912, 54.2061]})"));
  EXPECT_EQ(collection["features"][1]["properties"]["file"], b);
}

#ifndef _WIN32  // gpsbabel is asked natively only
// "lat lon time" of every trkpt of a GPX file, to the micro-degree.
std::vector<std::string> TrackPoints(const std::string& gpx) {
  static const std::regex trkpt(R"re(<trkpt lat="([-0-9.]+)" lon="([-0-9.]+)">\s*(?:<ele>[^<]*</ele>\s*)?<time>([^<.Z]+))re");
  std::vector<std::string> points;
  for (std::sregex_iterator m(gpx.begin(), gpx.end(), trkpt), end; m != end; ++m) {
    char text[64];
    std::snprintf(text, sizeof text, "%.6f %.6f ", std::stod((*m)[1]), std::stod((*m)[2]));
    points.push_back(text + (*m)[3].str());
  }
  return points;
}

TEST_F(ExportTest, GpsbabelReadsTheSameSentencesAlikeAndReadsOurFiles) {
  if (std::system("gpsbabel -V >/dev/null 2>&1") != 0) GTEST_SKIP() << "gpsbabel is not installed (Debian package gpsbabel)";
  // gpsbabel merges sentences of different types into one point, so each type goes on its own.
  const std::vector<std::vector<std::string>> groups = {
      {"GPGLL,5412.3660,N,01023.4720,E,235950,A", "GPGLL,5412.3750,S,01023.4900,W,235959.5,A",
       "GPGLL,5412.3800,S,01023.5000,W,000003,A"},
      {"GNGGA,091500,5412.3660,N,01023.4720,E,1,08,0.9,5,M,40,M,,", "GNGGA,091510,5412.3700,N,01023.4800,E,2,08,0.9,5,M,40,M,,",
       "GNGGA,091520,5412.3750,N,17959.9990,W,1,08,0.9,5,M,40,M,,"},
      {"GPRMC,235950,A,5412.3660,N,01023.4720,E,5.0,45.0,311208,,", "GPRMC,000010,A,0012.3700,S,00023.4800,E,5.0,45.0,010109,,"}};
  for (const auto& group : groups) {
    std::vector<Ping> pings;
    std::string nmea;
    for (const std::string& body : group) {
      pings.push_back({static_cast<std::uint32_t>(pings.size()), WithChecksum(body)});
      nmea += WithChecksum(body) + "\r\n";
    }
    const std::string file = Put("g.ZEP", RecordFile(pings)), in = Put("g.nmea", nmea), theirs = tmp.File("theirs.gpx");
    ASSERT_EQ(std::system(("gpsbabel -i nmea,date=20081105 -f '" + in + "' -o gpx,gpxver=1.1 -F '" + theirs + "'").c_str()), 0);
    const auto ours = TrackPoints(Export([&](Sink& s) { return WriteTrack(s, {file}, TrackFormat::kGpx, "", 60); }).out);
    EXPECT_EQ(ours.size(), group.size());
    EXPECT_EQ(ours, TrackPoints(ReadText(theirs))) << group[0];
  }
  const std::string file = Put("r.ZEP", RecordFile({{0, Gll("091500")}, {1, Gll("091510", "5412.3700,N,01023.4800,E")},
                                                    {2, Gll("093000")}}));
  for (const auto& [format, as] : {std::pair("gpx", TrackFormat::kGpx), {"geojson", TrackFormat::kGeoJson}, {"kml", TrackFormat::kKml}}) {
    const std::string ours = tmp.File(std::string("ours.") + format), err = tmp.File("err.txt");
    const TrackFormat kind = as;  // a structured binding cannot be captured before C++20's last revision
    ASSERT_EQ(Export([&](Sink& s) { return WriteTrack(s, {file}, kind, ours, 60); }).outcome, Outcome::kDone);
    EXPECT_EQ(std::system(("gpsbabel -i " + std::string(format) + " -f '" + ours + "' -o csv -F /dev/null 2>'" + err + "'").c_str()), 0);
    EXPECT_EQ(ReadText(err), "") << format;
  }
}
#endif

// Modes of 640, 1920 and 1280 samples, a gap of three pings and one of a
// thousand (32 columns, the most a gap gets), five columns to a picture;
// samples 100 to 299 of the second ping were not read, as the file's map says.
TEST_F(ExportTest, EchogramPixelsAreTheSamplesAndGapsAreTransparent) {
  const std::vector<Ping> pings = {{0, "", 640, 0}, {1, "", 1920, 4}, {2, "", 1280, 1}, {6, "", 640, 0},
                                   {7, "", 1280, 1}, {1008, "", 640, 0}};
  const auto bytes = RecordFile(pings);
  const std::string file = Put("e.ZEP", bytes);
  std::vector<std::size_t> offsets;  // of each ping's samples in the file
  ASSERT_EQ(WalkRecord(bytes, [&](const PingInfo& p) { offsets.push_back(p.offset + kPingHeaderSize); }).pings, 6u);
  const auto unreadAt = static_cast<std::int64_t>(offsets[1]) + 100;
  const RescueMap map{"", {{0, unreadAt, '+'}, {unreadAt, 200, '-'},
                           {unreadAt + 200, static_cast<std::int64_t>(bytes.size()) - unreadAt - 200, '+'}}};
  Put("e.ZEP.map", FormatRescueMap(map, "a test"));
  // Pings missing between those it has: drawn, but not whole.
  const Exported drawn = Export([&](Sink& s) { return WriteEchogram(s, file, tmp.File("e.png"), 5, Palette::kGrey); });
  EXPECT_EQ(drawn.problems, std::vector<std::string>{"unreadable|" + file +
                                                     ": not whole: 2 holes, the first: ping indexes jump from 2 to 6 at "
                                                     "byte 8704, pings 3 to 5 missing; 1 ping has 200 samples that could "
                                                     "not be read"});
  ASSERT_EQ(drawn.outcome, Outcome::kPartly);
  std::vector<int> columns = {0, 1, 2, -1, -1, -1, 3, 4};  // indexes into pings; -1 is no ping
  columns.insert(columns.end(), 32, -1);
  columns.push_back(5);
  std::string csv = "image,column,ping\n";
  for (std::size_t image = 0, c = 0; image * 5 < columns.size(); ++image) {
    char name[32];
    std::snprintf(name, sizeof name, "e_%04zu.png", image);
    int w = 0, h = 0, n = 0, tallest = 1;
    stbi_uc* px = stbi_load(tmp.File(name).c_str(), &w, &h, &n, 2);  // grey and alpha
    ASSERT_NE(px, nullptr) << name;
    ASSERT_EQ(w, static_cast<int>(std::min<std::size_t>(5, columns.size() - image * 5))) << name;
    for (int x = 0; x < w; ++x, ++c) {
      const int k = columns[c], count = k < 0 ? 0 : pings[static_cast<std::size_t>(k)].samples;
      csv += std::string(name) + "," + std::to_string(x) + "," + (k < 0 ? "" : std::to_string(pings[static_cast<std::size_t>(k)].index)) + "\n";
      tallest = std::max(tallest, count);
      for (int y = 0; y < h; ++y) {
        const stbi_uc* p = px + (y * w + x) * 2;
        const bool unread = k == 1 && y >= 100 && y < 300;
        if (y < count && !unread) ASSERT_EQ(std::pair(p[0], p[1]), std::pair(bytes[offsets[static_cast<std::size_t>(k)] + static_cast<std::size_t>(y)], stbi_uc{255})) << name << " " << x << "," << y;
        else ASSERT_EQ(p[1], 0) << name << " " << x << "," << y;
      }
    }
    EXPECT_EQ(h, tallest) << name;
    stbi_image_free(px);
  }
  EXPECT_FALSE(fs::exists(tmp.File("e_0009.png")));
  EXPECT_EQ(ReadText(tmp.File("e.csv")), csv);
  // One picture takes the name given; the same record gives the same bytes.
  for (const char* name : {"one.png", "again.png"}) {
    ASSERT_EQ(Export([&](Sink& s) { return WriteEchogram(s, file, tmp.File(name), 2048, Palette::kViridis); }).outcome,
              Outcome::kPartly);
  }
  EXPECT_EQ(test::ReadWholeFile(tmp.File("one.png")), test::ReadWholeFile(tmp.File("again.png")));
  int w = 0, h = 0, n = 0;
  ASSERT_TRUE(stbi_info(tmp.File("one.png").c_str(), &w, &h, &n));
  EXPECT_EQ(std::pair(w, n), std::pair(static_cast<int>(columns.size()), 4));
  // A thumbnail: 41 columns in blocks of 8 pings, 1920 samples in blocks of 4
  // rows; each pixel the strongest sample of its block, a block with a
  // missing ping transparent.
  ASSERT_EQ(Export([&](Sink& s) { return WriteEchogram(s, file, tmp.File("fit.png"), 2048, Palette::kGrey, Fit{10, 500}); }).outcome,
            Outcome::kPartly);
  stbi_uc* px = stbi_load(tmp.File("fit.png").c_str(), &w, &h, &n, 2);
  ASSERT_NE(px, nullptr);
  ASSERT_EQ(std::pair(w, h), std::pair(6, 480));
  for (int y = 0; y < h; ++y) {
    const std::size_t at = offsets[5] + 4 * static_cast<std::size_t>(y);
    const stbi_uc strongest = y < 160 ? *std::max_element(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                                                          bytes.begin() + static_cast<std::ptrdiff_t>(at + 4)) : 0;
    EXPECT_EQ(std::tuple(px[y * w * 2 + 1], px[(y * w + 5) * 2], px[(y * w + 5) * 2 + 1]),
              std::tuple(stbi_uc{0}, strongest, static_cast<stbi_uc>(y < 160 ? 255 : 0))) << y;
  }
  stbi_image_free(px);
}

// A cut file gives its whole pings and is named not whole; one that does not
// open gives nothing and refuses; an output is never one of the inputs.
TEST_F(ExportTest, CutFilesGiveTheirWholePingsAndUnreadableOnesNothing) {
  const std::string file = Put("cut.ZEP", RecordFile({{0, Gll("091500")}, {1, Gll("091510")}}));
  fs::resize_file(file, fs::file_size(file) - 10);
  const std::string missing = tmp.File("none.ZEP"), out = tmp.File("out.txt"), png = tmp.File("cut.png");
  using Write = std::function<Outcome(Sink&, const std::string& in)>;
  const Write pings = [&](Sink& s, const std::string& in) { return WritePingTable(s, {in}, false, out); };
  const Write track = [&](Sink& s, const std::string& in) { return WriteTrack(s, {in}, TrackFormat::kCsv, out, 60); };
  const Write echogram = [&](Sink& s, const std::string& in) { return WriteEchogram(s, in, png, 2048, Palette::kGrey); };
  const std::string cut = "past end|" + file + ": not whole: samples of the ping at byte 4416 cut short: 54 of 64 bytes";
  // The system's own words for a file that is not there.
  const std::string gone = "unreadable|" + InputFile::Open(missing).problem().Text();
  const struct {
    const char* name;
    const Write* write;
    std::string in;
    Outcome outcome;
    std::string problem;
    std::size_t lines;  // of the output
  } cases[] = {
      {"pings", &pings, file, Outcome::kPartly, cut, 2},
      {"track", &track, file, Outcome::kPartly, cut, 2},
      {"echogram", &echogram, file, Outcome::kPartly, cut, 2},
      {"pings", &pings, missing, Outcome::kRefused, gone, 0},
      {"echogram", &echogram, missing, Outcome::kRefused, gone, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " " + c.in);
    for (const std::string& f : {out, tmp.File("cut.csv")}) fs::remove(f);
    const Exported run = Export([&](Sink& s) { return (*c.write)(s, c.in); });
    EXPECT_EQ(std::pair(run.outcome, run.problems), std::pair(c.outcome, std::vector{c.problem}));
    const std::string written = c.write == &echogram ? tmp.File("cut.csv") : out;
    EXPECT_EQ(Lines(fs::exists(written) ? ReadText(written) : "").size(), c.lines);
  }
  const auto before = test::ReadWholeFile(file);
  const Exported over = Export([&](Sink& s) { return WritePingTable(s, {file}, false, file); });
  EXPECT_EQ(std::pair(over.outcome, over.problems),
            std::pair(Outcome::kRefused, std::vector{"usage|" + file + ": is one of the files to read; not overwriting it"}));
  EXPECT_EQ(test::ReadWholeFile(file), before);
}

// Two record files of one name are not written into one netCDF file: the
// first one's file stays; files made from a record keep every extension but .ZEP.
TEST_F(ExportTest, NetcdfKeepsNamesApart) {
  if (!HaveNetcdf()) GTEST_SKIP() << "a build without netCDF-C";
  fs::create_directories(tmp.File("b"));
  const std::vector<std::uint8_t> one = RecordFile({{0, Gll("091500")}});
  const std::string a = Put("R.ZEP", one), b = Put("b/R.ZEP", RecordFile({{0, ""}})), nc = tmp.File("nc");
  const Exported run = Export([&](Sink& s) { return WriteNetcdf(s, {b, a}, {"", nc, kDefaultDeflate}); });
  const std::string made = (fs::path(nc) / "R.nc").string();
  EXPECT_EQ(std::tuple(run.outcome, run.out, run.problems),
            std::tuple(Outcome::kPartly, b + " -> " + made + "\n",
                       std::vector{"kept existing|" + a + ": not written: " + made +
                                   " was written from another record file of the same name in this run"}));
  EXPECT_EQ(std::distance(fs::directory_iterator(nc), fs::directory_iterator()), 1);
  const struct {
    std::vector<std::string> files, made;
  } naming[] = {
      {{"REEF.A", "REEF.B"}, {"REEF.A.nc", "REEF.B.nc"}},
      {{"S.ZEP", "carved-000000028672.zep", "T"}, {"S.nc", "T.nc", "carved-000000028672.nc"}},
  };
  for (const auto& n : naming) {
    fs::remove_all(tmp.File("named"));
    std::vector<std::string> files;
    for (const std::string& f : n.files) files.push_back(Put(f, one));
    EXPECT_EQ(Export([&](Sink& s) { return WriteNetcdf(s, files, {"", tmp.File("named"), kDefaultDeflate}); }).outcome,
              Outcome::kDone) << n.files[0];
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(tmp.File("named"))) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, n.made);
  }
}

}  // namespace
}  // namespace zep
