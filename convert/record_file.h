#pragma once
// The ".ZEP" record file: a 4096-byte zero file header, then ping
// records back to back, each a 256-byte PingHeader opening with "VORL" and
// followed by exactly sampleCount sample bytes. A file is walked from header to
// header by magic and sampleCount alone; the walker here is what `zepconv
// info`, the tests and anything else that checks a file use.
//
// Bytes a conversion could not read are zeros in the file, named by a GNU
// ddrescue mapfile beside it (UnreadMapPath). The walker reads the map with
// the file: such bytes are never handed over as a ping's header, and a
// ping's samples among them are named (PingInfo::unread), for its readers
// to show as missing.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "disc/problem.h"
#include "disc/rescue_map.h"
#include "disc/unread_bytes.h"
#include "disc/volume.h"

namespace zep {

inline constexpr std::size_t kFileHeaderSize = 4096;
inline constexpr std::size_t kPingHeaderSize = 256;

// PingHeader field offsets. The fields at 14..27, 34..36 and 38 carry TK40
// trailer values whose meaning the converter does not know.
namespace ping {
inline constexpr std::size_t kMagic = 0;         // "VORL"
inline constexpr std::size_t kSampleCount = 4;   // u16
inline constexpr std::size_t kPingIndex = 10;    // u32
inline constexpr std::size_t kTrailer14 = 14;    // u16, trailer 3973-3974
inline constexpr std::size_t kTrailer16 = 16;    // i16, trailer 3975 sign-extended
inline constexpr std::size_t kTrailer18 = 18;    // u16, trailer 3976-3977
inline constexpr std::size_t kTrailer20 = 20;    // u16, trailer 3978-3979
inline constexpr std::size_t kTwice3972 = 22;    // u16, 2 x trailer 3972
inline constexpr std::size_t kTrailer24 = 24;    // u16, trailer 4094-4095
inline constexpr std::size_t kValue26 = 26;      // u16, trailer 3982-3983 under flag bit 0, carried forward
inline constexpr std::size_t kYear = 30;         // u16, four BCD digits
inline constexpr std::size_t kMonth = 32;        // BCD
inline constexpr std::size_t kDay = 33;          // BCD
inline constexpr std::size_t kTrailer34 = 34;    // trailer 3968, 3969, 3970 at 34, 35, 36
inline constexpr std::size_t kMode = 37;
inline constexpr std::size_t kTrailer38 = 38;    // trailer 3980
inline constexpr std::size_t kFlags = 39;        // trailer 3981 & 0x0D
inline constexpr std::size_t kGpsText = 54;      // 64 characters, carried forward
inline constexpr std::size_t kGpsTextSize = 64;

inline constexpr std::uint8_t kFlagValue26 = 0x01;  // bytes 26-27 come from this ping's block
inline constexpr std::uint8_t kFlagText = 0x08;     // the text was decoded from this ping's block
}  // namespace ping

inline constexpr char kPingMagic[4] = {'V', 'O', 'R', 'L'};

// Sample bytes per mode, indexed by PingHeader `mode`.
inline constexpr std::array<std::uint16_t, 13> kSampleCountTable = {640,  1280, 1280, 1280, 1920, 2560, 3840,
                                                                    1280, 2560, 3840, 5120, 6400, 1920};
inline constexpr std::size_t kMaxSampleCount = 6400;  // the largest entry: a TK40 ping's sample buffer

inline std::optional<std::uint16_t> SampleCountForMode(unsigned mode) {
  if (mode >= kSampleCountTable.size()) return std::nullopt;
  return kSampleCountTable[mode];
}

// Little-endian fields, whatever the host.
inline std::uint16_t GetU16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | static_cast<unsigned>(p[1]) << 8);
}
inline std::uint32_t GetU32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
inline void PutU16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void PutU32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

inline bool HasPingMagic(const std::uint8_t* p) { return std::memcmp(p, kPingMagic, 4) == 0; }

// The first offset in bytes where "VORL" starts, however it is aligned.
std::optional<std::size_t> FindMagic(std::span<const std::uint8_t> bytes);

