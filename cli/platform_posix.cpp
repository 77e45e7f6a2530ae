#include <signal.h>
#include <unistd.h>

#include "cli/platform.h"
#include "cli/text.h"
#include "disc/file.h"
#include "export/write_apart.h"

namespace zep::cli {

bool StderrIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

std::optional<char> DriveLetterOf(const std::string&) { return std::nullopt; }

// File names here are UTF-8 by convention. The name bytes are the characters
// of the same value, so "é" on the disc (0xE9) is "é" in the folder, as the
// Windows program's files show it, not an invalid byte that ls shows as "?".
std::string NativeFileName(std::string_view name) { return Latin1ToUtf8(name); }

void PrepareConsole() {}

}  // namespace zep::cli

namespace zep::cli {
namespace {
volatile sig_atomic_t namedOne = 0;
const char* volatile hint = nullptr;
const char* volatile subject = nullptr;

void WriteLine(const char* path) {
  char line[4200];
  const std::size_t size = InterruptLine(path, line, sizeof line);
  for (std::size_t done = 0; done < size;) {
    const ssize_t n = ::write(STDERR_FILENO, line + done, size - done);
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
}

void ReportUnfinished(const char* path) {
  namedOne = 1;
  WriteLine(path);
}

extern "C" void OnInterrupt(int sig) {
  EndWriterApart();
  AbandonUnfinishedOutputs(ReportUnfinished);
  if (!namedOne) WriteLine(subject);
  if (const char* h = hint) {
    std::size_t n = 0;
    while (h[n] != '\0') ++n;
    if (::write(STDERR_FILENO, h, n) < 0) {}
  }
  ::_exit(128 + sig);
}
}  // namespace

void SetInterruptHint(const char* line) { hint = line; }
void SetInterruptSubject(const char* what) { subject = what; }

void HandleInterrupts() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&action.sa_mask, sig);
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
    // A shell starts background jobs with SIGINT ignored; they stay deaf to it.
    struct sigaction old {};
    if (::sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    ::sigaction(sig, &action, nullptr);
  }
}

}  // namespace zep::cli
