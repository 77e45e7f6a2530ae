#include "cli/disc_type.h"

#include "convert/disc_type.h"

namespace zep::cli {

const char* TypeOptionName(SourceType type) { return type == SourceType::Tk40 ? "tk40" : "zep"; }

SettledType SettleType(Console& con, const std::string& source, const VolumeOpener& open,
                       const RecordDirectory& dir, std::optional<SourceType> given, bool refuseUnknown,
                       bool directoryRead, bool force) {
  SettledType s;
  s.evidence = WeighDisc(open, dir);
  const std::optional<SourceType> found = s.evidence.type();
  if (given) {
    s.type = *given;
    if (s.evidence.RulesOut(*given) && !force) {
      // Read as the type no slot fits, every record would come out as junk.
      const SourceType fits = *given == SourceType::Tk40 ? SourceType::ZepV1 : SourceType::Tk40;
      con.Report(source, std::string("--type ") + TypeOptionName(*given) + " is ruled out: " +
                             s.evidence.Describe() + "; give --type " + TypeOptionName(fits) +
                             ", or --force-type to read it as " + SourceTypeName(*given) + " all the same");
      s.refused = true;
      return s;
    }
    if (found && *found != *given) {
      con.Note({"warning", source + " looks like " + s.evidence.Describe() + ", not a " + SourceTypeName(*given) +
                               " disc; read as " + SourceTypeName(*given) + " as --type says"});
    }
    return s;
  }
  s.type = found.value_or(SourceType::Tk40);
  if (s.evidence.kind == DiscKind::Unknown && refuseUnknown) {
    con.Report(source, s.evidence.Describe() + "; give --type tk40 or --type zep to read it all the same");
    s.refused = true;
    return s;
  }
  // A blank directory on list or convert: the runs may be on the disc all
  // the same, and carve finds them.
  const bool blank = s.evidence.kind == DiscKind::Blank;
  con.Note({source, blank && !directoryRead ? "no record directory to weigh: no records"
                    : s.evidence.Describe() + (blank && refuseUnknown ? "; try `zepconv carve`" : "")});
  return s;
}

}  // namespace zep::cli
