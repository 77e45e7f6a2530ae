#pragma once
// Ordinary files: the record files, the scan dump and its split output. Writes
// go through a buffer; a failed write is sticky and remembered with its reason,
// so a caller checks once, at Close(). A failure is a Problem about the file.
//
// An output is written into a temporary file beside the final one and takes
// the final name only when Close() succeeds: a conversion that fails (a drive
// gone worse, a full disk) never costs the file an earlier run wrote. Where
// the system allows, the temporary file cannot outlive the process either:
// on Linux it has no name until it is whole (O_TMPFILE), on Windows it
// carries the delete mark until then. Elsewhere (vfat, network file systems
// on Linux) it is named "~zep-MACHINE-PID-N.tmp", and a later run writing
// into the same folder removes those whose process is gone.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "disc/problem.h"
#include "disc/volume.h"

namespace zep {

// Sees a file's bytes as they are written, so that a hash, or a reader of its
// pings, needs no read of the file afterwards.
class OutputWatch {
 public:
  virtual ~OutputWatch() = default;
  // Every byte written, in order, once, as it goes to the system: a buffer
  // at a time (also what CopyFrom copies: a watched OutputFile's CopyFrom
  // declines, so the caller reads and Writes instead).
  virtual void Wrote(const std::string& path, std::span<const std::uint8_t> bytes) = 0;
  // Bytes [at, at + count) of the file just written are placeholders for data
  // that did not read (RecordFileWriter::WriteUnread), not data; told as they
  // are written, so before or after Wrote gives them.
  virtual void Unread(const std::string& /*path*/, std::uint64_t /*at*/, std::uint64_t /*count*/) {}
  // The file is in place under its final name (kept) or was discarded.
  virtual void Closed(const std::string& /*path*/, bool /*kept*/) {}
};

struct OutputOptions {
  // An existing file of the final name is left as it is: Create fails with
  // clobberRefused(), and so does Close() should one appear meanwhile.
  bool noClobber = false;
  // Another library writes the file, opening it by its name (netCDF-C, which
  // takes a path, not a handle): the temporary file is named from the start.
  // A run killed outright then leaves it, for the next run into the folder
  // to remove, as on a file system without unnamed files.
  bool named = false;
  // Told every byte, and the end, of the file (path = its final name). A
  // record file's map beside it is told to the same watch.
  std::shared_ptr<OutputWatch> watch = nullptr;
};

// Where an output goes: its final name (or a pattern of names), with its
// options. A plain path converts to one, so callers without options pass it.
struct OutputTarget {
  OutputTarget(std::string path, OutputOptions options = {}) : path(std::move(path)), options(std::move(options)) {}
  OutputTarget(const char* path) : path(path) {}
  std::string path;
  OutputOptions options;
};

class OutputFile {
 public:
  OutputFile() = default;
  OutputFile(OutputFile&& other) noexcept;
  OutputFile& operator=(OutputFile&& other) noexcept;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  // An output file dropped without Close() is discarded.
  ~OutputFile();

  // Starts the file that Close() puts in place of any file of that name. A
  // device (not an ordinary file: /dev/null, NUL) is written directly. On
  // failure the result is not open() and problem() says why.
  static OutputFile Create(const std::string& path, const OutputOptions& options = {});

  bool open() const { return handle_ != kNoHandle; }
  bool failed() const { return problem_.has_value(); }
  // The failure is an existing file that noClobber kept.
  bool clobberRefused() const { return clobberRefused_; }
  // The failure: the file as its subject; kKeptExisting or kWriteFailed.
  Problem problem() const { return problem_.value_or(Problem{}); }
  const std::string& path() const { return path_; }
  // The name another library writes the file under until Close(): the
  // temporary file with OutputOptions::named, the device itself for a device.
  const std::string& writerPath() const { return tempPath_.empty() ? path_ : tempPath_; }
  std::uint64_t written() const { return written_; }
  // The watch of the file's options; null when none or once it is closed.
  OutputWatch* watch() const { return watch_.get(); }

