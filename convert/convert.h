#pragma once
// The two converters and the dump splitter: what turns disc data into ".ZEP"
// record files. Each opens the volume and creates its output itself and closes
// both before it returns, on every path.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "disc/directory.h"
#include "disc/file.h"
#include "disc/problem.h"
#include "disc/rescue_map.h"
#include "disc/volume.h"

namespace zep {

class UnitObserver;

// The progress bar protocol: setRange once with the low 16 bits of the unit
// count, then setPos with the index of each unit just done. Either may be empty.
struct Progress {
  std::function<void(std::uint16_t maximum)> setRange;
  std::function<void(std::int32_t position)> setPos;
};

enum class ConvertStatus {
  Done,           // every unit read and written
  Incomplete,     // the file is whole and walkable, but failedUnits units could not be read,
                  // beyondEndUnits lie outside the volume (or, TK40, skippedUnits blocks had
                  // a mode code without a mode)
  VolumeFailed,   // the volume could not be opened; no file was created
  OutputFailed,   // the output file could not be created
  WriteFailed,    // a write failed; the partial file was removed
};

struct ConvertResult {
  ConvertStatus status = ConvertStatus::VolumeFailed;
  // The conversion ran to the end of the record and the file is in place
  // (Done or Incomplete); not when it could not open the volume, create the
  // output or write it.
  bool Converted() const { return status == ConvertStatus::Done || status == ConvertStatus::Incomplete; }
  Problems problems;             // none when Done; the file, the disc or the record's units as subject
  // The kind of the whole: that of the first fault met, kOther when none was named.
  ProblemKind Kind() const { return problems.empty() ? ProblemKind::kOther : problems.front().kind; }
  std::int64_t units = 0;        // pings (TK40) or sectors (ZEP V1.X) in the record
  std::int64_t failedUnits = 0;  // units that could not be read
  // Of those, units a GNU ddrescue map marks never tried ('?'): not read,
  // but not bad either.
  std::int64_t notTriedUnits = 0;
  // ZEP V1.X only: a sector the end of the volume cuts through (0 or 1). Its
  // bytes are kept; the rest of it is marked unread.
  std::int64_t cutUnits = 0;
  // Units wholly outside the volume: past its end or, from a negative first
  // block or sector, before its start. None is read and nothing is written
  // for them (no ping, no zeros): a garbage count in the directory must not
  // make the file, or the time it takes, grow without bound.
  std::int64_t beyondEndUnits = 0;
  // TK40 only. Blocks read whole whose mode code (11 to 15) has no ModeTable
  // entry: like unreadable blocks they give no ping record.
  std::int64_t skippedUnits = 0;
  // TK40 only. Pings of mode code 9 (mode 2, which has no sample rule): written
  // with 1280 zero sample bytes.
  std::int64_t zeroFilledPings = 0;
  std::uint64_t bytesWritten = 0;
};

// The output takes its name only once it is whole (see OutputFile); with
// noClobber an existing file of that name is kept and the result is
// OutputFailed, before anything is read.
ConvertResult ConvertTk40Record(const OutputTarget& output, const RecordDirectory& dir, int slot,
                                const VolumeOpener& open, const Progress& progress = {});

ConvertResult CopyZepRecord(const OutputTarget& output, const RecordDirectory& dir, int slot,
                            const VolumeOpener& open, const Progress& progress = {});

// " (2 of them were never tried by GNU ddrescue)" when some of the failed units
// were never tried, for the messages that count failed units.
std::string NeverTriedPart(const ConvertResult& res);

// The converter of the source type: ConvertTk40Record or CopyZepRecord.
// observer, when given, is told every unit the conversion reads.
ConvertResult ConvertRecord(SourceType type, const OutputTarget& output, const RecordDirectory& dir, int slot,
                            const VolumeOpener& open, const Progress& progress = {},
                            UnitObserver* observer = nullptr);

struct SplitResult {
  bool dumpOpened = false;
  std::optional<Problem> dumpError;  // the dump could not be opened, or a read of it failed
  std::vector<std::string> files;       // every output file written whole, in order
  std::vector<std::uint64_t> filePings;  // the ping records in each of them
  std::vector<std::uint64_t> fileUnread;  // the bytes of each that were not read (its map names them)
  Problems failures;                    // "path: reason" for each output that could not be written
  int runs = 0;                         // runs found (the counter at the end)
  int droppedPartialPings = 0;          // ping records cut short by the end of the dump, left out
};

// Searches the dump for runs of ping records and writes each into a record file
// named by outputPattern with its last "%i" replaced by the run's number from 0.
// With noClobber a run whose file exists is not written, and the existing
// file is named among the failures. unread names the dump's bytes that were
// not read (the map zepconv dump writes beside a dump); none when null.
SplitResult SplitScanDump(const std::string& dumpPath, const OutputTarget& outputPattern,
                          std::shared_ptr<const RescueMap> unread = nullptr);

}  // namespace zep
