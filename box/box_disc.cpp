// One disc of the box: opened with the mapfile beside it, its type weighed,
// read once (or carved where its directory is lost), every file it gives
// written and hashed as it is written.

#include <algorithm>
#include <filesystem>

#include "operations/source.h"
#include "disc/iso_time.h"
#include "disc/record_names.h"
#include "disc/scan.h"
#include "disc/text_file.h"
#include "box/box_parts.h"
#include "export/check_report.h"
#include "box/sha256.h"
#include "export/text_output.h"

namespace zep::box {
namespace {

namespace fs = std::filesystem;

void Unreadable(InventoryDisc& disc, Problem problem) {
  disc.health = Health::kUnreadable;
  disc.problems.push_back(std::move(problem));
}

// Opened as every face opens a disc, with the mapfile beside it.
std::optional<DiscSource> Open(InventoryDisc& disc) {
  SourceOpen opened = OpenSource(disc.image, {});
  disc.mapfile = opened.mapfile;
  if (!opened.disc) Unreadable(disc, std::move(*opened.problem));
  return std::move(opened.disc);
}

// The image as sha256sum sees it, where the sweep could not hash it: an
// image it did not read whole, or one refused as a disc.
void HashImageFile(InventoryDisc& disc) {
  if (std::error_code ec; fs::is_regular_file(fs::path(disc.image), ec)) disc.sha256 = Sha256OfFile(disc.image).hex;
}

struct Weighed {
  RecordDirectory dir{};
  std::optional<Problem> directoryProblem;
  TypeEvidence evidence;
  SourceType type = SourceType::Tk40;
  bool lost = false;  // no directory to go by: the disc is carved
};

Weighed Weigh(DiscSource& source, const BoxOptions& options) {
  Weighed w;
  w.directoryProblem = ReadRecordDirectory(*source.volume, w.dir);
  // A box reads every disc as the type it is given, whatever the evidence says.
  const SettledType settled =
      SettleType(source.source, WeighDisc(source.opener, w.dir), {options.type, false, !w.directoryProblem, true});
  w.evidence = settled.evidence;
  w.type = settled.type;
  const DiscKind kind = w.evidence.kind;
  bool listed = false;
  for (int slot = 0; slot < kSlotCount; ++slot) listed = listed || IsRecordSlot(w.dir, slot);
  w.lost = w.directoryProblem || !listed ||
           (!options.type && (kind == DiscKind::Blank || kind == DiscKind::Unknown));
  return w;
}

// The type of the most pings carved; a given type counts all of them.
std::optional<SourceType> TypeOfRuns(const std::vector<CarvedFile>& files, std::optional<SourceType> given) {
  std::uint64_t tk40 = 0, zep = 0;
  for (const CarvedFile& f : files) {
    const bool dumpArea = f.offset >= static_cast<std::uint64_t>(kDumpOffset);
    if ((given ? *given : f.type) == SourceType::Tk40) tk40 += f.pings;
    else zep += f.pings;
    if (!given && f.type == SourceType::ZepV1 && dumpArea) tk40 += f.pings;
  }
  if (tk40 == zep) return std::nullopt;
  return tk40 > zep ? SourceType::Tk40 : SourceType::ZepV1;
}

// Both types' runs looked for in one read when no type is given, so that a
// disc without its directory takes its type from the runs found: the type of
// the most pings, the scan dump area's ping records counting for both (a
// TK40 disc holds them there too). The image is hashed in the same read.
void Carve(InventoryDisc& disc, const DiscJob& job, DiscSource& source, const std::shared_ptr<BoxWatch>& watch) {
  const std::optional<SourceType> given = job.options->type;
  CarveOptions carve;
  carve.outDir = JoinPath(job.outDir, job.folder);
  carve.output.watch = watch;
  carve.type = given;
  carve.progress = job.progress;
  Sha256 hash(job.lane);
  // Unrescued bytes are hashed as the image holds them, read from it alone.
  VolumeOpenResult stored = source.mapfile.empty() ? VolumeOpenResult{} : OpenDiscVolume(source.path);
  bool everyByte = false;
  const CarveResult all = SweepCarve(*source.volume, carve, [&](auto bytes) { hash.Update(bytes); }, everyByte,
                                     stored.volume.get());
  if (everyByte) disc.sha256 = hash.HexDigest();
  if (const auto type = TypeOfRuns(all.files, given)) disc.type = SourceTypeName(*type);
  RecordsOfCarve(disc, job, all, watch);
}

// Why a disc is carved, named in the box and on stderr.
Problem NoDirectory(const Weighed& w, bool carvedNothing) {
  const std::string why = w.directoryProblem ? w.directoryProblem->Text() : w.evidence.Describe();
  return {"", why + (carvedNothing ? "; no run of pings found to carve" : "; its runs of pings carved instead"), 0,
          ProblemKind::kNoDirectory};
}

// The listed records converted and checked, the dump area's runs carved;
// whether the run was cancelled meanwhile.
bool Sweep(InventoryDisc& disc, const DiscJob& job, DiscSource& source, const Weighed& w,
           const std::shared_ptr<BoxWatch>& watch, DiscHealth& health) {
  const std::string folderPath = JoinPath(job.outDir, job.folder);
  SweepOptions sweep;
  RunFileNames names;
  sweep.target = [&](int slot) -> std::optional<OutputTarget> {
    const std::string path = JoinPath(folderPath, names.Next(RecordName(w.dir, slot, w.type), slot + 1));
    watch->ExpectRecord(path, RelativeTo(path, job.outDir));
    OutputOptions output;
    output.watch = watch;
    return OutputTarget(path, output);
  };
  Sha256 hash(job.lane);
  sweep.onVolumeBytes = [&](std::span<const std::uint8_t> bytes) { hash.Update(bytes); };
  // Unrescued bytes are hashed as the image holds them, read from it alone.
  VolumeOpenResult stored = source.mapfile.empty() ? VolumeOpenResult{} : OpenDiscVolume(source.path);
  sweep.asStored = stored.volume.get();
  sweep.dumpCarveDir = folderPath;
  sweep.dumpCarveOutput.watch = watch;
  sweep.progress = job.progress;
  sweep.cancelled = job.cancelled;
  SweepResult swept = SweepDisc(*source.volume, w.dir, w.type, sweep);
  if (swept.everyByte) disc.sha256 = hash.HexDigest();
  for (const SweptRecord& s : swept.records) health.records.push_back(s.health);
  health.dump = swept.dump;
  RecordsOfSweep(disc, job, w.dir, w.type, swept, watch);
  return swept.cancelled;
}

// Each whole path `from` in text (at its start, or after a space or a
// parenthesis) becomes `to`.
void Swap(std::string& text, const std::string& from, const std::string& to) {
  if (from.empty() || from == to) return;
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at)) {
    if (at > 0 && text[at - 1] != ' ' && text[at - 1] != '(') {
      at += from.size();
      continue;
    }
    text.replace(at, from.size(), to);
    at += to.size();
  }
}

