#include "convert/record_file.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <vector>

#include "disc/civil_date.h"
#include "disc/file.h"

namespace zep {

std::optional<std::size_t> FindMagic(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < sizeof kPingMagic) return std::nullopt;
  const std::uint8_t* first = bytes.data();
  const std::uint8_t* last = first + bytes.size() - 3;  // candidate starts: [first, last)
  for (const std::uint8_t* p = first; p < last; ++p) {
    p = static_cast<const std::uint8_t*>(std::memchr(p, 'V', static_cast<std::size_t>(last - p)));
    if (!p) break;
    if (HasPingMagic(p)) return static_cast<std::size_t>(p - first);
  }
  return std::nullopt;
}

bool IsPlausiblePing(const std::uint8_t* header, std::optional<std::uint32_t> previousIndex) {
  if (!HasPingMagic(header)) return false;
  const auto samples = SampleCountForMode(header[ping::kMode]);
  return samples && *samples == GetU16(header + ping::kSampleCount) &&
         DateFromBcd(GetU16(header + ping::kYear), header[ping::kMonth], header[ping::kDay]) &&
         (!previousIndex || GetU32(header + ping::kPingIndex) == *previousIndex + 1);
}

std::optional<std::size_t> FindResumingPing(std::span<const std::uint8_t> bytes,
                                            std::optional<std::uint32_t> lastIndex,
                                            const std::function<bool(std::size_t)>& headerUnread) {
  if (bytes.size() < kPingHeaderSize) return std::nullopt;
  // Headers that fit in bytes start at 0 .. size - 256.
  const std::size_t starts = bytes.size() - kPingHeaderSize + 1;
  for (std::size_t i = 0; const auto m = FindMagic(bytes.subspan(i, starts - i + 3)); ++i) {
    i += *m;
    const std::uint8_t* p = bytes.data() + i;
    if (IsPlausiblePing(p) && (!lastIndex || GetU32(p + ping::kPingIndex) > *lastIndex) && !headerUnread(i)) {
      return i;
    }
  }
  return std::nullopt;
}

std::string GpsTextOf(const std::uint8_t* header) {
  const std::uint8_t* text = header + ping::kGpsText;
  const std::uint8_t* end = std::find(text, text + ping::kGpsTextSize, std::uint8_t{0x0D});
  return std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(end - text));
}

PingInfo ReadPingInfo(const std::uint8_t* header, std::uint64_t offset) {
  PingInfo info;
  info.offset = offset;
  info.sampleCount = GetU16(header + ping::kSampleCount);
  info.pingIndex = GetU32(header + ping::kPingIndex);
  info.mode = header[ping::kMode];
  info.flags = header[ping::kFlags];
  info.year = GetU16(header + ping::kYear);
  info.month = header[ping::kMonth];
  info.day = header[ping::kDay];
  std::copy_n(header, kPingHeaderSize, info.header.begin());
  return info;
}

// The bytes being walked, seen through a window that moves front to back:
// the whole span in memory, or a buffer refilled from the file. A view holds
// a whole ping record at most (256 + 65535 bytes).
class PingReader::Window {
 public:
  using ByteSource = PingReader::ByteSource;
  static constexpr std::size_t kCapacity = 256 * 1024;
  static constexpr std::size_t kMaxView = kCapacity / 2;

  explicit Window(std::span<const std::uint8_t> bytes) : data_(bytes.data()), end_(bytes.size()), eof_(true) {}
  explicit Window(ByteSource source) : source_(std::move(source)), buffer_(kCapacity) { data_ = buffer_.data(); }

  std::uint64_t pos() const { return base_ + start_; }
  // Up to n bytes from pos(), fewer only at the end of the file.
  std::span<const std::uint8_t> Peek(std::size_t n) {
    if (end_ - start_ < n && !eof_) Refill(n);
    return {data_ + start_, std::min(n, end_ - start_)};
  }
  void Drop(std::size_t n) { start_ += n; }
  // Passes over the rest of the file; how many bytes that was.
  std::uint64_t DropAll() {
    std::uint64_t n = 0;
    for (auto v = Peek(kMaxView); !v.empty(); v = Peek(kMaxView)) {
      n += v.size();
      Drop(v.size());
    }
    return n;
  }
  const std::optional<Problem>& problem() const { return problem_; }

