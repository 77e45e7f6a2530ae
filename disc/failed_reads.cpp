#include "disc/failed_reads.h"

#include <iterator>

namespace zep {

const Problem* FailedReads::Overlapping(std::int64_t pos, std::int64_t end) const {
  auto it = failed_.upper_bound(pos);
  // The range starting at or before pos may reach into [pos, end).
  if (it != failed_.begin()) {
    const auto before = std::prev(it);
    if (before->second.end > pos) return &before->second.problem;
  }
  if (it != failed_.end() && it->first < end) return &it->second.problem;
  return nullptr;
}

void FailedReads::Remember(std::int64_t pos, std::int64_t end, const Problem& problem) {
  // Only ranges that meet no remembered one are asked for, so none overlap.
  if (pos < end && !Overlapping(pos, end)) failed_.emplace(pos, Failure{end, problem});
}

namespace {

// Whether a failed read was the drive's refusal, the failure that costs its
// seconds of retries every time it is asked. A read before the start or past
// the end of the volume, and bytes a mapfile marks never tried, ask the
// drive nothing: they are answered afresh, and are never taken for a bad
// unit that a neighbour's read must give up with.
bool DriveRefused(ProblemKind kind) {
  switch (kind) {
    case ProblemKind::kUnreadable: return true;
    case ProblemKind::kPastEnd:
    case ProblemKind::kNotTried: return false;
    default: return true;  // whatever else a platform says of a failed read: not asked again either
  }
}

class RememberingVolume final : public Volume {
 public:
  RememberingVolume(std::unique_ptr<Volume> volume, std::shared_ptr<FailedReads> memory)
      : volume_(std::move(volume)), memory_(std::move(memory)) {}

  ReadResult ReadAt(std::int64_t pos, std::span<std::uint8_t> buf) override {
    const std::int64_t end = pos + static_cast<std::int64_t>(buf.size());
    if (const Problem* problem = memory_->Overlapping(pos, end)) return {0, *problem};
    ReadResult r = volume_->ReadAt(pos, buf);
    if (!r.ok() && end - pos <= FailedReads::kLargestUnit && DriveRefused(r.problem->kind)) {
      memory_->Remember(pos, end, *r.problem);
    }
    return r;
  }

  bool IsRemovableMedia() override { return volume_->IsRemovableMedia(); }
  const std::string& Name() const override { return volume_->Name(); }
  std::int64_t Size() const override { return volume_->Size(); }
  std::int64_t CopyInto(std::intptr_t outHandle, std::int64_t pos, std::int64_t size) override {
    // A copy that meets a remembered failure stops before it, and the reads
    // that finish it fail from memory.
    if (memory_->Overlapping(pos, pos + size)) return 0;
    return volume_->CopyInto(outHandle, pos, size);
  }

 private:
  std::unique_ptr<Volume> volume_;
  std::shared_ptr<FailedReads> memory_;
};

}  // namespace

std::unique_ptr<Volume> RememberingFailures(std::unique_ptr<Volume> volume, std::shared_ptr<FailedReads> memory) {
  return std::make_unique<RememberingVolume>(std::move(volume), std::move(memory));
}

VolumeOpener OpenRememberingFailures(VolumeOpener open, std::shared_ptr<FailedReads> memory) {
  return [open = std::move(open), memory = std::move(memory)]() -> VolumeOpenResult {
    VolumeOpenResult opened = open();
    if (opened.volume) opened.volume = RememberingFailures(std::move(opened.volume), memory);
    return opened;
  };
}

}  // namespace zep
