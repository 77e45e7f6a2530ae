#include "tests/support/file_size_limit.h"

#include <cstdlib>

#ifdef _WIN32

namespace zep::test {
FileSizeLimit::FileSizeLimit(std::uint64_t) {
  const char* env = std::getenv("ZEP_FILE_SIZE_LIMIT");
  if (env) limit_ = std::strtoull(env, nullptr, 10);
  if (!env) whyNot_ = "ZEP_FILE_SIZE_LIMIT is not set (the limited CTest run sets it)";
}
FileSizeLimit::~FileSizeLimit() = default;
}  // namespace zep::test

#else

#include <signal.h>
#include <sys/resource.h>

namespace zep::test {
FileSizeLimit::FileSizeLimit(std::uint64_t bytes) {
  rlimit lim{};
  if (getrlimit(RLIMIT_FSIZE, &lim) != 0 || lim.rlim_max < bytes) {
    whyNot_ = "no file size limit can be set";
    return;
  }
  oldSoft_ = lim.rlim_cur;
  lim.rlim_cur = bytes;
  signal(SIGXFSZ, SIG_IGN);
  if (setrlimit(RLIMIT_FSIZE, &lim) == 0) limit_ = bytes;
  else whyNot_ = "setrlimit failed";
}
FileSizeLimit::~FileSizeLimit() {
  rlimit lim{};
  getrlimit(RLIMIT_FSIZE, &lim);
  lim.rlim_cur = oldSoft_;
  if (limit_) setrlimit(RLIMIT_FSIZE, &lim);
}
}  // namespace zep::test

#endif
