// CopyZepRecord: a ZEP V1.X record already is ping records; its
// sectors, less the first two, are copied behind the 4096-byte file header.

#include <algorithm>
#include <cstring>

#include "convert/conversion_start.h"
#include "convert/convert.h"
#include "convert/record_file.h"
#include "disc/file.h"
#include "disc/unit_reader.h"

namespace zep {

ConvertResult CopyZepSectors(ConversionStart& start, const Progress& progress, ConvertResult res) {
  const RecordExtent& ext = start.entry.extent;
  Volume& volume = *start.opened.volume;
  RecordFileWriter& out = start.out;

  // A sector that does not read, or that the end of the volume cuts through,
  // is written as 2048 zero bytes: the later sectors keep their places in
  // the file and nothing of another sector is passed off as this one. Bytes
  // a cut sector did deliver are dropped too: a ping header among them would
  // make a walk take the zeros behind it for that ping's samples. (A hole
  // inside a ping's samples cannot be told apart by a walk; the count in the
  // result is what reports it.) Sectors outside the volume are neither read
  // nor written, so a garbage sectorCount cannot fill a disk with zeros.
  UnitReader reader(volume, ext);
  // Sectors that all lie inside an image file are the system's to copy, as
  // cp does: they need not pass through this program. Whatever it leaves is
  // read below.
  constexpr std::int64_t kCopyUnits = 4096;  // 8 MiB between progress steps
  for (std::int64_t n; (n = reader.CopyInto(out.output(), kCopyUnits)) > 0;) {
    if (progress.setPos) {
      for (std::int64_t i = reader.reached() - n; i < reader.reached(); ++i) progress.setPos(static_cast<std::int32_t>(i));
    }
  }
  while (!out.failed() && reader.Next()) {
    for (std::int64_t j = 0; j < reader.batchSize(); ++j) {
      if (reader.State(j) == UnitState::Cut) std::ranges::fill(reader.Unit(j), std::uint8_t{0});
    }
    if (!out.Write(reader.Bytes())) break;
    if (progress.setPos) {
      for (std::int64_t j = 0; j < reader.batchSize(); ++j) progress.setPos(static_cast<std::int32_t>(reader.batchFirst() + j));
    }
  }
  if (out.failed()) {
    res.reason = out.error();
    out.Discard();
    res.status = ConvertStatus::WriteFailed;
    return res;
  }
  const std::int64_t beforeStart = reader.beforeStart();
  res.failedUnits = reader.badUnits();
  res.beyondEndUnits = beforeStart + reader.pastEnd();
  if (res.beyondEndUnits > 0 && progress.setPos) progress.setPos(ext.count32 - 1);

  if (!FinishConversion(start.out, res, res.failedUnits == 0 && res.beyondEndUnits == 0)) return res;
  AddReason(res, OutsideVolumeText(beforeStart, res.beyondEndUnits - beforeStart, res.units, "sector", "sectors",
                                   "not copied", volume));
  if (res.failedUnits > 0) {
    AddReason(res, std::to_string(res.failedUnits) + " of " + std::to_string(res.units) +
                       (res.units == 1 ? " sector" : " sectors") +
                       " could not be read and were written as zeros (first: " + reader.firstError() + ")");
  }
  return res;
}

}  // namespace zep
