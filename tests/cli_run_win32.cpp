#include <windows.h>

#include <algorithm>
#include <stdexcept>
#include <string>

#include "tests/cli_run.h"

namespace zep::test {
namespace {

// One argument as the C runtime splits the command line again: backslashes
// before a quote, and before the closing quote, are doubled.
std::string Quote(const std::string& arg) {
  std::string q = "\"";
  std::size_t backslashes = 0;
  for (char c : arg) {
    if (c == '"') q.append(backslashes + 1, '\\');
    backslashes = c == '\\' ? backslashes + 1 : 0;
    q += c;
  }
  return q.append(backslashes, '\\') + "\"";
}

BOOL WINAPI IgnoreCtrlC(DWORD) { return TRUE; }

bool TemporaryIn(const std::string& folder) {
  WIN32_FIND_DATAA entry;
  const HANDLE find = FindFirstFileA((folder + "\\~zep*").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return false;
  FindClose(find);
  return true;
}

// Ctrl+C goes to every process of the console: the test's own handler
// swallows it, and the tool has one of its own (handlers are not inherited).
void PressCtrlCWhenWriting(HANDLE process, const std::string& folder) {
  SetConsoleCtrlHandler(IgnoreCtrlC, TRUE);
  while (WaitForSingleObject(process, 10) == WAIT_TIMEOUT) {
    if (!TemporaryIn(folder)) continue;
    if (!GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) {
      throw std::runtime_error("Ctrl+C could not be sent: error " + std::to_string(GetLastError()));
    }
    return;
  }
  throw std::runtime_error("the tool ended before a temporary file appeared in " + folder);
}

}  // namespace

int RunProcess(std::vector<std::string> args, const std::string& out, const std::string& err,
               const std::string& ctrlCWhenIn) {
  // A console of its own before the tool starts, so that the tool shares it:
  // the one a test inherits under Wine passes on no Ctrl+C events.
  if (!ctrlCWhenIn.empty()) {
    FreeConsole();
    if (!AllocConsole()) throw std::runtime_error("no console for Ctrl+C: error " + std::to_string(GetLastError()));
  }
  // The build gives the tool's host path; under Wine the host's root is Z:.
  if (args[0][0] == '/') args[0] = "Z:" + args[0];
  std::replace(args[0].begin(), args[0].end(), '/', '\\');
  std::string commandLine;
  for (std::string& a : args) commandLine += (commandLine.empty() ? "" : " ") + Quote(a);
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  auto open = [&](const char* path, DWORD access, DWORD disposition) {
    return CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, disposition, 0, nullptr);
  };
  STARTUPINFOA si{.cb = sizeof si, .dwFlags = STARTF_USESTDHANDLES};
  si.hStdInput = open("NUL", GENERIC_READ, OPEN_EXISTING);
  si.hStdOutput = open(out.c_str(), GENERIC_WRITE, CREATE_ALWAYS);
  si.hStdError = open(err.c_str(), GENERIC_WRITE, CREATE_ALWAYS);
  PROCESS_INFORMATION pi{};
  // Wine once refused to start a tool in the middle of the suite, and the
  // same test passed when run again: three tries, and the error said when
  // all fail.
  BOOL started = FALSE;
  DWORD error = 0;
  for (int attempt = 0; attempt < 3 && !started; ++attempt) {
    if (attempt > 0) Sleep(500);
    started = CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    if (!started) error = GetLastError();
  }
  for (HANDLE h : {si.hStdInput, si.hStdOutput, si.hStdError}) CloseHandle(h);
  if (!started) throw std::runtime_error("cannot start " + commandLine + ": error " + std::to_string(error));
  if (!ctrlCWhenIn.empty()) PressCtrlCWhenWriting(pi.hProcess, ctrlCWhenIn);
  WaitForSingleObject(pi.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return static_cast<int>(code);
}

}  // namespace zep::test
