#pragma once
// ASCII case folding, the one way names are folded: record names, file
// extensions and drive letters are compared byte by byte, and bytes above
// 127 (Latin-1 on the disc, UTF-8 in paths) are left as they are, whatever
// the C library's locale would make of them.

#include <string>
#include <string_view>

namespace zep {

inline char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
inline char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

inline std::string AsciiUpper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = AsciiUpper(c);
  return out;
}

inline std::string AsciiLower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = AsciiLower(c);
  return out;
}

}  // namespace zep
