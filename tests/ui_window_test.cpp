// The main window's layout and minimum size, the About box and F1, driven
// in-process; and the desktop program itself as its own process, driven from
// outside by posting what the user's actions post.

#include <shlobj.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <memory>
#include <thread>
#include <utility>

#include "res/resource.h"
#include "tests/support/temp_dir.h"
#include "tests/ui_harness.h"
#include "ui/shell_state.h"

namespace zep::uitest {
namespace {

using ui::g_shell;
using WindowTest = MainWindowTest;

std::pair<long, long> Size(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  return {rect.right - rect.left, rect.bottom - rect.top};
}

TEST_F(WindowTest, EveryResizeLaysOutListStatusPartsProgressBarAndColumns) {
  struct Case {
    long width;
    std::array<int, 6> columns;
    int secondPartEdge;
    long barWidth;
  };
  // The single-precision shares lie below 0.19, 0.22, ...: whole products lose a pixel.
  const Case cases[] = {
      {400, {75, 87, 75, 47, 47, 63}, 379, 231},
      {100, {18, 21, 18, 11, 11, 15}, 79, 0},  // the bar's negative width stops at 0
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.width);
    // Widths the user dragged last only until the next resize.
    SendMessageA(g_shell.recordList, LVM_SETCOLUMNWIDTH, 1, 200);
    SendMessageA(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(c.width, 300));
    for (int col = 0; col < 6; ++col) {
      EXPECT_EQ(SendMessageA(g_shell.recordList, LVM_GETCOLUMNWIDTH, col, 0), c.columns[col]) << col;
    }
    int edges[2] = {};
    EXPECT_EQ(SendMessageA(g_shell.statusBar, SB_GETPARTS, 2, reinterpret_cast<LPARAM>(edges)), 2);
    EXPECT_EQ(std::pair(edges[0], edges[1]), std::pair(145, c.secondPartEdge));
    EXPECT_EQ(Size(g_shell.recordList), std::pair(c.width, 300 - Size(g_shell.statusBar).second));
    EXPECT_EQ(Size(g_shell.progressBar).first, c.barWidth);
  }
}

// The window passes WM_GETMINMAXINFO on to the MDI child default although it
// is no MDI child. That must leave every limit but the minimum tracking size
// as the platform set it, and maximizing must work as for any window.
TEST_F(WindowTest, MinimumTrackingSizeIsSetAndMaximizingStillWorks) {
  EXPECT_EQ(Size(window).first, 397) << "asked for 395 wide, opened at the minimum";
  MINMAXINFO info{.ptMaxSize = {1234, 567}, .ptMaxPosition = {-4, -5}, .ptMaxTrackSize = {2345, 678}};
  SendMessageA(window, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
  const auto xy = [](POINT p) { return std::pair(p.x, p.y); };
  using XY = std::pair<long, long>;
  EXPECT_EQ((std::array{xy(info.ptMinTrackSize), xy(info.ptMaxSize), xy(info.ptMaxPosition), xy(info.ptMaxTrackSize)}),
            (std::array{XY(397, 150), XY(1234, 567), XY(-4, -5), XY(2345, 678)}));

  SetWindowPos(window, nullptr, 0, 0, 100, 60, SWP_NOMOVE | SWP_NOZORDER);  // dragged smaller
  EXPECT_EQ(Size(window), std::pair(397L, 150L));

  // Maximized, it takes the same place as a plain window of the same style.
  const HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA plainClass{.lpfnWndProc = DefWindowProcA, .hInstance = instance, .lpszClassName = "ZepPlainWindow"};
  RegisterClassA(&plainClass);
  const HWND plain = CreateWindowExA(0, "ZepPlainWindow", "", WS_OVERLAPPEDWINDOW, 0, 0, 395, 250, nullptr,
                                     LoadMenuA(instance, MAKEINTRESOURCEA(IDR_MAIN_MENU)), instance, nullptr);
  ShowWindow(plain, SW_MAXIMIZE);
  ShowWindow(window, SW_MAXIMIZE);
  RECT ours{}, theirs{};
  GetWindowRect(window, &ours);
  GetWindowRect(plain, &theirs);
  DestroyWindow(plain);
  EXPECT_TRUE(EqualRect(&ours, &theirs));
  EXPECT_GT(ours.right - ours.left, 397);
  ShowWindow(window, SW_RESTORE);
  EXPECT_EQ(Size(window).first, 397);
}

TEST_F(WindowTest, AboutBoxClosesWithOkOrEsc) {
  for (const int button : {IDOK, IDCANCEL}) {
    DialogScript script({Press(button)});
    Command(IDM_ABOUT);  // returns once the box is closed
    ASSERT_EQ(script.seen().size(), 1u) << button;
    EXPECT_EQ(script.seen()[0].title, "About");
  }
}

// F1 asks the help system for the contents of "Plattor.hlp". Wine's help
// viewer, another process, answers that the file is missing with a modal box
// and keeps the call waiting until that box is answered.
TEST_F(WindowTest, HelpOpensThePlattorHelpFilesContents) {
  std::string text;
  std::thread answerer([&text] {
    if (const HWND box = WaitFor([] { return TopWindow(0, "#32770", "ERROR"); })) {
      text = StaticTexts(box);
      PostMessageA(box, WM_COMMAND, IDNO, 0);
    }
  });
  HELPINFO info{.cbSize = sizeof info};
  SendMessageA(window, WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
  answerer.join();
  EXPECT_NE(text.find("Plattor.hlp"), std::string::npos) << text;
  WinHelpA(window, nullptr, HELP_QUIT, 0);
}

// Start, choose the mapped drive, scan, select, convert into a folder, exit.
TEST(ProgramTest, StartsScansConvertsTheSelectedRecordAndExitsWithCodeZero) {
  test::DiscImage image(SourceType::Tk40);
  image.Entry(0, {.name = "SURVEY1", .first = 0, .second = 2}).Entry(4, {.name = "HARBOUR", .first = 2, .second = 5});
  for (int b = 0; b < 5; ++b) image.Block(b, test::Tk40Block().Samples(static_cast<std::uint32_t>(b)).ModeCode(1));
  image.Label("BALTIC-08").WriteFile(kDriveImagePath);
  const test::TempDir out;

  // The build gives the program's host path; under Wine the host's root is Z:.
  std::string commandLine = ZEPCONVERTER_PATH;
  std::replace(commandLine.begin(), commandLine.end(), '/', '\\');
  commandLine = "\"" + std::string(commandLine[0] == '\\' ? "Z:" : "") + commandLine + "\"";
  STARTUPINFOA startup{.cb = sizeof startup};
  PROCESS_INFORMATION info{};
  ASSERT_TRUE(CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
      << commandLine;
  CloseHandle(info.hThread);
  const std::unique_ptr<void, void (*)(HANDLE)> process(info.hProcess, [](HANDLE p) {
    TerminateProcess(p, 99);  // nothing when it has ended
    CloseHandle(p);
  });
  const DWORD id = info.dwProcessId;

  const HWND main = WaitFor([&] { return TopWindow(id, "PLATTOR"); });
  ASSERT_NE(main, nullptr);
  const HWND list = FindWindowExA(main, nullptr, "SysListView32", nullptr);

  // File > Select Source Drive..., then "M:" in the drive list and OK.
  PostMessageA(main, WM_COMMAND, IDM_SELECT_DRIVE, 0);
  const HWND drives = WaitFor([&] { return TopWindow(id, "#32770", "Select Drive/Volume"); });
  ASSERT_NE(drives, nullptr);
  SendDlgItemMessageA(drives, IDC_DRIVE_LIST, CB_SELECTSTRING, static_cast<WPARAM>(-1),
                      reinterpret_cast<LPARAM>("M:"));  // the platform copies it across
  PostMessageA(drives, WM_COMMAND, IDOK, 0);
  ASSERT_NE(WaitFor([&] { return WindowText(main) == "ZEP Converter - BALTIC-08" ? main : nullptr; }), nullptr)
      << WindowText(main);

  // The second row by keyboard, then File > Convert Records to ZEP into out.
  PostMessageA(list, WM_KEYDOWN, VK_END, 0);
  ASSERT_NE(WaitFor([&] { return SendMessageA(list, LVM_GETSELECTEDCOUNT, 0, 0) == 1 ? list : nullptr; }), nullptr);
  PostMessageA(main, WM_COMMAND, IDM_CONVERT, 0);
  const HWND browser = WaitFor([&] { return TopWindow(id, "#32770", "Browse for Folder"); });
  ASSERT_NE(browser, nullptr);
  // The browser may still be filling its tree when it shows: the folder is
  // asked for until it is the selected item, several levels below the desktop.
  const HWND tree = FindWindowExA(browser, nullptr, WC_TREEVIEWA, nullptr);
  // The browser's own message carries a pointer into the program's memory.
  const std::string path = out.path().string();
  void* folder = VirtualAllocEx(info.hProcess, nullptr, path.size() + 1, MEM_COMMIT, PAGE_READWRITE);
  WriteProcessMemory(info.hProcess, folder, path.c_str(), path.size() + 1, nullptr);
  ASSERT_NE(WaitFor([&] {
              int depth = 0;
              for (LPARAM item = SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CARET, 0); item;
                   item = SendMessageA(tree, TVM_GETNEXTITEM, TVGN_PARENT, item)) {
                ++depth;
              }
              if (depth <= 3) PostMessageA(browser, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(folder));
              return depth > 3 ? tree : nullptr;
            }),
            nullptr);
  PostMessageA(browser, WM_COMMAND, IDOK, 0);

  // Posted after the browser's end, Exit comes after the run.
  ASSERT_NE(WaitFor([&] { return IsWindow(browser) ? nullptr : main; }), nullptr);
  PostMessageA(main, WM_COMMAND, IDM_EXIT, 0);
  DWORD code = 99;
  ASSERT_EQ(WaitForSingleObject(info.hProcess, 20000), WAIT_OBJECT_0);
  GetExitCodeProcess(info.hProcess, &code);
  EXPECT_EQ(code, 0u);
  // Its bytes are the core's, as the in-process runs show.
  EXPECT_GT(std::filesystem::file_size(out.File("HARBOUR.ZEP")), 0u);
  EXPECT_FALSE(std::filesystem::exists(out.File("SURVEY1.ZEP")));
}

}  // namespace
}  // namespace zep::uitest
