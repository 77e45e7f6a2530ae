#include "disc/scan.h"

#include <algorithm>
#include <cstring>

#include "disc/aligned_buffer.h"
#include "disc/file.h"
#include "disc/unit_reader.h"
#include "disc/unread_bytes.h"

namespace zep {

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

namespace {

// What a drive and an image share once the volume is open and fit to read.
ScanResult ReadOpenedDisc(std::unique_ptr<Volume> volume, RecordDirectory& directory,
                          const std::string& dumpPath, const DirectoryCheck& check) {
  ScanResult result;
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
  return result;
}

}  // namespace

ScanResult ScanDisc(const VolumeOpener& open, RecordDirectory& directory, const std::string& dumpPath,
                    const DirectoryCheck& check) {
  ScanResult result;
  VolumeOpenResult opened = open();
  if (!opened.volume) {
    result.outcome = ScanOutcome::NoDisk;
    result.problem = opened.problem;
    return result;
  }
  if (!opened.volume->IsRemovableMedia()) {
    result.outcome = ScanOutcome::NotMoDisc;
    return result;
  }
  return ReadOpenedDisc(std::move(opened.volume), directory, dumpPath, check);
}

ScanResult ScanDiscImage(const VolumeOpener& open, RecordDirectory& directory,
                         const std::string& dumpPath, const DirectoryCheck& check) {
  VolumeOpenResult opened = open();
  if (!opened.volume) {
    ScanResult result;
    result.outcome = ScanOutcome::NoDisk;
    result.problem = opened.problem;
    return result;
  }
  return ReadOpenedDisc(std::move(opened.volume), directory, dumpPath, check);
}

}  // namespace zep
