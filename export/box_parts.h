#pragma once
// The inventory's parts, for its own files only: one disc read, the files
// it writes, and the read of a disc's volume behind one call.

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
#include "disc/directory.h"
#include "disc/file.h"
#include "disc/problem.h"
#include "disc/volume.h"
#include "export/box.h"
#include "export/box_watch.h"

namespace zep::box {

// One pass over a listed disc: its check, its records converted, the dump
// area's runs carved, its bytes hashed. Behind this one call, so that a
// sweep that reads each byte once replaces it alone.
struct SweptRecord {
  int slot = 0;
  RecordHealth health;
  ConvertResult conversion;
  std::string path;  // the record file, when conversion.Converted()
};
struct SweepOptions {
  std::function<std::optional<OutputTarget>(int slot)> target;
  std::function<void(std::span<const std::uint8_t>)> onVolumeBytes;
  std::string dumpCarveDir;
  OutputOptions dumpCarveOutput;
  std::function<void(std::uint64_t bytesDone)> progress;
  std::function<bool()> cancelled;
};
struct SweepResult {
  std::vector<SweptRecord> records;
  AreaHealth dump;
  CarveResult dumpCarve;
  std::uint64_t bytesRead = 0;
  bool everyByte = false;
  std::optional<Problem> firstUnreadable;
  bool cancelled = false;
};
SweepResult SweepDisc(Volume& volume, const VolumeOpener& open, const RecordDirectory& dir, SourceType type,
                      const SweepOptions& options);
// A disc without a directory: its runs carved, its bytes hashed.
CarveResult SweepCarve(Volume& volume, const CarveOptions& options,
                       const std::function<void(std::span<const std::uint8_t>)>& onVolumeBytes, bool& everyByte);

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

// What a disc read needs from the run.
struct DiscJob {
  std::string image;
  std::string outDir;  // the inventory folder
  std::string folder;  // the disc's, relative to it
  const BoxOptions* options = nullptr;
  std::function<void(std::uint64_t bytesDone)> progress;  // of this disc
  std::function<bool()> cancelled;
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
void FinishDisc(InventoryDisc& disc, const DiscJob& job, bool directoryLost, BoxWatch& watch);

}  // namespace zep::box
