#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "disc/platform_file.h"

namespace zep::platform {
namespace {
std::string SysError(const char* call, const std::string& subject, int err) {
  return std::string(call) + "(" + subject + "): " + std::strerror(err);
}
}  // namespace

std::intptr_t OpenDeviceOutput(const std::string& path, std::string& error) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd < 0) error = SysError("open", path, errno);
  return fd < 0 ? kNoHandle : fd;
}

bool WriteAll(std::intptr_t handle, const std::uint8_t* data, std::size_t size, std::string& error) {
  while (size > 0) {
    const ssize_t n = ::write(static_cast<int>(handle), data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      error = SysError("write", "fd " + std::to_string(handle), errno);
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool CloseFile(std::intptr_t handle, std::string& error) {
  if (::close(static_cast<int>(handle)) != 0) {
    error = SysError("close", "fd " + std::to_string(handle), errno);
    return false;
  }
  return true;
}

std::intptr_t OpenInputFile(const std::string& path, std::string& error) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) error = SysError("open", path, errno);
  return fd < 0 ? kNoHandle : fd;
}

ReadResult ReadSome(std::intptr_t handle, std::span<std::uint8_t> buf) {
  for (;;) {
    const ssize_t n = ::read(static_cast<int>(handle), buf.data(), buf.size());
    if (n >= 0) return {static_cast<std::size_t>(n), {}};
    if (errno != EINTR) return {0, SysError("read", "fd " + std::to_string(handle), errno)};
  }
}

bool DeleteFileAt(const std::string& path, std::string& error) {
  // Only ordinary files are ever deleted, whatever path a caller hands in.
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT;
  if (!S_ISREG(st.st_mode)) {
    error = path + ": not an ordinary file, left in place";
    return false;
  }
  if (::unlink(path.c_str()) == 0 || errno == ENOENT) return true;
  error = SysError("unlink", path, errno);
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
      error = SysError("open", tempPath, errno);
      return kNoHandle;
    }
  }
  error = folder + ": no free name for a temporary file (~zep0.tmp to ~zep9999.tmp all exist)";
  return kNoHandle;
}

bool RenameInto(const std::string& temp, const std::string& final, bool replace, bool& exists, std::string& error) {
  exists = false;
  if (replace) {
    if (::rename(temp.c_str(), final.c_str()) == 0) return true;
    error = SysError("rename", final, errno);
    return false;
  }
  // A hard link is made only where no file of that name exists: nothing
  // that appears meanwhile is ever replaced.
  if (::link(temp.c_str(), final.c_str()) != 0) {
    exists = errno == EEXIST;
    error = exists ? final + ": already exists; left as it is" : SysError("link", final, errno);
    return false;
  }
  ::unlink(temp.c_str());
  return true;
}

}  // namespace zep::platform
