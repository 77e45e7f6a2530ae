#include <windows.h>

#include "disc/platform_file.h"
#include "disc/win32_error.h"

namespace zep::platform {
namespace {
HANDLE H(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }
}  // namespace

std::intptr_t CreateOutputFile(const std::string& path, std::string& error, bool& regular) {
  const HANDLE h =
      CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    error = LastErrorReason();
    return kNoHandle;
  }
  regular = GetFileType(h) == FILE_TYPE_DISK;
  return reinterpret_cast<std::intptr_t>(h);
}

bool WriteAll(std::intptr_t handle, const std::uint8_t* data, std::size_t size, std::string& error) {
  while (size > 0) {
    const DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
    DWORD done = 0;
    if (!WriteFile(H(handle), data, chunk, &done, nullptr) || done == 0) {
      error = LastErrorReason();
      return false;
    }
    data += done;
    size -= done;
  }
  return true;
}

bool CloseFile(std::intptr_t handle, std::string& error) {
  if (!CloseHandle(H(handle))) {
    error = LastErrorReason();
    return false;
  }
  return true;
}

std::intptr_t OpenInputFile(const std::string& path, std::string& error) {
  const HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    error = LastErrorReason();
    return kNoHandle;
  }
  return reinterpret_cast<std::intptr_t>(h);
}

ReadResult ReadSome(std::intptr_t handle, std::span<std::uint8_t> buf) {
  DWORD got = 0;
  const DWORD want = buf.size() > (1u << 30) ? (1u << 30) : static_cast<DWORD>(buf.size());
  if (!ReadFile(H(handle), buf.data(), want, &got, nullptr)) return {got, LastErrorReason()};
  return {got, {}};
}

bool DeleteFileAt(const std::string& path, std::string& error) {
  if (DeleteFileA(path.c_str())) return true;
  const DWORD code = GetLastError();
  if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return true;
  SetLastError(code);
  error = LastErrorReason();
  return false;
}

}  // namespace zep::platform
