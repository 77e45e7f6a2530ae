#pragma once
// What file.cpp needs from the platform: a handful of calls on an opaque
// handle. Implemented by file_posix.cpp and file_win32.cpp. An error is the
// system's reason alone ("No space left on device"); file.cpp names the file.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "disc/volume.h"

namespace zep::platform {

inline constexpr std::intptr_t kNoHandle = -1;

// Opens a device for writing.
std::intptr_t OpenDeviceOutput(const std::string& path, std::string& error);
bool WriteAll(std::intptr_t handle, const std::uint8_t* data, std::size_t size, std::string& error);
bool CloseFile(std::intptr_t handle, std::string& error);
std::intptr_t OpenInputFile(const std::string& path, std::string& error);
ReadResult ReadSome(std::intptr_t handle, std::span<std::uint8_t> buf);
// Deletes an ordinary file; true when it is gone or never was. Safe in a
// signal handler on POSIX.
bool DeleteFileAt(const std::string& path, std::string& error);
bool DeleteFileNow(const char* path);

// What a path names. A device (/dev/null, NUL: neither an ordinary file nor
// a folder) is written in place.
enum class PathKind { Missing, File, Folder, Device };
PathKind KindOf(const std::string& path);
// The folder part of a path, with its separator ("" for a bare name).
std::string FolderOf(const std::string& path);

// A file with no name in folder (Linux: O_TMPFILE), gone without a trace
// however the process ends until NameUnnamedFile gives it one. kNoHandle
// where the file system (vfat, many network file systems) or the system has
// none, or on any other failure: the caller then makes a named file, whose
// failure says why.
std::intptr_t CreateUnnamedFile(const std::string& folder);
bool NameUnnamedFile(std::intptr_t handle, const std::string& path, bool& exists, std::string& error);
// A new file of that name, never an existing one (exists is set then). On
// Windows it is marked for deletion at once, so that the system deletes it
// when the process ends however it ends, until KeepFile() takes the mark off;
// except a file another library opens by its name (byName), which a file
// marked so, or held without sharing, would refuse.
std::intptr_t CreateNewFile(const std::string& path, bool byName, bool& exists, std::string& error);
bool KeepFile(std::intptr_t handle, std::string& error);
// Waits until the file's data is on the disc: before a file takes its name,
// so that a power cut never leaves a named file without its data, and so
// that the rename itself has nothing left to flush.
bool SyncFile(std::intptr_t handle, std::string& error);
// Starts writing bytes [from, from + size) of the file to the disc without
// waiting for them, so that a large file is mostly there by its SyncFile;
// where the system cannot, nothing happens.
void StartWriteBack(std::intptr_t handle, std::uint64_t from, std::uint64_t size);
// Makes everything written to the file system that holds the file durable,
// with one flush of the disc's cache; false where the system cannot (the
// caller then syncs each file) or a write-back on it failed.
bool SyncFileSystem(std::intptr_t handle);
void LeaveInterruptsToOtherThreads();
// Renames temp to final. With replace, over any file of that name; without,
// it fails and sets exists when final exists, leaving both as they are.
bool RenameInto(const std::string& temp, const std::string& final, bool replace, bool& exists, std::string& error);

// What a temporary file's name says of the process that wrote it.
unsigned long ThisProcessId();
std::string ThisMachineName();
// True only when no process of that id runs on this machine: an id that
// cannot be looked up counts as alive.
bool ProcessIsGone(unsigned long id);
// The names of the entries of a folder ("" for the working folder).
std::vector<std::string> NamesIn(const std::string& folder);

// Keeps an interrupt (a signal; on Windows the console handler's thread) out
// of the steps that change which outputs are unfinished: it sees each output
// either unfinished, with its temporary file, or in place. Not nested.
void HoldInterrupts();
void ReleaseInterrupts();

}  // namespace zep::platform
