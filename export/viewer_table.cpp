// The viewer's table of columns and its rows of the ping table, both filled
// as the walk places its pings.

#include <algorithm>
#include <filesystem>

#include "disc/file.h"
#include "export/text_output.h"
#include "export/viewer_parts.h"

namespace zep::viewer {
namespace {

int PlaceCode(PlaceSource s) { return s == PlaceSource::kFix ? 0 : s == PlaceSource::kInterpolated ? 1 : 2; }
int TimeCode(TimeSource s) {
  return s == TimeSource::kFix ? 0 : s == TimeSource::kInterpolated ? 1 : s == TimeSource::kExtrapolated ? 2 : 3;
}

}  // namespace

void Table::Missing(std::int64_t index) { columns_.push_back({index, -1, 0, 0, 0}); }

void Table::Ping(const PingInfo& p, std::uint32_t missingBefore) {
  columns_.push_back({p.pingIndex, static_cast<std::int64_t>(places_.size()), p.sampleCount, p.mode, p.UnreadSamples()});
  places_.emplace_back();
  missingBefore_.push_back(missingBefore);
}

template <typename Cell>
void Table::AppendArray(std::string& out, const char* key, Cell cell) const {
  out += ",\"";
  out += key;
  out += "\":[";
  for (std::size_t i = 0; i < columns_.size(); ++i) {
    if (i) out += ',';
    const Entry& c = columns_[i];
    cell(c, c.ordinal < 0 ? nullptr : &places_[static_cast<std::size_t>(c.ordinal)]);
  }
  out += ']';
}

std::optional<std::int64_t> Table::T0() const {
  for (const Entry& c : columns_) {
    if (c.ordinal < 0) continue;
    if (const auto& ns = places_[static_cast<std::size_t>(c.ordinal)].timeNs) return *ns / 1000000;
  }
  return std::nullopt;
}

void Table::AppendArrays(std::string& out) const {
  const std::optional<std::int64_t> t0 = T0();
  // Each cell is its column's number, or null where the ping is missing or has none.
  const auto number = [&](std::optional<std::int64_t> v) {
    if (v) AppendInt(out, *v);
    else out += "null";
  };
  const auto placed = [](const PingPlace* p) { return p && p->source != PlaceSource::kNone; };
  AppendArray(out, "idx", [&](const Entry& c, const PingPlace*) { AppendInt(out, c.index); });
  AppendArray(out, "n", [&](const Entry& c, const PingPlace*) { AppendInt(out, c.samples); });
  AppendArray(out, "mode", [&](const Entry& c, const PingPlace* p) { number(p ? std::optional<std::int64_t>(c.mode) : std::nullopt); });
  AppendArray(out, "t", [&](const Entry&, const PingPlace* p) {
    number(p && p->timeNs ? std::optional(*p->timeNs / 1000000 - *t0) : std::nullopt);
  });
  AppendArray(out, "lat", [&](const Entry&, const PingPlace* p) { out += placed(p) ? FixedText(p->lat, 7) : "null"; });
  AppendArray(out, "lon", [&](const Entry&, const PingPlace* p) { out += placed(p) ? FixedText(p->lon, 7) : "null"; });
  AppendArray(out, "ps", [&](const Entry&, const PingPlace* p) { number(p ? std::optional<std::int64_t>(PlaceCode(p->source)) : std::nullopt); });
  AppendArray(out, "ts", [&](const Entry&, const PingPlace* p) { number(p ? std::optional<std::int64_t>(TimeCode(p->timeSource)) : std::nullopt); });
  AppendArray(out, "u", [&](const Entry& c, const PingPlace*) { AppendInt(out, c.unread); });
}

RowScripts::RowScripts(Writer& writer, const std::string& record)
    : writer_(writer),
      rows_(std::make_unique<PingRows>(line_, false, std::filesystem::path(record).filename().string())) {}

RowScripts::~RowScripts() = default;

std::string RowScripts::CsvHeader() {
  std::string header;
  PingRows(header, false, "").Header();
  header.pop_back();  // its line end
  return header;
}

void RowScripts::Row(const PingInfo& p, std::uint64_t ordinal, const PingPlace& place, std::uint32_t missingBefore) {
  line_.clear();
  rows_->Row(p, place, missingBefore);
  line_.pop_back();
  const bool early = latest_ && ordinal < *latest_;
  if (!early) latest_ = ordinal;
  const std::size_t number = ordinal / kViewerRowPings;
  const auto [at, made] = scripts_.try_emplace(number);
  Script& script = at->second;
  if (made) script.late = writer_.Spare(rowBytes_);
  std::string& text = early ? script.early : script.late;
  if (!text.empty()) text += ',';
  AppendJsonString(text, line_, /*inScript=*/true);
  if (++script.rows < static_cast<std::size_t>(kViewerRowPings)) return;
  Write(number, script);
  scripts_.erase(number);
}

void RowScripts::Finish() {
  for (auto& [number, script] : scripts_) Write(number, script);
  scripts_.clear();
}

// A script's texts come from the writer's spares and go back to them: the
// rows of a script take a MiB or so.
void RowScripts::Write(std::size_t number, Script& script) {
  rowBytes_ = std::max(rowBytes_, script.late.size() + script.early.size() + script.late.size() / 16);
  std::string text = writer_.Spare(script.early.size() + script.late.size() + 64);
  text += "zepViewerRows(";
  AppendInt(text, static_cast<std::int64_t>(number));
  text += ",[";
  text += script.early;
  if (!script.early.empty() && !script.late.empty()) text += ',';
  text += script.late;
  text += "]);\n";
  writer_.Recycle(std::move(script.late));
  writer_.Give(writer_.DataPath("P-" + std::to_string(number) + ".js"), std::move(text));
}

namespace {
// Pings handed over at a time, and batches waiting at most: the walk of the
// samples stays a few thousand pings ahead.
constexpr std::size_t kBatchPings = 1024;
constexpr std::size_t kBatchesWaiting = 4;
}  // namespace

PingSide::PingSide(Writer& writer, const std::string& record, bool ownThread)
    : rows_(writer, record),
      placer_([this](const PingInfo& p, std::uint64_t ordinal, const PingPlace& place) {
        table_.Place(ordinal, place);
        rows_.Row(p, ordinal, place, table_.MissingBefore(ordinal));
      }),
      ownThread_(ownThread) {
  if (ownThread_) {
    thread_ = std::thread([this] {
      LeaveInterruptsToOtherThreads();
      Run();
    });
  }
}

// A walk given up: the batches waiting are dropped.
PingSide::~PingSide() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    batches_.clear();
    ended_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void PingSide::Add(const PingInfo& p) {
  if (!ownThread_) return Take(p);
  filling_.push_back(p);
  if (filling_.size() == kBatchPings) Hand(false);
}

void PingSide::Hand(bool last) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return batches_.size() < kBatchesWaiting || fault_; });
  // After a fault nothing takes them: Finish throws it.
  if (!filling_.empty() && !fault_) batches_.push_back(std::move(filling_));
  filling_ = {};
  if (!last) filling_.reserve(kBatchPings);
  ended_ = last;
  changed_.notify_all();
}

