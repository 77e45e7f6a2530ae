#pragma once
// An in-memory volume for tests: the bytes of a disc image, with reads that
// fail outright or come up short on chosen byte ranges.

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "disc/aligned_buffer.h"
#include "disc/volume.h"

namespace zep::test {

class MemoryVolume final : public Volume {
 public:
  explicit MemoryVolume(std::vector<std::uint8_t> bytes, bool removable = true)
      : bytes_(std::move(bytes)), removable_(removable) {}

  // Any read that touches [pos, pos + size) fails outright.
  void FailRange(std::int64_t pos, std::int64_t size) { ranges_.push_back({pos, size, true}); }
  // A read that touches [pos, pos + size) delivers only the bytes before it.
  void ShortRange(std::int64_t pos, std::int64_t size) { ranges_.push_back({pos, size, false}); }

  ReadResult ReadAt(std::int64_t pos, std::span<std::uint8_t> buf) override {
    if (reinterpret_cast<std::uintptr_t>(buf.data()) % kIoAlignment != 0 || pos < 0) return {0, "bad read"};
    const std::int64_t end = pos + static_cast<std::int64_t>(buf.size());
    std::int64_t limit = std::min<std::int64_t>(end, static_cast<std::int64_t>(bytes_.size()));
    for (const Range& r : ranges_) {
      if (pos >= r.pos + r.size || r.pos >= end) continue;
      if (r.fail) return {0, "injected read failure at byte " + std::to_string(pos)};
      limit = std::min(limit, std::max(pos, r.pos));
    }
    const auto n = static_cast<std::size_t>(std::max<std::int64_t>(limit - pos, 0));
    if (n > 0) std::memcpy(buf.data(), bytes_.data() + pos, n);
    return {n, ""};
  }
  bool IsRemovableMedia() override { return removable_; }
  const std::string& Name() const override { return name_; }

 private:
  struct Range {
    std::int64_t pos, size;
    bool fail;
  };
  std::vector<std::uint8_t> bytes_;
  bool removable_;
  std::string name_ = "memory";
  std::vector<Range> ranges_;
};

// Every open hands out a copy of the volume as it is configured now.
inline VolumeOpener OpenerFor(const MemoryVolume& v) { return [v] { return VolumeOpenResult{std::make_unique<MemoryVolume>(v), {}}; }; }
inline VolumeOpener FailingOpener(std::string why) { return [why] { return VolumeOpenResult{nullptr, why}; }; }

}  // namespace zep::test
