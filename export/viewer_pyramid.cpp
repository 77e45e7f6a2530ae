// The echogram's levels of halvings, written as chunks of columns. A record
// of 100,000 pings makes some 400 MB of these scripts: the columns live in
// buffers kept from one ping to the next, and the text of a chunk is made
// in place.

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "disc/processor.h"
#include "export/text_output.h"
#include "export/viewer_parts.h"

#if (defined(__GNUC__) || defined(__clang__)) && defined(__x86_64__)
#define ZEP_VIEWER_SSSE3 1
#include <immintrin.h>
#endif

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

// zepViewerChunk(level, chunk, the values column after column, each as long
// as its rows, a bit per value set where it was not read, rows, [rows of
// each column, 0 where no ping]). Values and bits are strings of bytes (see
// AppendByteString): one byte a value, where base64 would take four for
// three, as these scripts are most of a box's bytes. The numbers of the
// columns come last, so each column goes into the text as it comes.
void Level::Add(const ColumnView& c) {
  if (inChunk_ == 0) {
    text_ = writer_.Spare(reserve_);
    text_ = "zepViewerChunk(";
    AppendInt(text_, level_);
    text_ += ',';
    AppendInt(text_, chunks_);
    text_ += ",\"";
  }
  const std::size_t at = values_;
  AppendByteString(text_, c.value.data(), c.value.size());
  values_ += c.value.size();
  if (c.anyUnread) {
    mask_.resize((values_ + 7) / 8, 0);
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

void Level::Flush() {
  if (inChunk_ == 0) return;
  text_ += "\",\"";
  if (anyUnread_) {
    mask_.resize((values_ + 7) / 8, 0);
    AppendByteString(text_, mask_.data(), mask_.size());
  }
  text_ += "\",";
  AppendInt(text_, static_cast<std::int64_t>(rows_));
  text_ += ",[";
  text_ += lens_;
  text_ += "]);\n";
  // The next chunk of this level is made room for at once: a little more
  // than the largest yet. A text that grows is made anew in fresh memory,
  // and the texts written come back to be used again only where they fit.
  reserve_ = std::max(reserve_, text_.size() + text_.size() / 8);
  writer_.Give(writer_.DataPath(ChunkName(level_, chunks_)), std::move(text_));
  ++chunks_;
  inChunk_ = 0;
  rows_ = 0;
  values_ = 0;
  anyUnread_ = false;
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
constexpr bool Special(std::uint8_t flipped) {
  return flipped == '"' || flipped == '\\' || flipped == '\n' || flipped == '\r';
}

// One flipped byte, escaped where it must be.
char* Put(char* to, std::uint8_t b) {
  if (!Special(b)) {
    *to = static_cast<char>(b);
    return to + 1;
  }
  to[0] = '\\';
  to[1] = b == '\n' ? 'n' : b == '\r' ? 'r' : static_cast<char>(b);
  return to + 2;
}

#ifdef ZEP_VIEWER_SSSE3

// For each pattern of escapes among eight bytes (a bit each, the first
// lowest), the byte shuffle that writes them with a backslash (byte 8 of
// the source) before each escaped one, and how many bytes that makes.
struct Expansion {
  std::array<std::uint8_t, 16> shuffle{};
  std::uint8_t length = 0;
};
constexpr std::array<Expansion, 256> MakeExpansions() {
  std::array<Expansion, 256> table{};
  for (unsigned hits = 0; hits < 256; ++hits) {
    Expansion& e = table[hits];
    e.shuffle.fill(0x80);  // no byte
    for (std::uint8_t i = 0; i < 8; ++i) {
      if (hits >> i & 1) e.shuffle[e.length++] = 8;
      e.shuffle[e.length++] = i;
    }
  }
  return table;
}
constexpr std::array<Expansion, 256> kExpansions = MakeExpansions();

// Sixteen bytes at a time, with no branch on what they hold: a quarter of
// the blocks of a record's samples have a byte to escape, too many for a
// branch to guess. Each half of a block goes out in one shuffle and one
// store of sixteen bytes, the next store writing over what lies past it;
// so to needs sixteen bytes of room past what it is given. Gives where it
// stopped, and in done the bytes it took.
__attribute__((target("ssse3"))) char* PutBlocks(char* to, const std::uint8_t* bytes, std::size_t size,
                                                  std::size_t& done) {
  const __m128i flip = _mm_set1_epi8(static_cast<char>(kFlip)), backslash = _mm_set1_epi8('\\');
  const __m128i lf = _mm_set1_epi8('\n'), cr = _mm_set1_epi8('\r'), quote = _mm_set1_epi8('"');
  // done is written once at the end: the stores through to (chars) could
  // change it, so the compiler would read it back after each one.
  std::size_t i = 0;
  for (; i + 16 <= size; i += 16) {
    __m128i b = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i)), flip);
    const __m128i isLf = _mm_cmpeq_epi8(b, lf), isCr = _mm_cmpeq_epi8(b, cr);
    const __m128i hits = _mm_or_si128(_mm_or_si128(isLf, isCr),
                                      _mm_or_si128(_mm_cmpeq_epi8(b, quote), _mm_cmpeq_epi8(b, backslash)));
    const auto mask = static_cast<unsigned>(_mm_movemask_epi8(hits));
    // LF and CR are written as n and r after their backslash.
    b = _mm_add_epi8(b, _mm_and_si128(isLf, _mm_set1_epi8('n' - '\n')));
    b = _mm_add_epi8(b, _mm_and_si128(isCr, _mm_set1_epi8('r' - '\r')));
    const __m128i halves[2] = {_mm_unpacklo_epi64(b, backslash), _mm_unpackhi_epi64(b, backslash)};
    for (int h = 0; h < 2; ++h) {
      const Expansion& e = kExpansions[mask >> (8 * h) & 0xFF];
      const __m128i order = _mm_loadu_si128(reinterpret_cast<const __m128i*>(e.shuffle.data()));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(to), _mm_shuffle_epi8(halves[h], order));
      to += e.length;
    }
  }
  done = i;
  return to;
}

