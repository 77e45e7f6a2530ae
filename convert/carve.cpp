#include "convert/carve.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>

#include "convert/record_file.h"
#include "convert/volume_stream.h"
#include "disc/file.h"

namespace zep {
namespace {

bool IsBcd(unsigned byte) { return (byte & 0x0F) <= 9 && (byte >> 4) <= 9; }
unsigned FromBcd(unsigned byte) { return (byte >> 4) * 10 + (byte & 0x0F); }

std::uint32_t PingIndexOf(const std::uint8_t* header) { return GetU32(header + ping::kPingIndex); }
std::size_t RecordLength(const std::uint8_t* header) { return kPingHeaderSize + GetU16(header + ping::kSampleCount); }

// One record file being written; the first failure is remembered and the run
// is read on without it, so the search goes on where it would have.
class RunFile {
 public:
  RunFile(const CarveOptions& options, std::uint64_t offset, CarveResult& res) : res_(res) {
    const std::string& dir = options.outDir;
    file_.offset = offset;
    const auto separator = static_cast<char>(std::filesystem::path::preferred_separator);
    const bool joined = dir.empty() || dir.back() == '/' || dir.back() == separator;
    file_.path = dir + (joined ? "" : std::string(1, separator)) + CarvedFileName(offset);
    out_ = OutputFile::Create(file_.path, options.output);
    if (out_.open()) out_.WriteZeros(kFileHeaderSize);
    else res_.failures.push_back(out_.clobberRefused() ? out_.error() : file_.path + ": " + out_.error());
  }
  void Write(std::span<const std::uint8_t> record) {
    ++file_.pings;
    if (out_.open() && !out_.Write(record)) Fail();
  }
  ~RunFile() {
    if (!out_.open()) return;
    if (out_.Close()) res_.files.push_back(file_);
    else Fail();
  }
  RunFile(const RunFile&) = delete;
  RunFile& operator=(const RunFile&) = delete;

 private:
  void Fail() {
    res_.failures.push_back(file_.path + ": " + out_.error());
    out_.Discard();
  }
  CarveResult& res_;
  CarvedFile file_;
  OutputFile out_;
};

class Carver {
 public:
  Carver(Volume& volume, const CarveOptions& options) : options_(options), stream_(volume, 0) {
    stream_.onRead = options.progress;
  }

  CarveResult Run() {
    std::uint64_t pos = 0;
    while (const auto candidate = FindMagic(pos)) {
      pos = StartsRun(*candidate) ? WalkRun(*candidate) : *candidate + 1;
    }
    res_.bytesRead = stream_.reached();
    res_.unreadableSectors = stream_.unreadableSectors();
    res_.firstReadError = stream_.firstError();
    return std::move(res_);
  }

 private:
  std::optional<std::uint64_t> FindMagic(std::uint64_t from) {
    for (std::uint64_t pos = from;;) {
      const auto d = stream_.From(pos, VolumeStream::kMaxView);
      if (d.size() < 4) return std::nullopt;
      const std::uint8_t* p = d.data();
      const std::uint8_t* last = d.data() + d.size() - 3;
      while (p < last) {
        p = static_cast<const std::uint8_t*>(std::memchr(p, 'V', static_cast<std::size_t>(last - p)));
        if (!p) break;
        if (HasPingMagic(p)) return pos + static_cast<std::uint64_t>(p - d.data());
        ++p;
      }
      pos += d.size() - 3;  // a magic may begin in the last three bytes
    }
  }

  // The record at pos, whole and readable, when it passes the checks.
  std::optional<std::span<const std::uint8_t>> RecordAt(std::uint64_t pos) {
    const auto header = stream_.At(pos, kPingHeaderSize);
    if (header.size() < kPingHeaderSize || !PassesRunChecks(header.data())) return std::nullopt;
    const std::size_t length = RecordLength(header.data());
    const auto record = stream_.At(pos, length);
    if (record.size() < length || stream_.Unreadable(pos, length)) return std::nullopt;
    return record;
  }

  // Two records in a row, numbered one after the other: the shortest run.
  bool StartsRun(std::uint64_t pos) {
    const auto first = RecordAt(pos);
    if (!first) return false;
    const std::uint32_t index = PingIndexOf(first->data());
    const auto second = RecordAt(pos + first->size());
    return second && PingIndexOf(second->data()) == index + 1;
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
      const auto record = RecordAt(pos);
      if (!record || (index && PingIndexOf(record->data()) != *index + 1)) break;
      index = PingIndexOf(record->data());
      if (LeftOut(pos, record->size())) {
        file.reset();
        ++res_.pingsLeftOut;
      } else {
        if (!file) file.emplace(options_, pos, res_);
        file->Write(*record);
      }
      pos += record->size();
    }
    return pos;
  }

  const CarveOptions& options_;
  VolumeStream stream_;
  CarveResult res_;
};

}  // namespace

bool IsBcdDate(std::uint16_t year, std::uint8_t month, std::uint8_t day) {
  if (!IsBcd(year >> 8) || !IsBcd(year & 0xFF) || !IsBcd(month) || !IsBcd(day)) return false;
  const unsigned y = FromBcd(year >> 8) * 100 + FromBcd(year & 0xFF), m = FromBcd(month), d = FromBcd(day);
  if (m < 1 || m > 12 || d < 1) return false;
  static constexpr unsigned kDays[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return d <= (m == 2 && !leap ? 28 : kDays[m - 1]);
}

bool PassesRunChecks(const std::uint8_t* header) {
  if (!HasPingMagic(header)) return false;
  const auto samples = SampleCountForMode(header[ping::kMode]);
  return samples && *samples == GetU16(header + ping::kSampleCount) &&
         IsBcdDate(GetU16(header + ping::kYear), header[ping::kMonth], header[ping::kDay]);
}

std::string CarvedFileName(std::uint64_t offset) {
  char name[48];
  std::snprintf(name, sizeof name, "carved-%012llu.zep", static_cast<unsigned long long>(offset));
  return name;
}

CarveResult CarveRuns(Volume& volume, const CarveOptions& options) { return Carver(volume, options).Run(); }

}  // namespace zep
