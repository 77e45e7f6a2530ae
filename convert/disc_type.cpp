#include "convert/disc_type.h"

#include "convert/record_file.h"
#include "disc/aligned_buffer.h"

namespace zep {

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

}  // namespace zep
