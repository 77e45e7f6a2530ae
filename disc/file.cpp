#include "disc/file.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <utility>

#include "disc/platform_file.h"

namespace zep {
namespace {
// Large enough that a record is written in few system calls, small enough to
// keep memory flat whatever the record's length.
constexpr std::size_t kOutputBufferSize = 256 * 1024;
// Pieces this large go straight to the file. Copying them into the buffer
// saves no system call, and the copy is not free: the scan dump's aligned
// 128 KiB pieces, copied 16 bytes past a page boundary, made glibc's memcpy
// run at a tenth of its speed on AMD EPYC and the dump twice as slow as dd.
constexpr std::size_t kDirectWriteSize = 64 * 1024;

// The outputs not yet in place, where an interrupt finds them: fixed slots
// of plain characters, since a signal handler may neither allocate nor lock.
// A slot is filled and emptied only while interrupts are held off.
constexpr std::size_t kPathRoom = 4096;
struct Unfinished {
  std::atomic<bool> used{false};
  char final[kPathRoom];
  char temp[kPathRoom];
};
Unfinished unfinished[64];

void CopyPath(char (&to)[kPathRoom], const std::string& path) {
  const bool fits = path.size() < kPathRoom;  // a path this long cannot have been made anyway
  std::memcpy(to, path.data(), fits ? path.size() : 0);
  to[fits ? path.size() : 0] = '\0';
}

int Enlist(const std::string& final, const std::string& temp) {
  for (int i = 0; i < static_cast<int>(std::size(unfinished)); ++i) {
    if (unfinished[i].used.load()) continue;
    CopyPath(unfinished[i].final, final);
    CopyPath(unfinished[i].temp, temp);
    unfinished[i].used.store(true);
    return i;
  }
  return -1;  // more outputs at once than ever happen; the file is still discarded on every other path
}

// "~zep-MACHINE-PID-N.tmp": the machine as eight hex digits of its name's
// hash, so that a folder shared over a network never sees another machine's
// live file taken for a dead one here.
std::string MachineTag() {
  std::uint32_t hash = 2166136261u;  // FNV-1a
  for (unsigned char c : platform::ThisMachineName()) hash = (hash ^ c) * 16777619u;
  char tag[9];
  std::snprintf(tag, sizeof tag, "%08x", static_cast<unsigned>(hash));
  return tag;
}

const std::string& TempPrefix() {
  static const std::string prefix = "~zep-" + MachineTag() + "-";
  return prefix;
}

std::string TempName(const std::string& folder, int n) {
  return folder + TempPrefix() + std::to_string(platform::ThisProcessId()) + "-" + std::to_string(n) + ".tmp";
}

// The process id in a name of this machine's pattern; 0 for any other name.
unsigned long WriterOf(const std::string& name) {
  const std::string& prefix = TempPrefix();
  if (!name.starts_with(prefix) || !name.ends_with(".tmp")) return 0;
  const char* first = name.data() + prefix.size();
  const char* last = name.data() + name.size() - 4;
  unsigned long id = 0;
  const auto [dash, ec] = std::from_chars(first, last, id);
  if (ec != std::errc() || dash == last || *dash != '-') return 0;
  unsigned long n = 0;
  const auto [end, ec2] = std::from_chars(dash + 1, last, n);
  return ec2 == std::errc() && end == last ? id : 0;
}

// Temporary files that runs killed on a file system without unnamed files
// left behind (or killed in the instant between naming a file and renaming
// it). Only files of this machine's pattern whose process is gone are
// touched: a live writer's file is never taken. Once per folder and run.
void RemoveDeadTemporaries(const std::string& folder) {
  static std::set<std::string> swept;
  if (!swept.insert(folder).second) return;
  for (const std::string& name : platform::NamesIn(folder)) {
    const unsigned long id = WriterOf(name);
    if (id == 0 || id == platform::ThisProcessId() || !platform::ProcessIsGone(id)) continue;
    std::string ignored;
    platform::DeleteFileAt(folder + name, ignored);
  }
}
}  // namespace

OutputFile::OutputFile(OutputFile&& other) noexcept { *this = std::move(other); }

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
  if (this != &other) {
    Discard();
    handle_ = std::exchange(other.handle_, kNoHandle);
    path_ = std::move(other.path_);
    tempPath_ = std::exchange(other.tempPath_, {});
    unnamed_ = std::exchange(other.unnamed_, false);
    slot_ = std::exchange(other.slot_, -1);
    problem_ = std::move(other.problem_);
    buffer_ = std::move(other.buffer_);
    used_ = std::exchange(other.used_, 0);
    written_ = std::exchange(other.written_, 0);
    onSystem_ = std::exchange(other.onSystem_, 0);
    writtenBack_ = std::exchange(other.writtenBack_, 0);
    noClobber_ = std::exchange(other.noClobber_, false);
    named_ = std::exchange(other.named_, false);
    clobberRefused_ = std::exchange(other.clobberRefused_, false);
    synced_ = std::exchange(other.synced_, false);
    watch_ = std::move(other.watch_);
  }
  return *this;
}

