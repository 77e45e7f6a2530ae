#include "convert/volume_stream.h"

#include <algorithm>
#include <cstring>

namespace zep {
namespace {

// One read of this size costs little more than a plain copy's; larger ones
// only grow the window.
constexpr std::size_t kChunk = 1024 * 1024;
constexpr std::size_t kSector = static_cast<std::size_t>(kZepSectorSize);

}  // namespace

VolumeStream::VolumeStream(Volume& volume, std::int64_t begin, std::int64_t end)
    : volume_(volume),
      end_(end),
      buffer_(kChunk + 3 * kMaxView),
      sector_(kSector),
      base_(static_cast<std::uint64_t>(begin)) {
  if (end_ >= 0 && end_ <= begin) atEnd_ = true;
}

std::span<const std::uint8_t> VolumeStream::From(std::uint64_t pos, std::size_t min) {
  min = std::min(min, kMaxView);
  pos = std::max(pos, base_);
  if (pos + min > base_ + length_ && !atEnd_) {
    // Drop what lies more than kMaxView before pos, in whole alignment steps,
    // so that every read lands on an aligned address of the buffer.
    const std::uint64_t behind = pos - base_ > kMaxView ? pos - base_ - kMaxView : 0;
    const std::size_t drop =
        static_cast<std::size_t>(std::min<std::uint64_t>(behind / kIoAlignment * kIoAlignment, length_));
    std::memmove(buffer_.data(), buffer_.data() + drop, length_ - drop);
    base_ += drop;
    length_ -= drop;
    std::erase_if(unreadable_, [this](const Range& r) { return r.end <= base_; });
    while (!atEnd_ && pos + min > base_ + length_) Fill();
  }
  if (pos >= base_ + length_) return {};
  const std::size_t offset = static_cast<std::size_t>(pos - base_);
  return {buffer_.data() + offset, length_ - offset};
}

std::span<const std::uint8_t> VolumeStream::At(std::uint64_t pos, std::size_t n) {
  const auto held = From(pos, n);
  return held.first(std::min(n, held.size()));
}

bool VolumeStream::Unreadable(std::uint64_t pos, std::size_t n) const {
  return std::any_of(unreadable_.begin(), unreadable_.end(),
                     [&](const Range& r) { return r.begin < pos + n && pos < r.end; });
}

void VolumeStream::Fill() {
  const std::uint64_t at = base_ + length_;
  std::size_t size = std::min(kChunk, (buffer_.size() - length_) / kIoAlignment * kIoAlignment);
  if (end_ >= 0) {
    const std::uint64_t left = static_cast<std::uint64_t>(end_) - at;
    size = static_cast<std::size_t>(std::min<std::uint64_t>(size, (left + kSector - 1) / kSector * kSector));
  }
  const ReadResult r = volume_.ReadAt(static_cast<std::int64_t>(at), {buffer_.data() + length_, size});
  if (r.ok()) {
    length_ += r.bytes;
    if (r.bytes < size) atEnd_ = true;  // the end of the volume
  } else {
    ReadSectorBySector(size);
  }
  if (end_ >= 0 && base_ + length_ >= static_cast<std::uint64_t>(end_)) {
    length_ = static_cast<std::size_t>(static_cast<std::uint64_t>(end_) - base_);
    atEnd_ = true;
  }
  if (onRead) onRead(reached());
}

void VolumeStream::ReadSectorBySector(std::size_t size) {
  for (std::size_t k = 0; k < size && !atEnd_; k += kSector) {
    const std::uint64_t at = base_ + length_;
    const ReadResult r = volume_.ReadAt(static_cast<std::int64_t>(at), sector_.span());
    if (r.ok()) {
      std::memcpy(buffer_.data() + length_, sector_.data(), r.bytes);
      length_ += r.bytes;
      if (r.bytes < kSector) atEnd_ = true;
      continue;
    }
    std::memset(buffer_.data() + length_, 0, kSector);
    length_ += kSector;
    if (!unreadable_.empty() && unreadable_.back().end == at) unreadable_.back().end = at + kSector;
    else unreadable_.push_back({at, at + kSector});
    if (unreadableSectors_++ == 0) firstError_ = r.error;
  }
}

}  // namespace zep
