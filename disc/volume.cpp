#include "disc/volume.h"

namespace zep {

std::string DriveVolumePath(char driveLetter) {
  std::string path = "\\\\.\\X:";
  path[4] = driveLetter;
  return path;
}

std::int64_t UnitsBeforeEnd(std::int64_t volumeSize, std::int64_t firstPos, std::int64_t unitSize,
                            std::int64_t count) {
  if (count <= 0) return 0;
  if (volumeSize < 0) return count;
  if (firstPos >= volumeSize) return 0;
  // Rounded up: the unit the end cuts through still counts as before it.
  const std::int64_t before = (volumeSize - firstPos + unitSize - 1) / unitSize;
  return before < count ? before : count;
}

std::int64_t UnitsBeforeStart(std::int64_t firstPos, std::int64_t unitSize, std::int64_t count) {
  if (count <= 0 || firstPos >= 0) return 0;
  const std::int64_t before = (-firstPos + unitSize - 1) / unitSize;
  return before < count ? before : count;
}

ReadResult ReadDiscBlock(Volume& volume, std::int64_t block, std::span<std::uint8_t> buffer) {
  ReadResult r = volume.ReadAt(Tk40BlockOffset(block), buffer.first(kTk40BlockSize));
  if (r.ok() && r.bytes < static_cast<std::size_t>(kTk40BlockSize)) {
    r.error = "block " + std::to_string(block) + " lies beyond the end of " + volume.Name();
  }
  return r;
}

}  // namespace zep
