#include "convert/conversion_start.h"

#include "convert/record_file.h"

namespace zep {

bool StartConversion(const OutputTarget& output, const RecordDirectory& dir, int slot, SourceType type,
                     const VolumeOpener& open, const Progress& progress, ConvertResult& res, ConversionStart& start) {
  if (slot < 0 || slot >= kSlotCount) {
    res.status = ConvertStatus::VolumeFailed;
    res.problems = {{"", "slot " + std::to_string(slot) + " is not a directory slot (0 to 63)", 0, ProblemKind::kUsage}};
    return false;
  }
  start.opened = open ? open() : VolumeOpenResult{nullptr, Problem{"", "no volume to open", 0, ProblemKind::kBug}};
  if (!start.opened.volume) {
    res.status = ConvertStatus::VolumeFailed;
    res.problems = {start.opened.problem.value_or(Problem{"", "the volume could not be opened", 0, ProblemKind::kUnreadable})};
    return false;
  }
  start.out = RecordFileWriter(output);
  if (!start.out.open()) {
    res.status = ConvertStatus::OutputFailed;
    res.problems = {start.out.problem()};
    start.opened.volume.reset();
    return false;
  }
  start.entry = ReadEntry(dir, slot, type);
  res.units = start.entry.extent.count;
  if (progress.setRange) progress.setRange(static_cast<std::uint16_t>(start.entry.extent.count32 & 0xFFFF));
  return true;
}

bool FinishConversion(RecordFileWriter& out, ConvertResult& res, bool whole) {
  if (!out.Finish()) {
    res.problems = {out.problem()};
    res.status = ConvertStatus::WriteFailed;
    return false;
  }
  res.bytesWritten = out.written();
  res.status = whole ? ConvertStatus::Done : ConvertStatus::Incomplete;
  return true;
}

ConvertResult ConvertRecord(SourceType type, const OutputTarget& output, const RecordDirectory& dir, int slot,
                            const VolumeOpener& open, const Progress& progress, UnitObserver* observer) {
  ConvertResult res;
  ConversionStart start;
  if (!StartConversion(output, dir, slot, type, open, progress, res, start)) return res;
  if (type == SourceType::ZepV1) return CopyZepSectors(start, progress, std::move(res), observer);
  const DirectoryEntry& e = start.entry;
  return ConvertTk40Blocks(*start.opened.volume, e.extent, {e.day, e.month, e.year}, start.out, progress,
                           std::move(res), observer);
}

ConvertResult ConvertTk40Record(const OutputTarget& output, const RecordDirectory& dir, int slot,
                                const VolumeOpener& open, const Progress& progress) {
  return ConvertRecord(SourceType::Tk40, output, dir, slot, open, progress);
}

ConvertResult CopyZepRecord(const OutputTarget& output, const RecordDirectory& dir, int slot,
                            const VolumeOpener& open, const Progress& progress) {
  return ConvertRecord(SourceType::ZepV1, output, dir, slot, open, progress);
}

std::string NeverTriedPart(const ConvertResult& res) {
  if (res.notTriedUnits == 0) return "";
  return " (" + std::to_string(res.notTriedUnits) + (res.notTriedUnits == 1 ? " of them was" : " of them were") +
         " never tried by GNU ddrescue)";
}

std::string PastEndOf(const std::string& volumeName, std::int64_t size) {
  return "past the end of " + volumeName + " (" + std::to_string(size) + " bytes)";
}

std::optional<Problem> OutsideVolume(std::int64_t beforeStart, std::int64_t pastEnd, std::int64_t units, const char* one,
                                     const char* many, const char* outcome, const Volume& volume) {
  std::string text;
  const auto part = [&](std::int64_t n, const std::string& where) {
    if (n == 0) return;
    if (!text.empty()) text += "; ";
    const std::string count = n < units   ? std::to_string(n) + " of " + std::to_string(units) + " " + many
                              : units == 1 ? std::string("the record's one ") + one
                                           : "all " + std::to_string(units) + " " + many;
    text += count + (n == 1 ? " lies " : " lie ") + where + ", " + outcome;
  };
  part(beforeStart, "before the start of " + volume.Name() + " (the directory entry is damaged)");
  part(pastEnd, PastEndOf(volume.Name(), volume.Size()));
  if (text.empty()) return std::nullopt;
  return Problem{"", text, beforeStart + pastEnd, ProblemKind::kPastEnd};
}

}  // namespace zep