void PingSide::Run() {
  try {
    for (;;) {
      std::vector<PingInfo> batch;
      {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return ended_ || !batches_.empty(); });
        if (batches_.empty()) return;
        batch = std::move(batches_.front());
        batches_.pop_front();
      }
      changed_.notify_all();
      for (const PingInfo& p : batch) Take(p);
    }
  } catch (...) {
    std::lock_guard lock(mutex_);
    fault_ = std::current_exception();
    batches_.clear();
  }
  changed_.notify_all();
}

void PingSide::Take(const PingInfo& p) {
  const std::uint32_t missing = MissingBefore(p, last_);
  if (missing > 0) {
    const std::uint32_t shown = std::min<std::uint32_t>(missing, kViewerGapColumns);
    gaps_ += (gaps_.empty() ? "[" : ",[") + std::to_string(table_.columns()) + "," + std::to_string(shown) + "," +
             std::to_string(*last_ + 1) + "," + std::to_string(missing) + "]";
    for (std::uint32_t k = 0; k < shown; ++k) table_.Missing(std::int64_t{*last_} + 1 + k);
  }
  table_.Ping(p, missing);
  last_ = p.pingIndex;
  placer_.Add(p);
}

void PingSide::Finish() {
  if (ownThread_) {
    Hand(true);
    thread_.join();
    if (fault_) std::rethrow_exception(fault_);
  }
  placer_.Finish();
  rows_.Finish();
}

}  // namespace zep::viewer
