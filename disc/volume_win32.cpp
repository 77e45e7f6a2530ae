// Raw drives and disc images on Windows, always opened read-only.

#include <windows.h>
#include <winioctl.h>

#include "disc/volume.h"
#include "disc/win32_error.h"

namespace zep {
namespace {

bool IsDrivePath(const std::string& path) {
  return path.size() == 6 && path.compare(0, 4, "\\\\.\\") == 0 && path[5] == ':';
}

// The size as the system tells it: a drive answers IOCTL_DISK_GET_LENGTH_INFO,
// an image file GetFileSizeEx. Wine answers no disk query on a drive letter
// mapped to an image, but GetFileSizeEx on the drive's handle gives the
// image's size there; on Windows it gives 0 for a drive, which is no size.
std::int64_t SizeOf(HANDLE h, bool drive) {
  if (drive) {
    GET_LENGTH_INFORMATION length{};
    DWORD bytes = 0;
    if (DeviceIoControl(h, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length, sizeof length, &bytes, nullptr)) {
      return length.Length.QuadPart;
    }
  }
  LARGE_INTEGER size{};
  if (GetFileSizeEx(h, &size) && (!drive || size.QuadPart > 0)) return size.QuadPart;
  return Volume::kUnknownSize;
}

class Win32Volume final : public Volume {
 public:
  Win32Volume(HANDLE h, std::string path, bool drive)
      : handle_(h), path_(std::move(path)), drive_(drive), size_(SizeOf(h, drive)) {}
  ~Win32Volume() override { CloseHandle(handle_); }
  Win32Volume(const Win32Volume&) = delete;
  Win32Volume& operator=(const Win32Volume&) = delete;

  ReadResult ReadAt(std::int64_t pos, std::span<std::uint8_t> buf) override {
    if (pos < 0) return BeforeStart(pos, path_);
    ReadResult r;
    LARGE_INTEGER distance;
    distance.QuadPart = pos;
    if (!SetFilePointerEx(handle_, distance, nullptr, FILE_BEGIN)) {
      r.problem = Problem{path_, LastErrorReason() + " at byte " + std::to_string(pos), 0, ProblemKind::kUnreadable};
      return r;
    }
    while (r.bytes < buf.size()) {
      DWORD got = 0;
      if (!ReadFile(handle_, buf.data() + r.bytes, static_cast<DWORD>(buf.size() - r.bytes), &got, nullptr)) {
        // A raw drive answers a read past its last sector with an error, where an image file reports the end.
        const DWORD code = GetLastError();
        if (code == ERROR_HANDLE_EOF || code == ERROR_SECTOR_NOT_FOUND) {
          MarkEnd(pos + static_cast<std::int64_t>(r.bytes));
          break;
        }
        SetLastError(code);
        r.problem = Problem{path_, LastErrorReason() + " at byte " + std::to_string(pos + r.bytes), 0,
                            ProblemKind::kUnreadable};
        return r;
      }
      if (got == 0) {
        MarkEnd(pos + static_cast<std::int64_t>(r.bytes));
        break;
      }
      r.bytes += got;
      // A drive stops short of its known end only at a sector it could not
      // read (Wine reads a drive through the system's cache and gives what
      // came before the bad page as a success): asking for the rest would ask
      // for that sector again.
      if (drive_ && r.bytes < buf.size() && size_ != kUnknownSize && pos + static_cast<std::int64_t>(r.bytes) < size_) {
        r.problem = Problem{path_, "the drive stopped reading at byte " + std::to_string(pos + r.bytes), 0,
                            ProblemKind::kUnreadable};
        return r;
      }
    }
    return r;
  }

  bool IsRemovableMedia() override {
    if (!drive_) return true;  // a disc image stands for the medium itself
    DWORD bytes = 0;
    // The layout is asked for as the recorder's own software did; its answer decides nothing.
    alignas(8) unsigned char layout[1000];
    DeviceIoControl(handle_, IOCTL_DISK_GET_DRIVE_LAYOUT, nullptr, 0, layout, sizeof layout, &bytes, nullptr);
    DISK_GEOMETRY geometry{};
    if (DeviceIoControl(handle_, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &geometry, sizeof geometry, &bytes,
                        nullptr)) {
      return geometry.MediaType == RemovableMedia;
    }
    // Some drivers (and Wine, for a drive letter mapped to an image) cannot
    // answer the geometry query; the drive type still tells a removable drive.
    char root[] = "X:\\";
    root[0] = path_[4];
    return GetDriveTypeA(root) == DRIVE_REMOVABLE;
  }

  const std::string& Name() const override { return path_; }
  std::int64_t Size() const override { return size_; }

 private:
  // The end of the volume: a size no query gave is known from now on.
  void MarkEnd(std::int64_t end) {
    if (size_ == kUnknownSize) size_ = end;
  }

  HANDLE handle_;
  std::string path_;
  bool drive_;
  std::int64_t size_;
};

}  // namespace

VolumeOpenResult OpenDiscVolume(const std::string& path) {
  VolumeOpenResult result;
  const bool drive = IsDrivePath(path);
  // A drive is opened exactly as the recorder software always has: read access,
  // others may write, unbuffered. An image file is read through the cache.
  const HANDLE h = drive ? CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_NO_BUFFERING, nullptr)
                         : CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    result.problem = Problem{path, LastErrorReason(), 0, ProblemKind::kUnreadable};
    return result;
  }
  result.volume = std::make_unique<Win32Volume>(h, path, drive);
  return result;
}

}  // namespace zep
