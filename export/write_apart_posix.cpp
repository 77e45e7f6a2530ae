// The write in a child process: its problem comes back through a pipe, and
// the library's state, sound or broken, ends with the child.

#include <signal.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "export/write_apart.h"

namespace zep {
namespace {

// The child at work, for a signal handler to end; 0 when none.
volatile sig_atomic_t g_child = 0;

// An interrupt is the parent's to handle (it removes the temporary file and
// says so once); the child just ends.
void InterruptsEndChild() {
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction old {};
    if (::sigaction(sig, nullptr, &old) == 0 && old.sa_handler != SIG_IGN) ::signal(sig, SIG_DFL);
  }
}

[[noreturn]] void RunChild(int out, pid_t parent, const sigset_t& mask,
                           const std::function<std::optional<Problem>()>& write) {
  InterruptsEndChild();
  ::sigprocmask(SIG_SETMASK, &mask, nullptr);
#ifdef __linux__
  // A parent ended by a signal (it removes the file) takes the child with it.
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (::getppid() != parent) ::_exit(1);
#else
  (void)parent;
#endif
  const std::optional<Problem> problem = write();
  const std::string what = problem ? problem->what : "";
  for (std::size_t done = 0; done < what.size();) {
    const ssize_t n = ::write(out, what.data() + done, what.size() - done);
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  // No exit handlers: the parent's buffers and the library's are not the child's to flush.
  ::_exit(problem ? 1 : 0);
}

std::string ReadAll(int in) {
  std::string text;
  char buffer[512];
  for (ssize_t n; (n = ::read(in, buffer, sizeof buffer)) != 0;) {
    if (n > 0) text.append(buffer, static_cast<std::size_t>(n));
    else if (errno != EINTR) break;
  }
  return text;
}

}  // namespace

std::optional<Problem> WriteApart(const std::function<std::optional<Problem>()>& write) {
  int fds[2];
  if (::pipe(fds) != 0) return write();
  std::fflush(nullptr);  // what the parent has buffered is printed once, by the parent
  const pid_t parent = ::getpid();
  // Interrupts wait until the child is known: a handler that ran between the
  // fork and this note would remove the file and leave the child to make it
  // again.
  sigset_t interrupts, saved;
  sigemptyset(&interrupts);
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&interrupts, sig);
  ::sigprocmask(SIG_BLOCK, &interrupts, &saved);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    RunChild(fds[1], parent, saved, write);
  }
  if (pid > 0) g_child = pid;
  ::sigprocmask(SIG_SETMASK, &saved, nullptr);
  if (pid < 0) {
    ::close(fds[0]), ::close(fds[1]);
    return write();
  }
  ::close(fds[1]);
  const std::string what = ReadAll(fds[0]);
  ::close(fds[0]);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
  g_child = 0;
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return std::nullopt;
  if (WIFEXITED(status)) return Problem{"", what, 0, ProblemKind::kWriteFailed};
  const std::string how = WIFSIGNALED(status) ? "signal " + std::to_string(WTERMSIG(status)) : "an unknown cause";
  return Problem{"", "the writer ended by " + how + ", not finished", 0, ProblemKind::kWriteFailed};
}

void EndWriterApart() noexcept {
  const pid_t pid = g_child;
  if (pid <= 0) return;
  ::kill(pid, SIGKILL);
  while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {}
}

}  // namespace zep
