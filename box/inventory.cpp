#include "box/inventory.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <numbers>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "disc/ascii.h"
#include "disc/record_names.h"
#include "export/text_output.h"

namespace zep {
namespace {

using json = nlohmann::ordered_json;

constexpr const char* kColumns[] = {
    "image",      "image_size", "image_sha256", "mapfile",   "disc_type",     "label",
    "health",     "record",     "name",         "date",      "start",         "end",
    "pings",      "verdict",    "units_lost",   "units_past_end", "units_never_tried", "output",    "output_sha256", "first_fix_lat",
    "first_fix_lon", "last_fix_lat", "last_fix_lon", "track_km", "outputs"};

json NullIfEmpty(const std::string& s) { return s.empty() ? json(nullptr) : json(s); }

// An image or mapfile by its file name: where the images lay when the box
// was read is no part of the archive, which reads the same wherever it is.
std::string FileName(const std::string& path) { return path.substr(path.find_last_of("/\\") + 1); }

// One row per record; a disc with none still gets a row, with the record's
// columns empty, so that no disc goes missing from the table.
std::vector<json> Rows(const std::vector<InventoryDisc>& discs) {
  std::vector<json> rows;
  for (const InventoryDisc& d : discs) {
    json disc = {{"image", FileName(d.image)}, {"image_size", d.size}, {"image_sha256", NullIfEmpty(d.sha256)},
                 {"mapfile", NullIfEmpty(FileName(d.mapfile))}, {"disc_type", NullIfEmpty(d.type)},
                 {"label", NullIfEmpty(d.label)}, {"health", HealthName(d.health)}};
    if (d.records.empty()) {
      for (std::size_t i = 7; i < std::size(kColumns); ++i) disc[kColumns[i]] = nullptr;
      disc["outputs"] = OutputsName(OutputStatus(d));
      rows.push_back(disc);
    }
    for (const InventoryRecord& r : d.records) {
      json row = disc;
      row["record"] = r.record ? json(*r.record) : json(nullptr);
      row["name"] = r.name;
      row["date"] = NullIfEmpty(r.date);
      row["start"] = NullIfEmpty(r.start);
      row["end"] = NullIfEmpty(r.end);
      row["pings"] = r.pings;
      row["verdict"] = VerdictText(r.verdict);
      row["units_lost"] = r.unitsLost;
      row["units_past_end"] = r.unitsPastEnd;
      row["units_never_tried"] = r.unitsNeverTried;
      row["output"] = r.output.empty() ? json(nullptr) : json(d.folder + "/" + r.output);
      row["output_sha256"] = NullIfEmpty(r.outputSha256);
      row["first_fix_lat"] = r.firstFix ? json(r.firstFix->lat) : json(nullptr);
      row["first_fix_lon"] = r.firstFix ? json(r.firstFix->lon) : json(nullptr);
      row["last_fix_lat"] = r.lastFix ? json(r.lastFix->lat) : json(nullptr);
      row["last_fix_lon"] = r.lastFix ? json(r.lastFix->lon) : json(nullptr);
      row["track_km"] = r.firstFix ? json(std::round(r.trackKm * 1000) / 1000) : json(nullptr);
      row["outputs"] = OutputsName(OutputStatus(d));
      rows.push_back(row);
    }
  }
  return rows;
}

// ProblemKind's names in the order of its numbers when the state kept them
// as numbers (version 2).
constexpr std::array<const char*, 15> kVersion2Kinds = {"other", "unreadable", "past end", "kept existing", "write failed",
                                          "not a record file", "not a disc", "no directory", "interrupted",
                                          "usage", "missing", "no mode", "bug", "not tried", "record file as disc"};

json FixJson(const std::optional<LatLon>& f) { return f ? json::array({f->lat, f->lon}) : json(nullptr); }
std::optional<LatLon> FixFrom(const json& j) {
  if (!j.is_array() || j.size() != 2) return std::nullopt;
  return LatLon{j[0].get<double>(), j[1].get<double>()};
}

}  // namespace

double Kilometres(const LatLon& a, const LatLon& b) {
  constexpr double kRad = std::numbers::pi / 180;
  const double dLat = (b.lat - a.lat) * kRad, dLon = (b.lon - a.lon) * kRad;
  const double h = std::sin(dLat / 2) * std::sin(dLat / 2) +
                   std::cos(a.lat * kRad) * std::cos(b.lat * kRad) * std::sin(dLon / 2) * std::sin(dLon / 2);
  return 2 * 6371.0088 * std::asin(std::min(1.0, std::sqrt(h)));
}

const char* HealthName(Health health) {
  switch (health) {
    case Health::kWhole: return "whole";
    case Health::kDamaged: return "damaged";
    case Health::kDirectoryLost: return "directory lost";
    case Health::kUnreadable: return "unreadable";
    case Health::kNotRead: return "not read";
  }
  return "?";
}

std::optional<Health> HealthNamed(std::string_view name) {
  for (const Health h : {Health::kWhole, Health::kDamaged, Health::kDirectoryLost, Health::kUnreadable, Health::kNotRead}) {
    if (name == HealthName(h)) return h;
  }
  return std::nullopt;
}

const char* VerdictText(const std::optional<Verdict>& verdict) { return verdict ? VerdictName(*verdict) : "carved"; }

bool OutputsProblem(const Problem& problem) {
  return problem.kind == ProblemKind::kWriteFailed || problem.kind == ProblemKind::kMissing;
}

Outputs OutputStatus(const InventoryDisc& disc) {
  if (std::any_of(disc.problems.begin(), disc.problems.end(), OutputsProblem)) return Outputs::kFailed;
  return disc.files.empty() ? Outputs::kNone : Outputs::kWritten;
}

Health HealthOf(const InventoryDisc& disc) {
  const auto any = [&](const auto& test) { return std::any_of(disc.problems.begin(), disc.problems.end(), test); };
  if (any([](const Problem& p) { return p.kind == ProblemKind::kNoDirectory; })) return Health::kDirectoryLost;
  bool lost = any([](const Problem& p) { return !OutputsProblem(p); });
  for (const InventoryRecord& r : disc.records) {
    lost = lost || r.unitsLost > 0 || r.unitsPastEnd > 0 || r.unitsNeverTried > 0 ||
           (r.verdict && *r.verdict != Verdict::Whole);
  }
  return lost ? Health::kDamaged : Health::kWhole;
}

const char* OutputsName(Outputs outputs) {
  switch (outputs) {
    case Outputs::kWritten: return "written";
    case Outputs::kFailed: return "failed";
    case Outputs::kNone: return "none";
  }
  return "?";
}

std::string DiscFolderName(const std::string& imagePath, std::vector<std::string>& taken) {
  std::string name = imagePath.substr(imagePath.find_last_of("/\\") + 1);
  if (const std::size_t dot = name.rfind('.'); dot != std::string::npos && dot > 0) name.resize(dot);
  if (name.empty()) name = "disc";  // "E:" or a path ending in a separator
  name = SafeFileStem(name);
  // Resumed runs list their folders first; the rest take the next free number.
  std::string folder = name;
  // A name is taken also when it is a disc page's name less ".html" (folder
  // "y.html" beside the page of folder "y").
  auto isTaken = [&](const std::string& f) {
    return std::any_of(taken.begin(), taken.end(),
                       [&](const std::string& t) { return AsciiLower(t) == AsciiLower(f) || AsciiLower(t) == AsciiLower(f) + ".html"; });
  };
  for (int n = 2; isTaken(folder); ++n) {
    folder = name + "-" + std::to_string(n);
  }
  taken.push_back(folder);
  return folder;
}

std::string InventoryCsv(const std::vector<InventoryDisc>& discs) {
  std::string out;
  for (const char* c : kColumns) out += std::string(out.empty() ? "" : ",") + c;
  out += '\n';
  for (const json& row : Rows(discs)) {
    bool first = true;
    for (const char* c : kColumns) {
      if (!first) out += ',';
      first = false;
      const json& v = row[c];
      if (v.is_string()) AppendCsvField(out, v.get<std::string>());
      else if (v.is_number_float()) out += FixedText(v.get<double>(), std::string_view(c) == "track_km" ? 3 : 7);
      else if (!v.is_null()) out += v.dump();
    }
    out += '\n';
  }
  return out;
}

std::string InventoryJson(const std::vector<InventoryDisc>& discs) {
  json doc = {{"discs", json::array()}, {"records", json::array()}};
  for (const InventoryDisc& d : discs) {
    json files = json::array(), problems = json::array();
    for (const InventoryFile& f : d.files) files.push_back({{"file", f.path}, {"sha256", f.sha256}});
    for (const Problem& p : d.problems) problems.push_back(p.Text());
    doc["discs"].push_back({{"image", FileName(d.image)}, {"folder", d.folder}, {"image_size", d.size},
                            {"image_sha256", NullIfEmpty(d.sha256)}, {"mapfile", NullIfEmpty(FileName(d.mapfile))},
                            {"disc_type", NullIfEmpty(d.type)}, {"label", NullIfEmpty(d.label)},
                            {"health", HealthName(d.health)}, {"outputs", OutputsName(OutputStatus(d))}, {"records", d.records.size()},
                            {"problems", problems}, {"files", files}});
  }
  for (json& row : Rows(discs)) doc["records"].push_back(std::move(row));
  return doc.dump(2, ' ', false, json::error_handler_t::replace) + '\n';
}

std::string ManifestText(const std::vector<InventoryFile>& files) {
  std::vector<InventoryFile> sorted = files;
  std::sort(sorted.begin(), sorted.end());
  std::string out;
  for (const InventoryFile& f : sorted) out += f.sha256 + "  " + f.path + '\n';
  return out;
}

namespace {

json RecordState(const InventoryRecord& r) {
  json shape = json::array();
  for (const auto& segment : r.shape) {
    json points = json::array();
    for (const LatLon& p : segment) points.push_back({p.lat, p.lon});
    shape.push_back(points);
  }
  return {{"record", r.record ? json(*r.record) : json(nullptr)}, {"name", r.name},
          {"date", r.date}, {"start", r.start}, {"end", r.end}, {"pings", r.pings},
          {"verdict", VerdictText(r.verdict)}, {"units_lost", r.unitsLost},
          {"units_past_end", r.unitsPastEnd}, {"units_never_tried", r.unitsNeverTried}, {"output", r.output},
          {"output_sha256", r.outputSha256}, {"first_fix", FixJson(r.firstFix)},
          {"last_fix", FixJson(r.lastFix)}, {"track_km", r.trackKm}, {"track", r.track},
          {"viewer", r.viewer}, {"echograms", r.echograms}, {"thumb", {r.thumbWidth, r.thumbHeight}}, {"shape", shape}};
}

InventoryRecord RecordFromState(const json& rj) {
  InventoryRecord r;
  if (!rj.at("record").is_null()) r.record = rj["record"].get<int>();
  rj.at("name").get_to(r.name);
  rj.at("date").get_to(r.date);
  rj.at("start").get_to(r.start);
  rj.at("end").get_to(r.end);
  rj.at("pings").get_to(r.pings);
  r.verdict = VerdictNamed(rj.at("verdict").get<std::string>());
  if (!r.verdict && rj["verdict"] != "carved") throw std::invalid_argument("no verdict");
  rj.at("units_lost").get_to(r.unitsLost);
  r.unitsPastEnd = rj.value("units_past_end", std::int64_t{0});
  r.unitsNeverTried = rj.value("units_never_tried", std::int64_t{0});
  rj.at("output").get_to(r.output);
  rj.at("output_sha256").get_to(r.outputSha256);
  r.firstFix = FixFrom(rj.at("first_fix"));
  r.lastFix = FixFrom(rj.at("last_fix"));
  rj.at("track_km").get_to(r.trackKm);
  rj.at("track").get_to(r.track);
  r.viewer = rj.value("viewer", std::string());
  rj.at("echograms").get_to(r.echograms);
  rj.at("thumb").at(0).get_to(r.thumbWidth);
  rj.at("thumb").at(1).get_to(r.thumbHeight);
  for (const json& seg : rj.at("shape")) {
    r.shape.emplace_back();
    for (const json& p : seg) r.shape.back().push_back({p.at(0).get<double>(), p.at(1).get<double>()});
  }
  return r;
}

// A kind by its name; a state of version 2 kept the enum's number, in the
// order of ProblemKind as it stood then.
ProblemKind KindFromState(const json& kind) {
  std::optional<ProblemKind> k;
  if (kind.is_string()) k = ProblemKindNamed(kind.get<std::string>());
  else if (kind.is_number_integer()) k = ProblemKindNamed(kVersion2Kinds.at(kind.get<std::size_t>()));
  if (!k) throw std::invalid_argument("no problem kind");
  return *k;
}

json DiscState(const InventoryDisc& d) {
  json records = json::array(), problems = json::array(), files = json::array();
  for (const InventoryRecord& r : d.records) records.push_back(RecordState(r));
  for (const Problem& p : d.problems) {
    problems.push_back({{"subject", p.subject}, {"what", p.what}, {"units", p.units}, {"kind", ProblemKindName(p.kind)}});
  }
  for (const InventoryFile& f : d.files) {
    files.push_back({{"file", f.path}, {"sha256", f.sha256}, {"size", f.size}, {"mtime", f.mtime}});
  }
  // Names only: the box reads the same wherever its discs lay when read.
  return {{"image", FileName(d.image)}, {"folder", d.folder}, {"size", d.size}, {"mtime", d.mtime},
          {"sha256", d.sha256}, {"mapfile", FileName(d.mapfile)}, {"type", d.type}, {"label", d.label},
          {"health", HealthName(d.health)}, {"problems", problems}, {"check", d.checkReport}, {"files", files}, {"records", records}};
}

InventoryDisc DiscFromState(const json& j) {
  InventoryDisc d;
  j.at("image").get_to(d.image);
  j.at("folder").get_to(d.folder);
  j.at("size").get_to(d.size);
  j.at("mtime").get_to(d.mtime);
  j.at("sha256").get_to(d.sha256);
  j.at("mapfile").get_to(d.mapfile);
  j.at("type").get_to(d.type);
  j.at("label").get_to(d.label);
  const std::optional<Health> health = HealthNamed(j.at("health").get<std::string>());
  if (!health) throw std::invalid_argument("no health");
  d.health = *health;
  j.at("check").get_to(d.checkReport);
  for (const json& p : j.at("problems")) {
    d.problems.push_back({p.at("subject").get<std::string>(), p.at("what").get<std::string>(),
                          p.at("units").get<std::int64_t>(), KindFromState(p.at("kind"))});
  }
  for (const json& f : j.at("files")) {
    d.files.push_back({f.at("file").get<std::string>(), f.at("sha256").get<std::string>(),
                       f.at("size").get<std::uint64_t>(), f.at("mtime").get<std::string>()});
  }
  for (const json& rj : j.at("records")) d.records.push_back(RecordFromState(rj));
  return d;
}

}  // namespace

std::string StateJson(const std::vector<InventoryDisc>& discs) {
  json doc = {{"zepconv_inventory_state", 3}, {"discs", json::array()}};
  for (const InventoryDisc& d : discs) doc["discs"].push_back(DiscState(d));
  return doc.dump(1, ' ', false, json::error_handler_t::replace) + '\n';
}

std::optional<std::vector<InventoryDisc>> ParseState(const std::string& text) {
  try {
    const json doc = json::parse(text);
    // Version 2 differs only in keeping problem kinds as numbers.
    if (const int version = doc.value("zepconv_inventory_state", 0); version != 2 && version != 3) return std::nullopt;
    std::vector<InventoryDisc> discs;
    for (const json& j : doc.at("discs")) discs.push_back(DiscFromState(j));
    return discs;
  } catch (const json::exception&) {
    return std::nullopt;
  } catch (const std::out_of_range&) {  // a kind number no version 2 knew
    return std::nullopt;
  } catch (const std::invalid_argument&) {  // a word that is no health, verdict or kind
    return std::nullopt;
  }
}

DiscTally TallyOf(const std::vector<InventoryDisc>& discs) {
  DiscTally t;
  for (const InventoryDisc& d : discs) {
    const SourceType type = SourceTypeNamed(d.type).value_or(SourceType::ZepV1);
    t.records += static_cast<std::int64_t>(d.records.size());
    for (const InventoryRecord& r : d.records) {
      t.pings += r.pings, t.lost += InSectors(type, r.unitsLost), t.pastEnd += InSectors(type, r.unitsPastEnd),
          t.notTried += InSectors(type, r.unitsNeverTried);
    }
  }
  return t;
}

}  // namespace zep
