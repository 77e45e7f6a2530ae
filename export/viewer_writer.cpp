// The viewer's files: made as texts by the walk of the record, written and
// put in place by the thread that asked for them.

#include <filesystem>

#include "disc/text_file.h"
#include "export/text_output.h"
#include "export/viewer_parts.h"

namespace zep::viewer {
namespace {

namespace fs = std::filesystem;

// Made files waiting to be written, in bytes (and always one): the maker
// runs a file ahead of the writing, which is all it needs, and the texts of
// a record's largest chunks are some MiB each.
constexpr std::size_t kQueuedBytes = 1 << 20;
// Texts written, kept for their room: one for the maker, one for the queue.
constexpr std::size_t kSpares = 2;
// A record's viewer is hundreds of files of a MiB or two. Each goes to the
// disc as soon as it is written, and they are put in place kCloseTogether at
// a time, after one sync for them all (see CloseTogether).

}  // namespace

bool Writer::Stopped() {
  std::lock_guard lock(mutex_);
  return failed_;
}

void Writer::Open(const std::string& path, std::size_t size) {
  open_ = !Stopped();
  if (!open_) return;
  making_.path = path;
  {
    std::lock_guard lock(mutex_);
    if (!spare_.empty()) {
      making_.text = std::move(spare_.back());
      spare_.pop_back();
    }
  }
  making_.text.clear();
  making_.text.reserve(size);
}

void Writer::Put(std::string_view text) {
  if (open_) making_.text += text;
}

void Writer::PutBase64(const std::uint8_t* bytes, std::size_t size) {
  if (open_) AppendBase64(making_.text, bytes, size);
}

void Writer::Close(bool last) {
  if (!std::exchange(open_, false)) return;
  making_.last = last;
  if (!request_.ownThread) return WriteOne(making_);
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return failed_ || queued_ == 0 || queued_ + making_.text.size() <= kQueuedBytes; });
  if (failed_) return;
  queued_ += making_.text.size();
  made_.push_back(std::move(making_));
  changed_.notify_all();
}

void Writer::Write(const std::string& path, std::string_view text, bool last) {
  Open(path);
  Put(text);
  Close(last);
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

Problems Writer::WriteAll() {
  for (Made made; request_.ownThread && Take(made);) {
    WriteOne(made);
    std::lock_guard lock(mutex_);
    if (spare_.size() < kSpares) spare_.push_back(std::move(made.text));
  }
  PutInPlace();
  return problems_;
}

void Writer::Abandon() {
  std::lock_guard lock(mutex_);
  failed_ = true;
  changed_.notify_all();
}

void Writer::WriteOne(Made& made) {
  if (!problems_.empty()) return;
  if (made.last) PutInPlace();
  OutputFile file = OutputFile::Create(made.path, request_.output);
  if (file.open()) file.Write({reinterpret_cast<const std::uint8_t*>(made.text.data()), made.text.size()});
  if (!file.open() || file.failed()) {
    problems_.push_back(file.failed() ? file.problem() : Problem{made.path, "could not be written", 0, ProblemKind::kWriteFailed});
    file.Discard();
  } else {
    file.SendOn();
    written_.push_back(std::move(file));
  }
  if (made.last || written_.size() >= kCloseTogether) PutInPlace();
  if (!problems_.empty()) Abandon();
}

void Writer::PutInPlace() {
  for (Problem& p : CloseTogether(written_)) problems_.push_back(std::move(p));
  written_.clear();
}

}  // namespace zep::viewer
