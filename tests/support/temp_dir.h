#pragma once
// A fresh directory per test, removed with everything in it afterwards; and
// whole files read and written.

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <process.h>
#define ZEP_GETPID _getpid
#else
#include <unistd.h>
#define ZEP_GETPID getpid
#endif

namespace zep::test {

class TempDir {
 public:
  TempDir() {
    static std::atomic<int> counter{0};
    do {
      path_ = std::filesystem::temp_directory_path() /
              ("zeptest-" + std::to_string(ZEP_GETPID()) + "-" + std::to_string(counter++));
    } while (!std::filesystem::create_directory(path_));
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

inline std::vector<std::uint8_t> ReadWholeFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::string WriteWholeFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
  return path;
}

}  // namespace zep::test