// Whether the 256 bytes of header are a ping record's header rather than a
// chance "VORL" in other data: the magic, a mode of the SampleCountTable,
// that mode's sampleCount, and a BCD date that is a calendar date. With
// previousIndex, also the index rule: a ping of a run numbers itself one
// after the ping before it. What carving and the disc type evidence trust.
bool IsPlausiblePing(const std::uint8_t* header, std::optional<std::uint32_t> previousIndex = std::nullopt);

// Where a ping walk that broke goes on: the first header in bytes that passes
// IsPlausiblePing, numbers itself after lastIndex (the last ping walked;
// nothing before the first) and of which headerUnread(offset) finds no byte
// unread. Only headers wholly inside bytes are looked at. The record file's
// walk and the health check's walk of the disc resume alike, so that both
// count the same pings.
std::optional<std::size_t> FindResumingPing(std::span<const std::uint8_t> bytes,
                                            std::optional<std::uint32_t> lastIndex,
                                            const std::function<bool(std::size_t)>& headerUnread);

// The text of a PingHeader's gpsText field: up to its carriage return, or all
// 64 bytes when there is none. Bytes after the carriage return (leftovers of an
// earlier, longer text) are not part of it.
std::string GpsTextOf(const std::uint8_t* header);

// Bytes [begin, end) of a ping's samples.
struct SampleRange {
  std::uint32_t begin = 0, end = 0;
};

// What one ping record says about itself.
struct PingInfo {
  std::uint64_t offset = 0;  // of its PingHeader in the file
  std::uint16_t sampleCount = 0;
  std::uint32_t pingIndex = 0;
  std::uint8_t mode = 0;
  std::uint8_t flags = 0;
  std::uint16_t year = 0;  // BCD, 0x2008 for 2008
  std::uint8_t month = 0, day = 0;
  std::array<std::uint8_t, kPingHeaderSize> header{};  // the whole PingHeader as written
  // Its samples that could not be read (zeros in the file), in order; empty
  // for a ping read whole.
  std::vector<SampleRange> unread;
  std::uint32_t UnreadSamples() const;
};

PingInfo ReadPingInfo(const std::uint8_t* header, std::uint64_t offset);

// Where pings are missing. Either a stretch of a record file the walk passed
// over: it broke at begin (problem says why) and went on at end, at the next
// ping record that passes the checks a carved run's records pass
// (IsPlausiblePing) and numbers itself after the last ping walked. Or, with
// begin == end, two pings back to back whose indexes jump: a TK40 block that
// gave no ping.
struct WalkGap {
  std::uint64_t begin = 0, end = 0;
  // Why the walk broke: "no \"VORL\" at byte 84736" (kOther), "header not
  // read at byte 84736" (kUnreadable), "ping indexes jump from 39 to 43"
  // (kOther); no subject, the file is the caller's.
  Problem problem;
  std::optional<std::uint32_t> after;  // pingIndex of the ping before it; nothing when it opens the file
  std::uint32_t resumesAt = 0;         // pingIndex of the ping after it
  // The ping indexes between the two: first, and how many.
  std::uint64_t firstMissing() const { return after ? std::uint64_t{*after} + 1 : 0; }
  std::uint64_t missing() const { return resumesAt - firstMissing(); }
};

// "bytes 84736 to 90111 (no "VORL" at byte 84736), pings 15 to 16 missing"
std::string DescribeGap(const WalkGap& gap);

struct RecordWalk {
  bool opened = true;         // false when a file, or its map, could not be read (problems say why)
  bool headerZero = false;    // the file has its 4096-byte header and it is all zero
  std::uint64_t size = 0;     // bytes seen
  std::uint64_t pings = 0;    // complete ping records walked
  std::uint64_t samples = 0;  // sum of their sampleCount
  std::uint64_t stoppedAt = 0;  // where the walk ended: size - padding when whole
  // Zero bytes after the last ping that fill the file up to a whole 2048-byte
  // sector: a ZEP V1.X record is copied sector by sector, so its last ping
  // ends inside the last sector and the recorder's zeros follow it.
  std::uint64_t padding = 0;
  std::vector<WalkGap> gaps;  // in file order
  // Pings handed over with samples that were not read, and those samples.
  std::uint64_t unreadPings = 0, unreadSamples = 0;
  std::uint64_t unreadBytes = 0;  // bytes of the file its map names as not read
  // What else keeps the file from being whole: the end cut through a ping,
  // bytes that are no ping, a file header that is not zero.
  Problems problems;

