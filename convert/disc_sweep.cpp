#include "convert/disc_sweep.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <utility>

#include "disc/aligned_buffer.h"
#include "disc/failed_reads.h"
#include "disc/scan.h"
#include "disc/unit_reader.h"

namespace zep {
namespace {

// What lies between the records is read in reads this large: a drive
// streams, and a bad sector among them is asked for once more on its own.
constexpr std::size_t kGapBatch = 1024 * 1024;

// The volume as the sweep's readers see it. Every read passes through; the
// bytes from a cursor on go to onBytes, once and in order, and the cursor
// moves past them. A read that starts beyond the cursor first has the bytes
// it skips read here. Bytes behind the cursor (records that overlap, a unit
// read alone after its batch failed) are read again but not given again.
class OnePass final : public Volume {
 public:
  OnePass(Volume& inner, const std::function<void(std::span<const std::uint8_t>)>& onBytes,
          const std::function<void(std::uint64_t)>& progress, Volume* asStored = nullptr)
      : inner_(inner), onBytes_(onBytes), progress_(progress), asStored_(asStored) {}

  ReadResult ReadAt(std::int64_t pos, std::span<std::uint8_t> buf) override {
    if (pos > cursor_) ReadUpTo(pos, {});
    if (FromCapture(pos, buf)) return {buf.size(), std::nullopt};
    const ReadResult r = inner_.ReadAt(pos, buf);
    if (r.ok()) {
      bytesRead_ += r.bytes;
      if (r.bytes < buf.size()) LearnEnd(pos + static_cast<std::int64_t>(r.bytes));
      Capture(pos, std::span<const std::uint8_t>(buf).first(r.bytes));
      Pass(pos, std::span<const std::uint8_t>(buf).first(r.bytes));
    } else if (buf.size() <= static_cast<std::size_t>(FailedReads::kLargestUnit)) {
      // A unit read alone that fails is lost; a failed batch is read again
      // unit by unit, and those reads move the cursor.
      Lost(pos, static_cast<std::int64_t>(buf.size()), *r.problem);
    }
    return r;
  }
  bool IsRemovableMedia() override { return inner_.IsRemovableMedia(); }
  const std::string& Name() const override { return inner_.Name(); }
  std::int64_t Size() const override { return inner_.Size() >= 0 ? inner_.Size() : end_; }

  // Reads from the cursor up to end itself (to the end of the volume when
  // end < 0), in large reads; false when cancelled on the way.
  bool ReadUpTo(std::int64_t end, const std::function<bool()>& cancelled) {
    if (AtEnd() || (end >= 0 && cursor_ >= end)) return true;
    const std::int64_t first = cursor_ / kZepSectorSize;
    const std::int64_t count = end >= 0 ? (end - cursor_ + kZepSectorSize - 1) / kZepSectorSize
                                        : std::numeric_limits<std::int64_t>::max() / 4 / kZepSectorSize - first;
    // One batch buffer for the whole pass: a fresh one at every record would
    // cost a MiB of page faults each.
    if (gap_.size() == 0) gap_ = AlignedBuffer(kGapBatch);
    UnitReader reader(inner_, RecordExtent::Bytes(cursor_, kZepSectorSize, count, first), kZepSectorSize, true);
    while (reader.NextInto(gap_.span())) {
      for (std::int64_t j = 0; j < reader.batchSize(); ++j) {
        const std::int64_t pos = cursor_;
        if (reader.State(j) == UnitState::Unreadable) {
          Lost(pos, kZepSectorSize, reader.firstProblem());
          continue;
        }
        const auto bytes = reader.Unit(j).first(reader.Delivered(j));
        bytesRead_ += bytes.size();
        if (reader.State(j) == UnitState::Cut) LearnEnd(pos + static_cast<std::int64_t>(bytes.size()));
        Capture(pos, bytes);
        Pass(pos, bytes);
      }
      if (cancelled && cancelled()) return false;
    }
    if (reader.pastEnd() > 0) LearnEnd(cursor_);
    return true;
  }

