#include <windows.h>

#include <stdexcept>

#include "tests/cli_run.h"
#include "tests/support/temp_dir.h"

namespace zep::test {
namespace {

// One argument as the C runtime splits the command line again.
std::string Quote(const std::string& arg) {
  std::string q = "\"";
  std::size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
    } else {
      // Backslashes before a quote are escaped, the quote too.
      if (c == '"') q.append(backslashes + 1, '\\');
      backslashes = 0;
    }
    q += c;
  }
  q.append(backslashes, '\\');  // before the closing quote
  return q + "\"";
}

// The build gives the tool's host path; under Wine the host's root is Z:.
std::string ToolPath() {
  std::string path = ZEPCONV_PATH;
  if (!path.empty() && path[0] == '/') {
    for (char& c : path)
      if (c == '/') c = '\\';
    path = "Z:" + path;
  }
  return path;
}

HANDLE Capture(const std::string& path) {
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                         nullptr);
  if (h == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot create " + path);
  return h;
}

// The tool's streams are in text mode: lines end in CR LF here.
std::string TextOf(const std::string& path) {
  std::string text;
  for (std::uint8_t b : ReadWholeFile(path))
    if (b != '\r') text += static_cast<char>(b);
  return text;
}

}  // namespace

ToolRun RunZepconv(const std::vector<std::string>& args) {
  const TempDir capture;
  const std::string outPath = capture.File("out.txt"), errPath = capture.File("err.txt");
  const std::string tool = ToolPath();
  std::string commandLine = Quote(tool);
  for (const std::string& a : args) commandLine += " " + Quote(a);

  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  HANDLE in = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, OPEN_EXISTING, 0, nullptr);
  HANDLE out = Capture(outPath), err = Capture(errPath);
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = in;
  si.hStdOutput = out;
  si.hStdError = err;
  PROCESS_INFORMATION pi{};
  const BOOL started =
      CreateProcessA(tool.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
  CloseHandle(in);
  CloseHandle(out);
  CloseHandle(err);
  if (!started) throw std::runtime_error("cannot start " + tool);
  WaitForSingleObject(pi.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);

  ToolRun run;
  run.status = static_cast<int>(code);
  run.out = TextOf(outPath);
  run.err = TextOf(errPath);
  return run;
}

}  // namespace zep::test
