#include "convert/disc_check.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "convert/record_file.h"
#include "convert/tk40_convert.h"
#include "disc/scan.h"

namespace zep {
namespace {

void AddUnreadable(RecordHealth& h, std::int64_t unit) {
  ++h.unreadableUnits;
  if (!h.unreadable.empty() && h.unreadable.back().first + h.unreadable.back().count == unit) ++h.unreadable.back().count;
  else h.unreadable.push_back({unit, 1});
}

// The last bytes of a record that a walk fed unit by unit may look back at:
// a ping header that began in the unit before, the tail of the last sector.
// Units come in order, each right after the one before.
class UnitWindow {
 public:
  explicit UnitWindow(std::uint64_t begin) : base_(begin) {}

  void Push(std::uint64_t pos, std::span<const std::uint8_t> bytes, bool unreadable) {
    if (bytes_.size() > 2 * kKeep) {
      const std::size_t drop = bytes_.size() - kKeep;
      bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(drop));
      base_ += drop;
      std::erase_if(unreadable_, [this](const ByteRange& r) { return r.end <= base_; });
    }
    if (bytes_.empty()) base_ = pos;
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    if (unreadable) AddRange(unreadable_, {pos, pos + bytes.size()});
  }
  std::uint64_t base() const { return base_; }
  // The bytes [pos, pos + n) held, fewer at the end of what was fed.
  std::span<const std::uint8_t> At(std::uint64_t pos, std::size_t n) const {
    if (pos < base_ || pos >= base_ + bytes_.size()) return {};
    const auto offset = static_cast<std::size_t>(pos - base_);
    return {bytes_.data() + offset, std::min(n, bytes_.size() - offset)};
  }
  bool Unreadable(std::uint64_t pos, std::size_t n) const {
    return std::any_of(unreadable_.begin(), unreadable_.end(),
                       [&](const ByteRange& r) { return r.begin < pos + n && pos < r.end; });
  }

 private:
  // Far more than one unit and the 256-byte header before it.
  static constexpr std::size_t kKeep = 64 * 1024;
  std::uint64_t base_;
  std::vector<std::uint8_t> bytes_;
  std::vector<ByteRange> unreadable_;
};

// The walk of a ZEP V1.X record from ping to ping, fed unit by unit: it needs
// only the 256 bytes of each header. It follows the walk of the record file a
// conversion writes, so that both count the same pings: a unit that did not
// read inside a ping's samples leaves a ping with unread samples; one under
// the next header breaks the walk, as does a header without magic. From a
// break it searches on for the next header that was read whole, passes the
// checks of a carved run and numbers itself after the last ping; each such
// resumption starts a new run of pings, and names the pings between.
class PingWalk {
 public:
  explicit PingWalk(std::uint64_t begin) : next_(begin) {}
  const std::vector<ByteRange>& pings() const { return pings_; }

  void GoodUnit(UnitWindow& stream, std::uint64_t unitEnd, RecordHealth& h) {
    for (;;) {
      if (broken_ && !Search(stream, unitEnd, h)) return;
      if (inPing_ && !Complete(unitEnd, h)) return;
      if (next_ + kPingHeaderSize > unitEnd) return;
      const auto header = stream.At(next_, kPingHeaderSize);
      if (!HasPingMagic(header.data()) || stream.Unreadable(next_, kPingHeaderSize)) {
        Break();
        continue;
      }
      pingStart_ = next_;
      pingEnd_ = next_ + kPingHeaderSize + GetU16(header.data() + ping::kSampleCount);
      lastIndex_ = GetU32(header.data() + ping::kPingIndex);
      inPing_ = true;
      unreadInPing_ = false;
    }
  }
  // A unit that did not read, or the part of one that the end cut off.
  void BadUnit() {
    if (inPing_) unreadInPing_ = true;  // the header is whole: it lies in its samples
    else if (!broken_) Break();
  }
  // At the end of the record, or of the volume where that comes first (units
  // past it are counted apart): a ping cut short breaks the walk; what
  // follows the last whole ping must be zeros within the last sector, read.
  void End(UnitWindow& stream, std::uint64_t end, RecordHealth& h) {
    if (inPing_ && Complete(end, h) && next_ + kPingHeaderSize <= end && stream.Unreadable(next_, kPingHeaderSize)) {
      Break();
    }
    if (!broken_ && next_ == end) return;
    if (!broken_) Break();
    const std::uint64_t at = breakAt_;
    const auto tail = end > at && end - at < static_cast<std::uint64_t>(kZepSectorSize)
                          ? stream.At(at, end - at)
                          : std::span<const std::uint8_t>{};
    const bool padding = end > at && tail.size() == end - at && !stream.Unreadable(at, tail.size()) &&
                         std::all_of(tail.begin(), tail.end(), [](std::uint8_t b) { return b == 0; });
    if (padding) return;
    Confirm(h);
    h.walkStopsAt = at;
  }