  bool AtEnd() const { return Size() >= 0 && cursor_ >= Size(); }
  std::uint64_t bytesRead() const { return bytesRead_; }
  bool everyByte() const { return lostSectors_ == 0 && AtEnd(); }
  std::optional<Problem> firstUnreadable() const {
    if (lostSectors_ == 0) return std::nullopt;
    Problem p = firstProblem_;
    p.units = lostSectors_;
    p.kind = ProblemKind::kUnreadable;
    return p;
  }

 private:
  void Pass(std::int64_t pos, std::span<const std::uint8_t> bytes) {
    const std::int64_t end = pos + static_cast<std::int64_t>(bytes.size());
    if (pos > cursor_ || end <= cursor_) return;
    if (onBytes_) onBytes_(bytes.subspan(static_cast<std::size_t>(cursor_ - pos)));
    cursor_ = end;
    if (progress_) progress_(static_cast<std::uint64_t>(cursor_));
  }
  void Lost(std::int64_t pos, std::int64_t size, const Problem& problem) {
    if (pos > cursor_ || pos + size <= cursor_ || FromStored(pos + size)) return;
    if (lostSectors_ == 0) firstProblem_ = problem;
    lostSectors_ += (pos + size - cursor_ + kZepSectorSize - 1) / kZepSectorSize;
    cursor_ = pos + size;
    if (progress_) progress_(static_cast<std::uint64_t>(cursor_));
  }
  // The bytes up to end as the file stores them, for onBytes only: they
  // did not read, so nothing else takes them. False when they cannot be had.
  bool FromStored(std::int64_t end) {
    if (!asStored_) return false;
    std::vector<std::uint8_t> buf(static_cast<std::size_t>(end - cursor_));
    const ReadResult r = asStored_->ReadAt(cursor_, buf);
    if (!r.ok() || r.bytes == 0) return false;
    if (r.bytes < buf.size()) LearnEnd(cursor_ + static_cast<std::int64_t>(r.bytes));
    Pass(cursor_, std::span<const std::uint8_t>(buf).first(r.bytes));
    return true;
  }
  void LearnEnd(std::int64_t end) {
    if (end_ < 0) end_ = end;
  }
  // A record that covers the scan dump area has its bytes read by the
  // conversion; the dump area's own read then takes them from here instead
  // of asking the disc again. Whole sectors only; 20 MB, and only while a
  // record passes through the area before the area's turn comes, or in the
  // area's own read when its bytes are kept: then these are its bytes, held
  // once.
  void Capture(std::int64_t pos, std::span<const std::uint8_t> bytes) {
    if (!capturing_ || captureDone_ || (areaTurn_ && !keepArea_)) return;
    const std::int64_t end = pos + static_cast<std::int64_t>(bytes.size());
    const std::int64_t from = std::max(pos, kDumpOffset), to = std::min(end, kDumpOffset + kDumpSize);
    const std::int64_t first = (from - kDumpOffset + kZepSectorSize - 1) / kZepSectorSize;
    const std::int64_t last = (to - kDumpOffset) / kZepSectorSize;  // exclusive
    if (first >= last) return;
    if (captured_.empty()) {
      capture_.resize(static_cast<std::size_t>(kDumpSize));
      captured_.assign(static_cast<std::size_t>(kDumpSize / kZepSectorSize), false);
    }
    const std::int64_t at = kDumpOffset + first * kZepSectorSize;
    std::memcpy(capture_.data() + (at - kDumpOffset), bytes.data() + (at - pos),
                static_cast<std::size_t>((last - first) * kZepSectorSize));
    for (std::int64_t k = first; k < last; ++k) captured_[static_cast<std::size_t>(k)] = true;
  }
  bool FromCapture(std::int64_t pos, std::span<std::uint8_t> buf) const {
    const std::int64_t end = pos + static_cast<std::int64_t>(buf.size());
    if (captured_.empty() || pos < kDumpOffset || end > kDumpOffset + kDumpSize || buf.empty()) return false;
    for (std::int64_t k = (pos - kDumpOffset) / kZepSectorSize; k * kZepSectorSize < end - kDumpOffset; ++k) {
      if (!captured_[static_cast<std::size_t>(k)]) return false;
    }
    std::memcpy(buf.data(), capture_.data() + (pos - kDumpOffset), buf.size());
    return true;
  }

