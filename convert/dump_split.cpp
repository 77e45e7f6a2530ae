// SplitScanDump: every run of consecutive ping records found in the
// scan dump becomes a record file of its own.
//
// The recorder software's search that reads the dump one byte at a time through a
// four-byte window, steps back four bytes when the window holds "VORL", and
// after a run restarts the window as the first four bytes of the 256 that
// ended it. This file searches a buffer instead and reproduces that search's
// findings exactly:
//   - Outside the runs, a magic is found at the first offset s >= from where
//     the dump holds "VORL", from being 0 at the start and h + 256 after a run
//     ended by the 256 bytes at h.
//   - Before that, the three windows that mix the ended run's bytes h+1..h+3
//     with the bytes h+256..h+258 that follow are checked; a match in the j-th
//     of them (j = 0, 1, 2) starts a run at h + 253 + j, where the step back
//     of four bytes from the read position lands. A magic that starts at h+1
//     to h+255 is never seen as such, not even one that runs on past the 256
//     bytes: the window never holds those four bytes together.
//
// Under a map of the dump's unread bytes (zepconv dump writes one beside a
// dump it could not read whole), those bytes are zeros to the search, as the
// dump holds them, whatever the file has there; 256 header bytes of which
// any was not read are no ping's header: they neither start a run nor go on
// with one. A ping's samples that were not read reach its record file as
// unread bytes, named in the record file's own map.

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "convert/convert.h"
#include "convert/record_file.h"
#include "convert/record_writer.h"
#include "convert/volume_stream.h"
#include "disc/file.h"

namespace zep {
namespace {

// The dump as a volume whose bytes its map names as not read are zeros, as
// the dump holds them, whatever the file has there.
class UnreadAsZeros final : public Volume {
 public:
  UnreadAsZeros(std::unique_ptr<Volume> dump, std::shared_ptr<const RescueMap> unread)
      : dump_(std::move(dump)), unread_(std::move(unread)) {}
  ReadResult ReadAt(std::int64_t pos, std::span<std::uint8_t> buf) override {
    ReadResult r = dump_->ReadAt(pos, buf);
    if (!unread_) return r;
    for (const RescueBlock& b : unread_->Unrescued(pos, pos + static_cast<std::int64_t>(r.bytes))) {
      std::memset(buf.data() + (b.pos - pos), 0, static_cast<std::size_t>(b.size));
    }
    return r;
  }
  bool IsRemovableMedia() override { return false; }
  const std::string& Name() const override { return dump_->Name(); }
  std::int64_t Size() const override { return dump_->Size(); }

 private:
  std::unique_ptr<Volume> dump_;
  std::shared_ptr<const RescueMap> unread_;
};

// The dump read front to back through the window carve and check read a
// volume through, and its map.
struct Dump {
  VolumeStream& stream;
  std::shared_ptr<const RescueMap> unread;

