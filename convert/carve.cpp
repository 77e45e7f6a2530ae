#include "convert/carve.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>

#include "convert/record_file.h"
#include "convert/volume_stream.h"
#include "convert/record_writer.h"
#include "disc/aligned_buffer.h"

namespace zep {
namespace {

std::uint32_t PingIndexOf(const std::uint8_t* header) { return GetU32(header + ping::kPingIndex); }
std::size_t RecordLength(const std::uint8_t* header) { return kPingHeaderSize + GetU16(header + ping::kSampleCount); }

// Where a run's records are copied from: its records lie back to back on
// the volume, so they are written as stretches of it, by the system where it
// can (OutputFile::CopyFrom), from the window otherwise.
struct RunSource {
  Volume& volume;
  VolumeStream& stream;
  // Unknown until the first stretch: that one the window still holds when
  // the system declines it. Once the system has copied one, stretches grow
  // long (fewer, larger copies); should it stop later, the rest is read again.
  enum class Copier { Unknown, System, Window } copier = Copier::Unknown;
  AlignedBuffer again;  // for reading again, made when first needed
};

// One record file being written; the first failure is remembered and the run
// is read on without it, so the search goes on where it would have.
class RunFile {
 public:
  // The longest stretch held back: the window still holds all of it, with
  // the record that follows, when the system declines it.
  static constexpr std::uint64_t kStretch = VolumeStream::kMaxView - kPingHeaderSize - kMaxSampleCount;
  static constexpr std::uint64_t kSystemStretch = 8 << 20;

  RunFile(const CarveOptions& options, std::uint64_t offset, CarveResult& res, RunSource& source)
      : res_(res), source_(source), begin_(offset), end_(offset) {
    const std::string& dir = options.outDir;
    file_.offset = offset;
    const auto separator = static_cast<char>(std::filesystem::path::preferred_separator);
    const bool joined = dir.empty() || dir.back() == '/' || dir.back() == separator;
    file_.path = dir + (joined ? "" : std::string(1, separator)) + CarvedFileName(offset);
    out_ = RecordFileWriter({file_.path, options.output});
    if (!out_.open()) res_.failures.push_back({"", out_.error()});
  }
  // The record at pos, which follows the one before.
  void Write(std::uint64_t pos, std::size_t length) {
    ++file_.pings;
    const bool system = source_.copier == RunSource::Copier::System;
    if (end_ - begin_ + length > (system ? kSystemStretch : kStretch)) Flush();
    if (begin_ == end_) begin_ = end_ = pos;
    end_ = pos + length;
  }
  ~RunFile() {
    Flush();
    if (!out_.open()) return;
    if (out_.Finish()) res_.files.push_back(file_);
    else res_.failures.push_back({"", out_.error()});
  }
  RunFile(const RunFile&) = delete;
  RunFile& operator=(const RunFile&) = delete;

 private:
  void Flush() {
    const std::uint64_t size = end_ - begin_;
    begin_ = end_;
    if (!out_.open() || size == 0) return;
    const std::uint64_t from = end_ - size;
    const RunSource::Copier copier = source_.copier;
    std::uint64_t copied = 0;
    if (copier != RunSource::Copier::Window) {
      copied = static_cast<std::uint64_t>(
          out_.output().CopyFrom(source_.volume, static_cast<std::int64_t>(from), static_cast<std::int64_t>(size)));
      source_.copier = copied == size ? RunSource::Copier::System : RunSource::Copier::Window;
    }
    if (copied == size) return;
    if (copier == RunSource::Copier::System) WriteReadAgain(from + copied, size - copied);
    else if (!out_.Write(source_.stream.At(from + copied, static_cast<std::size_t>(size - copied)))) Failed(out_.error());
  }

  void Failed(std::string text) {
    res_.failures.push_back({"", std::move(text)});
    out_.Discard();
  }

