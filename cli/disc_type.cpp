#include "cli/disc_type.h"

#include "convert/record_file.h"
#include "disc/aligned_buffer.h"

namespace zep::cli {

TypeEvidence WeighDisc(const VolumeOpener& open, const RecordDirectory& dir) {
  VolumeOpenResult opened;
  AlignedBuffer sector(static_cast<std::size_t>(kZepSectorSize));
  return DetectDiscType(dir, [&](std::int64_t s) {
    if (!opened.volume && !opened.problem) opened = open();
    if (!opened.volume) return false;
    const ReadResult r = opened.volume->ReadAt(ZepSectorOffset(s), sector.span());
    return r.ok() && r.bytes == sector.size() && IsPlausiblePing(sector.data());
  });
}

SettledType SettleType(Console& con, const std::string& source, const VolumeOpener& open,
                       const RecordDirectory& dir, std::optional<SourceType> given, bool refuseUnknown,
                       bool directoryRead) {
  SettledType s;
  s.evidence = WeighDisc(open, dir);
  const std::optional<SourceType> found = s.evidence.type();
  if (given) {
    s.type = *given;
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
