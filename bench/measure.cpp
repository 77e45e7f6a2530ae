// Runs a command and writes its peak resident size (KiB) to a file:
//
//   peak_rss OUTFILE COMMAND [ARGS...]
//
// The kernel counts in a child's peak the memory of the process it was forked
// from, so a command started straight from the benchmark script would show
// the script interpreter's size. Forked from this small program instead, it
// shows its own (plus well under 2 MiB of this program's).

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: peak_rss OUTFILE COMMAND [ARGS...]\n");
    return 2;
  }
  const pid_t pid = fork();
  if (pid < 0) {
    std::perror("peak_rss: fork");
    return 2;
  }
  if (pid == 0) {
    execvp(argv[2], argv + 2);
    std::perror("peak_rss: exec");
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) < 0) {
    std::perror("peak_rss: wait4");
    return 2;
  }
  if (std::FILE* f = std::fopen(argv[1], "w")) {
    std::fprintf(f, "%ld\n", usage.ru_maxrss);
    std::fclose(f);
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}
