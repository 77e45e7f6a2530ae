#pragma once
// The disc scan: checks the medium, reads the record directory and writes the
// scan dump. It shows nothing itself: the shells (the Windows program,
// zepconv) word and list what it returns.

#include <optional>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "disc/directory.h"
#include "disc/file.h"
#include "disc/problem.h"
#include "disc/volume.h"

namespace zep {

// The scan dump: 5056 pieces of 4096 bytes from byte 39725056.
inline constexpr std::int64_t kDumpOffset = 39725056;
inline constexpr int kDumpPieces = 5056;
inline constexpr std::int64_t kDumpPieceSize = 4096;
inline constexpr std::int64_t kDumpSize = kDumpPieces * kDumpPieceSize;

struct DumpReport {
  bool attempted = false;
  bool created = false;       // the file could be created: writing began
  bool written = false;       // the dump file holds all 5056 pieces of this disc
  int unreadablePieces = 0;   // pieces written as zeros (or zero-padded) because the read failed
  std::string mapfile;        // the map beside the dump that names their bytes; empty when there is none
  std::optional<Problem> problem;  // why the dump could not be written; none when written
};

// Copies the dump area of an open volume to path. Unreadable pieces are written
// as zeros so the dump always has its 5056 pieces. If the file cannot be
// created or written, nothing is left under that name: an earlier disc's dump
// must never be split as if it came from this one. It is the Windows
// program's one file: no map is written beside it.
DumpReport WriteScanDump(Volume& volume, const std::string& path);

// The same into a file the user names, who decides what it is split as: a
// failure leaves an earlier file of that name as it was. The zeros that stand
// for unread bytes are named by a GNU ddrescue mapfile beside it
// (disc/unread_bytes.h: DUMP.map), for the split to honour; a dump read whole
// has none.
DumpReport WriteDumpFile(Volume& volume, const std::string& path, const OutputOptions& options = {});

// Reads the record directory from byte 0 into dir, replacing it whole. Bytes
// the read could not deliver are zeros, not the previous disc's entries:
// listing another disc's records under this disc would convert the wrong
// data. The problem says why it was not read whole.
std::optional<Problem> ReadRecordDirectory(Volume& volume, RecordDirectory& dir);

enum class ScanOutcome { DiscRead, NoDisk, NotMoDisc, NotADisc };

struct ScanResult {
  ScanOutcome outcome = ScanOutcome::NoDisk;
  // Why no disc was read: the system's reason when the volume did not open
  // (NoDisk), the check's when it refused the disc (NotADisc); none for an
  // MO disc read and for a medium that is not one (NotMoDisc).
  std::optional<Problem> problem;
  std::optional<Problem> directoryProblem;  // the directory was not read whole (missing bytes are zeros)
  DumpReport dump;
};

// Looks at the directory just read, before anything is replaced or written;
// the volume is still open for further reads. Gives the reason the volume
// holds no disc, or nothing to go on.
using DirectoryCheck = std::function<std::optional<Problem>(Volume& volume, const RecordDirectory& read)>;

// Scans the disc that open gives. On success the directory is replaced whole;
// otherwise it is left as it was. An empty dumpPath skips the dump. A check
// that refuses the disc ends the scan like a volume that cannot be opened,
// with its reason as the problem.
ScanResult ScanDisc(const VolumeOpener& open, RecordDirectory& directory, const std::string& dumpPath,
                    const DirectoryCheck& check = {});

// The same for a disc image file: a file has no medium to check.
ScanResult ScanDiscImage(const VolumeOpener& open, RecordDirectory& directory,
                         const std::string& dumpPath, const DirectoryCheck& check = {});

}  // namespace zep
