#pragma once
// Makes writes to ordinary files fail past a size, to test how the converters
// meet a full disk. On POSIX the test process limits itself (RLIMIT_FSIZE,
// with SIGXFSZ ignored so the write fails instead of killing the process).
// A Windows program cannot do that to itself; under Wine the limit is set by
// the shell that starts it (tests/CMakeLists.txt), which says so in the
// environment variable ZEP_FILE_SIZE_LIMIT, and without it the test is skipped.

#include <cstdint>
#include <string>

namespace zep::test {

class FileSizeLimit {
 public:
  // Asks for writes to fail beyond `bytes`; limit() is what is in force.
  explicit FileSizeLimit(std::uint64_t bytes);
  ~FileSizeLimit();
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  bool active() const { return limit_ != 0; }
  std::uint64_t limit() const { return limit_; }
  const std::string& whyNot() const { return whyNot_; }

 private:
  std::uint64_t limit_ = 0;
  std::string whyNot_;
  bool restore_ = false;
  std::uint64_t oldSoft_ = 0;
  void* oldHandler_ = nullptr;
};

}  // namespace zep::test