// The disc's problems as the box tells them wherever it was read from: the
// image and its mapfile by their own names, the box's files relative to it.
void InBoxTerms(InventoryDisc& disc, const DiscJob& job) {
  std::vector<std::pair<std::string, std::string>> swaps = {{job.outDir + "/", ""}, {job.outDir + "\\", ""}};
  for (const std::string& path : {job.image, disc.mapfile}) {
    if (FileNameOf(path) != path) swaps.emplace_back(path, FileNameOf(path));
  }
  for (Problem& p : disc.problems) {
    for (const auto& [from, to] : swaps) Swap(p.subject, from, to), Swap(p.what, from, to);
  }
}

}  // namespace

InventoryDisc ReadDisc(const DiscJob& job, bool& cancelled) {
  InventoryDisc disc;
  disc.image = job.image;
  disc.folder = job.folder;
  const FileStamp stamp = StampOf(job.image);
  disc.size = stamp.size;
  disc.mtime = stamp.mtime;
  std::optional<DiscSource> source = Open(disc);
  if (!source) {
    HashImageFile(disc);
    InBoxTerms(disc, job);
    return disc;
  }
  const std::string folderPath = JoinPath(job.outDir, job.folder);
  if (std::optional<Problem> refused = MakeFolder(folderPath)) {
    disc.health = Health::kNotRead;
    disc.problems.push_back(std::move(*refused));
    InBoxTerms(disc, job);
    return disc;
  }
  Weighed w = Weigh(*source, *job.options);
  // Carved runs are record files too, named only as they are found.
  auto watch = std::make_shared<BoxWatch>([&](const std::string& path) -> std::optional<std::string> {
    if (!IsCarvedFile(path)) return {};
    return RelativeTo(path, job.outDir);
  }, job.lane);
  disc.checkReport = "check.json";
  if (!w.lost) {
    disc.type = SourceTypeName(w.type);
    if (HasLabel(w.dir)) disc.label = Latin1ToUtf8(RecordName(w.dir, kLabelSlot, w.type));
  }
  CheckReport report{FileNameOf(job.image), w.type, w.evidence, w.dir, w.directoryProblem, {}};
  if (w.lost) {
    Carve(disc, job, *source, watch);
    disc.problems.insert(disc.problems.begin(), NoDirectory(w, disc.records.empty()));
  } else cancelled = Sweep(disc, job, *source, w, watch, report.health);
  if (auto p = WriteWatched(JoinPath(folderPath, disc.checkReport), CheckReportJson(report), watch)) disc.problems.push_back(*p);
  FinishDisc(disc, job, *watch);
  // Bytes the carve could not read (a mapfile's unrescued ones) are still
  // the image's: sha256sum hashes them, and so does the one read of them here.
  // The sweep was given them as stored, so what it could not read the image
  // cannot give either: read again, a failing drive would only be asked again.
  if (disc.sha256.empty() && w.lost) HashImageFile(disc);
  InBoxTerms(disc, job);
  return disc;
}

}  // namespace zep::box
