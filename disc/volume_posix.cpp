// Disc images and block devices on POSIX systems, always opened read-only.

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#ifdef __linux__
#include <linux/fs.h>
#include <linux/magic.h>
#include <sys/vfs.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>

#include "disc/aligned_buffer.h"
#include "disc/volume.h"

namespace zep {
namespace {

// "PATH: reason", as users read it: no call names.
Problem SysError(const std::string& path, int err, std::string after = {}) {
  return Problem{path, std::strerror(err) + after, 0, ProblemKind::kUnreadable};
}

// A block device stands in for an MO drive when the kernel reports it
// removable; partitions answer for their whole disc.
bool BlockDeviceIsRemovable(dev_t dev) {
  const std::string base = "/sys/dev/block/" + std::to_string(major(dev)) + ":" + std::to_string(minor(dev));
  for (const char* rel : {"/removable", "/../removable"}) {
    std::ifstream in(base + rel);
    int value = 0;
    if (in >> value) return value == 1;
  }
  return false;
}

// A drive is read unbuffered, as the Windows program reads its volume: the
// kernel retries a failed buffered read once and reads ahead into the bad
// area around it, so each bad sector would cost the drive its retries
// several times over. A file that a FUSE file system serves (nbdfuse, a
// drive shared over the network) is a drive behind a file name and is read
// the same way; an image file on a local file system keeps the page cache.
// Gives the size reads must be whole multiples of, or 0 when the reads stay
// buffered (a file system that refuses O_DIRECT, a system without it).
std::size_t ReadUnbuffered(int fd, const struct stat& st) {
#ifdef __linux__
  if (S_ISREG(st.st_mode)) {
    struct statfs fs {};
    if (::fstatfs(fd, &fs) != 0 || fs.f_type != FUSE_SUPER_MAGIC) return 0;
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_DIRECT) != 0) return 0;
  int sector = 512;
  if (S_ISBLK(st.st_mode) && (::ioctl(fd, BLKSSZGET, &sector) != 0 || sector <= 0)) sector = 512;
  return static_cast<std::size_t>(sector);
#else
  (void)fd, (void)st;
  return 0;
#endif
}

class PosixVolume final : public Volume {
 public:
  PosixVolume(int fd, std::string path, bool removable, std::int64_t size, bool ordinary, std::size_t direct)
      : fd_(fd), path_(std::move(path)), removable_(removable), size_(size), ordinary_(ordinary && direct == 0),
        direct_(direct) {}
  ~PosixVolume() override { ::close(fd_); }
  PosixVolume(const PosixVolume&) = delete;
  PosixVolume& operator=(const PosixVolume&) = delete;

  ReadResult ReadAt(std::int64_t pos, std::span<std::uint8_t> buf) override {
    if (pos < 0) return BeforeStart(pos, path_);
    if (direct_ == 0 || Aligned(pos, buf)) return ReadAll(pos, buf);
    return ReadThroughAligned(pos, buf);
  }

  bool IsRemovableMedia() override { return removable_; }
  const std::string& Name() const override { return path_; }
  std::int64_t Size() const override { return size_; }

  std::int64_t CopyInto(std::intptr_t outHandle, std::int64_t pos, std::int64_t size) override {
    std::int64_t done = 0;
#ifdef __linux__
    if (!ordinary_ || pos < 0) return 0;
    // The kernel writes a copy in pieces of its pipe's size. Pieces that
    // start off a boundary of the output's large page-cache pages split every
    // one of them, and a record copied behind its 4096-byte file header took
    // 40 % longer than cp; so a copy first reaches the next 2 MiB boundary.
    constexpr std::int64_t kBoundary = 2 * 1024 * 1024;
    std::int64_t at = ::lseek(static_cast<int>(outHandle), 0, SEEK_CUR);
    while (done < size) {
      loff_t from = pos + done;
      std::int64_t piece = size - done;
      if (at > 0 && at % kBoundary != 0) piece = std::min(piece, kBoundary - at % kBoundary);
      const ssize_t n = ::copy_file_range(fd_, &from, static_cast<int>(outHandle), nullptr,
                                          static_cast<std::size_t>(piece), 0);
      if (n < 0 && errno == EINTR) continue;
      // Another file system on an older kernel (EXDEV), no such call
      // (ENOSYS), a device or a pipe (EINVAL), a read error (EIO), the end:
      // what is left is read the ordinary way, which names any error.
      if (n <= 0) break;
      done += n;
      at += n;
    }
#else
    (void)outHandle, (void)pos, (void)size;
#endif
    return done;
  }

