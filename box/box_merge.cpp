// Boxes made on several machines, one drive each, merged into one: the
// files of each disc copied and their hashes checked against the manifest
// of the box they come from; no image is read again. And a disc taken out
// of a box, said.

#include <algorithm>
#include <filesystem>
#include <map>

#include "disc/ascii.h"
#include "disc/text_file.h"
#include "box/box.h"
#include "box/box_parts.h"

namespace zep {
namespace {

namespace fs = std::filesystem;

using box::FileNameOf;
using box::Join;

std::string NoneIfEmpty(const std::string& s) { return s.empty() ? "none" : s; }

// The files (relative to outDir), then every folder of the disc they leave
// empty, deepest first (a viewer's data sit a folder below the disc's).
void RemoveDiscFiles(const std::string& outDir, const std::vector<std::string>& files, const std::string& folder) {
  std::error_code ec;
  std::vector<fs::path> folders;
  for (const std::string& f : files) {
    fs::remove(fs::path(Join(outDir, f)), ec);
    for (fs::path p = fs::path(f).parent_path(); !p.empty(); p = p.parent_path()) folders.push_back(p);
  }
  std::sort(folders.begin(), folders.end(), [](const fs::path& a, const fs::path& b) { return a.native().size() > b.native().size(); });
  for (const fs::path& p : folders) fs::remove(fs::path(outDir) / p, ec);  // only when nothing else is in it
  fs::remove(fs::path(Join(outDir, folder)), ec);
}

// "HEX  PATH" lines, by path.
std::map<std::string, std::string> Manifest(const std::string& dir) {
  const std::string text = box::ReadBoxFile(Join(dir, "manifest-sha256.txt")).value_or("");
  std::map<std::string, std::string> hashes;
  for (std::size_t at = 0, end; at < text.size(); at = end + 1) {
    end = std::min(text.find('\n', at), text.size());
    const std::string line = text.substr(at, end - at);
    if (line.size() > 66 && line.compare(64, 2, "  ") == 0) hashes[line.substr(66)] = line.substr(0, 64);
  }
  return hashes;
}

// One file copied through the watch, which hashes it as it is written.
std::optional<Problem> Copy(const std::string& from, const std::string& to, const std::shared_ptr<BoxWatch>& watch) {
  InputFile in = InputFile::Open(from);
  if (!in.open()) return in.problem();
  std::error_code ec;
  fs::create_directories(fs::path(to).parent_path(), ec);
  OutputOptions options;
  options.watch = watch;
  OutputFile out = OutputFile::Create(to, options);
  std::vector<std::uint8_t> buffer(1 << 20);
  ReadResult r;
  while (out.open() && (r = in.Read(buffer)).ok() && r.bytes > 0) out.Write({buffer.data(), r.bytes});
  if (!r.ok()) return Problem{from, r.problem->what, 0, ProblemKind::kUnreadable};
  if (out.open() && out.Close()) return std::nullopt;
  Problem p = out.problem();
  out.Discard();
  return p;
}

struct Merging {
  std::string other, outDir;
  std::map<std::string, std::string> manifest;  // other's
  std::vector<std::string> taken;               // folder names in the box
};

// A disc's files into folder, each as other's manifest says it is; the
// problem (and nothing left of the disc) when one is not.
std::optional<Problem> CopyDisc(InventoryDisc& d, const std::string& folder, const Merging& m) {
  auto watch = std::make_shared<BoxWatch>();
  std::vector<InventoryFile> copied;
  std::optional<Problem> problem;
  for (const InventoryFile& f : d.files) {
    const std::string rest = f.path.substr(std::min(f.path.size(), d.folder.size()));
    const std::string to = Join(m.outDir, folder + rest);
    const auto listed = m.manifest.find(f.path);
    if (listed == m.manifest.end() || listed->second != f.sha256 || !f.path.starts_with(d.folder + "/")) {
      problem = Problem{Join(m.other, f.path), "not in its box's manifest as its state says; the disc is not merged",
                        0, ProblemKind::kUnreadable};
    } else if (!(problem = Copy(Join(m.other, f.path), to, watch))) {
      const WrittenFile* w = watch->Find(to);
      copied.push_back({folder + rest, w ? w->sha256 : "", w ? w->size : 0, box::ModificationTime(to)});
      if (!w || w->sha256 != f.sha256) {
        problem = Problem{Join(m.other, f.path), "does not hold what its box's manifest says; the disc is not merged",
                          0, ProblemKind::kUnreadable};
      }
    }
    if (problem) break;
  }
  if (problem) {
    std::vector<std::string> paths;
    for (const InventoryFile& f : copied) paths.push_back(f.path);
    RemoveDiscFiles(m.outDir, paths, folder);
    return problem;
  }
  d.files = std::move(copied);
  d.folder = folder;
  return std::nullopt;
}

// Whether their disc is one the box holds already: kept once, or a conflict.
bool InBoth(const InventoryDisc& theirs, const std::vector<InventoryDisc>& ours, Problems& problems) {
  const auto same = std::find_if(ours.begin(), ours.end(), [&](const InventoryDisc& d) {
    return AsciiLower(FileNameOf(d.image)) == AsciiLower(FileNameOf(theirs.image));
  });
  if (same == ours.end()) return false;
  const std::string image = FileNameOf(theirs.image);
  if (!same->sha256.empty() && same->sha256 == theirs.sha256) {
    problems.push_back({image, "in both boxes, the same image; kept once", 0, ProblemKind::kOther, Severity::kNote});
  } else {
    problems.push_back({image, "in both boxes, but not the same image (SHA-256 " + NoneIfEmpty(same->sha256) +
                                   " here, " + NoneIfEmpty(theirs.sha256) + " in the other): this box's is kept",
                        0, ProblemKind::kKeptExisting});
  }
  return true;
}

}  // namespace

BoxResult MergeInventory(const std::string& other, const std::string& outDir, const BoxCallbacks& callbacks) {
  BoxResult result;
  std::vector<InventoryDisc> theirs = box::EarlierRun(other, false, result.problems);  // said below when none
  if (theirs.empty()) {
    result.problems.push_back({other, "holds no box to merge", 0, ProblemKind::kUsage});
    return result;
  }
  if (std::optional<Problem> refused = MakeFolder(outDir)) {
    result.problems.push_back(std::move(*refused));
    return result;
  }
  std::vector<InventoryDisc> ours = box::EarlierRun(outDir, false, result.problems);
  Merging m{other, outDir, Manifest(other), {"index.html", "inventory.csv", "inventory.json", "manifest-sha256.txt", box::kStateFile,
                                                     kViewerAssets}};
  for (const InventoryDisc& d : ours) m.taken.insert(m.taken.end(), {d.folder, d.folder + ".html"});
  for (InventoryDisc& d : theirs) {
    if (InBoth(d, ours, result.problems)) continue;
    std::vector<std::string> taken = m.taken;
    const std::string folder = DiscFolderName(d.folder + ".img", taken);
    if (auto p = CopyDisc(d, folder, m)) {
      result.problems.push_back(*p);
      continue;
    }
    m.taken.insert(m.taken.end(), {folder, folder + ".html"});
    ours.push_back(d);
    if (auto p = box::WriteWatched(Join(outDir, box::kStateFile), StateJson(box::BoxDiscs(ours, {})), nullptr)) {
      result.problems.push_back(*p);
    }
    if (callbacks.discDone) callbacks.discDone(d);
  }
  result.discs = box::BoxDiscs(ours, {});
  box::WriteBoxFiles(result, outDir);
  return result;
}

BoxResult DropFromInventory(const std::vector<std::string>& images, const std::string& outDir) {
  BoxResult result;
  std::vector<InventoryDisc> discs = box::EarlierRun(outDir, true, result.problems);
  for (const std::string& image : images) {
    const auto d = std::find_if(discs.begin(), discs.end(), [&](const InventoryDisc& x) {
      return AsciiLower(FileNameOf(x.image)) == AsciiLower(FileNameOf(image));
    });
    if (d == discs.end()) {
      result.problems.push_back({FileNameOf(image), "no disc of this image in the box", 0, ProblemKind::kUsage});
      continue;
    }
    std::vector<std::string> paths{DiscPageName(*d)};
    for (const InventoryFile& f : d->files) paths.push_back(f.path);
    RemoveDiscFiles(outDir, paths, d->folder);
    result.problems.push_back({FileNameOf(d->image), "dropped from the box, with its folder " + d->folder, 0, ProblemKind::kOther, Severity::kNote});
    discs.erase(d);
  }
  if (auto p = box::WriteWatched(Join(outDir, box::kStateFile), StateJson(discs), nullptr)) result.problems.push_back(*p);
  result.discs = std::move(discs);
  box::WriteBoxFiles(result, outDir);
  return result;
}

}  // namespace zep
