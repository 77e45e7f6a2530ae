// Tk40Search: the records of a TK40 disc whose directory is lost, as runs
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
//
// The blocks come as the carve's one read of the volume passes them. A run
// is written as it is read once it is settled (a timed fix and a date seen);
// until then its blocks are held, up to kMostHeld bytes. A run that outgrows
// that before it settles has its blocks read again once the read is over.

#include <algorithm>
#include <array>
#include <cstring>

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

// What an unsettled run may hold in memory: 2048 pings.
constexpr std::size_t kMostHeld = 8 * 1024 * 1024;

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

CarvedFile FileAt(const CarveOptions& options, std::int64_t firstBlock) {
  CarvedFile file;
  file.offset = static_cast<std::uint64_t>(Tk40BlockOffset(firstBlock));
  file.path = CarvedPath(options.outDir, file.offset);
  file.type = SourceType::Tk40;
  return file;
}

// One stretch's record file, written block by block as ConvertTk40Blocks
// writes a listed record's: ping i from the stretch's block i.
class StretchFile {
 public:
  StretchFile(const CarveOptions& options, std::int64_t firstBlock, Tk40Date date, CarveResult& res)
      : res_(res), file_(FileAt(options, firstBlock)), out_({file_.path, options.output}),
        header_(date.day, date.month, date.year) {
    if (!out_.open()) res_.failures.push_back(out_.problem());
  }
  StretchFile(const StretchFile&) = delete;
  StretchFile& operator=(const StretchFile&) = delete;

  // A block that passed IsTk40DataBlock, so its mode code has a mode.
  void Write(const std::uint8_t* block) {
    const std::uint32_t i = pings_++;
    if (!out_.open()) return;
    header_.Apply(i, block);
    alignas(16) std::uint8_t samples[kMaxSampleCount];
    const std::size_t count = tk40::ConvertSamples(header_.mode(), block, samples);
    if (!out_.Write({header_.data(), kPingHeaderSize}) || !out_.Write({samples, count})) {
      res_.failures.push_back(out_.problem());
    }
  }
  void Finish() {
    if (!out_.open()) return;
    if (!out_.Finish()) {
      res_.failures.push_back(out_.problem());
      return;
    }
    file_.pings = pings_;
    res_.files.push_back(file_);
  }

 private:
  CarveResult& res_;
  CarvedFile file_;
  RecordFileWriter out_;
  tk40::PingHeaderBuilder header_;
  std::uint32_t pings_ = 0;
};

// The blocks of a run outside the written pings, back to back.
struct Stretch {
  std::int64_t first = 0, count = 0;  // block numbers
  std::vector<std::uint8_t> held;     // while the run is not settled
  std::unique_ptr<StretchFile> file;  // once it is
};

}  // namespace

struct Tk40Search::State {
  State(Volume& v, const CarveOptions& o, std::uint64_t b) : volume(v), options(o), begin(b) {}

  // A whole block from the read, in order.
  void Block(std::int64_t k, bool unreadable, const std::uint8_t* block) {
    if (unreadable || !IsTk40DataBlock(block)) EndRun();
    else Take(k, block);
  }

  void Take(std::int64_t k, const std::uint8_t* block) {
    const auto fix = (block[tk40::kFlags] & ping::kFlagText) ? TextOf(block) : std::nullopt;
    const auto ms = fix ? fix->timeOfDayMs : std::nullopt;
    if (ms && lastMs && !RunsOn(*lastMs, *ms)) EndRun();
    if (ms) lastMs = ms;
    if (fix && fix->date && !date) date = fix->date;
    inRun = true;
    if (!settled && lastMs && date) Settle();
    if (InsideWritten(options.written, static_cast<std::uint64_t>(Tk40BlockOffset(k)), kTk40BlockSize)) {
      EndStretch();
      ++leftOut;
      return;
    }
    if (!stretch) {
      stretch.emplace();
      stretch->first = k;
      if (settled) stretch->file = std::make_unique<StretchFile>(options, k, DateOf(date), res);
    }
    ++stretch->count;
    if (stretch->file) stretch->file->Write(block);
    else Hold(block);
  }

  // Held while the run's date is unknown, unless the run has outgrown what
  // may be held: then its blocks are read again.
  void Hold(const std::uint8_t* block) {
    if (!reread && held + kTk40BlockSize > kMostHeld) {
      reread = true;
      for (Stretch& s : pending) std::vector<std::uint8_t>().swap(s.held);
      std::vector<std::uint8_t>().swap(stretch->held);
    }
    if (reread) return;
    stretch->held.insert(stretch->held.end(), block, block + kTk40BlockSize);
    held += kTk40BlockSize;
  }

