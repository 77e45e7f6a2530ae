// zepconv inventory: for each disc, its image hashed, a check, every record
// converted (or, where the directory is lost, carved), each record's track
// and echogram; then the box's table, pages and manifest. Each disc is one
// step of the resume state, so a stopped run loses at most the disc it was on.

#include "cli/inventory_command.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <sstream>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "export/exports.h"
#include "cli/files.h"
#include "cli/run_report.h"
#include "cli/several_sources.h"
#include "cli/text.h"
#include "export/track.h"
#include "convert/record_file.h"
#include "disc/file.h"
#include "export/inventory.h"
#include "export/netcdf.h"
#include "export/sha256.h"

namespace zep::cli {
namespace {

namespace fs = std::filesystem;
using json = nlohmann::ordered_json;

constexpr const char* kStateFile = "inventory-state.json";
// Enough points to draw a track at page size; more only make the page heavy.
constexpr std::size_t kShapePoints = 400;
constexpr int kThumbWidth = 480, kThumbHeight = 240;

// A command run with its stdout kept and its problems gathered.
struct Captured {
  explicit Captured(bool json) : con{out, err, false, json, {}} {}
  std::ostringstream out, err;
  Console con;
};

// One line on stderr for the whole box: disc i of N, bytes of the total and
// the time left, redrawn in place.
class BoxProgress {
 public:
  BoxProgress(Console& con, std::uint64_t totalBytes, std::size_t discs)
      : con_(con), total_(totalBytes), discs_(discs), start_(std::chrono::steady_clock::now()) {}
  ~BoxProgress() { Clear(); }

  // A disc skipped or done: its bytes count as done, a skipped disc's at no cost.
  void DiscDone(std::uint64_t bytes, bool worked) {
    before_ += bytes;
    if (worked) worked_ += bytes;
    current_ = 0;
  }
  // Within disc i: the share of its bytes done so far.
  void At(std::size_t disc, const std::string& name, std::uint64_t bytes) {
    disc_ = disc;
    name_ = name;
    current_ = bytes;
    Draw();
  }
  void Clear() {
    if (con_.progress && width_ > 0) con_.err << '\r' << std::string(width_, ' ') << '\r' << std::flush;
    width_ = 0;
  }

 private:
  void Draw() {
    if (!con_.progress) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - lastDraw_ < std::chrono::milliseconds(200)) return;
    lastDraw_ = now;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    const std::uint64_t doneHere = worked_ + current_, done = before_ + current_;
    std::ostringstream line;
    line << "disc " << disc_ + 1 << " of " << discs_ << "  " << Gb(done) << " of " << Gb(total_) << " GB";
    if (doneHere > 0 && seconds > 1 && total_ > done) {
      const auto left = static_cast<std::int64_t>(seconds / doneHere * (total_ - done));
      line << "  " << left / 3600 << ':' << (left / 60 % 60 < 10 ? "0" : "") << left / 60 % 60 << ':'
           << (left % 60 < 10 ? "0" : "") << left % 60 << " left";
    }
    line << "  " << name_;
    std::string text = line.str().substr(0, 79);
    const std::size_t shown = text.size();
    if (shown < width_) text += std::string(width_ - shown, ' ');
    con_.err << '\r' << text << std::flush;
    width_ = shown;
  }
  static std::string Gb(std::uint64_t bytes) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f", bytes / 1e9);
    return buf;
  }

  Console& con_;
  std::uint64_t total_, before_ = 0, worked_ = 0, current_ = 0;
  std::size_t discs_, disc_ = 0, width_ = 0;
  std::string name_;
  std::chrono::steady_clock::time_point start_, lastDraw_{};
};

std::string Relative(const std::string& path, const std::string& base) {
  return fs::path(path).lexically_relative(fs::path(base)).generic_string();
}

std::int64_t ModificationTime(const std::string& path) {
  std::error_code ec;
  return static_cast<std::int64_t>(fs::last_write_time(fs::path(path), ec).time_since_epoch().count());
}

// A PNG's size, from its IHDR chunk.
std::pair<int, int> PngSize(const std::string& path) {
  InputFile in = InputFile::Open(path);
  std::uint8_t head[24] = {};
  if (!in.open() || in.Read(head).bytes != sizeof head) return {0, 0};
  auto be32 = [&](int at) { return static_cast<int>((head[at] << 24) | (head[at + 1] << 16) | (head[at + 2] << 8) | head[at + 3]); };
  return {be32(16), be32(20)};
}

