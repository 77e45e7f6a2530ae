// The echogram's levels of halvings, written as chunks of columns. A record
// of 100,000 pings makes some 400 MB of these scripts: the columns live in
// buffers kept from one ping to the next, and the text of a chunk is made
// in place.

#include <algorithm>
#include <bit>
#include <cstring>

#include "export/text_output.h"
#include "export/viewer_parts.h"

namespace zep::viewer {
namespace {

// Each cell of to the strongest of itself and two neighbours of v: every
// sample of a record passes here once per level it climbs, so the loop is
// kept simple enough to vectorise (see CMakeLists.txt).
void HalveInto(std::uint8_t* __restrict to, const std::uint8_t* __restrict v, std::size_t rows) {
  for (std::size_t j = 0; j < rows; ++j) {
    const std::uint8_t m = v[2 * j] > v[2 * j + 1] ? v[2 * j] : v[2 * j + 1];
    to[j] = to[j] > m ? to[j] : m;
  }
}

// Two neighbours halved both ways: each cell the strongest read sample of
// the (up to) four below it, unread only when none of them was read. An
// unread sample holds 0, so it never wins the maximum.
void Merge(const ColumnView& a, const ColumnView* b, Column& out) {
  out.present = a.present || (b && b->present);
  const std::size_t len = std::max(a.value.size(), b ? b->value.size() : 0);
  const std::size_t rows = (len + 1) / 2;
  out.value.assign(rows, 0);
  std::uint8_t* to = out.value.data();
  for (const ColumnView* c : {&a, b}) {
    if (!c) continue;
    const std::uint8_t* v = c->value.data();
    const std::size_t n = c->value.size();
    HalveInto(to, v, n / 2);
    if (n % 2) to[n / 2] = std::max(to[n / 2], v[n - 1]);
  }
  out.anyUnread = a.anyUnread || (b && b->anyUnread);
  if (!out.anyUnread) return;
  out.unread.assign(rows, 1);
  for (const ColumnView* c : {&a, b}) {
    if (!c) continue;
    for (std::size_t i = 0; i < c->value.size(); ++i) {
      if (!c->anyUnread || !c->unread[i]) out.unread[i / 2] = 0;
    }
  }
  out.anyUnread = std::find(out.unread.begin(), out.unread.end(), 1) != out.unread.end();
}

std::string ChunkName(int level, int chunk) { return "L" + std::to_string(level) + "-" + std::to_string(chunk) + ".js"; }

}  // namespace

void Level::Add(const ColumnView& c) {
  const std::size_t at = values_.size();
  values_.insert(values_.end(), c.value.begin(), c.value.end());
  if (c.anyUnread) {
    mask_.resize((values_.size() + 7) / 8, 0);
    for (std::size_t i = 0; i < c.value.size(); ++i) {
      if (c.unread[i]) mask_[(at + i) / 8] = static_cast<std::uint8_t>(mask_[(at + i) / 8] | 1u << ((at + i) % 8));
    }
    anyUnread_ = true;
  }
  rows_ = std::max(rows_, c.value.size());
  if (inChunk_) lens_ += ',';
  AppendInt(lens_, c.present ? static_cast<std::int64_t>(c.value.size()) : 0);
  ++columns_;
  if (++inChunk_ == kViewerChunkColumns) Flush();
}

// zepViewerChunk(level, chunk, rows, [rows of each column, 0 where no ping],
// the values column after column, each as long as its rows, a bit per
// value set where it was not read). Values and bits are strings of bytes
// (see AppendByteString): one byte a value, where base64 would take four
// for three, as these scripts are most of a box's bytes.
void Level::Flush() {
  if (inChunk_ == 0) return;
  head_ = "zepViewerChunk(";
  for (const std::int64_t n : {std::int64_t{level_}, std::int64_t{chunks_}, static_cast<std::int64_t>(rows_)}) {
    AppendInt(head_, n);
    head_ += ',';
  }
  head_ += '[';
  head_ += lens_;
  head_ += "],\"";
  if (anyUnread_) mask_.resize((values_.size() + 7) / 8, 0);
  // Room for an escape in every 32 bytes, more than samples usually need.
  const std::size_t bytes = values_.size() + (anyUnread_ ? mask_.size() : 0);
  writer_.Open(writer_.DataPath(ChunkName(level_, chunks_)), head_.size() + bytes + bytes / 32 + 8);
  writer_.Put(head_);
  writer_.PutBytes(values_.data(), values_.size());
  writer_.Put("\",\"");
  if (anyUnread_) writer_.PutBytes(mask_.data(), mask_.size());
  writer_.Put("\");\n");
  writer_.Close();
  ++chunks_;
  inChunk_ = 0;
  rows_ = 0;
  anyUnread_ = false;
  values_.clear();
  mask_.clear();
  lens_.clear();
}

Pyramid::Slot& Pyramid::At(std::size_t level) {
  while (slots_.size() <= level) {
    slots_.push_back(std::make_unique<Slot>(Slot{Level(static_cast<int>(slots_.size()), writer_), false, {}, {}}));
  }
  return *slots_[level];
}

void Pyramid::Add(const ColumnView& c, std::size_t level) {
  Slot& slot = At(level);
  slot.level.Add(c);
  if (!slot.pending) {
    slot.held.present = c.present;
    slot.held.anyUnread = c.anyUnread;
    slot.held.value.assign(c.value.begin(), c.value.end());
    if (c.anyUnread) slot.held.unread.assign(c.unread.begin(), c.unread.end());
    slot.pending = true;
    return;
  }
  Merge(slot.held.View(), &c, slot.merged);
  slot.pending = false;
  Add(slot.merged.View(), level + 1);
}

// A ping read whole goes up as it is; one with unread samples is copied
// first, its unread samples set to 0 and marked.
void Pyramid::Ping(const PingInfo& p, std::span<const std::uint8_t> samples) {
  if (p.unread.empty()) return Add({true, false, samples, {}}, 0);
  ping_.present = true;
  ping_.value.assign(samples.begin(), samples.end());
  ping_.unread.assign(samples.size(), 0);
  ping_.anyUnread = false;
  for (const SampleRange& r : p.unread) {
    for (std::uint32_t i = r.begin; i < r.end && i < ping_.value.size(); ++i) {
      ping_.unread[i] = 1, ping_.value[i] = 0, ping_.anyUnread = true;
    }
  }
  Add(ping_.View(), 0);
}

void Pyramid::Missing() { Add(ColumnView{}, 0); }

void Pyramid::Finish() {
  for (std::size_t level = 0; level < slots_.size(); ++level) {
    Slot& slot = *slots_[level];
    if (slot.level.columns() > 1 && slot.pending) {
      Merge(slot.held.View(), nullptr, slot.merged);
      slot.pending = false;
      Add(slot.merged.View(), level + 1);
    }
    slots_[level]->level.Flush();
  }
  while (slots_.size() > 1 && slots_.back()->level.columns() == 0) slots_.pop_back();
}

std::string Pyramid::LevelsJson() const {
  std::string out = "[";
  for (std::size_t i = 0; i < slots_.size(); ++i) {
    const Level& level = slots_[i]->level;
    if (level.columns() == 0) break;
    out += (i ? ",[" : "[") + std::to_string(level.columns()) + "," + std::to_string(level.chunks()) + "]";
  }
  return out + "]";
}

namespace {

// Samples are mostly weak echoes, among them the values of LF and CR: each
// byte is written with its top bit flipped, so that those to escape are
// strong echoes, which are few.
constexpr std::uint8_t kFlip = 0x80;

// What cannot stand raw inside a "..." string literal, once flipped: the
// quote, the backslash and the two line ends. The page reads the scripts as
// x-user-defined, which maps every other byte to one character of its own.
constexpr bool Escaped(std::uint8_t v) {
  const std::uint8_t b = v ^ kFlip;
  return b == '"' || b == '\\' || b == '\n' || b == '\r';
}

// Sixteen bytes at once, as g++ and clang both give them (SSE2 compares on
// x86): every sample of a record passes here twice, and written one at a
// time the tests are a branch each.
using Bytes16 = std::uint8_t __attribute__((vector_size(16)));
struct Lanes {
  std::uint64_t low, high;  // all ones in each byte to escape
  bool Any() const { return (low | high) != 0; }
  // A bit a byte, the first byte lowest.
  unsigned Bits() const {
    constexpr std::uint64_t kTops = 0x8080808080808080, kGather = 0x0002040810204081;
    return static_cast<unsigned>(((low & kTops) * kGather) >> 56 | ((high & kTops) * kGather) >> 56 << 8);
  }
  // Each byte's low bit summed into the top byte by one multiply: no
  // popcount, which x86-64's baseline lacks (a library call per block).
  int Count() const {
    constexpr std::uint64_t kOnes = 0x0101010101010101;
    return static_cast<int>(((low & kOnes) * kOnes >> 56) + ((high & kOnes) * kOnes >> 56));
  }
};
Lanes Hits(const Bytes16& flipped) {
  const auto hit = (flipped == '"') | (flipped == '\\') | (flipped == '\n') | (flipped == '\r');
  Lanes lanes;
  static_assert(sizeof hit == sizeof lanes);
  std::memcpy(&lanes, &hit, sizeof lanes);
  return lanes;
}

Bytes16 Flipped16(const std::uint8_t* v) {
  Bytes16 b;
  std::memcpy(&b, v, sizeof b);
  return b ^ kFlip;
}

// One flipped byte, escaped where it must be.
char* Put(char* to, std::uint8_t b) {
  if (b != '"' && b != '\\' && b != '\n' && b != '\r') {
    *to = static_cast<char>(b);
    return to + 1;
  }
  to[0] = '\\';
  to[1] = b == '\n' ? 'n' : b == '\r' ? 'r' : static_cast<char>(b);
  return to + 2;
}

}  // namespace

// Counted first, so the text is sized once; then a block of sixteen with
// nothing to escape, most of them, goes out in one store.
void AppendByteString(std::string& out, const std::uint8_t* bytes, std::size_t size) {
  std::size_t escapes = 0, i = 0;
  for (; i + 16 <= size; i += 16) escapes += static_cast<std::size_t>(Hits(Flipped16(bytes + i)).Count());
  for (; i < size; ++i) escapes += Escaped(bytes[i]);
  const std::size_t at = out.size();
  out.resize(at + size + escapes);
  char* to = out.data() + at;
  for (i = 0; i + 16 <= size; i += 16) {
    const Bytes16 b = Flipped16(bytes + i);
    if (!Hits(b).Any()) {
      std::memcpy(to, &b, sizeof b);
      to += sizeof b;
      continue;
    }
    // The runs between the bytes to escape, each in one copy.
    const char* from = reinterpret_cast<const char*>(&b);
    int k = 0;
    for (unsigned bits = Hits(b).Bits(); bits != 0; bits &= bits - 1) {
      const int j = std::countr_zero(bits);
      std::memcpy(to, from + k, static_cast<std::size_t>(j - k));
      to = Put(to + (j - k), static_cast<std::uint8_t>(from[j]));
      k = j + 1;
    }
    std::memcpy(to, from + k, static_cast<std::size_t>(16 - k));
    to += 16 - k;
  }
  for (; i < size; ++i) to = Put(to, bytes[i] ^ kFlip);
}

}  // namespace zep::viewer