  // Bytes the window has passed, read off the volume again in whole sectors.
  // They read before, so a failure now is the drive's, and the file's.
  void WriteReadAgain(std::uint64_t pos, std::uint64_t size) {
    if (source_.again.size() == 0) source_.again = AlignedBuffer(1 << 20);
    const auto sector = static_cast<std::uint64_t>(kZepSectorSize);
    while (size > 0 && out_.open()) {
      const std::uint64_t first = pos / sector * sector, skip = pos - first;
      const std::size_t asked = static_cast<std::size_t>(
          std::min<std::uint64_t>(source_.again.size(), (skip + size + sector - 1) / sector * sector));
      const ReadResult r = source_.volume.ReadAt(static_cast<std::int64_t>(first), source_.again.span().first(asked));
      const std::uint64_t got = r.ok() ? r.bytes : 0;
      if (got <= skip) return Failed(out_.path() + ": " + (r.ok() ? "the volume ended early" : r.error));
      const std::uint64_t n = std::min(got - skip, size);
      if (!out_.Write({source_.again.data() + skip, static_cast<std::size_t>(n)})) return Failed(out_.error());
      pos += n;
      size -= n;
    }
  }

  CarveResult& res_;
  RunSource& source_;
  CarvedFile file_;
  RecordFileWriter out_;
  std::uint64_t begin_, end_;  // the stretch not yet written
};

class Carver {
 public:
  Carver(Volume& volume, const CarveOptions& options)
      : options_(options), stream_(volume, 0), source_{volume, stream_, RunSource::Copier::Unknown, {}} {
    stream_.onRead = options.progress;
  }

  CarveResult Run() {
    std::uint64_t pos = 0;
    while (const auto candidate = NextMagic(pos)) {
      pos = StartsRun(*candidate) ? WalkRun(*candidate) : *candidate + 1;
    }
    res_.bytesRead = stream_.reached();
    res_.unreadableSectors = stream_.unreadableSectors();
    res_.firstReadError = stream_.firstError();
    return std::move(res_);
  }

 private:
  std::optional<std::uint64_t> NextMagic(std::uint64_t from) {
    for (std::uint64_t pos = from;;) {
      const auto d = stream_.From(pos, VolumeStream::kMaxView);
      if (d.size() < 4) return std::nullopt;
      if (const auto at = FindMagic(d)) return pos + *at;
      pos += d.size() - 3;  // a magic may begin in the last three bytes
    }
  }

  // The record at pos, whole and readable, when it passes the checks (and
  // follows the ping numbered previousIndex, when there is one).
  std::optional<std::span<const std::uint8_t>> RecordAt(std::uint64_t pos,
                                                        std::optional<std::uint32_t> previousIndex = {}) {
    const auto header = stream_.At(pos, kPingHeaderSize);
    if (header.size() < kPingHeaderSize || !IsPlausiblePing(header.data(), previousIndex)) return std::nullopt;
    const std::size_t length = RecordLength(header.data());
    const auto record = stream_.At(pos, length);
    if (record.size() < length || stream_.Unreadable(pos, length)) return std::nullopt;
    return record;
  }

  // Two records in a row, numbered one after the other: the shortest run.
  bool StartsRun(std::uint64_t pos) {
    const auto first = RecordAt(pos);
    return first && RecordAt(pos + first->size(), PingIndexOf(first->data()));
  }

  bool LeftOut(std::uint64_t pos, std::size_t length) const {
    return std::any_of(options_.leaveOut.begin(), options_.leaveOut.end(),
                       [&](const ByteRange& r) { return r.begin <= pos && pos + length <= r.end; });
  }

  // Writes the run from pos and gives the offset of the record that ended it.
  // Records inside listed ones are passed over; each stretch of the run
  // outside them gets a file of its own.
  std::uint64_t WalkRun(std::uint64_t pos) {
    ++res_.runs;
    std::optional<RunFile> file;
    std::optional<std::uint32_t> index;
    for (;;) {
      const auto record = RecordAt(pos, index);
      if (!record) break;
      index = PingIndexOf(record->data());
      if (LeftOut(pos, record->size())) {
        file.reset();
        ++res_.pingsLeftOut;
      } else {
        if (!file) file.emplace(options_, pos, res_, source_);
        file->Write(pos, record->size());
      }
      pos += record->size();
    }
    return pos;
  }

  const CarveOptions& options_;
  VolumeStream stream_;
  RunSource source_;
  CarveResult res_;
};

}  // namespace

std::string CarvedFileName(std::uint64_t offset) {
  char name[48];
  std::snprintf(name, sizeof name, "carved-%012llu.zep", static_cast<unsigned long long>(offset));
  return name;
}

CarveResult CarveRuns(Volume& volume, const CarveOptions& options) { return Carver(volume, options).Run(); }

}  // namespace zep
