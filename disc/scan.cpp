#include "disc/scan.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "disc/aligned_buffer.h"
#include "disc/file.h"
#include "disc/unit_reader.h"
#include "disc/unread_bytes.h"

namespace zep {
namespace {

// Indexed by the month byte itself, so BCD months find their names and the
// values in between find nothing.
constexpr const char* kMonthTable[19] = {"",    "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep",
                                         "",    "",    "",    "",    "",    "",    "Oct", "Nov", "Dec"};

std::string Format(const char* format, auto... args) {
  char text[64];
  std::snprintf(text, sizeof text, format, args...);
  return text;
}

const char* MonthText(std::uint8_t month) { return month < std::size(kMonthTable) ? kMonthTable[month] : ""; }

}  // namespace

std::vector<ListRow> BuildListRows(const RecordDirectory& dir, SourceType type) {
  std::vector<ListRow> rows;
  for (int slot = 0; slot < kSlotCount; ++slot) {
    if (!IsRecordSlot(dir, slot)) continue;
    const DirectoryEntry e = ReadEntry(dir, slot, type);
    ListRow row;
    row.slot = slot;
    row.cells[0] = Format("%i", slot + 1);
    row.cells[1] = RecordName(dir, slot, type);
    row.cells[2] = Format("%02x %s %02x", e.day, MonthText(e.month), e.year);
    row.cells[3] = Format("%02x:%02x", e.startTime[0], e.startTime[1]);
    row.cells[4] = Format("%02x:%02x", e.endTime[0], e.endTime[1]);
    row.cells[5] = Format("%i", static_cast<int>(e.extent.listed));
    rows.push_back(std::move(row));
  }
  return rows;
}

std::string BuildTitle(const RecordDirectory& dir, SourceType type) {
  std::string title = kTitleBase;
  if (HasLabel(dir)) title += " - " + RecordName(dir, kLabelSlot, type);
  return title;
}

std::string NoDiskMessage(char driveLetter) { return std::string("There is no disk in drive ") + driveLetter + "  "; }

std::string NotMoDiscMessage(char driveLetter) {
  return std::string("Drive ") + driveLetter + " is not an MO disc";
}

namespace {

// Copies the dump area into out. Unreadable pieces are zeros (a piece the end
// cuts through keeps the bytes it has), and pieces past the end of a small
// volume are zeros too, so that the dump always has its 5056 pieces; unread
// names those zeros. Gives how many pieces hold them.
int CopyDumpArea(Volume& volume, OutputFile& out, UnreadBytes& unread) {
  UnitReader reader(volume, RecordExtent::Bytes(kDumpOffset, kDumpPieceSize, kDumpPieces));
  while (reader.Next()) {
    if (!out.Write(reader.Bytes())) return 0;
    for (std::int64_t j = 0; j < reader.batchSize(); ++j) {
      const UnitState state = reader.State(j);
      if (state == UnitState::Good) continue;
      const auto kept = state == UnitState::Cut ? static_cast<std::int64_t>(reader.Delivered(j)) : 0;
      unread.Add((reader.batchFirst() + j) * kDumpPieceSize + kept, kDumpPieceSize - kept);
    }
  }
  const std::int64_t pastEnd = reader.pastEnd();
  unread.Add((kDumpPieces - pastEnd) * kDumpPieceSize, pastEnd * kDumpPieceSize);
  out.WriteZeros(static_cast<std::size_t>(pastEnd * kDumpPieceSize));
  return static_cast<int>(reader.badUnits() + pastEnd);
}

// The user's dump carries its map; the Windows program's is its one file.
DumpReport WriteDump(Volume& volume, const std::string& path, const OutputOptions& options, bool withMap) {
  DumpReport report;
  report.attempted = true;
  OutputFile out = OutputFile::Create(path, options);
  if (!out.open()) {
    report.problem = out.problem();
    return report;
  }
  report.created = true;
  UnreadBytes unread;
  report.unreadablePieces = CopyDumpArea(volume, out, unread);
  if (withMap) {
    UnreadMapClose close = CloseWithUnreadMap(out, unread, "zepconv dump: the scan dump's pieces that could not be read");
    report.written = close.closed;
    report.problem = std::move(close.mapProblem);
    if (close.mapWritten) report.mapfile = UnreadMapPath(path);
  } else {
    report.written = out.Close();
  }
  if (!report.written && !report.problem) report.problem = out.problem();
  return report;
}

}  // namespace

DumpReport WriteDumpFile(Volume& volume, const std::string& path, const OutputOptions& options) {
  return WriteDump(volume, path, options, true);
}

DumpReport WriteScanDump(Volume& volume, const std::string& path) {
  DumpReport report = WriteDump(volume, path, {}, false);
  if (!report.written) {
    // An earlier disc's dump must not survive to be split as this disc's.
    std::string removeError;
    if (!RemoveFile(path, &removeError) && report.problem) report.problem->what += "; " + removeError;
  }
  return report;
}

std::optional<Problem> ReadRecordDirectory(Volume& volume, RecordDirectory& dir) {
  AlignedBuffer buffer(kDirectorySize);
  const ReadResult r = volume.ReadAt(0, buffer.span());
  const std::size_t good = r.ok() ? r.bytes : 0;
  std::memset(buffer.data() + good, 0, kDirectorySize - good);
  std::memcpy(dir.data(), buffer.data(), kDirectorySize);
  if (good == kDirectorySize) return std::nullopt;
  if (!r.ok()) return r.problem;
  return Problem{volume.Name(), "the volume ends inside the record directory", 0, ProblemKind::kPastEnd};
}

std::string ImageUnreadableMessage(const std::string& imagePath, const std::string& reason) {
  return "Cannot read the disc image " + imagePath + "\n\n" + reason;
}

namespace {

// What a drive and an image share once the volume is open and fit to read.
ScanResult ReadOpenedDisc(std::unique_ptr<Volume> volume, SourceType type, RecordDirectory& directory,
                          const std::string& dumpPath, const DirectoryCheck& check) {
  ScanResult result;
  result.title = kTitleBase;
  result.titleChanged = true;
  RecordDirectory read;
  result.directoryProblem = ReadRecordDirectory(*volume, read);
  if (check) {
    result.problem = check(*volume, read);
    if (result.problem) {
      result.outcome = ScanOutcome::NotADisc;
      return result;
    }
  }
  directory = read;

  if (!dumpPath.empty()) result.dump = WriteScanDump(*volume, dumpPath);
  volume.reset();  // the volume is closed before the list is filled

  result.outcome = ScanOutcome::DiscRead;
  result.rows = BuildListRows(directory, type);
  result.title = BuildTitle(directory, type);
  return result;
}

}  // namespace

ScanResult ScanDisc(const VolumeOpener& open, SourceType type, RecordDirectory& directory, const std::string& dumpPath,
                    const DirectoryCheck& check) {
  ScanResult result;
  result.title = kTitleBase;
  VolumeOpenResult opened = open();
  if (!opened.volume) {
    result.outcome = ScanOutcome::NoDisk;
    result.problem = opened.problem;
    result.titleChanged = true;
    return result;
  }
  if (!opened.volume->IsRemovableMedia()) {
    result.outcome = ScanOutcome::NotMoDisc;
    result.titleChanged = false;
    result.title.clear();
    return result;
  }
  return ReadOpenedDisc(std::move(opened.volume), type, directory, dumpPath, check);
}

ScanResult ScanDiscImage(const VolumeOpener& open, SourceType type, RecordDirectory& directory,
                         const std::string& dumpPath, const DirectoryCheck& check) {
  VolumeOpenResult opened = open();
  if (!opened.volume) {
    ScanResult result;
    result.title = kTitleBase;
    result.outcome = ScanOutcome::NoDisk;
    result.problem = opened.problem;
    result.titleChanged = true;
    return result;
  }
  return ReadOpenedDisc(std::move(opened.volume), type, directory, dumpPath, check);
}

}  // namespace zep