 public:
  // Bytes of the dump area are kept as they are read (the sweep's, not a
  // carve's, whose reads pass the area only once).
  void Capturing() { capturing_ = true; }
  // The dump area's own read begins; keep: its bytes are wanted after it.
  void AreaTurn(bool keep) { areaTurn_ = true, keepArea_ = keep; }
  // The dump area has been read: its bytes (kDumpSize of them, zeros where
  // nothing read) when they were to be kept; nothing else is held for it.
  std::vector<std::uint8_t> TakeArea() {
    captureDone_ = true;
    std::vector<bool>().swap(captured_);
    std::vector<std::uint8_t> bytes = std::exchange(capture_, {});
    if (!keepArea_) return {};
    bytes.resize(static_cast<std::size_t>(kDumpSize));
    return bytes;
  }

 private:

  Volume& inner_;
  const std::function<void(std::span<const std::uint8_t>)>& onBytes_;
  const std::function<void(std::uint64_t)>& progress_;
  Volume* asStored_;
  std::int64_t cursor_ = 0;
  std::int64_t end_ = kUnknownSize;  // learnt from a read, where the volume does not say
  std::uint64_t bytesRead_ = 0;
  std::int64_t lostSectors_ = 0;
  Problem firstProblem_;
  AlignedBuffer gap_;  // ReadUpTo's batches
  std::vector<std::uint8_t> capture_;
  std::vector<bool> captured_;  // by sector of the dump area
  bool capturing_ = false, areaTurn_ = false, keepArea_ = false, captureDone_ = false;
};

// The scan dump area as the sweep read it, in memory, where it lies on the
// volume: what a carve of it reads instead of the disc. Its sectors that did
// not read fail again, at once.
class DumpAreaVolume final : public Volume {
 public:
  DumpAreaVolume(const DumpArea& area, const std::string& name) : area_(area), name_(name) {}
  ReadResult ReadAt(std::int64_t pos, std::span<std::uint8_t> buf) override {
    const std::int64_t end = pos + static_cast<std::int64_t>(buf.size());
    if (pos < kDumpOffset) return {0, Problem{name_, "byte " + std::to_string(pos) + " lies before the scan dump area", 0, ProblemKind::kPastEnd}};
    const auto touches = [&](const ByteRange& r) {
      return static_cast<std::uint64_t>(pos) < r.end && r.begin < static_cast<std::uint64_t>(end);
    };
    if (std::any_of(area_.unreadable.begin(), area_.unreadable.end(), touches)) return {0, area_.firstProblem};
    const std::int64_t from = pos - kDumpOffset;
    const std::int64_t n = std::clamp<std::int64_t>(area_.inside - from, 0, std::ssize(buf));
    if (n > 0) std::memcpy(buf.data(), area_.bytes.data() + from, static_cast<std::size_t>(n));
    return {static_cast<std::size_t>(n), std::nullopt};
  }
  bool IsRemovableMedia() override { return true; }
  const std::string& Name() const override { return name_; }
  std::int64_t Size() const override { return kDumpOffset + area_.inside; }

