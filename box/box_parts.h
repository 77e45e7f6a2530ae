#pragma once
// The inventory's parts, for its own files only: one disc read and the
// files it writes.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "convert/carve.h"
#include "convert/convert.h"
#include "convert/disc_check.h"
#include "convert/disc_sweep.h"
#include "disc/directory.h"
#include "disc/file.h"
#include "disc/problem.h"
#include "disc/volume.h"
#include "box/box.h"
#include "box/box_watch.h"

namespace zep::box {

inline constexpr const char* kStateFile = kBoxStateFile;

// DIR/NAME; the last part of a path, after either separator.
inline std::string Join(const std::string& dir, const std::string& name) { return JoinPath(dir, name); }
std::string FileNameOf(const std::string& path);

// A small file of the box's own (its state, its manifest) whole; nothing
// when it does not open.
std::optional<std::string> ReadBoxFile(const std::string& path);

// The box already in dir: its discs by folder; none for a new box (said
// when expected), or for a state this zepconv does not know (said).
std::vector<InventoryDisc> EarlierRun(const std::string& dir, bool expected, Problems& problems);
// done, and the discs of before not among them (by folder), by folder.
std::vector<InventoryDisc> BoxDiscs(const std::vector<InventoryDisc>& done, const std::vector<InventoryDisc>& before);
// The table, the pages and the manifest of result's discs, into outDir.
void WriteBoxFiles(BoxResult& result, const std::string& outDir);

// "2026-12-08T04:45:05.123456789Z": a file's modification time as the file
// system keeps it; empty when the file is not there.
std::string ModificationTime(const std::string& path);
// Size and time, as --resume compares them.
struct FileStamp {
  bool exists = false;
  std::uint64_t size = 0;
  std::string mtime;
};
FileStamp StampOf(const std::string& path);

// path below base, with '/' between names.
std::string RelativeTo(const std::string& path, const std::string& base);

// Writes text as one file through the watch; the problem when it failed.
std::optional<Problem> WriteWatched(const std::string& path, std::string_view text, const std::shared_ptr<BoxWatch>& watch);

// Freed blocks of a MiB or more go back to the system at once, where the
// allocator would keep them: a box frees 20 MB per disc.
void LargeBlocksBackToTheSystem();

// What a disc read needs from the run.
struct DiscJob {
  std::string image;
  std::string outDir;  // the inventory folder
  std::string folder;  // the disc's, relative to it
  const BoxOptions* options = nullptr;
  std::function<void(std::uint64_t bytesDone)> progress;  // of this disc
  std::function<bool()> cancelled;
  std::shared_ptr<HashLane> lane;  // where the image and the files are hashed; none: on this thread
};

// The disc read, its files written; cancelled says whether it was dropped
// (its files then removed).
InventoryDisc ReadDisc(const DiscJob& job, bool& cancelled);

// A disc's records from what its read gave.
void RecordsOfSweep(InventoryDisc& disc, const DiscJob& job, const RecordDirectory& dir, SourceType type,
                    SweepResult& swept, const std::shared_ptr<BoxWatch>& watch);
void RecordsOfCarve(InventoryDisc& disc, const DiscJob& job, const CarveResult& carved,
                    const std::shared_ptr<BoxWatch>& watch);
// The disc's files (every one its read wrote) and its health.
void FinishDisc(InventoryDisc& disc, const DiscJob& job, BoxWatch& watch);

}  // namespace zep::box
