// zepconv domain: the bytes a conversion reads, as a GNU ddrescue domain
// mapfile, so that a rescue of a damaged disc reads those and nothing else.
// Named after ddrescue's own word for it (-m, --domain-mapfile).

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/disc_type.h"
#include "cli/text.h"
#include "cli/whole_disc.h"
#include "disc/domain_map.h"
#include "disc/file.h"
#include "disc/text_file.h"
#include "disc/record_names.h"
#include "disc/scan.h"
#include "operations/records.h"

namespace zep::cli {
namespace {

std::string AreaName(const DomainArea& a, const RecordDirectory& dir, SourceType type) {
  if (a.slot < 0) return a.what;
  return a.what + " (" + Printable(RecordName(dir, a.slot, type)) + ")";
}

std::string Bytes(std::int64_t pos, std::int64_t end) {
  return "bytes " + std::to_string(pos) + " to " + std::to_string(end - 1);
}

bool WriteMap(Console& con, const std::string& outFile, const std::string& text, bool noClobber) {
  std::optional<Problem> problem = WriteTextFile(outFile, text, {.noClobber = noClobber});
  if (!problem) return true;
  problem->what += "; no domain mapfile written";
  con.Report(std::move(*problem));
  return false;
}

}  // namespace

Outcome DomainCommand(Console& con, const std::string& source, std::optional<SourceType> given,
                  const std::string& outFile, const std::vector<int>& recordNumbers, const DiscOptions& options) {
  // Under a mapfile, the image of an earlier ddrescue run: the directory
  // rescued first, the size the map's.
  std::optional<DiscSource> disc = OpenSource(con, source, options.mapfile, options.failedReads);
  if (!disc) return kRefused;
  RecordDirectory dir{};
  // Without the directory there is no telling which bytes matter: a map of
  // the whole disc would only be ddrescue without -m, hours of it at MO
  // speed, so the choice is left to the user.
  if (const std::optional<Problem> unread = ReadRecordDirectory(*disc->volume, dir)) {
    con.Report({source,
                "the record directory (bytes 0 to " + std::to_string(kDirectorySize - 1) + ") does not read (" +
                    unread->Text() + "): no domain mapfile written; rescue it first (ddrescue -s " +
                    std::to_string(kDirectorySize) + " -r3), or image the whole disc for zepconv carve",
                0, ProblemKind::kNoDirectory});
    return kRefused;
  }
  const SettledType settled = SettleType(con, source, disc->opener, dir, given, true, true, options.forceType);
  if (settled.refused) return kRefused;
  // A mistyped number leaves no map that quietly lacks it.
  RecordChoice chosen = ChooseRecords(source, dir, recordNumbers);
  if (chosen.problem) {
    con.Report(std::move(*chosen.problem));
    return kRefused;
  }

  const std::vector<DomainArea> areas = ConversionAreas(dir, settled.type, disc->size, chosen.slots);
  const RescueMap map = DomainMap(areas, disc->size);
  std::vector<std::string> comment = {"Domain mapfile for GNU ddrescue -m, written by zepconv domain: the bytes a",
                                      "conversion of " + source + " (" + SourceTypeName(settled.type) + ") reads."};
  for (const DomainArea& a : areas) comment.push_back(AreaName(a, dir, settled.type) + ": " + Bytes(a.pos, a.end));
  if (!WriteMap(con, outFile, DomainMapText(map, comment), options.noClobber)) return kRefused;

  for (const DomainArea& a : areas) {
    con.out << AreaName(a, dir, settled.type) << ": " << Bytes(a.pos, a.end) << " (" << a.end - a.pos << ")\n";
  }
  const std::int64_t bytes = DomainBytes(map);
  con.out << outFile << ": " << bytes << " bytes";
  if (disc->size > 0) con.out << " of " << disc->size << " (" << (bytes * 1000 / disc->size) / 10.0 << " %)";
  con.out << '\n';
  return kDone;
}

}  // namespace zep::cli
