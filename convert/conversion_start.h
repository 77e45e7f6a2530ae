#pragma once
// What both converters do before their first unit: check the slot, open the
// volume, create the output and write its zero file header. A failure is
// reported in the result, and nothing is left open or created.

#include <string>

#include "convert/convert.h"
#include "convert/record_writer.h"
#include "disc/unit_reader.h"

namespace zep {

struct ConversionStart {
  VolumeOpenResult opened;  // the volume closes when this goes
  RecordFileWriter out;
  DirectoryEntry entry;  // the record's, read under the converter's layout
};

// True when the conversion can go on: the volume is open, the output has its
// header, res has the record's unit count and the progress its range.
// Otherwise res holds status and problem.
bool StartConversion(const OutputTarget& output, const RecordDirectory& dir, int slot, SourceType type,
                     const VolumeOpener& open, const Progress& progress, ConvertResult& res, ConversionStart& start);

// The record's date as its directory entry holds it (BCD bytes): every
// PingHeader of a TK40 conversion carries it.
struct Tk40Date {
  std::uint8_t day = 0, month = 0, year = 0;
};

// The two converters past StartConversion: each reads the record's units
// and decides what they become. The TK40 one takes the blocks of any extent
// into any open writer, so that a run of blocks found without a directory
// (carving) is converted as a listed record is.
ConvertResult ConvertTk40Blocks(Volume& volume, const RecordExtent& ext, Tk40Date date, RecordFileWriter& out,
                                const Progress& progress, ConvertResult res, UnitObserver* observer = nullptr);
ConvertResult CopyZepSectors(ConversionStart& start, const Progress& progress, ConvertResult res,
                             UnitObserver* observer = nullptr);

// Closes the output and sets the result: WriteFailed (the file discarded) when
// the close fails, otherwise Done, or Incomplete unless whole. True when the
// file was written, so the caller gives an Incomplete result its problems.
bool FinishConversion(RecordFileWriter& out, ConvertResult& res, bool whole);

// "past the end of disc.img (1048576 bytes)": where units outside a volume
// of that name and size lie, for every message that counts them.
std::string PastEndOf(const std::string& volumeName, std::int64_t size);

// What the result says of units outside the volume, e.g. "40 of 50 blocks lie
// past the end of disc.img (1048576 bytes), no ping made" (kPastEnd); none when none.
std::optional<Problem> OutsideVolume(std::int64_t beforeStart, std::int64_t pastEnd, std::int64_t units, const char* one,
                          const char* many, const char* outcome, const Volume& volume);

}  // namespace zep
