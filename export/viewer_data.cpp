// A record's viewer data: one walk of the record file (with its map of
// unread bytes) and one of its fixes, written as classic scripts through
// the project's output files, so that each is hashed and replaced whole.

#include "export/viewer_data.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <sstream>
#include <optional>
#include <vector>

#include "convert/nmea.h"
#include "convert/record_file.h"
#include "export/exports.h"
#include "export/ping_place.h"
#include "export/text_output.h"

namespace zep {
namespace {

namespace fs = std::filesystem;

// One column of the echogram at one level: a ping (or the strongest of the
// pings it stands for), unread[i] set where sample i has no value.
struct Column {
  bool present = false;
  std::vector<std::uint8_t> value, unread;
};

// Two neighbours halved both ways: each cell the strongest read sample of
// the four below it, unread only when none of them was read.
Column Merge(const Column& a, const Column* b) {
  Column out;
  out.present = a.present || (b && b->present);
  const std::size_t len = std::max(a.value.size(), b ? b->value.size() : 0);
  const std::size_t rows = (len + 1) / 2;
  out.value.assign(rows, 0);
  out.unread.assign(rows, 1);
  for (const Column* c : {&a, b}) {
    if (!c) continue;
    for (std::size_t i = 0; i < c->value.size(); ++i) {
      if (c->unread[i]) continue;
      out.value[i / 2] = std::max(out.value[i / 2], c->value[i]);
      out.unread[i / 2] = 0;
    }
  }
  return out;
}

// Where the files go and what went wrong writing them.
struct Writer {
  const ViewerRequest& request;
  Problems problems;
  void Write(const std::string& path, std::string_view text) {
    if (!problems.empty()) return;
    OutputFile file = OutputFile::Create(path, request.output);
    if (file.open()) file.Write({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
    if (file.open() && file.Close()) return;
    problems.push_back(file.failed() ? file.problem() : Problem{path, "could not be written", 0, ProblemKind::kWriteFailed});
    file.Discard();
  }
};

std::string ChunkName(int level, int chunk) { return "L" + std::to_string(level) + "-" + std::to_string(chunk) + ".js"; }

// The columns of one level, written a chunk at a time.
class Level {
 public:
  Level(int level, Writer& writer) : level_(level), writer_(writer) {}
  void Add(Column c) {
    chunk_.push_back(std::move(c));
    ++columns_;
    if (chunk_.size() == static_cast<std::size_t>(kViewerChunkColumns)) Flush();
  }
  void Flush();
  int columns() const { return columns_; }
  int chunks() const { return chunks_; }

 private:
  int level_, columns_ = 0, chunks_ = 0;
  Writer& writer_;
  std::vector<Column> chunk_;
};

// zepViewerChunk(level, chunk, rows, [rows of each column, 0 where no ping],
// the values column after column, each as long as its rows, a bit per
// value set where it was not read).
void Level::Flush() {
  if (chunk_.empty()) return;
  std::size_t rows = 0, cells = 0;
  for (const Column& c : chunk_) rows = std::max(rows, c.value.size()), cells += c.value.size();
  std::vector<std::uint8_t> values, mask((cells + 7) / 8, 0);
  values.reserve(cells);
  bool anyUnread = false;
  std::string lens;
  for (std::size_t x = 0; x < chunk_.size(); ++x) {
    const Column& c = chunk_[x];
    lens += (x ? "," : "") + std::to_string(c.present ? c.value.size() : 0);
    const std::size_t at = values.size();
    values.insert(values.end(), c.value.begin(), c.value.end());
    for (std::size_t i = 0; i < c.value.size(); ++i) {
      if (!c.unread[i]) continue;
      const std::size_t bit = at + i;
      mask[bit / 8] = static_cast<std::uint8_t>(mask[bit / 8] | 1u << (bit % 8));
      anyUnread = true;
    }
  }
  const std::string text = "zepViewerChunk(" + std::to_string(level_) + "," + std::to_string(chunks_) + "," +
                           std::to_string(rows) + ",[" + lens + "],\"" + Base64(values.data(), values.size()) +
                           "\",\"" + (anyUnread ? Base64(mask.data(), mask.size()) : std::string()) + "\");\n";
  writer_.Write((fs::path(writer_.request.dataDir) / ChunkName(level_, chunks_)).string(), text);
  ++chunks_;
  chunk_.clear();
}

// Every level, each column of one handed up halved with its neighbour.
class Pyramid {
 public:
  explicit Pyramid(Writer& writer) : writer_(writer) {}
  void Add(Column c, std::size_t level = 0) {
    if (levels_.size() <= level) levels_.push_back(std::make_unique<Level>(static_cast<int>(level), writer_));
    if (pending_.size() <= level) pending_.emplace_back();
    levels_[level]->Add(c);
    if (!pending_[level]) pending_[level] = std::move(c);
    else {
      Column merged = Merge(*pending_[level], &c);
      pending_[level].reset();
      Add(std::move(merged), level + 1);
    }
  }
  // The last lone columns handed up, and every level's last chunk written.
  void Finish();
  std::string LevelsJson() const;

 private:
  Writer& writer_;
  std::vector<std::unique_ptr<Level>> levels_;
  std::vector<std::optional<Column>> pending_;
};

void Pyramid::Finish() {
  for (std::size_t level = 0; level < levels_.size(); ++level) {
    if (levels_[level]->columns() > 1 && pending_[level]) {
      Column merged = Merge(*pending_[level], nullptr);
      pending_[level].reset();
      Add(std::move(merged), level + 1);
    }
    levels_[level]->Flush();
  }
  while (levels_.size() > 1 && levels_.back()->columns() == 0) levels_.pop_back();
}

std::string Pyramid::LevelsJson() const {
  std::string out = "[";
  for (std::size_t i = 0; i < levels_.size(); ++i) {
    if (levels_[i]->columns() == 0) break;
    out += (i ? ",[" : "[") + std::to_string(levels_[i]->columns()) + "," + std::to_string(levels_[i]->chunks()) + "]";
  }
  return out + "]";
}

// The per-column table of the meta script, as JSON arrays.
struct Table {
  std::string idx, n, mode, t, lat, lon, ps, ts, u, gaps;
  std::optional<std::int64_t> t0;
  std::int64_t columns = 0, pings = 0;
  static void Put(std::string& a, std::string_view v) {
    if (!a.empty()) a += ',';
    a += v;
  }
  void Missing(std::int64_t index) {
    Put(idx, std::to_string(index));
    Put(n, "0");
    for (std::string* a : {&mode, &t, &lat, &lon, &ps, &ts}) Put(*a, "null");
    Put(u, "0");
    ++columns;
  }
  void Ping(const PingInfo& p, const PingPlace& place);
};

int PlaceCode(PlaceSource s) { return s == PlaceSource::kFix ? 0 : s == PlaceSource::kInterpolated ? 1 : 2; }
int TimeCode(TimeSource s) {
  return s == TimeSource::kFix ? 0 : s == TimeSource::kInterpolated ? 1 : s == TimeSource::kExtrapolated ? 2 : 3;
}

void Table::Ping(const PingInfo& p, const PingPlace& place) {
  Put(idx, std::to_string(p.pingIndex));
  Put(n, std::to_string(p.sampleCount));
  Put(mode, std::to_string(p.mode));
  if (place.timeNs) {
    const std::int64_t ms = *place.timeNs / 1000000;
    if (!t0) t0 = ms;
    Put(t, std::to_string(ms - *t0));
  } else {
    Put(t, "null");
  }
  const bool placed = place.source != PlaceSource::kNone;
  Put(lat, placed ? FixedText(place.lat, 7) : "null");
  Put(lon, placed ? FixedText(place.lon, 7) : "null");
  Put(ps, std::to_string(PlaceCode(place.source)));
  Put(ts, std::to_string(TimeCode(place.timeSource)));
  Put(u, std::to_string(p.UnreadSamples()));
  ++columns, ++pings;
}

Column ColumnOf(const PingInfo& p, std::span<const std::uint8_t> samples) {
  Column c;
  c.present = true;
  c.value.assign(samples.begin(), samples.end());
  c.unread.assign(samples.size(), 0);
  for (const SampleRange& r : p.unread) {
    for (std::uint32_t i = r.begin; i < r.end && i < c.unread.size(); ++i) c.unread[i] = 1, c.value[i] = 0;
  }
  return c;
}

std::string JsonText(std::string_view utf8) {
  std::string out;
  AppendJsonString(out, utf8);
  return out;
}

// The rows `zepconv pings` prints for the record, for the page's CSV of
// selected pings: the header in the meta script, the rows in scripts of
// kViewerRowPings pings each, loaded when exported. The file column
// names the record file alone, as the folder may move.
std::string PingRows(Writer& writer, const std::string& record) {
  std::ostringstream text;
  ProblemList con(text);
  PingsCommand(con, {record}, false, "-");
  const std::string csv = text.str();
  std::string given, named, header, rows;
  AppendCsvField(given, record);
  AppendCsvField(named, fs::path(record).filename().string());
  std::size_t count = 0, chunk = 0;
  for (std::size_t at = 0, end = 0; at < csv.size(); at = end + 1) {
    end = std::min(csv.find('\n', at), csv.size());
    std::string line = csv.substr(at, end - at);
    if (header.empty()) {
      header = line;
      continue;
    }
    if (line.starts_with(given + ",")) line = named + line.substr(given.size());
    rows += (rows.empty() ? "" : ",") + JsonText(line);
    if (++count % kViewerRowPings == 0 || end + 1 >= csv.size()) {
      writer.Write((fs::path(writer.request.dataDir) / ("P-" + std::to_string(chunk) + ".js")).string(),
                   ScriptSafeJson("zepViewerRows(" + std::to_string(chunk) + ",[" + rows + "]);\n"));
      ++chunk;
      rows.clear();
    }
  }
  return header;
}

std::string MetaScript(const ViewerRequest& r, const Table& t, const Pyramid& pyramid, const RecordWalk& walk,
                       const std::string& csvHeader) {
  return ScriptSafeJson(
      "zepViewerMeta({\"name\":" + JsonText(r.title) + ",\"disc\":" + JsonText(r.disc) +
      ",\"record\":" + JsonText(fs::path(r.record).filename().string()) + ",\"chunk\":" +
      std::to_string(kViewerChunkColumns) + ",\"rowChunk\":" + std::to_string(kViewerRowPings) + ",\"columns\":" + std::to_string(t.columns) +
      ",\"pings\":" + std::to_string(t.pings) + ",\"levels\":" + pyramid.LevelsJson() +
      ",\"t0\":" + (t.t0 ? std::to_string(*t.t0) : "null") + ",\"whole\":" + (walk.Whole() ? "true" : "false") +
      ",\"notWhole\":" + JsonText(walk.NotWholeText()) + ",\"csvHeader\":" + JsonText(csvHeader) + ",\"gaps\":[" + t.gaps + "],\"idx\":[" + t.idx +
      "],\"n\":[" + t.n + "],\"mode\":[" + t.mode + "],\"t\":[" + t.t + "],\"lat\":[" + t.lat + "],\"lon\":[" +
      t.lon + "],\"ps\":[" + t.ps + "],\"ts\":[" + t.ts + "],\"u\":[" + t.u + "]});\n");
}

std::string PageHtml(const ViewerRequest& r) {
  const std::string data = Href(fs::path(r.dataDir).filename().generic_string());
  const std::string title = MarkupEscaped(r.title);
  return "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n<title>" + title +
         " - echogram</title>\n<link rel=\"stylesheet\" href=\"" + Href(r.assets) + "viewer.css\"></head>\n" +
         "<body data-chunks=\"" + data + "/\">\n<header><h1>" + title + "</h1><p class=\"disc\">" +
         MarkupEscaped(r.disc) + "</p></header>\n<div id=\"zep-viewer\"><noscript>The echogram needs "
         "JavaScript.</noscript></div>\n<p class=\"note\">Values are the record file's 8-bit samples as stored "
         "(0 to 255); zoomed out, each cell is the strongest of the samples it stands for. The record file and "
         "its netCDF hold every sample.</p>\n<script src=\"" + Href(r.assets) + "viewer.js\"></script>\n" +
         "<script src=\"" + data + "/meta.js\"></script>\n</body></html>\n";
}

}  // namespace

std::string ScriptSafeJson(std::string_view json) {
  std::string out;
  out.reserve(json.size());
  for (char c : json) {
    if (c == '<') out += "\\u003c";
    else if (c == '>') out += "\\u003e";
    else if (c == '&') out += "\\u0026";
    else out += c;
  }
  return out;
}

std::string Base64(const std::uint8_t* bytes, std::size_t size) {
  static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((size + 2) / 3 * 4);
  for (std::size_t i = 0; i < size; i += 3) {
    const std::uint32_t n = static_cast<std::uint32_t>(bytes[i]) << 16 |
                            (i + 1 < size ? static_cast<std::uint32_t>(bytes[i + 1]) << 8 : 0) |
                            (i + 2 < size ? bytes[i + 2] : 0u);
    out += kDigits[n >> 18 & 63];
    out += kDigits[n >> 12 & 63];
    out += i + 1 < size ? kDigits[n >> 6 & 63] : '=';
    out += i + 2 < size ? kDigits[n & 63] : '=';
  }
  return out;
}

Problems WriteViewer(const ViewerRequest& request) {
  Writer writer{request, {}};
  if (std::error_code ec; !fs::create_directories(fs::path(request.dataDir), ec) && ec) {
    return {{request.dataDir, ec.message(), 0, ProblemKind::kWriteFailed}};
  }
  Pyramid pyramid(writer);
  Table table;
  PingLocator locator(request.record);
  std::optional<std::uint32_t> last;
  const RecordWalk walk = WalkRecordFileSamples(request.record, [&](const PingInfo& p, std::span<const std::uint8_t> s) {
    const std::int64_t missing = last ? std::int64_t{p.pingIndex} - *last - 1 : 0;
    if (missing > 0) {
      const std::int64_t shown = std::min<std::int64_t>(missing, kViewerGapColumns);
      Table::Put(table.gaps, "[" + std::to_string(table.columns) + "," + std::to_string(shown) + "," +
                                 std::to_string(*last + 1) + "," + std::to_string(missing) + "]");
      for (std::int64_t k = 0; k < shown; ++k) table.Missing(*last + 1 + k), pyramid.Add(Column{});
    }
    last = p.pingIndex;
    table.Ping(p, locator.Next(p));
    pyramid.Add(ColumnOf(p, s));
  });
  if (auto p = walk.Unusable(request.record)) return {*p};
  pyramid.Finish();
  const std::string header = PingRows(writer, request.record);
  writer.Write((fs::path(request.dataDir) / "meta.js").string(), MetaScript(request, table, pyramid, walk, header));
  writer.Write(request.page, PageHtml(request));
  return writer.problems;
}

}  // namespace zep
