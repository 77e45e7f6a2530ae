#include "convert/conversion_start.h"

#include "convert/record_file.h"

namespace zep {

bool StartConversion(const OutputTarget& output, const RecordDirectory& dir, int slot, SourceType type,
                     const VolumeOpener& open, const Progress& progress, ConvertResult& res, ConversionStart& start) {
  if (slot < 0 || slot >= kSlotCount) {
    res.status = ConvertStatus::VolumeFailed;
    res.reason = "slot " + std::to_string(slot) + " is not a directory slot (0 to 63)";
    return false;
  }
  start.opened = open ? open() : VolumeOpenResult{nullptr, "no volume to open"};
  if (!start.opened.volume) {
    res.status = ConvertStatus::VolumeFailed;
    res.reason = start.opened.error.empty() ? "the volume could not be opened" : start.opened.error;
    return false;
  }
  start.out = RecordFileWriter(output);
  if (!start.out.open()) {
    res.status = ConvertStatus::OutputFailed;
    res.reason = start.out.error();
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
    res.reason = out.error();
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

void AddReason(ConvertResult& res, const std::string& part) {
  if (part.empty()) return;
  if (!res.reason.empty()) res.reason += "; ";
  res.reason += part;
}

std::string OutsideVolumeText(std::int64_t beforeStart, std::int64_t pastEnd, std::int64_t units, const char* one,
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
  part(pastEnd, "past the end of " + volume.Name() + " (" + std::to_string(volume.Size()) + " bytes)");
  return text;
}

}  // namespace zep
