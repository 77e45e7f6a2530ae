// The box: its discs in the order given, each read once and kept in the
// resume state as soon as it is done, then the box's table, pages and
// manifest, made from the values in memory and hashed as they are written.

#include "box/box.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>

#include "disc/ascii.h"
#include "disc/text_file.h"
#include "box/box_parts.h"
#include "export/viewer_data.h"
#include "export/netcdf.h"
#include "box/sha256.h"

namespace zep {
namespace {

namespace fs = std::filesystem;
using box::StampOf;

using box::FileNameOf;
using box::Join;
using box::kStateFile;

std::string Key(const std::string& path) {
  std::error_code ec;
  return fs::absolute(fs::path(path), ec).lexically_normal().generic_string();
}

// Each image once: one named twice is read once, into one folder.
std::vector<std::string> Distinct(const std::vector<std::string>& given, Problems& problems) {
  std::vector<std::string> images;
  for (const std::string& image : given) {
    if (std::none_of(images.begin(), images.end(), [&](const std::string& i) { return Key(i) == Key(image); })) {
      images.push_back(image);
    } else {
      problems.push_back({image, "given more than once; read once", 0, ProblemKind::kOther, Severity::kNote});
    }
  }
  return images;
}

// A disc is known in the box by its image's file name, case aside (as its
// folder is); images of one name by the order they come, as their folders.
std::string Identity(const std::string& image) { return AsciiLower(FileNameOf(image)); }

bool ByFolder(const InventoryDisc& a, const InventoryDisc& b) { return a.folder < b.folder; }

}  // namespace

std::string box::FileNameOf(const std::string& path) { return path.substr(path.find_last_of("/\\") + 1); }

std::optional<std::string> box::ReadBoxFile(const std::string& path) {
  InputFile in = InputFile::Open(path);
  if (!in.open()) return std::nullopt;
  std::string text;
  std::vector<std::uint8_t> buffer(1 << 16);
  for (ReadResult r; (r = in.Read(buffer)).ok() && r.bytes > 0;) text.append(buffer.begin(), buffer.begin() + r.bytes);
  return text;
}

// The box already in outDir: its discs by folder; none for a new box.
std::vector<InventoryDisc> box::EarlierRun(const std::string& outDir, bool resume, Problems& problems) {
  const std::string path = Join(outDir, kStateFile);
  const std::optional<std::string> text = box::ReadBoxFile(path);
  if (!text) {
    if (resume) problems.push_back({path, "no box to go on from; starting afresh", 0, ProblemKind::kOther, Severity::kNote});
    return {};
  }
  if (auto state = ParseState(*text)) {
    std::sort(state->begin(), state->end(), ByFolder);
    return std::move(*state);
  }
  problems.push_back({path, "is no state of a box that this zepconv knows; starting afresh", 0, ProblemKind::kOther, Severity::kNote});
  return {};
}

namespace {

constexpr std::size_t kNew = static_cast<std::size_t>(-1);

// Which disc of the box each image given is (kNew: none).
std::vector<std::size_t> Match(const std::vector<std::string>& images, const std::vector<InventoryDisc>& before) {
  std::vector<std::size_t> match(images.size(), kNew);
  std::vector<bool> used(before.size(), false);
  for (std::size_t i = 0; i < images.size(); ++i) {
    for (std::size_t j = 0; j < before.size() && match[i] == kNew; ++j) {
      if (used[j] || Identity(before[j].image) != Identity(images[i])) continue;
      match[i] = j;
      used[j] = true;
    }
  }
  return match;
}

// A disc of the box keeps its folder; new ones take free names. The box's
// own files are never a disc's folder, nor is a disc's page.
std::vector<std::string> Folders(const std::vector<std::string>& images, const std::vector<InventoryDisc>& before,
                                 const std::vector<std::size_t>& match) {
  std::vector<std::string> taken = {"index.html", "inventory.csv", "inventory.json", "manifest-sha256.txt", kStateFile,
                                      kViewerAssets},
                           folders(images.size());
  for (const InventoryDisc& d : before) {
    taken.push_back(d.folder);
    taken.push_back(d.folder + ".html");
  }
  for (std::size_t i = 0; i < images.size(); ++i) {
    if (match[i] != kNew) {
      folders[i] = before[match[i]].folder;
      continue;
    }
    folders[i] = DiscFolderName(images[i], taken);
    taken.push_back(folders[i] + ".html");
  }
  return folders;
}

// A disc of an earlier run is kept only when its image and every file it
// wrote still have the size and modification time they had then.
// Outputs asked for that the disc lacks (netCDF, asked for only now) are
// missing outputs too.
bool StillAsDone(const InventoryDisc& d, const std::string& image, const BoxOptions& options) {
  const std::string& outDir = options.outDir;
  const box::FileStamp now = StampOf(image);
  if (d.health == Health::kUnreadable || OutputStatus(d) == Outputs::kFailed || !now.exists || now.size != d.size || now.mtime != d.mtime) return false;
  const bool records = std::any_of(d.records.begin(), d.records.end(), [](const InventoryRecord& r) { return !r.output.empty(); });
  const bool netcdf = std::any_of(d.files.begin(), d.files.end(), [](const InventoryFile& f) { return f.path.ends_with(".nc"); });
  if (options.netcdf && HaveNetcdf() && records && !netcdf) return false;
  const bool viewer = std::any_of(d.records.begin(), d.records.end(), [](const InventoryRecord& r) { return !r.viewer.empty(); });
  if (options.viewer && records && !viewer) return false;
  return std::all_of(d.files.begin(), d.files.end(), [&](const InventoryFile& f) {
    const box::FileStamp s = StampOf(Join(outDir, f.path));
    return s.exists && s.size == f.size && s.mtime == f.mtime;
  });
}

// The box's progress: bytes of the discs read (a kept disc's at no cost)
// and the time left at the pace of those read so far.
class Pace {
 public:
  Pace(const BoxCallbacks& callbacks, std::size_t discs, std::uint64_t total)
      : callbacks_(callbacks), start_(std::chrono::steady_clock::now()) {
    now_.discs = discs;
    now_.bytesTotal = total;
  }
  void At(std::size_t disc, const std::string& image, std::uint64_t doneHere) {
    if (!callbacks_.progress) return;
    now_.disc = disc;
    now_.image = image;
    now_.bytesDone = before_ + doneHere;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    const std::uint64_t worked = worked_ + doneHere;
    now_.secondsLeft = worked > 0 && seconds > 1 && now_.bytesTotal > now_.bytesDone
                           ? seconds / static_cast<double>(worked) * static_cast<double>(now_.bytesTotal - now_.bytesDone)
                           : -1;
    callbacks_.progress(now_);
  }
  void Done(std::uint64_t bytes, bool worked) {
    before_ += bytes;
    if (worked) worked_ += bytes;
  }

