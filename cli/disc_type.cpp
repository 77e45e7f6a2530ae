#include "cli/disc_type.h"

#include "convert/carve.h"
#include "disc/aligned_buffer.h"

namespace zep::cli {

TypeEvidence WeighDisc(const VolumeOpener& open, const RecordDirectory& dir) {
  VolumeOpenResult opened;
  AlignedBuffer sector(static_cast<std::size_t>(kZepSectorSize));
  return DetectDiscType(dir, [&](std::int64_t s) {
    if (!opened.volume && opened.error.empty()) opened = open();
    if (!opened.volume) return false;
    const ReadResult r = opened.volume->ReadAt(ZepSectorOffset(s), sector.span());
    return r.ok() && r.bytes == sector.size() && PassesRunChecks(sector.data());
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
      con.note() << "zepconv: warning: " << source << " looks like " << s.evidence.Describe() << ", not a "
              << SourceTypeName(*given) << " disc; read as " << SourceTypeName(*given) << " as --type says\n";
    }
    return s;
  }
  s.type = found.value_or(SourceType::Tk40);
  if (s.evidence.kind == DiscKind::Unknown && refuseUnknown) {
    con.err << "zepconv: " << source << ": " << s.evidence.Describe()
            << "; give --type tk40 or --type zep to read it all the same\n";
    s.refused = true;
    return s;
  }
  con.note() << "zepconv: " << source << ": "
             << (s.evidence.kind == DiscKind::Blank && !directoryRead ? "no record directory to weigh: no records"
                                                                      : s.evidence.Describe())
             << '\n';
  return s;
}

}  // namespace zep::cli