 private:
  bool Aligned(std::int64_t pos, std::span<std::uint8_t> buf) const {
    const auto address = reinterpret_cast<std::uintptr_t>(buf.data());
    return pos % static_cast<std::int64_t>(direct_) == 0 && buf.size() % direct_ == 0 && address % direct_ == 0;
  }

  ReadResult ReadAll(std::int64_t pos, std::span<std::uint8_t> buf) {
    ReadResult r;
    while (r.bytes < buf.size()) {
      const ssize_t n = ::pread(fd_, buf.data() + r.bytes, buf.size() - r.bytes, static_cast<off_t>(pos + r.bytes));
      if (n < 0) {
        if (errno == EINTR) continue;
        r.problem = SysError(path_, errno, " at byte " + std::to_string(pos + r.bytes));
        return r;
      }
      if (n == 0) {
        // The end of the volume: a size no query gave is known from now on.
        if (size_ == kUnknownSize) size_ = pos + static_cast<std::int64_t>(r.bytes);
        break;
      }
      r.bytes += static_cast<std::size_t>(n);
    }
    return r;
  }

  // A drive whose sectors are larger than a read (2048-byte reads of a disc
  // with 4096-byte sectors) is read whole sectors at a time, once.
  ReadResult ReadThroughAligned(std::int64_t pos, std::span<std::uint8_t> buf) {
    const auto sector = static_cast<std::int64_t>(direct_);
    const std::int64_t start = pos / sector * sector;
    const std::int64_t end = (pos + static_cast<std::int64_t>(buf.size()) + sector - 1) / sector * sector;
    AlignedBuffer whole(static_cast<std::size_t>(end - start));
    ReadResult r = ReadAll(start, whole.span());
    const auto skip = static_cast<std::size_t>(pos - start);
    const std::size_t got = r.bytes > skip ? std::min(r.bytes - skip, buf.size()) : 0;
    std::copy_n(whole.data() + skip, got, buf.data());
    r.bytes = r.ok() ? got : 0;
    return r;
  }

  int fd_;
  std::string path_;
  bool removable_;
  std::int64_t size_;
  bool ordinary_;  // an ordinary file, which the system can copy from; not a device
  std::size_t direct_;  // read unbuffered in whole pieces of this size; 0 when buffered
};

}  // namespace

VolumeOpenResult OpenDiscVolume(const std::string& path) {
  VolumeOpenResult result;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    result.problem = SysError(path, errno);
    return result;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    result.problem = SysError(path, errno);
    ::close(fd);
    return result;
  }
  bool removable = false;
  std::int64_t size = Volume::kUnknownSize;
  if (S_ISREG(st.st_mode)) {
    removable = true;  // a disc image stands for the medium itself
    size = st.st_size;
  } else if (S_ISBLK(st.st_mode)) {
    removable = BlockDeviceIsRemovable(st.st_rdev);
#ifdef BLKGETSIZE64
    std::uint64_t bytes = 0;
    if (::ioctl(fd, BLKGETSIZE64, &bytes) == 0) size = static_cast<std::int64_t>(bytes);
#endif
  } else if (!S_ISCHR(st.st_mode)) {
    result.problem = Problem{path, "not a disc image or a device", 0, ProblemKind::kNotADisc};
    ::close(fd);
    return result;
  }
  result.volume =
      std::make_unique<PosixVolume>(fd, path, removable, size, S_ISREG(st.st_mode), ReadUnbuffered(fd, st));
  return result;
}

}  // namespace zep
