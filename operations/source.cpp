#include "operations/source.h"

#include "convert/record_file.h"
#include "convert/record_file_probe.h"
#include "disc/aligned_buffer.h"
#include "operations/disc_words.h"

namespace zep {

std::optional<Problem> TooShortForDirectory(const std::string& source, std::int64_t size) {
  if (size < 0 || size >= static_cast<std::int64_t>(kDirectorySize)) return std::nullopt;
  return Problem{source,
                 (size == 0 ? std::string("empty") : std::to_string(size) + " bytes") + ", shorter than the " +
                     std::to_string(kDirectorySize) + "-byte record directory: there is no directory to read",
                 0, ProblemKind::kNoDirectory};
}

std::optional<Problem> RefusedAsDisc(Volume& volume, const std::string& source, bool needsDirectory) {
  if (std::optional<Problem> recordFile = RecordFileGivenAsDisc(volume, source)) return recordFile;
  if (!needsDirectory) return std::nullopt;
  return TooShortForDirectory(source, volume.Size());
}

namespace {

// A drive is refused in the Windows program's words, whichever face asks.
void SayOfDrive(Problem& p, char drive) {
  if (p.kind == ProblemKind::kNoDisc) p = {"", NoDiskMessage(drive) + "(" + p.what + ")", 0, p.kind};
  if (p.kind == ProblemKind::kNotADisc) p = {"", NotMoDiscMessage(drive), 0, p.kind};
}

}  // namespace

SourceOpen OpenSource(const std::string& source, const SourceOptions& options) {
  DiscSourceOpen opened = OpenDiscSource(source, {options.drive, options.mapfile, options.findMapfile, options.failedReads});
  SourceOpen r;
  if (!opened.disc) {
    r.problem = std::move(opened.problem);
    if (options.drive) SayOfDrive(*r.problem, *options.drive);
    return r;
  }
  r.mapfile = opened.disc->mapfile;
  r.problem = RefusedAsDisc(*opened.disc->volume, source, options.needsDirectory);
  if (!r.problem) r.disc = std::move(opened.disc);
  return r;
}

namespace {

bool OpensWithPing(Volume& volume, AlignedBuffer& sector, std::int64_t s) {
  const ReadResult r = volume.ReadAt(ZepSectorOffset(s), sector.span());
  return r.ok() && r.bytes == sector.size() && IsPlausiblePing(sector.data());
}

}  // namespace

TypeEvidence WeighOpenDisc(Volume& volume, const RecordDirectory& dir) {
  AlignedBuffer sector(static_cast<std::size_t>(kZepSectorSize));
  return DetectDiscType(dir, [&](std::int64_t s) { return OpensWithPing(volume, sector, s); });
}

TypeEvidence WeighDisc(const VolumeOpener& open, const RecordDirectory& dir) {
  VolumeOpenResult opened;
  AlignedBuffer sector(static_cast<std::size_t>(kZepSectorSize));
  return DetectDiscType(dir, [&](std::int64_t s) {
    if (!opened.volume && !opened.problem) opened = open();
    return opened.volume && OpensWithPing(*opened.volume, sector, s);
  });
}

SettledType SettleType(const std::string& source, const TypeEvidence& evidence, const TypeChoice& choice) {
  SettledType s;
  s.evidence = evidence;
  s.said = {source, evidence.Describe(), 0, ProblemKind::kOther};
  const std::optional<SourceType> found = evidence.type();
  if (choice.given) {
    s.type = *choice.given;
    if (evidence.RulesOut(*choice.given)) {
      // Read as the type no slot fits, every record would come out as junk.
      s.fault = TypeFault::kRuledOut;
      s.refused = !choice.force;
      s.said.kind = ProblemKind::kUsage;
    } else if (found && *found != *choice.given) {
      s.fault = TypeFault::kContradicted;
    }
    return s;
  }
  s.type = found.value_or(SourceType::Tk40);
  if (evidence.kind == DiscKind::Unknown) {
    s.fault = TypeFault::kUnknown;
    s.refused = choice.refuseUnknown;
    s.said.kind = ProblemKind::kNotADisc;
  }
  return s;
}

SettledType SettleDiscType(const std::string& source, const VolumeOpener& open, const RecordDirectory& dir,
                           const TypeChoice& choice) {
  return SettleType(source, WeighDisc(open, dir), choice);
}

}  // namespace zep
