// zepconv track: the GPS track of record files as GPX 1.1, GeoJSON, KML 2.2
// or CSV, written segment by segment as the pings are walked.

#include <memory>
#include <vector>

#include "export/exports.h"
#include "export/text_output.h"
#include "export/track.h"

namespace zep {
namespace {

// GeoJSON and KML name a feature's last point before its coordinates end, so
// they hold a segment's points; a segment longer than this (days of fixes)
// goes out as several features, each starting where the one before ended.
constexpr std::size_t kMaxHeldPoints = 1 << 16;

}  // namespace

class TrackWriter {
 public:
  explicit TrackWriter(std::string& out) : out_(out) {}
  virtual ~TrackWriter() = default;
  virtual void StartSegment(const std::string& file, int number) = 0;
  virtual void Point(const TrackPoint& p) = 0;
  virtual void EndSegment() = 0;
  virtual void End() = 0;

 protected:
  void Time(const TrackPoint& p) {
    if (p.timeMs) out_ += FormatIsoTime(*p.timeMs);
  }
  std::string& out_;
};

namespace {

class GpxWriter final : public TrackWriter {
 public:
  explicit GpxWriter(std::string& out) : TrackWriter(out) {
    out_ +=
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<gpx version=\"1.1\" creator=\"zepconv\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n";
  }
  void StartSegment(const std::string& file, int) override {
    // One track per file, each run of fixes a segment of it.
    if (!file_ || *file_ != file) {
      if (file_) out_ += "</trk>\n";
      out_ += "<trk><name>";
      AppendXmlText(out_, file);
      out_ += "</name>\n";
      file_ = file;
    }
    out_ += "<trkseg>\n";
  }
  void Point(const TrackPoint& p) override {
    out_ += "<trkpt lat=\"" + FormatDegrees(p.lat) + "\" lon=\"" + FormatDegrees(p.lon) + "\">";
    if (p.timeMs) {
      out_ += "<time>";
      Time(p);
      out_ += "</time>";
    }
    // The ping's index names the point, so it can be found in the ping table.
    out_ += "<name>ping ";
    AppendInt(out_, p.ping);
    out_ += "</name></trkpt>\n";
  }
  void EndSegment() override { out_ += "</trkseg>\n"; }
  void End() override { out_ += file_ ? "</trk>\n</gpx>\n" : "</gpx>\n"; }

 private:
  std::optional<std::string> file_;
};

class CsvWriter final : public TrackWriter {
 public:
  explicit CsvWriter(std::string& out) : TrackWriter(out) { out_ += "file,segment,ping,time,lat,lon,sentence\n"; }
  void StartSegment(const std::string& file, int number) override {
    file_.clear();
    AppendCsvField(file_, file);
    number_ = number;
  }
  void Point(const TrackPoint& p) override {
    out_ += file_;
    out_ += ',';
    AppendInt(out_, number_);
    out_ += ',';
    AppendInt(out_, p.ping);
    out_ += ',';
    Time(p);
    out_ += ',' + FormatDegrees(p.lat) + ',' + FormatDegrees(p.lon) + ',' + p.sentence + '\n';
  }
  void EndSegment() override {}
  void End() override {}

 private:
  std::string file_;
  int number_ = 0;
};

// Writers that hold a segment's points and write it whole.
class HeldWriter : public TrackWriter {
 public:
  using TrackWriter::TrackWriter;
  void StartSegment(const std::string& file, int number) override {
    file_ = file;
    number_ = number;
    points_.clear();
  }
  void Point(const TrackPoint& p) override {
    points_.push_back(p);
    if (points_.size() == kMaxHeldPoints) {
      Feature();
      points_.erase(points_.begin(), points_.end() - 1);
    }
  }
  void EndSegment() override {
    if (!points_.empty()) Feature();
  }

 protected:
  virtual void Feature() = 0;
  std::string file_;
  int number_ = 0;
  std::vector<TrackPoint> points_;
};

class GeoJsonWriter final : public HeldWriter {
 public:
  explicit GeoJsonWriter(std::string& out) : HeldWriter(out) { out_ += "{\"type\":\"FeatureCollection\",\"features\":["; }
  void End() override { out_ += "\n]}\n"; }

 private:
  void Feature() override {
    out_ += first_ ? "\n" : ",\n";
    first_ = false;
    const bool line = points_.size() > 1;
    out_ += line ? R"({"type":"Feature","geometry":{"type":"LineString","coordinates":[)"
                 : R"({"type":"Feature","geometry":{"type":"Point","coordinates":)";
    for (std::size_t i = 0; i < points_.size(); ++i) {
      out_ += i ? ",[" : "[";
      out_ += FormatDegrees(points_[i].lon) + ',' + FormatDegrees(points_[i].lat) + ']';
    }
    out_ += line ? "]},\"properties\":{\"file\":" : "},\"properties\":{\"file\":";
    AppendJsonString(out_, file_);
    out_ += ",\"segment\":";
    AppendInt(out_, number_);
    out_ += ",\"first_ping\":";
    AppendInt(out_, points_.front().ping);
    out_ += ",\"last_ping\":";
    AppendInt(out_, points_.back().ping);
    TimeProperty("start_time", points_.front());
    TimeProperty("end_time", points_.back());
    out_ += ",\"pings\":[";
    for (std::size_t i = 0; i < points_.size(); ++i) {
      if (i) out_ += ',';
      AppendInt(out_, points_[i].ping);
    }
    out_ += "]}}";
  }
  void TimeProperty(const char* key, const TrackPoint& p) {
    out_ += ",\"";
    out_ += key;
    out_ += "\":";
    if (!p.timeMs) {
      out_ += "null";
      return;
    }
    out_ += '"';
    Time(p);
    out_ += '"';
  }
  bool first_ = true;
};

class KmlWriter final : public HeldWriter {
 public:
  explicit KmlWriter(std::string& out) : HeldWriter(out) {
    out_ +=
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<kml xmlns=\"http://www.opengis.net/kml/2.2\">\n<Document>\n<name>zepconv track</name>\n";
  }
  void End() override { out_ += "</Document>\n</kml>\n"; }

