// The commands that read a disc: list, convert and dump. Each scans the disc
// first, as the Windows program does when a drive is chosen, and stops with
// status 2 when that scan finds no readable disc.

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "cli/commands.h"
#include "cli/disc_type.h"
#include "cli/files.h"
#include "disc/iso_time.h"
#include "cli/platform.h"
#include "cli/progress.h"
#include "cli/run_report.h"
#include "cli/text.h"
#include "cli/whole_disc.h"
#include "convert/conversion_start.h"
#include "convert/convert.h"
#include "disc/record_names.h"
#include "disc/scan.h"
#include "operations/disc_words.h"
#include "operations/convert_records.h"
#include "operations/records.h"

namespace zep::cli {
namespace {

struct Disc {
  std::string source;          // as given on the command line
  // The volume, under the mapfile when there is one: opened once for the
  // run, and every read of it (the scan, the type's evidence, each record)
  // goes through open, which hands out views of it.
  std::unique_ptr<Volume> volume;
  VolumeOpener open;
  RecordDirectory directory{};
  ScanResult scan;
  SourceType type = SourceType::Tk40;
  std::vector<ListRow> rows;  // the list's cells and title, as the type reads the directory
  std::string title;
  std::int64_t size = -1;  // of the volume, when the system tells it
};

// Settles the type from the disc's evidence; the rows and the title follow it.
bool SettleOn(Console& con, Disc& disc, std::optional<SourceType> given, bool force) {
  const SettledType settled =
      SettleType(con, disc.source, disc.open, disc.directory, given, true, !disc.scan.directoryProblem, force);
  if (settled.refused) return false;
  if (settled.type != disc.type) {
    disc.type = settled.type;
    disc.rows = BuildListRows(disc.directory, disc.type);
    disc.title = BuildTitle(disc.directory, disc.type);
  }
  return true;
}

// Scans SOURCE, writing the scan dump to dumpPath unless it is empty. Names
// the reason and returns nothing when there is no disc to read. Without a
// given type the disc's evidence decides it, unless settle is false (the dump
// needs no type).
std::optional<Disc> ScanSource(Console& con, const std::string& source, std::optional<SourceType> given,
                               const std::string& dumpPath, const DiscOptions& options, bool settle = true) {
  std::optional<DiscSource> opened = OpenSource(con, source, options.mapfile, options.failedReads, settle);
  if (!opened) return std::nullopt;
  Disc disc;
  disc.source = source;
  disc.volume = std::move(opened->volume);
  disc.open = BorrowingOpener(*disc.volume);
  disc.size = opened->size;
  disc.type = given.value_or(SourceType::Tk40);
  // The letter only shapes the Windows program's messages, which zepconv
  // takes from OpenSource.
  disc.scan = ScanDisc(disc.open, disc.directory, dumpPath);
  if (disc.scan.outcome != ScanOutcome::DiscRead) {
    // The volume opened a moment ago and does not now: say what the scan found.
    con.Report(source, disc.scan.problem ? disc.scan.problem->Text() : "not an MO disc");
    return std::nullopt;
  }
  if (std::optional<Problem> unread = disc.scan.directoryProblem) {
    unread->what += "; the missing bytes of the record directory were read as zeros";
    con.Report(*unread);
  }
  disc.rows = BuildListRows(disc.directory, disc.type);
  disc.title = BuildTitle(disc.directory, disc.type);
  if (settle && !SettleOn(con, disc, given, options.forceType)) return std::nullopt;
  return disc;
}

void WriteListJson(Console& con, const Disc& disc, SourceType type) {
  nlohmann::ordered_json doc;
  doc["title"] = Latin1ToUtf8(disc.title);
  doc["label"] = HasLabel(disc.directory) ? nlohmann::ordered_json(Latin1ToUtf8(RecordName(disc.directory, kLabelSlot, type)))
                                          : nlohmann::ordered_json(nullptr);
  doc["records"] = nlohmann::ordered_json::array();
  auto textOrNull = [](const std::optional<std::string>& t) { return t ? nlohmann::ordered_json(*t) : nullptr; };
  for (const ListRow& row : disc.rows) {
    const DirectoryEntry entry = ReadEntry(disc.directory, row.slot, type);
    const IsoTimes iso = IsoTimesOf(entry);
    // The numbers the Record No. and Pings cells show, taken from the
    // directory rather than read back from the cells.
    doc["records"].push_back({{"record", row.slot + 1},
                              {"slot", row.slot},
                              {"name", Latin1ToUtf8(row.cells[1])},
                              {"date", row.cells[2]},
                              {"start", row.cells[3]},
                              {"end", row.cells[4]},
                              {type == SourceType::Tk40 ? "pings" : "sectors", entry.extent.listed},
                              {"date_iso", textOrNull(iso.date)},
                              {"start_iso", textOrNull(iso.start)},
                              {"end_iso", textOrNull(iso.end)}});
  }
  WriteJson(con, doc);
}

// The last cell is the directory's count: pings on a TK40 disc, sectors on
// a ZEP V1.X one (the Windows program calls both "Pings").
const char* CountName(SourceType type) { return type == SourceType::Tk40 ? "Pings" : "Sectors"; }

void WriteListText(Console& con, const Disc& disc) {
  con.out << Printable(disc.title) << "\n\n";
  if (disc.rows.empty()) {
    con.out << "(no records)\n";
    return;
  }
  std::vector<std::vector<std::string>> cells;
  for (const ListRow& row : disc.rows) {
    cells.push_back({row.cells[0], Printable(row.cells[1]), row.cells[2], row.cells[3], row.cells[4], row.cells[5]});
  }
  WriteTable(con.out,
             {{"Record No.", true}, {"Name"}, {"Date"}, {"Start"}, {"End"}, {CountName(disc.type), true}}, cells);
}

// The rows to convert, in slot order; nothing when a record number is not on the disc.
std::optional<std::vector<ListRow>> ChooseRows(Console& con, const Disc& disc, const std::vector<int>& recordNumbers) {
  RecordChoice choice = ChooseRecords(disc.source, disc.directory, recordNumbers);
  if (choice.problem) {
    con.Report(std::move(*choice.problem));
    return std::nullopt;
  }
  std::vector<ListRow> chosen;
  for (const ListRow& row : disc.rows)
    if (std::binary_search(choice.slots.begin(), choice.slots.end(), row.slot)) chosen.push_back(row);
  return chosen;
}

// Records whose directory entry reaches past the end of the volume: a cut
// image, or a damaged entry. Listed all the same, as the recorder's list
// shows them, with a word on what a conversion cannot get.
void WarnPastEnd(Console& con, const Disc& disc) {
  if (disc.size < 0) return;
  const bool tk40 = disc.type == SourceType::Tk40;
  for (const ListRow& row : disc.rows) {
    const RecordExtent ext = ExtentOf(disc.directory, row.slot, disc.type);
    const std::int64_t past = ext.count - ext.BeforeEnd(disc.size);
    if (past <= 0) continue;
    const char* unit = tk40 ? (ext.count == 1 ? " block" : " blocks") : (ext.count == 1 ? " sector" : " sectors");
    // The Sectors cell counts the 2 sectors a ZEP V1.X record starts with, which are never copied.
    const std::string copied =
        tk40 ? "" : " to copy (the " + std::to_string(ext.listed) + " listed less the first 2, never copied)";
    con.Report(RecordSubject(row.slot + 1, Printable(row.cells[1])),
               std::to_string(past) + " of " + std::to_string(ext.count) + unit + copied + " lie " + PastEndOf(disc.source, disc.size));
  }
}

// Where one record of a conversion goes, and how it is named to the user.
struct RecordOut {
  std::string name;       // the record's name on the disc
  std::string path;       // the file to write
  std::string shownPath;  // the same, as the user reads it
  std::string what;       // "record N (NAME)"
};

RecordOut RecordOutOf(const Disc& disc, const ListRow& row, const std::string& outDir, RunFileNames& names) {
  RecordOut out;
  out.name = RecordName(disc.directory, row.slot, disc.type);
  const std::string fileName = names.Next(out.name, row.slot + 1);
  out.path = JoinPath(outDir, NativeFileName(fileName));
  out.shownPath = JoinPath(outDir, Latin1ToUtf8(fileName));
  out.what = RecordSubject(row.slot + 1, Printable(out.name));
  return out;
}

// What a record's bar and its lines count: pings on TK40, sectors on ZEP V1.X.
std::string UnitOf(SourceType type) { return type == SourceType::Tk40 ? "pings" : "sectors"; }

RecordConversion ConvertUnderBar(Console& con, const Disc& disc, const ListRow& row, const RecordOut& file,
                                 bool noClobber) {
  const bool tk40 = disc.type == SourceType::Tk40;
  ProgressBar bar(con.err, con.progress, Printable(file.name), ExtentOf(disc.directory, row.slot, disc.type).count,
                  UnitOf(disc.type), tk40 ? kTk40BlockSize : kZepSectorSize);
  const OutputTarget target(file.path, {.noClobber = noClobber});
  return ConvertOpenRecord(*disc.volume, disc.type, disc.directory, row.slot, target, bar.Hooks());
}

// A ZEP V1.X record counted in pings, as a TK40 one is: "239 of 240 pings"
// where the walk finds some missing. Sectors only where the file lacks some,
// with why they differ from the directory's count, which list and check show.
std::string ZepCounts(const RecordConversion& c, const RecordExtent& extent) {
  const ConvertResult& r = c.result;
  const std::uint64_t missing = c.missingPings;
  std::string text = std::to_string(c.pings);
  if (missing > 0) text += " of " + std::to_string(c.pings + missing);
  text += c.pings + missing == 1 ? " ping" : " pings";
  if (r.beyondEndUnits == 0) return text;
  return text + ", " + std::to_string(r.units - r.beyondEndUnits) + " of " + std::to_string(r.units) +
         " sectors (the directory's " + std::to_string(extent.listed) + " less the first 2, never copied)";
}

// The line (or JSON object) of a record written, and its share of the tally.
void TellConverted(Console& con, RunReport& report, const Disc& disc, const ListRow& row, const RecordOut& file,
                   const RecordConversion& c, DiscTally* discTally) {
  const ConvertResult& r = c.result;
  const bool tk40 = disc.type == SourceType::Tk40;
  const std::string unit = UnitOf(disc.type);
  const std::int64_t written = c.writtenUnits;
  if (discTally) {
    discTally->records += 1;
    discTally->pings += static_cast<std::int64_t>(c.pings);
  }
  if (con.json) {
    nlohmann::ordered_json json = {{"record", row.slot + 1}, {"name", Latin1ToUtf8(file.name)},
                                   {"file", file.shownPath}, {unit, written}};
    json["pings"] = c.pings;  // a TK40 record's written units are its pings
    json["unread_pings"] = c.unreadPings;
    json["missing_pings"] = c.missingPings;
    json["complete"] = r.status == ConvertStatus::Done;
    report.Wrote(json);
  } else if (tk40) {
    con.out << file.what << ": " << written;
    if (written != r.units) con.out << " of " << r.units;
    con.out << " pings -> " << file.shownPath << '\n';
  } else {
    con.out << file.what << ": " << ZepCounts(c, ExtentOf(disc.directory, row.slot, disc.type)) << " -> "
            << file.shownPath << '\n';
  }
}

// What a dump wrote, and what it could not read: the status of the run.
Outcome TellDumped(Console& con, RunReport& report, const std::string& source, const std::string& outFile,
               const DumpReport& dump) {
  if (!dump.written) {
    Problem problem = dump.problem.value_or(Problem{});
    problem.what += "; the dump was not written";
    con.Report(problem);
    return dump.created ? kPartly : kRefused;
  }
  if (con.json) {
    report.Wrote({{"file", outFile},
                  {"pieces", kDumpPieces},
                  {"unreadable_pieces", dump.unreadablePieces},
                  {"mapfile", dump.mapfile.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(dump.mapfile)}});
  } else {
    con.out << outFile << ": " << kDumpPieces << " pieces of " << kDumpPieceSize << " bytes from byte "
            << kDumpOffset << '\n';
  }
  if (dump.unreadablePieces > 0) {
    con.Report({source,
                std::to_string(dump.unreadablePieces) + " of " + std::to_string(kDumpPieces) +
                    " pieces could not be read (or lie past its end) and were written as zeros" +
                    (dump.mapfile.empty() ? "" : ", named in " + dump.mapfile),
                dump.unreadablePieces});
    return kPartly;
  }
  return kDone;
}

}  // namespace

Outcome ListCommand(Console& con, const std::string& source, std::optional<SourceType> type, bool json,
                const DiscOptions& options) {
  const std::optional<Disc> disc = ScanSource(con, source, type, "", options);
  if (!disc) return kRefused;
  if (json) WriteListJson(con, *disc, disc->type);
  else WriteListText(con, *disc);
  WarnPastEnd(con, *disc);
  return disc->scan.directoryProblem ? kPartly : kDone;
}

Outcome ConvertCommand(Console& con, const std::string& source, std::optional<SourceType> given,
                   const std::string& outDir, const std::vector<int>& recordNumbers, const DiscOptions& options) {
  RunReport report(con);
  const std::optional<Disc> disc = ScanSource(con, source, given, "", options);
  if (!disc) return kRefused;
  const std::optional<std::vector<ListRow>> rows = ChooseRows(con, *disc, recordNumbers);
  if (!rows) return kRefused;
  bool partly = disc->scan.directoryProblem.has_value();
  if (rows->empty()) {
    con.Report(source, "no records on the disc");
    return partly ? kPartly : kDone;
  }
  if (!MakeFolder(con, outDir)) return kRefused;
  RunFileNames names;
  FileTally tally;
  for (const ListRow& row : *rows) {
    const RecordOut file = RecordOutOf(*disc, row, outDir, names);
    const RecordConversion c = ConvertUnderBar(con, *disc, row, file, options.noClobber);
    const ConvertResult& r = c.result;
    if (r.Converted()) {
      ++tally.written;
      TellConverted(con, report, *disc, row, file, c, options.tally);
    }
    if (options.tally) {
      options.tally->lost += c.LostUnits();
      options.tally->notTried += r.notTriedUnits;
      options.tally->pastEnd += r.beyondEndUnits;
    }
    if (r.status != ConvertStatus::Done) {
      con.Report(file.what, JoinedText(r.problems) + (r.status == ConvertStatus::WriteFailed
                                                          ? " (the unfinished file was removed)"
                                                          : ""));
      if (!r.Converted()) tally.Failed(r.problems.front());
      partly = true;
    }
  }
  return tally.Status(partly);
}

Outcome DumpCommand(Console& con, const std::string& source, const std::string& outFile, const DiscOptions& options) {
  RunReport report(con);
  // A folder would be refused only after the disc was read; say so first.
  if (std::error_code ec; std::filesystem::is_directory(std::filesystem::path(outFile), ec)) {
    con.Report(outFile, "is a folder; --out names the dump file to write");
    return kRefused;
  }
  // The source type only shapes the list, which the dump does not need.
  std::optional<Disc> disc = ScanSource(con, source, SourceType::Tk40, "", options, false);
  if (!disc) return kRefused;
  // A file named here is the user's: unlike the Windows program's scan dump,
  // a failed dump leaves an earlier one of that name in place.
  if (VolumeOpenResult opened = disc->open(); opened.volume) {
    // Zeros for the whole dump would only pass for data.
    if (const std::int64_t size = opened.volume->Size(); size >= 0 && size <= kDumpOffset) {
      con.Report(source, "the volume ends at byte " + std::to_string(size) + ", before the dump area (bytes " +
                             std::to_string(kDumpOffset) + " to " + std::to_string(kDumpOffset + kDumpSize - 1) +
                             "): nothing to dump, nothing written");
      return kRefused;
    }
    disc->scan.dump = WriteDumpFile(*opened.volume, outFile, {.noClobber = options.noClobber});
  } else {
    disc->scan.dump.problem = opened.problem;
  }
  return TellDumped(con, report, source, outFile, disc->scan.dump);
}

}  // namespace zep::cli
