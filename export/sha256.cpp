// What both platforms' hashes share: the file walk and the hex digits.

#include "export/sha256.h"

#include <vector>

#include "disc/file.h"

namespace zep {

std::string HexOf(std::span<const std::uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(bytes.size() * 2);
  for (std::uint8_t b : bytes) {
    hex += kDigits[b >> 4];
    hex += kDigits[b & 15];
  }
  return hex;
}

FileDigest Sha256OfFile(const std::string& path, const std::function<void(std::uint64_t)>& progress) {
  FileDigest d;
  InputFile in = InputFile::Open(path);
  if (!in.open()) {
    d.problem = in.problem();
    return d;
  }
  Sha256 hash;
  std::vector<std::uint8_t> buffer(1 << 20);
  for (;;) {
    const ReadResult r = in.Read(buffer);
    if (!r.ok()) {
      d.problem = r.problem;
      return d;
    }
    if (r.bytes == 0) break;
    hash.Update(std::span(buffer.data(), r.bytes));
    d.bytes += r.bytes;
    if (progress) progress(d.bytes);
    if (r.bytes < buffer.size()) break;
  }
  d.hex = hash.HexDigest();
  return d;
}

}  // namespace zep
