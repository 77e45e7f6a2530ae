// A disc's records in the inventory: each listed record (or carved run)
// with what its conversion and its check say, its track and thumbnail made
// from the pings its file was written with.

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "disc/iso_time.h"
#include "disc/record_names.h"
#include "box/box_parts.h"
#include "export/netcdf.h"
#include "export/text_output.h"
#include "export/viewer_data.h"

namespace zep::box {
namespace {

namespace fs = std::filesystem;

std::string FolderPath(const DiscJob& job) { return (fs::path(job.outDir) / fs::path(job.folder)).string(); }

void Thumbnail(InventoryDisc& disc, InventoryRecord& r, RecordPings& pings, const std::string& path,
               const DiscJob& job, const std::shared_ptr<BoxWatch>& watch) {
  if (pings.thumbnail->empty()) {
    disc.problems.push_back({path, "no pings to draw", 0, ProblemKind::kOther});
    return;
  }
  OutputOptions options;
  options.watch = watch;
  OutputFile file = OutputFile::Create(path, options);
  if (file.open() && pings.thumbnail->WritePng(file) && file.Close()) {
    r.echograms.push_back(RelativeTo(path, FolderPath(job)));
    std::tie(r.thumbWidth, r.thumbHeight) = pings.thumbnail->size();
  } else {
    disc.problems.push_back(file.failed() ? file.problem()
                                          : Problem{path, "the picture could not be made", 0, ProblemKind::kWriteFailed});
    file.Discard();
  }
}

// netCDF-C writes by the file's name: the one output read back, and hashed so.
// Where its module is missing, the disc says so once, not once a record.
void Netcdf(InventoryDisc& disc, const std::string& record, const std::string& path, BoxWatch& watch) {
  const auto missing = [](const Problem& p) { return p.kind == ProblemKind::kMissing; };
  if (std::any_of(disc.problems.begin(), disc.problems.end(), missing)) return;
  for (Problem& p : WriteNetcdfFile(record, path)) disc.problems.push_back(std::move(p));
  if (std::error_code ec; fs::is_regular_file(fs::path(path), ec)) watch.Hashed(path);
}

void Viewer(InventoryDisc& disc, InventoryRecord& r, const std::string& path, const std::string& stem,
            const DiscJob& job, const std::shared_ptr<BoxWatch>& watch) {
  ViewerRequest v{path, stem + "-viewer.html", stem + "-viewer", std::string("../") + kViewerAssets + "/", r.name,
                  box::FileNameOf(disc.image) + (disc.label.empty() ? "" : ", label " + disc.label), {}};
  v.output.watch = watch;
  v.ownThread = job.lane != nullptr;  // a second thread for the box: the viewer's data are made on it
  const Problems problems = WriteViewer(v);
  if (problems.empty()) r.viewer = RelativeTo(v.page, FolderPath(job));
  disc.problems.insert(disc.problems.end(), problems.begin(), problems.end());
}

std::string RecordSubject(const InventoryRecord& r) {
  return r.record ? zep::RecordSubject(*r.record, r.name) : r.name;
}

}  // namespace

namespace {

// The record file's outputs, from the pings it was written with.
void RecordOutputs(InventoryDisc& disc, InventoryRecord& r, const std::string& path, const DiscJob& job,
                   const std::shared_ptr<BoxWatch>& watch) {
  std::unique_ptr<RecordPings> pings = watch->TakePings(path);
  const WrittenFile* written = watch->Find(path);
  if (!pings || !written) return;
  r.output = RelativeTo(path, FolderPath(job));
  r.outputSha256 = written->sha256;
  r.pings = pings->track.pings;
  r.trackKm = pings->track.trackKm;
  r.firstFix = pings->track.firstFix;
  r.lastFix = pings->track.lastFix;
  r.shape = std::move(pings->track.shape);
  const std::string stem = RecordStem(path);
  if (auto p = WriteWatched(stem + ".geojson", pings->geojson, watch)) disc.problems.push_back(*p);
  else r.track = RelativeTo(stem + ".geojson", FolderPath(job));
  Thumbnail(disc, r, *pings, stem + "-echogram.png", job, watch);
  if (job.options->viewer) Viewer(disc, r, path, stem, job, watch);
  if (job.options->netcdf && HaveNetcdf()) Netcdf(disc, path, stem + ".nc", *watch);
  if (!pings->walk.Whole()) {
    // Written from this disc just now: its holes are units the disc did not give.
    disc.problems.push_back({RecordSubject(r), pings->walk.NotWholeText(), 0, ProblemKind::kUnreadable});
  }
}

}  // namespace

void RecordsOfSweep(InventoryDisc& disc, const DiscJob& job, const RecordDirectory& dir, SourceType type,
                    SweepResult& swept, const std::shared_ptr<BoxWatch>& watch) {
  for (const SweptRecord& s : swept.records) {
    const RecordHealth& h = s.health;
    InventoryRecord r;
    r.record = s.slot + 1;
    r.name = Latin1ToUtf8(RecordName(dir, s.slot, type));
    r.verdict = h.verdict;
    // The conversion, where there was one, read the units; the check read what it did not.
    r.unitsNeverTried = s.conversion.notTriedUnits + h.notTriedUnits;
    r.unitsLost = h.unreadableUnits - r.unitsNeverTried + h.noMode;
    r.unitsPastEnd = h.beyondEnd;
    r.pings = h.pings;  // the disc's, whether or not its file could be written
    const IsoTimes iso = IsoTimesOf(ReadEntry(dir, s.slot, type));
    r.date = iso.date.value_or("");
    r.start = iso.start.value_or("");
    r.end = iso.end.value_or("");
    if (s.conversion.Converted()) RecordOutputs(disc, r, s.path, job, watch);
    // Each named after its record, as convert names them.
    for (Problem p : s.conversion.problems) {
      if (p.subject.empty()) p.subject = RecordSubject(r);
      disc.problems.push_back(std::move(p));
    }
    disc.records.push_back(std::move(r));
  }
  RecordsOfCarve(disc, job, swept.dumpCarve, watch);
}

void RecordsOfCarve(InventoryDisc& disc, const DiscJob& job, const CarveResult& carved,
                    const std::shared_ptr<BoxWatch>& watch) {
  for (const CarvedFile& f : carved.files) {
    InventoryRecord r;
    r.name = fs::path(f.path).stem().string();
    r.verdict = std::nullopt;  // carved
    RecordOutputs(disc, r, f.path, job, watch);
    disc.records.push_back(std::move(r));
  }
  for (const Problem& p : carved.failures) disc.problems.push_back(p);
  for (const Problem& p : UnreadProblems(carved)) disc.problems.push_back(p);
}

void FinishDisc(InventoryDisc& disc, const DiscJob& job, BoxWatch& watch) {
  for (const WrittenFile& f : watch.TakeWritten()) {
    disc.files.push_back({RelativeTo(f.path, job.outDir), f.sha256, f.size, ModificationTime(f.path)});
  }
  std::sort(disc.files.begin(), disc.files.end());
  disc.health = HealthOf(disc);
}

}  // namespace zep::box