  // Every ping from the first to the last is there and read whole, and
  // nothing else is wrong.
  bool Whole() const {
    return opened && headerZero && gaps.empty() && unreadBytes == 0 && problems.empty();
  }
  // Opened, but neither a zero file header nor a first ping where one
  // belongs (and no unread bytes that would explain its absence): some
  // other kind of file, not a damaged record file.
  bool NotRecordFile() const {
    return opened && (!headerZero || (pings == 0 && gaps.empty() && unreadBytes == 0 && !problems.empty()));
  }
  // Why nothing of the file at path can be used: it did not open (its own
  // problem), or it is not a record file (kNotRecordFile); nothing when its
  // pings can be read.
  std::optional<Problem> Unusable(const std::string& path) const;
  std::uint64_t MissingPings() const;
  // Why the file is not whole, in one line; empty when it is.
  std::string NotWholeText() const;
  // What keeps it from being whole, most telling first: bytes that did not
  // read (kUnreadable), an end that cuts through a ping (kPastEnd), else kOther.
  ProblemKind NotWholeKind() const;
};

using PingVisitor = std::function<void(const PingInfo&)>;
// Also hands over the ping's sample bytes, valid during the call only.
using PingSampleVisitor = std::function<void(const PingInfo&, std::span<const std::uint8_t> samples)>;

// Reads record file bytes from 4096 on, ping by ping, in constant memory
// whatever the file's length. Where the walk breaks (no magic, zeros), it
// searches on for the next ping record and records the gap; it ends at the
// end of the file, or at a ping that the end cuts short.
class PingReader {
 public:
  // unread names the bytes of file that were not read, as the file's map does.
  explicit PingReader(std::span<const std::uint8_t> file, std::shared_ptr<const RescueMap> unread = nullptr);
  // Reads the file's map too, when it has one; walk().opened says whether
  // both could be read.
  explicit PingReader(const std::string& path);
  // Bytes of a record file front to back, as a file's reads give them: fewer
  // than asked only at the end or on an error (ReadResult::error).
  using ByteSource = std::function<ReadResult(std::span<std::uint8_t>)>;
  // A file not yet written: what a conversion would write, walked as it is
  // made; unread as above, told before the source gives the bytes it names.
  explicit PingReader(ByteSource source, std::shared_ptr<const RescueMap> unread = nullptr);
  ~PingReader();
  PingReader(const PingReader&) = delete;
  PingReader& operator=(const PingReader&) = delete;

  // The next whole ping record; false at the end of the walk, which walk()
  // then describes completely.
  bool Next();
  const PingInfo& ping() const { return ping_; }
  std::span<const std::uint8_t> samples() const { return samples_; }  // until the next call
  const RecordWalk& walk() const { return walk_; }

 private:
  class Window;
  bool Start();
  bool Resync(std::uint64_t brokeAt, Problem why);
  bool HeaderUnread(std::uint64_t pos, std::size_t n) const;
  void SeeIndexJump(std::uint32_t before, std::uint64_t pos);
  void SeeUnreadSamples(std::uint64_t begin, std::uint16_t count);
  void Stop(ProblemKind kind, std::string what);
  void Finish();

  std::unique_ptr<Window> window_;
  std::shared_ptr<const RescueMap> map_;
  RecordWalk walk_;
  PingInfo ping_;
  std::span<const std::uint8_t> samples_;
  bool started_ = false, done_ = false;
};

// Whole walks, each ping handed to visit.
RecordWalk WalkRecord(std::span<const std::uint8_t> file, const PingVisitor& visit = {},
                      std::shared_ptr<const RescueMap> unread = nullptr);
RecordWalk WalkRecordFile(const std::string& path, const PingVisitor& visit = {});
RecordWalk WalkRecordFileSamples(const std::string& path, const PingSampleVisitor& visit);

}  // namespace zep
