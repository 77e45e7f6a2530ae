// CarveTk40Runs: the records of a TK40 disc whose directory is lost, as runs
// of data blocks, each converted as the TK40 conversion converts a record.
//
// A block says nothing of the record it belongs to, so a run is told by what
// its blocks have in common: each passes IsTk40DataBlock, and the times of
// the GPS texts among them run on, by at most kMaxFixStep from one to the
// next. A run with no text that reads as a timed position is not kept:
// nothing then tells its blocks from other bytes that pass the trailer checks
// by chance (about one random block in a hundred does). The directory's date
// has no stand-in on the blocks but an RMC sentence's own date: the first one
// of the run gives it; without one the pings carry no date (zero BCD bytes).

#include <algorithm>

#include "convert/carve_parts.h"
#include "convert/conversion_start.h"
#include "convert/nmea.h"
#include "convert/packed_text.h"
#include "convert/record_writer.h"
#include "convert/tk40_convert.h"

namespace zep {
namespace {

// A recorder's fixes come seconds apart; a longer step between two fixes is
// another recording that happens to lie next to this one.
constexpr std::int64_t kMaxFixStepMs = 10 * 60 * 1000;

std::optional<NmeaPosition> TextOf(const std::uint8_t* block) {
  std::uint8_t text[kPackedTextMaxChars + 1];
  const int n = DecodePackedText(text, block + tk40::kTextArea);
  auto fix = ParseNmeaPosition({reinterpret_cast<const char*>(text), static_cast<std::size_t>(n)});
  if (!fix || fix->checksum == NmeaChecksum::kBad) return std::nullopt;
  return fix;
}

// Across midnight the time of day runs back by nearly a day.
bool RunsOn(std::int32_t lastMs, std::int32_t ms) {
  std::int64_t step = std::int64_t{ms} - lastMs;
  if (step < -kMsPerDay / 2) step += kMsPerDay;
  return step >= 0 && step <= kMaxFixStepMs;
}

std::uint8_t Bcd(int v) { return static_cast<std::uint8_t>((v / 10 % 10) * 16 + v % 10); }

Tk40Date DateOf(const std::optional<CivilDate>& date) {
  if (!date) return {};
  return {Bcd(date->day), Bcd(date->month), Bcd(date->year % 100)};
}

struct Stretch {
  std::int64_t first = 0, count = 0;  // block numbers
  std::optional<CivilDate> date;
};

class Tk40Carver {
 public:
  Tk40Carver(Volume& volume, const CarveOptions& options)
      : volume_(volume), options_(options), stream_(volume, Tk40BlockOffset(0)) {
    stream_.onRead = options.progress;
  }

  CarveResult Run() {
    for (std::int64_t k = 0;; ++k) {
      const auto pos = static_cast<std::uint64_t>(Tk40BlockOffset(k));
      const auto block = stream_.At(pos, kTk40BlockSize);
      if (block.size() < kTk40BlockSize) break;
      if (stream_.Unreadable(pos, kTk40BlockSize) || !IsTk40DataBlock(block.data())) EndRun();
      else Take(k, pos, block.data());
    }
    EndRun();
    res_.bytesRead = stream_.reached();
    TellUnread(stream_, res_);
    for (const Stretch& s : kept_) Convert(s);
    return std::move(res_);
  }

 private:
  void Take(std::int64_t k, std::uint64_t pos, const std::uint8_t* block) {
    const auto fix = (block[tk40::kFlags] & ping::kFlagText) ? TextOf(block) : std::nullopt;
    const auto ms = fix ? fix->timeOfDayMs : std::nullopt;
    if (ms && lastMs_ && !RunsOn(*lastMs_, *ms)) EndRun();
    if (ms) lastMs_ = ms;
    if (fix && fix->date && !date_) date_ = fix->date;
    inRun_ = true;
    if (InsideWritten(options_.written, pos, kTk40BlockSize)) {
      EndStretch();
      ++leftOut_;
      return;
    }
    if (!stretch_) stretch_ = Stretch{k, 0, {}};
    ++stretch_->count;
  }

  void EndStretch() {
    if (stretch_) pending_.push_back(*stretch_);
    stretch_.reset();
  }

  void EndRun() {
    EndStretch();
    if (inRun_ && lastMs_) {
      ++res_.runs;
      res_.pingsLeftOut += leftOut_;
      for (Stretch& s : pending_) {
        s.date = date_;
        kept_.push_back(s);
      }
    }
    pending_.clear();
    inRun_ = false;
    lastMs_.reset();
    date_.reset();
    leftOut_ = 0;
  }

  void Convert(const Stretch& s) {
    CarvedFile file;
    file.offset = static_cast<std::uint64_t>(Tk40BlockOffset(s.first));
    file.path = CarvedPath(options_.outDir, file.offset);
    RecordFileWriter out({file.path, options_.output});
    if (!out.open()) {
      res_.failures.push_back(out.problem());
      return;
    }
    ConvertResult r;
    r.units = s.count;
    const auto extent = RecordExtent::Bytes(Tk40BlockOffset(s.first), kTk40BlockSize, s.count, s.first);
    r = ConvertTk40Blocks(volume_, extent, DateOf(s.date), out, {}, r);
    if (!r.Converted()) {
      res_.failures.insert(res_.failures.end(), r.problems.begin(), r.problems.end());
      return;
    }
    file.pings = static_cast<std::uint64_t>(s.count - r.failedUnits - r.skippedUnits - r.beyondEndUnits);
    res_.files.push_back(file);
  }

  Volume& volume_;
  const CarveOptions& options_;
  VolumeStream stream_;
  CarveResult res_;
  // The run being read: whether one is open, its last fix's time of day, the
  // first RMC date, its stretches outside the written pings and how many of
  // its blocks lie inside them.
  bool inRun_ = false;
  std::optional<std::int32_t> lastMs_;
  std::optional<CivilDate> date_;
  std::optional<Stretch> stretch_;
  std::vector<Stretch> pending_, kept_;
  std::uint64_t leftOut_ = 0;
};

}  // namespace

bool IsTk40DataBlock(const std::uint8_t* block) {
  if (!tk40::ModeForCode(block[tk40::kModeCode] & 0x0F)) return false;
  const std::uint8_t flags = block[tk40::kFlags];
  if ((flags & ~tk40::kFlagsKept) != 0) return false;
  if (std::all_of(block, block + tk40::kSampleBytes, [&](std::uint8_t b) { return b == block[0]; })) return false;
  return (flags & ping::kFlagText) == 0 || TextOf(block).has_value();
}

CarveResult CarveTk40Runs(Volume& volume, const CarveOptions& options) { return Tk40Carver(volume, options).Run(); }

}  // namespace zep
