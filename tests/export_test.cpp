// zepconv pings, track and echogram on record files built here: the ping
// table in both formats, where the track breaks into segments, what
// gpsbabel makes of the same sentences and of our files, and the echogram's
// pixels against the samples.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include <nlohmann/json.hpp>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb/stb_image.h>

#include "convert/record_file.h"
#include "tests/cli_run.h"
#include "tests/support/disc_image.h"
#include "tests/support/temp_dir.h"

namespace zep {
namespace {

using json = nlohmann::json;
using test::RunZepconv;

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

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  return lines;
}

std::string ReadText(const std::string& path) {
  const auto b = test::ReadWholeFile(path);
  return {b.begin(), b.end()};
}

struct ExportTest : test::CliTest {
  std::string Record(const std::string& name, const std::vector<Ping>& pings) {
    return test::WriteWholeFile(tmp.File(name), RecordFile(pings));
  }
};

TEST_F(ExportTest, PingTableGivesTheSameRowsAsCsvAndJsonLines) {
  const std::string file = Record("a.ZEP", {{7, Gll("091500", "5412.3660,S,01023.4720,W")},
                                            {8, "SONAR \"A\", 12\xB0"},
                                            {9, WithChecksum("GPGGA,091510,5412.3700,N,01023.4800,E,0,08,,,,,,,")}});
  const auto csv = RunZepconv({"pings", file});
  const auto jsonl = RunZepconv({"pings", file, "--format", "jsonl"});
  ASSERT_EQ(csv.status, 0) << csv.err;
  ASSERT_EQ(jsonl.status, 0) << jsonl.err;
  const auto rows = Lines(csv.out), objects = Lines(jsonl.out);
  ASSERT_EQ(rows.size(), 4u);
  ASSERT_EQ(objects.size(), 3u);
  std::string keys;
  const auto first = nlohmann::ordered_json::parse(objects[0]);
  for (const auto& [key, value] : first.items()) keys += (keys.empty() ? "" : ",") + key;
  EXPECT_EQ(keys, rows[0]);
  EXPECT_EQ(rows[0], "file,offset,ping,date,mode,sample_count,flags,u16_14,s16_16,u16_18,u16_20,u16_22,u16_24,"
                     "u16_26,u8_34,u8_35,u8_36,u8_38,gps_text,gps_sentence,time_utc,lat,lon,fix_valid,checksum");
  EXPECT_EQ(jsonl.out.find("nan"), std::string::npos);
  const std::string tail = ",2008-11-05,0,64,0,0,-2,0,0,0,0,0,0,0,0,0,";
  EXPECT_EQ(rows[1], file + ",4096,7" + tail +
                         "\"$GPGLL,5412.3660,S,01023.4720,W,091500,A\",GLL,09:15:00,-54.2061000,-10.3912000,true,missing");
  EXPECT_EQ(rows[2], file + ",4416,8" + tail + "\"SONAR \"\"A\"\", 12\xC2\xB0\",,,,,,");
  EXPECT_EQ(rows[3].substr(rows[3].find(",GGA,")), ",GGA,09:15:10,54.2061667,10.3913333,false,ok");
  const json second = json::parse(objects[1]);
  EXPECT_EQ(second["gps_text"], "SONAR \"A\", 12\u00B0");
  EXPECT_TRUE(second["lat"].is_null() && second["checksum"].is_null());
  EXPECT_EQ(first["lat"], -54.2061);
}

// Each case: the pings' texts in turn, and the (segment, ping) rows the
// track's CSV gives for them.
TEST_F(ExportTest, TrackStartsASegmentAtGapsBackwardsTimeJumpsAndFiles) {
  struct Case {
    const char* name;
    std::vector<std::string> texts;
    std::vector<std::string> points;  // "segment,ping"
    std::string note;                 // on stderr
  };
  const Case cases[] = {
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
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<Ping> pings;
    for (const std::string& t : c.texts) pings.push_back({static_cast<std::uint32_t>(pings.size()), t});
    const std::string file = Record("t.ZEP", pings);
    const auto run = RunZepconv({"track", file, "--format", "csv"});
    EXPECT_EQ(run.status, 0);
    if (c.note.empty()) EXPECT_EQ(run.err, "");
    else EXPECT_NE(run.err.find(c.note), std::string::npos) << run.err;
    std::vector<std::string> points;
    for (const std::string& row : Lines(run.out)) {
      const std::size_t a = row.find(',') + 1, b = row.find(',', row.find(',', a) + 1);
      if (row.rfind("file,", 0) != 0) points.push_back(row.substr(a, b - a));
    }
    EXPECT_EQ(points, c.points);
  }
  // Every file starts a segment of its own, even where the track runs on.
  const std::string a = Record("a.ZEP", {{0, Gll("091500")}}), b = Record("b.ZEP", {{0, Gll("091501")}});
  const json collection = json::parse(RunZepconv({"track", a, b, "--format", "geojson"}).out);
  ASSERT_EQ(collection["features"].size(), 2u);
  EXPECT_EQ(collection["features"][1]["geometry"], json::parse(R"({"type": "Point", "coordinates": [10.3912, 54.2061]})"));
  EXPECT_EQ(collection["features"][1]["properties"]["file"], b);
}

// Why gpsbabel cannot be asked; empty when it can.
std::string NoGpsbabel() {
#ifdef _WIN32
  return "gpsbabel is asked natively only";
#else
  return std::system("gpsbabel -V >/dev/null 2>&1") == 0 ? "" : "gpsbabel is not installed (Debian package gpsbabel)";
#endif
}

// lat, lon and time of every trkpt of a GPX file.
std::vector<std::tuple<double, double, std::string>> TrackPoints(const std::string& gpx) {
  static const std::regex trkpt(R"re(<trkpt lat="([-0-9.]+)" lon="([-0-9.]+)">\s*(?:<ele>[^<]*</ele>\s*)?<time>([^<.Z]+))re");
  std::vector<std::tuple<double, double, std::string>> points;
  for (std::sregex_iterator m(gpx.begin(), gpx.end(), trkpt), end; m != end; ++m) {
    points.emplace_back(std::stod((*m)[1]), std::stod((*m)[2]), (*m)[3]);
  }
  return points;
}

TEST_F(ExportTest, GpsbabelReadsTheSameSentencesAlikeAndReadsOurFiles) {
  if (const std::string why = NoGpsbabel(); !why.empty()) GTEST_SKIP() << why;
  // gpsbabel merges sentences of different types into one point, so each
  // type goes on its own.
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
    const std::string file = Record("g.ZEP", pings), in = WriteText("g.nmea", nmea), theirs = tmp.File("theirs.gpx");
    ASSERT_EQ(std::system(("gpsbabel -i nmea,date=20081105 -f '" + in + "' -o gpx,gpxver=1.1 -F '" + theirs + "'").c_str()), 0);
    const auto expected = TrackPoints(ReadText(theirs));
    const auto ours = TrackPoints(RunZepconv({"track", file, "--format", "gpx"}).out);
    ASSERT_EQ(ours.size(), group.size());
    ASSERT_EQ(ours.size(), expected.size());
    for (std::size_t i = 0; i < ours.size(); ++i) {
      EXPECT_NEAR(std::get<0>(ours[i]), std::get<0>(expected[i]), 1e-6) << group[i];
      EXPECT_NEAR(std::get<1>(ours[i]), std::get<1>(expected[i]), 1e-6) << group[i];
      EXPECT_EQ(std::get<2>(ours[i]), std::get<2>(expected[i])) << group[i];
    }
  }
  const std::string file = Record("r.ZEP", {{0, Gll("091500")}, {1, Gll("091510", "5412.3700,N,01023.4800,E")},
                                            {2, Gll("093000")}});
  for (const char* format : {"gpx", "geojson", "kml"}) {
    const std::string ours = tmp.File(std::string("ours.") + format), err = tmp.File("err.txt");
    ASSERT_EQ(RunZepconv({"track", file, "--format", format, "-o", ours}).status, 0);
    EXPECT_EQ(std::system(("gpsbabel -i " + std::string(format) + " -f '" + ours + "' -o csv -F /dev/null 2>'" + err + "'").c_str()), 0);
    EXPECT_EQ(ReadText(err), "") << format;
  }
}