 private:
  // Counts the ping being read once its last byte is in; false while it is not.
  bool Complete(std::uint64_t unitEnd, RecordHealth& h) {
    if (pingEnd_ > unitEnd) return false;
    ++h.pingsFound;
    ++h.walkRuns.back();
    if (unreadInPing_) ++h.unreadPings;
    AddRange(pings_, {pingStart_, pingEnd_});
    next_ = pingEnd_;
    inPing_ = false;
    return true;
  }
  void Break() {
    broken_ = true;
    breakAt_ = next_;
    searchFrom_ = next_;
    inPing_ = false;
  }
  void Confirm(RecordHealth& h) {
    if (!h.walkBreaksAt) h.walkBreaksAt = breakAt_;
  }
  // Looks for the next header in the bytes read up to unitEnd.
  bool Search(UnitWindow& stream, std::uint64_t unitEnd, RecordHealth& h) {
    // Only unreadable units, which hold no header, can have left the window.
    searchFrom_ = std::max(searchFrom_, stream.base());
    while (searchFrom_ + kPingHeaderSize <= unitEnd) {
      const auto view = stream.At(searchFrom_, static_cast<std::size_t>(unitEnd - searchFrom_));
      if (view.size() < kPingHeaderSize) return false;
      const std::optional<std::uint32_t> last = h.pingsFound > 0 ? std::optional(lastIndex_) : std::nullopt;
      const std::optional<std::size_t> at = FindResumingPing(
          view, last, [&](std::size_t i) { return stream.Unreadable(searchFrom_ + i, kPingHeaderSize); });
      if (at) {
        const std::uint32_t index = GetU32(view.data() + *at + ping::kPingIndex);
        Confirm(h);
        const std::uint64_t first = last ? std::uint64_t{*last} + 1 : 0;
        if (index > first) h.missing.push_back({static_cast<std::int64_t>(first), static_cast<std::int64_t>(index - first)});
        next_ = searchFrom_ + *at;
        broken_ = false;
        h.walkRuns.push_back(0);
        return true;
      }
      searchFrom_ += view.size() - kPingHeaderSize + 1;
    }
    return false;
  }

  std::vector<ByteRange> pings_;  // where the pings walked lie on the volume
  std::uint64_t next_;  // the next header, or the start of the ping being read
  std::uint64_t pingStart_ = 0, pingEnd_ = 0, breakAt_ = 0, searchFrom_ = 0;
  std::uint32_t lastIndex_ = 0;
  bool inPing_ = false, broken_ = false, unreadInPing_ = false;
};

// A TK40 ping's index is its block's place in the record, so the blocks
// between two that gave pings are the pings missing from the file.
void SeeTk40Ping(RecordHealth& h, std::int64_t k, std::int64_t& lastPing) {
  if (lastPing >= 0 && k > lastPing + 1) h.missing.push_back({lastPing + 1, k - lastPing - 1});
  lastPing = k;
}

}  // namespace

struct RecordChecker::Walk {
  explicit Walk(std::uint64_t begin) : window(begin), walk(begin) {}
  UnitWindow window;
  PingWalk walk;
};

RecordChecker::RecordChecker(const RecordExtent& extent, SourceType type, int slot)
    : extent_(extent), type_(type), next_(extent.BeforeStart()) {
  h_.slot = slot;
  h_.directoryCount = extent.listed;
  h_.firstUnit = extent.firstUnit;
  h_.units = extent.count;
  // Units before the start of the volume (a negative first unit) are not
  // there to read; counted, not walked one by one, however many there are.
  const auto begin = static_cast<std::uint64_t>(std::max<std::int64_t>(extent.Offset(next_), 0));
  if (type == SourceType::ZepV1) walk_ = std::make_unique<Walk>(begin);
  if (next_ > 0) {
    h_.unreadable.push_back({extent.firstUnit, next_});
    h_.unreadableUnits = next_;
    if (walk_) walk_->walk.BadUnit();
  }
}

RecordChecker::~RecordChecker() = default;

