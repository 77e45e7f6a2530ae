// Start-up, the main window and its children, layout, minimum size, the end
// of the program and the About box, driven in-process.

#include <array>
#include <thread>
#include <vector>

#include "app/startup.h"
#include "res/resource.h"
#include "tests/ui_harness.h"
#include "ui/dialogs.h"
#include "ui/shell_state.h"

namespace zep::uitest {
namespace {

using ui::g_shell;

using WindowTest = MainWindowTest;

std::string ClassName(HWND window) {
  char name[64] = "";
  GetClassNameA(window, name, sizeof name);
  return name;
}

SIZE IconSize(HICON icon) {
  ICONINFO info{};
  if (!GetIconInfo(icon, &info)) return {0, 0};
  BITMAP bitmap{};
  GetObjectA(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
  if (info.hbmColor) DeleteObject(info.hbmColor);
  DeleteObject(info.hbmMask);
  return {bitmap.bmWidth, bitmap.bmHeight};
}

TEST_F(WindowTest, StartsWithTheTitleClassAndLookOfTheResources) {
  EXPECT_EQ(Title(), "TK40 to ZEP Converter");
  EXPECT_EQ(ClassName(window), "PLATTOR");
  EXPECT_EQ(GetClassLongPtrA(window, GCL_STYLE), 0);
  EXPECT_EQ(GetClassLongPtrA(window, GCLP_HBRBACKGROUND), COLOR_MENU + 1);
  EXPECT_EQ(reinterpret_cast<HCURSOR>(GetClassLongPtrA(window, GCLP_HCURSOR)), LoadCursorA(nullptr, IDC_ARROW));
  const SIZE small = IconSize(reinterpret_cast<HICON>(GetClassLongPtrA(window, GCLP_HICONSM)));
  EXPECT_EQ(small.cx, 16);
  EXPECT_EQ(small.cy, 16);
  const SIZE large = IconSize(reinterpret_cast<HICON>(GetClassLongPtrA(window, GCLP_HICON)));
  EXPECT_EQ(large.cx, GetSystemMetrics(SM_CXICON));
  EXPECT_EQ(GetWindowLongA(window, GWL_STYLE) & WS_OVERLAPPEDWINDOW, WS_OVERLAPPEDWINDOW);
  EXPECT_TRUE(IsWindowVisible(window));

  // Asked for at 395 x 250; the platform widens the window to its minimum
  // tracking width at creation, as Windows does.
  RECT outer{};
  GetWindowRect(window, &outer);
  EXPECT_EQ(outer.right - outer.left, 397);
  EXPECT_EQ(outer.bottom - outer.top, 250);
}

TEST_F(WindowTest, AltQuestionMarkAndAltSlashOpenTheAboutBox) {
  const HACCEL table = LoadAcceleratorsA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_ACCELERATORS));
  ACCEL entries[4]{};
  ASSERT_EQ(CopyAcceleratorTableA(table, entries, 4), 2);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(entries[i].fVirt & ~FNOINVERT, FALT) << "characters with ALT, not virtual keys";
    EXPECT_EQ(entries[i].cmd, IDM_ABOUT);
  }
  EXPECT_EQ(entries[0].key, '?');
  EXPECT_EQ(entries[1].key, '/');

  // The keystroke as it arrives with ALT held down; the accelerator looks at
  // the keyboard state, not only at the message.
  BYTE keys[256] = {};
  GetKeyboardState(keys);
  keys[VK_MENU] = 0x80;
  SetKeyboardState(keys);
  for (char key : {'?', '/'}) {
    DialogScript script;
    script.Then(Press(IDOK));
    MSG msg{window, WM_SYSCHAR, static_cast<WPARAM>(key), 1 << 29, 0, {0, 0}};
    EXPECT_TRUE(TranslateAcceleratorA(window, table, &msg));
    ASSERT_EQ(script.seen().size(), 1u) << key;
    EXPECT_EQ(script.seen()[0].title, "About");
  }
  keys[VK_MENU] = 0;
  SetKeyboardState(keys);
}

