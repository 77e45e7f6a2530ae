#include "app/startup.h"

#include <commctrl.h>
#include <objbase.h>

#include <string_view>

#include "res/resource.h"
#include "ui/background_job.h"
#include "ui/check_window.h"
#include "ui/commands.h"
#include "ui/main_window.h"
#include "ui/shell_state.h"

namespace zep::app {
namespace {

using ui::g_shell;

void RegisterMainWindowClass(HINSTANCE instance) {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.style = 0;
  wc.lpfnWndProc = ui::MainWindowProc;
  wc.hInstance = instance;
  wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_PROGRAM));
  wc.hIconSm = static_cast<HICON>(
      LoadImageA(instance, MAKEINTRESOURCEA(IDI_PROGRAM), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR));
  wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_MENU + 1);
  wc.lpszMenuName = MAKEINTRESOURCEA(IDR_MAIN_MENU);
  wc.lpszClassName = g_shell.className;
  RegisterClassExA(&wc);
}

}  // namespace

std::wstring ImageArgument(const wchar_t* commandLine) {
  std::wstring_view line = commandLine ? commandLine : L"";
  const auto trim = [&line] {
    while (!line.empty() && (line.front() == L' ' || line.front() == L'\t')) line.remove_prefix(1);
    while (!line.empty() && (line.back() == L' ' || line.back() == L'\t')) line.remove_suffix(1);
  };
  trim();
  if (!line.empty() && line.front() == L'"') {
    line.remove_prefix(1);
    line = line.substr(0, line.find(L'"'));
    trim();
  }
  return std::wstring(line);
}

const wchar_t* ArgumentsOf(const wchar_t* fullCommandLine) {
  const wchar_t* at = fullCommandLine ? fullCommandLine : L"";
  // The program's name: up to the closing quote, or to the first blank.
  if (*at == L'"') {
    for (++at; *at && *at != L'"'; ++at) continue;
    if (*at) ++at;
  } else {
    while (*at && *at != L' ' && *at != L'\t') ++at;
  }
  return at;
}

HWND StartMainWindow(HINSTANCE instance, int showCommand, const wchar_t* commandLine) {
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof controls;
  controls.dwICC = ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS;
  InitCommonControlsEx(&controls);
  LoadStringA(instance, IDS_APP_TITLE, g_shell.title, sizeof g_shell.title);
  LoadStringA(instance, IDS_CLASS_NAME, g_shell.className, sizeof g_shell.className);
  RegisterMainWindowClass(instance);

  g_shell.instance = instance;
  const HWND window = CreateWindowExA(0, g_shell.className, g_shell.title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0,
                                      395, 250, nullptr, nullptr, instance, nullptr);
  if (!window) return nullptr;
  ShowWindow(window, showCommand);
  UpdateWindow(window);
  // "Open with" and shortcuts start the program with the image to open.
  if (const std::wstring image = ImageArgument(commandLine); !image.empty()) ui::ScanImageIntoList(window, image);
  return window;
}

int RunMessageLoop(HACCEL accelerators) {
  MSG msg{};
  while (GetMessageA(&msg, nullptr, 0, 0)) {
    // The job's progress dialog takes Esc and Enter as dialogs do.
    if (const HWND job = ui::JobDialog(); job && IsDialogMessageA(job, &msg)) continue;
    // The check window takes Esc (Close) and Tab as a dialog does.
    if (ui::IsCheckWindowMessage(&msg)) continue;
    if (!TranslateAcceleratorA(msg.hwnd, accelerators, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
  return static_cast<int>(msg.wParam);
}

int RunProgram(HINSTANCE instance, int showCommand) {
  // The shell's folder browser needs COM on this thread.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  int exitCode = 0;
  if (StartMainWindow(instance, showCommand, ArgumentsOf(GetCommandLineW()))) {
    exitCode = RunMessageLoop(LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDR_ACCELERATORS)));
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return exitCode;
}

}  // namespace zep::app
