#include "ui/wide_paths.h"

#include <vector>

namespace zep::ui {
namespace {

// GetShortPathNameW takes a long path only in its "\\?\" form.
std::wstring ExtendedForm(const std::wstring& path) {
  if (path.size() < MAX_PATH || path.starts_with(L"\\\\?\\")) return path;
  if (path.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + path.substr(2);
  return L"\\\\?\\" + path;
}

std::wstring WithoutExtendedPrefix(const std::wstring& path) {
  if (path.starts_with(L"\\\\?\\UNC\\")) return L"\\\\" + path.substr(8);
  if (path.starts_with(L"\\\\?\\")) return path.substr(4);
  return path;
}

std::optional<std::wstring> ShortForm(const std::wstring& path) {
  const std::wstring extended = ExtendedForm(path);
  std::wstring shortPath(kLongPathChars, L'\0');
  const DWORD n = GetShortPathNameW(extended.c_str(), shortPath.data(), kLongPathChars);
  if (n == 0 || n >= kLongPathChars) return std::nullopt;
  shortPath.resize(n);
  return WithoutExtendedPrefix(shortPath);
}

}  // namespace

std::wstring WidePath(const std::string& ansiPath) {
  const int n = MultiByteToWideChar(CP_ACP, 0, ansiPath.data(), static_cast<int>(ansiPath.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, ansiPath.data(), static_cast<int>(ansiPath.size()), wide.data(), n);
  return wide;
}

std::optional<std::string> ExactAnsiPath(const std::wstring& path) {
  if (path.empty()) return std::string();
  BOOL lossy = FALSE;
  const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, path.data(), static_cast<int>(path.size()), nullptr,
                                    0, nullptr, &lossy);
  if (n <= 0 || lossy) return std::nullopt;
  std::string ansi(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, path.data(), static_cast<int>(path.size()), ansi.data(), n,
                      nullptr, &lossy);
  if (lossy || WidePath(ansi) != path) return std::nullopt;
  return ansi;
}

std::optional<std::string> LibraryPath(const std::wstring& path) {
  const std::optional<std::string> exact = ExactAnsiPath(path);
  if (exact && exact->size() < MAX_PATH) return exact;
  if (const std::optional<std::wstring> shortPath = ShortForm(path)) {
    if (const std::optional<std::string> ansi = ExactAnsiPath(*shortPath); ansi && ansi->size() < MAX_PATH) return ansi;
  }
  return exact;
}

std::wstring NoLibraryPathText(const std::wstring& path) {
  return path + L"\n\nThe path has no form that the disc reader's calls take: no short name, and characters "
                L"outside the system's ANSI code page.";
}

std::wstring MapfileBeside(const std::wstring& image) {
  std::vector<std::wstring> candidates = {image + L".map", image + L".mapfile"};
  const std::size_t dot = image.find_last_of(L'.'), slash = image.find_last_of(L"\\/");
  if (dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash + 1)) {
    candidates.push_back(image.substr(0, dot) + L".map");
    candidates.push_back(image.substr(0, dot) + L".mapfile");
  }
  for (const std::wstring& candidate : candidates) {
    const DWORD attributes = GetFileAttributesW(ExtendedForm(candidate).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return candidate;
  }
  return L"";
}

bool TakesAnotherForm(const std::wstring& path) {
  const std::optional<std::string> exact = ExactAnsiPath(path);
  return !exact || LibraryPath(path) != exact;
}

}  // namespace zep::ui
