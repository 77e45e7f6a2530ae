#include "tests/support/fake_volume.h"

#include "disc/aligned_buffer.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace zep::test {

ReadResult MemoryVolume::ReadAt(std::int64_t pos, std::span<std::uint8_t> buf) {
  reads_.push_back({pos, buf.size()});
  ReadResult r;
  if (reinterpret_cast<std::uintptr_t>(buf.data()) % kIoAlignment != 0) {
    r.error = "unaligned buffer";
    return r;
  }
  if (pos < 0) {
    r.error = "negative position";
    return r;
  }
  const std::int64_t end = pos + static_cast<std::int64_t>(buf.size());
  for (const Range& f : failures_) {
    if (pos < f.pos + f.size && f.pos < end) {
      r.error = "injected read failure at byte " + std::to_string(pos);
      return r;
    }
  }
  std::int64_t limit = std::min<std::int64_t>(end, static_cast<std::int64_t>(bytes_.size()));
  for (const Range& s : shorts_) {
    if (pos < s.pos + s.size && s.pos < end) limit = std::min(limit, std::max(pos, s.pos));
  }
  if (limit > pos) {
    r.bytes = static_cast<std::size_t>(limit - pos);
    std::memcpy(buf.data(), bytes_.data() + pos, r.bytes);
  }
  // As the real backends do: a short read is the end.
  if (sizeKnown_ == SizeKnown::AtEnd && size_ == kUnknownSize && r.bytes < buf.size()) {
    size_ = pos + static_cast<std::int64_t>(r.bytes);
  }
  return r;
}

namespace {
// Hands the shared volume to code that expects to own and close it.
class BorrowedVolume final : public Volume {
 public:
  explicit BorrowedVolume(MemoryVolume* v) : v_(v) {}
  ReadResult ReadAt(std::int64_t pos, std::span<std::uint8_t> buf) override { return v_->ReadAt(pos, buf); }
  bool IsRemovableMedia() override { return v_->IsRemovableMedia(); }
  const std::string& Name() const override { return v_->Name(); }
  std::int64_t Size() const override { return v_->Size(); }

 private:
  MemoryVolume* v_;
};
}  // namespace

VolumeOpener OpenerFor(MemoryVolume* volume) {
  return [volume] { return VolumeOpenResult{std::make_unique<BorrowedVolume>(volume), {}}; };
}

VolumeOpener FailingOpener(std::string reason) {
  return [reason] { return VolumeOpenResult{nullptr, reason}; };
}

}  // namespace zep::test