TEST_F(WindowTest, ChildrenAreCreatedAsTheListAndStatusBarNeed) {
  EXPECT_EQ(ClassName(g_shell.statusBar), "msctls_statusbar32");
  EXPECT_EQ(GetParent(g_shell.statusBar), window);
  EXPECT_EQ(GetWindowLongA(g_shell.statusBar, GWL_STYLE) & SBARS_SIZEGRIP, 0);
  EXPECT_EQ(ClassName(g_shell.progressBar), "msctls_progress32");
  EXPECT_EQ(GetParent(g_shell.progressBar), g_shell.statusBar);
  RECT bar{};
  GetWindowRect(g_shell.progressBar, &bar);
  MapWindowPoints(nullptr, g_shell.statusBar, reinterpret_cast<POINT*>(&bar), 2);
  EXPECT_EQ(bar.left, 147);
  EXPECT_EQ(bar.top, 2);
  EXPECT_EQ(bar.bottom - bar.top, 18);

  EXPECT_EQ(ClassName(g_shell.recordList), "SysListView32");
  EXPECT_EQ(GetParent(g_shell.recordList), window);
  const LONG style = GetWindowLongA(g_shell.recordList, GWL_STYLE);
  EXPECT_EQ(style & LVS_TYPEMASK, LVS_REPORT);
  EXPECT_EQ(style & (LVS_SHOWSELALWAYS | LVS_NOSORTHEADER | LVS_SINGLESEL), LVS_SHOWSELALWAYS | LVS_NOSORTHEADER);
  EXPECT_TRUE(style & WS_VISIBLE);
  EXPECT_EQ(SendMessageA(g_shell.recordList, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0), LVS_EX_FULLROWSELECT);

  const char* titles[] = {"Record No.", "Name", "Date", "Start", "End", "Pings"};
  for (int c = 0; c < 6; ++c) {
    char text[32] = "";
    LVCOLUMNA column{};
    column.mask = LVCF_TEXT | LVCF_FMT | LVCF_SUBITEM;
    column.pszText = text;
    column.cchTextMax = sizeof text;
    ASSERT_TRUE(SendMessageA(g_shell.recordList, LVM_GETCOLUMNA, c, reinterpret_cast<LPARAM>(&column)));
    EXPECT_STREQ(text, titles[c]);
    EXPECT_EQ(column.fmt & LVCFMT_JUSTIFYMASK, LVCFMT_LEFT);
    EXPECT_EQ(column.iSubItem, c);
  }
  EXPECT_EQ(RowCount(), 0);
}

TEST_F(WindowTest, EveryResizeLaysOutListStatusPartsProgressBarAndColumns) {
  struct Case {
    int width;
    std::array<int, 6> columns;
    int secondPartEdge;
  };
  const Case cases[] = {
      {400, {75, 87, 75, 47, 47, 63}, 379},
      {100, {18, 21, 18, 11, 11, 15}, 79},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.width);
    // Widths the user dragged last only until the next resize.
    SendMessageA(g_shell.recordList, LVM_SETCOLUMNWIDTH, 1, 200);
    Resize(c.width, 300);
    for (int col = 0; col < 6; ++col) {
      EXPECT_EQ(SendMessageA(g_shell.recordList, LVM_GETCOLUMNWIDTH, col, 0), c.columns[col]) << col;
    }
    int edges[2] = {};
    ASSERT_EQ(SendMessageA(g_shell.statusBar, SB_GETPARTS, 2, reinterpret_cast<LPARAM>(edges)), 2);
    EXPECT_EQ(edges[0], 145);
    EXPECT_EQ(edges[1], c.secondPartEdge);
    RECT status{}, list{};
    GetClientRect(g_shell.statusBar, &status);
    GetWindowRect(g_shell.recordList, &list);
    EXPECT_EQ(list.right - list.left, c.width);
    EXPECT_EQ(list.bottom - list.top, 300 - status.bottom);
  }
  Resize(400, 300);
  RECT bar{};
  GetWindowRect(g_shell.progressBar, &bar);
  EXPECT_EQ(bar.right - bar.left, 231);
  EXPECT_EQ(bar.bottom - bar.top, 18);
}

// The window passes WM_GETMINMAXINFO on to the MDI child default although it
// is no MDI child. That must leave every limit but the minimum tracking size
// as the platform set it, and maximizing must work as for any window.
TEST_F(WindowTest, MinimumTrackingSizeIsSetAndMaximizingStillWorks) {
  MINMAXINFO info{};
  info.ptMaxSize = {1234, 567};
  info.ptMaxPosition = {-4, -5};
  info.ptMaxTrackSize = {2345, 678};
  SendMessageA(window, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
  EXPECT_EQ(info.ptMinTrackSize.x, 397);
  EXPECT_EQ(info.ptMinTrackSize.y, 150);
  EXPECT_EQ(info.ptMaxSize.x, 1234);
  EXPECT_EQ(info.ptMaxSize.y, 567);
  EXPECT_EQ(info.ptMaxPosition.x, -4);
  EXPECT_EQ(info.ptMaxPosition.y, -5);
  EXPECT_EQ(info.ptMaxTrackSize.x, 2345);
  EXPECT_EQ(info.ptMaxTrackSize.y, 678);

  // Dragged smaller than the minimum, the window keeps it.
  SetWindowPos(window, nullptr, 0, 0, 100, 60, SWP_NOMOVE | SWP_NOZORDER);
  RECT outer{};
  GetWindowRect(window, &outer);
  EXPECT_EQ(outer.right - outer.left, 397);
  EXPECT_EQ(outer.bottom - outer.top, 150);

  // Maximized, it takes the same place as a plain window of the same style.
  WNDCLASSA plainClass{};
  plainClass.lpfnWndProc = DefWindowProcA;
  plainClass.hInstance = GetModuleHandleA(nullptr);
  plainClass.lpszClassName = "ZepPlainWindow";
  RegisterClassA(&plainClass);
  const HWND plain = CreateWindowExA(0, "ZepPlainWindow", "plain", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0, 395, 250,
                                     nullptr, LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAIN_MENU)),
                                     GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(plain, nullptr);
  ShowWindow(plain, SW_MAXIMIZE);
  ShowWindow(window, SW_MAXIMIZE);
  RECT ours{}, theirs{};
  GetWindowRect(window, &ours);
  GetWindowRect(plain, &theirs);
  DestroyWindow(plain);
  EXPECT_TRUE(IsZoomed(window));
  EXPECT_EQ(ours.left, theirs.left);
  EXPECT_EQ(ours.top, theirs.top);
  EXPECT_EQ(ours.right, theirs.right);
  EXPECT_EQ(ours.bottom, theirs.bottom);
  EXPECT_GT(ours.right - ours.left, 397);
  RECT client{};
  GetClientRect(window, &client);
  EXPECT_EQ(SendMessageA(g_shell.recordList, LVM_GETCOLUMNWIDTH, 0, 0),
            static_cast<int>(client.right * static_cast<double>(0.19f)));
  ShowWindow(window, SW_RESTORE);
  EXPECT_FALSE(IsZoomed(window));
  GetWindowRect(window, &outer);
  EXPECT_EQ(outer.right - outer.left, 397);
}