 private:
  const BoxCallbacks& callbacks_;
  BoxProgress now_;
  std::uint64_t before_ = 0, worked_ = 0;
  std::chrono::steady_clock::time_point start_;
};

}  // namespace

// The box's discs: those of this run, and those of earlier runs that this
// one has not read (again), by folder.
std::vector<InventoryDisc> box::BoxDiscs(const std::vector<InventoryDisc>& done, const std::vector<InventoryDisc>& before) {
  std::vector<InventoryDisc> all = done;
  for (const InventoryDisc& d : before) {
    if (std::none_of(all.begin(), all.end(), [&](const InventoryDisc& s) { return s.folder == d.folder; }))
      all.push_back(d);
  }
  std::sort(all.begin(), all.end(), ByFolder);
  return all;
}

bool AnyViewer(const std::vector<InventoryDisc>& discs) {
  return std::any_of(discs.begin(), discs.end(), [](const InventoryDisc& d) {
    return std::any_of(d.records.begin(), d.records.end(), [](const InventoryRecord& r) { return !r.viewer.empty(); });
  });
}

// The table, the pages and the manifest: every file the discs wrote, and
// these, each hashed as it is written.
void box::WriteBoxFiles(BoxResult& result, const std::string& outDir) {
  auto watch = std::make_shared<BoxWatch>();
  const std::vector<InventoryDisc>& discs = result.discs;
  const std::string title = "Inventory of " + std::to_string(discs.size()) + (discs.size() == 1 ? " disc" : " discs");
  std::vector<std::pair<std::string, std::string>> files = {
      {"inventory.csv", InventoryCsv(discs)}, {"inventory.json", InventoryJson(discs)}};
  for (const InventoryDisc& d : discs) files.emplace_back(DiscPageName(d), DiscHtml(d));
  files.emplace_back("index.html", IndexHtml(discs, title));
  files.emplace_back(std::string(kViewerAssets) + "/index.js", IndexScript());
  if (AnyViewer(discs)) {
    files.emplace_back(std::string(kViewerAssets) + "/viewer.js", ViewerScript());
    files.emplace_back(std::string(kViewerAssets) + "/viewer.css", ViewerStyle());
  }
  std::error_code ec;
  fs::create_directories(fs::path(outDir) / kViewerAssets, ec);  // a failure is told by the writes
  TextFiles out({.watch = watch});
  for (const auto& [name, text] : files) out.Write(Join(outDir, name), text);
  out.PutInPlace();
  bool indexWritten = true;
  for (Problem p : out.problems()) {
    indexWritten = indexWritten && p.subject != Join(outDir, "index.html");
    p.kind = ProblemKind::kWriteFailed;  // the box made the names: no earlier file is kept
    result.problems.push_back(std::move(p));
  }
  std::vector<InventoryFile> manifest;
  for (const InventoryDisc& d : discs) manifest.insert(manifest.end(), d.files.begin(), d.files.end());
  for (const WrittenFile& f : watch->TakeWritten()) manifest.push_back({box::RelativeTo(f.path, outDir), f.sha256, f.size, ""});
  if (auto p = box::WriteWatched(Join(outDir, "manifest-sha256.txt"), ManifestText(manifest), watch)) {
    result.problems.push_back(*p);
  }
  if (indexWritten) result.indexPath = Join(outDir, "index.html");
}

namespace {

// The discs given, each kept as the box holds it or read; a cancel drops
// the disc under way, and gives true.
bool ReadGiven(BoxResult& result, const BoxOptions& options, const BoxCallbacks& callbacks,
               const std::vector<std::string>& images, const std::vector<InventoryDisc>& before) {
  const std::vector<std::size_t> match = Match(images, before);
  const std::vector<std::string> folders = Folders(images, before, match);
  std::uint64_t total = 0;
  for (const std::string& image : images) total += StampOf(image).size;
  Pace pace(callbacks, images.size(), total);
  const auto cancelled = [&] { return callbacks.cancelled && callbacks.cancelled(); };
  const int jobs = options.jobs > 0 ? options.jobs : DefaultJobs();
  const std::shared_ptr<HashLane> lane = jobs > 1 ? std::make_shared<HashLane>() : nullptr;
  bool interrupted = false;
  for (std::size_t i = 0; i < images.size() && !interrupted; ++i) {
    const InventoryDisc* earlier = match[i] == kNew ? nullptr : &before[match[i]];
    if (earlier && !options.reread && StillAsDone(*earlier, images[i], options)) {
      result.discs.push_back(*earlier);
      result.discs.back().image = images[i];
      result.discs.back().asBefore = true;
      pace.Done(earlier->size, false);
    } else {
      box::DiscJob job{images[i], options.outDir, folders[i], &options,
                       [&](std::uint64_t done) { pace.At(i, images[i], done); }, cancelled, lane};
      InventoryDisc disc = box::ReadDisc(job, interrupted);
      interrupted = interrupted || cancelled();
      if (interrupted) break;
      result.discs.push_back(std::move(disc));
      pace.Done(result.discs.back().size, true);
      if (auto p = box::WriteWatched(Join(options.outDir, kStateFile), StateJson(box::BoxDiscs(result.discs, before)), nullptr)) {
        result.problems.push_back(*p);
      }
    }
    if (callbacks.discDone) callbacks.discDone(result.discs.back());
  }
  return interrupted;
}

// A disc of the box not given this time stays, as it was; a file made of
// it that is gone or changed since is named (its image given again mends it).
void SayChanged(BoxResult& result, const std::vector<InventoryDisc>& before, const std::string& outDir) {
  for (const InventoryDisc& d : before) {
    if (std::any_of(result.discs.begin(), result.discs.end(), [&](const InventoryDisc& r) { return r.folder == d.folder; }))
      continue;
    for (const InventoryFile& f : d.files) {
      const box::FileStamp s = StampOf(Join(outDir, f.path));
      if (s.exists && s.size == f.size && s.mtime == f.mtime) continue;
      result.problems.push_back({FileNameOf(d.image), "kept in the box, but " + f.path + (s.exists ? " changed" : " is gone") +
                                                          " since it was made; give its image again to read it again",
                                 0, ProblemKind::kOther, Severity::kNote});
      break;
    }
  }
}

}  // namespace

BoxResult MakeInventory(const BoxOptions& options, const BoxCallbacks& callbacks) {
  BoxResult result;
  if (std::optional<Problem> refused = MakeFolder(options.outDir)) {
    result.problems.push_back(std::move(*refused));
    return result;
  }
  // A folder that takes no file is refused before any disc is read.
  if (OutputFile probe = OutputFile::Create(Join(options.outDir, kStateFile)); !probe.open()) {
    result.problems.push_back(probe.problem());
    return result;
  } else {
    probe.Discard();
  }
  box::LargeBlocksBackToTheSystem();
  const std::vector<std::string> images = Distinct(options.images, result.problems);
  const std::vector<InventoryDisc> before = box::EarlierRun(options.outDir, options.resume, result.problems);
  if (ReadGiven(result, options, callbacks, images, before)) {
    result.problems.push_back({"", "interrupted; the discs done are kept for the next run", 0, ProblemKind::kInterrupted});
    return result;
  }
  SayChanged(result, before, options.outDir);
  result.discs = box::BoxDiscs(result.discs, before);
  box::WriteBoxFiles(result, options.outDir);
  return result;
}

}  // namespace zep
