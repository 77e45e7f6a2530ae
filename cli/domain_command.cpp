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
#include "disc/domain_map.h"
#include "disc/file.h"
#include "disc/text_file.h"
#include "disc/record_names.h"
#include "disc/scan.h"
#include "operations/domain_plan.h"

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
  const DomainPlan plan = PlanDomain(*disc, {given, true, true, options.forceType}, recordNumbers);
  if (const std::optional<Problem>& unread = plan.directoryProblem) {
    con.Report({source,
                "the record directory (bytes 0 to " + std::to_string(kDirectorySize - 1) + ") does not read (" +
                    unread->Text() + "): no domain mapfile written; rescue it first (ddrescue -s " +
                    std::to_string(kDirectorySize) + " -r3), or image the whole disc for zepconv carve",
                0, ProblemKind::kNoDirectory});
    return kRefused;
  }
  if (!SayType(con, source, plan.settled, given, true)) return kRefused;
  if (plan.choiceProblem) {
    con.Report(*plan.choiceProblem);
    return kRefused;
  }
  const RecordDirectory& dir = plan.dir;
  const SettledType& settled = plan.settled;
  const std::vector<DomainArea>& areas = plan.areas;
  const RescueMap& map = plan.map;
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
