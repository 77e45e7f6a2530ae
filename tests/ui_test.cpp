// The Windows program's window and dialogs, driven in the test's own process
// under Wine's null display: the program's start-up makes the main window,
// tests send it what a user's actions send, a WH_CBT hook answers the modal
// dialogs, message boxes and folder browsers it opens. Drives
// (ui_map_drive.sh): M: and N: read kDriveImagePath, M: as a removable (MO)
// drive, N: as a fixed disk. And the program itself as its own process.

#include <windows.h>
#include <commctrl.h>
#include <dlgs.h>
#include <gtest/gtest.h>
#include <shlobj.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <deque>
#include <filesystem>
#include <functional>
#include <set>
#include <thread>

#include "app/startup.h"
#include "disc/scan.h"
#include "operations/disc_words.h"
#include "export/netcdf.h"
#include "res/resource.h"
#include "tests/cli_run.h"
#include "tests/support/disc_image.h"
#include "tests/support/record_check.h"
#include "ui/background_job.h"
#include "ui/check_window.h"
#include "ui/commands.h"
#include "ui/dialogs.h"
#include "ui/inventory_texts.h"
#include "ui/run_texts.h"
#include "ui/shell_state.h"
#include "ui/wide_paths.h"

namespace zep::uitest {
namespace {

inline constexpr const char* kDriveImagePath = "C:\\zep-drive-m.img";

inline std::string WindowText(HWND window) {
  char text[1024] = "";
  GetWindowTextA(window, text, sizeof text);
  return text;
}

// A dialog's static texts but icons, one per line.
inline std::string StaticTexts(HWND dialog) {
  std::string texts;
  EnumChildWindows(dialog, [](HWND child, LPARAM param) -> BOOL {
    char cls[16] = "";
    GetClassNameA(child, cls, sizeof cls);
    const std::string text = WindowText(child);
    if (!_stricmp(cls, "Static") && (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON && !text.empty()) {
      auto* all = reinterpret_cast<std::string*>(param);
      *all += (all->empty() ? "" : "\n") + text;
    }
    return TRUE;
  }, reinterpret_cast<LPARAM>(&texts));
  return texts;
}

struct SeenDialog {
  std::string title, text;              // the static texts, one per line
  std::vector<std::string> comboItems;  // of the drive list, when the dialog has one
};
using DialogAction = std::function<void(HWND dialog)>;

// Answers, in order, the dialogs this thread opens while the script lives; a
// dialog with no action left gets IDCANCEL. Every dialog is recorded.
class DialogScript {
 public:
  explicit DialogScript(std::vector<DialogAction> actions = {}) : actions_(actions.begin(), actions.end()) {
    current() = this;
    hook_ = SetWindowsHookExA(WH_CBT, [](int code, WPARAM w, LPARAM l) {
      if (code == HCBT_ACTIVATE && current()) current()->OnActivate(reinterpret_cast<HWND>(w));
      return CallNextHookEx(nullptr, code, w, l);
    }, nullptr, GetCurrentThreadId());
  }
  ~DialogScript() {
    UnhookWindowsHookEx(hook_);
    current() = nullptr;
  }
  const std::vector<SeenDialog>& seen() const { return seen_; }

 private:
  static DialogScript*& current() {
    static thread_local DialogScript* script = nullptr;
    return script;
  }
  void OnActivate(HWND window) {
    char cls[16] = "";
    GetClassNameA(window, cls, sizeof cls);
    if (std::string(cls) != "#32770" || !answered_.insert(window).second) return;
    SeenDialog seen{.title = WindowText(window), .text = StaticTexts(window)};
    const HWND combo = GetDlgItem(window, IDC_DRIVE_LIST);
    for (int i = 0; combo && i < SendMessageA(combo, CB_GETCOUNT, 0, 0); ++i) {
      char item[16] = "";
      SendMessageA(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item));
      seen.comboItems.push_back(item);
    }
    seen_.push_back(std::move(seen));
    DialogAction action = [](HWND d) { PostMessageA(d, WM_COMMAND, IDCANCEL, 0); };
    if (!actions_.empty()) action = std::move(actions_.front()), actions_.pop_front();
    action(window);
  }
  HHOOK hook_ = nullptr;
  std::deque<DialogAction> actions_;
  std::vector<SeenDialog> seen_;
  std::set<HWND> answered_;
};

inline DialogAction Press(int id) {
  return [id](HWND dialog) { PostMessageA(dialog, WM_COMMAND, static_cast<WPARAM>(id), 0); };
}

// The drive dialog: pick "X:" in the list, then press button.
inline DialogAction PickDrive(char letter, int button = IDOK) {
  return [letter, button](HWND dialog) {
    const char entry[3] = {letter, ':', '\0'};
    SendDlgItemMessageA(dialog, IDC_DRIVE_LIST, CB_SELECTSTRING, static_cast<WPARAM>(-1),
                        reinterpret_cast<LPARAM>(entry));
    Press(button)(dialog);
  };
}

// The Open dialog, once it has filled its file types: they go to *types, the
// path into the file name box, then Open.
inline DialogAction ChooseFile(const std::filesystem::path& path, std::vector<std::string>* types) {
  using Choice = std::pair<std::wstring, std::vector<std::string>*>;
  return [path = path.wstring(), types](HWND dialog) {
    SetPropA(dialog, "ZepFile", new Choice(path, types));
    SetTimer(dialog, 1, 20, [](HWND dialog, UINT, UINT_PTR, DWORD) {
      KillTimer(dialog, 1);
      const std::unique_ptr<Choice> choice(static_cast<Choice*>(RemovePropA(dialog, "ZepFile")));
      auto& [path, types] = *choice;
      for (int i = 0; i < SendDlgItemMessageA(dialog, cmb1, CB_GETCOUNT, 0, 0); ++i) {
        char item[64] = "";
        SendDlgItemMessageA(dialog, cmb1, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item));
        types->push_back(item);
      }
      SetDlgItemTextW(dialog, cmb13, path.c_str());
      PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    });
  };
}

// The folder browser may still be filling its tree when it is activated, and
// a selection asked for before that is lost: a timer asks again until the
// folder is the selected item, then accepts it.
inline DialogAction ChooseFolder(const std::filesystem::path& folder) {
  return [folder = folder.wstring()](HWND dialog) {
    SetPropA(dialog, "ZepFolder", new std::wstring(folder));
    SetTimer(dialog, 1, 20, [](HWND dialog, UINT, UINT_PTR, DWORD) {
      auto* folder = static_cast<std::wstring*>(GetPropA(dialog, "ZepFolder"));
      const HWND tree = FindWindowExA(dialog, nullptr, WC_TREEVIEWA, nullptr);
      wchar_t text[MAX_PATH] = L"";
      TVITEMW item{.mask = TVIF_TEXT,
                   .hItem = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0)),
                   .pszText = text,
                   .cchTextMax = MAX_PATH};
      if (item.hItem && SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)) &&
          std::filesystem::path(*folder).filename().wstring() == text) {
        KillTimer(dialog, 1);
        delete folder;
        PostMessageA(dialog, WM_COMMAND, IDOK, 0);
      } else {
        SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(folder->c_str()));
      }
    });
  };
}

// Polls, for at most 20 seconds, for a visible top-level window of process
// (0: any) with that class and title (null: any) for which also() holds.
inline HWND WaitFor(DWORD process, const char* className, const char* title, std::function<bool(HWND)> also = {}) {
  for (int i = 0; i < 400; ++i, Sleep(50)) {
    for (HWND window = nullptr; (window = FindWindowExA(nullptr, window, className, title));) {
      DWORD owner = 0;
      GetWindowThreadProcessId(window, &owner);
      if ((!process || owner == process) && IsWindowVisible(window) && (!also || also(window))) return window;
    }
  }
  return nullptr;
}