void RecordChecker::Unit(std::int64_t k, std::span<const std::uint8_t> bytes, UnitState state) {
  if (k != next_ || ended_) throw BrokenPromise("a record check is told its units in order, once");
  next_ = k + 1;
  const auto pos = static_cast<std::uint64_t>(extent_.Offset(k));
  if (walk_) walk_->window.Push(pos, bytes, state == UnitState::Unreadable);
  if (state != UnitState::Good) {
    AddUnreadable(h_, extent_.Unit(k));
    if (!walk_) return;
    // A sector the end cuts through keeps the bytes it has: the walk reads
    // them before the rest of it counts as lost.
    if (state == UnitState::Cut) walk_->walk.GoodUnit(walk_->window, pos + bytes.size(), h_);
    walk_->walk.BadUnit();
    return;
  }
  ++h_.wholeUnits;
  if (walk_) walk_->walk.GoodUnit(walk_->window, pos + bytes.size(), h_);
  else if (!tk40::ModeForCode(bytes[tk40::kModeCode] & 0x0F)) ++h_.noMode;
  else SeeTk40Ping(h_, k, lastPing_);
}

void RecordChecker::End(std::int64_t pastEnd) {
  if (ended_) return;
  ended_ = true;
  h_.beyondEnd = pastEnd;
  if (type_ == SourceType::Tk40) {
    h_.pings = h_.wholeUnits - h_.noMode;
  } else if (extent_.BeforeStart() < extent_.count) {
    walk_->walk.End(walk_->window, static_cast<std::uint64_t>(extent_.Offset(extent_.count - pastEnd)), h_);
    h_.pings = static_cast<std::int64_t>(h_.pingsFound);
  }
  if (h_.units == 0) h_.verdict = Verdict::Empty;
  else if (h_.beyondEnd == h_.units) h_.verdict = Verdict::BeyondEnd;
  else if (h_.unreadableUnits > 0 || h_.beyondEnd > 0 || h_.noMode > 0 || h_.walkBreaksAt) h_.verdict = Verdict::Damaged;
}

const RecordHealth& RecordChecker::health() const {
  if (!ended_) throw BrokenPromise("a record's health is known only once every unit was told");
  return h_;
}

std::vector<ByteRange> RecordChecker::WrittenPings(Volume& volume) const {
  if (walk_) return walk_->walk.pings();
  return zep::WrittenPings(volume, extent_, SourceType::Tk40);  // the blocks: nothing to read
}

namespace {

// Bytes a sector of a front-to-back read took from the volume: an unreadable
// one counts whole, up to the end of the volume.
std::uint64_t Taken(const UnitReader& reader, std::int64_t j, const Volume& volume) {
  if (reader.State(j) == UnitState::Cut) return reader.Delivered(j);
  const std::int64_t pos = reader.extent().Offset(reader.batchFirst() + j), size = volume.Size();
  const std::int64_t unit = reader.extent().unitSize;
  return static_cast<std::uint64_t>(size >= 0 ? std::clamp<std::int64_t>(size - pos, 0, unit) : unit);
}

}  // namespace

// Read in sectors whatever the unit: a TK40 block that fails is then known
// (FailedReads) by the sector that failed rather than the whole block, so the
// scan dump's pieces, half a block off, lose no good neighbour to it.
std::uint64_t RecordChecker::ReadRest(Volume& volume, const std::function<void(std::uint64_t)>& progress) {
  const std::int64_t per = extent_.unitSize / kZepSectorSize;
  UnitReader reader(volume, RecordExtent::Bytes(extent_.Offset(next_), kZepSectorSize, (extent_.count - next_) * per),
                    UnitReader::kBatchBytes, true);
  std::vector<std::uint8_t> unit(static_cast<std::size_t>(extent_.unitSize));
  std::int64_t filled = 0;
  std::size_t delivered = 0;
  UnitState state = UnitState::Good;
  bool tried = false;  // a bad sector of the unit that was tried, not merely never tried
  const auto tell = [&] {
    Unit(next_, std::span(unit).first(state == UnitState::Cut ? delivered : unit.size()), state);
    h_.notTriedUnits += state == UnitState::Unreadable && !tried;
    filled = 0, delivered = 0, state = UnitState::Good, tried = false;
  };
  std::uint64_t bytes = 0;
  while (reader.Next()) {
    for (std::int64_t j = 0; j < reader.batchSize(); ++j) {
      const UnitState s = reader.State(j);
      std::memcpy(unit.data() + filled * kZepSectorSize, reader.Unit(j).data(), static_cast<std::size_t>(kZepSectorSize));
      if (s != UnitState::Good && state != UnitState::Unreadable) state = s;
      tried = tried || (s != UnitState::Good && !reader.NotTried(j));
      delivered += s == UnitState::Unreadable ? 0 : reader.Delivered(j);
      bytes += Taken(reader, j, volume);
      if (++filled == per) tell();
    }
    if (progress) progress(bytes);
  }
  if (filled > 0) {  // the end of the volume cuts the unit
    if (state == UnitState::Good) state = UnitState::Cut;
    tell();
  }
  End(extent_.count - next_);
  return bytes;
}

