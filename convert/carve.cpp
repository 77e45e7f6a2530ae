#include "convert/carve.h"

#include "convert/carve_parts.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>

#include "convert/record_file.h"
#include "convert/volume_stream.h"
#include "convert/record_writer.h"
#include "disc/scan.h"

namespace zep {
namespace {

std::uint32_t PingIndexOf(const std::uint8_t* header) { return GetU32(header + ping::kPingIndex); }
std::size_t RecordLength(const std::uint8_t* header) { return kPingHeaderSize + GetU16(header + ping::kSampleCount); }

// One record file being written; the first failure is remembered and the run
// is read on without it, so the search goes on where it would have.
class RunFile {
 public:
  RunFile(const CarveOptions& options, std::uint64_t offset, CarveResult& res) : res_(res) {
    file_.offset = offset;
    file_.path = CarvedPath(options.outDir, offset);
    out_ = RecordFileWriter({file_.path, options.output});
    if (!out_.open()) res_.failures.push_back(out_.problem());
  }
  void Write(std::span<const std::uint8_t> record) {
    ++file_.pings;
    if (out_.open() && !out_.Write(record)) res_.failures.push_back(out_.problem());
  }
  ~RunFile() {
    if (!out_.open()) return;
    if (out_.Finish()) res_.files.push_back(file_);
    else res_.failures.push_back(out_.problem());
  }
  RunFile(const RunFile&) = delete;
  RunFile& operator=(const RunFile&) = delete;

 private:
  CarveResult& res_;
  CarvedFile file_;
  RecordFileWriter out_;
};

// The search for runs of ping records, from byte from of the stream to its
// end.
class Carver {
 public:
  Carver(VolumeStream& stream, const CarveOptions& options, std::uint64_t from)
      : options_(options), stream_(stream), from_(from) {}

  CarveResult Run() {
    std::uint64_t pos = from_;
    while (const auto candidate = NextMagic(stream_, pos)) {
      pos = StartsRun(*candidate) ? WalkRun(*candidate) : *candidate + 1;
    }
    return std::move(res_);
  }

 private:
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


  // Writes the run from pos and gives the offset of the record that ended it.
  // Records a conversion writes are passed over; each stretch of the run
  // outside them gets a file of its own.
  std::uint64_t WalkRun(std::uint64_t pos) {
    ++res_.runs;
    std::optional<RunFile> file;
    std::optional<std::uint32_t> index;
    for (;;) {
      const auto record = RecordAt(pos, index);
      if (!record) break;
      index = PingIndexOf(record->data());
      if (InsideWritten(options_.written, pos, record->size())) {
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
  VolumeStream& stream_;
  const std::uint64_t from_;
  CarveResult res_;
};

}  // namespace

std::string CarvedFileName(std::uint64_t offset) {
  char name[48];
  std::snprintf(name, sizeof name, "carved-%012llu.zep", static_cast<unsigned long long>(offset));
  return name;
}

bool IsCarvedFile(const std::string& path) {
  const std::string name = std::filesystem::path(path).filename().string();
  constexpr std::string_view kHead = "carved-", kTail = ".zep";
  if (name.size() < kHead.size() + 12 + kTail.size() || !name.starts_with(kHead) || !name.ends_with(kTail)) return false;
  const std::string_view digits = std::string_view(name).substr(kHead.size(), name.size() - kHead.size() - kTail.size());
  return std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string CarvedPath(const std::string& dir, std::uint64_t offset) {
  const auto separator = static_cast<char>(std::filesystem::path::preferred_separator);
  const bool joined = dir.empty() || dir.back() == '/' || dir.back() == separator;
  return dir + (joined ? "" : std::string(1, separator)) + CarvedFileName(offset);
}

bool InsideWritten(const std::vector<ByteRange>& written, std::uint64_t pos, std::uint64_t length) {
  // The last range that begins at or before pos is the only one that can hold it.
  auto after = std::upper_bound(written.begin(), written.end(), pos,
                                [](std::uint64_t p, const ByteRange& r) { return p < r.begin; });
  return after != written.begin() && pos + length <= std::prev(after)->end;
}

void TellUnread(const VolumeStream& stream, CarveResult& res) {
  res.notTriedSectors = stream.notTriedSectors();
  res.unreadableSectors = stream.unreadableSectors() - res.notTriedSectors;
  if (res.unreadableSectors > 0) {
    res.readProblem = stream.firstTried();
    res.readProblem->units = res.unreadableSectors;
  }
  if (res.notTriedSectors > 0) {
    res.notTriedProblem = stream.firstNotTried();
    res.notTriedProblem->units = res.notTriedSectors;
  }
}

Problems UnreadProblems(const CarveResult& r) {
  Problems problems;
  const auto count = [](std::int64_t n) { return std::to_string(n) + (n == 1 ? " sector" : " sectors"); };
  if (r.readProblem) {
    problems.push_back({"", count(r.unreadableSectors) + " could not be read (first: " + r.readProblem->what +
                                "); runs end at them",
                        r.unreadableSectors, ProblemKind::kUnreadable});
  }
  if (r.notTriedProblem) {
    problems.push_back({"", count(r.notTriedSectors) + " were never tried by GNU ddrescue (first: " +
                                r.notTriedProblem->what + "); runs end at them",
                        r.notTriedSectors, ProblemKind::kNotTried});
  }
  return problems;
}

namespace {

// Adds what the search for ping records found to the TK40 search's result,
// files in offset order.
void Merge(CarveResult& res, CarveResult more) {
  res.files.insert(res.files.end(), more.files.begin(), more.files.end());
  std::stable_sort(res.files.begin(), res.files.end(),
                   [](const CarvedFile& a, const CarvedFile& b) { return a.offset < b.offset; });
  res.failures.insert(res.failures.end(), more.failures.begin(), more.failures.end());
  res.runs += more.runs;
  res.pingsLeftOut += more.pingsLeftOut;
}

}  // namespace

CarveResult CarveRuns(Volume& volume, const CarveOptions& options) {
  // A TK40 disc holds ping records only where they were copied onto it: in
  // the scan dump area, which the dump splitter searches for them. A disc
  // whose type nothing tells is searched for them everywhere.
  const bool blocks = options.type != SourceType::ZepV1;
  const std::uint64_t from =
      options.type == SourceType::Tk40 ? std::max<std::uint64_t>(options.from, kDumpOffset) : options.from;
  const std::uint64_t begin = blocks ? std::min<std::uint64_t>(from, Tk40BlockOffset(0)) : from;
  VolumeStream stream(volume, static_cast<std::int64_t>(begin));
  stream.onRead = options.progress;
  std::optional<Tk40Search> tk40;
  if (blocks) {
    tk40.emplace(volume, options, begin);
    stream.Observe(&*tk40);
  }
  CarveResult res = Carver(stream, options, from).Run();
  stream.ReadToEnd();  // the TK40 search sees every block
  if (tk40) {
    CarveResult found = tk40->Finish();
    Merge(found, std::move(res));
    res = std::move(found);
  }
  res.bytesRead = stream.reached() - begin;
  TellUnread(stream, res);
  return res;
}

}  // namespace zep