// Thirty-two bytes at a time, by AVX-512's byte expansion: the mask of the
// places of the bytes among the backslashes is the mask of the escapes
// spread to two bits a byte (backslash, byte) and the unused ones squeezed
// out. Writes 64 bytes at to, at most twice what it takes: so to needs no
// room past what it is given.
__attribute__((target("avx512f,avx512bw,avx512vl,avx512vbmi2,bmi2"))) char* PutWideBlocks(
    char* to, const std::uint8_t* bytes, std::size_t size, std::size_t& done) {
  const __m256i flip = _mm256_set1_epi8(static_cast<char>(kFlip)), backslash = _mm256_set1_epi8('\\');
  const __m256i lf = _mm256_set1_epi8('\n'), cr = _mm256_set1_epi8('\r'), quote = _mm256_set1_epi8('"');
  const __m512i backslashes = _mm512_set1_epi8('\\');
  constexpr std::uint64_t kByteBits = 0xAAAAAAAAAAAAAAAAull, kEscapeBits = 0x5555555555555555ull;
  std::size_t i = 0;
  for (; i + 32 <= size; i += 32) {
    __m256i b = _mm256_xor_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + i)), flip);
    const __mmask32 isLf = _mm256_cmpeq_epi8_mask(b, lf), isCr = _mm256_cmpeq_epi8_mask(b, cr);
    const std::uint32_t hits = isLf | isCr | _mm256_cmpeq_epi8_mask(b, quote) | _mm256_cmpeq_epi8_mask(b, backslash);
    b = _mm256_mask_add_epi8(b, isLf, b, _mm256_set1_epi8('n' - '\n'));
    b = _mm256_mask_add_epi8(b, isCr, b, _mm256_set1_epi8('r' - '\r'));
    const std::uint64_t used = _pdep_u64(hits, kEscapeBits) | kByteBits;
    const __mmask64 places = _pext_u64(kByteBits, used);
    _mm512_storeu_si512(to, _mm512_mask_expand_epi8(backslashes, places, _mm512_castsi256_si512(b)));
    to += 32 + std::popcount(hits);
  }
  done = i;
  return to;
}

#endif

// A step at a time into a buffer that holds the most a step can make
// (every byte escaped) and the blocks' room past it, then onto the text:
// the buffer stays in the processor's cache, where sizing the text for the
// most would first fill it with zeros.
void AppendBytes(std::string& out, const std::uint8_t* bytes, std::size_t size, ByteStringBuild build) {
  alignas(64) char step[2 * kByteStringStep + 16];
  for (std::size_t done = 0; done < size;) {
    const std::size_t n = std::min(kByteStringStep, size - done);
    char* to = step;
    std::size_t i = 0;
#ifdef ZEP_VIEWER_SSSE3
    if (build == ByteStringBuild::kAvx512) to = PutWideBlocks(to, bytes + done, n, i);
    if (build != ByteStringBuild::kPortable) {
      std::size_t more = 0;
      to = PutBlocks(to, bytes + done + i, n - i, more);
      i += more;
    }
#endif
    for (; i < n; ++i) to = Put(to, bytes[done + i] ^ kFlip);
    out.append(step, static_cast<std::size_t>(to - step));
    done += n;
  }
}

}  // namespace

bool ProcessorRuns(ByteStringBuild build) {
#ifdef ZEP_VIEWER_SSSE3
  return build == ByteStringBuild::kPortable || (build == ByteStringBuild::kSsse3 && ProcessorHasSsse3()) ||
         (build == ByteStringBuild::kAvx512 && ProcessorHasAvx512Expand() && ProcessorHasSsse3());
#else
  return build == ByteStringBuild::kPortable;
#endif
}

void AppendByteString(std::string& out, const std::uint8_t* bytes, std::size_t size) {
  static const ByteStringBuild best = ProcessorRuns(ByteStringBuild::kAvx512)  ? ByteStringBuild::kAvx512
                                      : ProcessorRuns(ByteStringBuild::kSsse3) ? ByteStringBuild::kSsse3
                                                                               : ByteStringBuild::kPortable;
  AppendBytes(out, bytes, size, best);
}

void AppendByteStringBuilt(ByteStringBuild build, std::string& out, const std::uint8_t* bytes, std::size_t size) {
  AppendBytes(out, bytes, size, ProcessorRuns(build) ? build : ByteStringBuild::kPortable);
}

}  // namespace zep::viewer
