#include "disc/unread_bytes.h"

#include "disc/text_file.h"

#include <filesystem>

namespace zep {

void UnreadBytes::Add(std::int64_t pos, std::int64_t size) {
  if (size <= 0) return;
  if (!blocks_.empty() && blocks_.back().pos + blocks_.back().size == pos) blocks_.back().size += size;
  else blocks_.push_back({pos, size, '-'});
  total_ += static_cast<std::uint64_t>(size);
}

RescueMap UnreadBytes::Map(std::int64_t size) const {
  RescueMap map;
  std::int64_t at = 0;
  for (const RescueBlock& b : blocks_) {
    if (b.pos > at) map.blocks.push_back({at, b.pos - at, '+'});
    map.blocks.push_back(b);
    at = b.pos + b.size;
  }
  if (size > at) map.blocks.push_back({at, size - at, '+'});
  return map;
}

namespace {

std::optional<Problem> PutMapInPlace(const OutputFile& out, const UnreadBytes& unread, std::string_view creator,
                                     const OutputOptions& mapOptions) {
  const std::string text = FormatRescueMap(unread.Map(static_cast<std::int64_t>(out.written())), creator);
  return WriteTextFile(UnreadMapPath(out.path()), text, mapOptions);
}

}  // namespace

UnreadMapClose CloseWithUnreadMap(OutputFile& out, const UnreadBytes& unread, std::string_view creator,
                                  const OutputOptions& mapOptions) {
  UnreadMapClose result;
  if (out.failed()) {
    out.Discard();
    return result;
  }
  const std::string mapPath = UnreadMapPath(out.path());
  std::error_code ec;
  // A device (/dev/null) has no file beside it for a map.
  if (std::filesystem::exists(out.path(), ec) && !std::filesystem::is_regular_file(out.path(), ec)) {
    result.closed = out.Close();
    return result;
  }
  if (unread.total() == 0) {
    if (!out.Close()) return result;
    // A map left by an earlier, damaged copy would now name good bytes as
    // lost; the file is in place, so losing the map costs nothing.
    if (std::filesystem::is_regular_file(mapPath, ec)) RemoveFile(mapPath);
    result.closed = true;
    return result;
  }
  result.mapProblem = PutMapInPlace(out, unread, creator, mapOptions);
  if (result.mapProblem) {
    out.Discard();
    return result;
  }
  result.closed = out.Close();
  result.mapWritten = result.closed;
  if (!result.closed) RemoveFile(mapPath);  // the map of a file that is not there
  return result;
}

}  // namespace zep
