// The viewer's table of columns and its rows of the ping table, both filled
// as the walk places its pings.

#include <filesystem>

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

void AppendScriptSafe(std::string& out, std::string_view json) {
  out.reserve(out.size() + json.size());
  std::size_t from = 0;
  for (std::size_t i = 0; i < json.size(); ++i) {
    const char c = json[i];
    if (c != '<' && c != '>' && c != '&') continue;
    out.append(json, from, i - from);
    out += c == '<' ? "\\u003c" : c == '>' ? "\\u003e" : "\\u0026";
    from = i + 1;
  }
  out.append(json, from);
}

}  // namespace zep::viewer
