#include "tests/support/file_size_limit.h"

#include <cstdlib>

#ifdef _WIN32

namespace zep::test {

FileSizeLimit::FileSizeLimit(std::uint64_t bytes) {
  const char* env = std::getenv("ZEP_FILE_SIZE_LIMIT");
  if (env == nullptr) {
    whyNot_ = "no file size limit in force (ZEP_FILE_SIZE_LIMIT is not set; the limited CTest run sets it)";
    return;
  }
  limit_ = std::strtoull(env, nullptr, 10);
  (void)bytes;
}

FileSizeLimit::~FileSizeLimit() = default;

}  // namespace zep::test

#else

#include <signal.h>
#include <sys/resource.h>

#include <cerrno>
#include <cstring>

namespace zep::test {

FileSizeLimit::FileSizeLimit(std::uint64_t bytes) {
  rlimit lim{};
  if (getrlimit(RLIMIT_FSIZE, &lim) != 0) {
    whyNot_ = std::string("getrlimit: ") + std::strerror(errno);
    return;
  }
  oldSoft_ = lim.rlim_cur;
  oldHandler_ = reinterpret_cast<void*>(signal(SIGXFSZ, SIG_IGN));
  lim.rlim_cur = bytes;
  if (setrlimit(RLIMIT_FSIZE, &lim) != 0) {
    whyNot_ = std::string("setrlimit: ") + std::strerror(errno);
    signal(SIGXFSZ, reinterpret_cast<void (*)(int)>(oldHandler_));
    return;
  }
  restore_ = true;
  limit_ = bytes;
}

FileSizeLimit::~FileSizeLimit() {
  if (!restore_) return;
  rlimit lim{};
  getrlimit(RLIMIT_FSIZE, &lim);
  lim.rlim_cur = oldSoft_;
  setrlimit(RLIMIT_FSIZE, &lim);
  signal(SIGXFSZ, reinterpret_cast<void (*)(int)>(oldHandler_));
}

}  // namespace zep::test

#endif
