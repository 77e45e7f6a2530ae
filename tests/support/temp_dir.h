#pragma once
// A fresh directory per test, removed with everything in it afterwards; whole
// files read and written.

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
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

struct TempDir {
  TempDir() {
    static std::atomic<int> counter{0};
    const auto base = std::filesystem::temp_directory_path() / ("zeptest-" + std::to_string(ZEP_GETPID()) + "-");
    while (!std::filesystem::create_directory(path_ = base.string() + std::to_string(counter++))) continue;
  }
  ~TempDir() { std::filesystem::remove_all(path_, ec_); }
  TempDir(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
  std::error_code ec_;
};

inline std::vector<std::uint8_t> ReadWholeFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::string WriteWholeFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::ssize(bytes));
  return path;
}

inline std::string ReadText(const std::string& path) {
  const auto b = ReadWholeFile(path);
  return {b.begin(), b.end()};
}

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  return lines;
}

}  // namespace zep::test
