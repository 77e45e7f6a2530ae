// "Convert Records to ZEP" end to end: the folder browser, the files the run
// writes (compared with the core's own output), the status text and the
// progress bar protocol, the run's error box; and Help > "Contents".

#include <algorithm>
#include <filesystem>

#include "convert/convert.h"
#include "res/resource.h"
#include "tests/support/temp_dir.h"
#include "tests/ui_harness.h"
#include "ui/commands.h"
#include "ui/run_texts.h"
#include "ui/shell_state.h"

namespace zep::uitest {
namespace {

namespace fs = std::filesystem;
using test::DiscImage;
using test::ReadWholeFile;
using ui::g_shell;
using Names = std::vector<std::string>;

class ConversionTest : public MainWindowTest {
 public:
  // Converts the selected rows into folder, answering the folder browser.
  // Returns every dialog the run showed, the browser first.
  std::vector<SeenDialog> Convert(const std::string& folder) {
    DialogScript script({ChooseFolder(folder)});
    Command(IDM_CONVERT);
    return script.seen();
  }

  // What the core writes for a slot of the mapped image; what it tells the
  // progress bar meanwhile goes on at the end of coreLog.
  std::vector<std::uint8_t> CoreOutput(int slot) {
    const std::string path = scratch.File("core-" + std::to_string(slot));
    const Progress log{
        .setRange = [this](std::uint16_t max) { coreLog.push_back({PBM_SETRANGE, 0, MAKELPARAM(0, max), ""}); },
        .setPos = [this](std::int32_t pos) { coreLog.push_back({PBM_SETPOS, static_cast<WPARAM>(pos), 0, ""}); }};
    const auto convert = g_shell.sourceType == SourceType::Tk40 ? ConvertTk40Record : CopyZepRecord;
    convert(path, g_shell.directory, slot, VolumeAt(kDriveImagePath), log);
    return ReadWholeFile(path);
  }

