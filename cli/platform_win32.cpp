#include <windows.h>

#include <cctype>
#include <cstdlib>

#include "cli/platform.h"
#include "disc/ascii.h"
#include "disc/file.h"

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
  return AsciiUpper(source[0]);
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

namespace zep::cli {
namespace {
volatile LONG namedOne = 0;
const char* volatile hint = nullptr;
const char* volatile subject = nullptr;

void WriteLine(const char* path) {
  char line[4200];
  const DWORD size = static_cast<DWORD>(InterruptLine(path, line, sizeof line));
  DWORD done = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), line, size, &done, nullptr);
}

void ReportUnfinished(const char* path) {
  namedOne = 1;
  WriteLine(path);
}

// Runs on a thread of its own while the command goes on. Holding the
// outputs (AbandonUnfinishedOutputs) stops the command at its next step
// that touches them; the process then ends at once, without the C runtime's
// exit, which would wait on locks the stopped command may hold. Closing its
// handles deletes the temporary files that carry the delete mark.
BOOL WINAPI OnConsoleEvent(DWORD event) {
  // The numbers of the C runtime's signals: SIGINT 2, SIGBREAK 21; a closed
  // console or an ended session is a hangup (1), as on a terminal.
  const UINT status = event == CTRL_C_EVENT ? 130 : event == CTRL_BREAK_EVENT ? 128 + 21 : 128 + 1;
  AbandonUnfinishedOutputs(ReportUnfinished);
  if (!namedOne) WriteLine(subject);
  if (const char* h = hint) {
    DWORD n = 0, done = 0;
    while (h[n] != '\0') ++n;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), h, n, &done, nullptr);
  }
  if (savedOutputCodePage != 0 && savedOutputCodePage != CP_UTF8) SetConsoleOutputCP(savedOutputCodePage);
  TerminateProcess(GetCurrentProcess(), status);
  return TRUE;
}
}  // namespace

void SetInterruptHint(const char* line) { hint = line; }
void SetInterruptSubject(const char* what) { subject = what; }

void HandleInterrupts() { SetConsoleCtrlHandler(OnConsoleEvent, TRUE); }

}  // namespace zep::cli
