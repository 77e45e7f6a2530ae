#include "convert/record_file.h"

#include <algorithm>
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

namespace {

// Sequential access to the bytes being walked: Read copies up to n bytes and
// Skip passes over up to n; both return how many there were.
class SpanSource {
 public:
  explicit SpanSource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  std::size_t Read(std::uint8_t* dst, std::size_t n) {
    n = std::min(n, bytes_.size() - pos_);
    std::copy_n(bytes_.data() + pos_, n, dst);
    pos_ += n;
    return n;
  }
  std::size_t Skip(std::size_t n) {
    n = std::min(n, bytes_.size() - pos_);
    pos_ += n;
    return n;
  }
  const std::string& error() const { return error_; }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t pos_ = 0;
  std::string error_;
};

class FileSource {
 public:
  explicit FileSource(InputFile& file) : file_(file), buffer_(64 * 1024) {}
  std::size_t Read(std::uint8_t* dst, std::size_t n) { return Take(n, dst); }
  std::size_t Skip(std::size_t n) { return Take(n, nullptr); }
  const std::string& error() const { return error_; }

 private:
  std::size_t Take(std::size_t n, std::uint8_t* dst) {
    std::size_t done = 0;
    while (done < n) {
      if (pos_ == end_ && !Refill()) break;
      const std::size_t k = std::min(n - done, end_ - pos_);
      if (dst) std::copy_n(buffer_.data() + pos_, k, dst + done);
      pos_ += k;
      done += k;
    }
    return done;
  }
  bool Refill() {
    if (!error_.empty()) return false;
    const ReadResult r = file_.Read(buffer_);
    if (!r.ok()) error_ = r.error;
    pos_ = 0;
    end_ = r.bytes;
    return end_ > 0;
  }

  InputFile& file_;
  std::vector<std::uint8_t> buffer_;
  std::size_t pos_ = 0, end_ = 0;
  std::string error_;
};

std::string At(std::uint64_t pos) { return " at byte " + std::to_string(pos); }

// The h bytes read at pos (where a ping header should start) and everything
// after them: their count when they are all zeros, fewer than a sector, that
// end the file on a sector boundary; otherwise 0. What it reads is added to
// size either way.
template <typename Source>
std::uint64_t SectorPadding(Source& src, std::uint8_t* buf, std::size_t h, std::uint64_t pos, std::uint64_t& size) {
  constexpr std::uint64_t kSector = 2048;
  auto zero = [](const std::uint8_t* p, std::size_t n) { return std::all_of(p, p + n, [](std::uint8_t b) { return b == 0; }); };
  if (!zero(buf, h)) return 0;
  std::uint64_t padding = h;
  while (padding < kSector) {
    const std::size_t n = src.Read(buf, kPingHeaderSize);
    size += n;
    if (n == 0) break;
    if (!zero(buf, n)) return 0;
    padding += n;
  }
  return padding < kSector && (pos + padding - kFileHeaderSize) % kSector == 0 ? padding : 0;
}

template <typename Source>
RecordWalk Walk(Source& src, const PingVisitor& visit, const PingSampleVisitor& visitSamples = {}) {
  RecordWalk w;
  std::vector<std::uint8_t> samples(visitSamples ? 0xFFFF : 0);
  std::uint8_t block[kFileHeaderSize];
  const std::size_t got = src.Read(block, kFileHeaderSize);
  w.size = got;
  if (got < kFileHeaderSize) {
    w.problem = "file header cut short: " + std::to_string(got) + " of 4096 bytes";
    w.stoppedAt = got;
    return w;
  }
  w.headerZero = std::all_of(block, block + kFileHeaderSize, [](std::uint8_t b) { return b == 0; });
  std::uint64_t pos = kFileHeaderSize;
  std::uint8_t* header = block;  // the file header is done with; reuse its bytes
  for (;;) {
    const std::size_t h = src.Read(header, kPingHeaderSize);
    w.size += h;
    if (h == 0) break;  // the end, right after a whole ping (or the file header)
    if (h < 4 || !HasPingMagic(header)) {
      w.padding = SectorPadding(src, header, h, pos, w.size);
      if (w.padding == 0) w.problem = "no \"VORL\"" + At(pos);
      break;
    }
    if (h < kPingHeaderSize) {
      w.problem = "ping header cut short" + At(pos) + ": " + std::to_string(h) + " of 256 bytes";
      break;
    }
    const std::uint16_t count = GetU16(header + ping::kSampleCount);
    const std::size_t s = visitSamples ? src.Read(samples.data(), count) : src.Skip(count);
    w.size += s;
    if (s < count) {
      w.problem = "samples of the ping" + At(pos) + " cut short: " + std::to_string(s) + " of " +
                  std::to_string(count) + " bytes";
      break;
    }
    if (visit) visit(ReadPingInfo(header, pos));
    if (visitSamples) visitSamples(ReadPingInfo(header, pos), std::span(samples.data(), count));
    ++w.pings;
    w.samples += count;
    pos += kPingHeaderSize + count;
  }
  w.stoppedAt = pos;
  // Whatever stopped the walk, count the rest of the file so size is true.
  while (std::size_t s = src.Skip(1 << 20)) w.size += s;
  if (!src.error().empty()) w.problem = src.error();
  if (w.problem.empty() && !w.headerZero) w.problem = "file header is not all zero";
  w.whole = w.problem.empty();
  return w;
}

}  // namespace

RecordWalk WalkRecord(std::span<const std::uint8_t> file, const PingVisitor& visit) {
  SpanSource src(file);
  return Walk(src, visit);
}

namespace {

RecordWalk WalkFile(const std::string& path, const PingVisitor& visit, const PingSampleVisitor& visitSamples) {
  InputFile file = InputFile::Open(path);
  if (!file.open()) {
    RecordWalk w;
    w.opened = false;
    w.problem = file.error();
    return w;
  }
  FileSource src(file);
  return Walk(src, visit, visitSamples);
}

}  // namespace

RecordWalk WalkRecordFile(const std::string& path, const PingVisitor& visit) { return WalkFile(path, visit, {}); }

RecordWalk WalkRecordFileSamples(const std::string& path, const PingSampleVisitor& visit) {
  return WalkFile(path, {}, visit);
}

}  // namespace zep