 private:
  void Feature() override {
    const TrackPoint &first = points_.front(), &last = points_.back();
    out_ += "<Placemark>\n<name>";
    AppendXmlText(out_, file_);
    out_ += ", segment ";
    AppendInt(out_, number_);
    out_ += "</name>\n";
    if (first.timeMs && last.timeMs) {
      out_ += "<TimeSpan><begin>";
      Time(first);
      out_ += "</begin><end>";
      Time(last);
      out_ += "</end></TimeSpan>\n";
    }
    out_ += "<ExtendedData>";
    Data("file", file_);
    Data("segment", std::to_string(number_));
    Data("first_ping", std::to_string(first.ping));
    Data("last_ping", std::to_string(last.ping));
    std::string pings;
    for (const TrackPoint& p : points_) {
      if (!pings.empty()) pings += ' ';
      AppendInt(pings, p.ping);
    }
    Data("pings", pings);
    out_ += "</ExtendedData>\n";
    // A LineString needs two positions; a segment of one fix is a Point.
    out_ += points_.size() > 1 ? "<LineString><coordinates>" : "<Point><coordinates>";
    for (std::size_t i = 0; i < points_.size(); ++i) {
      if (i) out_ += ' ';
      out_ += FormatDegrees(points_[i].lon) + ',' + FormatDegrees(points_[i].lat);
    }
    out_ += points_.size() > 1 ? "</coordinates></LineString>\n</Placemark>\n" : "</coordinates></Point>\n</Placemark>\n";
  }
  void Data(const char* name, const std::string& value) {
    out_ += "<Data name=\"";
    out_ += name;
    out_ += "\"><value>";
    AppendXmlText(out_, value);
    out_ += "</value></Data>";
  }
};

std::unique_ptr<TrackWriter> MakeWriter(TrackFormat format, std::string& out) {
  switch (format) {
    case TrackFormat::kGpx: return std::make_unique<GpxWriter>(out);
    case TrackFormat::kGeoJson: return std::make_unique<GeoJsonWriter>(out);
    case TrackFormat::kKml: return std::make_unique<KmlWriter>(out);
    case TrackFormat::kCsv: break;
  }
  return std::make_unique<CsvWriter>(out);
}

}  // namespace

TrackSink::TrackSink(TrackFormat format, std::string& out, double gapSeconds)
    : writer_(MakeWriter(format, out)), gapSeconds_(gapSeconds) {}

TrackSink::~TrackSink() = default;

void TrackSink::StartFile(const std::string& name) {
  file_ = name;
  reader_.emplace(gapSeconds_);
  open_ = false;
}

std::optional<TrackReader::Step> TrackSink::Ping(const PingInfo& p) {
  auto step = reader_->Next(p);
  if (!step) return step;
  if (step->newSegment) {
    if (open_) writer_->EndSegment();
    writer_->StartSegment(file_, ++segments_);
    open_ = true;
  }
  writer_->Point(step->point);
  return step;
}

int TrackSink::EndFile() {
  if (open_) writer_->EndSegment();
  open_ = false;
  return reader_ ? reader_->badChecksums() : 0;
}

void TrackSink::End() { writer_->End(); }

Outcome WriteTrack(Sink& con, const std::vector<std::string>& files, TrackFormat format, const std::string& outPath,
                   double gapSeconds) {
  if (WouldOverwriteInput(con, outPath, files)) return Outcome::kRefused;
  TextOutput out(con, outPath);
  if (!out.open()) {
    con.Report(out.problem());
    return Outcome::kRefused;
  }
  TrackSink sink(format, out.text(), gapSeconds);
  WalkCounts counts;
  for (const std::string& path : files) {
    sink.StartFile(path);
    WalkAndReport(con, path, [&](const PingInfo& p) {
      if (sink.Ping(p)) out.Flush();
    }, counts);
    if (const int bad = sink.EndFile(); bad > 0) {
      // Said, not a fault: the track is whole without them.
      con.Report({path, std::to_string(bad) + (bad == 1 ? " sentence" : " sentences") + " with a bad checksum left out", 0,
                  ProblemKind::kOther, Severity::kNote});
    }
  }
  sink.End();
  return FinishOutput(out, counts);
}

}  // namespace zep
