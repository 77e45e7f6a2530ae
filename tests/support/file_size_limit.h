#pragma once
// Makes writes to ordinary files fail past a size, standing in for a full
// disk. On POSIX the test process limits itself (RLIMIT_FSIZE, with SIGXFSZ
// ignored so the write fails instead of killing the process). A Windows
// program cannot do that to itself; under Wine the shell that starts it sets
// the limit (tests/CMakeLists.txt) and says so in ZEP_FILE_SIZE_LIMIT; without
// it the test is skipped.

#include <cstdint>
#include <string>

namespace zep::test {

class FileSizeLimit {
 public:
  explicit FileSizeLimit(std::uint64_t bytes);  // limit() is what is in force, 0 for none
  ~FileSizeLimit();
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  std::uint64_t limit() const { return limit_; }
  const std::string& whyNot() const { return whyNot_; }

 private:
  std::uint64_t limit_ = 0, oldSoft_ = 0;
  std::string whyNot_;
};

}  // namespace zep::test
