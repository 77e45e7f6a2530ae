#pragma once
// What file.cpp needs from the platform: a handful of calls on an opaque
// handle. Implemented by file_posix.cpp and file_win32.cpp. An error is the
// system's reason alone ("No space left on device"); file.cpp names the file.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "disc/volume.h"

namespace zep::platform {

inline constexpr std::intptr_t kNoHandle = -1;

// Opens a device for writing.
std::intptr_t OpenDeviceOutput(const std::string& path, std::string& error);
bool WriteAll(std::intptr_t handle, const std::uint8_t* data, std::size_t size, std::string& error);
bool CloseFile(std::intptr_t handle, std::string& error);
std::intptr_t OpenInputFile(const std::string& path, std::string& error);
ReadResult ReadSome(std::intptr_t handle, std::span<std::uint8_t> buf);
// Deletes an ordinary file; true when it is gone or never was.
bool DeleteFileAt(const std::string& path, std::string& error);

// What a path names. A device (/dev/null, NUL: neither an ordinary file nor
// a folder) is written in place.
enum class PathKind { Missing, File, Folder, Device };
PathKind KindOf(const std::string& path);
// Creates a new, empty file in the folder of finalPath under a name no file
// has yet ("~zep0.tmp", "~zep1.tmp", ...: short, so that a path that fits
// the system's limit still fits with it); tempPath is set to it.
std::intptr_t CreateTempFileBeside(const std::string& finalPath, std::string& tempPath, std::string& error);
// Renames temp to final. With replace, over any file of that name; without,
// it fails and sets exists when final exists, leaving both as they are.
bool RenameInto(const std::string& temp, const std::string& final, bool replace, bool& exists, std::string& error);

}  // namespace zep::platform
