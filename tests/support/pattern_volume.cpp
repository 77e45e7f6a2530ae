#include "tests/support/pattern_volume.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "disc/aligned_buffer.h"

namespace zep::test {

ReadResult PatternTk40Volume::ReadAt(std::int64_t pos, std::span<std::uint8_t> buf) {
  ++readCalls_;
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
    if (pos < Tk40BlockOffset(f.first + f.count) && Tk40BlockOffset(f.first) < end) {
      r.error = "injected read failure at byte " + std::to_string(pos);
      return r;
    }
  }
  const std::int64_t limit = std::min(end, Tk40BlockOffset(blocks_));
  std::array<std::uint8_t, 4096> block;
  for (std::int64_t at = pos; at < limit;) {
    const std::int64_t n = at / kTk40BlockSize - 4;  // block number, negative before block 0
    const std::int64_t blockStart = (n + 4) * kTk40BlockSize;
    const std::int64_t take = std::min(limit, blockStart + kTk40BlockSize) - at;
    if (n < 0) {
      block.fill(0);
    } else {
      fill_(n, block.data());
    }
    std::memcpy(buf.data() + (at - pos), block.data() + (at - blockStart), static_cast<std::size_t>(take));
    at += take;
  }
  r.bytes = limit > pos ? static_cast<std::size_t>(limit - pos) : 0;
  return r;
}

namespace {
class Borrowed final : public Volume {
 public:
  explicit Borrowed(Volume* v) : v_(v) {}
  ReadResult ReadAt(std::int64_t pos, std::span<std::uint8_t> buf) override { return v_->ReadAt(pos, buf); }
  bool IsRemovableMedia() override { return v_->IsRemovableMedia(); }
  const std::string& Name() const override { return v_->Name(); }

 private:
  Volume* v_;
};
}  // namespace

VolumeOpener BorrowVolume(Volume* volume) {
  return [volume] { return VolumeOpenResult{std::make_unique<Borrowed>(volume), {}}; };
}

}  // namespace zep::test
