#include "convert/record_writer.h"

#include "convert/record_file.h"

namespace zep {

RecordFileWriter::RecordFileWriter(const OutputTarget& target)
    : out_(OutputFile::Create(target.path, target.options)) {
  if (out_.open()) out_.WriteZeros(kFileHeaderSize);
}

bool RecordFileWriter::Write(std::span<const std::uint8_t> bytes) {
  if (out_.Write(bytes)) return true;
  out_.Discard();
  return false;
}

bool RecordFileWriter::Finish() { return out_.Close(); }

}  // namespace zep
