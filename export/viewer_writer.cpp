// The viewer's files: made as texts by the walk of the record, written and
// put in place by the thread that asked for them.

#include <algorithm>
#include <bit>
#include <filesystem>

#include "export/text_output.h"
#include "export/viewer_parts.h"

namespace zep::viewer {
namespace {

namespace fs = std::filesystem;

// Made files waiting to be written, in bytes (and always one): enough for
// the maker to go on while the writing waits for the disc; a record's
// largest chunks are a MiB or two each.
constexpr std::size_t kQueuedBytes = 8 << 20;
// Texts written, kept for their room, so that the maker does not make each
// anew: room for a queue's worth made while another is written, so that
// once a record's first chunks are made no text is made anew. A text of a
// MiB or more is the system's own (LargeBlocksBackToTheSystem), so a fresh
// one costs a page fault every 4 KiB and its freeing stops both processors
// (the TLBs are flushed) in the middle of what they do.
constexpr std::size_t kSpareBytes = 2 * kQueuedBytes;
// The least room a text is made with; rooms are powers of two.
constexpr std::size_t kLeastRoom = 64 << 10;

}  // namespace

bool Writer::Stopped() {
  std::lock_guard lock(mutex_);
  return failed_;
}

void Writer::Give(const std::string& path, std::string&& text, bool last) {
  if (Stopped()) return;
  Made made{path, std::move(text), last};
  if (!request_.ownThread) {
    WriteOne(made);
    return Recycle(std::move(made.text));
  }
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return failed_ || queued_ == 0 || queued_ + made.text.size() <= kQueuedBytes; });
  if (failed_) return;
  queued_ += made.text.size();
  made_.push_back(std::move(made));
  changed_.notify_all();
}

std::string Writer::Spare(std::size_t room) {
  // Rooms come in powers of two, so that texts fit one another's place:
  // chunks of one level differ by a few bytes.
  room = std::bit_ceil(std::max(room, kLeastRoom));
  std::string text;
  std::lock_guard lock(mutex_);
  const auto fits = [&](const std::string& s) { return s.capacity() >= room; };
  const auto smaller = [&](const std::string& a, const std::string& b) {
    return fits(a) != fits(b) ? fits(a) : a.capacity() < b.capacity();
  };
  // The smallest that has the room; one that has not is kept for a text it fits.
  if (const auto best = std::min_element(spare_.begin(), spare_.end(), smaller); best != spare_.end() && fits(*best)) {
    spareBytes_ -= best->capacity();
    text = std::move(*best);
    spare_.erase(best);
  }
  text.clear();
  text.reserve(room);
  return text;
}

void Writer::Write(const std::string& path, std::string_view text, bool last) {
  std::string made = Spare(text.size());
  made.assign(text);
  Give(path, std::move(made), last);
}

std::string Writer::DataPath(const std::string& name) const { return (fs::path(request_.dataDir) / name).string(); }

void Writer::WriteData(const std::string& name, std::string&& text) { Give(DataPath(name), std::move(text)); }

void Writer::End() {
  std::lock_guard lock(mutex_);
  ended_ = true;
  changed_.notify_all();
}

bool Writer::Take(Made& made) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return ended_ || !made_.empty(); });
  if (made_.empty()) return false;
  made = std::move(made_.front());
  made_.pop_front();
  queued_ -= made.text.size();
  changed_.notify_all();
  return true;
}

// The largest texts are kept: a smaller one is made again in less.
void Writer::Recycle(std::string&& text) {
  std::lock_guard lock(mutex_);
  const auto smaller = [](const std::string& a, const std::string& b) { return a.capacity() < b.capacity(); };
  while (!spare_.empty() && spareBytes_ + text.capacity() > kSpareBytes) {
    const auto smallest = std::min_element(spare_.begin(), spare_.end(), smaller);
    if (smallest->capacity() >= text.capacity()) return;
    spareBytes_ -= smallest->capacity();
    spare_.erase(smallest);
  }
  if (spareBytes_ + text.capacity() > kSpareBytes) return;
  spareBytes_ += text.capacity();
  spare_.push_back(std::move(text));
}

Problems Writer::WriteAll() {
  for (Made made; request_.ownThread && Take(made);) {
    WriteOne(made);
    Recycle(std::move(made.text));
  }
  files_.PutInPlace();
  return files_.problems();
}

void Writer::Abandon() {
  std::lock_guard lock(mutex_);
  failed_ = true;
  changed_.notify_all();
}

// A record's viewer is hundreds of files of a MiB or two: each goes to the
// disc as soon as it is written, and they are put in place some at a time
// (TextFiles); the page only after every script it loads.
void Writer::WriteOne(const Made& made) {
  if (!files_.problems().empty()) return;
  if (made.last) files_.PutInPlace();
  files_.Write(made.path, made.text);
  if (made.last) files_.PutInPlace();
  if (!files_.problems().empty()) Abandon();
}

}  // namespace zep::viewer
