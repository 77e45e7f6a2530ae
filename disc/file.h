#pragma once
// Ordinary files: the record files, the scan dump and its split output. Writes
// go through a buffer; a failed write is sticky and remembered with its reason,
// so a caller checks once, at Close(). Every error reads "PATH: reason".

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "disc/volume.h"

namespace zep {

class OutputFile {
 public:
  OutputFile() = default;
  OutputFile(OutputFile&& other) noexcept;
  OutputFile& operator=(OutputFile&& other) noexcept;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  // An output file that is dropped without Close() is closed, not removed.
  ~OutputFile();

  // Creates the file anew, replacing any file of that name. On failure the
  // result is not open() and error() says why.
  static OutputFile Create(const std::string& path);

  bool open() const { return handle_ != kNoHandle; }
  bool failed() const { return !error_.empty(); }
  const std::string& error() const { return error_; }
  const std::string& path() const { return path_; }
  std::uint64_t written() const { return written_; }

  // Queues bytes; returns false once any write has failed.
  bool Write(std::span<const std::uint8_t> bytes);
  bool WriteZeros(std::size_t count);
  // Flushes and closes; false (with error()) if anything failed on the way.
  bool Close();
  // Closes and deletes the file: for output that must not be mistaken for
  // whole. A device (an output that is no ordinary file) is only closed.
  void Discard();

 private:
  static constexpr std::intptr_t kNoHandle = -1;
  bool Flush();

  std::intptr_t handle_ = kNoHandle;
  std::string path_;
  std::string error_;
  std::vector<std::uint8_t> buffer_;
  std::size_t used_ = 0;
  std::uint64_t written_ = 0;
  bool regular_ = false;
};

class InputFile {
 public:
  InputFile() = default;
  InputFile(InputFile&& other) noexcept;
  InputFile& operator=(InputFile&& other) noexcept;
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  ~InputFile();

  static InputFile Open(const std::string& path);
  bool open() const { return handle_ != kNoHandle; }
  const std::string& error() const { return error_; }

  // Reads up to buf.size() bytes from the current position, fewer only at the
  // end of the file or on an error (then error is set).
  ReadResult Read(std::span<std::uint8_t> buf);

 private:
  static constexpr std::intptr_t kNoHandle = -1;
  std::intptr_t handle_ = kNoHandle;
  std::string path_;
  std::string error_;
};

// Deletes a file; false when it existed and could not be removed.
bool RemoveFile(const std::string& path, std::string* error = nullptr);

}  // namespace zep