TEST_F(WindowTest, ExitAndTheCloseBoxEndTheMessageLoopWithCodeZero) {
  const HACCEL table = LoadAcceleratorsA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_ACCELERATORS));
  for (const UINT message : {WM_COMMAND, WM_SYSCOMMAND}) {
    SCOPED_TRACE(message);
    if (!IsWindow(window)) window = app::StartMainWindow(GetModuleHandleA(nullptr), SW_SHOWNORMAL);
    SelectRows({0});  // nothing stops Exit, a selection neither
    if (message == WM_COMMAND) {
      PostMessageA(window, WM_COMMAND, IDM_EXIT, 0);
    } else {
      PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);  // the close box
    }
    EXPECT_EQ(app::RunMessageLoop(table), 0);
    EXPECT_FALSE(IsWindow(window));
  }
}

TEST_F(WindowTest, AboutBoxShowsNameAndIconAndClosesWithOkEnterEscOrCloseBox) {
  struct Case {
    const char* how;
    DialogAction answer;
    INT_PTR result;
  };
  const Case cases[] = {
      {"OK or Enter", Press(IDOK), IDOK},
      {"Esc", Press(IDCANCEL), IDCANCEL},
      {"close box", CloseBox(), IDCANCEL},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.how);
    DialogScript script;
    bool hasIcon = false;
    script.Then([&](HWND dialog) {
      hasIcon = SendDlgItemMessageA(dialog, IDC_ABOUT_ICON, STM_GETICON, 0, 0) != 0;
      c.answer(dialog);
    });
    EXPECT_EQ(DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_ABOUT), window, ui::AboutDialogProc, 0),
              c.result);
    ASSERT_EQ(script.seen().size(), 1u);
    EXPECT_EQ(script.seen()[0].title, "About");
    EXPECT_EQ(script.seen()[0].text, "TK40 Converter 2.0");
    EXPECT_TRUE(hasIcon);
  }
  DialogScript script;
  script.Then(Press(IDOK));
  Command(IDM_ABOUT);
  ASSERT_EQ(script.seen().size(), 1u);
  EXPECT_EQ(script.seen()[0].title, "About");
}

}  // namespace
}  // namespace zep::uitest

namespace zep::uitest {
namespace {

struct HelpBox {
  std::string text;
  bool answered = false;
};

BOOL CALLBACK ReadHelpBoxText(HWND child, LPARAM param) {
  char text[512] = "";
  GetWindowTextA(child, text, sizeof text);
  auto* box = reinterpret_cast<HelpBox*>(param);
  if (text[0] != '\0') box->text += std::string(text) + "\n";
  return TRUE;
}

// F1 asks the help system for the contents of "Plattor.hlp". Wine's help
// viewer, another process, answers that the file is missing with a modal box
// and keeps the call waiting until that box is answered.
TEST_F(WindowTest, HelpOpensThePlattorHelpFilesContents) {
  HelpBox box;
  std::thread answerer([&box] {
    for (int i = 0; i < 400 && !box.answered; ++i) {
      if (const HWND dialog = FindWindowA("#32770", "ERROR")) {
        EnumChildWindows(dialog, ReadHelpBoxText, reinterpret_cast<LPARAM>(&box));
        PostMessageA(dialog, WM_COMMAND, IDNO, 0);
        box.answered = true;
      }
      Sleep(50);
    }
  });
  HELPINFO info{};
  info.cbSize = sizeof info;
  EXPECT_EQ(SendMessageA(window, WM_HELP, 0, reinterpret_cast<LPARAM>(&info)), 0);
  answerer.join();
  EXPECT_TRUE(box.answered);
  EXPECT_NE(box.text.find("Plattor.hlp"), std::string::npos) << box.text;
  WinHelpA(window, nullptr, HELP_QUIT, 0);
}

}  // namespace
}  // namespace zep::uitest
