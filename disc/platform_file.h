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

// Creates path anew for writing, replacing any file of that name. regular
// tells whether it is an ordinary file (and not a device such as /dev/full or
// NUL), the only kind that may be deleted again.
std::intptr_t CreateOutputFile(const std::string& path, std::string& error, bool& regular);
bool WriteAll(std::intptr_t handle, const std::uint8_t* data, std::size_t size, std::string& error);
bool CloseFile(std::intptr_t handle, std::string& error);
std::intptr_t OpenInputFile(const std::string& path, std::string& error);
ReadResult ReadSome(std::intptr_t handle, std::span<std::uint8_t> buf);
// Deletes an ordinary file; true when it is gone or never was.
bool DeleteFileAt(const std::string& path, std::string& error);

}  // namespace zep::platform
