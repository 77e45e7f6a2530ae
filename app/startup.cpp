#include "app/startup.h"

#include <commctrl.h>
#include <objbase.h>

#include "res/resource.h"
#include "ui/background_job.h"
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

std::string ImageArgument(const char* commandLine) {
  std::string_view line = commandLine ? commandLine : "";
  const auto trim = [&line] {
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
  };
  trim();
  if (!line.empty() && line.front() == '"') {
    line.remove_prefix(1);
    line = line.substr(0, line.find('"'));
    trim();
  }
  return std::string(line);
}

HWND StartMainWindow(HINSTANCE instance, int showCommand, const char* commandLine) {
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
  if (const std::string image = ImageArgument(commandLine); !image.empty()) ui::ScanImageIntoList(window, image);
  return window;
}

int RunMessageLoop(HACCEL accelerators) {
  MSG msg{};
  while (GetMessageA(&msg, nullptr, 0, 0)) {
    // The job's progress dialog takes Esc and Enter as dialogs do.
    if (const HWND job = ui::JobDialog(); job && IsDialogMessageA(job, &msg)) continue;
    if (!TranslateAcceleratorA(msg.hwnd, accelerators, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
  return static_cast<int>(msg.wParam);
}

int RunProgram(HINSTANCE instance, const char* commandLine, int showCommand) {
  // The shell's folder browser needs COM on this thread.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  int exitCode = 0;
  if (StartMainWindow(instance, showCommand, commandLine)) {
    exitCode = RunMessageLoop(LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDR_ACCELERATORS)));
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return exitCode;
}

}  // namespace zep::app