DumpArea ReadDumpArea(Volume& volume, bool keep, const std::function<void(std::uint64_t)>& progress) {
  constexpr std::int64_t kSectors = kDumpSize / kZepSectorSize;
  DumpArea d;
  if (keep) d.bytes.resize(static_cast<std::size_t>(kDumpSize));
  std::vector<bool> pieceBad(kDumpPieces);
  UnitReader reader(volume, RecordExtent::Bytes(kDumpOffset, kZepSectorSize, kSectors, kDumpOffset / kZepSectorSize),
                    8 * UnitReader::kBatchBytes, true);
  while (reader.Next()) {
    for (std::int64_t j = 0; j < reader.batchSize(); ++j) {
      const std::int64_t k = reader.batchFirst() + j;
      const std::size_t delivered = reader.State(j) == UnitState::Unreadable ? 0 : reader.Delivered(j);
      d.inside += static_cast<std::int64_t>(Taken(reader, j, volume));
      if (reader.State(j) != UnitState::Good) pieceBad[static_cast<std::size_t>(k / 2)] = true;
      if (reader.State(j) == UnitState::Unreadable) AddRange(d.unreadable, {static_cast<std::uint64_t>(kDumpOffset + k * kZepSectorSize), static_cast<std::uint64_t>(kDumpOffset + (k + 1) * kZepSectorSize)});
      if (keep) std::memcpy(d.bytes.data() + k * kZepSectorSize, reader.Unit(j).data(), delivered);
    }
    if (progress) progress(static_cast<std::uint64_t>(d.inside));
  }
  d.unreadableSectors = reader.badUnits();
  if (reader.badUnits() > 0) d.firstProblem = reader.firstProblem();
  d.bytesRead = static_cast<std::uint64_t>(d.inside);
  // Pieces as the scan dump copies them: one with a sector past the end, or
  // cut, or unreadable, is unreadable; one wholly past the end is beyond it.
  const std::int64_t insideSectors = reader.reached();
  d.health.pieces = kDumpPieces;
  for (std::int64_t i = 0; i < kDumpPieces; ++i) {
    if (2 * i >= insideSectors) {
      d.health.beyondEnd = kDumpPieces - i;
      break;
    }
    if (pieceBad[static_cast<std::size_t>(i)] || 2 * i + 1 >= insideSectors) ++d.health.unreadable;
  }
  return d;
}

const char* VerdictName(Verdict v) {
  switch (v) {
    case Verdict::Whole: return "whole";
    case Verdict::Damaged: return "damaged";
    case Verdict::BeyondEnd: return "beyond end";
    case Verdict::Empty: return "empty";
  }
  return "?";
}

std::optional<Verdict> VerdictNamed(std::string_view name) {
  for (const Verdict v : {Verdict::Whole, Verdict::Damaged, Verdict::BeyondEnd, Verdict::Empty}) {
    if (name == VerdictName(v)) return v;
  }
  return std::nullopt;
}

std::uint64_t BytesToCheck(const RecordDirectory& dir, SourceType type, std::int64_t volumeSize) {
  std::uint64_t total = volumeSize < 0 ? kDumpSize : std::clamp<std::int64_t>(volumeSize - kDumpOffset, 0, kDumpSize);
  for (int slot = 0; slot < kSlotCount; ++slot) {
    if (!IsRecordSlot(dir, slot)) continue;
    const RecordExtent ext = ExtentOf(dir, slot, type);
    std::int64_t bytes = ext.count * ext.unitSize;
    if (volumeSize >= 0) bytes = std::min(bytes, std::max<std::int64_t>(volumeSize - ext.Offset(0), 0));
    total += static_cast<std::uint64_t>(bytes);
  }
  return total;
}

DiscHealth CheckDisc(Volume& volume, const RecordDirectory& dir, SourceType type,
                     const std::function<void(std::uint64_t)>& progress) {
  DiscHealth health;
  std::uint64_t before = 0;
  std::function<void(std::uint64_t)> step;
  if (progress) step = [&](std::uint64_t done) { progress(before + done); };
  for (int slot = 0; slot < kSlotCount; ++slot) {
    if (!IsRecordSlot(dir, slot)) continue;
    RecordChecker checker(ExtentOf(dir, slot, type), type, slot);
    before += checker.ReadRest(volume, step);
    health.records.push_back(checker.health());
  }
  const DumpArea dump = ReadDumpArea(volume, false, step);
  health.dump = dump.health;
  health.bytesRead = before + dump.bytesRead;
  return health;
}

}  // namespace zep
