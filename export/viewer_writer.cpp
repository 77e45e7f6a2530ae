// The viewer's files: made as texts by the walk of the record, written and
// put in place by the thread that asked for them.

#include <algorithm>
#include <filesystem>

#include "export/text_output.h"
#include "export/viewer_parts.h"

namespace zep::viewer {
namespace {

namespace fs = std::filesystem;

// Made files waiting to be written, in bytes (and always one): enough for
// the maker to go on while the writing waits for the disc, and the texts of
// a record's largest chunks are under a MiB each.
constexpr std::size_t kQueuedBytes = 8 << 20;
// Texts written, kept for their room, so that the maker does not make each
// anew: at most as much room as the queue holds. A text of a MiB or more is
// the system's own (LargeBlocksBackToTheSystem), so a fresh one costs a page
// fault every 4 KiB and its freeing stops both processors (the TLBs are
// flushed) in the middle of what they do.
constexpr std::size_t kSpareBytes = kQueuedBytes;

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
  std::string text;
  std::lock_guard lock(mutex_);
  // The smallest that has the room, else the largest.
  const auto better = [&](const std::string& a, const std::string& b) {
    const bool aFits = a.capacity() >= room, bFits = b.capacity() >= room;
    return aFits != bFits ? aFits : aFits ? a.capacity() < b.capacity() : a.capacity() > b.capacity();
  };
  if (const auto best = std::min_element(spare_.begin(), spare_.end(), better); best != spare_.end()) {
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

void Writer::WriteData(const std::string& name, std::string_view text) { Write(DataPath(name), text); }

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

void Writer::Recycle(std::string&& text) {
  std::lock_guard lock(mutex_);
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