 private:
  void Refill(std::size_t n) {
    std::memmove(buffer_.data(), buffer_.data() + start_, end_ - start_);
    base_ += start_;
    end_ -= start_;
    start_ = 0;
    while (end_ < n && !eof_) {
      const ReadResult r = source_(std::span(buffer_.data() + end_, buffer_.size() - end_));
      if (!r.ok()) problem_ = r.problem;
      if (!r.ok() || r.bytes == 0) eof_ = true;
      end_ += r.bytes;
    }
  }

  ByteSource source_;
  std::vector<std::uint8_t> buffer_;
  const std::uint8_t* data_ = nullptr;
  std::uint64_t base_ = 0;  // file offset of data_[0]
  std::size_t start_ = 0, end_ = 0;
  bool eof_ = false;
  std::optional<Problem> problem_;
};

namespace {

std::string At(std::uint64_t pos) { return " at byte " + std::to_string(pos); }
Problem Said(ProblemKind kind, std::string what, std::string subject = {}) {
  Problem p;
  p.subject = std::move(subject);
  p.what = std::move(what);
  p.kind = kind;
  return p;
}

bool AllZero(std::span<const std::uint8_t> b) {
  return std::all_of(b.begin(), b.end(), [](std::uint8_t x) { return x == 0; });
}

}  // namespace

std::uint32_t PingInfo::UnreadSamples() const {
  std::uint32_t n = 0;
  for (const SampleRange& r : unread) n += r.end - r.begin;
  return n;
}

std::string DescribeGap(const WalkGap& gap) {
  std::string text = gap.begin == gap.end ? gap.problem.what + At(gap.begin) + ", "
                                          : "bytes " + std::to_string(gap.begin) + " to " + std::to_string(gap.end - 1) +
                                                " (" + gap.problem.what + "), ";
  const std::uint64_t first = gap.firstMissing(), n = gap.missing();
  if (n == 0) return text + "no ping missing";
  if (n == 1) return text + "ping " + std::to_string(first) + " missing";
  return text + "pings " + std::to_string(first) + " to " + std::to_string(first + n - 1) + " missing";
}

std::uint64_t RecordWalk::MissingPings() const {
  std::uint64_t n = 0;
  for (const WalkGap& g : gaps) n += g.missing();
  return n;
}

std::optional<Problem> RecordWalk::Unusable(const std::string& path) const {
  if (!opened) return problems.front();
  if (NotRecordFile()) return Problem{path, "not a .ZEP record file", 0, ProblemKind::kNotRecordFile};
  return std::nullopt;
}

std::string RecordWalk::NotWholeText() const {
  std::string text;
  const auto add = [&text](const std::string& part) { text += (text.empty() ? "" : "; ") + part; };
  if (!gaps.empty()) {
    const std::size_t n = gaps.size();
    add(std::to_string(n) + (n == 1 ? " hole: " : " holes, the first: ") + DescribeGap(gaps.front()));
  }
  if (unreadPings > 0) {
    add(std::to_string(unreadPings) + (unreadPings == 1 ? " ping has " : " pings have ") + std::to_string(unreadSamples) +
        " samples that could not be read");
  } else if (unreadBytes > 0) {
    add(std::to_string(unreadBytes) + " bytes could not be read");
  }
  for (const Problem& p : problems) add(p.what);
  return text;
}

ProblemKind RecordWalk::NotWholeKind() const {
  const auto any = [](const auto& items, ProblemKind kind, auto problemOf) {
    return std::any_of(items.begin(), items.end(), [&](const auto& i) { return problemOf(i).kind == kind; });
  };
  const auto ofGap = [](const WalkGap& g) -> const Problem& { return g.problem; };
  const auto itself = [](const Problem& p) -> const Problem& { return p; };
  if (unreadBytes > 0 || any(gaps, ProblemKind::kUnreadable, ofGap) || any(problems, ProblemKind::kUnreadable, itself)) {
    return ProblemKind::kUnreadable;
  }
  if (any(problems, ProblemKind::kPastEnd, itself)) return ProblemKind::kPastEnd;
  return ProblemKind::kOther;
}

PingReader::PingReader(std::span<const std::uint8_t> file, std::shared_ptr<const RescueMap> unread)
    : window_(std::make_unique<Window>(file)), map_(std::move(unread)) {}

