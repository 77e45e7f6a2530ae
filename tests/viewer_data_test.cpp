// The viewer's data scripts as the page reads them: columns for pings and
// for missing ones (a long run drawn capped, its true count kept), the
// levels of halvings, and nothing in a script that could end one.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <tuple>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "convert/record_file.h"
#include "export/ping_place.h"
#include "export/text_output.h"
#include "export/viewer_data.h"
#include "export/viewer_parts.h"
#include "tests/support/disc_image.h"
#include "tests/support/temp_dir.h"

namespace zep {
namespace {

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Bytes as the page reads them from a data script's string: top bit flipped.
std::string Flipped(std::string_view bytes) {
  std::string out(bytes);
  for (char& c : out) c = static_cast<char>(c ^ 0x80);
  return out;
}

// The values of a chunk that is only zepViewerChunk(numbers, "bytes", "", numbers, [numbers]);
std::optional<std::string> ChunkValues(const std::string& text) {
  const std::size_t open = text.find(",\"");
  if (!text.starts_with("zepViewerChunk(") || text.find_first_not_of("0123456789,", 15) != open + 1) return {};
  std::string out;
  std::size_t at = open + 2;
  for (; at < text.size() && text[at] != '"' && text[at] != '\n' && text[at] != '\r'; ++at) {
    const bool escape = text[at] == '\\';
    if (escape && std::string_view("\"\\nr").find(text[++at]) == std::string_view::npos) return {};
    out += !escape ? text[at] : text[at] == 'n' ? '\n' : text[at] == 'r' ? '\r' : text[at];
  }
  if (text.compare(at, 5, "\",\"\",") != 0 || !text.ends_with("]);\n") ||
      text.find_first_not_of("0123456789,[]", at + 5) != text.size() - 3) {
    return {};
  }
  return Flipped(out);
}

using GpsTexts = std::function<std::string(std::size_t)>;

// A record file of mode 0 pings (640 samples) with these indexes, back to
// back. The i-th ping's GPS text is text(i), or the one before where that
// is empty, as the recorders carry it on.
void WriteRecord(const std::string& path, const std::vector<std::uint32_t>& indexes, const GpsTexts& text = {}) {
  std::vector<std::uint8_t> bytes(kFileHeaderSize, 0);
  std::string last;
  for (std::size_t i = 0; i < indexes.size(); ++i) {
    const std::uint32_t index = indexes[i];
    std::vector<std::uint8_t> ping(kPingHeaderSize + 640, static_cast<std::uint8_t>(index));
    std::fill_n(ping.begin(), kPingHeaderSize, 0);
    std::copy_n(kPingMagic, 4, ping.begin());
    PutU16(&ping[ping::kSampleCount], 640);
    PutU32(&ping[ping::kPingIndex], index);
    PutU16(&ping[ping::kYear], 0x2008);
    ping[ping::kMonth] = 0x11, ping[ping::kDay] = 0x05;
    if (const std::string t = text ? text(i) : ""; !t.empty()) last = t;
    std::copy(last.begin(), last.end(), ping.begin() + ping::kGpsText);
    if (!last.empty()) ping[ping::kGpsText + last.size()] = 0x0D;
    bytes.insert(bytes.end(), ping.begin(), ping.end());
  }
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
}

TEST(ViewerData, ColumnsGapsAndLevels) {
  struct Case {
    const char* what;
    std::vector<std::uint32_t> indexes;
    int columns;
    nlohmann::json gaps, levels;
  };
  const Case cases[] = {
      {"whole", {0, 1, 2, 3, 4}, 5, nlohmann::json::array(), {{5, 1}, {3, 1}, {2, 1}, {1, 1}}},
      {"one missing", {0, 2}, 3, {{1, 1, 1, 1}}, {{3, 1}, {2, 1}, {1, 1}}},
      {"a run past the cap", {0, 1, 5000}, 3 + kViewerGapColumns, {{2, kViewerGapColumns, 2, 4998}},
       {{1003, 2}, {502, 1}, {251, 1}, {126, 1}, {63, 1}, {32, 1}, {16, 1}, {8, 1}, {4, 1}, {2, 1}, {1, 1}}},
      {"no pings", {}, 0, nlohmann::json::array(), nlohmann::json::array()},
      // Samples of the bytes escaped (LF, CR, ", \ flipped), and of LF, CR, < and >.
      {"escaped bytes", {10, 13, 60, 62, 138, 141, 162, 220}, 211,
       {{1, 2, 11, 2}, {4, 46, 14, 46}, {51, 1, 61, 1}, {53, 75, 63, 75}, {129, 2, 139, 2}, {132, 20, 142, 20},
        {153, 57, 163, 57}},
       {{211, 1}, {106, 1}, {53, 1}, {27, 1}, {14, 1}, {7, 1}, {4, 1}, {2, 1}, {1, 1}}},
  };
  for (const Case& c : cases) {
    test::TempDir dir;
    WriteRecord(dir.File("R.ZEP"), c.indexes);
    const ViewerRequest request{dir.File("R.ZEP"), dir.File("R-viewer.html"), dir.File("R-viewer"), "../zep-viewer/",
                                "<i>Q</i>\"'", "</script>", {}};
    EXPECT_TRUE(WriteViewer(request).empty()) << c.what;
    std::string meta = Slurp(dir.File("R-viewer/meta.js"));
    ASSERT_TRUE(meta.starts_with("zepViewerMeta(") && meta.ends_with(");\n")) << c.what;
    const auto m = nlohmann::json::parse(meta.substr(14, meta.size() - 17));
    EXPECT_EQ(m["columns"], c.columns) << c.what;
    EXPECT_EQ(m["gaps"], c.gaps) << c.what;
    EXPECT_EQ(m["levels"], c.levels) << c.what;
    EXPECT_EQ(m["name"], "<i>Q</i>\"'") << c.what;
    // Chunks hold only data, other scripts no markup; level 0 gives back the samples.
    for (const auto& f : std::filesystem::directory_iterator(dir.File("R-viewer"))) {
      const std::string name = f.path().filename().string(), text = Slurp(f.path().string());
      EXPECT_TRUE(name.starts_with("L") ? ChunkValues(text).has_value() : text.find_first_of("<>") == std::string::npos)
          << c.what << ": " << name;
    }
    std::string values, want;
    for (const std::uint32_t index : c.indexes) want.append(640, static_cast<char>(index));
    for (int k = 0; c.columns > 0 && k < c.levels[0][1].get<int>(); ++k) {
      values += ChunkValues(Slurp(dir.File("R-viewer/L0-" + std::to_string(k) + ".js"))).value_or("?");
    }
    EXPECT_EQ(values, want) << c.what;
    EXPECT_EQ(Slurp(dir.File("R-viewer.html")).find("<i>"), std::string::npos) << c.what;
  }
}

TEST(ViewerData, ByteStringEscapesOnlyWhatEndsALiteral) {
  std::string every, everyWritten;
  for (int v = 0; v < 256; ++v) {
    const char b = static_cast<char>(v ^ 0x80);
    every += static_cast<char>(v);
    everyWritten += b == '"' ? "\\\"" : b == '\\' ? "\\\\" : b == '\n' ? "\\n" : b == '\r' ? "\\r" : std::string(1, b);
  }
  // Escapes on either side of the sixteen-byte blocks the encoder takes.
  const std::string quiet(15, '\x0a'), quietWritten = Flipped(quiet);
  std::vector<std::pair<std::string, std::string>> cases = {
      {"", ""}, {"\n\r\"\\", Flipped("\n\r\"\\")},
      {"\xa2\xdc\x8a\x8d", "\\\"\\\\\\n\\r"},
      {quiet + "\xa2", quietWritten + "\\\""},
      {quiet + "a\x8a" + quiet + "\x8d", quietWritten + "\xe1\\n" + quietWritten + "\\r"},
      {quiet + quiet + "aa\xdc", quietWritten + quietWritten + "\xe1\xe1\\\\"},
      {every + every, everyWritten + everyWritten},
      // The same about the thirty-two-byte blocks.
      {std::string(31, '\x0a') + "\xa2" + std::string(33, '\x0a'),
       Flipped(std::string(31, '\x0a')) + "\\\"" + Flipped(std::string(33, '\x0a'))},
      // Blocks that are all escapes, and the bytes after them.
      {std::string(33, '\x8a') + "a", [] { std::string w; for (int k = 0; k < 33; ++k) w += "\\n"; return w + "\xe1"; }()},
  };
  // Across the encoder's steps: a run of escapes that a step boundary cuts.
  std::string longer(3 * viewer::kByteStringStep + 5, '\x0a');
  for (std::size_t i = viewer::kByteStringStep - 3; i < longer.size(); i += 7) longer[i] = '\xa2';
  const std::string longerWritten = [&] {
    std::string w;
    for (const char c : longer) w += c == '\xa2' ? "\\\"" : "\x8a";
    return w;
  }();
  cases.emplace_back(longer, longerWritten);
  for (const viewer::ByteStringBuild build :
       {viewer::ByteStringBuild::kPortable, viewer::ByteStringBuild::kSsse3, viewer::ByteStringBuild::kAvx512}) {
    if (!viewer::ProcessorRuns(build)) continue;  // the processor has not its instructions
    for (const auto& [in, out] : cases) {
      std::string written = "kept ";
      viewer::AppendByteStringBuilt(build, written, reinterpret_cast<const std::uint8_t*>(in.data()), in.size());
      EXPECT_EQ(written, "kept " + out) << static_cast<int>(build) << ": " << in.substr(0, 80);
    }
  }
  EXPECT_EQ(ByteString(reinterpret_cast<const std::uint8_t*>(longer.data()), longer.size()), longerWritten);
}

TEST(ViewerData, JsonStringsEscapeWhatEndsThemAndMarkupOnlyInScripts) {
  const std::string plain(17, 'a');  // the escapes on either side of the sixteen-byte blocks the scan skips by
  struct Case {
    std::string in, file, script;
  };
  const Case cases[] = {
      {"", "\"\"", "\"\""},
      {plain + "\"" + plain, "\"" + plain + "\\\"" + plain + "\"", "\"" + plain + "\\\"" + plain + "\""},
      {std::string(15, 'a') + "\\\x01\x1f\x7f", "\"" + std::string(15, 'a') + "\\\\\\u0001\\u001f\\u007f\"",
       "\"" + std::string(15, 'a') + "\\\\\\u0001\\u001f\\u007f\""},
      {"</script>&" + plain, "\"</script>&" + plain + "\"", "\"\\u003c/script\\u003e\\u0026" + plain + "\""},
      {plain + "\xc3\xa9 \x20", "\"" + plain + "\xc3\xa9  \"", "\"" + plain + "\xc3\xa9  \""},
  };
  for (const Case& c : cases) {
    std::string file, script;
    AppendJsonString(file, c.in);
    AppendJsonString(script, c.in, /*inScript=*/true);
    EXPECT_EQ(file, c.file) << c.in;
    EXPECT_EQ(script, c.script) << c.in;
    EXPECT_EQ(nlohmann::json::parse(file), c.in) << c.in;
  }
}

std::vector<std::uint32_t> Indexes(std::uint32_t count) {
  std::vector<std::uint32_t> out(count);
  for (std::uint32_t i = 0; i < count; ++i) out[i] = i;
  return out;
}

struct PlaceCase {
  const char* what;
  std::vector<std::uint32_t> indexes;
  GpsTexts text;
  std::set<TimeSource> times;  // what the case is there for
};

const PlaceCase kPlaceCases[] = {
    {"a fix every fourth ping, three pings after the last", Indexes(40),
     [](std::size_t i) { return i % 4 == 0 && i < 37 ? test::Gll(33000 + 2 * int(i), 12.0 + 0.001 * double(i)) : ""; },
     {TimeSource::kFix, TimeSource::kInterpolated, TimeSource::kExtrapolated}},
    {"no fix before the sixth ping", Indexes(30),
     [](std::size_t i) { return i >= 5 && i % 5 == 0 ? test::Gll(33000 + 2 * int(i), 12.0 + 0.001 * double(i)) : ""; },
     {TimeSource::kFix, TimeSource::kInterpolated, TimeSource::kExtrapolated}},
    {"no GPS text", Indexes(20), {}, {TimeSource::kNone}},
    {"two minutes without a fix: a new segment", Indexes(30),
     [](std::size_t i) { return i < 4 || i >= 25 ? test::Gll(33000 + 2 * int(i) + (i >= 25 ? 120 : 0), 12.0 + 0.001 * double(i)) : ""; },
     {TimeSource::kFix, TimeSource::kExtrapolated}},
    {"indexes that jump between fixes", {0, 1, 2, 10, 11, 12, 20, 21, 22, 30, 31, 40},
     [](std::size_t i) { return i % 3 == 0 ? test::Gll(33000 + 2 * int(i), 12.0 + 0.001 * double(i)) : ""; },
     {TimeSource::kFix, TimeSource::kInterpolated, TimeSource::kExtrapolated}},
    {"no fix before the second script of rows", Indexes(kViewerRowPings + 8),
     [](std::size_t i) { return i >= std::size_t(kViewerRowPings) + 2 ? test::Gll(33000 + 2 * int(i % 40000), 12.0) : ""; },
     {TimeSource::kFix, TimeSource::kExtrapolated}},
};

// The viewer's one walk places each ping as the pings command's read ahead does.
TEST(ViewerData, PlacerGivesTheLocatorsPlaces) {
  for (const PlaceCase& c : kPlaceCases) {
    test::TempDir dir;
    const std::string file = dir.File("R.ZEP");
    WriteRecord(file, c.indexes, c.text);
    std::vector<PingPlace> want, got(c.indexes.size());
    std::vector<int> handed(c.indexes.size(), 0);
    PingLocator locator(file);
    PingPlacer placer([&](const PingInfo&, std::uint64_t n, const PingPlace& place) {
      ASSERT_LT(n, got.size()) << c.what;
      got[n] = place, ++handed[n];
    });
    WalkRecordFile(file, [&](const PingInfo& p) {
      want.push_back(locator.Next(p));
      placer.Add(p);
    });
    placer.Finish();
    const auto fields = [](const PingPlace& p) { return std::tie(p.source, p.timeSource, p.timeNs, p.lat, p.lon); };
    std::set<TimeSource> times;
    for (std::size_t n = 0; n < want.size(); ++n) {
      times.insert(want[n].timeSource);
      EXPECT_EQ(handed[n], 1) << c.what << ": ping " << n;
      EXPECT_TRUE(fields(got[n]) == fields(want[n])) << c.what << ": ping " << n;
    }
    EXPECT_EQ(times, c.times) << c.what;
  }
}

// The page takes the rows of ping p from script p / kViewerRowPings, at
// p % kViewerRowPings: a row per ping, in walk order, however late its place
// came and whatever its GPS text holds.
TEST(ViewerData, RowScriptsHoldARowPerPingInOrder) {
  struct Case {
    const char* what;
    std::vector<std::uint32_t> indexes;
    GpsTexts text;
  };
  std::vector<Case> cases;
  for (const PlaceCase& c : kPlaceCases) cases.push_back({c.what, c.indexes, c.text});
  cases.push_back({"a GPS text with a line feed", Indexes(6), [](std::size_t i) {
                     return i == 2 ? "$GPGLL,5412.0000,N,01023.4720,E,091000,A\nx" : "";
                   }});
  for (const Case& c : cases) {
    test::TempDir dir;
    WriteRecord(dir.File("R.ZEP"), c.indexes, c.text);
    const ViewerRequest request{dir.File("R.ZEP"), dir.File("R-viewer.html"), dir.File("R-viewer"), "../zep-viewer/",
                                "R", "disc", {}};
    ASSERT_TRUE(WriteViewer(request).empty()) << c.what;
    std::vector<std::string> rows;
    for (std::size_t k = 0; std::filesystem::exists(dir.File("R-viewer/P-" + std::to_string(k) + ".js")); ++k) {
      const std::string text = Slurp(dir.File("R-viewer/P-" + std::to_string(k) + ".js"));
      const std::string head = "zepViewerRows(" + std::to_string(k) + ",";
      ASSERT_TRUE(text.starts_with(head) && text.ends_with(");\n")) << c.what << ": script " << k;
      const auto got = nlohmann::json::parse(text.substr(head.size(), text.size() - head.size() - 3));
      EXPECT_EQ(got.size(), std::min<std::size_t>(kViewerRowPings, c.indexes.size() - rows.size())) << c.what;
      for (const auto& row : got) rows.push_back(row);
    }
    ASSERT_EQ(rows.size(), c.indexes.size()) << c.what;
    for (std::size_t n = 0; n < rows.size(); ++n) {
      const std::string want = "R.ZEP," + std::to_string(kFileHeaderSize + n * (kPingHeaderSize + 640)) + "," +
                               std::to_string(c.indexes[n]) + ",";
      EXPECT_TRUE(rows[n].starts_with(want)) << c.what << ": row " << n << " is " << rows[n].substr(0, 40);
    }
  }
}

}  // namespace
}  // namespace zep
