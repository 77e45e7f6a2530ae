// The viewer's data scripts as the page reads them: columns for pings and
// for missing ones (a long run drawn capped, its true count kept), the
// levels of halvings, and nothing in a script that could end one.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "convert/record_file.h"
#include "export/viewer_data.h"
#include "tests/support/temp_dir.h"

namespace zep {
namespace {

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// A record file of mode 0 pings (640 samples) with these indexes, back to back.
void WriteRecord(const std::string& path, const std::vector<std::uint32_t>& indexes) {
  std::vector<std::uint8_t> bytes(kFileHeaderSize, 0);
  for (std::uint32_t index : indexes) {
    std::vector<std::uint8_t> ping(kPingHeaderSize + 640, static_cast<std::uint8_t>(index));
    std::fill_n(ping.begin(), kPingHeaderSize, 0);
    std::copy_n(kPingMagic, 4, ping.begin());
    PutU16(&ping[ping::kSampleCount], 640);
    PutU32(&ping[ping::kPingIndex], index);
    PutU16(&ping[ping::kYear], 0x2008);
    ping[ping::kMonth] = 0x11, ping[ping::kDay] = 0x05;
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
    for (const auto& f : std::filesystem::directory_iterator(dir.File("R-viewer"))) {
      EXPECT_EQ(Slurp(f.path().string()).find_first_of("<>"), std::string::npos) << c.what << ": " << f.path();
    }
    EXPECT_EQ(Slurp(dir.File("R-viewer.html")).find("<i>"), std::string::npos) << c.what;
  }
}

TEST(ViewerData, Base64AsRfc4648) {
  const std::pair<std::string, std::string> cases[] = {{"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},
                                                       {"foo", "Zm9v"}, {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="},
                                                       {"\xff\xfe", "//4="}};
  for (const auto& [in, out] : cases) {
    EXPECT_EQ(Base64(reinterpret_cast<const std::uint8_t*>(in.data()), in.size()), out) << in;
  }
}

}  // namespace
}  // namespace zep
