#include "cli/disc_type.h"

#include "cli/platform.h"
#include "operations/source.h"

namespace zep::cli {

std::optional<DiscSource> OpenSource(Console& con, const std::string& source, const std::string& mapfile,
                                    std::shared_ptr<FailedReads> failedReads, bool needsDirectory) {
  SourceOpen opened =
      zep::OpenSource(source, {DriveLetterOf(source), mapfile, std::move(failedReads), needsDirectory, false});
  if (!opened.disc) con.Report(std::move(*opened.problem));
  return std::move(opened.disc);
}

const char* TypeOptionName(SourceType type) { return type == SourceType::Tk40 ? "tk40" : "zep"; }

bool SayType(Console& con, const std::string& source, const SettledType& s, std::optional<SourceType> given,
             bool refuseUnknown, bool directoryRead) {
  const std::string described = s.evidence.Describe();
  switch (s.fault) {
    case TypeFault::kRuledOut:
      if (!s.refused) break;
      con.Report({source,
                  std::string("--type ") + TypeOptionName(*given) + " is ruled out: " + described + "; give --type " +
                      TypeOptionName(*given == SourceType::Tk40 ? SourceType::ZepV1 : SourceType::Tk40) +
                      ", or --force-type to read it as " + SourceTypeName(*given) + " all the same",
                  0, s.said.kind});
      return false;
    case TypeFault::kUnknown:
      if (!s.refused) break;
      con.Report({source, described + "; give --type tk40 or --type zep to read it all the same", 0, s.said.kind});
      return false;
    default:
      break;
  }
  if (given) {
    if (s.evidence.type() && *s.evidence.type() != *given) {
      con.Note({"", source + " looks like " + described + ", not a " + SourceTypeName(*given) + " disc; read as " +
                        SourceTypeName(*given) + " as --type says",
                0, ProblemKind::kOther, Severity::kWarning});
    }
    return true;
  }
  // A blank directory on list or convert: the runs may be on the disc all
  // the same, and carve finds them.
  const bool blank = s.evidence.kind == DiscKind::Blank;
  con.Note({source, blank && !directoryRead ? "no record directory to weigh: no records"
                    : described + (blank && refuseUnknown ? "; try `zepconv carve`" : "")});
  return true;
}

}  // namespace zep::cli