std::string StringOr(const json& j, const char* key) {
  return j.contains(key) && j[key].is_string() ? j[key].get<std::string>() : std::string();
}

// The track's shape, length and ends, walked from the record file.
void ReadTrack(const std::string& path, InventoryRecord& r) {
  TrackReader reader(60);
  std::vector<std::vector<LatLon>> segments;
  std::optional<LatLon> last;
  WalkRecordFile(path, [&](const PingInfo& p) {
    ++r.pings;
    const auto step = reader.Next(p);
    if (!step) return;
    const LatLon here{step->point.lat, step->point.lon};
    if (step->newSegment || segments.empty()) segments.emplace_back();
    else if (last) r.trackKm += Kilometres(*last, here);
    segments.back().push_back(here);
    if (!r.firstFix) r.firstFix = here;
    r.lastFix = last = here;
  });
  std::size_t points = 0;
  for (const auto& s : segments) points += s.size();
  const std::size_t every = std::max<std::size_t>(1, (points + kShapePoints - 1) / kShapePoints);
  for (const auto& s : segments) {
    std::vector<LatLon> thin;
    for (std::size_t i = 0; i < s.size(); ++i)
      if (i % every == 0 || i + 1 == s.size()) thin.push_back(s[i]);
    r.shape.push_back(std::move(thin));
  }
}

class Inventory {
 public:
  Inventory(Console& con, std::string outDir, const InventoryOptions& options)
      : con_(con), out_(std::move(outDir)), options_(options) {}

  int Run(const std::vector<std::string>& images);

 private:
  InventoryDisc DoDisc(const std::string& image, const std::string& folder, std::size_t index);
  void Record(InventoryDisc& disc, InventoryRecord& r, const std::string& file, const std::string& folderPath);
  void Gather(InventoryDisc& disc, const Captured& step);
  bool WriteText(const std::string& name, const std::string& text);
  void SaveState(const std::vector<InventoryDisc>& discs);

  Console& con_;
  std::string out_;
  InventoryOptions options_;
  std::optional<BoxProgress> progress_;
  bool writeFailed_ = false;
  int status_ = kDone;  // of the current disc's exports
};

void Inventory::Gather(InventoryDisc& disc, const Captured& step) {
  for (const Problem& p : step.con.problems) {
    const std::string line = p.Text();
    if (std::find(disc.messages.begin(), disc.messages.end(), line) == disc.messages.end()) disc.messages.push_back(line);
  }
}

void Inventory::Record(InventoryDisc& disc, InventoryRecord& r, const std::string& file, const std::string& folderPath) {
  r.output = Relative(file, folderPath);
  r.outputSha256 = Sha256OfFile(file).hex;
  r.pings = 0;
  ReadTrack(file, r);
  // REEF.A and REEF.B must not share REEF.geojson: only .ZEP is dropped.
  std::string ext = fs::path(file).extension().string();
  for (char& c : ext) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  const std::string stem = ext == ".ZEP" ? file.substr(0, file.size() - 4) : file;
  Captured track(false);
  if (TrackCommand(track.con, {file}, TrackFormat::kGeoJson, stem + ".geojson", 60) != Outcome::kRefused) {
    r.track = Relative(stem + ".geojson", folderPath);
  }
  Gather(disc, track);
  // A thumbnail, each pixel the strongest sample of its block, so that a
  // hole or a seabed echo still shows; the full-size pictures are a
  // `zepconv echogram` away.
  Captured echogram(false);
  // A record file that is not whole still gives its picture (and was named).
  EchogramCommand(echogram.con, file, stem + "-echogram.png", 2048, Palette::kGrey, Fit{kThumbWidth, kThumbHeight});
  if (fs::exists(fs::path(stem + "-echogram.png"))) r.echograms.push_back(Relative(stem + "-echogram.png", folderPath));
  else status_ = std::max(status_, kPartly);
  Gather(disc, echogram);
  if (!r.echograms.empty()) std::tie(r.thumbWidth, r.thumbHeight) = PngSize(JoinPath(folderPath, r.echograms[0]));
  if (options_.netcdf && HaveNetcdf()) {
    Captured netcdf(false);
    NetcdfOptions nc;
    nc.outFile = stem + ".nc";
    if (NetcdfCommand(netcdf.con, {file}, nc) != Outcome::kDone) status_ = std::max(status_, kPartly);
    Gather(disc, netcdf);
  }
}

