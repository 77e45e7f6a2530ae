#pragma once
// One read of a disc, front to back, that gives everything a box of discs
// needs: the image's bytes (for its hash), every listed record's conversion
// and health, the scan dump area's health and its carve. Records are
// converted in the order they lie on the disc, and what lies between them is
// read in large reads as the sweep passes, so that a drive is asked for each
// byte once: twice only where records overlap, and a bad unit once in a batch
// and once alone.

#include <cstdint>
#include <functional>
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

namespace zep {

struct SweptRecord {
  int slot = 0;
  RecordHealth health;       // exactly what CheckDisc gives for the slot
  ConvertResult conversion;  // as ConvertRecord gives it; not converted when target gave nothing
  std::string path;          // the record file, when conversion.Converted()
};

struct SweepOptions {
  // Where a listed record goes (with its OutputOptions, watch included);
  // nullopt: checked, not converted.
  std::function<std::optional<OutputTarget>(int slot)> target;
  // Every byte of the volume from 0 to its end, in order, each once (the
  // image's SHA-256). Bytes that did not read are not given: then
  // SweepResult::everyByte is false.
  std::function<void(std::span<const std::uint8_t>)> onVolumeBytes;
  // The volume as its file stores it: where a byte does not read (a ddrescue
  // mapfile's unrescued ones), onVolumeBytes is given it as it stands there,
  // so that the image's hash is sha256sum's. Null: such bytes are lost to it.
  Volume* asStored = nullptr;
  // Runs of ping records in the scan dump area that no conversion wrote are
  // carved into this folder (CarvedFileName names); empty: not carved.
  std::string dumpCarveDir;
  OutputOptions dumpCarveOutput;
  // How far the sweep has got on the volume, in bytes from its start.
  std::function<void(std::uint64_t bytesDone)> progress;
  // Polled between records and between the reads of what lies between them;
  // true ends the sweep early (SweepResult::cancelled).
  std::function<bool()> cancelled;
};

struct SweepResult {
  std::vector<SweptRecord> records;  // every listed record swept, in slot order
  AreaHealth dump;                   // as CheckDisc gives it
  CarveResult dumpCarve;             // the dump area's runs that no conversion wrote
  std::uint64_t bytesRead = 0;       // from the volume, all told
  bool everyByte = false;            // every byte of the volume was read whole (else no image hash)
  std::optional<Problem> firstUnreadable;  // kUnreadable; units: the sectors lost to the hash
  bool cancelled = false;
};

SweepResult SweepDisc(Volume& volume, const RecordDirectory& dir, SourceType type, const SweepOptions& options);

// For a disc whose directory is lost: the carve of the whole volume, in its
// one read, with the same every-byte-once callback (the hash) and asStored
// as SweepOptions has them.
CarveResult SweepCarve(Volume& volume, const CarveOptions& options,
                       const std::function<void(std::span<const std::uint8_t>)>& onVolumeBytes, bool& everyByte,
                       Volume* asStored = nullptr);

}  // namespace zep