  // The stretches of [pos, end) that were not read, in order.
  std::vector<RescueBlock> UnreadIn(std::uint64_t pos, std::uint64_t end) const {
    if (!unread) return {};
    return unread->Unrescued(static_cast<std::int64_t>(pos), static_cast<std::int64_t>(end));
  }
  // Whether the header at pos (as much of it as the dump holds) has a byte
  // that was not read.
  bool HeaderUnread(std::uint64_t pos) const {
    const std::size_t n = stream.At(pos, kPingHeaderSize).size();
    return !UnreadIn(pos, pos + n).empty();
  }
};

// The first offset at or after from where "VORL" starts a header that was read.
std::optional<std::uint64_t> NextMagic(const Dump& dump, std::uint64_t from) {
  std::optional<std::uint64_t> at = NextMagic(dump.stream, from);
  while (at && dump.HeaderUnread(*at)) at = NextMagic(dump.stream, *at + 1);
  return at;
}

// After a run ended by the 256 bytes at h: the windows that mix h+1..h+3 with
// the bytes read after the 256 (see the top of the file).
std::optional<std::uint64_t> FindMagicAfterRun(const Dump& dump, std::uint64_t h) {
  const auto d = dump.stream.At(h, kPingHeaderSize + 3);
  const std::uint8_t seq[6] = {d[1], d[2], d[3],
                               d.size() > 256 ? d[256] : std::uint8_t{0},
                               d.size() > 257 ? d[257] : std::uint8_t{0},
                               d.size() > 258 ? d[258] : std::uint8_t{0}};
  for (std::size_t j = 0; j < 3; ++j) {
    if (d.size() < kPingHeaderSize + 1 + j) return std::nullopt;  // the end of the dump: the search is over
    if (HasPingMagic(seq + j)) return h + kPingHeaderSize - 3 + j;
  }
  return NextMagic(dump, h + kPingHeaderSize);
}

// The last "%i" is the file's number: one in a folder name above it stays.
std::string OutputName(const std::string& pattern, int counter) {
  std::string name = pattern;
  const std::size_t at = name.rfind("%i");
  if (at != std::string::npos) name.replace(at, 2, std::to_string(counter));
  return name;
}

// The ping record at p into out, its samples that were not read as unread
// bytes.
bool WritePing(const Dump& dump, std::uint64_t p, std::span<const std::uint8_t> record, RecordFileWriter& out) {
  std::size_t at = 0;
  for (const RescueBlock& b : dump.UnreadIn(p, p + record.size())) {
    const auto from = static_cast<std::size_t>(static_cast<std::uint64_t>(b.pos) - p);
    if (!out.Write(record.subspan(at, from - at)) || !out.WriteUnread(static_cast<std::size_t>(b.size))) return false;
    at = from + static_cast<std::size_t>(b.size);
  }
  return out.Write(record.subspan(at));
}

// Walks the run from start into out. It ends at 256 bytes that do not open
// with the magic (their offset is returned, and the search goes on) or at
// the end of the dump (nothing is returned).
std::optional<std::uint64_t> WriteRun(const Dump& dump, std::uint64_t start, RecordFileWriter& out,
                                      std::uint64_t& pings, SplitResult& res) {
  for (std::uint64_t p = start;;) {
    const auto header = dump.stream.At(p, kPingHeaderSize);
    if (header.size() < 4 || !HasPingMagic(header.data()) || dump.HeaderUnread(p)) {
      // fewer than 256 bytes: the end of the dump follows, nothing more to find
      return header.size() == kPingHeaderSize ? std::optional(p) : std::nullopt;
    }
    const std::size_t length = kPingHeaderSize + GetU16(header.data() + ping::kSampleCount);
    const auto record = header.size() == kPingHeaderSize ? dump.stream.At(p, length) : header;
    if (record.size() < length) {
      // A ping cut short by the end of the dump is left out, so that every
      // file written stays walkable to its end. The search is over.
      ++res.droppedPartialPings;
      return std::nullopt;
    }
    // A write that fails reads the run through all the same, as the recorder
    // software does for an output that cannot be created, so the search goes
    // on where it would have.
    if (out.open() && !WritePing(dump, p, record, out)) res.failures.push_back(out.problem());
    p += length;
    ++pings;
  }
}

}  // namespace

SplitResult SplitScanDump(const std::string& dumpPath, const OutputTarget& outputPattern,
                          std::shared_ptr<const RescueMap> unread) {
  SplitResult res;
  VolumeOpenResult file = OpenDiscVolume(dumpPath);
  if (!file.volume) {
    res.dumpError = file.problem;
    return res;
  }
  res.dumpOpened = true;
  UnreadAsZeros volume(std::move(file.volume), unread);
  VolumeStream stream(volume, 0);
  const Dump dump{stream, std::move(unread)};

  std::optional<std::uint64_t> start = NextMagic(dump, 0);
  while (start) {
    const std::string path = OutputName(outputPattern.path, res.runs);
    RecordFileWriter out({path, outputPattern.options});
    if (!out.open()) res.failures.push_back(out.problem());

    std::uint64_t pings = 0;
    const std::optional<std::uint64_t> h = WriteRun(dump, *start, out, pings, res);
    if (out.open()) {
      const std::uint64_t unreadBytes = out.unread();
      if (out.Finish()) {
        res.files.push_back(path);
        res.filePings.push_back(pings);
        res.fileUnread.push_back(unreadBytes);
      } else {
        res.failures.push_back(out.problem());
      }
    }
    ++res.runs;
    start = h ? FindMagicAfterRun(dump, *h) : std::nullopt;
  }
  // Sectors that did not read were searched as zeros; the run says so.
  if (stream.unreadableSectors() > 0) res.dumpError = stream.firstProblem();
  return res;
}

}  // namespace zep
