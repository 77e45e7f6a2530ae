// "Convert Records to ZEP" end to end: the folder browser, the files the run
// writes (compared with the core's own output), the status text and the
// progress bar protocol, the run's error box; and Help > "Contents".

#include <filesystem>

#include "convert/convert.h"
#include "res/resource.h"
#include "tests/support/temp_dir.h"
#include "tests/ui_harness.h"
#include "ui/shell_state.h"

namespace zep::uitest {
namespace {

namespace fs = std::filesystem;
using test::DiscImage;
using test::ReadWholeFile;
using test::TempDir;
using test::Tk40Block;
using ui::g_shell;

class ConversionTest : public MainWindowTest {
 public:
  // Converts the selected rows into folder, answering the folder browser.
  // Returns every dialog the run showed after the browser.
  std::vector<SeenDialog> Convert(const std::string& folder) {
    DialogScript script;
    script.Then(ChooseFolder(folder));
    Command(IDM_CONVERT);
    std::vector<SeenDialog> seen = script.seen();
    EXPECT_GE(seen.size(), 1u);
    if (!seen.empty()) seen.erase(seen.begin());
    return seen;
  }

  // What the core writes for a slot of the mapped image, and what it tells
  // the progress bar meanwhile.
  std::vector<std::uint8_t> CoreOutput(int slot, std::vector<LoggedMessage>* progress = nullptr) {
    const std::string path = scratch.File("core-" + std::to_string(slot));
    Progress log;
    if (progress) {
      log.setRange = [progress](std::uint16_t max) { progress->push_back({PBM_SETRANGE, 0, MAKELPARAM(0, max), {}}); };
      log.setPos = [progress](std::int32_t pos) { progress->push_back({PBM_SETPOS, static_cast<WPARAM>(pos), 0, {}}); };
    }
    const auto convert = g_shell.sourceType == SourceType::Tk40 ? ConvertTk40Record : CopyZepRecord;
    convert(path, g_shell.directory, slot, VolumeAt(kDriveImagePath), log);
    return ReadWholeFile(path);
  }