// Modes of 640, 1920 and 1280 samples, a gap of three pings and one of a
// thousand, drawn five columns to a picture.
TEST_F(ExportTest, EchogramPixelsAreTheSamplesAndGapsAreTransparent) {
  const std::vector<Ping> pings = {{0, "", 640, 0}, {1, "", 1920, 4}, {2, "", 1280, 1}, {6, "", 640, 0},
                                   {7, "", 1280, 1}, {1008, "", 640, 0}};
  const std::string file = Record("e.ZEP", pings), out = tmp.File("e.png");
  const auto bytes = RecordFile(pings);
  ASSERT_EQ(RunZepconv({"echogram", file, "-o", out, "--pings-per-image", "5"}).status, 0);
  // Columns: pings 0 1 2, three missing, 6 7, 32 missing (the most a gap gets), 1008.
  const std::vector<int> columns = [] {
    std::vector<int> c = {0, 1, 2, -1, -1, -1, 6, 7};
    c.insert(c.end(), 32, -1);
    c.push_back(1008);
    return c;
  }();
  std::string csv = "image,column,ping\n";
  std::vector<std::size_t> offsets;  // of each ping's samples in the file
  RecordWalk walk = WalkRecord(bytes, [&](const PingInfo& p) { offsets.push_back(p.offset + kPingHeaderSize); });
  ASSERT_TRUE(walk.whole);
  for (std::size_t image = 0, c = 0; image * 5 < columns.size(); ++image) {
    char name[32];
    std::snprintf(name, sizeof name, "e_%04zu.png", image);
    SCOPED_TRACE(name);
    int w = 0, h = 0, n = 0;
    stbi_uc* px = stbi_load(tmp.File(name).c_str(), &w, &h, &n, 2);
    ASSERT_NE(px, nullptr);
    ASSERT_EQ(w, static_cast<int>(std::min<std::size_t>(5, columns.size() - image * 5)));
    int tallest = 1;
    for (int x = 0; x < w; ++x, ++c) {
      csv += std::string(name) + "," + std::to_string(x) + "," + (columns[c] < 0 ? "" : std::to_string(columns[c])) + "\n";
      const auto it = std::find_if(pings.begin(), pings.end(), [&](const Ping& p) { return int(p.index) == columns[c]; });
      const int count = it == pings.end() ? 0 : it->samples;
      tallest = std::max(tallest, count);
      for (int y = 0; y < h; ++y) {
        const stbi_uc* p = px + (y * w + x) * 2;
        if (y < count) {
          ASSERT_EQ(p[1], 255);
          ASSERT_EQ(p[0], bytes[offsets[static_cast<std::size_t>(it - pings.begin())] + static_cast<std::size_t>(y)]);
        } else {
          ASSERT_EQ(p[1], 0) << x << "," << y;
        }
      }
    }
    EXPECT_EQ(h, tallest);
    stbi_image_free(px);
  }
  EXPECT_FALSE(std::filesystem::exists(tmp.File("e_0009.png")));
  EXPECT_EQ(ReadText(tmp.File("e.csv")), csv);
  // One picture takes the name given; the same record gives the same bytes.
  const std::string one = tmp.File("one.png"), again = tmp.File("again.png");
  ASSERT_EQ(RunZepconv({"echogram", file, "-o", one, "--palette", "viridis"}).status, 0);
  ASSERT_EQ(RunZepconv({"echogram", file, "-o", again, "--palette", "viridis"}).status, 0);
  EXPECT_EQ(test::ReadWholeFile(one), test::ReadWholeFile(again));
  int w = 0, h = 0, n = 0;
  stbi_uc* rgba = stbi_load(one.c_str(), &w, &h, &n, 4);
  ASSERT_NE(rgba, nullptr);
  EXPECT_EQ(w, static_cast<int>(columns.size()));
  EXPECT_EQ(n, 4);
  stbi_image_free(rgba);
}

