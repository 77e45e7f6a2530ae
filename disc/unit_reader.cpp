#include "disc/unit_reader.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace zep {
namespace {

std::int64_t BatchUnits(const RecordExtent& extent, std::size_t batchBytes) {
  if (extent.unitSize <= 0 || extent.unitSize % kZepSectorSize != 0) {
    throw BrokenPromise("a unit reader's units are whole sectors");
  }
  return std::max<std::int64_t>(static_cast<std::int64_t>(batchBytes) / extent.unitSize, 1);
}

}  // namespace

UnitReader::UnitReader(Volume& volume, const RecordExtent& extent, std::size_t batchBytes, bool shortReadIsEnd)
    : volume_(volume),
      extent_(extent),
      batchUnits_(BatchUnits(extent, batchBytes)),
      buffer_(static_cast<std::size_t>(batchUnits_ * extent.unitSize)),
      single_(static_cast<std::size_t>(extent.unitSize)),
      states_(static_cast<std::size_t>(batchUnits_)),
      notTriedIn_(static_cast<std::size_t>(batchUnits_)),
      shortReadIsEnd_(shortReadIsEnd) {
  beforeStart_ = extent.BeforeStart();
  next_ = beforeStart_;
}

void UnitReader::MarkBad(std::int64_t k, const ReadResult& r) {
  const std::int64_t unit = extent_.Unit(k);
  if (!badRuns_.empty() && badRuns_.back().first + badRuns_.back().count == unit) ++badRuns_.back().count;
  else badRuns_.push_back({unit, 1});
  const char* noun = extent_.unitSize == kTk40BlockSize ? "block " : "sector ";
  const Problem p = !r.ok() ? *r.problem
                            : Problem{"", noun + std::to_string(unit) + (r.bytes == 0 ? " lies" : " runs") +
                                              " beyond the end of " + volume_.Name(), 0, ProblemKind::kPastEnd};
  if (badUnits_++ == 0) firstProblem_ = p;
  if (p.kind == ProblemKind::kNotTried) {
    if (notTriedUnits_++ == 0) firstNotTried_ = p;
  } else if (triedUnits_++ == 0) {
    firstTried_ = p;
  }
}

Problem UnitReader::firstProblem() const {
  Problem p = firstProblem_;
  p.units = badUnits_;
  return p;
}

void UnitReader::SeeRead(std::int64_t pos, std::size_t asked, const ReadResult& r) {
  if (shortReadIsEnd_ && r.ok() && r.bytes < asked && seenEnd_ < 0) seenEnd_ = pos + static_cast<std::int64_t>(r.bytes);
}

std::int64_t UnitReader::Inside() const {
  const std::int64_t size = volume_.Size();
  return extent_.BeforeEnd(size >= 0 ? size : seenEnd_);
}

std::int64_t UnitReader::CopyInto(OutputFile& out, std::int64_t maxUnits) {
  const std::int64_t size = volume_.Size();
  if (observer_ || copyDeclined_ || size < 0 || size < extent_.firstPos) return 0;
  const std::int64_t whole = std::min(extent_.count, (size - extent_.firstPos) / extent_.unitSize);
  const std::int64_t n = std::min(maxUnits, whole - next_);
  if (n <= 0) return 0;
  const std::int64_t bytes = n * extent_.unitSize;
  const std::int64_t copied = out.CopyFrom(volume_, extent_.Offset(next_), bytes);
  std::int64_t units = copied / extent_.unitSize;
  if (copied < bytes) {
    copyDeclined_ = true;
    if (const auto part = static_cast<std::size_t>(copied % extent_.unitSize); part > 0) {
      const std::int64_t k = next_ + units++;
      const ReadResult r = volume_.ReadAt(extent_.Offset(k), single_.span());
      if (r.ok() && r.bytes == single_.size()) {
        out.Write(single_.span().subspan(part));
      } else {
        out.WriteZeros(single_.size() - part);
        MarkBad(k, r);
      }
    }
  }
  next_ += units;
  return units;
}

void UnitReader::Tell() {
  if (!observer_) return;
  for (std::int64_t j = 0; j < batchSize_; ++j) {
    const auto unit = Unit(j);
    observer_->Unit(batchFirst_ + j, unit.first(State(j) == UnitState::Cut ? cutBytes_ : unit.size()), State(j));
  }
}

void UnitReader::ReadAlone(std::int64_t j, std::span<std::uint8_t> unit) {
  const std::size_t size = unit.size();
  // Read on its own through a buffer of its own, aligned like every volume read.
  const ReadResult one = volume_.ReadAt(extent_.Offset(next_ + j), single_.span());
  SeeRead(extent_.Offset(next_ + j), size, one);
  const std::size_t good = one.ok() ? std::min(one.bytes, size) : 0;
  std::memcpy(unit.data(), single_.data(), good);
  std::memset(unit.data() + good, 0, size - good);
  auto& state = states_[static_cast<std::size_t>(j)];
  state = good == size ? UnitState::Good : good > 0 ? UnitState::Cut : UnitState::Unreadable;
  if (state == UnitState::Cut) cutBytes_ = good;
  if (state != UnitState::Good) MarkBad(next_ + j, one);
  notTriedIn_[static_cast<std::size_t>(j)] = !one.ok() && one.problem->kind == ProblemKind::kNotTried;
}

bool UnitReader::Next() { return NextInto(buffer_.span()); }

bool UnitReader::NextInto(std::span<std::uint8_t> dest) {
  const auto size = static_cast<std::size_t>(extent_.unitSize);
  const auto room = static_cast<std::int64_t>(dest.size() / size);
  if (room == 0) throw BrokenPromise("a unit reader's batch holds at least one unit");
  if (room > static_cast<std::int64_t>(states_.size())) {
    states_.resize(static_cast<std::size_t>(room));
    notTriedIn_.resize(static_cast<std::size_t>(room));
  }
  for (;;) {
    const std::int64_t inside = Inside();
    if (next_ >= inside) {
      pastEnd_ = extent_.count - next_;
      batchSize_ = 0;
      batch_ = {};
      if (observer_ && !std::exchange(endTold_, true)) observer_->End(pastEnd_);
      return false;
    }
    std::int64_t n = std::min(room, inside - next_);
    const ReadResult r = volume_.ReadAt(extent_.Offset(next_), dest.first(static_cast<std::size_t>(n) * size));
    SeeRead(extent_.Offset(next_), static_cast<std::size_t>(n) * size, r);
    // Units delivered whole by a successful batch read are good; the rest of
    // the batch is read again unit by unit.
    const std::int64_t whole = r.ok() ? static_cast<std::int64_t>(r.bytes / size) : 0;
    std::fill_n(states_.begin(), whole, UnitState::Good);
    std::fill_n(notTriedIn_.begin(), n, std::uint8_t{0});
    for (std::int64_t j = whole; j < n; ++j) {
      if (next_ + j >= Inside()) {
        n = j;  // the batch read has just met the end
        break;
      }
      ReadAlone(j, dest.subspan(static_cast<std::size_t>(j) * size, size));
    }
    batchFirst_ = next_;
    batchSize_ = n;
    batch_ = dest.first(static_cast<std::size_t>(n) * size);
    next_ += n;
    Tell();
    if (n > 0) return true;
  }
}

}  // namespace zep