PingReader::PingReader(const std::string& path) {
  const auto refuse = [this](Problem problem) {
    walk_.opened = false;
    walk_.problems.push_back(std::move(problem));
    done_ = true;
  };
  InputFile file = InputFile::Open(path);
  if (!file.open()) {
    refuse(file.problem());
    return;
  }
  // Without its map, the zeros that stand for unread bytes would pass for
  // samples: a map that cannot be read, or that describes another length,
  // stops the walk.
  const std::string mapPath = UnreadMapPath(path);
  std::error_code ec;
  if (std::filesystem::is_regular_file(mapPath, ec)) {
    RescueMapLoad load = LoadRescueMap(mapPath);
    if (!load.map) {
      load.problem->what += "; which bytes of " + path + " were read is not known";
      refuse(*load.problem);
      return;
    }
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (!ec && static_cast<std::uintmax_t>(load.map->End()) != size) {
      refuse(Said(ProblemKind::kOther, "describes " + std::to_string(load.map->End()) + " bytes, but " + path +
                                           " has " + std::to_string(size) + ": it is the map of another copy of the file",
                  mapPath));
      return;
    }
    map_ = std::make_shared<const RescueMap>(std::move(*load.map));
  }
  auto shared = std::make_shared<InputFile>(std::move(file));
  window_ = std::make_unique<Window>([shared](std::span<std::uint8_t> buf) { return shared->Read(buf); });
}

PingReader::PingReader(ByteSource source, std::shared_ptr<const RescueMap> unread)
    : window_(std::make_unique<Window>(std::move(source))), map_(std::move(unread)) {}

PingReader::~PingReader() = default;

void PingReader::Stop(ProblemKind kind, std::string what) {
  walk_.problems.push_back(Said(kind, std::move(what)));
}

bool PingReader::HeaderUnread(std::uint64_t pos, std::size_t n) const {
  return map_ && map_->UnrescuedBytes(static_cast<std::int64_t>(pos), static_cast<std::int64_t>(pos + n)) > 0;
}

bool PingReader::Start() {
  started_ = true;
  const auto header = window_->Peek(kFileHeaderSize);
  walk_.size = header.size();
  if (header.size() < kFileHeaderSize) {
    Stop(ProblemKind::kPastEnd, "file header cut short: " + std::to_string(header.size()) + " of 4096 bytes");
    walk_.stoppedAt = header.size();
    window_->Drop(header.size());
    return false;
  }
  walk_.headerZero = AllZero(header);
  window_->Drop(kFileHeaderSize);
  return true;
}

bool PingReader::Next() {
  if (done_) return false;
  if (!started_ && !Start()) {
    Finish();
    return false;
  }
  for (;;) {
    const std::uint64_t pos = window_->pos();
    const auto header = window_->Peek(kPingHeaderSize);
    walk_.stoppedAt = pos;
    if (header.empty()) break;  // the end, right after a whole ping (or the file header)
    // A header with a byte that was not read says nothing for certain, not
    // even where the next ping starts.
    if (HeaderUnread(pos, header.size())) {
      if (Resync(pos, Said(ProblemKind::kUnreadable, "header not read" + At(pos)))) continue;
      break;
    }
    if (header.size() < 4 || !HasPingMagic(header.data())) {
      if (Resync(pos, Said(ProblemKind::kOther, "no \"VORL\"" + At(pos)))) continue;
      break;
    }
    if (header.size() < kPingHeaderSize) {
      Stop(ProblemKind::kPastEnd,
           "ping header cut short" + At(pos) + ": " + std::to_string(header.size()) + " of 256 bytes");
      break;
    }
    const std::uint16_t count = GetU16(header.data() + ping::kSampleCount);
    const auto record = window_->Peek(kPingHeaderSize + count);
    if (record.size() < kPingHeaderSize + count) {
      Stop(ProblemKind::kPastEnd, "samples of the ping" + At(pos) + " cut short: " +
                                      std::to_string(record.size() - kPingHeaderSize) + " of " + std::to_string(count) +
                                      " bytes");
      break;
    }
    const bool first = walk_.pings == 0;
    const std::uint32_t before = ping_.pingIndex;
    ping_ = ReadPingInfo(record.data(), pos);
    samples_ = record.subspan(kPingHeaderSize);
    if (!first) SeeIndexJump(before, pos);
    SeeUnreadSamples(pos + kPingHeaderSize, count);
    window_->Drop(record.size());
    ++walk_.pings;
    walk_.samples += count;
    walk_.size = window_->pos();
    return true;
  }
  Finish();
  return false;
}