OutputFile::~OutputFile() { Discard(); }

OutputFile OutputFile::Create(const std::string& path, const OutputOptions& options) {
  OutputFile f;
  f.path_ = path;
  f.noClobber_ = options.noClobber;
  f.named_ = options.named;
  const platform::PathKind kind = platform::KindOf(path);
  std::string err;
  if (kind == platform::PathKind::Device) {
    f.handle_ = platform::OpenDeviceOutput(path, err);
  } else if (kind == platform::PathKind::Folder) {
    err = "is a folder";  // said now, not after the whole record has been read
  } else if (options.noClobber && kind == platform::PathKind::File) {
    err = kKeptExistingReason;
    f.clobberRefused_ = true;
  } else {
    f.CreateTemporary(err);
  }
  if (f.open()) {
    f.buffer_.resize(kOutputBufferSize);
    f.watch_ = options.watch;
  }
  else f.Fail(err);
  return f;
}

bool OutputFile::CreateTemporary(std::string& error) {
  const std::string folder = platform::FolderOf(path_);
  RemoveDeadTemporaries(folder);
  platform::HoldInterrupts();
  if (!named_) handle_ = platform::CreateUnnamedFile(folder);
  unnamed_ = open();
  for (int n = 0; !open() && n < 10000; ++n) {
    bool exists = false;
    handle_ = platform::CreateNewFile(TempName(folder, n), named_, exists, error);
    if (open()) tempPath_ = TempName(folder, n);
    else if (!exists) break;
  }
  if (open()) slot_ = Enlist(path_, tempPath_);
  platform::ReleaseInterrupts();
  if (!open() && error.empty()) error = "no free name for a temporary file beside it";
  return open();
}

bool OutputFile::Flush() {
  if (used_ == 0 || failed()) return !failed();
  // The watch sees the bytes a buffer at a time: a few calls a file rather
  // than one for each small write.
  if (watch_) watch_->Wrote(path_, {buffer_.data(), used_});
  std::string err;
  if (!platform::WriteAll(handle_, buffer_.data(), used_, err)) Fail(err);
  WroteOut(used_);
  used_ = 0;
  return !failed();
}

// A large file goes to the disc while the rest of it is made, a few MiB
// behind the writing: the sync at Close, which must wait for every byte,
// then finds little left, and the disc works beside the processor.
void OutputFile::WroteOut(std::size_t bytes) {
  constexpr std::uint64_t kWriteBehind = 4 << 20;
  onSystem_ += bytes;
  if (failed() || onSystem_ - writtenBack_ < kWriteBehind) return;
  platform::StartWriteBack(handle_, writtenBack_, onSystem_ - writtenBack_);
  writtenBack_ = onSystem_;
}

void OutputFile::SendOn() {
  if (!open() || !Flush()) return;
  buffer_.clear();  // nothing more is written: a file waiting for its Close keeps no buffer
  buffer_.shrink_to_fit();
  if (onSystem_ == writtenBack_) return;
  platform::StartWriteBack(handle_, writtenBack_, onSystem_ - writtenBack_);
  writtenBack_ = onSystem_;
}

