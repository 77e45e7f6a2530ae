// Runs the built zepconv as a separate process, the way scripts run it: no
// terminal, empty stdin, both output streams captured in files.

#include "tests/cli_run.h"

#include <algorithm>
#include <stdexcept>

#include "tests/support/temp_dir.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
extern char** environ;
#endif

namespace zep::test {
namespace {

#ifdef _WIN32
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

int Run(std::vector<std::string> args, const std::string& out, const std::string& err) {
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
  const BOOL started = CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
  for (HANDLE h : {si.hStdInput, si.hStdOutput, si.hStdError}) CloseHandle(h);
  if (!started) throw std::runtime_error("cannot start " + commandLine);
  WaitForSingleObject(pi.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return static_cast<int>(code);
}
#else
int Run(std::vector<std::string> args, const std::string& out, const std::string& err) {
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  if (spawned != 0 || waitpid(pid, &status, 0) != pid) throw std::runtime_error("cannot run " + args[0]);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
#endif

// The tool's streams are in text mode: on Windows lines end in CR LF.
std::string TextOf(const std::string& path) {
  std::string text;
  for (std::uint8_t b : ReadWholeFile(path))
    if (b != '\r') text += static_cast<char>(b);
  return text;
}

}  // namespace

ToolRun RunZepconv(const std::vector<std::string>& args) {
  const TempDir capture;
  std::vector<std::string> all{ZEPCONV_PATH};
  all.insert(all.end(), args.begin(), args.end());
  const int status = Run(all, capture.File("out.txt"), capture.File("err.txt"));
  return {status, TextOf(capture.File("out.txt")), TextOf(capture.File("err.txt"))};
}

}  // namespace zep::test
