// Runs a command and writes what it cost to a file: its peak resident size
// in KiB, then its user and system CPU seconds.
//
//   measure OUTFILE COMMAND [ARGS...]
//
// The kernel counts in a child's peak the memory of the process it was forked
// from, so a command started straight from the benchmark script would show
// the script interpreter's size. Forked from this small program instead, it
// shows its own (plus well under 2 MiB of this program's). The CPU seconds
// stand in for the wall time when other work shares the machine.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

namespace {
double Seconds(const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; }
}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: measure OUTFILE COMMAND [ARGS...]\n");
    return 2;
  }
  const pid_t pid = fork();
  if (pid < 0) {
    std::perror("measure: fork");
    return 2;
  }
  if (pid == 0) {
    execvp(argv[2], argv + 2);
    std::perror("measure: exec");
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) < 0) {
    std::perror("measure: wait4");
    return 2;
  }
  if (std::FILE* f = std::fopen(argv[1], "w")) {
    std::fprintf(f, "%ld %.6f %.6f\n", usage.ru_maxrss, Seconds(usage.ru_utime), Seconds(usage.ru_stime));
    std::fclose(f);
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}
