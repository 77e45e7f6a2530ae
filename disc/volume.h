#pragma once
// The disc as a raw, read-only volume. There is no file system on it: the
// record directory sits at byte 0, TK40 record data in 4096-byte blocks from
// byte 16384, ZEP V1.X data in 2048-byte sectors from byte 0.
//
// The platform backends (volume_posix.cpp, volume_win32.cpp) are the only code
// that touches the device; everything else sees a Volume. No backend ever
// opens the volume for writing.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <optional>
#include <string>

#include "disc/problem.h"
#include "disc/record_extent.h"

namespace zep {


struct ReadResult {
  std::size_t bytes = 0;  // bytes delivered; fewer than asked at the end of the volume
  std::optional<Problem> problem;  // set when the read failed outright (kUnreadable, kPastEnd)
  bool ok() const { return !problem; }
};

// A read of a negative position: refused by every volume alike.
ReadResult BeforeStart(std::int64_t pos, const std::string& name);

class Volume {
 public:
  virtual ~Volume() = default;

  // Reads buf.size() bytes from byte position pos. buf must start on a
  // kIoAlignment boundary; pos and the size are multiples of 2048. A negative
  // position is an error, not a wrap-around.
  virtual ReadResult ReadAt(std::int64_t pos, std::span<std::uint8_t> buf) = 0;

  // Whether the medium passes the MO-disc check of a scan.
  virtual bool IsRemovableMedia() = 0;

  // What the volume was opened from, for messages.
  virtual const std::string& Name() const = 0;

  // The volume's size in bytes, or kUnknownSize while the system has not told
  // it. Where no query answers, the first read that meets the end (a short or
  // empty read) sets it, so a caller asks again after each read.
  virtual std::int64_t Size() const { return kUnknownSize; }
  static constexpr std::int64_t kUnknownSize = -1;

  // Copies size bytes from byte pos into the open file behind outHandle, at
  // its current offset, inside the system: the bytes never pass through this
  // program, as with cp. Only an ordinary file the system can copy from does
  // it (not a device, not a volume read through a mapfile, not on Windows);
  // it gives the bytes copied, fewer than size (none included) wherever the
  // system stopped, and the caller reads the rest itself.
  virtual std::int64_t CopyInto(std::intptr_t outHandle, std::int64_t pos, std::int64_t size);
};

struct VolumeOpenResult {
  std::unique_ptr<Volume> volume;  // null on failure
  std::optional<Problem> problem;  // set on failure: the path as subject, the system's reason
};

// Operations that read the disc open it themselves and close it before they
// return, so they take the means to open it rather than an open volume.
using VolumeOpener = std::function<VolumeOpenResult()>;

// An opener that hands out views of a volume already open, which stays open
// (and must outlive them): a run that opens its source once passes it to
// operations that open what they read and close it again.
VolumeOpener BorrowingOpener(Volume& volume);

// "\\.\X:" with the drive letter in place of the X.
std::string DriveVolumePath(char driveLetter);

// Opens a volume read-only: on Windows a drive ("\\.\X:", unbuffered) or an
// image file; on POSIX an image file or a block device.
VolumeOpenResult OpenDiscVolume(const std::string& path);
inline VolumeOpenResult OpenDiscVolume(char driveLetter) { return OpenDiscVolume(DriveVolumePath(driveLetter)); }

inline VolumeOpener VolumeAt(std::string path) {
  return [path = std::move(path)] { return OpenDiscVolume(path); };
}

// Reads TK40 block n (4096 bytes at (n + 4) * 4096) into block, which must be
// aligned. A short read is a failure of the block.
ReadResult ReadDiscBlock(Volume& volume, std::int64_t block, std::span<std::uint8_t> buffer);

}  // namespace zep
