// A record's viewer data: one walk of the record file (with its map of
// unread bytes), written as classic scripts through the project's output
// files, so that each is hashed and replaced whole.

#include "export/viewer_data.h"

#include <algorithm>
#include <filesystem>
#include <exception>
#include <optional>
#include <thread>

#include "convert/record_file.h"
#include "disc/text_file.h"
#include "export/ping_place.h"
#include "export/ping_rows.h"
#include "export/text_output.h"
#include "export/viewer_parts.h"

namespace zep {
namespace {

namespace fs = std::filesystem;

using viewer::PingSide;
using viewer::Pyramid;
using viewer::RowScripts;
using viewer::Table;
using viewer::Writer;

// A text from the disc as a JSON string, safe inside a script element too:
// the meta script's other values are numbers.
std::string JsonText(std::string_view utf8) {
  std::string out;
  AppendJsonString(out, utf8, /*inScript=*/true);
  return out;
}

std::string MetaScript(const ViewerRequest& r, const Table& t, const std::string& gaps, const Pyramid& pyramid,
                       const RecordWalk& walk) {
  const std::optional<std::int64_t> t0 = t.T0();
  std::string text = "zepViewerMeta({\"name\":" + JsonText(r.title) + ",\"disc\":" + JsonText(r.disc) +
                     ",\"record\":" + JsonText(fs::path(r.record).filename().string()) + ",\"chunk\":" +
                     std::to_string(kViewerChunkColumns) + ",\"rowChunk\":" + std::to_string(kViewerRowPings) +
                     ",\"columns\":" + std::to_string(t.columns()) + ",\"pings\":" + std::to_string(t.pings()) +
                     ",\"levels\":" + pyramid.LevelsJson() + ",\"t0\":" + (t0 ? std::to_string(*t0) : "null") +
                     ",\"whole\":" + (walk.Whole() ? "true" : "false") + ",\"notWhole\":" + JsonText(walk.NotWholeText()) +
                     ",\"csvHeader\":" + JsonText(RowScripts::CsvHeader()) + ",\"gaps\":[" + gaps + "]";
  t.AppendArrays(text);
  text += "});\n";
  return text;
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

std::string ByteString(const std::uint8_t* bytes, std::size_t size) {
  std::string out;
  viewer::AppendByteString(out, bytes, size);
  return out;
}

namespace {

// One walk of the record file feeds the echogram's levels and the pings'
// side: the table (its places once the fix after each ping is seen) and the
// rows of the ping table. Gives why the record could not be read, if it
// could not.
std::optional<Problem> MakeViewer(const ViewerRequest& request, Writer& writer) {
  Pyramid pyramid(writer);
  PingSide pings(writer, request.record, request.ownThread);
  std::optional<std::uint32_t> last;
  const RecordWalk walk = WalkRecordFileSamples(request.record, [&](const PingInfo& p, std::span<const std::uint8_t> s) {
    const std::uint32_t shown = std::min<std::uint32_t>(MissingBefore(p, last), kViewerGapColumns);
    for (std::uint32_t k = 0; k < shown; ++k) pyramid.Missing();
    last = p.pingIndex;
    pings.Add(p);
    pyramid.Ping(p, s);
  });
  if (auto p = walk.Unusable(request.record)) return p;
  pyramid.Finish();
  pings.Finish();
  writer.WriteData("meta.js", MetaScript(request, pings.table(), pings.gaps(), pyramid, walk));
  writer.Write(request.page, PageHtml(request), /*last=*/true);  // once its data are in place
  return std::nullopt;
}

}  // namespace

Problems WriteViewer(const ViewerRequest& request) {
  if (std::optional<Problem> refused = MakeFolder(request.dataDir)) return {std::move(*refused)};
  Writer writer(request);
  if (!request.ownThread) {
    const std::optional<Problem> unusable = MakeViewer(request, writer);
    const Problems problems = writer.WriteAll();
    return unusable ? Problems{*unusable} : problems;
  }
  std::optional<Problem> unusable;
  std::exception_ptr fault;
  std::thread maker([&] {
    LeaveInterruptsToOtherThreads();
    try {
      unusable = MakeViewer(request, writer);
    } catch (...) {
      fault = std::current_exception();
    }
    writer.End();
  });
  Problems problems;
  try {
    problems = writer.WriteAll();
  } catch (...) {
    writer.Abandon();
    maker.join();
    throw;
  }
  maker.join();
  if (fault) std::rethrow_exception(fault);
  return unusable ? Problems{*unusable} : problems;
}

}  // namespace zep
