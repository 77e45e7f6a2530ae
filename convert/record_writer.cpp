#include "convert/record_writer.h"

#include <filesystem>

#include "convert/record_file.h"

namespace zep {

RecordFileWriter::RecordFileWriter(const OutputTarget& target)
    : out_(OutputFile::Create(target.path, target.options)), watch_(target.options.watch) {
  if (out_.open()) out_.WriteZeros(kFileHeaderSize);
}

bool RecordFileWriter::Write(std::span<const std::uint8_t> bytes) {
  if (out_.Write(bytes)) return true;
  out_.Discard();
  return false;
}

bool RecordFileWriter::WriteUnread(std::size_t count) {
  if (count == 0) return !failed();
  const auto pos = static_cast<std::int64_t>(out_.written());
  if (!out_.WriteZeros(count)) {
    out_.Discard();
    return false;
  }
  const auto size = static_cast<std::int64_t>(count);
  if (!unreadBlocks_.empty() && unreadBlocks_.back().pos + unreadBlocks_.back().size == pos) {
    unreadBlocks_.back().size += size;
  } else {
    unreadBlocks_.push_back({pos, size, '-'});
  }
  unread_ += count;
  if (OutputWatch* watch = out_.watch()) watch->Unread(out_.path(), static_cast<std::uint64_t>(pos), count);
  return true;
}

// The file's map: '+' for every byte written as read, '-' for the others.
bool RecordFileWriter::PutMapInPlace() {
  RescueMap map;
  std::int64_t at = 0;
  for (const RescueBlock& b : unreadBlocks_) {
    if (b.pos > at) map.blocks.push_back({at, b.pos - at, '+'});
    map.blocks.push_back(b);
    at = b.pos + b.size;
  }
  const auto end = static_cast<std::int64_t>(out_.written());
  if (end > at) map.blocks.push_back({at, end - at, '+'});
  OutputOptions options;
  options.watch = watch_;
  OutputFile file = OutputFile::Create(RecordMapPath(out_.path()), options);
  const std::string text = FormatRescueMap(map, "zepconv: bytes of the record file that could not be read");
  file.Write({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
  if (file.Close()) return true;
  mapProblem_ = file.problem();
  return false;
}

bool RecordFileWriter::Finish() {
  if (failed()) {
    out_.Discard();
    return false;
  }
  const std::string mapPath = RecordMapPath(out_.path());
  if (unread_ == 0) {
    if (!out_.Close()) return false;
    // A map left by an earlier, damaged copy would now name good bytes as
    // lost; the file is in place, so losing the map costs nothing.
    std::error_code ec;
    if (std::filesystem::is_regular_file(mapPath, ec)) RemoveFile(mapPath);
    return true;
  }
  if (!PutMapInPlace()) {
    out_.Discard();
    return false;
  }
  if (out_.Close()) return true;
  RemoveFile(mapPath);  // the map of a file that is not there
  return false;
}

}  // namespace zep
