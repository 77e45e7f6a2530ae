#pragma once
// The one way a ".ZEP" record file is written, by the converters, the dump
// splitter and the carver alike: the 4096 zero bytes of its file header at
// once, then ping records, and its final name only when Finish() succeeds
// (OutputFile's temporary). The first failure discards the file and is kept:
// a caller that reads on (a carved run, a run of the dump) writes nothing
// more, and says problem() once.
//
// Bytes that could not be read are written as zeros and named in a GNU
// ddrescue mapfile beside the file (disc/unread_bytes.h; UnreadMapPath:
// HARBOUR.ZEP.map), which every reader of record files honours.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "disc/file.h"
#include "disc/unread_bytes.h"

namespace zep {

class RecordFileWriter {
 public:
  // Creates the file and queues its header; open() is false, with problem(),
  // when it cannot be created.
  explicit RecordFileWriter(const OutputTarget& target);
  RecordFileWriter() = default;  // not open

  bool open() const { return out_.open(); }
  bool failed() const { return out_.failed() || mapProblem_.has_value(); }
  // The file (or its map) as subject; kKeptExisting or kWriteFailed.
  Problem problem() const { return mapProblem_ ? *mapProblem_ : out_.problem(); }
  // The failure is an existing file that noClobber kept.
  bool clobberRefused() const { return out_.clobberRefused(); }
  const std::string& path() const { return out_.path(); }
  // Bytes written, the header's included.
  std::uint64_t written() const { return out_.written(); }

  // Appends ping bytes; false (and the file discarded) when the write fails,
  // or failed before.
  bool Write(std::span<const std::uint8_t> bytes);
  // Appends count zero bytes that stand for bytes that could not be read;
  // the map names them.
  bool WriteUnread(std::size_t count);
  // Bytes written by WriteUnread so far.
  std::uint64_t unread() const { return unread_.total(); }
  // Closes the file under its final name, its map first when it has unread
  // bytes; false, and the file discarded, when anything failed on the way.
  bool Finish();
  // Drops the file, leaving any earlier file of its name as it was.
  void Discard() { out_.Discard(); }

  // The file under it, for a copy that bypasses Write().
  OutputFile& output() { return out_; }

 private:
  OutputFile out_;
  UnreadBytes unread_;
  std::optional<Problem> mapProblem_;
  std::shared_ptr<OutputWatch> watch_;  // also told the map's bytes
};

}  // namespace zep
