// CopyZepRecord: a ZEP V1.X record already is ping records; its
// sectors, less the first two, are copied behind the 4096-byte file header.

#include <algorithm>
#include <cstring>

#include "convert/conversion_start.h"
#include "convert/convert.h"
#include "convert/record_file.h"
#include "disc/aligned_buffer.h"
#include "disc/file.h"

namespace zep {
namespace {

// Sectors per volume read: 128 KiB, as for TK40 blocks.
constexpr std::int64_t kBatchSectors = 64;
constexpr std::size_t kSector = static_cast<std::size_t>(kZepSectorSize);

}  // namespace

ConvertResult CopyZepRecord(const OutputTarget& output, const RecordDirectory& dir, int slot,
                            const VolumeOpener& open, const Progress& progress) {
  ConvertResult res;
  ConversionStart start;
  if (!StartConversion(output, slot, open, res, start)) return res;
  const DirectoryEntry entry = ReadEntry(dir, slot, SourceType::ZepV1);
  Volume& volume = *start.opened.volume;
  OutputFile& out = start.out;

  const RecordExtent& ext = entry.extent;
  const std::int32_t count = ext.count32;
  res.units = ext.count();
  if (progress.setRange) progress.setRange(static_cast<std::uint16_t>(count & 0xFFFF));

  const std::int64_t firstSector = ext.firstUnit;
  AlignedBuffer batch(static_cast<std::size_t>(kBatchSectors) * kSector);
  // Sectors inside the batch buffer are only 2048-aligned; a read on its own
  // goes through a buffer of its own, aligned like every volume read.
  AlignedBuffer single(kSector);
  std::string firstFailure;

  const auto sectorsBeforeEnd = [&] { return ext.BeforeEnd(volume.Size()); };
  // Sectors outside the volume are neither read nor written: the copy ends
  // with the last sector the volume holds, so a garbage sectorCount cannot
  // fill a disk with zeros.
  const std::int64_t beforeStart = ext.BeforeStart();
  std::int64_t i = beforeStart;  // the next sector of the record
  for (std::int64_t inside = sectorsBeforeEnd(); i < inside; inside = sectorsBeforeEnd()) {
    const std::int64_t n = std::min<std::int64_t>(kBatchSectors, inside - i);
    const ReadResult r =
        volume.ReadAt(ZepSectorOffset(firstSector + i), batch.span().first(static_cast<std::size_t>(n) * kSector));
    const std::int64_t whole = r.ok() ? static_cast<std::int64_t>(r.bytes / kSector) : 0;

    for (const std::int64_t batchStart = i; i < batchStart + n; ++i) {
      std::uint8_t* sector = batch.data() + (i - batchStart) * kSector;
      if (i - batchStart >= whole) {
        if (i >= sectorsBeforeEnd()) break;  // the batch read has just met the end
        // Read again on its own, so one bad sector does not cost the batch.
        // A sector that still fails, or that the end of the volume cuts
        // through, is written as 2048 zero bytes: the later sectors keep their
        // places in the file and nothing of another sector is passed off as
        // this one. Bytes a short read did deliver are dropped too: a ping
        // header among them would make a walk take the zeros behind it for
        // that ping's samples. (A hole inside a ping's samples cannot be told
        // apart by a walk; the count in the result is what reports it.)
        const std::int64_t s = firstSector + i;
        const ReadResult rs = volume.ReadAt(ZepSectorOffset(s), single.span());
        if (rs.ok() && rs.bytes == kSector) {
          std::memcpy(sector, single.data(), kSector);
        } else {
          std::memset(sector, 0, kSector);
          if (res.failedUnits++ == 0) {
            firstFailure = !rs.ok()        ? rs.error
                           : rs.bytes == 0 ? "sector " + std::to_string(s) + " lies beyond the end of " + volume.Name()
                                           : "sector " + std::to_string(s) + " runs beyond the end of " + volume.Name();
          }
        }
      }
      out.Write({sector, kSector});
      if (out.failed()) {
        res.reason = out.error();
        out.Discard();
        res.status = ConvertStatus::WriteFailed;
        return res;
      }
      if (progress.setPos) progress.setPos(static_cast<std::int32_t>(i));
    }
  }
  res.beyondEndUnits = beforeStart + (count > i ? count - i : 0);
  if (res.beyondEndUnits > 0 && progress.setPos) progress.setPos(count - 1);

  if (!FinishConversion(start, res, res.failedUnits == 0 && res.beyondEndUnits == 0)) return res;
  AddReason(res, OutsideVolumeText(beforeStart, res.beyondEndUnits - beforeStart, res.units, "sector", "sectors",
                                   "not copied", volume));
  if (res.failedUnits > 0) {
    AddReason(res, std::to_string(res.failedUnits) + " of " + std::to_string(res.units) +
                       (res.units == 1 ? " sector" : " sectors") +
                       " could not be read and were written as zeros (first: " + firstFailure + ")");
  }
  return res;
}

}  // namespace zep