Problems CloseTogether(std::span<OutputFile> files) {
  // One file's handle stands for the file system: the files are written into
  // one folder. One file alone is synced as Close() syncs it.
  bool flushed = true;
  for (OutputFile& f : files) flushed = (!f.open() || f.Flush()) && flushed;
  const bool synced =
      flushed && files.size() > 1 && files.front().open() && platform::SyncFileSystem(files.front().handle_);
  Problems problems;
  for (OutputFile& f : files) {
    f.synced_ = synced;
    if (!f.Close()) problems.push_back(f.problem());
  }
  return problems;
}

bool OutputFile::Write(std::span<const std::uint8_t> bytes) {
  if (!open() || failed()) return false;
  if (bytes.empty()) return true;  // an empty span may carry a null pointer, which memcpy must not see
  written_ += bytes.size();
  if (used_ + bytes.size() > buffer_.size() || bytes.size() >= kDirectWriteSize) {
    if (!Flush()) return false;
    if (bytes.size() >= kDirectWriteSize || bytes.size() > buffer_.size()) {  // no buffer once SendOn gave it up
      if (watch_) watch_->Wrote(path_, bytes);
      std::string err;
      if (!platform::WriteAll(handle_, bytes.data(), bytes.size(), err)) Fail(err);
      WroteOut(bytes.size());
      return !failed();
    }
  }
  std::memcpy(buffer_.data() + used_, bytes.data(), bytes.size());
  used_ += bytes.size();
  return true;
}

std::int64_t OutputFile::CopyFrom(Volume& volume, std::int64_t pos, std::int64_t size) {
  // The queued bytes go first, so the copy lands behind them.
  // A watched file's bytes must pass through Write, where the watch sees them.
  if (watch_ || !open() || failed() || !Flush()) return 0;
  const std::int64_t copied = volume.CopyInto(handle_, pos, size);
  written_ += static_cast<std::uint64_t>(copied);
  return copied;
}

bool OutputFile::WriteZeros(std::size_t count) {
  static constexpr std::uint8_t kZeros[4096] = {};
  while (count > 0) {
    const std::size_t n = std::min(count, sizeof kZeros);
    if (!Write({kZeros, n})) return false;
    count -= n;
  }
  return true;
}

bool OutputFile::Close() {
  if (!open()) return !failed();
  Flush();
  buffer_.clear();
  buffer_.shrink_to_fit();
  std::string err;
  if (tempPath_.empty() && !unnamed_) {  // a device
    if (!platform::CloseFile(std::exchange(handle_, kNoHandle), err) && !failed()) Fail(err);
    TellClosed(!failed());
    return !failed();
  }
  // Outside the held stretch: on a slow stick this wait is long, and an
  // interrupt meanwhile finds the file unfinished.
  if (!failed() && !synced_ && !platform::SyncFile(handle_, err)) Fail(err);
  platform::HoldInterrupts();
  const bool placed = PutInPlace();
  if (!placed) DiscardHeld();
  platform::ReleaseInterrupts();
  TellClosed(placed);
  return placed;
}

// Runs with interrupts held off: an interrupt sees the file either still
// unfinished or in place, never between.
bool OutputFile::PutInPlace() {
  std::string err;
  const std::string folder = platform::FolderOf(path_);
  // An unnamed file gets a temporary name first, so that the rename below
  // replaces an earlier file in one step, as it does for a named one.
  for (int n = 0; !failed() && unnamed_ && n < 10000; ++n) {
    bool exists = false;
    const std::string name = TempName(folder, n);
    if (platform::NameUnnamedFile(handle_, name, exists, err)) {
      tempPath_ = name;
      unnamed_ = false;
      if (slot_ >= 0) CopyPath(unfinished[slot_].temp, tempPath_);
    } else if (!exists) {
      Fail(err);
    }
  }
  if (!failed() && unnamed_) Fail("no free name for a temporary file beside it");
  // A file written by name never carried the delete mark (CreateNewFile).
  if (!failed() && !named_ && !platform::KeepFile(handle_, err)) Fail(err);
  if (!platform::CloseFile(std::exchange(handle_, kNoHandle), err) && !failed()) Fail(err);
  if (failed()) return false;
  bool exists = false;
  if (!platform::RenameInto(tempPath_, path_, !noClobber_, exists, err)) {
    clobberRefused_ = exists;
    Fail(err);
    return false;
  }
  tempPath_.clear();
  if (slot_ >= 0) unfinished[std::exchange(slot_, -1)].used.store(false);
  return true;
}

