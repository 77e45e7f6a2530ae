#pragma once
// Carving: finding a disc's records without its directory.
//   - ZEP V1.X: runs of ping records anywhere on the volume. A run starts only
//     where two ping records in a row pass checks that stray "VORL" bytes do
//     not (see IsPlausiblePing) and number themselves one after the other; it
//     ends at the first record that fails them, or that the end of the volume
//     or an unreadable sector cuts.
//   - TK40: runs of data blocks from block 0 on, each block told apart by its
//     trailer (see IsTk40DataBlock); a run ends at a block that is not one, at
//     an unreadable block, and where the GPS times stop running on. A run is
//     kept only when one of its texts is a position sentence with a time, and
//     it is converted as the TK40 conversion converts a listed record.
// Each run becomes a record file named by its byte offset. Pings a conversion
// writes (WrittenPings) are left out, so that a conversion and a carve of the
// same disc hold each ping once.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "disc/file.h"
#include "disc/problem.h"
#include "disc/record_extent.h"
#include "disc/volume.h"

namespace zep {

// "carved-000123456789.zep": twelve digits at least, so names sort by offset.
std::string CarvedFileName(std::uint64_t offset);
// Whether the file at path is named as CarvedFileName names a run.
bool IsCarvedFile(const std::string& path);

// Bytes [begin, end) of the volume.
struct ByteRange {
  std::uint64_t begin = 0, end = 0;
  bool operator==(const ByteRange&) const = default;
};

// Where on the volume lie the pings that a conversion of the record writes,
// sorted and merged: for ZEP V1.X the ping records a walk of the copy finds
// (what `info` would count in the file), read from the volume as the copy
// reads it; for TK40 the extent's blocks inside the volume. A damaged entry
// that claims more than its pings costs nothing here: only what the walk
// reaches counts.
std::vector<ByteRange> WrittenPings(Volume& volume, const RecordExtent& extent, SourceType type);
// The same from a ZEP V1.X record file just written, without reading the
// disc again: its walk, with the file's byte 4096 placed at origin (the
// extent's Offset(0)).
std::vector<ByteRange> WrittenPingsOfFile(const std::string& recordFile, std::uint64_t origin);
// Adds [begin, end), keeping the ranges sorted and merged.
void AddRange(std::vector<ByteRange>& ranges, ByteRange range);

struct CarveOptions {
  std::string outDir;
  OutputOptions output;  // for each file written
  // Pings that a conversion writes (sorted and merged, as WrittenPings gives
  // them): a ping record or TK40 block lying wholly inside one is left out.
  // Empty keeps everything (carve --all).
  std::vector<ByteRange> written;
  // Which runs to look for; nothing looks for both (a disc whose type
  // nothing tells).
  std::optional<SourceType> type = SourceType::ZepV1;
  std::function<void(std::uint64_t reached)> progress;
  // Where on the volume the search for ZEP V1.X runs begins, a multiple of
  // 2048: the scan dump area's first byte, to carve only from there on.
  std::uint64_t from = 0;
};

struct CarvedFile {
  std::string path;
  std::uint64_t offset = 0;  // of its first ping record (or block) on the volume
  std::uint64_t pings = 0;
  SourceType type = SourceType::ZepV1;  // a run of ping records, or of TK40 data blocks
};

struct CarveResult {
  std::vector<CarvedFile> files;      // written whole, by offset
  Problems failures;                  // "path: reason" for each file that could not be written (or was kept)
  std::uint64_t runs = 0;             // runs found, left-out ones included
  std::uint64_t pingsLeftOut = 0;     // written by a conversion
  std::uint64_t bytesRead = 0;
  std::int64_t unreadableSectors = 0;  // tried and not read
  std::optional<Problem> readProblem;  // the first unreadable sector's (kUnreadable)
  // Sectors a GNU ddrescue map marks never tried ('?'): not read either, but
  // not bad; a rescue that goes on may still read them.
  std::int64_t notTriedSectors = 0;
  std::optional<Problem> notTriedProblem;  // the first one's (kNotTried)
};

// What a carve could not read, for its messages: the sectors that did not
// read, and apart from them those never tried. Runs end at both.
Problems UnreadProblems(const CarveResult& result);

// Reads the volume front to back once, looking for both kinds of run where
// both are looked for; only a TK40 run that is long before its first dated
// fix has its blocks read a second time, to convert them.
CarveResult CarveRuns(Volume& volume, const CarveOptions& options);

// Whether a 4096-byte block is a TK40 data block by its trailer: a mode code
// with a ModeTable entry, no flag bits but those the recorder sets (0, 2, 3),
// samples that are not all one value (a zeroed or blank block), and, under
// flag bit 3, packed text that decodes to a GLL, GGA or RMC sentence whose
// checksum is not wrong.
bool IsTk40DataBlock(const std::uint8_t* block);

}  // namespace zep
