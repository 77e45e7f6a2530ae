// The echogram's levels of halvings, written as chunks of columns. A record
// of 100,000 pings makes some 400 MB of these scripts: the columns live in
// buffers kept from one ping to the next, and the text of a chunk is made
// in place.

#include <algorithm>
#include <filesystem>

#include "export/text_output.h"
#include "export/viewer_parts.h"

namespace zep::viewer {
namespace {

namespace fs = std::filesystem;

// Two neighbours halved both ways: each cell the strongest read sample of
// the (up to) four below it, unread only when none of them was read. An
// unread sample holds 0, so it never wins the maximum.
void Merge(const Column& a, const Column* b, Column& out) {
  out.present = a.present || (b && b->present);
  const std::size_t len = std::max(a.value.size(), b ? b->value.size() : 0);
  const std::size_t rows = (len + 1) / 2;
  out.value.assign(rows, 0);
  std::uint8_t* to = out.value.data();
  for (const Column* c : {&a, b}) {
    if (!c) continue;
    const std::uint8_t* v = c->value.data();
    const std::size_t n = c->value.size();
    for (std::size_t j = 0; j < n / 2; ++j) to[j] = std::max({to[j], v[2 * j], v[2 * j + 1]});
    if (n % 2) to[n / 2] = std::max(to[n / 2], v[n - 1]);
  }
  out.anyUnread = a.anyUnread || (b && b->anyUnread);
  if (!out.anyUnread) return;
  out.unread.assign(rows, 1);
  for (const Column* c : {&a, b}) {
    if (!c) continue;
    for (std::size_t i = 0; i < c->value.size(); ++i) {
      if (!c->anyUnread || !c->unread[i]) out.unread[i / 2] = 0;
    }
  }
  out.anyUnread = std::find(out.unread.begin(), out.unread.end(), 1) != out.unread.end();
}

std::string ChunkName(int level, int chunk) { return "L" + std::to_string(level) + "-" + std::to_string(chunk) + ".js"; }

}  // namespace

void Writer::Write(const std::string& path, std::string_view text) {
  if (!problems.empty()) return;
  OutputFile file = OutputFile::Create(path, request.output);
  if (file.open()) file.Write({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
  if (file.open() && file.Close()) return;
  problems.push_back(file.failed() ? file.problem() : Problem{path, "could not be written", 0, ProblemKind::kWriteFailed});
  file.Discard();
}

void Writer::WriteData(const std::string& name, std::string_view text) {
  Write((fs::path(request.dataDir) / name).string(), text);
}

void Level::Add(const Column& c) {
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
  text_ = "zepViewerChunk(";
  for (const std::int64_t n : {std::int64_t{level_}, std::int64_t{chunks_}, static_cast<std::int64_t>(rows_)}) {
    AppendInt(text_, n);
    text_ += ',';
  }
  text_ += '[';
  text_ += lens_;
  text_ += "],\"";
  AppendBase64(text_, values_.data(), values_.size());
  text_ += "\",\"";
  if (anyUnread_) {
    mask_.resize((values_.size() + 7) / 8, 0);
    AppendBase64(text_, mask_.data(), mask_.size());
  }
  text_ += "\");\n";
  writer_.WriteData(ChunkName(level_, chunks_), text_);
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

void Pyramid::Add(const Column& c, std::size_t level) {
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
  Merge(slot.held, &c, slot.merged);
  slot.pending = false;
  Add(slot.merged, level + 1);
}

void Pyramid::Ping(const PingInfo& p, std::span<const std::uint8_t> samples) {
  ping_.present = true;
  ping_.value.assign(samples.begin(), samples.end());
  ping_.anyUnread = false;
  for (const SampleRange& r : p.unread) {
    for (std::uint32_t i = r.begin; i < r.end && i < ping_.value.size(); ++i) {
      if (!ping_.anyUnread) ping_.unread.assign(ping_.value.size(), 0), ping_.anyUnread = true;
      ping_.unread[i] = 1, ping_.value[i] = 0;
    }
  }
  Add(ping_, 0);
}

void Pyramid::Missing() { Add(Column{}, 0); }

void Pyramid::Finish() {
  for (std::size_t level = 0; level < slots_.size(); ++level) {
    Slot& slot = *slots_[level];
    if (slot.level.columns() > 1 && slot.pending) {
      Merge(slot.held, nullptr, slot.merged);
      slot.pending = false;
      Add(slot.merged, level + 1);
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

void AppendBase64(std::string& out, const std::uint8_t* bytes, std::size_t size) {
  static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  const std::size_t at = out.size();
  out.resize(at + (size + 2) / 3 * 4);
  char* to = out.data() + at;
  std::size_t i = 0;
  for (; i + 3 <= size; i += 3, to += 4) {
    const std::uint32_t n = std::uint32_t{bytes[i]} << 16 | std::uint32_t{bytes[i + 1]} << 8 | bytes[i + 2];
    to[0] = kDigits[n >> 18];
    to[1] = kDigits[n >> 12 & 63];
    to[2] = kDigits[n >> 6 & 63];
    to[3] = kDigits[n & 63];
  }
  if (i < size) {
    const std::uint32_t n = std::uint32_t{bytes[i]} << 16 | (i + 1 < size ? std::uint32_t{bytes[i + 1]} << 8 : 0);
    to[0] = kDigits[n >> 18];
    to[1] = kDigits[n >> 12 & 63];
    to[2] = i + 1 < size ? kDigits[n >> 6 & 63] : '=';
    to[3] = '=';
  }
}

}  // namespace zep::viewer
