// zepconv as the tools its users know behave: errors under one prefix that
// name the file, exit 2 where nothing was done, help and version, a failed
// write to stdout reported, ISO dates in the list, one JSON object for the
// commands that write files, and the generated bash completion.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "tests/cli_run.h"
#include "tests/support/disc_image.h"
#include "tests/support/temp_dir.h"
#include "zep_version.h"

namespace zep {
namespace {

using json = nlohmann::json;
namespace fs = std::filesystem;
using test::RunZepconv;

bool StartsWith(const std::string& text, const std::string& head) { return text.rfind(head, 0) == 0; }

class CliConventionsTest : public ::testing::Test {
 protected:
  std::string Disc() {
    test::DiscImage img(SourceType::Tk40);
    img.Entry(0, {.name = "A", .first = 0, .second = 2});
    img.Block(0, test::Tk40Block().Samples(0)).Block(1, test::Tk40Block().Samples(1));
    const std::string path = tmp_.File("disc.img");
    img.WriteFile(path);
    return path;
  }
  test::TempDir tmp_;
};

// The first line of stderr, exactly; the try-help line follows parser errors.
TEST_F(CliConventionsTest, ErrorsHaveOnePrefixNameTheFileAndRefuseWithTwo) {
  const std::string img = Disc(), dir = tmp_.path().string(), file = tmp_.File("plain");
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

TEST_F(CliConventionsTest, HelpCommandAndVersionAnswerOnStdout) {
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
TEST_F(CliConventionsTest, ListJsonAddsIsoDatesBesideTheShownCells) {
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
  test::DiscImage img(SourceType::Tk40);
  int slot = 0;
  for (const auto& c : cases) img.Entry(slot++, c.entry);
  const std::string path = tmp_.File("dates.img");
  img.WriteFile(path);
  const auto run = RunZepconv({"list", path, "--json"});
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
TEST_F(CliConventionsTest, WritingCommandsGiveOneJsonObject) {
  test::DiscImage img(SourceType::Tk40);
  img.Entry(0, {.name = "GOOD", .first = 0, .second = 1}).Entry(1, {.name = "LONG", .first = 0, .second = 9});
  img.Block(0, test::Tk40Block().Samples(0));
  const std::string disc = tmp_.File("j.img"), out = tmp_.File("out");
  img.WriteFile(disc);
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
      {{"split", tmp_.File("none"), "--out", out, "--json"}, 2, json::array(), tmp_.File("none") + ": "},
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

TEST_F(CliConventionsTest, AFailedWriteToStdoutIsAnError) {
  const std::string err = tmp_.File("err");
  for (const std::string& args : {"list " + Disc(), "info --json " + tmp_.File("none")}) {
    SCOPED_TRACE(args);
    EXPECT_GE(Shell(std::string(ZEPCONV_PATH) + " " + args + " >/dev/full 2>" + err), 1);
    std::ifstream in(err);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_NE(text.find("zepconv: standard output: No space left on device"), std::string::npos) << text;
  }
  EXPECT_EQ(Shell(std::string(ZEPCONV_PATH) + " list " + Disc() + " >/dev/full 2>/dev/null"), 1);
}

TEST_F(CliConventionsTest, BashCompletionKnowsCommandsOptionsAndChoices) {
  const std::string script = tmp_.File("completion");
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
    const std::string reply = tmp_.File("reply");
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

}  // namespace
}  // namespace zep