  // Queues bytes; returns false once any write has failed.
  bool Write(std::span<const std::uint8_t> bytes);
  bool WriteZeros(std::size_t count);
  // Appends size bytes from byte pos of the volume by the system's own copy
  // (Volume::CopyInto), after what is queued; gives the bytes copied, which
  // count as written. Fewer than size, none included, where the system
  // cannot (and always for a watched file): the caller writes the rest.
  std::int64_t CopyFrom(Volume& volume, std::int64_t pos, std::int64_t size);
  // Hands what is queued to the system and sends all of it on to the disc
  // without waiting, so that the disc writes this file while the next is
  // made (see CloseTogether).
  void SendOn();
  // Flushes, closes and gives the file its final name; false (with problem())
  // if anything failed on the way, and then the file is discarded.
  bool Close();
  // Closes and deletes what was written, leaving any earlier file of the
  // final name as it was. A device is only closed.
  void Discard();

 private:
  friend Problems CloseTogether(std::span<OutputFile> files);
  static constexpr std::intptr_t kNoHandle = -1;
  bool Flush();
  void WroteOut(std::size_t bytes);  // bytes handed to the system
  bool CreateTemporary(std::string& error);
  void Fail(std::string reason);  // the first failure, or a later one where the code says so
  bool PutInPlace();
  void DiscardHeld();
  void TellClosed(bool kept);  // once, and only to a watch

  std::intptr_t handle_ = kNoHandle;
  std::string path_;
  std::string tempPath_;  // the temporary file's name until Close(); empty for a device or an unnamed file
  bool unnamed_ = false;  // written into a file with no name yet
  int slot_ = -1;         // where an interrupt finds the file; -1 for none
  std::optional<Problem> problem_;
  std::vector<std::uint8_t> buffer_;
  std::size_t used_ = 0;
  std::uint64_t written_ = 0;
  std::uint64_t onSystem_ = 0, writtenBack_ = 0;  // bytes handed to the system, and of them sent on to the disc
  bool noClobber_ = false;
  bool named_ = false;
  bool clobberRefused_ = false;
  bool synced_ = false;  // made durable with its file system's (CloseTogether)
  std::shared_ptr<OutputWatch> watch_;
};

// Closes files written one after another (a viewer's hundreds of scripts of a
// MiB or two) as Close() does each, in order, but where the system can, with
// one sync of their file system rather than one of each file: every sync
// waits for the disc to empty its cache, which for such files took longer
// than writing them. The failures, as each file's problem().
Problems CloseTogether(std::span<OutputFile> files);

class InputFile {
 public:
  InputFile() = default;
  InputFile(InputFile&& other) noexcept;
  InputFile& operator=(InputFile&& other) noexcept;
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  ~InputFile();

  static InputFile Open(const std::string& path);
  bool open() const { return handle_ != kNoHandle; }
  // The failure to open: the file as its subject, kUnreadable.
  Problem problem() const { return problem_.value_or(Problem{}); }

  // Reads up to buf.size() bytes from the current position, fewer only at the
  // end of the file or on an error (then the result's problem says why).
  ReadResult Read(std::span<std::uint8_t> buf);

 private:
  static constexpr std::intptr_t kNoHandle = -1;
  std::intptr_t handle_ = kNoHandle;
  std::string path_;
  std::optional<Problem> problem_;
};

// For an interrupt (a signal, Ctrl+C in a console): deletes the temporary
// file of every output not yet in place and calls report with the final name
// of each. Safe in a signal handler. Afterwards no output is put in place:
// the process is to end.
void AbandonUnfinishedOutputs(void (*report)(const char* path));

// For a thread of the program's own (a hasher, a maker of data), called
// first thing: an interrupt is then never handled on it, but on a thread that
// holds it off while it puts an output in place, so the handler never meets
// an output half in place.
void LeaveInterruptsToOtherThreads();

// The reason an output names when --no-clobber kept an existing file.
inline constexpr const char* kKeptExistingReason = "already exists; left as it is";

// dir and name with one separator between them (none added after one dir
// ends with); name alone when dir is empty.
std::string JoinPath(const std::string& dir, const std::string& name);

// Deletes a file; false when it existed and could not be removed.
bool RemoveFile(const std::string& path, std::string* error = nullptr);

}  // namespace zep
