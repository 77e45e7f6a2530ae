#include "disc/unit_reader.h"

#include <algorithm>
#include <cstring>

namespace zep {

UnitReader::UnitReader(Volume& volume, const RecordExtent& extent, std::size_t batchBytes)
    : volume_(volume),
      extent_(extent),
      batchUnits_(std::max<std::int64_t>(static_cast<std::int64_t>(batchBytes) / extent.unitSize, 1)),
      buffer_(static_cast<std::size_t>(batchUnits_ * extent.unitSize)),
      single_(static_cast<std::size_t>(extent.unitSize)),
      states_(static_cast<std::size_t>(batchUnits_)) {
  if (extent.unitSize <= 0 || extent.unitSize % kZepSectorSize != 0) {
    throw BrokenPromise("a unit reader's units are whole sectors");
  }
  beforeStart_ = extent.BeforeStart();
  next_ = beforeStart_;
}

void UnitReader::MarkBad(std::int64_t k, const ReadResult& r) {
  const std::int64_t unit = extent_.Unit(k);
  if (!badRuns_.empty() && badRuns_.back().first + badRuns_.back().count == unit) ++badRuns_.back().count;
  else badRuns_.push_back({unit, 1});
  if (badUnits_++ > 0) return;
  const char* noun = extent_.unitSize == kTk40BlockSize ? "block " : "sector ";
  firstError_ = !r.ok()        ? r.error
                : r.bytes == 0 ? noun + std::to_string(unit) + " lies beyond the end of " + volume_.Name()
                               : noun + std::to_string(unit) + " runs beyond the end of " + volume_.Name();
}

bool UnitReader::Next() {
  const auto size = static_cast<std::size_t>(extent_.unitSize);
  for (;;) {
    const std::int64_t inside = extent_.BeforeEnd(volume_.Size());
    if (next_ >= inside) {
      pastEnd_ = extent_.count - next_;
      batchSize_ = 0;
      return false;
    }
    std::int64_t n = std::min(batchUnits_, inside - next_);
    const ReadResult r = volume_.ReadAt(extent_.Offset(next_), buffer_.span().first(static_cast<std::size_t>(n) * size));
    // Units delivered whole by a successful batch read are good; the rest of
    // the batch is read again unit by unit.
    const std::int64_t whole = r.ok() ? static_cast<std::int64_t>(r.bytes / size) : 0;
    std::fill_n(states_.begin(), whole, UnitState::Good);
    for (std::int64_t j = whole; j < n; ++j) {
      if (next_ + j >= extent_.BeforeEnd(volume_.Size())) {
        n = j;  // the batch read has just met the end
        break;
      }
      const auto unit = buffer_.span().subspan(static_cast<std::size_t>(j) * size, size);
      // Read on its own through a buffer of its own, aligned like every volume read.
      const ReadResult one = volume_.ReadAt(extent_.Offset(next_ + j), single_.span());
      const std::size_t good = one.ok() ? std::min(one.bytes, size) : 0;
      std::memcpy(unit.data(), single_.data(), good);
      std::memset(unit.data() + good, 0, size - good);
      auto& state = states_[static_cast<std::size_t>(j)];
      state = good == size ? UnitState::Good : good > 0 ? UnitState::Cut : UnitState::Unreadable;
      if (state == UnitState::Cut) cutBytes_ = good;
      if (state != UnitState::Good) MarkBad(next_ + j, one);
    }
    batchFirst_ = next_;
    batchSize_ = n;
    next_ += n;
    if (n > 0) return true;
  }
}

}  // namespace zep