TEST_F(ExportTest, CutFilesGiveTheirWholePingsAndUnreadableOnesNothing) {
  const std::string file = Record("cut.ZEP", {{0, Gll("091500")}, {1, Gll("091510")}});
  std::filesystem::resize_file(file, std::filesystem::file_size(file) - 10);
  const std::string missing = tmp.File("none.ZEP"), out = tmp.File("out.txt");
  struct Case {
    std::vector<std::string> args;
    int status;
    std::size_t lines;  // of the output
  };
  const Case cases[] = {
      {{"pings", file, "-o", out}, 1, 2},
      {{"track", file, "--format", "csv", "-o", out}, 1, 2},
      {{"echogram", file, "-o", tmp.File("cut.png")}, 1, 2},
      {{"pings", missing, "-o", out}, 2, 0},
      {{"track", missing, "--format", "gpx", "-o", out}, 2, 0},
      {{"echogram", missing, "-o", out}, 2, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.args[1]);
    std::filesystem::remove(out);
    const auto run = RunZepconv(c.args);
    EXPECT_EQ(run.status, c.status);
    EXPECT_NE(run.err.find(c.status == 1 ? "is not whole" : "none.ZEP"), std::string::npos) << run.err;
    const std::string written = c.args[0] == "echogram" && c.status == 1 ? tmp.File("cut.csv") : out;
    EXPECT_EQ(Lines(std::filesystem::exists(written) ? ReadText(written) : "").size(), c.lines);
  }
  // Output never overwrites what is being read.
  const auto before = test::ReadWholeFile(file);
  EXPECT_EQ(RunZepconv({"pings", file, "-o", file}).status, 2);
  EXPECT_EQ(test::ReadWholeFile(file), before);
}

}  // namespace
}  // namespace zep
