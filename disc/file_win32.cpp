#include <windows.h>

#include <string>

#include "disc/file.h"
#include "disc/platform_file.h"
#include "disc/win32_error.h"

namespace zep::platform {
namespace {
HANDLE H(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

std::string LongPathText(const std::string& path);

// A temporary file's name is longer than many a record's, so beside a final
// path that just fits MAX_PATH it may not: such a path goes to the system in
// its long form ("\\?\C:\...", "\\?\UNC\server\..."), which has no such limit
// in the wide-character calls (the ANSI ones keep it), in the ANSI code page
// that the ANSI calls would have used.
std::wstring LongPath(const std::string& shortPath) {
  const std::string path = LongPathText(shortPath);
  const int n = MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()), wide.data(), n);
  return wide;
}

std::string LongPathText(const std::string& path) {
  if (path.size() < MAX_PATH || path.starts_with("\\\\?\\")) return path;
  const std::size_t slash = path.find_last_of("\\/");
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  char full[MAX_PATH];
  const DWORD n = GetFullPathNameA(folder.c_str(), MAX_PATH, full, nullptr);
  if (n == 0 || n >= MAX_PATH) return path;
  std::string out = full;
  for (char& c : out) c = c == '/' ? '\\' : c;
  if (!out.ends_with("\\")) out += '\\';
  out += slash == std::string::npos ? path : path.substr(slash + 1);
  return out.starts_with("\\\\") ? "\\\\?\\UNC\\" + out.substr(2) : "\\\\?\\" + out;
}
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
  // Shared for reading: a command may read one file twice at once (pings
  // of the same file given twice; the ping table's positions read one fix
  // ahead of its rows), which harms nothing; nobody may write it meanwhile.
  const HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    error = LastErrorReason();
    return kNoHandle;
  }
  return reinterpret_cast<std::intptr_t>(h);
}

ReadResult ReadSome(std::intptr_t handle, std::span<std::uint8_t> buf) {
  DWORD got = 0;
  const DWORD want = buf.size() > (1u << 30) ? (1u << 30) : static_cast<DWORD>(buf.size());
  if (!ReadFile(H(handle), buf.data(), want, &got, nullptr)) return {got, Problem{"", LastErrorReason(), 0, ProblemKind::kUnreadable}};
  return {got, {}};
}

bool DeleteFileAt(const std::string& path, std::string& error) {
  if (DeleteFileW(LongPath(path).c_str())) return true;
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

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of("\\/:");
  return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

bool DeleteFileNow(const char* path) { return DeleteFileA(path) || GetLastError() == ERROR_FILE_NOT_FOUND; }

// Windows keeps no unnamed files; the delete mark of CreateNewFile does
// their work.
std::intptr_t CreateUnnamedFile(const std::string&) { return kNoHandle; }

bool NameUnnamedFile(std::intptr_t, const std::string&, bool&, std::string& error) {
  error = "no unnamed files here";
  return false;
}

namespace {
bool MarkForDeletion(std::intptr_t handle, bool remove) {
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = remove ? TRUE : FALSE;
  return SetFileInformationByHandle(H(handle), FileDispositionInfo, &disposition, sizeof disposition) != 0;
}
}  // namespace

std::intptr_t CreateNewFile(const std::string& path, bool byName, bool& exists, std::string& error) {
  // DELETE access lets the file carry the delete mark, which the system
  // honours when the last handle closes: on a crash, on End Task, and when
  // the console is closed, with no code of ours running. A file system that
  // refuses the mark still gets the file; an interrupt or a later run
  // removes it then. A file written by name through another handle (which
  // shares no DELETE) gets neither the mark nor DELETE access, and is shared.
  const DWORD access = byName ? GENERIC_WRITE : GENERIC_WRITE | DELETE;
  const DWORD share = byName ? FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE : 0;
  const HANDLE h = CreateFileW(LongPath(path).c_str(), access, share, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                               nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    exists = code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS;
    SetLastError(code);
    error = LastErrorReason();
    return kNoHandle;
  }
  const auto handle = reinterpret_cast<std::intptr_t>(h);
  if (!byName) MarkForDeletion(handle, true);
  return handle;
}

bool SyncFile(std::intptr_t handle, std::string& error) {
  if (FlushFileBuffers(H(handle))) return true;
  error = LastErrorReason();
  return false;
}

// Windows has no call that starts the write without waiting for it;
// FlushFileBuffers at the end does it all.
void StartWriteBack(std::intptr_t, std::uint64_t, std::uint64_t) {}

bool SyncFileSystem(std::intptr_t) { return false; }

// Ctrl+C runs its handler on a thread of its own, which waits for the lock
// that HoldInterrupts takes: no thread needs to keep it away.
void LeaveInterruptsToOtherThreads() {}

bool KeepFile(std::intptr_t handle, std::string& error) {
  if (MarkForDeletion(handle, false)) return true;
  error = LastErrorReason();
  return false;
}

bool RenameInto(const std::string& temp, const std::string& final, bool replace, bool& exists, std::string& error) {
  exists = false;
  if (MoveFileExW(LongPath(temp).c_str(), LongPath(final).c_str(), replace ? MOVEFILE_REPLACE_EXISTING : 0)) return true;
  const DWORD code = GetLastError();
  exists = !replace && (code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS);
  SetLastError(code);
  error = exists ? kKeptExistingReason : LastErrorReason();
  return false;
}

unsigned long ThisProcessId() { return GetCurrentProcessId(); }

std::string ThisMachineName() {
  char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = sizeof name;
  return GetComputerNameA(name, &size) ? name : "";
}

bool ProcessIsGone(unsigned long id) {
  const HANDLE h = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(id));
  if (h == nullptr) return GetLastError() == ERROR_INVALID_PARAMETER;  // no such process; access denied is one
  DWORD code = 0;
  const bool ended = GetExitCodeProcess(h, &code) && code != STILL_ACTIVE;
  CloseHandle(h);
  return ended;
}

std::vector<std::string> NamesIn(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA entry;
  const HANDLE find = FindFirstFileA((folder + "*").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return names;
  do names.emplace_back(entry.cFileName);
  while (FindNextFileA(find, &entry));
  FindClose(find);
  return names;
}

namespace {
SRWLOCK interruptLock = SRWLOCK_INIT;
}  // namespace

void HoldInterrupts() { AcquireSRWLockExclusive(&interruptLock); }
void ReleaseInterrupts() { ReleaseSRWLockExclusive(&interruptLock); }

}  // namespace zep::platform
