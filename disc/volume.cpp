#include "disc/volume.h"

namespace zep {

std::int64_t Volume::CopyInto(std::intptr_t, std::int64_t, std::int64_t) { return 0; }

namespace {

class BorrowedVolume final : public Volume {
 public:
  explicit BorrowedVolume(Volume& v) : v_(v) {}
  ReadResult ReadAt(std::int64_t pos, std::span<std::uint8_t> buf) override { return v_.ReadAt(pos, buf); }
  bool IsRemovableMedia() override { return v_.IsRemovableMedia(); }
  const std::string& Name() const override { return v_.Name(); }
  std::int64_t Size() const override { return v_.Size(); }
  std::int64_t CopyInto(std::intptr_t out, std::int64_t pos, std::int64_t size) override {
    return v_.CopyInto(out, pos, size);
  }

 private:
  Volume& v_;
};

}  // namespace

VolumeOpener BorrowingOpener(Volume& volume) {
  return [&volume] { return VolumeOpenResult{std::make_unique<BorrowedVolume>(volume), {}}; };
}

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