  std::vector<LoggedMessage> coreLog;
  test::TempDir out, scratch;
};

// TK40 blocks with distinct samples, and their packed GPS text now and then.
void AddBlocks(DiscImage& image, int count) {
  for (int b = 0; b < count; ++b) {
    test::Tk40Block block;
    block.Samples(static_cast<std::uint32_t>(b)).ModeCode(static_cast<std::uint8_t>(b % 3));
    if (b % 2 == 0) block.Text("$GPGGA,1234");
    image.Block(b, block);
  }
}

DiscImage SlotsZeroAndThree() {
  DiscImage image(SourceType::Tk40);
  image.Entry(0, {.name = "SURVEY1", .first = 0, .second = 3}).Entry(3, {.name = "RUN.2", .first = 3, .second = 5});
  AddBlocks(image, 5);
  return image;
}

// Ping records one after another, padded to size bytes.
std::vector<std::uint8_t> Pings(std::uint16_t samples, std::uint32_t count, std::size_t size) {
  std::vector<std::uint8_t> bytes;
  for (std::uint32_t ping = 0; ping < count; ++ping) {
    const auto record = test::MakePingRecord(samples, ping);
    bytes.insert(bytes.end(), record.begin(), record.end());
  }
  bytes.resize(size);
  return bytes;
}

Names FilesIn(const fs::path& folder) {
  Names names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST_F(ConversionTest, SelectedRowsBecomeFilesEqualToTheCoresWithStatusTextAndProgress) {
  ScanImage(SlotsZeroAndThree());
  SelectRows({1, 0});
  RunLog run;
  EXPECT_EQ(Convert(out.path().string()).size(), 1u) << "a run that succeeds shows only the browser";
  EXPECT_EQ(FilesIn(out.path()), (Names{"RUN.2", "SURVEY1.ZEP"}));

  // Row 0 first, then row 1 through the slot it carries; the bar is reset
  // after each record.
  const auto text = [](const char* text) { return LoggedMessage{SB_SETTEXTA, 0, 0, text}; };
  const LoggedMessage reset{PBM_SETPOS, 0, 0, ""};
  coreLog = {text("Converting...SURVEY1")};
  EXPECT_EQ(ReadWholeFile(out.File("SURVEY1.ZEP")), CoreOutput(0));
  coreLog.insert(coreLog.end(), {text(""), reset, text("Converting...RUN.2")});
  EXPECT_EQ(ReadWholeFile(out.File("RUN.2")), CoreOutput(3));
  coreLog.insert(coreLog.end(), {text(""), reset});
  EXPECT_EQ(run.log, coreLog);
  ASSERT_GT(run.log.size(), 1u);
  EXPECT_EQ(run.log[1], (LoggedMessage{PBM_SETRANGE, 0, MAKELPARAM(0, 3), ""}));
}

TEST_F(ConversionTest, ZepDiscSectorsAreCopiedAsTheCoreCopiesThem) {
  DiscImage image(SourceType::ZepV1);
  image.Bytes(4 * 2048, Pings(700, 5, 3 * 2048)).Entry(1, {.name = "LINE7", .first = 4, .second = 3});
  Command(IDM_SOURCE_ZEPV1);
  ScanImage(image);
  SelectRows({0});
  EXPECT_EQ(Convert(out.path().string()).size(), 1u);
  ASSERT_EQ(FilesIn(out.path()), Names{"LINE7.ZEP"});
  EXPECT_EQ(ReadWholeFile(out.File("LINE7.ZEP")), CoreOutput(1));
}

// A cancelled browser leaves nowhere safe to write; after a rescan the list
// does not always report its clearing, and flags of the earlier rows must
// not survive it.
TEST_F(ConversionTest, CancelledBrowserAndSelectionOfAnEarlierListConvertNothing) {
  struct Case {
    const char* how;
    std::function<void()> rescan;
    bool chooseFolder;
  };
  const Case cases[] = {
      {"browser cancelled", nullptr, false},
      {"same disc again", [this] { ScanImage(SlotsZeroAndThree()); }, true},
      {"no disk", [this] { DialogScript box; ui::ScanDriveIntoList(window, kMissingDrive); }, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.how);
    ScanImage(SlotsZeroAndThree());
    SelectRows({0, 1});
    if (c.rescan) {
      c.rescan();
      EXPECT_EQ(g_shell.selection, ui::SelectionTable{});
      EXPECT_TRUE(MenuItemState(IDM_CONVERT) & MF_GRAYED);
    }
    RunLog run;
    DialogScript script(c.chooseFolder ? std::vector{ChooseFolder(out.path().string())} : std::vector<DialogAction>{});
    Command(IDM_CONVERT);
    EXPECT_EQ(script.seen().size(), 1u) << "the browser and nothing after it";
    EXPECT_TRUE(run.log.empty());
    EXPECT_TRUE(FilesIn(out.path()).empty());
    EXPECT_FALSE(fs::exists("C:\\SURVEY1.ZEP") || fs::exists("SURVEY1.ZEP"));
  }
}

// Names come off the disc: the file stays in the chosen folder and is no
// device, whatever the name holds; a name met twice gets the record number;
// the list shows the name as read.
TEST_F(ConversionTest, RecordNamesGiveSafeDistinctFileNamesInsideTheFolder) {
  struct Case {
    int slot, block;
    const char* name;
    const char* file;
  };
  const Case cases[] = {
      {0, 0, "..\\..\\EVIL", ".._.._EVIL"},  // the last '.' starts an extension: none added
      {1, 0, "CON", "_CON.ZEP"},
      {2, 0, "A:B*C?", "A_B_C_.ZEP"},
      {3, 0, "SURVEY", "SURVEY.ZEP"},  // replaces the file of an earlier run
      {7, 1, "survey", "survey_8.ZEP"},
  };
  DiscImage image(SourceType::Tk40);
  for (const Case& c : cases) image.Entry(c.slot, {.name = c.name, .first = c.block, .second = c.block + 1});
  AddBlocks(image, 2);
  ScanImage(image);
  const fs::path folder = out.path() / "inner";
  fs::create_directory(folder);
  { std::ofstream(folder / "SURVEY.ZEP") << "from an earlier run"; }
  Names expected;
  for (int row = 0; row < static_cast<int>(std::size(cases)); ++row) {
    EXPECT_EQ(Cell(row, 1), cases[row].name);
    SelectRows({row});
    expected.push_back(cases[row].file);
  }
  EXPECT_EQ(Convert(folder.string()).size(), 1u);
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(FilesIn(folder), expected);
  EXPECT_EQ(FilesIn(out.path()), Names{"inner"});
  for (const Case& c : cases) EXPECT_EQ(ReadWholeFile((folder / c.file).string()), CoreOutput(c.slot)) << c.file;
}

TEST_F(ConversionTest, FailedIncompleteAndUnformablePathsAreListedInOneErrorBoxAfterTheRun) {
  DiscImage image(SourceType::Tk40);
  image.Entry(0, {.name = "GOOD", .first = 0, .second = 2})
      .Entry(1, {.name = "BLOCKED", .first = 0, .second = 2})
      .Entry(2, {.name = "SHORT", .first = 1, .second = 4})  // blocks 2 and 3 lie past the end
      .Entry(3, {.name = "ABCDEFGH", .first = 0, .second = 1})
      .Entry(4, {.name = "ABCDEFGHI", .first = 0, .second = 1});
  AddBlocks(image, 2);
  ScanImage(image);
  SelectRows({0, 1, 2, 3, 4});
  // A folder of 246 characters: 259 with "\ABCDEFGH.ZEP", the longest path
  // there is room for, and 260 with "\ABCDEFGHI.ZEP".
  const std::string base = out.path().string() + "\\";
  const std::string folder = base + std::string(246 - base.size(), 'd');
  ASSERT_TRUE(fs::create_directory(folder));
  fs::create_directory(folder + "\\BLOCKED.ZEP");  // no file can be created under that name
  const std::vector<SeenDialog> boxes = Convert(folder);
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[1].title, "Error");
  const std::string& text = boxes[1].text;
  EXPECT_TRUE(text.starts_with("3 records were not converted completely:\n\nRecord 2 (BLOCKED): not converted: ")) << text;
  EXPECT_NE(text.find("\nRecord 3 (SHORT): incomplete: "), std::string::npos) << text;
  EXPECT_TRUE(text.ends_with("\nRecord 5 (ABCDEFGHI): not converted: the output path " + folder +
                             "\\ABCDEFGHI.ZEP is longer than 259 characters")) << text;
  EXPECT_EQ(FilesIn(folder), (Names{"ABCDEFGH.ZEP", "BLOCKED.ZEP", "GOOD.ZEP", "SHORT.ZEP"}));
  EXPECT_EQ(ReadWholeFile(folder + "\\GOOD.ZEP"), CoreOutput(0));
  EXPECT_EQ(ReadWholeFile(folder + "\\SHORT.ZEP"), CoreOutput(2));
  EXPECT_EQ(ReadWholeFile(folder + "\\ABCDEFGH.ZEP"), CoreOutput(3));
}

// A message box taller than the screen hides its OK button.
TEST(RunTexts, FailureBoxListsAtMostSixteenRecords) {
  const std::vector<ui::RecordFailure> many(20, ui::RecordFailure{.recordNumber = 1, .name = "X", .reason = "r"});
  const std::string text = ui::ConversionFailureText(many);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1 + 16 + 1);
  EXPECT_TRUE(text.ends_with("\n... and 4 more records")) << text;
}

// Help > Contents splits the last scan's dump into C:\fond0.zep, ...
TEST_F(ConversionTest, ContentsSplitsTheScanDumpAndReportsOutputThatCannotBeWritten) {
  const std::vector<std::uint8_t> dump = Pings(500, 3, 5 * 4096);
  std::ofstream("C:\\test.bin", std::ios::binary).write(reinterpret_cast<const char*>(dump.data()), dump.size());
  fs::remove_all("C:\\fond0.zep");
  {
    DialogScript script;
    Command(IDM_CONTENTS);
    EXPECT_TRUE(script.seen().empty()) << "a split that succeeds is silent";
  }
  SplitScanDump("C:\\test.bin", scratch.File("core%i.zep"));
  EXPECT_EQ(ReadWholeFile("C:\\fond0.zep"), ReadWholeFile(scratch.File("core0.zep")));

  fs::remove("C:\\fond0.zep");
  fs::create_directory("C:\\fond0.zep");
  DialogScript script;
  Command(IDM_CONTENTS);
  fs::remove_all("C:\\fond0.zep");
  ASSERT_EQ(script.seen().size(), 1u);
  EXPECT_EQ(script.seen()[0].title, "Error");
  EXPECT_TRUE(script.seen()[0].text.starts_with(
      "Not every run of pings found in the scan dump could be written:\n\nC:\\fond0.zep: "))
      << script.seen()[0].text;
}

}  // namespace
}  // namespace zep::uitest