InventoryDisc Inventory::DoDisc(const std::string& image, const std::string& folder, std::size_t index) {
  InventoryDisc disc;
  status_ = kDone;
  disc.image = image;
  disc.folder = folder;
  const std::string folderPath = JoinPath(out_, folder);
  std::error_code ec;
  disc.size = fs::is_regular_file(fs::path(image), ec) ? fs::file_size(fs::path(image), ec) : 0;
  disc.mtime = ModificationTime(image);
  const std::uint64_t size = disc.size;
  auto at = [&](double share) { progress_->At(index, image, static_cast<std::uint64_t>(size * share)); };
  at(0);

  // The hash first: it reads every byte, so it also warms the cache for the rest.
  const FileDigest digest = Sha256OfFile(image, [&](std::uint64_t n) {
    progress_->At(index, image, n / 4);
  });
  disc.sha256 = digest.hex;
  if (digest.problem) disc.messages.push_back(digest.problem->Text());
  Captured beside(false);
  const DiscOptions options = WithMapfileBeside(beside.con, image, {});
  disc.mapfile = options.mapfile;

  Captured check(true);
  int status = CheckCommand(check.con, image, std::nullopt, true, options);
  Gather(disc, check);
  at(0.5);
  const json report = json::parse(check.out.str(), nullptr, false);
  if (status == kRefused && (report.is_discarded() || !report.is_object())) {
    disc.health = "unreadable";
    disc.status = kRefused;
    return disc;
  }
  if (!MakeFolder(check.con, folderPath)) {
    Gather(disc, check);
    disc.health = "unreadable";
    disc.status = kRefused;
    return disc;
  }
  disc.check = "check.json";
  WriteText(JoinPath(folder, disc.check), check.out.str());
  disc.type = report.value("type", "");
  if (report.contains("evidence") && report["evidence"].value("verdict", "").find("neither") != std::string::npos) {
    disc.type.clear();
  }
  disc.label = StringOr(report, "label");
  const json records = report.value("records", json::array());

  bool lostDirectory = records.empty() || status == kRefused;
  if (!lostDirectory) {
    Captured list(true);
    ListCommand(list.con, image, std::nullopt, true, options);
    const json listed = json::parse(list.out.str(), nullptr, false);
    Captured convert(true);
    status = std::max(status, ConvertCommand(convert.con, image, std::nullopt, folderPath, {}, options));
    Gather(disc, convert);
    const json converted = json::parse(convert.out.str(), nullptr, false);
    for (const json& h : records) {
      InventoryRecord r;
      r.record = h.value("record", 0);
      r.name = h.value("name", "");
      r.verdict = h.value("verdict", "");
      r.unitsLost = h.value("unreadable_units", 0) + h.value("beyond_end", 0) + h.value("no_mode", 0);
      if (listed.is_object()) {
        for (const json& l : listed.value("records", json::array())) {
          if (l.value("record", 0) != *r.record) continue;
          r.date = StringOr(l, "date_iso");
          r.start = StringOr(l, "start_iso");
          r.end = StringOr(l, "end_iso");
        }
      }
      std::string file;
      if (converted.is_object()) {
        for (const json& f : converted.value("files", json::array()))
          if (f.value("record", 0) == *r.record) file = f.value("file", "");
      }
      if (!file.empty()) Record(disc, r, file, folderPath);
      else r.pings = 0;
      disc.records.push_back(std::move(r));
    }
  } else {
    disc.type.clear();  // nothing on the disc said which recorder wrote it
    // No directory to go by: the runs of ping records are the records.
    Captured carve(false);
    status = std::max(status == kRefused ? kPartly : status,
                      CarveCommand(carve.con, image, std::nullopt, folderPath, false, options));
    Gather(disc, carve);
    std::vector<std::string> carved;
    for (const auto& entry : fs::directory_iterator(fs::path(folderPath), ec)) {
      const std::string name = entry.path().filename().string();
      if (name.starts_with("carved-") && name.ends_with(".zep")) carved.push_back(entry.path().string());
    }
    std::sort(carved.begin(), carved.end());
    for (const std::string& file : carved) {
      InventoryRecord r;
      r.name = fs::path(file).stem().string();
      r.verdict = "carved";
      Record(disc, r, file, folderPath);
      disc.records.push_back(std::move(r));
    }
  }
  at(1);
  if (options_.netcdf && !HaveNetcdf()) {
    disc.messages.push_back("--netcdf: this build writes no netCDF files");
    status = std::max(status, kPartly);
  }
  status = std::max(status, status_);

  disc.status = status;
  bool lost = status != kDone;
  for (const InventoryRecord& r : disc.records) lost = lost || r.unitsLost > 0 || (r.verdict != "whole" && r.verdict != "carved");
  disc.health = lostDirectory ? "directory lost" : lost ? "damaged" : "whole";
  // Every file of the disc's folder, with its hash: the record files' from above.
  std::map<std::string, std::string> known;
  for (const InventoryRecord& r : disc.records) known[folder + "/" + r.output] = r.outputSha256;
  for (const auto& entry : fs::recursive_directory_iterator(fs::path(folderPath), ec)) {
    if (!entry.is_regular_file()) continue;
    const std::string rel = Relative(entry.path().string(), out_);
    if (fs::path(rel).filename().string().starts_with("~zep")) continue;  // another run's leftover
    const auto it = known.find(rel);
    disc.files.emplace_back(rel, it != known.end() && !it->second.empty() ? it->second
                                                                           : Sha256OfFile(entry.path().string()).hex);
  }
  std::sort(disc.files.begin(), disc.files.end());
  return disc;
}

