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
    r.problem = Problem{"", "block " + std::to_string(block) + " lies beyond the end of " + volume.Name(), 1,
                        ProblemKind::kPastEnd};
  }
  return r;
}

ReadResult BeforeStart(std::int64_t pos, const std::string& name) {
  return {0, Problem{"", "position " + std::to_string(pos) + " is before the start of " + name, 0,
                     ProblemKind::kPastEnd}};
}

}  // namespace zep
