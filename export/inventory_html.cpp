// The inventory's pages: plain HTML and CSS that read the same from a USB
// stick with no network and no script. Pictures come first (tracks drawn as
// SVG on a plain latitude/longitude frame, echogram thumbnails), the numbers
// beside them, and every file one link away.

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>

#include "export/inventory.h"
#include "export/text_output.h"

namespace zep {
namespace {

std::string Esc(std::string_view s) { return MarkupEscaped(s); }

// A relative path as a URL: each byte that is not plainly safe is %-escaped.
std::string Href(std::string_view path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char c : path) {
    const auto u = static_cast<unsigned char>(c);
    if ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') ||
        std::string_view("-._~/").find(c) != std::string_view::npos) {
      out += c;
    } else {
      out += '%';
      out += kHex[u >> 4];
      out += kHex[u & 15];
    }
  }
  return out;
}

std::string Num(double v, int digits) { return FixedText(v, digits); }

std::string Bytes(std::uint64_t n) {
  if (n < 10 * 1024) return std::to_string(n) + " bytes";
  if (n < 10ull * 1024 * 1024) return Num(n / 1024.0, 1) + " KiB";
  if (n < 10ull * 1024 * 1024 * 1024) return Num(n / 1048576.0, 1) + " MiB";
  return Num(n / 1073741824.0, 2) + " GiB";
}

