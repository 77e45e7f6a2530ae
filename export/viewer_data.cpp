// A record's viewer data: one walk of the record file (with its map of
// unread bytes) and one of its fixes, written as classic scripts through
// the project's output files, so that each is hashed and replaced whole.

#include "export/viewer_data.h"
#include "export/viewer_parts.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <sstream>
#include <optional>
#include <vector>

#include "convert/nmea.h"
#include "convert/record_file.h"
#include "export/exports.h"
#include "export/inventory.h"
#include "export/ping_place.h"
#include "export/text_output.h"

namespace zep {
namespace {

namespace fs = std::filesystem;

using viewer::Pyramid;
using viewer::Writer;

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
  std::string out;
  viewer::AppendBase64(out, bytes, size);
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
      for (std::int64_t k = 0; k < shown; ++k) table.Missing(*last + 1 + k), pyramid.Missing();
    }
    last = p.pingIndex;
    table.Ping(p, locator.Next(p));
    pyramid.Ping(p, s);
  });
  if (auto p = walk.Unusable(request.record)) return {*p};
  pyramid.Finish();
  const std::string header = PingRows(writer, request.record);
  writer.Write((fs::path(request.dataDir) / "meta.js").string(), MetaScript(request, table, pyramid, walk, header));
  writer.Write(request.page, PageHtml(request));
  return writer.problems;
}

}  // namespace zep
