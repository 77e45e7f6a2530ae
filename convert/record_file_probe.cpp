#include "convert/record_file_probe.h"

#include "convert/record_file.h"
#include "disc/ascii.h"
#include "disc/aligned_buffer.h"
#include "disc/scan.h"

namespace zep {
namespace {

bool NamedZep(const std::string& path) {
  if (path.size() < 4) return false;
  return AsciiLower(std::string_view(path).substr(path.size() - 4)) == ".zep";
}

}  // namespace

std::optional<Problem> RecordFileGivenAsDisc(Volume& volume, const std::string& source) {
  if (volume.Size() == kDumpSize) return std::nullopt;
  AlignedBuffer head(2 * kFileHeaderSize);
  const ReadResult r = volume.ReadAt(0, head.span());
  if (r.bytes < kFileHeaderSize) return std::nullopt;
  const auto header = head.span().first(kFileHeaderSize);
  if (std::any_of(header.begin(), header.end(), [](std::uint8_t b) { return b != 0; })) return std::nullopt;
  const bool ping = r.bytes >= kFileHeaderSize + kPingHeaderSize && IsPlausiblePing(head.data() + kFileHeaderSize);
  if (!ping && !NamedZep(source)) return std::nullopt;
  return Problem{.subject = source,
                 .what = "a .ZEP record file, not a disc",
                 .kind = ProblemKind::kRecordFileAsDisc};
}

}  // namespace zep