 private:
  const DumpArea& area_;
  std::string name_;
};

// What the sweep reads, in the order of its first byte on the volume: the
// records (by slot) and the scan dump area (slot -1).
struct Stop {
  std::int64_t pos;
  int slot;
};

std::vector<Stop> Order(const RecordDirectory& dir, SourceType type) {
  std::vector<Stop> stops{{kDumpOffset, -1}};
  for (int slot = 0; slot < kSlotCount; ++slot) {
    if (!IsRecordSlot(dir, slot)) continue;
    const RecordExtent ext = ExtentOf(dir, slot, type);
    stops.push_back({std::max<std::int64_t>(ext.Offset(ext.BeforeStart()), 0), slot});
  }
  // The dump area comes after the records that begin inside it: their
  // reads pass its bytes first and keep them for it, where the area read
  // first would have them read again for the records.
  const auto key = [](const Stop& s) { return s.slot < 0 ? kDumpOffset + kDumpSize - 1 : s.pos; };
  std::stable_sort(stops.begin(), stops.end(), [&](const Stop& a, const Stop& b) { return key(a) < key(b); });
  return stops;
}

// One record: converted where a target is given, its units told to its
// check as the conversion reads them; the check reads whatever the
// conversion did not (all of it, when there is none or it stopped early).
SweptRecord SweepRecord(OnePass& pass, const RecordDirectory& dir, SourceType type, int slot,
                        const SweepOptions& options, std::vector<ByteRange>& written) {
  SweptRecord s;
  s.slot = slot;
  RecordChecker checker(ExtentOf(dir, slot, type), type, slot);
  if (auto target = options.target ? options.target(slot) : std::nullopt) {
    const VolumeOpener open = BorrowingOpener(pass);  // the converter closes what it opens, not the pass
    s.conversion = ConvertRecord(type, *target, dir, slot, open, {}, &checker);
    if (s.conversion.Converted()) {
      s.path = target->path;
      for (const ByteRange& r : checker.WrittenPings(pass)) AddRange(written, r);
    }
  }
  if (!checker.ended()) checker.ReadRest(pass);
  s.health = checker.health();
  return s;
}

CarveResult CarveDumpArea(const DumpArea& area, const Volume& volume, const SweepOptions& options,
                          std::vector<ByteRange> written) {
  DumpAreaVolume memory(area, volume.Name());
  CarveOptions carve;
  carve.outDir = options.dumpCarveDir;
  carve.output = options.dumpCarveOutput;
  carve.written = std::move(written);
  carve.type = SourceType::ZepV1;
  carve.from = static_cast<std::uint64_t>(kDumpOffset);
  return CarveRuns(memory, carve);
}

}  // namespace

SweepResult SweepDisc(Volume& volume, const RecordDirectory& dir, SourceType type, const SweepOptions& options) {
  OnePass pass(volume, options.onVolumeBytes, options.progress, options.asStored);
  pass.Capturing();
  SweepResult res;
  std::vector<ByteRange> written;
  std::optional<DumpArea> dump;
  const auto cancelled = [&] { return options.cancelled && options.cancelled(); };
  for (const Stop& stop : Order(dir, type)) {
    if (cancelled() || !pass.ReadUpTo(stop.pos, options.cancelled)) {
      res.cancelled = true;
      break;
    }
    if (stop.slot >= 0) res.records.push_back(SweepRecord(pass, dir, type, stop.slot, options, written));
    else {
      pass.AreaTurn(!options.dumpCarveDir.empty());
      dump = ReadDumpArea(pass, false);
      dump->bytes = pass.TakeArea();
    }
  }
  if (!res.cancelled && !pass.ReadUpTo(-1, options.cancelled)) res.cancelled = true;
  std::sort(res.records.begin(), res.records.end(), [](const SweptRecord& a, const SweptRecord& b) { return a.slot < b.slot; });
  if (dump) res.dump = dump->health;
  if (dump && !res.cancelled && !options.dumpCarveDir.empty()) res.dumpCarve = CarveDumpArea(*dump, volume, options, std::move(written));
  res.bytesRead = pass.bytesRead();
  res.everyByte = !res.cancelled && pass.everyByte();
  res.firstUnreadable = pass.firstUnreadable();
  return res;
}

CarveResult SweepCarve(Volume& volume, const CarveOptions& options,
                       const std::function<void(std::span<const std::uint8_t>)>& onVolumeBytes, bool& everyByte,
                       Volume* asStored) {
  const std::function<void(std::uint64_t)> noProgress;
  OnePass pass(volume, onVolumeBytes, noProgress, asStored);
  CarveResult res = CarveRuns(pass, options);
  pass.ReadUpTo(-1, {});
  res.bytesRead = pass.bytesRead();
  everyByte = pass.everyByte();
  return res;
}

}  // namespace zep