// The mark beside a disc or record: a sign as well as a colour, so that it
// reads in grey print too.
std::string Mark(const std::string& health) {
  if (health == "whole") return "<span class=\"mark m-ok\" title=\"whole\">&#10004; whole</span>";
  if (health == "carved") return "<span class=\"mark m-carved\" title=\"carved\">&#9672; carved</span>";
  if (health == "empty") return "<span class=\"mark m-carved\" title=\"empty\">&#9675; empty</span>";
  if (health == "unreadable" || health == "beyond end")
    return "<span class=\"mark m-lost\" title=\"" + Esc(health) + "\">&#10008; " + Esc(health) + "</span>";
  return "<span class=\"mark m-bad\" title=\"" + Esc(health) + "\">&#9888; " + Esc(health) + "</span>";
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

std::string Lines(const Frame& f, const InventoryRecord& r, const char* colour) {
  std::string svg;
  for (const auto& seg : r.shape) {
    if (seg.size() == 1) {
      svg += "<circle cx=\"" + Num(f.X(seg[0].lon), 1) + "\" cy=\"" + Num(f.Y(seg[0].lat), 1) + "\" r=\"2\" fill=\"" +
             colour + "\"/>";
      continue;
    }
    svg += "<polyline fill=\"none\" stroke=\"" + std::string(colour) + "\" stroke-width=\"2\" points=\"";
    for (const LatLon& p : seg) svg += Num(f.X(p.lon), 1) + ',' + Num(f.Y(p.lat), 1) + ' ';
    svg += "\"><title>" + Esc(r.name) + "</title></polyline>";
  }
  if (!r.shape.empty() && !r.shape.front().empty()) {
    const LatLon& s = r.shape.front().front();
    svg += "<circle cx=\"" + Num(f.X(s.lon), 1) + "\" cy=\"" + Num(f.Y(s.lat), 1) + "\" r=\"3\" fill=\"#fff\" stroke=\"" +
           colour + "\"/>";
  }
  return svg;
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
                     std::size_t firstColour = 0) {
  std::string svg = "<svg class=\"track\" xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(width) +
                    "\" height=\"" + std::to_string(height) + "\" viewBox=\"0 0 " + std::to_string(width) + ' ' +
                    std::to_string(height) + "\" role=\"img\">";
  const std::optional<Frame> frame = FitFrame(records, width, height);
  if (!frame) {
    return svg + "<text x=\"50%\" y=\"50%\" text-anchor=\"middle\" font-size=\"12\" fill=\"#888\">no GPS fix</text></svg>";
  }
  svg += Corners(*frame);
  for (std::size_t i = 0; i < records.size(); ++i) {
    svg += Lines(*frame, *records[i], kColours[(firstColour + i) % std::size(kColours)]);
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

// The first thumbnails of a disc, and a link to its page for the rest.
std::string IndexThumbs(const InventoryDisc& d) {
  constexpr std::size_t kShown = 8;
  std::string html;
  std::size_t shown = 0, pictures = 0;
  for (const InventoryRecord& r : d.records) {
    if (r.echograms.empty()) continue;
    if (pictures++ < kShown) html += Thumb(r, d.folder + "/", 120, 150), ++shown;
  }
  if (pictures > shown) {
    html += "<a class=\"more\" href=\"" + Href(d.folder) + ".html\">and " + std::to_string(pictures - shown) +
            " more records &#8594;</a>";
  }
  return html;
}

std::string CssClass(const std::string& health) {
  if (health == "whole") return "";
  if (health == "unreadable" || health == "beyond end") return " lost";
  if (health == "directory lost" || health == "carved" || health == "empty") return " carved";
  return " bad";
}

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

std::string Fix(const std::optional<LatLon>& f) {
  return f ? Num(f->lat, 5) + ", " + Num(f->lon, 5) : std::string("none");
}

}  // namespace

std::string DiscPageName(const InventoryDisc& disc) { return disc.folder + ".html"; }

std::string IndexHtml(const std::vector<InventoryDisc>& discs, const std::string& title) {
  std::size_t records = 0, whole = 0;
  std::int64_t pings = 0;
  for (const InventoryDisc& d : discs) {
    records += d.records.size();
    pings += Pings(d);
    whole += d.health == "whole";
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
  for (const InventoryDisc& d : discs) {
    const std::string prefix = d.folder + "/";
    html += "<section class=\"disc" + CssClass(d.health) + "\" id=\"" + Esc(d.folder) + "\">\n<div class=\"pics\">" +
            "<a href=\"" + Href(DiscPageName(d)) + "\">" + TrackSvg(All(d.records), 220, 150) + "</a>";
    html += IndexThumbs(d);
    html += "</div>\n<div class=\"nums\"><h2>" + Mark(d.health) + " <a href=\"" + Href(DiscPageName(d)) + "\">" +
            Esc(FileName(d.image)) + "</a></h2><dl>";
    html += "<dt>type</dt><dd>" + Esc(d.type.empty() ? "neither TK40 nor ZEP V1.X" : d.type) + "</dd>";
    html += "<dt>label</dt><dd>" + Esc(d.label.empty() ? "none" : d.label) + "</dd>";
    html += "<dt>records</dt><dd>" + std::to_string(d.records.size()) + "</dd>";
    html += "<dt>pings</dt><dd>" + std::to_string(Pings(d)) + "</dd>";
    html += "<dt>units lost</dt><dd>" + std::to_string(Lost(d)) + "</dd>";
    if (OutputStatus(d) == "failed") html += "<dt>outputs</dt><dd>" + Mark("failed") + "</dd>";
    html += "<dt>image</dt><dd>" + Bytes(d.size) + (d.mapfile.empty() ? "" : ", mapfile " + Esc(FileName(d.mapfile))) + "</dd>";
    html += "</dl></div>\n</section>\n";
  }
  return html + "</body></html>\n";
}

std::string DiscHtml(const InventoryDisc& d) {
  const std::string prefix = d.folder + "/";
  const std::string image = FileName(d.image);
  std::string html = Head(image);
  html += "<p><a href=\"index.html\">&#8592; all discs</a></p>\n<h1>" + Mark(d.health) + " " + Esc(image) +
          "</h1>\n<section class=\"disc" + CssClass(d.health) + "\"><div class=\"pics\">" +
          TrackSvg(All(d.records), 640, 420) + "</div>\n<div class=\"nums\"><dl>";
  html += "<dt>image</dt><dd>" + Esc(image) + "</dd><dt>size</dt><dd>" + Bytes(d.size) + " (" +
          std::to_string(d.size) + " bytes)</dd><dt>SHA-256</dt><dd class=\"hash\">" + Esc(d.sha256) + "</dd>";
  html += "<dt>mapfile</dt><dd>" + Esc(d.mapfile.empty() ? "none" : FileName(d.mapfile)) + "</dd>";
  html += "<dt>type</dt><dd>" + Esc(d.type.empty() ? "neither TK40 nor ZEP V1.X" : d.type) + "</dd>";
  html += "<dt>label</dt><dd>" + Esc(d.label.empty() ? "none" : d.label) + "</dd>";
  html += "<dt>health</dt><dd>" + Mark(d.health) + "</dd>";
  if (OutputStatus(d) == "failed") html += "<dt>outputs</dt><dd>" + Mark("failed") + " (named below)</dd>";
  html += "<dt>records</dt><dd>" + std::to_string(d.records.size()) + "</dd><dt>pings</dt><dd>" +
          std::to_string(Pings(d)) + "</dd><dt>units lost</dt><dd>" + std::to_string(Lost(d)) + "</dd>";
  if (!d.checkReport.empty()) html += "<dt>check</dt><dd><a href=\"" + Href(prefix + d.checkReport) + "\">" + Esc(d.checkReport) + "</a></dd>";
  html += "</dl>";
  if (!d.problems.empty()) {
    html += "<ul class=\"problems\">";
    for (const Problem& p : d.problems) html += "<li>" + Esc(p.Text()) + "</li>";
    html += "</ul>";
  }
  html += "</div></section>\n";
  for (std::size_t i = 0; i < d.records.size(); ++i) {
    const InventoryRecord& r = d.records[i];
    html += "<section class=\"rec" + CssClass(r.verdict) + "\" id=\"record-" + std::to_string(i + 1) +
            "\"><div class=\"pics\">" + TrackSvg({&r}, 200, 200, i) + Thumb(r, prefix, 320, 200) + "</div>\n<div class=\"nums\"><h2>" +
            Mark(r.verdict) + " <span style=\"color:" + kColours[i % std::size(kColours)] + "\">&#9632;</span> " +
            (r.record ? "record " + std::to_string(*r.record) + ": " : std::string()) + Esc(r.name) + "</h2><dl>";
    if (!r.date.empty()) html += "<dt>date</dt><dd>" + Esc(r.date) + "</dd>";
    if (!r.start.empty()) html += "<dt>time</dt><dd>" + Esc(r.start) + " to " + Esc(r.end) + "</dd>";
    html += "<dt>pings</dt><dd>" + std::to_string(r.pings) + "</dd><dt>units lost</dt><dd>" +
            std::to_string(r.unitsLost) + "</dd>";
    html += "<dt>track</dt><dd>" + (r.firstFix ? Num(r.trackKm, 2) + " km" : std::string("no fix")) + "</dd>";
    if (r.firstFix) html += "<dt>first fix</dt><dd>" + Fix(r.firstFix) + "</dd><dt>last fix</dt><dd>" + Fix(r.lastFix) + "</dd>";
    html += "<dt>files</dt><dd>";
    if (!r.output.empty()) html += "<a href=\"" + Href(prefix + r.output) + "\">" + Esc(r.output) + "</a> ";
    if (!r.track.empty()) html += "<a href=\"" + Href(prefix + r.track) + "\">" + Esc(r.track) + "</a> ";
    for (const std::string& e : r.echograms) html += "<a href=\"" + Href(prefix + e) + "\">" + Esc(e) + "</a> ";
    html += "</dd>";
    if (!r.outputSha256.empty()) html += "<dt>SHA-256</dt><dd class=\"hash\">" + Esc(r.outputSha256) + "</dd>";
    html += "</dl></div></section>\n";
  }
  html += "<h2>Every file of this disc</h2>\n<ul class=\"files\">";
  for (const InventoryFile& f : d.files) {
    html += "<li><a href=\"" + Href(f.path) + "\" title=\"SHA-256 " + f.sha256 + "\">" + Esc(f.path) + "</a></li>";
  }
  return html + "</ul>\n</body></html>\n";
}

}  // namespace zep