// Pings back to back whose indexes jump: the pings between them are missing,
// though no byte is (a TK40 block that gave no ping). After a hole the gap
// already names them.
void PingReader::SeeIndexJump(std::uint32_t before, std::uint64_t pos) {
  if (std::uint64_t{ping_.pingIndex} <= std::uint64_t{before} + 1) return;
  if (!walk_.gaps.empty() && walk_.gaps.back().end == pos) return;
  WalkGap gap;
  gap.begin = gap.end = pos;
  gap.problem = Said(ProblemKind::kOther, "ping indexes jump from " + std::to_string(before) + " to " +
                                              std::to_string(ping_.pingIndex));
  gap.after = before;
  gap.resumesAt = ping_.pingIndex;
  walk_.gaps.push_back(std::move(gap));
}

void PingReader::SeeUnreadSamples(std::uint64_t begin, std::uint16_t count) {
  if (!map_) return;
  for (const RescueBlock& b : map_->Unrescued(static_cast<std::int64_t>(begin), static_cast<std::int64_t>(begin + count))) {
    const auto from = static_cast<std::uint32_t>(static_cast<std::uint64_t>(b.pos) - begin);
    ping_.unread.push_back({from, from + static_cast<std::uint32_t>(b.size)});
    walk_.unreadSamples += static_cast<std::uint64_t>(b.size);
  }
  if (!ping_.unread.empty()) ++walk_.unreadPings;
}

// From brokeAt on, the next header that passes the checks, was read whole and
// numbers itself after the last ping; false when there is none before the
// end, which is then either the last sector's zero padding or the file's
// problem.
bool PingReader::Resync(std::uint64_t brokeAt, Problem why) {
  Window& w = *window_;
  bool zeros = true;
  for (;;) {
    const auto view = w.Peek(Window::kMaxView);
    if (view.size() < kPingHeaderSize) {
      zeros = zeros && AllZero(view);
      w.Drop(view.size());
      break;
    }
    const std::optional<std::uint32_t> last = walk_.pings > 0 ? std::optional(ping_.pingIndex) : std::nullopt;
    const std::optional<std::size_t> at =
        FindResumingPing(view, last, [&](std::size_t i) { return HeaderUnread(w.pos() + i, kPingHeaderSize); });
    if (at) {
      WalkGap gap;
      gap.begin = brokeAt;
      gap.end = w.pos() + *at;
      gap.problem = std::move(why);
      gap.after = last;
      gap.resumesAt = GetU32(view.data() + *at + ping::kPingIndex);
      walk_.gaps.push_back(std::move(gap));
      w.Drop(*at);
      return true;
    }
    // Headers that fit in the view start at 0 .. size - 256.
    const std::size_t starts = view.size() - kPingHeaderSize + 1;
    zeros = zeros && AllZero(view.first(starts));
    w.Drop(starts);
  }
  const std::uint64_t rest = w.pos() - brokeAt;
  // A copy ends on a whole disc sector: zeros that fill the last one are its
  // padding. Zeros that were not read are no padding: they may have held a ping.
  constexpr auto kSector = static_cast<std::uint64_t>(kZepSectorSize);
  if (zeros && rest < kSector && (brokeAt + rest - kFileHeaderSize) % kSector == 0 && !HeaderUnread(brokeAt, rest)) {
    walk_.padding = rest;
  } else {
    walk_.problems.push_back(std::move(why));
  }
  walk_.size = w.pos();
  return false;
}

void PingReader::Finish() {
  done_ = true;
  samples_ = {};
  // Whatever stopped the walk, count the rest of the file so size is true.
  walk_.size = window_->pos() + window_->DropAll();
  if (window_->problem()) walk_.problems.push_back(*window_->problem());
  if (walk_.problems.empty() && !walk_.headerZero) Stop(ProblemKind::kNotRecordFile, "file header is not all zero");
  if (map_) walk_.unreadBytes = static_cast<std::uint64_t>(map_->UnrescuedBytes(0, static_cast<std::int64_t>(walk_.size)));
}

RecordWalk WalkRecord(std::span<const std::uint8_t> file, const PingVisitor& visit,
                      std::shared_ptr<const RescueMap> unread) {
  PingReader reader(file, std::move(unread));
  while (reader.Next()) {
    if (visit) visit(reader.ping());
  }
  return reader.walk();
}

RecordWalk WalkRecordFile(const std::string& path, const PingVisitor& visit) {
  PingReader reader(path);
  while (reader.Next()) {
    if (visit) visit(reader.ping());
  }
  return reader.walk();
}

RecordWalk WalkRecordFileSamples(const std::string& path, const PingSampleVisitor& visit) {
  PingReader reader(path);
  while (reader.Next()) visit(reader.ping(), reader.samples());
  return reader.walk();
}

}  // namespace zep
