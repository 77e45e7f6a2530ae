#include "convert/disc_check.h"

#include <algorithm>

#include "convert/record_file.h"
#include "convert/tk40_convert.h"
#include "convert/volume_stream.h"
#include "disc/scan.h"

namespace zep {
namespace {

void AddUnreadable(RecordHealth& h, std::int64_t unit) {
  ++h.unreadableUnits;
  if (!h.unreadable.empty() && h.unreadable.back().first + h.unreadable.back().count == unit) ++h.unreadable.back().count;
  else h.unreadable.push_back({unit, 1});
}

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

  void GoodUnit(VolumeStream& stream, std::uint64_t unitEnd, RecordHealth& h) {
    for (;;) {
      if (broken_ && !Search(stream, unitEnd, h)) return;
      if (inPing_ && !Complete(unitEnd, h)) return;
      if (next_ + kPingHeaderSize > unitEnd) return;
      const auto header = stream.At(next_, kPingHeaderSize);
      if (!HasPingMagic(header.data()) || stream.Unreadable(next_, kPingHeaderSize)) {
        Break();
        continue;
      }
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
  void End(VolumeStream& stream, std::uint64_t end, RecordHealth& h) {
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
  bool Search(VolumeStream& stream, std::uint64_t unitEnd, RecordHealth& h) {
    while (searchFrom_ + kPingHeaderSize <= unitEnd) {
      const auto view = stream.At(searchFrom_, static_cast<std::size_t>(unitEnd - searchFrom_));
      if (view.size() < kPingHeaderSize) return false;
      for (std::size_t i = 0; i + kPingHeaderSize <= view.size(); ++i) {
        const std::uint8_t* p = view.data() + i;
        if (*p != 'V' || !IsPlausiblePing(p)) continue;
        const std::uint32_t index = GetU32(p + ping::kPingIndex);
        if (h.pingsFound > 0 && index <= lastIndex_) continue;
        if (stream.Unreadable(searchFrom_ + i, kPingHeaderSize)) continue;
        Confirm(h);
        const std::uint64_t first = h.pingsFound > 0 ? std::uint64_t{lastIndex_} + 1 : 0;
        if (index > first) h.missing.push_back({static_cast<std::int64_t>(first), static_cast<std::int64_t>(index - first)});
        next_ = searchFrom_ + i;
        broken_ = false;
        h.walkRuns.push_back(0);
        return true;
      }
      searchFrom_ += view.size() - kPingHeaderSize + 1;
    }
    return false;
  }

  std::uint64_t next_;  // the next header, or the start of the ping being read
  std::uint64_t pingEnd_ = 0, breakAt_ = 0, searchFrom_ = 0;
  std::uint32_t lastIndex_ = 0;
  bool inPing_ = false, broken_ = false, unreadInPing_ = false;
};

// bytesRead gets what the record's stretch of the volume gave: nothing
// before its start or past its end, only the bytes a cut unit has.
// Bytes a stream from begin took from the volume: what it holds, less the
// part of a failed sector that lies past the volume's end (the stream holds
// such a sector whole, as zeros).
std::uint64_t BytesTaken(const VolumeStream& stream, const Volume& volume, std::uint64_t begin) {
  std::uint64_t end = stream.reached();
  if (volume.Size() >= 0) end = std::min(end, std::max(begin, static_cast<std::uint64_t>(volume.Size())));
  return end - begin;
}

// A TK40 ping's index is its block's place in the record, so the blocks
// between two that gave pings are the pings missing from the file.
void SeeTk40Ping(RecordHealth& h, std::int64_t k, std::int64_t& lastPing) {
  if (lastPing >= 0 && k > lastPing + 1) h.missing.push_back({lastPing + 1, k - lastPing - 1});
  lastPing = k;
}

RecordHealth CheckRecord(Volume& volume, const RecordDirectory& dir, int slot, SourceType type,
                         const std::function<void(std::uint64_t)>& progress, std::uint64_t& bytesRead) {
  const RecordExtent ext = ExtentOf(dir, slot, type);
  RecordHealth h;
  h.slot = slot;
  h.directoryCount = ext.listed;
  h.firstUnit = ext.firstUnit;
  h.units = ext.count;
  const std::int64_t size = UnitSizeOf(type);
  // Units before the start of the volume (a negative first unit) are not
  // there to read; counted, not walked one by one, however many there are.
  const std::int64_t k0 = ext.BeforeStart();
  if (k0 > 0) {
    h.unreadable.push_back({ext.firstUnit, k0});
    h.unreadableUnits = k0;
  }
  std::int64_t k = k0;
  std::int64_t lastPing = -1;  // TK40: the last block that gave a ping
  const std::int64_t begin = std::max<std::int64_t>(ext.Offset(k), 0);
  VolumeStream stream(volume, begin, ext.Offset(ext.count));
  if (progress) stream.onRead = [&](std::uint64_t reached) { progress(reached - static_cast<std::uint64_t>(begin)); };
  PingWalk walk(static_cast<std::uint64_t>(begin));
  auto walkEnd = static_cast<std::uint64_t>(ext.Offset(ext.count));
  if (k0 > 0) walk.BadUnit();
  for (; k < ext.count; ++k) {
    const auto pos = static_cast<std::uint64_t>(ext.Offset(k));
    const auto unit = stream.At(pos, static_cast<std::size_t>(size));
    if (unit.empty()) {
      h.beyondEnd = ext.count - k;  // the volume ends before this unit: so do all later ones
      walkEnd = pos;
      break;
    }
    if (unit.size() < static_cast<std::size_t>(size) || stream.Unreadable(pos, unit.size())) {
      AddUnreadable(h, ext.Unit(k));
      // A sector the end cuts through keeps the bytes it has: the walk
      // reads them before the rest of it counts as lost.
      if (type == SourceType::ZepV1 && !stream.Unreadable(pos, unit.size())) walk.GoodUnit(stream, pos + unit.size(), h);
      walk.BadUnit();
      continue;
    }
    ++h.wholeUnits;
    if (type == SourceType::Tk40) {
      if (!tk40::ModeForCode(unit[tk40::kModeCode] & 0x0F)) ++h.noMode;
      else SeeTk40Ping(h, k, lastPing);
    } else {
      walk.GoodUnit(stream, pos + unit.size(), h);
    }
  }
  if (type == SourceType::Tk40) {
    h.pings = h.wholeUnits - h.noMode;
  } else if (k0 < ext.count) {
    walk.End(stream, walkEnd, h);
    h.pings = static_cast<std::int64_t>(h.pingsFound);
  }
  bytesRead = BytesTaken(stream, volume, static_cast<std::uint64_t>(begin));
  if (h.units == 0) h.verdict = Verdict::Empty;
  else if (h.beyondEnd == h.units) h.verdict = Verdict::BeyondEnd;
  else if (h.unreadableUnits > 0 || h.beyondEnd > 0 || h.noMode > 0 || h.walkBreaksAt) h.verdict = Verdict::Damaged;
  return h;
}

AreaHealth CheckDumpArea(Volume& volume, const std::function<void(std::uint64_t)>& progress,
                         std::uint64_t& bytesRead) {
  AreaHealth a;
  a.pieces = kDumpPieces;
  VolumeStream stream(volume, kDumpOffset, kDumpOffset + kDumpSize);
  if (progress) stream.onRead = [&](std::uint64_t reached) { progress(reached - kDumpOffset); };
  for (int i = 0; i < kDumpPieces; ++i) {
    const std::uint64_t pos = kDumpOffset + static_cast<std::uint64_t>(i) * kDumpPieceSize;
    const auto piece = stream.At(pos, kDumpPieceSize);
    if (piece.empty()) {
      a.beyondEnd = kDumpPieces - i;
      break;
    }
    if (piece.size() < kDumpPieceSize || stream.Unreadable(pos, piece.size())) ++a.unreadable;
  }
  bytesRead = BytesTaken(stream, volume, kDumpOffset);
  return a;
}

}  // namespace

const char* VerdictName(Verdict v) {
  switch (v) {
    case Verdict::Whole: return "whole";
    case Verdict::Damaged: return "damaged";
    case Verdict::BeyondEnd: return "beyond end";
    case Verdict::Empty: return "empty";
  }
  return "?";
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
  std::uint64_t bytes = 0;
  for (int slot = 0; slot < kSlotCount; ++slot) {
    if (!IsRecordSlot(dir, slot)) continue;
    health.records.push_back(CheckRecord(volume, dir, slot, type, step, bytes));
    before += bytes;
  }
  health.dump = CheckDumpArea(volume, step, bytes);
  health.bytesRead = before + bytes;
  return health;
}

}  // namespace zep