  TempDir out;
  TempDir scratch;
};

// TK40 blocks with distinct samples, and their packed GPS text now and then.
void AddBlocks(DiscImage& image, int first, int count) {
  for (int b = first; b < first + count; ++b) {
    Tk40Block block;
    block.Samples(static_cast<std::uint32_t>(b)).ModeCode(static_cast<std::uint8_t>(b % 3));
    if (b % 2 == 0) block.Text("$GPGGA,1234");
    image.Block(b, block);
  }
}

DiscImage SlotsZeroAndThree() {
  DiscImage image(SourceType::Tk40);
  image.Entry(0, {.name = "SURVEY1", .first = 0, .second = 3}).Entry(3, {.name = "RUN.2", .first = 3, .second = 5});
  AddBlocks(image, 0, 5);
  return image;
}

std::vector<std::string> FilesIn(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST_F(ConversionTest, SelectedRowsBecomeFilesEqualToTheCoresWithStatusTextAndProgress) {
  ScanImage(SlotsZeroAndThree());
  SelectRows({1, 0});
  std::vector<LoggedMessage> status, progress;
  {
    MessageLog statusLog(g_shell.statusBar, {SB_SETTEXTA});
    MessageLog progressLog(g_shell.progressBar, {PBM_SETRANGE, PBM_SETPOS});
    EXPECT_TRUE(Convert(out.path().string()).empty()) << "a run that succeeds is silent";
    status = statusLog.messages();
    progress = progressLog.messages();
  }
  EXPECT_EQ(FilesIn(out.path()), (std::vector<std::string>{"RUN.2", "SURVEY1.ZEP"}));

  // Row 0 first, then row 1 (slot 3); the bar is reset after each record.
  std::vector<LoggedMessage> expectedProgress;
  EXPECT_EQ(ReadWholeFile(out.File("SURVEY1.ZEP")), CoreOutput(0, &expectedProgress));
  expectedProgress.push_back({PBM_SETPOS, 0, 0, {}});
  EXPECT_EQ(ReadWholeFile(out.File("RUN.2")), CoreOutput(3, &expectedProgress));
  expectedProgress.push_back({PBM_SETPOS, 0, 0, {}});
  ASSERT_EQ(progress.size(), expectedProgress.size());
  for (std::size_t i = 0; i < progress.size(); ++i) {
    EXPECT_EQ(progress[i].message, expectedProgress[i].message) << i;
    EXPECT_EQ(progress[i].wParam, expectedProgress[i].wParam) << i;
    EXPECT_EQ(progress[i].lParam, expectedProgress[i].lParam) << i;
  }
  EXPECT_EQ(progress[0].lParam, MAKELPARAM(0, 3));

  ASSERT_EQ(status.size(), 4u);
  EXPECT_EQ(status[0].text, "Converting...SURVEY1");
  EXPECT_EQ(status[0].wParam, 0u);  // part 0, default drawing
  EXPECT_EQ(status[1].text, "");
  EXPECT_EQ(status[2].text, "Converting...RUN.2");
  EXPECT_EQ(status[3].text, "");
  EXPECT_EQ(StatusText(), "");
  EXPECT_EQ(ProgressPos(), 0);
  EXPECT_EQ(ProgressRange().iHigh, 2);  // the last record's two pings
}

TEST_F(ConversionTest, RowIsConvertedThroughTheSlotItCarries) {
  ScanImage(SlotsZeroAndThree());
  SelectRows({1});
  EXPECT_TRUE(Convert(out.path().string()).empty());
  EXPECT_EQ(FilesIn(out.path()), std::vector<std::string>{"RUN.2"});
  EXPECT_EQ(ReadWholeFile(out.File("RUN.2")), CoreOutput(3));
}

TEST_F(ConversionTest, ZepDiscSectorsAreCopiedAsTheCoreCopiesThem) {
  DiscImage image(SourceType::ZepV1);
  std::vector<std::uint8_t> sectors;
  for (std::uint32_t ping = 0; ping < 5; ++ping) {
    const auto record = test::MakePingRecord(700, ping);
    sectors.insert(sectors.end(), record.begin(), record.end());
  }
  sectors.resize((sectors.size() + 2047) / 2048 * 2048);
  image.Bytes(4 * 2048, sectors).Entry(1, {.name = "LINE7", .first = 4, .second = static_cast<std::int32_t>(sectors.size() / 2048)});
  Command(IDM_SOURCE_ZEPV1);
  ScanImage(image);
  SelectRows({0});
  EXPECT_TRUE(Convert(out.path().string()).empty());
  ASSERT_EQ(FilesIn(out.path()), std::vector<std::string>{"LINE7.ZEP"});
  EXPECT_EQ(ReadWholeFile(out.File("LINE7.ZEP")), CoreOutput(1));
}

TEST_F(ConversionTest, CancelledFolderBrowserConvertsNothing) {
  ScanImage(SlotsZeroAndThree());
  SelectRows({0, 1});
  MessageLog statusLog(g_shell.statusBar, {SB_SETTEXTA});
  DialogScript script;
  script.Then(Press(IDCANCEL));
  Command(IDM_CONVERT);
  ASSERT_EQ(script.seen().size(), 1u) << "the browser and nothing after it";
  EXPECT_TRUE(statusLog.messages().empty());
  EXPECT_FALSE(fs::exists("C:\\SURVEY1.ZEP"));
  EXPECT_FALSE(fs::exists("SURVEY1.ZEP"));
}

TEST_F(ConversionTest, SelectionOfAnEarlierListConvertsNothingAfterARescan) {
  ScanImage(SlotsZeroAndThree());
  SelectRows({1});
  ScanImage(SlotsZeroAndThree());
  MessageLog statusLog(g_shell.statusBar, {SB_SETTEXTA});
  EXPECT_TRUE(Convert(out.path().string()).empty());
  EXPECT_TRUE(FilesIn(out.path()).empty());
  EXPECT_TRUE(statusLog.messages().empty());
}

// Names come off the disc: the file stays in the chosen folder and is no
// device, whatever the name holds; the list shows the name as read.
TEST_F(ConversionTest, UnsafeRecordNamesGiveSafeFileNamesInsideTheFolder) {
  struct Case {
    const char* name;
    const char* file;
  };
  const Case cases[] = {
      {"..\\..\\EVIL", ".._.._EVIL"},  // the last '.' starts an extension: none added
      {"..", "__.ZEP"},
      {"CON", "_CON.ZEP"},
      {"com1.txt", "_com1.txt"},
      {"A:B*C?", "A_B_C_.ZEP"},
      {"X\x01Y", "X_Y.ZEP"},
  };
  DiscImage image(SourceType::Tk40);
  for (int slot = 0; slot < static_cast<int>(std::size(cases)); ++slot) {
    image.Entry(slot, {.name = cases[slot].name, .first = 0, .second = 1});
  }
  AddBlocks(image, 0, 1);
  ScanImage(image);
  std::vector<std::string> expected;
  for (int row = 0; row < static_cast<int>(std::size(cases)); ++row) {
    EXPECT_EQ(Cell(row, 1), cases[row].name);
    SelectRows({row});
    expected.push_back(cases[row].file);
  }
  const fs::path folder = out.path() / "inner";
  fs::create_directory(folder);
  EXPECT_TRUE(Convert(folder.string()).empty());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(FilesIn(folder), expected);
  EXPECT_EQ(FilesIn(out.path()), std::vector<std::string>{"inner"});
  for (const Case& c : cases) EXPECT_EQ(ReadWholeFile((folder / c.file).string()), CoreOutput(0)) << c.file;
}

TEST_F(ConversionTest, SameNameTwiceGetsTheRecordNumberAndAnOldFileIsReplaced) {
  DiscImage image(SourceType::Tk40);
  image.Entry(2, {.name = "SURVEY", .first = 0, .second = 2}).Entry(7, {.name = "survey", .first = 2, .second = 3});
  AddBlocks(image, 0, 3);
  ScanImage(image);
  SelectRows({0, 1});
  { std::ofstream(out.File("SURVEY.ZEP")) << "from an earlier run"; }
  EXPECT_TRUE(Convert(out.path().string()).empty());
  EXPECT_EQ(FilesIn(out.path()), (std::vector<std::string>{"SURVEY.ZEP", "survey_8.ZEP"}));
  EXPECT_EQ(ReadWholeFile(out.File("SURVEY.ZEP")), CoreOutput(2));
  EXPECT_EQ(ReadWholeFile(out.File("survey_8.ZEP")), CoreOutput(7));
}

TEST_F(ConversionTest, FailedAndIncompleteRecordsAreListedInOneErrorBoxAfterTheRun) {
  DiscImage image(SourceType::Tk40);
  image.Entry(0, {.name = "GOOD", .first = 0, .second = 2})
      .Entry(1, {.name = "BLOCKED", .first = 0, .second = 2})
      .Entry(2, {.name = "SHORT", .first = 1, .second = 4});  // blocks 2 and 3 lie past the end
  AddBlocks(image, 0, 2);
  ScanImage(image);
  SelectRows({0, 1, 2});
  fs::create_directory(out.path() / "BLOCKED.ZEP");  // no file can be created under that name
  const std::vector<SeenDialog> boxes = Convert(out.path().string());
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].title, "Error");
  const std::string& text = boxes[0].text;
  EXPECT_EQ(text.rfind("2 records were not converted completely:\n\n", 0), 0u) << text;
  EXPECT_NE(text.find("Record 2 (BLOCKED): not converted: "), std::string::npos) << text;
  EXPECT_NE(text.find("Record 3 (SHORT): incomplete: "), std::string::npos) << text;
  EXPECT_EQ(text.find("GOOD"), std::string::npos) << text;
  EXPECT_EQ(ReadWholeFile(out.File("GOOD.ZEP")), CoreOutput(0));
  EXPECT_EQ(ReadWholeFile(out.File("SHORT.ZEP")), CoreOutput(2));
}

TEST_F(ConversionTest, OutputPathTooLongToFormIsReportedAndNothingIsWritten) {
  DiscImage image(SourceType::Tk40);
  image.Entry(0, {.name = "ABCDEFGHIJK", .first = 0, .second = 1});
  AddBlocks(image, 0, 1);
  ScanImage(image);
  SelectRows({0});
  // A folder of 246 characters: with "\ABCDEFGHIJK.ZEP" the path has 262.
  const std::string base = out.path().string() + "\\";
  const fs::path folder = base + std::string(246 - base.size(), 'd');
  ASSERT_TRUE(fs::create_directory(folder));
  const std::vector<SeenDialog> boxes = Convert(folder.string());
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "1 record was not converted completely:\n\nRecord 1 (ABCDEFGHIJK): not converted: the output path " +
                               folder.string() + "\\ABCDEFGHIJK.ZEP is longer than 259 characters");
  EXPECT_TRUE(FilesIn(folder).empty());
}

