#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include "disc/file.h"
#include "disc/platform_file.h"

namespace zep::platform {
namespace {
// The system's reason alone: file.cpp puts the path in front, and users read
// neither call names nor descriptor numbers.
std::string Reason(int err) { return std::strerror(err); }

// The most one write hands the system. Given more, the page cache takes it
// in blocks of 2 MiB, and on a virtual machine whose host takes back free
// memory each such block is fetched back from the host as it is filled: a
// write of 2 MiB or more ran at a tenth of the speed of the same bytes a
// MiB at a time.
constexpr std::size_t kLargestWrite = 1 << 20;
}  // namespace

std::intptr_t OpenDeviceOutput(const std::string& path, std::string& error) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd < 0) error = Reason(errno);
  return fd < 0 ? kNoHandle : fd;
}

bool WriteAll(std::intptr_t handle, const std::uint8_t* data, std::size_t size, std::string& error) {
  while (size > 0) {
    const ssize_t n = ::write(static_cast<int>(handle), data, std::min(size, kLargestWrite));
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
    if (errno != EINTR) return {0, Problem{"", Reason(errno), 0, ProblemKind::kUnreadable}};
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

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

bool DeleteFileNow(const char* path) { return ::unlink(path) == 0 || errno == ENOENT; }

std::intptr_t CreateUnnamedFile(const std::string& folder) {
#ifdef O_TMPFILE
  // Fails (EOPNOTSUPP, EISDIR on kernels that predate it, ...) where the file
  // system keeps no unnamed files; the caller then names one.
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
  return fd < 0 ? kNoHandle : fd;
#else
  (void)folder;
  return kNoHandle;
#endif
}

bool NameUnnamedFile(std::intptr_t handle, const std::string& path, bool& exists, std::string& error) {
  // Through /proc, any user may link the file; AT_EMPTY_PATH needs a
  // capability ordinary users lack, so it is only the way without /proc.
  const std::string self = "/proc/self/fd/" + std::to_string(handle);
  int rc = ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW);
#ifdef AT_EMPTY_PATH
  if (rc != 0 && errno == ENOENT) rc = ::linkat(static_cast<int>(handle), "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH);
#endif
  if (rc == 0) return true;
  exists = errno == EEXIST;
  error = Reason(errno);
  return false;
}

std::intptr_t CreateNewFile(const std::string& path, bool, bool& exists, std::string& error) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd >= 0) return fd;
  exists = errno == EEXIST;
  error = Reason(errno);
  return kNoHandle;
}

bool KeepFile(std::intptr_t, std::string&) { return true; }

bool SyncFile(std::intptr_t handle, std::string& error) {
  while (::fdatasync(static_cast<int>(handle)) != 0) {
    if (errno == EINTR) continue;
    if (errno == EINVAL || errno == EROFS) return true;  // a file that cannot be synced (a pipe, a device)
    error = Reason(errno);
    return false;
  }
  return true;
}

void StartWriteBack(std::intptr_t handle, std::uint64_t from, std::uint64_t size) {
#ifdef SYNC_FILE_RANGE_WRITE
  // Advice only: a file that cannot take it (a pipe) is synced, or not, as before.
  ::sync_file_range(static_cast<int>(handle), static_cast<off_t>(from), static_cast<off_t>(size), SYNC_FILE_RANGE_WRITE);
#else
  (void)handle, (void)from, (void)size;
#endif
}

bool SyncFileSystem(std::intptr_t handle) {
#ifdef __linux__
  return ::syncfs(static_cast<int>(handle)) == 0;
#else
  (void)handle;
  return false;
#endif
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
    error = exists ? kKeptExistingReason : Reason(errno);
    return false;
  }
  ::unlink(temp.c_str());
  return true;
}

unsigned long ThisProcessId() { return static_cast<unsigned long>(::getpid()); }

std::string ThisMachineName() {
  char name[256] = {};
  return ::gethostname(name, sizeof name - 1) == 0 ? name : "";
}

bool ProcessIsGone(unsigned long id) {
  if (id == 0 || id > static_cast<unsigned long>(INT_MAX)) return false;
  return ::kill(static_cast<pid_t>(id), 0) != 0 && errno == ESRCH;
}

std::vector<std::string> NamesIn(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return names;
  while (const dirent* entry = ::readdir(dir)) names.emplace_back(entry->d_name);
  ::closedir(dir);
  return names;
}

namespace {
sigset_t savedMask;
}  // namespace

void HoldInterrupts() {
  sigset_t interrupts;
  sigemptyset(&interrupts);
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&interrupts, sig);
  ::sigprocmask(SIG_BLOCK, &interrupts, &savedMask);
}

void ReleaseInterrupts() { ::sigprocmask(SIG_SETMASK, &savedMask, nullptr); }

void LeaveInterruptsToOtherThreads() {
  sigset_t interrupts;
  sigemptyset(&interrupts);
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&interrupts, sig);
  ::pthread_sigmask(SIG_BLOCK, &interrupts, nullptr);
}

}  // namespace zep::platform
