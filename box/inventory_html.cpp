// The inventory's pages: plain HTML and CSS that read the same from a USB
// stick with no network and no script. Pictures come first (tracks drawn as
// SVG on a plain latitude/longitude frame, echogram thumbnails), the numbers
// beside them, and every file one link away.

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>

#include "box/inventory.h"
#include "export/text_output.h"
#include "export/viewer_data.h"

namespace zep {
namespace {

std::string Esc(std::string_view s) { return MarkupEscaped(s); }

}  // namespace


namespace {

std::string Num(double v, int digits) { return FixedText(v, digits); }

std::string Bytes(std::uint64_t n) {
  if (n < 10 * 1024) return std::to_string(n) + " bytes";
  if (n < 10ull * 1024 * 1024) return Num(n / 1024.0, 1) + " KiB";
  if (n < 10ull * 1024 * 1024 * 1024) return Num(n / 1048576.0, 1) + " MiB";
  return Num(n / 1073741824.0, 2) + " GiB";
}

// How a health or a verdict looks: its word, and a sign as well as a colour
// (the mark's class), so that it reads in grey print too; section is the
// class of the disc's or record's section.
struct Look {
  std::string word;
  const char* sign;
  const char* mark;
  const char* section;
};

constexpr const char* kOk = "&#10004;", *kCarvedSign = "&#9672;", *kEmptySign = "&#9675;", *kLost = "&#10008;",
                      *kBad = "&#9888;";

Look LookOf(Health h) {
  switch (h) {
    case Health::kWhole: return {HealthName(h), kOk, "m-ok", ""};
    case Health::kUnreadable: return {HealthName(h), kLost, "m-lost", " lost"};
    case Health::kDirectoryLost: return {HealthName(h), kBad, "m-bad", " carved"};
    case Health::kDamaged:
    case Health::kNotRead: break;
  }
  return {HealthName(h), kBad, "m-bad", " bad"};
}

Look LookOf(const std::optional<Verdict>& v) {
  if (!v) return {VerdictText(v), kCarvedSign, "m-carved", " carved"};
  switch (*v) {
    case Verdict::Whole: return {VerdictName(*v), kOk, "m-ok", ""};
    case Verdict::Empty: return {VerdictName(*v), kEmptySign, "m-carved", " carved"};
    case Verdict::BeyondEnd: return {VerdictName(*v), kLost, "m-lost", " lost"};
    case Verdict::Damaged: break;
  }
  return {VerdictName(*v), kBad, "m-bad", " bad"};
}

const Look kOutputsFailed = {OutputsName(Outputs::kFailed), kBad, "m-bad", " bad"};

std::string Mark(const Look& look) {
  return "<span class=\"mark " + std::string(look.mark) + "\" title=\"" + Esc(look.word) + "\">" + look.sign + " " +
         Esc(look.word) + "</span>";
}

constexpr const char* kStyle = R"(
body{font:14px/1.4 system-ui,sans-serif;margin:1.5em;color:#222;background:#fafafa}
h1{font-size:1.5em;margin:0 0 .3em}h2{font-size:1.15em;margin:0 0 .3em}
a{color:#0b5394}.total{margin:0 0 1em;color:#444}
.disc,.rec{display:flex;flex-wrap:wrap;gap:1.2em;align-items:flex-start;background:#fff;border:1px solid #ddd;border-left:6px solid #2e7d32;border-radius:4px;padding:.8em;margin:0 0 1em}
.disc.bad,.rec.bad{border-left-color:#e69500}.disc.lost,.rec.lost{border-left-color:#c62828}.disc.carved,.rec.carved{border-left-color:#6a1b9a}
.pics{display:flex;gap:.5em;flex:none;max-width:100%;flex-wrap:wrap;align-items:flex-start}.pics img{border:1px solid #ccc;background:#eee}
.nums{flex:1 1 16em}.nums dl{display:grid;grid-template-columns:max-content auto;gap:.1em .8em;margin:.3em 0}
.nums dt{color:#666}.nums dd{margin:0;font-variant-numeric:tabular-nums}
.mark{font-weight:bold;white-space:nowrap}.m-ok{color:#2e7d32}.m-bad{color:#b36b00}.m-lost{color:#c62828}.m-carved{color:#6a1b9a}
.hash{font-family:monospace;font-size:.85em;word-break:break-all}
svg.track{background:#fff;border:1px solid #ccc}ul.files{columns:3 16em;font-size:.9em}
.problems{color:#8a1c1c;font-size:.9em}
table.discs{border-collapse:collapse;background:#fff;margin:0 0 1.5em;font-size:.92em}
table.discs th,table.discs td{border:1px solid #ddd;padding:.15em .5em;text-align:left;white-space:nowrap}
table.discs th{background:#eef2f5;position:sticky;top:0}table.discs th.n,table.discs td:nth-child(n+5):nth-child(-n+7){text-align:right}
table.discs th button{font:inherit;border:0;background:none;cursor:pointer;padding:0}
tr.bad td:first-child{background:#fff4e0}tr.lost td:first-child{background:#fde8e8}tr.carved td:first-child{background:#f3e8fa}
.finder{display:flex;flex-wrap:wrap;gap:.5em 1em;margin:0 0 .5em}
)";

std::string Head(const std::string& title) {
  return "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n<meta name=\"viewport\" "
         "content=\"width=device-width\">\n<title>" +
         Esc(title) + "</title>\n<style>" + kStyle + "</style></head>\n<body>\n";
}

const char* kColours[] = {"#1565c0", "#c62828", "#2e7d32", "#6a1b9a", "#ef6c00", "#00838f", "#5d4037", "#ad1457"};

struct Frame {
  int width = 0, height = 0;
  double k = 1, scale = 1, cx = 0, cy = 0;  // cos(middle latitude), pixels per degree, centre
  double X(double lon) const { return width / 2.0 + (lon - cx) * k * scale; }
  double Y(double lat) const { return height / 2.0 - (lat - cy) * scale; }
};

// The frame that fits every point of the records, or none when none has a fix.
std::optional<Frame> FitFrame(const std::vector<const InventoryRecord*>& records, int width, int height) {
  double minLat = 1e9, maxLat = -1e9, minLon = 1e9, maxLon = -1e9;
  for (const InventoryRecord* r : records)
    for (const auto& seg : r->shape)
      for (const LatLon& p : seg) {
        minLat = std::min(minLat, p.lat), maxLat = std::max(maxLat, p.lat);
        minLon = std::min(minLon, p.lon), maxLon = std::max(maxLon, p.lon);
      }
  if (minLat > maxLat) return std::nullopt;
  constexpr double kPi = 3.14159265358979323846;
  Frame f{width, height};
  f.k = std::cos((minLat + maxLat) / 2 * kPi / 180);
  const double margin = 22;
  // At least about 200 m across, so that a boat lying still is a dot, not noise.
  const double spanX = std::max((maxLon - minLon) * f.k, 0.002), spanY = std::max(maxLat - minLat, 0.002);
  f.scale = std::min((width - 2 * margin) / spanX, (height - 2 * margin) / spanY);
  f.cx = (minLon + maxLon) / 2, f.cy = (minLat + maxLat) / 2;
  return f;
}

std::string Corners(const Frame& f) {
  const double west = f.cx - (f.width / 2.0) / (f.k * f.scale), east = f.cx + (f.width / 2.0) / (f.k * f.scale);
  const double north = f.cy + (f.height / 2.0) / f.scale, south = f.cy - (f.height / 2.0) / f.scale;
  return "<rect x=\"0.5\" y=\"0.5\" width=\"" + std::to_string(f.width - 1) + "\" height=\"" +
         std::to_string(f.height - 1) + "\" fill=\"#f4f8fb\" stroke=\"#9ab\"/>" +
         "<g font-size=\"9\" fill=\"#567\"><text x=\"3\" y=\"10\">" + Num(north, 4) + "&#176;, " + Num(west, 4) +
         "&#176;</text><text x=\"" + std::to_string(f.width - 3) + "\" y=\"" + std::to_string(f.height - 4) +
         "\" text-anchor=\"end\">" + Num(south, 4) + "&#176;, " + Num(east, 4) + "&#176;</text></g>";
}

// maxPoints: about as many points of the record at most (every k-th of each
// segment, its ends kept), for a map of many records; 0 for every point.
std::string Lines(const Frame& f, const InventoryRecord& r, const char* colour, std::size_t maxPoints) {
  std::size_t total = 0;
  for (const auto& seg : r.shape) total += seg.size();
  const std::size_t step = maxPoints ? std::max<std::size_t>(1, total / maxPoints) : 1;
  std::string svg;
  for (const auto& seg : r.shape) {
    if (seg.size() == 1) {
      svg += "<circle cx=\"" + Num(f.X(seg[0].lon), 1) + "\" cy=\"" + Num(f.Y(seg[0].lat), 1) + "\" r=\"2\" fill=\"" +
             colour + "\"/>";
      continue;
    }
    svg += "<polyline fill=\"none\" stroke=\"" + std::string(colour) + "\" stroke-width=\"2\" points=\"";
    const auto point = [&](const LatLon& p) { svg += Num(f.X(p.lon), 1) + ',' + Num(f.Y(p.lat), 1) + ' '; };
    for (std::size_t i = 0; i < seg.size(); i += step) point(seg[i]);
    if ((seg.size() - 1) % step != 0) point(seg.back());
    svg += "\"><title>" + Esc(r.name) + "</title></polyline>";
  }
  if (!r.shape.empty() && !r.shape.front().empty()) {
    const LatLon& s = r.shape.front().front();
    svg += "<circle cx=\"" + Num(f.X(s.lon), 1) + "\" cy=\"" + Num(f.Y(s.lat), 1) + "\" r=\"3\" fill=\"#fff\" stroke=\"" +
           colour + "\"/>";
  }
  return svg;
}

// The coastline's stretches in the frame (and a point beyond each end), as
// grey lines under the tracks.
std::string CoastSvg(const Frame& f) {
  const double mx = f.width * 0.25, my = f.height * 0.25;
  std::string svg = "<g fill=\"none\" stroke=\"#8a9ba8\" stroke-width=\"1\">";
  const std::string_view text = CoastlineText();
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = std::min(text.find('\n', at), text.size());
    std::vector<std::pair<double, double>> xy;
    for (std::size_t p = at; p < end;) {
      double lon = 0, lat = 0;
      const auto r = std::from_chars(text.data() + p, text.data() + end, lon);
      const auto r2 = std::from_chars(r.ptr + 1, text.data() + end, lat);
      xy.emplace_back(f.X(lon), f.Y(lat));
      p = static_cast<std::size_t>(r2.ptr - text.data()) + 1;
    }
    const auto inside = [&](std::size_t i) {
      return i < xy.size() && xy[i].first > -mx && xy[i].first < f.width + mx && xy[i].second > -my &&
             xy[i].second < f.height + my;
    };
    std::string points;
    for (std::size_t i = 0; i <= xy.size(); ++i) {
      if (i < xy.size() && (inside(i) || inside(i + 1) || (i > 0 && inside(i - 1)))) {
        points += Num(xy[i].first, 1) + ',' + Num(xy[i].second, 1) + ' ';
      } else if (!points.empty()) {
        svg += "<polyline points=\"" + points + "\"/>";
        points.clear();
      }
    }
    at = end + 1;
  }
  return svg + "</g>";
}

// A scale bar of 1, 2 or 5 times a power of ten, at most a third of the width.
std::string ScaleBar(const Frame& f) {
  const double kmPerPixel = Kilometres({f.cy, f.cx}, {f.cy, f.cx + 1 / (f.k * f.scale)});
  const double most = kmPerPixel * f.width / 3;
  double bar = std::pow(10.0, std::floor(std::log10(most)));
  if (bar * 5 <= most) bar *= 5;
  else if (bar * 2 <= most) bar *= 2;
  const double px = bar / kmPerPixel;
  const std::string label = bar >= 1 ? Num(bar, 0) + " km" : Num(bar * 1000, 0) + " m";
  const double y = f.height - 8;
  return "<g stroke=\"#333\" stroke-width=\"1.5\"><line x1=\"8\" y1=\"" + Num(y, 1) + "\" x2=\"" + Num(8 + px, 1) +
         "\" y2=\"" + Num(y, 1) + "\"/><line x1=\"8\" y1=\"" + Num(y - 4, 1) + "\" x2=\"8\" y2=\"" + Num(y, 1) +
         "\"/><line x1=\"" + Num(8 + px, 1) + "\" y1=\"" + Num(y - 4, 1) + "\" x2=\"" + Num(8 + px, 1) + "\" y2=\"" +
         Num(y, 1) + "\"/></g><text x=\"" + Num(12 + px, 1) + "\" y=\"" + Num(y + 3, 1) +
         "\" font-size=\"10\" fill=\"#333\">" + label + "</text>";
}

// Tracks on one plain frame fitted to them: longitude scaled by the cosine
// of the middle latitude so that distances look alike both ways, a scale
// bar, and the frame's corners in degrees. records[i] is drawn in colour
// firstColour + i.
std::string TrackSvg(const std::vector<const InventoryRecord*>& records, int width, int height,
                     std::size_t firstColour = 0, std::size_t maxPoints = 0, bool coast = false) {
  std::string svg = "<svg class=\"track\" xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(width) +
                    "\" height=\"" + std::to_string(height) + "\" viewBox=\"0 0 " + std::to_string(width) + ' ' +
                    std::to_string(height) + "\" role=\"img\">";
  const std::optional<Frame> frame = FitFrame(records, width, height);
  if (!frame) {
    return svg + "<text x=\"50%\" y=\"50%\" text-anchor=\"middle\" font-size=\"12\" fill=\"#888\">no GPS fix</text></svg>";
  }
  svg += Corners(*frame);
  if (coast) svg += CoastSvg(*frame);
  for (std::size_t i = 0; i < records.size(); ++i) {
    svg += Lines(*frame, *records[i], kColours[(firstColour + i) % std::size(kColours)], maxPoints);
  }
  return svg + ScaleBar(*frame) + "</svg>";
}

std::vector<const InventoryRecord*> All(const std::vector<InventoryRecord>& records) {
  std::vector<const InventoryRecord*> all;
  for (const InventoryRecord& r : records) all.push_back(&r);
  return all;
}

std::string FileName(const std::string& path) { return path.substr(path.find_last_of("/\\") + 1); }

std::string Thumb(const InventoryRecord& r, const std::string& prefix, int width, int height) {
  if (r.echograms.empty()) return "";
  return "<a href=\"" + Href(prefix + r.echograms.front()) + "\"><img src=\"" + Href(prefix + r.echograms.front()) +
         "\" width=\"" + std::to_string(width) + "\" height=\"" + std::to_string(height) + "\" alt=\"echogram of " +
         Esc(r.name) + " (" + std::to_string(r.thumbWidth) + " by " + std::to_string(r.thumbHeight) +
         " pixels)\"></a>";
}

std::string CssClass(const Look& look) { return look.section; }

std::int64_t Pings(const InventoryDisc& d) {
  std::int64_t n = 0;
  for (const InventoryRecord& r : d.records) n += r.pings;
  return n;
}

std::int64_t Lost(const InventoryDisc& d) {
  std::int64_t n = 0;
  for (const InventoryRecord& r : d.records) n += r.unitsLost;
  return n;
}

// Units the directory claims past the end of the image, and units a mapfile
// marks never tried, told apart from units that failed; shown only where
// there are some.
std::string PastEnd(std::int64_t pastEnd, std::int64_t neverTried) {
  return (pastEnd > 0 ? "<dt>past the end</dt><dd>" + std::to_string(pastEnd) + " units</dd>" : std::string()) +
         (neverTried > 0 ? "<dt>never tried</dt><dd>" + std::to_string(neverTried) + " units</dd>" : std::string());
}

std::string PastEnd(const InventoryDisc& d) {
  std::int64_t pastEnd = 0, neverTried = 0;
  for (const InventoryRecord& r : d.records) pastEnd += r.unitsPastEnd, neverTried += r.unitsNeverTried;
  return PastEnd(pastEnd, neverTried);
}

std::string Fix(const std::optional<LatLon>& f) {
  return f ? Num(f->lat, 5) + ", " + Num(f->lon, 5) : std::string("none");
}

// The first and last date of a disc's records, "" when none has one.
std::string DateRange(const InventoryDisc& d) {
  std::string first, last;
  for (const InventoryRecord& r : d.records) {
    if (r.date.empty()) continue;
    if (first.empty() || r.date < first) first = r.date;
    if (last.empty() || r.date > last) last = r.date;
  }
  return first == last ? first : first + " to " + last;
}

std::string Cell(const std::string& text, const std::string& sortKey = "") {
  return "<td" + (sortKey.empty() ? std::string() : " data-sort=\"" + Esc(sortKey) + "\"") + ">" + text + "</td>";
}

// One row per disc, compact enough for a box of hundreds; index.js sorts,
// filters and finds in it, and without script it reads as it stands.
std::string DiscTable(const std::vector<InventoryDisc>& discs) {
  std::string html = "<table id=\"discs\" class=\"discs\"><thead><tr><th>health</th><th>disc</th><th>type</th>"
                     "<th>label</th><th class=\"n\">records</th><th class=\"n\">pings</th>"
                     "<th class=\"n\">units lost</th><th>dates</th></tr></thead><tbody>\n";
  for (const InventoryDisc& d : discs) {
    const std::string type = d.type.empty() ? "neither" : d.type;
    const Look look = LookOf(d.health);
    html += "<tr class=\"" + std::string(CssClass(look).empty() ? "ok" : CssClass(look).substr(1)) +
            "\" data-health=\"" + Esc(look.word) + "\" data-type=\"" + Esc(type) + "\">" +
            Cell(Mark(look) + (OutputStatus(d) == Outputs::kFailed ? " outputs " + Mark(kOutputsFailed) : ""), look.word) +
            Cell("<a href=\"" + Href(DiscPageName(d)) + "\">" + Esc(FileName(d.image)) + "</a>") +
            Cell(Esc(type)) + Cell(Esc(d.label)) + Cell(std::to_string(d.records.size())) +
            Cell(std::to_string(Pings(d))) + Cell(std::to_string(Lost(d))) + Cell(Esc(DateRange(d))) + "</tr>\n";
  }
  return html + "</tbody></table>\n";
}

}  // namespace

std::string DiscPageName(const InventoryDisc& disc) { return disc.folder + ".html"; }

std::string IndexHtml(const std::vector<InventoryDisc>& discs, const std::string& title) {
  std::size_t records = 0, whole = 0;
  std::int64_t pings = 0;
  std::vector<const InventoryRecord*> all;
  for (const InventoryDisc& d : discs) {
    records += d.records.size();
    pings += Pings(d);
    whole += d.health == Health::kWhole;
    for (const InventoryRecord& r : d.records) all.push_back(&r);
  }
  std::string html = Head(title);
  const auto count = [](std::int64_t n, const char* one, const char* many) { return std::to_string(n) + (n == 1 ? one : many); };
  html += "<h1>" + Esc(title) + "</h1>\n<p class=\"total\">" +
          count(static_cast<std::int64_t>(discs.size()), " disc, ", " discs, ") +
          count(static_cast<std::int64_t>(records), " record, ", " records, ") + count(pings, " ping; ", " pings; ") +
          std::to_string(whole) +
          " whole, " + std::to_string(discs.size() - whole) +
          " with something lost. For scripts: <a href=\"inventory.csv\">inventory.csv</a>, "
          "<a href=\"inventory.json\">inventory.json</a>; to prove the files: "
          "<a href=\"manifest-sha256.txt\">manifest-sha256.txt</a> (<code>sha256sum -c</code>).</p>\n";
  html += DiscTable(discs);
  html += "<h2>Every track of the box</h2>\n<p class=\"total\">To scale, on a plain latitude/longitude frame, "
          "each record in a colour of its own; the grey coastline is Natural Earth's at 1:50m (public domain), "
          "coarse: a kilometre or more off.</p>\n" +
          TrackSvg(all, 900, 520, 0, 48, true) + "\n<script src=\"" + Href(std::string(kViewerAssets)) + "/index.js\"></script>\n";
  return html + "</body></html>\n";
}

namespace {

// One record's section of its disc's page, the i-th, in the i-th colour.
std::string RecordSection(const InventoryRecord& r, std::size_t i, const std::string& prefix) {
  std::string html;
  html += "<section class=\"rec" + CssClass(LookOf(r.verdict)) + "\" id=\"record-" + std::to_string(i + 1) +
          "\"><div class=\"pics\">" + TrackSvg({&r}, 200, 200, i) + Thumb(r, prefix, 320, 200) + "</div>\n<div class=\"nums\"><h2>" +
          Mark(LookOf(r.verdict)) + " <span style=\"color:" + kColours[i % std::size(kColours)] + "\">&#9632;</span> " +
          (r.record ? "record " + std::to_string(*r.record) + ": " : std::string()) + Esc(r.name) + "</h2><dl>";
  if (!r.date.empty()) html += "<dt>date</dt><dd>" + Esc(r.date) + "</dd>";
  if (!r.start.empty()) html += "<dt>time</dt><dd>" + Esc(r.start) + " to " + Esc(r.end) + "</dd>";
  html += "<dt>pings</dt><dd>" + std::to_string(r.pings) + "</dd><dt>units lost</dt><dd>" +
          std::to_string(r.unitsLost) + "</dd>" + PastEnd(r.unitsPastEnd, r.unitsNeverTried);
  html += "<dt>track</dt><dd>" + (r.firstFix ? Num(r.trackKm, 2) + " km" : std::string("no fix")) + "</dd>";
  if (r.firstFix) html += "<dt>first fix</dt><dd>" + Fix(r.firstFix) + "</dd><dt>last fix</dt><dd>" + Fix(r.lastFix) + "</dd>";
  if (!r.viewer.empty()) html += "<dt>echogram</dt><dd><a href=\"" + Href(prefix + r.viewer) + "\">open the viewer</a></dd>";
  html += "<dt>files</dt><dd>";
  if (!r.output.empty()) html += "<a href=\"" + Href(prefix + r.output) + "\">" + Esc(r.output) + "</a> ";
  if (!r.track.empty()) html += "<a href=\"" + Href(prefix + r.track) + "\">" + Esc(r.track) + "</a> ";
  for (const std::string& e : r.echograms) html += "<a href=\"" + Href(prefix + e) + "\">" + Esc(e) + "</a> ";
  html += "</dd>";
  if (!r.outputSha256.empty()) html += "<dt>SHA-256</dt><dd class=\"hash\">" + Esc(r.outputSha256) + "</dd>";
  html += "</dl></div></section>\n";
  return html;
}

}  // namespace

std::string DiscHtml(const InventoryDisc& d) {
  const std::string prefix = d.folder + "/";
  const std::string image = FileName(d.image);
  std::string html = Head(image);
  html += "<p><a href=\"index.html\">&#8592; all discs</a></p>\n<h1>" + Mark(LookOf(d.health)) + " " + Esc(image) +
          "</h1>\n<section class=\"disc" + CssClass(LookOf(d.health)) + "\"><div class=\"pics\">" +
          TrackSvg(All(d.records), 640, 420, 0, 0, true) + "</div>\n<div class=\"nums\"><dl>";
  html += "<dt>image</dt><dd>" + Esc(image) + "</dd><dt>size</dt><dd>" + Bytes(d.size) + " (" +
          std::to_string(d.size) + " bytes)</dd><dt>SHA-256</dt><dd class=\"hash\">" + Esc(d.sha256) + "</dd>";
  html += "<dt>mapfile</dt><dd>" + Esc(d.mapfile.empty() ? "none" : FileName(d.mapfile)) + "</dd>";
  html += "<dt>type</dt><dd>" + Esc(d.type.empty() ? "neither TK40 nor ZEP V1.X" : d.type) + "</dd>";
  html += "<dt>label</dt><dd>" + Esc(d.label.empty() ? "none" : d.label) + "</dd>";
  html += "<dt>health</dt><dd>" + Mark(LookOf(d.health)) + "</dd>";
  if (OutputStatus(d) == Outputs::kFailed) html += "<dt>outputs</dt><dd>" + Mark(kOutputsFailed) + " (named below)</dd>";
  html += "<dt>records</dt><dd>" + std::to_string(d.records.size()) + "</dd><dt>pings</dt><dd>" +
          std::to_string(Pings(d)) + "</dd><dt>units lost</dt><dd>" + std::to_string(Lost(d)) + "</dd>" + PastEnd(d);
  if (!d.checkReport.empty()) html += "<dt>check</dt><dd><a href=\"" + Href(prefix + d.checkReport) + "\">" + Esc(d.checkReport) + "</a></dd>";
  html += "</dl>";
  if (!d.problems.empty()) {
    html += "<ul class=\"problems\">";
    for (const Problem& p : d.problems) html += "<li>" + Esc(p.Text()) + "</li>";
    html += "</ul>";
  }
  html += "</div></section>\n";
  for (std::size_t i = 0; i < d.records.size(); ++i) html += RecordSection(d.records[i], i, prefix);
  html += "<h2>Every file of this disc</h2>\n<ul class=\"files\">";
  for (const InventoryFile& f : d.files) {
    html += "<li><a href=\"" + Href(f.path) + "\" title=\"SHA-256 " + f.sha256 + "\">" + Esc(f.path) + "</a></li>";
  }
  return html + "</ul>\n</body></html>\n";
}

}  // namespace zep
