#include <windows.h>

#include "disc/platform_file.h"
#include "disc/win32_error.h"

namespace zep::platform {
namespace {
HANDLE H(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }
}  // namespace

std::intptr_t OpenDeviceOutput(const std::string& path, std::string& error) {
  const HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    error = LastErrorReason();
    return kNoHandle;
  }
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
  // Others may read the file too (the ping table reads a record twice at
  // once, its positions one fix ahead of its rows), but nobody may write it.
  const HANDLE h =
      CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
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

PathKind KindOf(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return PathKind::Folder;
  const HANDLE h = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return attributes == INVALID_FILE_ATTRIBUTES ? PathKind::Missing : PathKind::File;
  const bool device = GetFileType(h) != FILE_TYPE_DISK;
  CloseHandle(h);
  return device ? PathKind::Device : PathKind::File;
}

std::intptr_t CreateTempFileBeside(const std::string& finalPath, std::string& tempPath, std::string& error) {
  const std::size_t slash = finalPath.find_last_of("\\/:");
  const std::string folder = slash == std::string::npos ? "" : finalPath.substr(0, slash + 1);
  for (int n = 0; n < 10000; ++n) {
    tempPath = folder + "~zep" + std::to_string(n) + ".tmp";
    const HANDLE h =
        CreateFileA(tempPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) return reinterpret_cast<std::intptr_t>(h);
    const DWORD code = GetLastError();
    if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) {
      SetLastError(code);
      error = LastErrorReason();
      return kNoHandle;
    }
  }
  error = "no free name for a temporary file beside it (~zep0.tmp to ~zep9999.tmp all exist)";
  return kNoHandle;
}

bool RenameInto(const std::string& temp, const std::string& final, bool replace, bool& exists, std::string& error) {
  exists = false;
  if (MoveFileExA(temp.c_str(), final.c_str(), replace ? MOVEFILE_REPLACE_EXISTING : 0)) return true;
  const DWORD code = GetLastError();
  exists = !replace && (code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS);
  SetLastError(code);
  error = exists ? "already exists; left as it is" : LastErrorReason();
  return false;
}

}  // namespace zep::platform
