#include "disc/volume.h"

namespace zep {

std::int64_t Volume::CopyInto(std::intptr_t, std::int64_t, std::int64_t) { return 0; }

std::string DriveVolumePath(char driveLetter) {
  std::string path = "\\\\.\\X:";
  path[4] = driveLetter;
  return path;
}

ReadResult ReadDiscBlock(Volume& volume, std::int64_t block, std::span<std::uint8_t> buffer) {
  ReadResult r = volume.ReadAt(Tk40BlockOffset(block), buffer.first(kTk40BlockSize));
  if (r.ok() && r.bytes < static_cast<std::size_t>(kTk40BlockSize)) {
    r.error = "block " + std::to_string(block) + " lies beyond the end of " + volume.Name();
  }
  return r;
}

}  // namespace zep
