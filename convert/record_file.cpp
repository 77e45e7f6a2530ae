#include "convert/record_file.h"

#include <algorithm>
#include <cstring>
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
  const std::string& error() const { return error_; }

 private:
  void Refill(std::size_t n) {
    std::memmove(buffer_.data(), buffer_.data() + start_, end_ - start_);
    base_ += start_;
    end_ -= start_;
    start_ = 0;
    while (end_ < n && !eof_) {
      const ReadResult r = source_(std::span(buffer_.data() + end_, buffer_.size() - end_));
      if (!r.ok()) error_ = r.error;
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
  std::string error_;
};

namespace {

std::string At(std::uint64_t pos) { return " at byte " + std::to_string(pos); }
bool AllZero(std::span<const std::uint8_t> b) {
  return std::all_of(b.begin(), b.end(), [](std::uint8_t x) { return x == 0; });
}

}  // namespace

std::string DescribeGap(const WalkGap& gap) {
  std::string text = "bytes " + std::to_string(gap.begin) + " to " + std::to_string(gap.end - 1) + " (" + gap.reason + "), ";
  const std::uint64_t first = gap.firstMissing(), n = gap.missing();
  if (n == 0) return text + "no ping missing";
  if (n == 1) return text + "ping " + std::to_string(first) + " missing";
  return text + "pings " + std::to_string(first) + " to " + std::to_string(first + n - 1) + " missing";
}

PingReader::PingReader(std::span<const std::uint8_t> file) : window_(std::make_unique<Window>(file)) {}

PingReader::PingReader(const std::string& path) {
  InputFile file = InputFile::Open(path);
  if (!file.open()) {
    walk_.opened = false;
    walk_.problem = file.error();
    done_ = true;
    return;
  }
  auto shared = std::make_shared<InputFile>(std::move(file));
  window_ = std::make_unique<Window>([shared](std::span<std::uint8_t> buf) { return shared->Read(buf); });
}

PingReader::PingReader(ByteSource source) : window_(std::make_unique<Window>(std::move(source))) {}

PingReader::~PingReader() = default;

bool PingReader::Start() {
  started_ = true;
  const auto header = window_->Peek(kFileHeaderSize);
  walk_.size = header.size();
  if (header.size() < kFileHeaderSize) {
    walk_.problem = "file header cut short: " + std::to_string(header.size()) + " of 4096 bytes";
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
    if (header.size() < 4 || !HasPingMagic(header.data())) {
      if (Resync(pos, "no \"VORL\"" + At(pos))) continue;
      break;
    }
    if (header.size() < kPingHeaderSize) {
      walk_.problem = "ping header cut short" + At(pos) + ": " + std::to_string(header.size()) + " of 256 bytes";
      break;
    }
    const std::uint16_t count = GetU16(header.data() + ping::kSampleCount);
    const auto record = window_->Peek(kPingHeaderSize + count);
    if (record.size() < kPingHeaderSize + count) {
      walk_.problem = "samples of the ping" + At(pos) + " cut short: " +
                      std::to_string(record.size() - kPingHeaderSize) + " of " + std::to_string(count) + " bytes";
      break;
    }
    ping_ = ReadPingInfo(record.data(), pos);
    samples_ = record.subspan(kPingHeaderSize);
    window_->Drop(record.size());
    ++walk_.pings;
    walk_.samples += count;
    walk_.size = window_->pos();
    return true;
  }
  Finish();
  return false;
}

// From brokeAt on, the next header that passes the checks and numbers itself
// after the last ping; false when there is none before the end, which is
// then either the last sector's zero padding or the file's problem.
bool PingReader::Resync(std::uint64_t brokeAt, std::string reason) {
  Window& w = *window_;
  bool zeros = true;
  for (;;) {
    const auto view = w.Peek(Window::kMaxView);
    if (view.size() < kPingHeaderSize) {
      zeros = zeros && AllZero(view);
      w.Drop(view.size());
      break;
    }
    // Headers that fit in the view start at 0 .. size - 256.
    const std::size_t starts = view.size() - kPingHeaderSize + 1;
    for (std::size_t i = 0; const auto m = FindMagic(view.subspan(i, starts - i + 3)); ++i) {
      i += *m;
      const std::uint8_t* p = view.data() + i;
      if (IsPlausiblePing(p) && (walk_.pings == 0 || GetU32(p + ping::kPingIndex) > ping_.pingIndex)) {
        WalkGap gap;
        gap.begin = brokeAt;
        gap.end = w.pos() + i;
        gap.reason = std::move(reason);
        if (walk_.pings > 0) gap.after = ping_.pingIndex;
        gap.resumesAt = GetU32(p + ping::kPingIndex);
        walk_.gaps.push_back(std::move(gap));
        w.Drop(i);
        return true;
      }
    }
    zeros = zeros && AllZero(view.first(starts));
    w.Drop(starts);
  }
  const std::uint64_t rest = w.pos() - brokeAt;
  constexpr std::uint64_t kSector = 2048;
  if (zeros && rest < kSector && (brokeAt + rest - kFileHeaderSize) % kSector == 0) walk_.padding = rest;
  else walk_.problem = std::move(reason);
  walk_.size = w.pos();
  return false;
}

void PingReader::Finish() {
  done_ = true;
  samples_ = {};
  // Whatever stopped the walk, count the rest of the file so size is true.
  walk_.size = window_->pos() + window_->DropAll();
  if (!window_->error().empty()) walk_.problem = window_->error();
  std::string holes;
  if (!walk_.gaps.empty()) {
    const std::size_t n = walk_.gaps.size();
    holes = std::to_string(n) + (n == 1 ? " hole: " : " holes, the first: ") + DescribeGap(walk_.gaps.front());
  }
  if (walk_.problem.empty() && !walk_.headerZero) walk_.problem = "file header is not all zero";
  if (!holes.empty()) walk_.problem = walk_.problem.empty() ? holes : holes + "; " + walk_.problem;
  walk_.whole = walk_.problem.empty();
}

RecordWalk WalkRecord(std::span<const std::uint8_t> file, const PingVisitor& visit) {
  PingReader reader(file);
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