// One main window per test, started by the program's own start-up with the
// shell's state as at program start.
struct MainWindowTest : ::testing::Test {
  void SetUp() override {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);  // for the folder browser, as the program has
    ui::g_shell = ui::ShellState{};
    window = app::StartMainWindow(GetModuleHandleA(nullptr), SW_SHOWNORMAL);
    ASSERT_NE(window, nullptr);
  }
  void TearDown() override {
    if (IsWindow(window)) DestroyWindow(window);
    // The window's end posts the quit message; left in the queue it would end
    // the next test's modal loops at once.
    for (MSG msg; PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);) continue;
  }
  void Command(int id) { SendMessageA(window, WM_COMMAND, static_cast<WPARAM>(id), 0); }
  void SelectRows(std::initializer_list<int> rows) {
    for (int row : rows) {
      LVITEMA item{.state = LVIS_SELECTED, .stateMask = LVIS_SELECTED};
      SendMessageA(ui::g_shell.recordList, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    }
  }
  // Scans drive M: with the image mapped, answering the drive dialog; a scan
  // of a mapped image shows no error box.
  void ScanImage(const test::DiscImage& image) {
    image.WriteFile(kDriveImagePath);
    DialogScript script({PickDrive('M')});
    Command(IDM_SELECT_DRIVE);
    ASSERT_EQ(script.seen().size(), 1u) << (script.seen().empty() ? "" : script.seen().back().text);
  }
  int RowCount() const { return static_cast<int>(SendMessageA(ui::g_shell.recordList, LVM_GETITEMCOUNT, 0, 0)); }
  std::string Cell(int row, int subItem) const {
    char text[64] = "";
    LVITEMA item{.iSubItem = subItem, .pszText = text, .cchTextMax = sizeof text};
    SendMessageA(ui::g_shell.recordList, LVM_GETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    return text;
  }
  // The state of a menu item after each popup was opened, as a user opens them.
  UINT MenuItemState(int commandId) {
    const HMENU bar = GetMenu(window);
    for (int i = 0; i < GetMenuItemCount(bar); ++i) {
      SendMessageA(window, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(GetSubMenu(bar, i)), MAKELPARAM(i, FALSE));
    }
    return GetMenuState(bar, static_cast<UINT>(commandId), MF_BYCOMMAND);
  }
  std::vector<std::vector<std::string>> ShownRows() const {
    std::vector<std::vector<std::string>> rows(static_cast<std::size_t>(RowCount()));
    for (std::size_t row = 0; row < rows.size(); ++row) {
      for (int sub = 0; sub < 6; ++sub) rows[row].push_back(Cell(static_cast<int>(row), sub));
    }
    return rows;
  }
  std::string StatusLine() const {
    char text[512] = "";
    SendMessageA(ui::g_shell.statusBar, SB_GETTEXTA, 0, reinterpret_cast<LPARAM>(text));  // Wine: the simple text
    return SendMessageA(ui::g_shell.statusBar, SB_ISSIMPLE, 0, 0) ? text : "";
  }
  HWND window = nullptr;
};


namespace fs = std::filesystem;
using test::DiscImage;
using test::ReadWholeFile;
using ui::g_shell;
using Names = std::vector<std::string>;

// TK40 blocks with distinct samples, and their packed GPS text now and then.
DiscImage& AddBlocks(DiscImage& image, int count) {
  for (int b = 0; b < count; ++b) {
    test::Tk40Block block;
    block.Samples(static_cast<std::uint32_t>(b)).ModeCode(static_cast<std::uint8_t>(b % 3));
    image.Block(b, b % 2 ? block : block.Text("$GPGGA,1234"));
  }
  return image;
}

DiscImage ThreeRecords() {
  DiscImage image(SourceType::Tk40);
  image.Entry(0, {.name = "SURVEY1", .first = 0, .second = 4})
      .Entry(1, {.name = "HARBOUR", .day = 0x2A, .month = 0x00, .year = 0x09, .first = 4, .second = 6})
      .Entry(5, {.name = "REEF", .start = {0x23, 0x59}, .end = {0x00, 0x01}, .first = 10, .second = 7})
      .Label("BALTIC");
  return AddBlocks(image, 6);
}

Names FilesIn(const fs::path& folder) {
  Names names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  return std::sort(names.begin(), names.end()), names;
}

using UiTest = MainWindowTest;

// Convert is grayed until a row is selected; every scan recomputes the
// selection: flags of an earlier list never survive.
TEST_F(UiTest, ScanListsRowsWithTheirSlotsOrShowsItsErrorBoxAndEmptiesTheList) {
  EXPECT_EQ(MenuItemState(IDM_CONVERT) & MF_GRAYED, MF_GRAYED);
  EXPECT_EQ(MenuItemState(IDM_SOURCE_TK40) & MF_CHECKED, MF_CHECKED);
  ScanImage(ThreeRecords());
  EXPECT_EQ(MenuItemState(IDM_CONVERT) & MF_GRAYED, MF_GRAYED);
  const Names expected[] = {{"0", "1", "SURVEY1", "05 Nov 08", "14:05", "15:30", "4"},
                            {"1", "2", "HARBOUR", "2a  09", "14:05", "15:30", "2"},
                            {"5", "6", "REEF", "05 Nov 08", "23:59", "00:01", "-3"}};
  ASSERT_EQ(RowCount(), 3);
  for (int row = 0; row < 3; ++row) {
    LVITEMA item{.mask = LVIF_PARAM, .iItem = row};
    SendMessageA(g_shell.recordList, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    Names cells{std::to_string(item.lParam)};  // the slot the row carries, then what it shows
    for (int sub = 0; sub < 6; ++sub) cells.push_back(Cell(row, sub));
    EXPECT_EQ(cells, expected[row]);
  }
  EXPECT_EQ(WindowText(window), "ZEP Converter - BALTIC");
  SendMessageA(g_shell.progressBar, PBM_SETPOS, 40, 0);
  SelectRows({2, 0});
  EXPECT_EQ(g_shell.selection, (ui::SelectionTable{1, 0, 1}));
  EXPECT_EQ(SendMessageA(g_shell.progressBar, PBM_GETPOS, 0, 0), 0) << "a new selection resets the bar";
  EXPECT_EQ(MenuItemState(IDM_CONVERT) & MF_GRAYED, 0u);

  const struct {
    char drive;
    const char* message;
    const char* titleAfter;
  } cases[] = {
      {'Q', "There is no disk in drive Q  ", "ZEP Converter"},
      {'N', "Drive N is not an MO disc", "ZEP Converter - BALTIC"},  // the title is left
  };
  for (const auto& c : cases) {
    ScanImage(ThreeRecords());
    SelectRows({0, 2});
    DialogScript script;
    ui::ScanDriveIntoList(window, c.drive);
    ASSERT_EQ(script.seen().size(), 1u);
    EXPECT_EQ(std::tuple(script.seen()[0].title, script.seen()[0].text), std::tuple("Error", c.message));
    EXPECT_EQ(std::tuple(RowCount(), WindowText(window)), std::tuple(0, c.titleAfter));
    EXPECT_EQ(g_shell.selection, ui::SelectionTable{});
    EXPECT_TRUE(MenuItemState(IDM_CONVERT) & MF_GRAYED);
  }
}

TEST_F(UiTest, DriveDialogListsPresentDrivesAndEveryWayOutTakesTheSelection) {
  const std::pair<DialogAction, char> cases[] = {{Press(IDOK), 0}, {PickDrive('N', IDCANCEL), 'N'}};
  for (const auto& [answer, expected] : cases) {
    DialogScript script({answer});
    const INT_PTR chosen = ui::ChooseDrive(window);
    ASSERT_EQ(script.seen().size(), 1u);
    const Names& drives = script.seen()[0].comboItems;
    ASSERT_FALSE(drives.empty());
    EXPECT_EQ(chosen, expected ? expected : drives[0][0]);  // 0: the lowest drive, selected at the start
    EXPECT_TRUE(std::is_sorted(drives.begin(), drives.end()));
    for (const char* present : {"C:", "M:", "N:"}) EXPECT_EQ(std::count(drives.begin(), drives.end(), present), 1);
    EXPECT_EQ(std::count(drives.begin(), drives.end(), "Q:"), 0);
  }
}

// The selected records become files equal to the core's, under names that stay
// in the chosen folder, are no device and differ within the run (an earlier
// run's file is replaced); the bars are left empty for the next run.
TEST_F(UiTest, ConversionThroughTheFolderBrowserWritesTheCoresFiles) {
  struct Case {
    int sourceType;
    DiscImage image;
    std::vector<std::tuple<int, std::string, std::string>> rows;  // slot, name, file
  } cases[] = {
      {IDM_SOURCE_TK40, DiscImage(SourceType::Tk40),
       {{0, "..\\..\\EVIL", ".._.._EVIL"}, {1, "CON", "_CON.ZEP"}, {2, "A:B*C?", "A_B_C_.ZEP"},
        {3, "SURVEY", "SURVEY.ZEP"}, {4, "RUN.2", "RUN.2"}, {7, "survey", "survey_8.ZEP"}}},
      {IDM_SOURCE_ZEPV1, DiscImage(SourceType::ZepV1), {{1, "LINE7", "LINE7.ZEP"}}},
  };
  for (const auto& [slot, name, file] : cases[0].rows) cases[0].image.Entry(slot, {.name = name, .first = slot % 2, .second = 3});
  AddBlocks(cases[0].image, 3);
  for (std::uint32_t s = 4; s < 7; ++s) {
    auto sector = test::MakePingRecord(700, s);
    cases[1].image.Sector(s, (sector.resize(2048), sector));
  }
  cases[1].image.Entry(1, {.name = "LINE7", .first = 2, .second = 5});
  for (const Case& c : cases) {
    const test::TempDir out;
    const fs::path folder = out.path() / "inner";
    fs::create_directory(folder);
    std::ofstream(folder / std::get<2>(c.rows[0])) << "from an earlier run";
    Command(c.sourceType);  // a radio item: the other source type loses its check
    const int other = c.sourceType == IDM_SOURCE_TK40 ? IDM_SOURCE_ZEPV1 : IDM_SOURCE_TK40;
    EXPECT_EQ(MenuItemState(c.sourceType) & MF_CHECKED, MF_CHECKED);
    EXPECT_EQ(MenuItemState(other) & MF_CHECKED, 0u);
    ScanImage(c.image);
    Names files;
    for (int row = 0; row < RowCount(); ++row) {
      SelectRows({row});
      EXPECT_EQ(Cell(row, 1), std::get<1>(c.rows[row]));  // the name as read
      files.push_back(std::get<2>(c.rows[row]));
    }
    DialogScript script({ChooseFolder(folder.string())});
    Command(IDM_CONVERT);
    EXPECT_EQ(script.seen().size(), 1u) << "a run that succeeds shows only the browser: " << script.seen().back().text;
    std::sort(files.begin(), files.end());
    EXPECT_EQ(FilesIn(folder), files);
    for (const auto& [slot, name, file] : c.rows) EXPECT_EQ(ReadWholeFile(folder / file), test::CoreRecord(c.image, slot)) << file;
    char status[64] = "x";
    SendMessageA(g_shell.statusBar, SB_GETTEXTA, 0, reinterpret_cast<LPARAM>(status));
    EXPECT_EQ(std::pair(std::string(status), SendMessageA(g_shell.progressBar, PBM_GETPOS, 0, 0)), std::pair(std::string(), LRESULT{0}));
  }
}

// The failing drive tests/ui_rescue_test.sh maps as ZEP_FAILING_DRIVE, scanned
// and every record converted, for the script to count its asks.
TEST_F(UiTest, ScanAndConversionOfAFailingDrive) {
  const char* drive = std::getenv("ZEP_FAILING_DRIVE");
  if (!drive || !*drive) GTEST_SKIP() << "no failing drive mapped";
  const test::TempDir out;
  DialogScript script({ChooseFolder(out.path().string())});  // then the box on the lost blocks
  Command(IDM_SOURCE_TK40);
  ui::ScanDriveIntoList(window, g_shell.driveLetter = drive[0]);  // as the drive dialog leaves it
  for (int row = 0; row < RowCount(); ++row) SelectRows({row});
  Command(IDM_CONVERT);
  EXPECT_EQ(std::pair(static_cast<int>(FilesIn(out.path()).size()), script.seen().size()), std::pair(RowCount(), std::size_t{2}));
}

// A cancelled browser leaves nowhere safe to write; after a rescan the list
// does not always report its clearing, and flags of the earlier rows must not
// survive it.
TEST_F(UiTest, CancelledBrowserAndSelectionOfAnEarlierListConvertNothing) {
  const test::TempDir out;
  const std::pair<char, bool> cases[] = {{0, false}, {'M', true}, {'Q', true}};  // rescan, choose a folder
  for (const auto& [rescan, choose] : cases) {
    SCOPED_TRACE(rescan);
    ScanImage(ThreeRecords());
    SelectRows({0, 1});
    if (rescan) {
      DialogScript box;
      ui::ScanDriveIntoList(window, rescan);
    }
    DialogScript script(choose ? std::vector{ChooseFolder(out.path().string())} : std::vector<DialogAction>{});
    Command(IDM_CONVERT);
    EXPECT_EQ(script.seen().size(), 1u) << "the browser and nothing after it";
    EXPECT_TRUE(FilesIn(out.path()).empty());
    EXPECT_FALSE(fs::exists("C:\\SURVEY1.ZEP") || fs::exists("SURVEY1.ZEP"));
  }
}

TEST_F(UiTest, FailedIncompleteAndUnformablePathsAreListedInOneErrorBoxAfterTheRun) {
  DiscImage image(SourceType::Tk40);
  image.Entry(0, {.name = "GOOD", .first = 0, .second = 2})
      .Entry(1, {.name = "BLOCKED", .first = 0, .second = 2})
      .Entry(2, {.name = "SHORT", .first = 1, .second = 4})  // blocks 2 and 3 lie past the end
      .Entry(3, {.name = "ABCDEFGH", .first = 0, .second = 1})
      .Entry(4, {.name = "ABCDEFGHI", .first = 0, .second = 1});
  ScanImage(AddBlocks(image, 2));
  SelectRows({0, 1, 2, 3, 4});
  // A folder of 246 characters: 259 with "\ABCDEFGH.ZEP", the longest path
  // there is room for, and 260 with "\ABCDEFGHI.ZEP".
  const test::TempDir out;
  const std::string base = out.path().string() + "\\";
  const std::string folder = base + std::string(246 - base.size(), 'd');
  ASSERT_TRUE(fs::create_directory(folder));
  fs::create_directory(folder + "\\BLOCKED.ZEP");  // no file can be created under that name
  DialogScript script({ChooseFolder(folder)});
  Command(IDM_CONVERT);
  ASSERT_EQ(script.seen().size(), 2u);
  EXPECT_EQ(script.seen()[1].title, "Error");
  const std::string& text = script.seen()[1].text;
  EXPECT_TRUE(text.starts_with("3 records were not converted completely:\n\nRecord 2 (BLOCKED): not converted: ")) << text;
  EXPECT_NE(text.find("\nRecord 3 (SHORT): incomplete: "), std::string::npos) << text;
  EXPECT_TRUE(text.ends_with("\nRecord 5 (ABCDEFGHI): not converted: the output path " + folder +
                             "\\ABCDEFGHI.ZEP is longer than 259 characters")) << text;
  EXPECT_EQ(FilesIn(folder), (Names{"ABCDEFGH.ZEP", "BLOCKED.ZEP", "GOOD.ZEP", "SHORT.ZEP"}));
  for (int slot : {0, 2, 3}) EXPECT_EQ(ReadWholeFile(folder + "\\" + RecordName(image.Directory(), slot, SourceType::Tk40) + ".ZEP"), test::CoreRecord(image, slot));
}

// What the progress bar is told and what it then shows, position by position.
struct BarWatch {
  static inline WNDPROC original = nullptr;
  static inline std::vector<std::pair<LRESULT, LRESULT>> positions;  // set, then shown
  static inline LPARAM rangeHigh = -1;
  static LRESULT CALLBACK Proc(HWND bar, UINT message, WPARAM wParam, LPARAM lParam) {
    const LRESULT result = CallWindowProcA(original, bar, message, wParam, lParam);
    if (message == PBM_SETRANGE32) rangeHigh = lParam;
    if (message == PBM_SETPOS && wParam != 0) {
      positions.emplace_back(static_cast<LRESULT>(wParam), CallWindowProcA(original, bar, PBM_GETPOS, 0, 0));
    }
    return result;
  }
  explicit BarWatch(HWND bar) : bar_(bar) {
    positions.clear();
    original = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(bar, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Proc)));
  }
  ~BarWatch() { SetWindowLongPtrA(bar_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original)); }
  HWND bar_;
};