  // The run now has its date and is kept: what it held is written, and its
  // blocks from here on go straight to their files.
  void Settle() {
    settled = true;
    if (reread) return;
    for (Stretch& s : pending) Write(s);
    pending.clear();
    if (stretch) {
      stretch->file = std::make_unique<StretchFile>(options, stretch->first, DateOf(date), res);
      for (std::size_t at = 0; at < stretch->held.size(); at += kTk40BlockSize) stretch->file->Write(&stretch->held[at]);
      std::vector<std::uint8_t>().swap(stretch->held);
    }
    held = 0;
  }

  void Write(const Stretch& s) {
    StretchFile file(options, s.first, DateOf(date), res);
    for (std::size_t at = 0; at < s.held.size(); at += kTk40BlockSize) file.Write(&s.held[at]);
    file.Finish();
  }

  void EndStretch() {
    if (!stretch) return;
    if (stretch->file) stretch->file->Finish();
    else pending.push_back(std::move(*stretch));
    stretch.reset();
  }

  void EndRun() {
    EndStretch();
    if (inRun && lastMs) {
      ++res.runs;
      res.pingsLeftOut += leftOut;
      for (const Stretch& s : pending) {
        if (reread) later.push_back({s.first, s.count, date});
        else Write(s);
      }
    }
    pending.clear();
    inRun = settled = reread = false;
    held = 0;
    lastMs.reset();
    date.reset();
    leftOut = 0;
  }

  // A run that outgrew what may be held, its blocks read again.
  void Reread(std::int64_t first, std::int64_t count, const std::optional<CivilDate>& runDate) {
    CarvedFile file = FileAt(options, first);
    RecordFileWriter out({file.path, options.output});
    if (!out.open()) {
      res.failures.push_back(out.problem());
      return;
    }
    ConvertResult r;
    r.units = count;
    const auto extent = RecordExtent::Bytes(Tk40BlockOffset(first), kTk40BlockSize, count, first);
    r = ConvertTk40Blocks(volume, extent, DateOf(runDate), out, {}, r);
    if (!r.Converted()) {
      res.failures.insert(res.failures.end(), r.problems.begin(), r.problems.end());
      return;
    }
    file.pings = static_cast<std::uint64_t>(count - r.failedUnits - r.skippedUnits - r.beyondEndUnits);
    res.files.push_back(file);
  }

  Volume& volume;
  const CarveOptions& options;
  const std::uint64_t begin;  // of the read's first sector
  CarveResult res;
  // The block being put together from the read's sectors.
  std::array<std::uint8_t, kTk40BlockSize> block{};
  std::size_t filled = 0;
  bool blockUnreadable = false;
  // The run being read: whether one is open, its last fix's time of day, the
  // first RMC date, its stretches outside the written pings and how many of
  // its blocks lie inside them; whether it is settled, what it holds, and
  // whether it is to be read again.
  bool inRun = false, settled = false, reread = false;
  std::optional<std::int32_t> lastMs;
  std::optional<CivilDate> date;
  std::optional<Stretch> stretch;
  std::vector<Stretch> pending;
  std::size_t held = 0;
  std::uint64_t leftOut = 0;
  struct Later {
    std::int64_t first, count;
    std::optional<CivilDate> date;
  };
  std::vector<Later> later;
};

Tk40Search::Tk40Search(Volume& volume, const CarveOptions& options, std::uint64_t begin)
    : s_(std::make_unique<State>(volume, options, begin)) {}

Tk40Search::~Tk40Search() = default;

void Tk40Search::Unit(std::int64_t k, std::span<const std::uint8_t> bytes, UnitState state) {
  const auto pos = static_cast<std::int64_t>(s_->begin) + k * kZepSectorSize;
  if (pos < Tk40BlockOffset(0)) return;
  std::memcpy(s_->block.data() + s_->filled, bytes.data(), bytes.size());
  s_->filled += bytes.size();
  s_->blockUnreadable = s_->blockUnreadable || state == UnitState::Unreadable;
  if (s_->filled < kTk40BlockSize) return;
  s_->Block((pos - Tk40BlockOffset(0)) / kTk40BlockSize, s_->blockUnreadable, s_->block.data());
  s_->filled = 0;
  s_->blockUnreadable = false;
}

void Tk40Search::End(std::int64_t) {}

CarveResult Tk40Search::Finish() {
  s_->EndRun();
  for (const State::Later& l : s_->later) s_->Reread(l.first, l.count, l.date);
  std::sort(s_->res.files.begin(), s_->res.files.end(),
            [](const CarvedFile& a, const CarvedFile& b) { return a.offset < b.offset; });
  return std::move(s_->res);
}

bool IsTk40DataBlock(const std::uint8_t* block) {
  if (!tk40::ModeForCode(block[tk40::kModeCode] & 0x0F)) return false;
  const std::uint8_t flags = block[tk40::kFlags];
  if ((flags & ~tk40::kFlagsKept) != 0) return false;
  if (std::all_of(block, block + tk40::kSampleBytes, [&](std::uint8_t b) { return b == block[0]; })) return false;
  return (flags & ping::kFlagText) == 0 || TextOf(block).has_value();
}

}  // namespace zep
