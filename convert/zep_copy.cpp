// CopyZepRecord: a ZEP V1.X record already is ping records; its
// sectors, less the first two, are copied behind the 4096-byte file header.

#include <algorithm>
#include <cstring>

#include "convert/conversion_start.h"
#include "convert/convert.h"
#include "convert/record_file.h"
#include "disc/file.h"
#include "convert/record_writer.h"
#include "disc/unit_reader.h"

namespace zep {
namespace {

// One batch into the file: runs of good sectors as they are, the bytes of a
// bad one as unread. cutUnit and cutKept name a sector the end cut through.
bool WriteBatch(UnitReader& reader, RecordFileWriter& out, std::int64_t& cutUnit, std::size_t& cutKept) {
  const auto unit = static_cast<std::size_t>(reader.extent().unitSize);
  const auto bytes = reader.Bytes();
  std::int64_t run = 0;  // the first sector of the good run being gathered
  const auto flush = [&](std::int64_t end) {
    const bool ok = end == run || out.Write(bytes.subspan(static_cast<std::size_t>(run) * unit,
                                                          static_cast<std::size_t>(end - run) * unit));
    run = end + 1;
    return ok;
  };
  for (std::int64_t j = 0; j < reader.batchSize(); ++j) {
    if (reader.State(j) == UnitState::Good) continue;
    const std::size_t kept = reader.State(j) == UnitState::Cut ? reader.Delivered(j) : 0;
    if (!flush(j) || !out.Write(reader.Unit(j).first(kept)) || !out.WriteUnread(unit - kept)) return false;
    if (reader.State(j) == UnitState::Cut) {
      cutUnit = reader.extent().Unit(reader.batchFirst() + j);
      cutKept = kept;
    }
  }
  return flush(reader.batchSize());
}

// What the copy lost: sectors outside the volume, unreadable ones, and the
// one the end of the volume cuts through.
void AddLosses(ConvertResult& res, const UnitReader& reader, const Volume& volume, const std::string& mapPath,
               std::int64_t cutUnit, std::size_t cutKept) {
  const std::int64_t beforeStart = reader.beforeStart();
  if (auto outside = OutsideVolume(beforeStart, res.beyondEndUnits - beforeStart, res.units, "sector", "sectors",
                                   "not copied", volume)) {
    res.problems.push_back(std::move(*outside));
  }
  res.notTriedUnits = reader.notTriedUnits();
  if (res.failedUnits > 0) {
    res.problems.push_back({"",
                            std::to_string(res.failedUnits) + " of " + std::to_string(res.units) +
                                (res.units == 1 ? " sector" : " sectors") + " could not be read" +
                                NeverTriedPart(res) + "; their bytes are marked unread in " + mapPath + " (first: " +
                                reader.firstProblem().Text() + ")",
                            res.failedUnits, ProblemKind::kUnreadable});
  }
  if (cutUnit >= 0) {
    res.problems.push_back({"",
                            "the end of " + volume.Name() + " cuts through sector " + std::to_string(cutUnit) +
                                ": its " + std::to_string(cutKept) + " bytes are kept, the other " +
                                std::to_string(kZepSectorSize - static_cast<std::int64_t>(cutKept)) +
                                " are marked unread in " + mapPath,
                            1, ProblemKind::kPastEnd});
  }
}

}  // namespace

ConvertResult CopyZepSectors(ConversionStart& start, const Progress& progress, ConvertResult res,
                             UnitObserver* observer) {
  const RecordExtent& ext = start.entry.extent;
  Volume& volume = *start.opened.volume;
  RecordFileWriter& out = start.out;

  // A sector that does not read is written as 2048 zero bytes, and the
  // file's map names them: the later sectors keep their places in the file,
  // nothing of another sector is passed off as this one, and no reader takes
  // the zeros for samples. A sector the end of the volume cuts through keeps
  // the bytes it has; only the rest is unread. Sectors outside the volume
  // are neither read nor written, so a garbage sectorCount cannot fill a
  // disk with zeros.
  UnitReader reader(volume, ext);
  reader.Observe(observer);
  // Sectors that all lie inside an image file are the system's to copy, as
  // cp does: they need not pass through this program. Whatever it leaves is
  // read below.
  constexpr std::int64_t kCopyUnits = 4096;  // 8 MiB between progress steps
  for (std::int64_t n; (n = reader.CopyInto(out.output(), kCopyUnits)) > 0;) {
    if (progress.setPos) {
      for (std::int64_t i = reader.reached() - n; i < reader.reached(); ++i) progress.setPos(static_cast<std::int32_t>(i));
    }
  }
  std::int64_t cutUnit = -1;
  std::size_t cutKept = 0;
  while (!out.failed() && reader.Next()) {
    if (!WriteBatch(reader, out, cutUnit, cutKept)) break;
    if (progress.setPos) {
      for (std::int64_t j = 0; j < reader.batchSize(); ++j) progress.setPos(static_cast<std::int32_t>(reader.batchFirst() + j));
    }
  }
  if (out.failed()) {
    res.problems = {out.problem()};
    out.Discard();
    res.status = ConvertStatus::WriteFailed;
    return res;
  }
  const std::int64_t beforeStart = reader.beforeStart();
  res.failedUnits = reader.badUnits() - (cutUnit >= 0 ? 1 : 0);
  res.cutUnits = cutUnit >= 0 ? 1 : 0;
  res.beyondEndUnits = beforeStart + reader.pastEnd();
  if (res.beyondEndUnits > 0 && progress.setPos) progress.setPos(ext.count32 - 1);

  if (!FinishConversion(start.out, res, out.unread() == 0 && res.beyondEndUnits == 0)) return res;
  AddLosses(res, reader, volume, UnreadMapPath(out.path()), cutUnit, cutKept);
  return res;
}

}  // namespace zep