void OutputFile::Discard() {
  TellClosed(false);
  if (!open() && tempPath_.empty() && slot_ < 0) return;
  platform::HoldInterrupts();
  DiscardHeld();
  platform::ReleaseInterrupts();
}

void OutputFile::TellClosed(bool kept) {
  if (const auto watch = std::exchange(watch_, nullptr)) watch->Closed(path_, kept);
}

void OutputFile::DiscardHeld() {
  if (open()) {
    used_ = 0;
    std::string err;
    platform::CloseFile(std::exchange(handle_, kNoHandle), err);
  }
  // Only the temporary file is ever deleted: an earlier file of the final
  // name stays, and output sent to a device never takes the device with it.
  // An unnamed file went with its handle.
  std::string ignored;
  if (!tempPath_.empty()) platform::DeleteFileAt(std::exchange(tempPath_, {}), ignored);
  unnamed_ = false;
  if (slot_ >= 0) unfinished[std::exchange(slot_, -1)].used.store(false);
}

void AbandonUnfinishedOutputs(void (*report)(const char* path)) {
  platform::HoldInterrupts();  // never released: the process ends next
  for (Unfinished& u : unfinished) {
    if (!u.used.load()) continue;
    if (u.temp[0] != '\0') platform::DeleteFileNow(u.temp);
    report(u.final);
  }
}

void LeaveInterruptsToOtherThreads() { platform::LeaveInterruptsToOtherThreads(); }

InputFile::InputFile(InputFile&& other) noexcept { *this = std::move(other); }

InputFile& InputFile::operator=(InputFile&& other) noexcept {
  if (this != &other) {
    if (open()) {
      std::string err;
      platform::CloseFile(handle_, err);
    }
    handle_ = std::exchange(other.handle_, kNoHandle);
    path_ = std::move(other.path_);
    problem_ = std::move(other.problem_);
  }
  return *this;
}

InputFile::~InputFile() {
  if (open()) {
    std::string err;
    platform::CloseFile(handle_, err);
  }
}

InputFile InputFile::Open(const std::string& path) {
  InputFile f;
  f.path_ = path;
  std::string err;
  f.handle_ = platform::OpenInputFile(path, err);
  if (!f.open()) f.problem_ = Problem{path, err, 0, ProblemKind::kUnreadable};
  return f;
}

ReadResult InputFile::Read(std::span<std::uint8_t> buf) {
  if (!open()) return {0, Problem{path_, "file not open", 0, ProblemKind::kUnreadable}};
  ReadResult total;
  while (total.bytes < buf.size()) {
    ReadResult r = platform::ReadSome(handle_, buf.subspan(total.bytes));
    total.bytes += r.bytes;
    if (!r.ok()) {
      total.problem = std::move(r.problem);
      total.problem->subject = path_;
      break;
    }
    if (r.bytes == 0) break;
  }
  return total;
}

bool RemoveFile(const std::string& path, std::string* error) {
  std::string err;
  const bool ok = platform::DeleteFileAt(path, err);
  if (!ok && error) *error = path + ": " + err;
  return ok;
}

void OutputFile::Fail(std::string reason) {
  problem_ = Problem{path_, std::move(reason), 0, clobberRefused_ ? ProblemKind::kKeptExisting : ProblemKind::kWriteFailed};
}

std::string JoinPath(const std::string& dir, const std::string& name) {
  const char separator = static_cast<char>(std::filesystem::path::preferred_separator);
  if (dir.empty()) return name;
  if (dir.back() == '/' || dir.back() == separator) return dir + name;
  return dir + separator + name;
}

}  // namespace zep
