#include "disc/file.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "disc/platform_file.h"

namespace zep {
namespace {
// Large enough that a record is written in few system calls, small enough to
// keep memory flat whatever the record's length.
constexpr std::size_t kOutputBufferSize = 256 * 1024;
// Pieces this large go straight to the file. Copying them into the buffer
// saves no system call, and the copy is not free: the scan dump's aligned
// 128 KiB pieces, copied 16 bytes past a page boundary, made glibc's memcpy
// run at a tenth of its speed on AMD EPYC and the dump twice as slow as dd.
constexpr std::size_t kDirectWriteSize = 64 * 1024;
}  // namespace

OutputFile::OutputFile(OutputFile&& other) noexcept { *this = std::move(other); }

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
  if (this != &other) {
    Discard();
    handle_ = std::exchange(other.handle_, kNoHandle);
    path_ = std::move(other.path_);
    tempPath_ = std::exchange(other.tempPath_, {});
    error_ = std::move(other.error_);
    buffer_ = std::move(other.buffer_);
    used_ = std::exchange(other.used_, 0);
    written_ = std::exchange(other.written_, 0);
    noClobber_ = std::exchange(other.noClobber_, false);
    clobberRefused_ = std::exchange(other.clobberRefused_, false);
  }
  return *this;
}

OutputFile::~OutputFile() { Discard(); }

OutputFile OutputFile::Create(const std::string& path, const OutputOptions& options) {
  OutputFile f;
  f.path_ = path;
  f.noClobber_ = options.noClobber;
  const platform::PathKind kind = platform::KindOf(path);
  std::string err;
  if (kind == platform::PathKind::Device) {
    f.handle_ = platform::OpenDeviceOutput(path, err);
  } else if (kind == platform::PathKind::Folder) {
    err = "is a folder";  // said now, not after the whole record has been read
  } else if (options.noClobber && kind == platform::PathKind::File) {
    err = "already exists; left as it is";
    f.clobberRefused_ = true;
  } else {
    f.handle_ = platform::CreateTempFileBeside(path, f.tempPath_, err);
    if (!f.open()) f.tempPath_.clear();  // not this object's to delete
  }
  if (f.open()) f.buffer_.resize(kOutputBufferSize);
  else f.error_ = path + ": " + err;  // the file asked for, then the reason
  return f;
}

bool OutputFile::Flush() {
  if (used_ == 0 || failed()) return !failed();
  std::string err;
  if (!platform::WriteAll(handle_, buffer_.data(), used_, err)) error_ = path_ + ": " + err;
  used_ = 0;
  return !failed();
}

bool OutputFile::Write(std::span<const std::uint8_t> bytes) {
  if (!open() || failed()) return false;
  if (bytes.empty()) return true;  // an empty span may carry a null pointer, which memcpy must not see
  written_ += bytes.size();
  if (used_ + bytes.size() > buffer_.size() || bytes.size() >= kDirectWriteSize) {
    if (!Flush()) return false;
    if (bytes.size() >= kDirectWriteSize) {
      std::string err;
      if (!platform::WriteAll(handle_, bytes.data(), bytes.size(), err)) error_ = path_ + ": " + err;
      return !failed();
    }
  }
  std::memcpy(buffer_.data() + used_, bytes.data(), bytes.size());
  used_ += bytes.size();
  return true;
}

std::int64_t OutputFile::CopyFrom(Volume& volume, std::int64_t pos, std::int64_t size) {
  // The queued bytes go first, so the copy lands behind them.
  if (!open() || failed() || !Flush()) return 0;
  const std::int64_t copied = volume.CopyInto(handle_, pos, size);
  written_ += static_cast<std::uint64_t>(copied);
  return copied;
}

bool OutputFile::WriteZeros(std::size_t count) {
  static constexpr std::uint8_t kZeros[4096] = {};
  while (count > 0) {
    const std::size_t n = std::min(count, sizeof kZeros);
    if (!Write({kZeros, n})) return false;
    count -= n;
  }
  return true;
}

bool OutputFile::Close() {
  if (!open()) return !failed();
  Flush();
  std::string err;
  if (!platform::CloseFile(std::exchange(handle_, kNoHandle), err) && !failed()) error_ = path_ + ": " + err;
  buffer_.clear();
  buffer_.shrink_to_fit();
  if (!failed() && !tempPath_.empty()) {
    bool exists = false;
    if (platform::RenameInto(tempPath_, path_, !noClobber_, exists, err)) tempPath_.clear();
    else error_ = path_ + ": " + err;
    clobberRefused_ = exists;
  }
  if (failed()) Discard();
  return !failed();
}

void OutputFile::Discard() {
  if (open()) {
    used_ = 0;
    std::string err;
    platform::CloseFile(std::exchange(handle_, kNoHandle), err);
  }
  // Only the temporary file is ever deleted: an earlier file of the final
  // name stays, and output sent to a device never takes the device with it.
  std::string ignored;
  if (!tempPath_.empty()) platform::DeleteFileAt(std::exchange(tempPath_, {}), ignored);
}

InputFile::InputFile(InputFile&& other) noexcept { *this = std::move(other); }

InputFile& InputFile::operator=(InputFile&& other) noexcept {
  if (this != &other) {
    if (open()) {
      std::string err;
      platform::CloseFile(handle_, err);
    }
    handle_ = std::exchange(other.handle_, kNoHandle);
    path_ = std::move(other.path_);
    error_ = std::move(other.error_);
  }
  return *this;
}

InputFile::~InputFile() {
  if (open()) {
    std::string err;
    platform::CloseFile(handle_, err);
  }
}

InputFile InputFile::Open(const std::string& path) {
  InputFile f;
  f.path_ = path;
  std::string err;
  f.handle_ = platform::OpenInputFile(path, err);
  if (!f.open()) f.error_ = path + ": " + err;
  return f;
}

ReadResult InputFile::Read(std::span<std::uint8_t> buf) {
  if (!open()) return {0, "file not open"};
  ReadResult total;
  while (total.bytes < buf.size()) {
    ReadResult r = platform::ReadSome(handle_, buf.subspan(total.bytes));
    total.bytes += r.bytes;
    if (!r.ok()) {
      total.error = path_ + ": " + r.error;
      break;
    }
    if (r.bytes == 0) break;
  }
  return total;
}

bool RemoveFile(const std::string& path, std::string* error) {
  std::string err;
  const bool ok = platform::DeleteFileAt(path, err);
  if (!ok && error) *error = path + ": " + err;
  return ok;
}

}  // namespace zep
