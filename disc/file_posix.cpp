#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "disc/platform_file.h"

namespace zep::platform {
namespace {
// The system's reason alone: file.cpp puts the path in front, and users read
// neither call names nor descriptor numbers.
std::string Reason(int err) { return std::strerror(err); }
}  // namespace

std::intptr_t OpenDeviceOutput(const std::string& path, std::string& error) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd < 0) error = Reason(errno);
  return fd < 0 ? kNoHandle : fd;
}

bool WriteAll(std::intptr_t handle, const std::uint8_t* data, std::size_t size, std::string& error) {
  while (size > 0) {
    const ssize_t n = ::write(static_cast<int>(handle), data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      error = Reason(errno);
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool CloseFile(std::intptr_t handle, std::string& error) {
  if (::close(static_cast<int>(handle)) != 0) {
    error = Reason(errno);
    return false;
  }
  return true;
}

std::intptr_t OpenInputFile(const std::string& path, std::string& error) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = Reason(errno);
    return kNoHandle;
  }
  // A folder opens for reading here but has no bytes to give: say so now
  // rather than report it later as a file cut short.
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    error = Reason(EISDIR);
    return kNoHandle;
  }
  return fd;
}

ReadResult ReadSome(std::intptr_t handle, std::span<std::uint8_t> buf) {
  for (;;) {
    const ssize_t n = ::read(static_cast<int>(handle), buf.data(), buf.size());
    if (n >= 0) return {static_cast<std::size_t>(n), {}};
    if (errno != EINTR) return {0, Reason(errno)};
  }
}

bool DeleteFileAt(const std::string& path, std::string& error) {
  // Only ordinary files are ever deleted, whatever path a caller hands in.
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT;
  if (!S_ISREG(st.st_mode)) {
    error = "not an ordinary file, left in place";
    return false;
  }
  if (::unlink(path.c_str()) == 0 || errno == ENOENT) return true;
  error = Reason(errno);
  return false;
}

PathKind KindOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return ::lstat(path.c_str(), &st) == 0 ? PathKind::File : PathKind::Missing;
  return S_ISREG(st.st_mode) ? PathKind::File : S_ISDIR(st.st_mode) ? PathKind::Folder : PathKind::Device;
}

std::intptr_t CreateTempFileBeside(const std::string& finalPath, std::string& tempPath, std::string& error) {
  const std::size_t slash = finalPath.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : finalPath.substr(0, slash + 1);
  for (int n = 0; n < 10000; ++n) {
    tempPath = folder + "~zep" + std::to_string(n) + ".tmp";
    const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) return fd;
    if (errno != EEXIST) {
      error = Reason(errno);
      return kNoHandle;
    }
  }
  error = "no free name for a temporary file beside it (~zep0.tmp to ~zep9999.tmp all exist)";
  return kNoHandle;
}

bool RenameInto(const std::string& temp, const std::string& final, bool replace, bool& exists, std::string& error) {
  exists = false;
  if (replace) {
    if (::rename(temp.c_str(), final.c_str()) == 0) return true;
    error = Reason(errno);
    return false;
  }
  // A hard link is made only where no file of that name exists: nothing
  // that appears meanwhile is ever replaced.
  if (::link(temp.c_str(), final.c_str()) != 0) {
    exists = errno == EEXIST;
    error = exists ? "already exists; left as it is" : Reason(errno);
    return false;
  }
  ::unlink(temp.c_str());
  return true;
}

}  // namespace zep::platform
