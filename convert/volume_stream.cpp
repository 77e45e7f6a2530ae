#include "convert/volume_stream.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "convert/record_file.h"
#include "disc/problem.h"

namespace zep {
namespace {

// One read of this size costs little more than a plain copy's; larger ones
// only grow the window.
constexpr std::size_t kChunk = 1024 * 1024;
constexpr std::size_t kSector = static_cast<std::size_t>(kZepSectorSize);

// The sectors of [begin, end), or of everything from begin on.
RecordExtent SectorsOf(std::int64_t begin, std::int64_t end) {
  const std::int64_t count = end < 0 ? std::numeric_limits<std::int64_t>::max() / 4 / kZepSectorSize - begin / kZepSectorSize
                                     : (std::max(end, begin) - begin + kZepSectorSize - 1) / kZepSectorSize;
  return RecordExtent::Bytes(begin, kZepSectorSize, count, begin / kZepSectorSize);
}

}  // namespace

VolumeStream::VolumeStream(Volume& volume, std::int64_t begin, std::int64_t end)
    : end_(end),
      reader_(volume, SectorsOf(begin, end), 0, true),
      buffer_(kChunk + 3 * kMaxView),
      base_(static_cast<std::uint64_t>(begin)) {
  if (end_ >= 0 && end_ <= begin) atEnd_ = true;
}

std::span<const std::uint8_t> VolumeStream::From(std::uint64_t pos, std::size_t min) {
  if (pos < base_ || min > kMaxView) throw BrokenPromise("VolumeStream asked for bytes outside its window");
  // A pos far ahead (a search that begins later than the read) passes
  // through the buffer a chunk at a time.
  while (pos + min > base_ + length_ && !atEnd_) {
    DropBefore(pos);
    Fill();
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

void VolumeStream::ReadToEnd() {
  while (!atEnd_) {
    DropBefore(base_ + length_);
    Fill();
  }
}

// Drops what lies more than kMaxView before pos, in whole alignment steps,
// so that every read lands on an aligned address of the buffer.
void VolumeStream::DropBefore(std::uint64_t pos) {
  const std::uint64_t behind = pos - base_ > kMaxView ? pos - base_ - kMaxView : 0;
  const std::size_t drop = static_cast<std::size_t>(std::min<std::uint64_t>(behind / kIoAlignment * kIoAlignment, length_));
  if (drop == 0) return;
  std::memmove(buffer_.data(), buffer_.data() + drop, length_ - drop);
  base_ += drop;
  length_ -= drop;
  std::erase_if(unreadable_, [this](const Range& r) { return r.end <= base_; });
}

void VolumeStream::Fill() {
  const std::size_t room = std::min(kChunk, (buffer_.size() - length_) / kIoAlignment * kIoAlignment);
  if (!reader_.NextInto({buffer_.data() + length_, room})) {
    atEnd_ = true;
    return;
  }
  for (std::int64_t j = 0; j < reader_.batchSize(); ++j) {
    const std::uint64_t at = base_ + length_;
    if (reader_.State(j) == UnitState::Cut) {
      // The end of the volume: the bytes it has are all there is.
      length_ += reader_.Delivered(j);
      atEnd_ = true;
      break;
    }
    length_ += kSector;
    if (reader_.State(j) == UnitState::Good) continue;
    if (!unreadable_.empty() && unreadable_.back().end == at) unreadable_.back().end = at + kSector;
    else unreadable_.push_back({at, at + kSector});
    if (unreadableSectors_++ == 0) firstProblem_ = reader_.firstProblem();
  }
  if (end_ >= 0 && base_ + length_ >= static_cast<std::uint64_t>(end_)) {
    length_ = static_cast<std::size_t>(static_cast<std::uint64_t>(end_) - base_);
    atEnd_ = true;
  }
  if (onRead) onRead(reached());
}

std::optional<std::uint64_t> NextMagic(VolumeStream& stream, std::uint64_t from) {
  for (std::uint64_t pos = from;;) {
    const auto d = stream.From(pos, VolumeStream::kMaxView);
    if (d.size() < 4) return std::nullopt;
    if (const auto at = FindMagic(d)) return pos + *at;
    pos += d.size() - 3;  // a magic may begin in the last three bytes
  }
}

}  // namespace zep