// A record of 2,000,000 sectors: the bar's range is the whole count, and every
// position is shown as set, up to the last, past the 16 bits the range once
// had. The image holds the first 4,000 sectors (sparse); the rest lies past
// its end, and the bar is then set to its last position at once.
TEST_F(UiTest, ProgressBarHoldsARecordOfTwoMillionSectors) {
  const test::TempDir dir, out;
  const std::string image = dir.File("long.img");
  DiscImage(SourceType::ZepV1).Entry(0, {.name = "LONG", .first = 0, .second = 2'000'000}).WriteFile(image);
  fs::resize_file(image, 4'000ull * 2048);
  Command(IDM_SOURCE_ZEPV1);
  ui::ScanImageIntoList(window, image);
  ASSERT_EQ(RowCount(), 1);
  SelectRows({0});
  const BarWatch watch(g_shell.progressBar);
  DialogScript script({ChooseFolder(out.path().string())});  // then the box on the sectors past the end
  Command(IDM_CONVERT);
  const LRESULT units = ExtentOf(g_shell.directory, 0, SourceType::ZepV1).count32;  // the sectors copied
  EXPECT_GT(units, 1'999'000);
  EXPECT_EQ(BarWatch::rangeHigh, units);
  ASSERT_FALSE(BarWatch::positions.empty());
  EXPECT_EQ(BarWatch::positions.back(), std::pair(units - 1, units - 1));
  const auto wrong = std::find_if(BarWatch::positions.begin(), BarWatch::positions.end(), [](const auto& p) { return p.first != p.second; });
  EXPECT_TRUE(wrong == BarWatch::positions.end()) << wrong->first << " shown as " << wrong->second;
}

// A Source Type that no record of the disc fits: a Yes/No box names the type
// that fits, with No the default; No writes nothing, Yes converts as before.
TEST_F(UiTest, ConvertingAsATypeTheDiscRulesOutAsksFirst) {
  for (const int answer : {IDNO, IDYES}) {
    const test::TempDir out;
    Command(IDM_SOURCE_ZEPV1);
    ScanImage(ThreeRecords());
    SelectRows({0, 1});
    // Once the box is up: the button with the focus, which Enter presses, then the answer.
    static int defaultButton, press;
    defaultButton = 0, press = answer;
    DialogScript script({[](HWND box) {
                           SetTimer(box, 1, 20, [](HWND box, UINT, UINT_PTR, DWORD) {
                             KillTimer(box, 1);
                             defaultButton = GetDlgCtrlID(GetFocus());
                             Press(press)(box);
                           });
                         },
                         ChooseFolder(out.path().string())});
    Command(IDM_CONVERT);
    // Yes: the browser, then the run's own box on what the wrong type could not read.
    ASSERT_EQ(std::min<std::size_t>(script.seen().size(), 2), answer == IDYES ? 2u : 1u);
    ASSERT_TRUE(answer == IDYES || script.seen().size() == 1u) << script.seen().back().text;
    EXPECT_EQ(std::tuple(script.seen()[0].title, script.seen()[0].text, defaultButton),
              std::tuple("Convert Records to ZEP", ui::WrongTypeQuestion(SourceType::ZepV1), IDNO));
    EXPECT_EQ(FilesIn(out.path()).empty(), answer == IDNO);
  }
  Command(IDM_SOURCE_TK40);  // the type that fits: no question
}

// Help > Contents splits the last scan's dump into C:\fond0.zep, ... as the
// core does, silently; one Error box names an output it could not write.
TEST_F(UiTest, ContentsSplitsTheScanDumpAndReportsOutputThatCannotBeWritten) {
  std::vector<std::uint8_t> dump = test::MakePingRecord(500, 0);
  test::WriteWholeFile("C:\\test.bin", (dump.resize(5 * 4096), dump));
  for (const bool blocked : {false, true}) {
    fs::remove_all("C:\\fond0.zep");
    if (blocked) fs::create_directory("C:\\fond0.zep");
    DialogScript script;
    Command(IDM_CONTENTS);
    const test::TempDir core;
    SplitScanDump("C:\\test.bin", core.File("core%i.zep"));
    EXPECT_TRUE(blocked || ReadWholeFile("C:\\fond0.zep") == ReadWholeFile(core.File("core0.zep")));
    EXPECT_EQ(script.seen().size(), blocked ? 1u : 0u);
    EXPECT_TRUE(!blocked || script.seen().at(0).text.starts_with(
        "Not every run of pings found in the scan dump could be written:\n\nC:\\fond0.zep: "));
  }
  fs::remove_all("C:\\fond0.zep");
}

// The rows the program lists for a disc read as type: the core's.
std::vector<std::vector<std::string>> ListedRows(const DiscImage& image, SourceType type) {
  std::vector<std::vector<std::string>> rows;
  for (const ListRow& row : BuildListRows(image.Directory(), type)) rows.emplace_back(row.cells.begin(), row.cells.end());
  return rows;
}

// Each way to open an image gives what a drive gives: the menu item, the
// list, the title, the scan dump, and files equal to the core's.
TEST_F(UiTest, OpenDialogDropAndCommandLineOpenAnImageLikeADrive) {
  const HMENU file = GetSubMenu(GetMenu(window), 0);
  std::vector<std::pair<std::string, int>> items;
  for (int i = 0; i < GetMenuItemCount(file); ++i) {
    char text[64] = "";
    GetMenuStringA(file, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
    items.emplace_back(text, static_cast<int>(GetMenuItemID(file, i)));
  }
  EXPECT_EQ(items, (std::vector<std::pair<std::string, int>>{{"Select Source Drive...", 111}, {"Open Disc Image...", 113},
      {"", 0}, {"Source Type", -1}, {"Convert Records to ZEP", 110}, {"", 0}, {"E&xit", 105}}));
  const test::TempDir dir;
  // A space, as "Open with" passes it; characters outside the ANSI code page.
  for (const std::wstring name : {L"disc one.img", L"\u0394elta-\u65E5\u672C.img"}) {
    const fs::path path = dir.path() / name;
    const std::wstring image = path.wstring();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(ThreeRecords().bytes().data()), std::ssize(ThreeRecords().bytes()));
    const std::function<void()> ways[] = {
        [&] {
          Names types;
          DialogScript script({ChooseFile(path, &types)});
          Command(IDM_OPEN_IMAGE);
          ASSERT_EQ(script.seen().size(), 1u);
          EXPECT_EQ(script.seen()[0].title, "Open Disc Image");
          EXPECT_EQ(types, (Names{"Disc images (*.img;*.iso;*.bin;*.dd)", "All files (*.*)"}));
        },
        [&] {
          const std::size_t bytes = (image.size() + 2) * sizeof(wchar_t);  // zeros end the list
          const HGLOBAL drop = GlobalAlloc(GHND, sizeof(DROPFILES) + bytes);
          auto* files = static_cast<DROPFILES*>(GlobalLock(drop));
          files->pFiles = sizeof(DROPFILES);
          files->fWide = TRUE;
          std::copy(image.begin(), image.end(), reinterpret_cast<wchar_t*>(files + 1));
          GlobalUnlock(drop);
          PostMessageA(window, WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
          for (MSG msg; PeekMessageA(&msg, window, 0, 0, PM_REMOVE);) DispatchMessageA(&msg);
        },
        [&] {
          TearDown();
          window = app::StartMainWindow(GetModuleHandleA(nullptr), SW_SHOWNORMAL, (L" \"" + image + L"\" ").c_str());
        },
    };
    for (const auto& open : ways) {
      fs::remove("C:\\test.bin");
      DialogScript noBoxes;
      open();
      EXPECT_TRUE(noBoxes.seen().empty()) << noBoxes.seen().back().text;
      EXPECT_EQ(ShownRows(), ListedRows(ThreeRecords(), SourceType::Tk40));
      EXPECT_EQ(std::tuple(WindowText(window), StatusLine()), std::tuple("ZEP Converter - BALTIC", ""));
      EXPECT_EQ(fs::file_size("C:\\test.bin"), static_cast<std::uintmax_t>(kDumpSize));
      const test::TempDir out;
      SelectRows({0, 1});
      DialogScript script({ChooseFolder(out.path().string())});
      Command(IDM_CONVERT);
      EXPECT_EQ(ReadWholeFile(out.File("SURVEY1.ZEP")), test::CoreRecord(ThreeRecords(), 0));
      EXPECT_EQ(FilesIn(out.path()), (Names{"HARBOUR.ZEP", "SURVEY1.ZEP"}));
    }
  }
  // Opened by its short name, the image is still read through the mapfile beside its own.
  const std::wstring map = (dir.path() / L"\u0394elta-\u65E5\u672C.map").wstring();
  std::ofstream(fs::path(map)) << "0 +\n0 " << ThreeRecords().bytes().size() << " +\n";
  DialogScript noBox;
  ui::ScanImageIntoList(window, (dir.path() / L"\u0394elta-\u65E5\u672C.img").wstring());
  EXPECT_EQ(std::tuple(noBox.seen().size(), RowCount(), StatusLine()), std::tuple(0u, 3, "Mapfile in use: " + *ui::LibraryPath(map)));
}

// Reads go through the mapfile beside an image; a ZEP V1.X disc read as TK40
// is listed as before, with a hint that goes once the type matches; a file
// that is no disc, or whose mapfile is broken, is named in the error box and
// leaves the last scan dump alone. (What a unit the map marks unrescued costs
// a conversion, and a file too short for a directory, are in the fault table
// of every face, CliTest.OneFaultHasOneKindAndOneWordingInEveryFace.)
TEST_F(UiTest, OpenedImagesUseTheirMapfileHintAtTheirTypeAndAreRefusedWhenNoDisc) {
  const test::TempDir dir;
  const std::string image = dir.File("disc.img"), map = dir.File("disc.map");
  DiscImage zep(SourceType::ZepV1);
  for (std::uint32_t s = 4; s < 7; ++s) {
    auto sector = test::MakePingRecord(700, s);
    zep.Sector(s, (sector.resize(2048), sector));
  }
  zep.Entry(1, {.name = "LINE7", .first = 2, .second = 5});
  const std::size_t size = ThreeRecords().bytes().size();
  const std::string goodMap = "0 +\n0 20480 +\n20480 4096 -\n24576 " + std::to_string(size - 24576) + " +\n";
  const struct {
    DiscImage disc;
    std::string mapText, expectedBox, expectedStatus;  // box: the start of the error box's text
    int rows;
  } cases[] = {
      {ThreeRecords(), goodMap, "", "Mapfile in use: " + map, 3},
      {zep, "", "", "This disc looks like a ZEP V1.X disc (File > Source Type)", 1},
      {DiscImage(SourceType::Tk40).Bytes(0, std::vector<std::uint8_t>(4096, 0x55)), "", "The file " + image + " is not a TK40 or ZEP V1.X disc (of 64 slots", "", 0},
      {ThreeRecords(), "0 +\n0 99 rescued\n", "Cannot read the disc image " + image + "\n\n" + map + ":", "", 0},
      {DiscImage(SourceType::Tk40).Resize(8192), "", "", "No records listed: the directory is lost (Tools > Recover Lost Records)", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expectedBox + c.expectedStatus);
    c.disc.WriteFile(image);
    fs::remove(map);
    if (!c.mapText.empty()) std::ofstream(map) << c.mapText;
    test::WriteWholeFile("C:\\test.bin", {1, 2, 3});
    DialogScript script;
    ui::ScanImageIntoList(window, image);
    ASSERT_EQ(script.seen().size(), c.expectedBox.empty() ? 0u : 1u);
    EXPECT_TRUE(c.expectedBox.empty() || script.seen()[0].text.starts_with(c.expectedBox)) << script.seen()[0].text;
    EXPECT_EQ(std::tuple(RowCount(), StatusLine()), std::tuple(c.rows, c.expectedStatus));
    EXPECT_EQ(fs::file_size("C:\\test.bin") == 3, !c.expectedBox.empty()) << "a refused file writes no dump";
    EXPECT_TRUE(c.rows || WindowText(window) == "ZEP Converter") << WindowText(window);
  }
  // A drive's scan is as it always was: no word on a lost directory.
  ScanImage(DiscImage(SourceType::Tk40).Resize(8192));
  EXPECT_EQ(StatusLine(), "");
  // The ZEP V1.X disc under TK40: listed as the program lists it, hint until the type matches.
  cases[1].disc.WriteFile(image);
  fs::remove(map);
  DialogScript noBox;
  ui::ScanImageIntoList(window, image);
  EXPECT_EQ(ShownRows(), ListedRows(zep, SourceType::Tk40));
  Command(IDM_SOURCE_ZEPV1);
  EXPECT_EQ(std::tuple(StatusLine(), noBox.seen().size()), std::tuple("", 0u));
}

std::pair<long, long> Size(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  return {rect.right - rect.left, rect.bottom - rect.top};
}

// The window passes WM_GETMINMAXINFO on to the MDI child default although it
// is no MDI child: only the minimum tracking size may change, and maximizing
// must work as for any window.
TEST_F(UiTest, MinimumTrackingSizeIsSetAndMaximizingStillWorks) {
  EXPECT_EQ(Size(window).first, 397) << "asked for 395 wide, opened at the minimum";
  MINMAXINFO info{.ptMaxSize = {1234, 567}, .ptMaxPosition = {-4, -5}, .ptMaxTrackSize = {2345, 678}};
  SendMessageA(window, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
  EXPECT_EQ((std::array{info.ptMinTrackSize.x, info.ptMinTrackSize.y, info.ptMaxSize.x, info.ptMaxSize.y,
                        info.ptMaxPosition.x, info.ptMaxPosition.y, info.ptMaxTrackSize.x, info.ptMaxTrackSize.y}),
            (std::array{397L, 150L, 1234L, 567L, -4L, -5L, 2345L, 678L}));
  SetWindowPos(window, nullptr, 0, 0, 100, 60, SWP_NOMOVE | SWP_NOZORDER);  // dragged smaller
  EXPECT_EQ(Size(window), std::pair(397L, 150L));
  ShowWindow(window, SW_MAXIMIZE);
  EXPECT_EQ(Size(window).first, GetSystemMetrics(SM_CXMAXIMIZED));
  ShowWindow(window, SW_RESTORE);
  EXPECT_EQ(Size(window).first, 397);
}

// F1 asks the help system for the contents of "Plattor.hlp": Wine's help
// viewer, another process, answers that the file is missing with a modal box.
TEST_F(UiTest, AboutBoxClosesWithOkOrEscAndF1OpensThePlattorHelpFile) {
  for (const int button : {IDOK, IDCANCEL}) {
    DialogScript script({Press(button)});
    Command(IDM_ABOUT);  // returns once the box is closed
    ASSERT_EQ(script.seen().size(), 1u) << button;
    EXPECT_EQ(script.seen()[0].title, "About");
  }
  std::string text;
  std::thread answerer([&text] {
    if (const HWND box = WaitFor(0, "#32770", "ERROR")) text = StaticTexts(box), PostMessageA(box, WM_COMMAND, IDNO, 0);
  });
  HELPINFO help{.cbSize = sizeof help};
  SendMessageA(window, WM_HELP, 0, reinterpret_cast<LPARAM>(&help));
  answerer.join();
  EXPECT_NE(text.find("Plattor.hlp"), std::string::npos) << text;
  WinHelpA(window, nullptr, HELP_QUIT, 0);
}

// The Tools menu's jobs run on the worker thread: the test's thread pumps the
// window's messages (progress, the end, the boxes the end opens) until the
// job is over.
void WaitForJob() {
  for (MSG msg; ui::JobRunning() && GetMessageA(&msg, nullptr, 0, 0) > 0;) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

// A sample disc of tools/make_sample_disc, with the options given.
std::string SampleDisc(const test::TempDir& dir, const Names& options, const std::string& name = "sample.img") {
  const std::string image = dir.File(name);
  Names args{MAKE_SAMPLE_DISC_PATH};
  args.insert(args.end(), options.begin(), options.end());
  args.push_back(image);
  EXPECT_EQ(test::RunProcess(args, dir.File("make.out"), dir.File("make.err")), 0) << test::ReadText(dir.File("make.err"));
  return image;
}

std::vector<Names> ListRows(HWND list, int columns) {
  std::vector<Names> rows(static_cast<std::size_t>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0)));
  for (std::size_t row = 0; row < rows.size(); ++row) {
    for (int sub = 0; sub < columns; ++sub) {
      char text[256] = "";
      LVITEMA item{.iSubItem = sub, .pszText = text, .cchTextMax = sizeof text};
      SendMessageA(list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
      rows[row].push_back(text);
    }
  }
  return rows;
}

std::string JsonRanges(const nlohmann::json& runs) {
  std::string text;
  for (const auto& r : runs) {
    text += (text.empty() ? "" : ", ") + std::to_string(r[0].get<long long>());
    if (r[1] != r[0]) text += "-" + std::to_string(r[1].get<long long>());
  }
  return text.empty() ? "-" : text;
}

// The check window's rows as zepconv's check report gives them.
std::vector<Names> RowsOfReport(const nlohmann::json& report) {
  std::vector<Names> rows;
  for (const auto& r : report["records"]) {
    const auto number = [&r](const char* key) { return std::to_string(r[key].get<long long>()); };
    const std::string unreadable = r["unreadable"].empty() ? "0" : number("unreadable_units") + " (" + JsonRanges(r["unreadable"]) + ")";
    rows.push_back({number("record"), r["name"].get<std::string>(), r["verdict"].get<std::string>(),
                    number("whole_units") + " of " + number("units"), unreadable, number("beyond_end"),
                    number("missing_pings"), number("unread_pings"), number("pings")});
  }
  return rows;
}

struct SampleCase {
  Names options;  // of make_sample_disc
  int sourceType;
};
const SampleCase kSamples[] = {
    {{}, IDM_SOURCE_TK40},
    {{"--damaged"}, IDM_SOURCE_TK40},
    {{"--type", "zep", "--damaged", "--dump-runs"}, IDM_SOURCE_ZEPV1},
    {{"--zero-directory"}, IDM_SOURCE_TK40},
    {{"--type", "zep", "--zero-directory"}, IDM_SOURCE_ZEPV1},
};

// "&Tools" sits between "&File" and "&Help"; what reads the source waits for
// one, and nothing that reads or replaces it runs beside a job.
TEST_F(UiTest, ToolsMenuFollowsTheSourceAndTheJob) {
  const HMENU bar = GetMenu(window);
  Names tops, tools;
  for (int i = 0; i < GetMenuItemCount(bar); ++i) {
    char text[64] = "";
    GetMenuStringA(bar, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
    tops.push_back(text);
  }
  EXPECT_EQ(tops, (Names{"&File", "&Tools", "&Help"}));
  const HMENU menu = GetSubMenu(bar, 1);
  for (int i = 0; i < GetMenuItemCount(menu); ++i) {
    char text[64] = "";
    GetMenuStringA(menu, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
    tools.push_back(std::to_string(GetMenuItemID(menu, i)) + " " + text);
  }
  EXPECT_EQ(tools, (Names{"114 Check Disc...", "115 Recover Lost Records...", "0 ", "116 Make Inventory..."}));
  const auto grayed = [this](std::initializer_list<int> ids) {
    std::string state;
    for (int id : ids) state += (MenuItemState(id) & MF_GRAYED) ? 'g' : 'e';
    return state;
  };
  const std::initializer_list<int> ids = {IDM_CHECK_DISC, IDM_RECOVER_RECORDS, IDM_MAKE_INVENTORY, IDM_OPEN_IMAGE};
  EXPECT_EQ(grayed(ids), "ggee");
  ScanImage(ThreeRecords());
  EXPECT_EQ(grayed(ids), "eeee");
  std::atomic<bool> release{false};
  ui::g_jobReportHook = [&release](ui::JobControl&, std::uint64_t, std::uint64_t) {
    while (!release) Sleep(1);
  };
  Command(IDM_CHECK_DISC);
  ASSERT_TRUE(ui::JobRunning());
  SelectRows({0});
  EXPECT_EQ(grayed({IDM_CHECK_DISC, IDM_RECOVER_RECORDS, IDM_MAKE_INVENTORY, IDM_OPEN_IMAGE, IDM_CONVERT}), "ggggg");
  release = true;
  WaitForJob();
  ui::g_jobReportHook = nullptr;
  EXPECT_EQ(grayed({IDM_CHECK_DISC, IDM_CONVERT}), "ee");
  ASSERT_NE(ui::CheckWindow(), nullptr);
}

// The check window lists what `zepconv check --json` reports for the same
// image, read as the chosen type, and saves the same report.
TEST_F(UiTest, CheckWindowListsWhatZepconvCheckReports) {
  for (const SampleCase& sample : kSamples) {
    SCOPED_TRACE(sample.options.empty() ? "plain" : sample.options.back());
    const test::TempDir dir;
    const std::string image = SampleDisc(dir, sample.options);
    Command(sample.sourceType);
    ui::ScanImageIntoList(window, image);
    Command(IDM_CHECK_DISC);
    WaitForJob();
    const HWND check = ui::CheckWindow();
    ASSERT_NE(check, nullptr);
    const test::ToolRun cli =
        test::RunZepconv({"check", "--json", "--type", sample.sourceType == IDM_SOURCE_TK40 ? "tk40" : "zep", image});
    const nlohmann::json report = nlohmann::json::parse(cli.out);
    const HWND list = GetDlgItem(check, IDC_CHECK_LIST);
    const std::vector<Names> rows = ListRows(list, ui::kCheckColumns);
    EXPECT_EQ(rows, RowsOfReport(report));
    // No cell and no title is cut.
    const ui::CheckRow titles = ui::CheckColumnTitles(sample.sourceType == IDM_SOURCE_TK40 ? SourceType::Tk40 : SourceType::ZepV1);
    std::vector<Names> texts = rows;
    texts.emplace_back(titles.begin(), titles.end());
    for (const Names& row : texts) {
      for (int c = 0; c < ui::kCheckColumns; ++c) {
        const LRESULT text = SendMessageA(list, LVM_GETSTRINGWIDTHA, 0, reinterpret_cast<LPARAM>(row[c].c_str()));
        EXPECT_GT(SendMessageA(list, LVM_GETCOLUMNWIDTH, c, 0), text + 10) << row[c];
      }
    }
    const std::string line = WindowText(GetDlgItem(check, IDC_CHECK_DISC_LINE));
    EXPECT_NE(line.find(report["label"].is_null() ? "no label" : "label " + report["label"].get<std::string>()),
              std::string::npos) << line;
    EXPECT_NE(line.find(report["dump_area"]["readable"].get<bool>() ? "dump area readable" : "dump area"),
              std::string::npos) << line;
    EXPECT_EQ(StatusLine().starts_with("Checked "), true) << StatusLine();
    // "Save..." writes zepconv's report byte for byte, the source's path included.
    Names types;
    DialogScript save({ChooseFile(dir.File("saved.json"), &types)});
    SendMessageA(check, WM_COMMAND, IDC_CHECK_SAVE, 0);
    ASSERT_EQ(save.seen().size(), 1u);
    EXPECT_EQ(save.seen()[0].title, "Save Check Report");
    std::string expected = cli.out;
    std::erase(expected, '\r');  // zepconv's standard output is in text mode
    EXPECT_EQ(test::ReadText(dir.File("saved.json")), expected);
    // Resized, Save and Close stay inside the window; Close and Esc close it.
    SetWindowPos(check, nullptr, 0, 0, 320, 200, SWP_NOMOVE | SWP_NOZORDER);
    RECT client{}, button{};
    GetClientRect(check, &client);
    for (const int id : {IDC_CHECK_SAVE, IDCANCEL}) {
      GetWindowRect(GetDlgItem(check, id), &button);
      MapWindowPoints(nullptr, check, reinterpret_cast<POINT*>(&button), 2);
      EXPECT_TRUE(button.left >= 0 && button.right <= client.right && button.bottom <= client.bottom) << id;
    }
    EXPECT_EQ(WindowText(GetDlgItem(check, IDCANCEL)), "Close");
    if (&sample - kSamples == 0) {
      SendMessageA(GetDlgItem(check, IDCANCEL), BM_CLICK, 0, 0);
    } else {
      MSG esc{.hwnd = list, .message = WM_KEYDOWN, .wParam = VK_ESCAPE};
      EXPECT_TRUE(ui::IsCheckWindowMessage(&esc));
    }
    EXPECT_EQ(std::pair(ui::CheckWindow(), IsWindow(check)), std::pair(HWND{}, FALSE));
  }
}

// The ping runs carved into the chosen folder are zepconv carve's, leaving out
// what a conversion of the listed records writes; a box and the status line
// say how many.
TEST_F(UiTest, RecoverCarvesWhatZepconvCarvesIntoTheChosenFolder) {
  for (const SampleCase& sample : kSamples) {
    SCOPED_TRACE(sample.options.empty() ? "plain" : sample.options.back());
    const test::TempDir dir, outer, cli;
    const std::string image = SampleDisc(dir, sample.options);
    Command(sample.sourceType);
    ui::ScanImageIntoList(window, image);
    // A folder outside the ANSI code page, as every Tools folder may be.
    const fs::path out = outer.path() / (&sample == kSamples + 3 ? L"\u0394-\u65E5\u672C" : L"plain");
    fs::create_directory(out);
    DialogScript script({ChooseFolder(out), Press(IDOK)});
    Command(IDM_RECOVER_RECORDS);
    WaitForJob();
    std::string seen;
    for (const SeenDialog& d : script.seen()) seen += d.title + ": " + d.text + "\n";
    ASSERT_EQ(script.seen().size(), 2u) << seen;
    test::RunZepconv({"carve", image, "-o", cli.path().string()});
    const Names files = FilesIn(cli.path());
    EXPECT_EQ(FilesIn(out), files);
    EXPECT_TRUE(&sample != kSamples + 3 || !files.empty()) << "the folder outside the code page gets files";
    for (const std::string& f : files) EXPECT_EQ(ReadWholeFile(out / f), ReadWholeFile(cli.path() / f)) << f;
    const std::string& box = script.seen()[1].text;
    EXPECT_TRUE(box.starts_with("Recovered " + std::to_string(files.size()) + " record") ||
                (files.empty() && box.starts_with("No runs"))) << box;
    EXPECT_TRUE(box.starts_with(StatusLine())) << StatusLine();
  }
}

// Cancel while a carved file is being written: the dialog's button stops the
// job at the next unit, and the unfinished file is gone with it.
TEST_F(UiTest, CancelInTheMiddleOfARecoveryLeavesNoTemporaryFile) {
  const test::TempDir dir, out;
  Command(IDM_SOURCE_ZEPV1);
  ui::ScanImageIntoList(window, SampleDisc(dir, {"--type", "zep", "--zero-directory"}));
  const auto writing = [&out] {
    for (const std::string& name : FilesIn(out.path())) {
      if (name.starts_with("~zep")) return true;
    }
    return false;
  };
  std::atomic<bool> midway{false};
  ui::g_jobReportHook = [&](ui::JobControl& control, std::uint64_t, std::uint64_t) {
    if (midway || !writing()) return;
    midway = true;
    PostMessageA(ui::g_shell.statusBar, WM_NULL, 0, 0);  // wakes the test's thread
    while (!control.cancelled()) Sleep(1);
  };
  DialogScript script({ChooseFolder(out.path().string())});
  Command(IDM_RECOVER_RECORDS);
  const HWND dialog = ui::JobDialog();
  ASSERT_NE(dialog, nullptr);
  for (MSG msg; !midway && ui::JobRunning() && GetMessageA(&msg, nullptr, 0, 0) > 0;) DispatchMessageA(&msg);
  ASSERT_TRUE(midway) << "no file was being written at any report";
  SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
  WaitForJob();
  ui::g_jobReportHook = nullptr;
  EXPECT_EQ(StatusLine(), "Recover Lost Records: cancelled");
  EXPECT_FALSE(writing());
  EXPECT_EQ(script.seen().size(), 1u) << "only the folder browser";
}

// The multi-select Open dialog: into folder first, then the names, quoted.
inline DialogAction ChooseFiles(const std::string& folder, const std::string& names) {
  using Choice = std::pair<std::string, std::string>;
  return [folder, names](HWND dialog) {
    SetPropA(dialog, "ZepFiles", new Choice(folder, names));
    SetTimer(dialog, 1, 20, [](HWND dialog, UINT, UINT_PTR, DWORD) {
      auto* choice = static_cast<Choice*>(GetPropA(dialog, "ZepFiles"));
      // A posted message comes before the next tick: the folder is open by then.
      if (!choice->first.empty()) {
        SetDlgItemTextA(dialog, cmb13, std::exchange(choice->first, "").c_str());
      } else {
        KillTimer(dialog, 1);
        SetDlgItemTextA(dialog, cmb13, choice->second.c_str());
        delete static_cast<Choice*>(RemovePropA(dialog, "ZepFiles"));
      }
      PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    });
  };
}

// Make Inventory runs the library zepconv inventory runs: the same table. A
// Cancel on the second disc leaves no temporary file, and the same command
// into the same folder goes on from there to index.html, opened in the browser.
TEST_F(UiTest, InventoryIsZepconvsAndACancelledOneIsResumed) {
  const test::TempDir dir, out, cli;
  SampleDisc(dir, {}, "a.img");
  SampleDisc(dir, {"--type", "zep", "--damaged"}, "b.img");
  std::vector<std::string> opened;
  ui::g_openDocument = [&opened](const std::string& path) {
    opened.push_back(path);
    return std::string("no program opens .html files");
  };
  const auto leftovers = [&out] {
    Names temps;
    for (const auto& e : fs::recursive_directory_iterator(out.path())) {
      if (e.path().filename().string().starts_with("~zep")) temps.push_back(e.path().string());
    }
    return temps;
  };
  std::atomic<bool> midway{false};
  ui::g_jobReportHook = [&](ui::JobControl& control, std::uint64_t done, std::uint64_t total) {
    if (midway || done < total * 3 / 4) return;
    midway = true;
    PostMessageA(ui::g_shell.statusBar, WM_NULL, 0, 0);
    while (!control.cancelled()) Sleep(1);
  };
  for (const bool cancel : {true, false}) {
    // Where the program writes netCDF it asks whether to: yes.
    std::vector<DialogAction> steps = {ChooseFiles(dir.path().string(), "\"a.img\" \"b.img\""),
                                       ChooseFolder(out.path().string())};
    if (HaveNetcdf()) steps.push_back(Press(IDYES));
    DialogScript script(steps);
    Command(IDM_MAKE_INVENTORY);
    ASSERT_TRUE(ui::JobRunning());
    if (cancel) {
      for (MSG msg; !midway && ui::JobRunning() && GetMessageA(&msg, nullptr, 0, 0) > 0;) DispatchMessageA(&msg);
      ASSERT_TRUE(midway);
      SendMessageA(ui::JobDialog(), WM_COMMAND, IDCANCEL, 0);
    }
    WaitForJob();
    ui::g_jobReportHook = nullptr;
    // The browser could not open the index: a box says so, with the path.
    const std::size_t asked = HaveNetcdf() ? 3u : 2u;
    ASSERT_EQ(script.seen().size(), cancel ? asked : asked + 1) << script.seen().back().text;
    EXPECT_TRUE(cancel ||
                script.seen()[asked].text == ui::IndexNotOpenedText(out.File("index.html"), "no program opens .html files"))
        << script.seen().back().text;
    EXPECT_TRUE(cancel ? StatusLine().starts_with("Inventory cancelled: ")
                       : StatusLine() == "Inventory of 2 discs in " + out.path().string() + ": 1 whole, 1 damaged")
        << StatusLine();
    EXPECT_EQ(leftovers(), Names{});
    EXPECT_EQ(opened.size(), cancel ? 0u : 1u);
  }
  ui::g_openDocument = nullptr;
  EXPECT_EQ(opened, Names{out.File("index.html")});
  std::vector<std::string> args = {"inventory", dir.File("a.img"), dir.File("b.img"), "--out", cli.path().string()};
  if (HaveNetcdf()) args.push_back("--netcdf");
  test::RunZepconv(args);
  EXPECT_EQ(test::ReadText(out.File("inventory.csv")), test::ReadText(cli.File("inventory.csv")));
  const auto netcdfFiles = [](const test::TempDir& box) {
    Names names;
    for (const auto& e : fs::recursive_directory_iterator(box.path())) {
      if (e.path().extension() == ".nc") names.push_back(fs::relative(e.path(), box.path()).string());
    }
    std::sort(names.begin(), names.end());
    return names;
  };
  EXPECT_EQ(netcdfFiles(out), netcdfFiles(cli));
  EXPECT_EQ(netcdfFiles(out).empty(), !HaveNetcdf());
}

// Make Inventory into a folder that holds a box already: the program itself
// removes nothing of it (whether the box keeps listing the earlier disc is the
// box library's to decide).
TEST_F(UiTest, InventoryIntoAnEarlierBoxRemovesNothingOfIt) {
  const test::TempDir dir, out;
  SampleDisc(dir, {}, "a.img");
  SampleDisc(dir, {"--type", "zep"}, "b.img");
  test::RunZepconv({"inventory", dir.File("a.img"), "--out", out.path().string()});
  Names before;
  for (const auto& e : fs::recursive_directory_iterator(out.path())) before.push_back(e.path().string());
  ui::g_openDocument = [](const std::string&) { return std::string(); };
  std::vector<DialogAction> steps = {ChooseFiles(dir.path().string(), "\"b.img\""), ChooseFolder(out.path().string())};
  if (HaveNetcdf()) steps.push_back(Press(IDNO));
  DialogScript script(steps);
  Command(IDM_MAKE_INVENTORY);
  WaitForJob();
  ui::g_openDocument = nullptr;
  EXPECT_EQ(script.seen().size(), steps.size()) << script.seen().back().text;
  for (const std::string& path : before) EXPECT_TRUE(fs::exists(path)) << path;
  // The box grows: the earlier disc stays listed beside the new one.
  const std::string listed = test::ReadText(out.File("inventory.json"));
  for (const char* image : {"\"image\": \"a.img\"", "\"image\": \"b.img\""}) {
    EXPECT_NE(listed.find(image), std::string::npos) << image;
  }
}

// A multi-select Open dialog gives one path alone, or a folder and its names.
TEST(DialogTest, SelectedFilesJoinTheFolderAndEachName) {
  using namespace std::string_view_literals;
  const std::pair<std::wstring_view, std::vector<std::wstring>> cases[] = {
      {L"C:\\box\\disc.img\0\0"sv, {L"C:\\box\\disc.img"}},
      {L"C:\\box\0one.img\0\u65E5.img\0\0"sv, {L"C:\\box\\one.img", L"C:\\box\\\u65E5.img"}},
      {L"D:\\\0one.img\0two.img\0\0"sv, {L"D:\\one.img", L"D:\\two.img"}},
      {L"\0\0"sv, {}},
  };
  for (const auto& [buffer, files] : cases) EXPECT_EQ(ui::SelectedFiles(buffer), files);
}

// The image a command line names, after the program's own name, in wide characters.
TEST(ProgramTest, TheCommandLineNamesTheImageWhole) {
  const std::pair<const wchar_t*, std::wstring> cases[] = {
      {L"\"C:\\Program Files\\ZepConverter.exe\" \"D:\\\u0394elta-\u65E5\u672C.img\"", L"D:\\\u0394elta-\u65E5\u672C.img"},
      {L"ZepConverter.exe D:\\disc one.img ", L"D:\\disc one.img"},
      {L"ZepConverter.exe", L""},
  };
  for (const auto& [line, image] : cases) EXPECT_EQ(app::ImageArgument(app::ArgumentsOf(line)), image);
}

// The desktop program as its own process: start, choose the mapped drive,
// scan, exit with code 0.
TEST(ProgramTest, StartsScansTheChosenDriveAndExitsWithCodeZero) {
  ThreeRecords().WriteFile(kDriveImagePath);
  std::string commandLine = ZEPCONVERTER_PATH;  // the host path; under Wine the host's root is Z:
  std::replace(commandLine.begin(), commandLine.end(), '/', '\\');
  commandLine = "\"Z:" + commandLine + "\"";
  STARTUPINFOA startup{.cb = sizeof startup};
  PROCESS_INFORMATION info{};
  ASSERT_TRUE(CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info));
  const HWND main = WaitFor(info.dwProcessId, "PLATTOR", nullptr);
  PostMessageA(main, WM_COMMAND, IDM_SELECT_DRIVE, 0);
  const HWND drives = WaitFor(info.dwProcessId, "#32770", "Select Drive/Volume");
  SendDlgItemMessageA(drives, IDC_DRIVE_LIST, CB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>("M:"));
  PostMessageA(drives, WM_COMMAND, IDOK, 0);
  EXPECT_EQ(WaitFor(info.dwProcessId, "PLATTOR", "ZEP Converter - BALTIC"), main);
  PostMessageA(main, WM_COMMAND, IDM_EXIT, 0);
  DWORD code = 99;
  if (WaitForSingleObject(info.hProcess, 20000) != WAIT_OBJECT_0) TerminateProcess(info.hProcess, 99);
  GetExitCodeProcess(info.hProcess, &code);
  EXPECT_EQ(code, 0u);
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
}

}  // namespace
}  // namespace zep::uitest
