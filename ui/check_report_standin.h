#pragma once
// STAND-IN until the check report moves out of zepconv (export/check_report.h,
// convert/disc_type.h): the same shape, so that only the include changes.
// Remove with that change.

#include <optional>
#include <string>

#include "convert/disc_check.h"
#include "convert/record_file.h"
#include "disc/aligned_buffer.h"
#include "disc/detect_type.h"
#include "disc/directory.h"
#include "disc/problem.h"
#include "disc/volume.h"

namespace zep {

struct CheckReport {
  std::string source;
  SourceType type = SourceType::Tk40;
  TypeEvidence evidence;
  RecordDirectory dir{};
  std::optional<Problem> directoryProblem;
  DiscHealth health;
};

inline std::string CheckReportJson(const CheckReport&) { return "{}\n"; }

inline TypeEvidence WeighDisc(const VolumeOpener& open, const RecordDirectory& dir) {
  VolumeOpenResult opened;
  AlignedBuffer sector(static_cast<std::size_t>(kZepSectorSize));
  return DetectDiscType(dir, [&](std::int64_t s) {
    if (!opened.volume && opened.error.empty()) opened = open();
    if (!opened.volume) return false;
    const ReadResult r = opened.volume->ReadAt(ZepSectorOffset(s), sector.span());
    return r.ok() && r.bytes == sector.size() && IsPlausiblePing(sector.data());
  });
}

}  // namespace zep
