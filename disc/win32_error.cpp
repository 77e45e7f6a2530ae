#include "disc/win32_error.h"

#include <windows.h>

namespace zep {

std::string WindowsErrorString(unsigned long code) {
  char text[512] = {};
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                           MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text, sizeof text, nullptr);
  while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == ' ' || text[n - 1] == '.')) --n;
  std::string s(text, n);
  if (s.empty()) s = "error";
  return s + " (code " + std::to_string(code) + ")";
}

std::string LastErrorReason() { return WindowsErrorString(GetLastError()); }

std::string LastErrorText(const std::string& subject) { return subject + ": " + LastErrorReason(); }

}  // namespace zep
