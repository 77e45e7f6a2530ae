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
#include "cli/platform.h"
#include "cli/progress.h"
#include "cli/run_report.h"
#include "cli/text.h"
#include "convert/conversion_start.h"
#include "convert/convert.h"
#include "export/list_report.h"
#include "disc/record_names.h"
#include "disc/scan.h"
#include "operations/disc_problems.h"
#include "operations/disc_words.h"
#include "operations/convert_records.h"
#include "operations/records.h"
#include "operations/scanned_disc.h"
#include "operations/disc_tally.h"

namespace zep::cli {
namespace {

struct Disc {
  ScannedDisc scanned;
  SourceType type = SourceType::Tk40;
};

// Scans SOURCE. Names the reason and returns nothing when there is no disc
// to read. Without a given type the disc's evidence decides it, unless
// settle is false (the dump needs no type).
std::optional<Disc> ScanSource(Console& con, const std::string& source, std::optional<SourceType> given,
                               const DiscOptions& options, bool settle = true) {
  std::optional<DiscSource> opened = OpenSource(con, source, options.mapfile, options.failedReads, settle);
  if (!opened) return std::nullopt;
  DiscScan scan = ScanOpenedDisc(std::move(*opened));
  if (!scan.disc) {
    con.Report(std::move(*scan.problem));
    return std::nullopt;
  }
  Disc disc{std::move(*scan.disc), SourceType::Tk40};
  const bool directoryRead = !disc.scanned.directoryProblem;
  if (!directoryRead) con.Report(*disc.scanned.directoryProblem);
  disc.type = given.value_or(SourceType::Tk40);
  if (settle) {
    const SettledType settled = SettleDiscType(source, disc.scanned.open, disc.scanned.directory,
                                               {given, true, directoryRead, options.forceType});
    if (!SayType(con, source, settled, given, true, directoryRead)) return std::nullopt;
    disc.type = settled.type;
  }
  return disc;
}

// The last cell is the directory's count: pings on a TK40 disc, sectors on
// a ZEP V1.X one (the Windows program calls both "Pings").
const char* CountName(SourceType type) { return type == SourceType::Tk40 ? "Pings" : "Sectors"; }

void WriteListText(Console& con, const Disc& disc) {
  con.out << Printable(BuildTitle(disc.scanned.directory, disc.type)) << "\n\n";
  const std::vector<ListRow> rows = BuildListRows(disc.scanned.directory, disc.type);
  if (rows.empty()) {
    con.out << "(no records)\n";
    return;
  }
  std::vector<std::vector<std::string>> cells;
  for (const ListRow& row : rows) {
    cells.push_back({row.cells[0], Printable(row.cells[1]), row.cells[2], row.cells[3], row.cells[4], row.cells[5]});
  }
  WriteTable(con.out,
             {{"Record No.", true}, {"Name"}, {"Date"}, {"Start"}, {"End"}, {CountName(disc.type), true}}, cells);
}

// Records whose directory entry reaches past the end of the volume: a cut
// image, or a damaged entry. Listed all the same, as the recorder's list
// shows them, with a word on what a conversion cannot get.
void WarnPastEnd(Console& con, const Disc& disc) {
  for (const RecordPastEnd& r : RecordsPastTheEnd(disc.scanned, disc.type)) {
    con.Report(PastEndProblem(disc.scanned, disc.type, r, Printable(RecordName(disc.scanned.directory, r.slot, disc.type))));
  }
}

// What a record's bar and its lines count: pings on TK40, sectors on ZEP V1.X.
std::string UnitOf(SourceType type) { return type == SourceType::Tk40 ? "pings" : "sectors"; }

RecordConversion ConvertUnderBar(Console& con, const Disc& disc, const RecordFile& file, bool noClobber) {
  const bool tk40 = disc.type == SourceType::Tk40;
  const RecordDirectory& dir = disc.scanned.directory;
  ProgressBar bar(con.err, con.progress, Printable(file.name), ExtentOf(dir, file.slot, disc.type).count,
                  UnitOf(disc.type), tk40 ? kTk40BlockSize : kZepSectorSize);
  const OutputTarget target(file.path, {.noClobber = noClobber});
  return ConvertOpenRecord(*disc.scanned.volume, disc.type, dir, file.slot, target, bar.Hooks());
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

// The line (or JSON object) of a record written, shown as shownPath.
void TellConverted(Console& con, RunReport& report, const Disc& disc, const RecordFile& file,
                   const std::string& shownPath, const RecordConversion& c) {
  const ConvertResult& r = c.result;
  const std::int64_t written = c.writtenUnits;
  const std::string what = RecordSubject(file.slot + 1, Printable(file.name));
  if (con.json) {
    nlohmann::ordered_json json = {{"record", file.slot + 1}, {"name", Latin1ToUtf8(file.name)},
                                   {"file", shownPath}, {UnitOf(disc.type), written}};
    json["pings"] = c.pings;  // a TK40 record's written units are its pings
    json["unread_pings"] = c.unreadPings;
    json["missing_pings"] = c.missingPings;
    json["complete"] = r.status == ConvertStatus::Done;
    report.Wrote(json);
  } else if (disc.type == SourceType::Tk40) {
    con.out << what << ": " << written;
    if (written != r.units) con.out << " of " << r.units;
    con.out << " pings -> " << shownPath << '\n';
  } else {
    con.out << what << ": " << ZepCounts(c, ExtentOf(disc.scanned.directory, file.slot, disc.type)) << " -> "
            << shownPath << '\n';
  }
}

// A record's line and its problem, and its share of the tally; true when it
// was not converted whole.
bool TellConversion(Console& con, RunReport& report, const Disc& disc, const RecordFile& file,
                    const std::string& outDir, const RecordConversion& c, FileTally& tally) {
  const ConvertResult& r = c.result;
  if (r.Converted()) {
    ++tally.written;
    TellConverted(con, report, disc, file, JoinPath(outDir, Latin1ToUtf8(file.fileName)), c);
  }
  const std::optional<Problem> problem = ConversionProblem(c, file.slot, Printable(file.name));
  if (!problem) return false;
  con.Report(*problem);
  if (!r.Converted()) tally.Failed(*problem);
  return true;
}

// What a dump wrote, and what it could not read: the status of the run.
Outcome TellDumped(Console& con, RunReport& report, const std::string& source, const std::string& outFile,
               const DumpReport& dump) {
  const std::optional<Problem> problem = DumpProblem(source, dump);
  if (!dump.written) {
    con.Report(*problem);
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
  if (problem) {
    con.Report(*problem);
    return kPartly;
  }
  return kDone;
}

}  // namespace

Outcome ListCommand(Console& con, const std::string& source, std::optional<SourceType> type, bool json,
                const DiscOptions& options) {
  const std::optional<Disc> disc = ScanSource(con, source, type, options);
  if (!disc) return kRefused;
  if (json) WriteJson(con, ListReportValue(disc->scanned.directory, disc->type));
  else WriteListText(con, *disc);
  WarnPastEnd(con, *disc);
  return disc->scanned.directoryProblem ? kPartly : kDone;
}

Outcome ConvertCommand(Console& con, const std::string& source, std::optional<SourceType> given,
                   const std::string& outDir, const std::vector<int>& recordNumbers, const DiscOptions& options) {
  RunReport report(con);
  const std::optional<Disc> disc = ScanSource(con, source, given, options);
  if (!disc) return kRefused;
  RecordChoice choice = ChooseRecords(source, disc->scanned.directory, recordNumbers);
  if (choice.problem) {
    con.Report(std::move(*choice.problem));
    return kRefused;
  }
  bool partly = disc->scanned.directoryProblem.has_value();
  if (choice.slots.empty()) {
    con.Report({source, "no records on the disc", 0, ProblemKind::kNoDirectory});
    return partly ? kPartly : kDone;
  }
  if (!MakeFolder(con, outDir)) return kRefused;
  FileTally tally;
  for (const RecordFile& file :
       PlanRecordFiles(disc->scanned.directory, disc->type, choice.slots, outDir, NativeFileName)) {
    const RecordConversion c = ConvertUnderBar(con, *disc, file, options.noClobber);
    if (options.tally) options.tally->Add(TallyOfConversion(disc->type, c));
    partly = TellConversion(con, report, *disc, file, outDir, c, tally) || partly;
  }
  return tally.Status(partly);
}

Outcome DumpCommand(Console& con, const std::string& source, const std::string& outFile, const DiscOptions& options) {
  RunReport report(con);
  // A folder would be refused only after the disc was read; say so first.
  if (std::error_code ec; std::filesystem::is_directory(std::filesystem::path(outFile), ec)) {
    con.Report({outFile, "is a folder; --out names the dump file to write", 0, ProblemKind::kUsage});
    return kRefused;
  }
  // The source type only shapes the list, which the dump does not need.
  std::optional<Disc> disc = ScanSource(con, source, SourceType::Tk40, options, false);
  if (!disc) return kRefused;
  // A file named here is the user's: unlike the Windows program's scan dump,
  // a failed dump leaves an earlier one of that name in place.
  DumpRun run = DumpDisc(disc->scanned, outFile, {.noClobber = options.noClobber});
  if (run.refused) {
    con.Report(std::move(*run.refused));
    return kRefused;
  }
  return TellDumped(con, report, source, outFile, run.report);
}

}  // namespace zep::cli
