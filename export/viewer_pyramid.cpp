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
// value set where it was not read).
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
  const auto base64 = [](std::size_t n) { return (n + 2) / 3 * 4; };
  writer_.Open(writer_.DataPath(ChunkName(level_, chunks_)),
               head_.size() + base64(values_.size()) + base64(anyUnread_ ? mask_.size() : 0) + 8);
  writer_.Put(head_);
  writer_.PutBase64(values_.data(), values_.size());
  writer_.Put("\",\"");
  if (anyUnread_) writer_.PutBase64(mask_.data(), mask_.size());
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

// Two base64 digits for each 12 bits: half the lookups of one per 6 bits.
struct DigitPairs {
  char pair[4096][2];
  constexpr DigitPairs() : pair() {
    constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (int n = 0; n < 4096; ++n) pair[n][0] = kDigits[n >> 6], pair[n][1] = kDigits[n & 63];
  }
};
constexpr DigitPairs kPairs;

}  // namespace

void AppendBase64(std::string& out, const std::uint8_t* bytes, std::size_t size) {
  const std::size_t at = out.size();
  out.resize(at + (size + 2) / 3 * 4);
  char* to = out.data() + at;
  std::size_t i = 0;
  // Six bytes at a time from one load of eight, taken big-endian.
  for (; i + 8 <= size; i += 6, to += 8) {
    std::uint64_t n;
    std::memcpy(&n, bytes + i, 8);
    if constexpr (std::endian::native == std::endian::little) n = __builtin_bswap64(n);
    std::memcpy(to, kPairs.pair[n >> 52], 2);
    std::memcpy(to + 2, kPairs.pair[n >> 40 & 4095], 2);
    std::memcpy(to + 4, kPairs.pair[n >> 28 & 4095], 2);
    std::memcpy(to + 6, kPairs.pair[n >> 16 & 4095], 2);
  }
  for (; i + 3 <= size; i += 3, to += 4) {
    const std::uint32_t n = std::uint32_t{bytes[i]} << 16 | std::uint32_t{bytes[i + 1]} << 8 | bytes[i + 2];
    std::memcpy(to, kPairs.pair[n >> 12], 2);
    std::memcpy(to + 2, kPairs.pair[n & 4095], 2);
  }
  if (i < size) {  // one or two bytes left: three or two digits, and padding
    const std::uint32_t n = std::uint32_t{bytes[i]} << 16 | (i + 1 < size ? std::uint32_t{bytes[i + 1]} << 8 : 0);
    std::memcpy(to, kPairs.pair[n >> 12], 2);
    to[2] = i + 1 < size ? kPairs.pair[n & 4095][0] : '=';
    to[3] = '=';
  }
}

}  // namespace zep::viewer