bool Inventory::WriteText(const std::string& name, const std::string& text) {
  OutputFile file = OutputFile::Create(JoinPath(out_, name));
  if (file.open()) file.Write(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
  if (!file.open() || !file.Close()) {
    con_.Report({"", file.error()});
    writeFailed_ = true;
    return false;
  }
  return true;
}

void Inventory::SaveState(const std::vector<InventoryDisc>& discs) {
  // OutputFile puts the new state in place of the old in one rename: a power
  // cut leaves one or the other, whole.
  WriteText(kStateFile, StateJson(discs));
}

int Inventory::Run(const std::vector<std::string>& given) {
  if (!MakeFolder(con_, out_)) return kRefused;
  auto key = [](const std::string& path) { return fs::absolute(fs::path(path)).lexically_normal().generic_string(); };
  // An image named twice is one disc: it is read once, into one folder.
  std::vector<std::string> images;
  for (const std::string& image : given) {
    if (std::none_of(images.begin(), images.end(), [&](const std::string& i) { return key(i) == key(image); })) {
      images.push_back(image);
    } else {
      con_.Note({image, "given more than once; read once"});
    }
  }
  std::vector<InventoryDisc> before;
  if (options_.resume) {
    std::string text;
    if (InputFile in = InputFile::Open(JoinPath(out_, kStateFile)); in.open()) {
      std::vector<std::uint8_t> buffer(1 << 16);
      for (ReadResult r; (r = in.Read(buffer)).ok() && r.bytes > 0;) text.append(buffer.begin(), buffer.begin() + r.bytes);
    }
    if (auto state = ParseState(text)) before = std::move(*state);
    else con_.Note({JoinPath(out_, kStateFile), "no state to resume from; starting afresh"});
  }
  // The same image keeps its folder across runs; new ones take free names.
  // The box's own files are never a disc's folder, nor is a disc's page.
  std::vector<std::string> taken = {"index.html", "inventory.csv", "inventory.json", "manifest-sha256.txt",
                                    kStateFile},
                           folders(images.size());
  std::map<std::string, const InventoryDisc*> previous;
  for (const InventoryDisc& d : before) previous[key(d.image)] = &d;
  for (std::size_t i = 0; i < images.size(); ++i) {
    if (auto it = previous.find(key(images[i])); it != previous.end()) {
      folders[i] = it->second->folder;
      taken.push_back(folders[i]);
      taken.push_back(folders[i] + ".html");
    }
  }
  std::uint64_t totalBytes = 0;
  for (std::size_t i = 0; i < images.size(); ++i) {
    if (folders[i].empty()) {
      folders[i] = DiscFolderName(images[i], taken);
      taken.push_back(folders[i] + ".html");
    }
    std::error_code ec;
    if (fs::is_regular_file(fs::path(images[i]), ec)) totalBytes += fs::file_size(fs::path(images[i]), ec);
  }
  progress_.emplace(con_, totalBytes, images.size());

  std::vector<InventoryDisc> discs;
  for (std::size_t i = 0; i < images.size(); ++i) {
    const auto it = previous.find(key(images[i]));
    std::error_code ec;
    const std::uint64_t size = fs::is_regular_file(fs::path(images[i]), ec) ? fs::file_size(fs::path(images[i]), ec) : 0;
    if (it != previous.end() && it->second->size == size && it->second->mtime == ModificationTime(images[i]) &&
        it->second->status != kRefused &&
        std::all_of(it->second->files.begin(), it->second->files.end(),
                    [&](const auto& f) { return fs::exists(fs::path(JoinPath(out_, f.first))); })) {
      InventoryDisc d = *it->second;
      d.image = images[i];
      discs.push_back(std::move(d));
      progress_->DiscDone(size, false);
      continue;
    }
    discs.push_back(DoDisc(images[i], folders[i], i));
    progress_->DiscDone(size, true);
    // Discs of the earlier run that this one has not reached yet stay in the state.
    std::vector<InventoryDisc> state = discs;
    for (const InventoryDisc& d : before) {
      if (std::none_of(state.begin(), state.end(), [&](const InventoryDisc& s) { return key(s.image) == key(d.image); }))
        state.push_back(d);
    }
    SaveState(state);
  }
  progress_->Clear();

  WriteText("inventory.csv", InventoryCsv(discs));
  WriteText("inventory.json", InventoryJson(discs));
  const std::string title = "Inventory of " + std::to_string(discs.size()) + (discs.size() == 1 ? " disc" : " discs");
  WriteText("index.html", IndexHtml(discs, title));
  std::vector<std::pair<std::string, std::string>> manifest;
  for (const InventoryDisc& d : discs) {
    WriteText(DiscPageName(d), DiscHtml(d));
    manifest.insert(manifest.end(), d.files.begin(), d.files.end());
    manifest.emplace_back(DiscPageName(d), Sha256OfFile(JoinPath(out_, DiscPageName(d))).hex);
  }
  for (const char* name : {"inventory.csv", "inventory.json", "index.html"}) {
    manifest.emplace_back(name, Sha256OfFile(JoinPath(out_, name)).hex);
  }
  WriteText("manifest-sha256.txt", ManifestText(manifest));

  int worst = kDone, best = kRefused;
  std::int64_t records = 0, pings = 0, lost = 0;
  for (const InventoryDisc& d : discs) {
    std::int64_t p = 0, l = 0;
    for (const InventoryRecord& r : d.records) p += r.pings, l += r.unitsLost;
    records += static_cast<std::int64_t>(d.records.size()), pings += p, lost += l;
    con_.out << d.image << " -> " << JoinPath(out_, d.folder) << ": " << d.health << ", " << d.records.size()
             << " records, " << p << " pings, " << l << " units lost\n";
    for (const std::string& m : d.messages) con_.Report({d.image, m});
    worst = std::max(worst, d.status);
    best = std::min(best, d.status);
  }
  con_.out << "total: " << discs.size() << " discs, " << records << " records, " << pings << " pings, " << lost
           << " units lost -> " << JoinPath(out_, "index.html") << '\n';
  if (writeFailed_) worst = std::max(worst, kPartly), best = std::min(best, kPartly);
  return worst == kDone ? kDone : best == kRefused && !discs.empty() && worst == kRefused ? kRefused : kPartly;
}

}  // namespace

int InventoryCommand(Console& con, const std::vector<std::string>& images, const std::string& outDir,
                     const InventoryOptions& options) {
  return Inventory(con, outDir, options).Run(images);
}

InventoryCommandLine::InventoryCommandLine(CLI::App& app, const char* footer) {
  command_ = app.add_subcommand(
      "inventory",
      "Read a box of discs: check and convert each, with tracks and echograms, into DIR/<image name>; "
      "DIR/inventory.csv, inventory.json, index.html and manifest-sha256.txt");
  command_->add_option("IMAGE", images_, "Disc images (or devices), each found with its mapfile beside it")->required();
  command_->add_option("--out", out_, "Folder for the inventory (created if missing)")->required();
  command_->add_flag("--resume", options_.resume,
                     "Go on from a stopped run: discs done whose image is unchanged (size and time) are not read again");
  command_->add_flag("--netcdf", options_.netcdf, "Also write each record as netCDF");
  command_->footer(footer);
}

std::optional<int> InventoryCommandLine::Run(Console& con) const {
  if (!*command_) return std::nullopt;
  return InventoryCommand(con, images_, out_, options_);
}

}  // namespace zep::cli
