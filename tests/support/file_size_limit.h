#pragma once
// Writes to ordinary files fail past a size, standing in for a full disk. On
// POSIX the process limits itself (RLIMIT_FSIZE, SIGXFSZ ignored so the write
// fails instead of killing it). A Windows program cannot; under Wine the shell
// that starts it sets the limit (tests/CMakeLists.txt) and says so in
// ZEP_FILE_SIZE_LIMIT. limit is 0 when none is in force: the test skips.

#include <cstdint>
#include <cstdlib>

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#endif

namespace zep::test {

struct FileSizeLimit {
#ifdef _WIN32
  explicit FileSizeLimit(std::uint64_t) {
    if (const char* env = std::getenv("ZEP_FILE_SIZE_LIMIT")) limit = std::strtoull(env, nullptr, 10);
  }
#else
  explicit FileSizeLimit(std::uint64_t bytes) {
    signal(SIGXFSZ, SIG_IGN);
    if (getrlimit(RLIMIT_FSIZE, &old) != 0) return;
    const rlimit lim{bytes, old.rlim_max};
    if (setrlimit(RLIMIT_FSIZE, &lim) == 0) limit = bytes;
  }
  ~FileSizeLimit() {
    if (limit) setrlimit(RLIMIT_FSIZE, &old);
  }
  rlimit old{};
#endif
  std::uint64_t limit = 0;
};

}  // namespace zep::test
