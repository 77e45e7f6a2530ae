#include "convert/record_writer.h"

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
  unread_.Add(pos, static_cast<std::int64_t>(count));
  if (OutputWatch* watch = out_.watch()) watch->Unread(out_.path(), static_cast<std::uint64_t>(pos), count);
  return true;
}

bool RecordFileWriter::Finish() {
  OutputOptions mapOptions;
  mapOptions.watch = watch_;
  UnreadMapClose close =
      CloseWithUnreadMap(out_, unread_, "zepconv: bytes of the record file that could not be read", mapOptions);
  mapProblem_ = std::move(close.mapProblem);
  return close.closed;
}

}  // namespace zep