class ContentsTest : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    std::vector<std::uint8_t> dump;
    for (std::uint32_t ping = 0; ping < 3; ++ping) {
      const auto record = test::MakePingRecord(500, ping);
      dump.insert(dump.end(), record.begin(), record.end());
    }
    dump.resize(5 * 4096);
    std::ofstream("C:\\test.bin", std::ios::binary).write(reinterpret_cast<const char*>(dump.data()), dump.size());
    fs::remove_all("C:\\fond0.zep");
  }
  void TearDown() override {
    fs::remove_all("C:\\fond0.zep");
    MainWindowTest::TearDown();
  }
  TempDir scratch;
};

TEST_F(ContentsTest, SplitsTheScanDumpSilently) {
  DialogScript script;
  Command(IDM_CONTENTS);
  EXPECT_TRUE(script.seen().empty());
  SplitScanDump("C:\\test.bin", scratch.File("core%i.zep"));
  EXPECT_EQ(ReadWholeFile("C:\\fond0.zep"), ReadWholeFile(scratch.File("core0.zep")));
}

TEST_F(ContentsTest, OutputThatCannotBeWrittenIsReportedInOneErrorBox) {
  fs::create_directory("C:\\fond0.zep");
  DialogScript script;
  Command(IDM_CONTENTS);
  ASSERT_EQ(script.seen().size(), 1u);
  EXPECT_EQ(script.seen()[0].title, "Error");
  EXPECT_EQ(script.seen()[0].text.rfind(
                "Not every run of pings found in the scan dump could be written:\n\nC:\\fond0.zep: ", 0),
            0u)
      << script.seen()[0].text;
}

}  // namespace
}  // namespace zep::uitest
