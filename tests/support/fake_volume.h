#pragma once
// An in-memory volume for tests: the bytes of a disc image, with reads that
// fail on chosen byte ranges, and a log of every read asked for.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "disc/aligned_buffer.h"
#include "disc/volume.h"

namespace zep::test {

struct ReadCall {
  std::int64_t pos;
  std::size_t size;
};

class MemoryVolume final : public Volume {
 public:
  explicit MemoryVolume(std::vector<std::uint8_t> bytes, bool removable = true)
      : bytes_(std::move(bytes)), removable_(removable) {}

  // Any read that touches [pos, pos + size) fails outright.
  void FailRange(std::int64_t pos, std::int64_t size) { failures_.push_back({pos, size}); }
  // A read that touches [pos, pos + size) delivers only the bytes before it.
  void ShortRange(std::int64_t pos, std::int64_t size) { shorts_.push_back({pos, size}); }

  // How the volume learns its size: never (a device no query answers, the
  // default), from the start (an image file), or at the first read that
  // meets the end (a drive under Wine).
  enum class SizeKnown { Never, FromStart, AtEnd };
  void KnowSize(SizeKnown how) {
    sizeKnown_ = how;
    size_ = how == SizeKnown::FromStart ? static_cast<std::int64_t>(bytes_.size()) : kUnknownSize;
  }

  ReadResult ReadAt(std::int64_t pos, std::span<std::uint8_t> buf) override {
    reads_.push_back({pos, buf.size()});
    ReadResult r;
    const std::int64_t end = pos + std::ssize(buf);
    auto touches = [&](const Range& g) { return pos < g.pos + g.size && g.pos < end; };
    const auto fail = [&r](std::string what, ProblemKind kind) { r.problem = Problem{"", std::move(what), 0, kind}; };
    if (reinterpret_cast<std::uintptr_t>(buf.data()) % kIoAlignment != 0) fail("unaligned buffer", ProblemKind::kBug);
    else if (pos < 0) fail("negative position", ProblemKind::kPastEnd);
    else if (std::any_of(failures_.begin(), failures_.end(), touches)) {
      fail("injected read failure at byte " + std::to_string(pos), ProblemKind::kUnreadable);
    }
    if (r.problem) return r;
    std::int64_t limit = std::min<std::int64_t>(end, std::ssize(bytes_));
    for (const Range& s : shorts_) limit = touches(s) ? std::min(limit, std::max(pos, s.pos)) : limit;
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
  bool IsRemovableMedia() override { return removable_; }
  const std::string& Name() const override { return name_; }
  std::int64_t Size() const override { return size_; }

  const std::vector<ReadCall>& reads() const { return reads_; }
  const std::vector<std::uint8_t>& bytes() const { return bytes_; }

 private:
  struct Range {
    std::int64_t pos, size;
  };
  std::vector<std::uint8_t> bytes_;
  bool removable_;
  std::string name_ = "memory";
  std::vector<Range> failures_, shorts_;
  SizeKnown sizeKnown_ = SizeKnown::Never;
  std::int64_t size_ = kUnknownSize;
  std::vector<ReadCall> reads_;
};

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

// An opener that hands out the volume once per call, sharing the state
// (failures, log) with the caller's copy through the pointer.
inline VolumeOpener OpenerFor(MemoryVolume* volume) {
  return [volume] { return VolumeOpenResult{std::make_unique<BorrowedVolume>(volume), {}}; };
}
// An opener that hands out a copy of the volume as it is configured now.
inline VolumeOpener OpenerFor(const MemoryVolume& v) {
  return [v] { return VolumeOpenResult{std::make_unique<MemoryVolume>(v), {}}; };
}
// An opener that always fails with the given reason.
inline VolumeOpener FailingOpener(std::string reason = "no such drive") {
  return [reason] { return VolumeOpenResult{nullptr, Problem{"", reason, 0, ProblemKind::kUnreadable}}; };
}

// The kinds of problems, in order: what tests assert rather than sentences.
inline std::vector<ProblemKind> KindsOf(const Problems& problems) {
  std::vector<ProblemKind> kinds;
  for (const Problem& p : problems) kinds.push_back(p.kind);
  return kinds;
}

// A problem's text, or "" for none: for messages in test failures.
inline std::string TextOf(const std::optional<Problem>& problem) { return problem ? problem->Text() : ""; }

}  // namespace zep::test
