#include <windows.h>

#include <cctype>
#include <cstdlib>

#include "cli/platform.h"

namespace zep::cli {

bool StderrIsTerminal() {
  // A console answers GetConsoleMode; a pipe or a file does not.
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

std::optional<char> DriveLetterOf(const std::string& source) {
  if (source.size() != 2 || source[1] != ':' || !std::isalpha(static_cast<unsigned char>(source[0]))) {
    return std::nullopt;
  }
  return static_cast<char>(std::toupper(static_cast<unsigned char>(source[0])));
}

// The ANSI file functions take the bytes as the Windows program passes them.
std::string NativeFileName(std::string_view name) { return std::string(name); }

namespace {
UINT savedOutputCodePage = 0;
void RestoreConsole() { SetConsoleOutputCP(savedOutputCodePage); }
}  // namespace

// The console keeps its code page after the program ends, so the one it had
// is put back.
void PrepareConsole() {
  savedOutputCodePage = GetConsoleOutputCP();
  if (savedOutputCodePage == 0 || savedOutputCodePage == CP_UTF8) return;  // no console, or already UTF-8
  SetConsoleOutputCP(CP_UTF8);
  std::atexit(RestoreConsole);
}

}  // namespace zep::cli
