// Where the pings a conversion writes lie on the volume: what carving leaves
// out so that a conversion and a carve of one disc hold each ping once.

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

#include "convert/carve.h"
#include "convert/record_file.h"
#include "disc/unit_reader.h"

namespace zep {
namespace {

// The bytes CopyZepSectors writes, made for a walk rather than a file: the
// zero file header, then the extent's sectors inside the volume, each sector
// that does not read (or that the end cuts) as zeros.
class CopiedBytes {
 public:
  CopiedBytes(Volume& volume, const RecordExtent& extent) : reader_(volume, extent) {}

  ReadResult Read(std::span<std::uint8_t> buf) {
    std::size_t n = 0;
    while (n < buf.size() && (!pending_.empty() || Refill())) {
      const std::size_t k = std::min(buf.size() - n, pending_.size());
      std::memcpy(buf.data() + n, pending_.data(), k);
      pending_ = pending_.subspan(k);
      n += k;
    }
    return {n, std::nullopt};
  }
  // The volume offset of the file's byte 4096, once the first sector is given.
  std::uint64_t origin() const { return origin_; }

 private:
  bool Refill() {
    static constexpr std::array<std::uint8_t, kFileHeaderSize> kHeader{};
    if (!headerGiven_) {
      headerGiven_ = true;
      pending_ = kHeader;
      return true;
    }
    if (!reader_.Next()) return false;
    for (std::int64_t j = 0; j < reader_.batchSize(); ++j) {
      if (reader_.State(j) == UnitState::Cut) std::ranges::fill(reader_.Unit(j), std::uint8_t{0});
    }
    if (!started_) origin_ = static_cast<std::uint64_t>(reader_.extent().Offset(reader_.batchFirst()));
    started_ = true;
    pending_ = reader_.Bytes();
    return true;
  }

  UnitReader reader_;
  std::span<const std::uint8_t> pending_;
  bool headerGiven_ = false, started_ = false;
  std::uint64_t origin_ = 0;
};

void AddPing(std::vector<ByteRange>& ranges, const PingInfo& p, std::uint64_t origin) {
  const std::uint64_t at = origin + p.offset - kFileHeaderSize;
  AddRange(ranges, {at, at + kPingHeaderSize + p.sampleCount});
}

// The extent's whole blocks inside the volume: each is a ping of the conversion
// when it reads and has a mode, and a carve finds no other ping in it.
std::vector<ByteRange> Tk40Blocks(const Volume& volume, const RecordExtent& extent) {
  const std::int64_t size = volume.Size();
  std::int64_t begin = std::max<std::int64_t>(extent.Offset(0), 0), end = extent.Offset(extent.count);
  if (size != Volume::kUnknownSize) end = std::min(end, begin + std::max<std::int64_t>(size - begin, 0) / kTk40BlockSize * kTk40BlockSize);
  if (end <= begin) return {};
  return {{static_cast<std::uint64_t>(begin), static_cast<std::uint64_t>(end)}};
}

}  // namespace

void AddRange(std::vector<ByteRange>& ranges, ByteRange range) {
  if (range.end <= range.begin) return;
  auto at = std::lower_bound(ranges.begin(), ranges.end(), range.begin,
                             [](const ByteRange& r, std::uint64_t begin) { return r.begin < begin; });
  if (at != ranges.begin() && std::prev(at)->end >= range.begin) {
    --at;
    at->end = std::max(at->end, range.end);
  } else {
    at = ranges.insert(at, range);
  }
  auto next = std::next(at);
  while (next != ranges.end() && next->begin <= at->end) {
    at->end = std::max(at->end, next->end);
    next = ranges.erase(next);
  }
}

std::vector<ByteRange> WrittenPings(Volume& volume, const RecordExtent& extent, SourceType type) {
  if (type == SourceType::Tk40) return Tk40Blocks(volume, extent);
  auto copy = std::make_shared<CopiedBytes>(volume, extent);
  PingReader reader([copy](std::span<std::uint8_t> buf) { return copy->Read(buf); });
  std::vector<ByteRange> ranges;
  while (reader.Next()) AddPing(ranges, reader.ping(), copy->origin());
  return ranges;
}

std::vector<ByteRange> WrittenPingsOfFile(const std::string& recordFile, std::uint64_t origin) {
  PingReader reader(recordFile);
  std::vector<ByteRange> ranges;
  while (reader.Next()) AddPing(ranges, reader.ping(), origin);
  return ranges;
}

}  // namespace zep
