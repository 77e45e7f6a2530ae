// The desktop program itself, as its own process: start, choose the mapped
// drive, scan, select, convert into a folder, exit with code 0. Driven from
// outside by posting what the user's actions post.

#include <shlobj.h>

#include <filesystem>
#include <functional>

#include "convert/convert.h"
#include "res/resource.h"
#include "tests/support/temp_dir.h"
#include "tests/ui_harness.h"
#include "ui/dialogs.h"

namespace zep::uitest {
namespace {

using test::DiscImage;
using test::ReadWholeFile;
using test::TempDir;

// The build gives the program's host path; under Wine the host's root is Z:.
std::string ProgramPath() {
  std::string path = ZEPCONVERTER_PATH;
  if (!path.empty() && path[0] == '/') {
    for (char& c : path)
      if (c == '/') c = '\\';
    path = "Z:" + path;
  }
  return path;
}

// Polls until found() gives a window, for at most 20 seconds.
HWND WaitFor(const std::function<HWND()>& found) {
  for (int i = 0; i < 400; ++i) {
    if (const HWND window = found()) return window;
    Sleep(50);
  }
  return nullptr;
}

struct Search {
  DWORD process;
  const char* className;
  const char* title;  // null: any
  HWND found = nullptr;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<Search*>(param);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  char className[64] = "", title[128] = "";
  GetClassNameA(window, className, sizeof className);
  GetWindowTextA(window, title, sizeof title);
  if (process == search->process && std::string(className) == search->className &&
      (!search->title || std::string(title) == search->title) && IsWindowVisible(window)) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

HWND TopWindow(DWORD process, const char* className, const char* title = nullptr) {
  Search search{process, className, title};
  EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::string TextOf(HWND window) {
  char text[128] = "";
  GetWindowTextA(window, text, sizeof text);
  return text;
}

class Program {
 public:
  Program() {
    std::string commandLine = "\"" + ProgramPath() + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    started_ = CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                              &info_);
  }
  ~Program() {
    if (!started_) return;
    if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(info_.hProcess, 99);
    CloseHandle(info_.hThread);
    CloseHandle(info_.hProcess);
  }
  bool started() const { return started_; }

  DWORD id() const { return info_.dwProcessId; }
  // The exit code, or -1 when the program has not ended within 20 seconds.
  long ExitCode() const {
    DWORD code = 0;
    if (WaitForSingleObject(info_.hProcess, 20000) != WAIT_OBJECT_0) return -1;
    GetExitCodeProcess(info_.hProcess, &code);
    return static_cast<long>(code);
  }
  // A string in the program's memory, for messages that carry a pointer.
  LPARAM Copy(const std::string& text) const {
    void* remote = VirtualAllocEx(info_.hProcess, nullptr, text.size() + 1, MEM_COMMIT, PAGE_READWRITE);
    WriteProcessMemory(info_.hProcess, remote, text.c_str(), text.size() + 1, nullptr);
    return reinterpret_cast<LPARAM>(remote);
  }

 private:
  BOOL started_ = FALSE;
  PROCESS_INFORMATION info_{};
};

TEST(ProgramTest, StartsScansConvertsTheSelectedRecordAndExitsWithCodeZero) {
  DiscImage image(SourceType::Tk40);
  image.Entry(0, {.name = "SURVEY1", .first = 0, .second = 2}).Entry(4, {.name = "HARBOUR", .first = 2, .second = 5});
  for (int b = 0; b < 5; ++b) image.Block(b, test::Tk40Block().Samples(static_cast<std::uint32_t>(b)).ModeCode(1));
  image.Label("BALTIC-08");
  MapDiscImage(image);
  const TempDir out, scratch;

  Program program;
  ASSERT_TRUE(program.started()) << ProgramPath();
  const HWND main = WaitFor([&] { return TopWindow(program.id(), "PLATTOR"); });
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(TextOf(main), "TK40 to ZEP Converter");
  const HWND list = FindWindowExA(main, nullptr, "SysListView32", nullptr);
  ASSERT_NE(list, nullptr);

  // File > Select Source Drive..., then "M:" in the drive list and OK.
  PostMessageA(main, WM_COMMAND, IDM_SELECT_DRIVE, 0);
  const HWND drives = WaitFor([&] { return TopWindow(program.id(), "#32770", "Select Drive/Volume"); });
  ASSERT_NE(drives, nullptr);
  const std::vector<std::string> entries = ui::DriveEntries(GetLogicalDrives());
  const auto m = std::find(entries.begin(), entries.end(), "M:");
  ASSERT_NE(m, entries.end());
  SendDlgItemMessageA(drives, IDC_DRIVE_LIST, CB_SETCURSEL, static_cast<WPARAM>(m - entries.begin()), 0);
  PostMessageA(drives, WM_COMMAND, IDOK, 0);
  ASSERT_NE(WaitFor([&] { return TextOf(main) == "ZEP Converter - BALTIC-08" ? main : nullptr; }), nullptr)
      << TextOf(main);
  EXPECT_EQ(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0), 2);

  // The second row by keyboard, then File > Convert Records to ZEP into out.
  PostMessageA(list, WM_KEYDOWN, VK_END, 0);
  ASSERT_NE(WaitFor([&] { return SendMessageA(list, LVM_GETSELECTEDCOUNT, 0, 0) == 1 ? list : nullptr; }), nullptr);
  EXPECT_EQ(SendMessageA(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED), 1);
  PostMessageA(main, WM_COMMAND, IDM_CONVERT, 0);
  const HWND browser = WaitFor([&] { return TopWindow(program.id(), "#32770", "Browse for Folder"); });
  ASSERT_NE(browser, nullptr);
  // The browser may still be filling its tree when it shows: the folder is
  // asked for until it is the selected item, several levels below the desktop.
  const HWND tree = FindWindowExA(browser, nullptr, WC_TREEVIEWA, nullptr);
  ASSERT_NE(tree, nullptr);
  const auto depth = [tree] {
    int levels = 0;
    for (LPARAM item = SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CARET, 0); item;
         item = SendMessageA(tree, TVM_GETNEXTITEM, TVGN_PARENT, item)) {
      ++levels;
    }
    return levels;
  };
  const LPARAM folder = program.Copy(out.path().string());
  ASSERT_NE(WaitFor([&] {
              if (depth() > 3) return tree;
              PostMessageA(browser, BFFM_SETSELECTIONA, TRUE, folder);
              return HWND{};
            }),
            nullptr);
  PostMessageA(browser, WM_COMMAND, IDOK, 0);
  ASSERT_NE(WaitFor([&] { return IsWindow(browser) ? nullptr : main; }), nullptr);

  // Posted now, Exit comes after the run.
  PostMessageA(main, WM_COMMAND, IDM_EXIT, 0);
  EXPECT_EQ(program.ExitCode(), 0);

  RecordDirectory dir{};
  std::copy_n(image.bytes().begin(), dir.size(), dir.begin());
  ConvertTk40Record(scratch.File("core.zep"), dir, 4, VolumeAt(kDriveImagePath));
  ASSERT_TRUE(std::filesystem::exists(out.File("HARBOUR.ZEP")));
  EXPECT_EQ(ReadWholeFile(out.File("HARBOUR.ZEP")), ReadWholeFile(scratch.File("core.zep")));
  EXPECT_FALSE(std::filesystem::exists(out.File("SURVEY1.ZEP")));
}

}  // namespace
}  // namespace zep::uitest
