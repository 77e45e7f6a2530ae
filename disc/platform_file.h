#pragma once
// What file.cpp needs from the platform: a handful of calls on an opaque
// handle. Implemented by file_posix.cpp and file_win32.cpp.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "disc/volume.h"

namespace zep::platform {

inline constexpr std::intptr_t kNoHandle = -1;

// Creates path anew for writing, replacing any file of that name.
std::intptr_t CreateOutputFile(const std::string& path, std::string& error);
bool WriteAll(std::intptr_t handle, const std::uint8_t* data, std::size_t size, std::string& error);
bool CloseFile(std::intptr_t handle, std::string& error);
std::intptr_t OpenInputFile(const std::string& path, std::string& error);
ReadResult ReadSome(std::intptr_t handle, std::span<std::uint8_t> buf);
bool DeleteFileAt(const std::string& path, std::string& error);

}  // namespace zep::platform
