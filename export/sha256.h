#pragma once
// SHA-256 from the system's own well-kept implementation: Debian's nettle on
// POSIX, CNG (bcrypt.dll) on Windows. Archivists check our manifests with
// `sha256sum -c`, so the digest must be the standard one and never a home-made
// variant of it.

#include <array>
#include <functional>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <optional>
#include <string>

#include "disc/problem.h"

namespace zep {

class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  void Update(std::span<const std::uint8_t> bytes);
  // The digest as 64 lower-case hex digits; the hash starts afresh after it.
  std::string HexDigest();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

struct FileDigest {
  std::string hex;        // empty when the file could not be read whole
  std::uint64_t bytes = 0;
  std::optional<Problem> problem;  // the file as subject, kUnreadable; none when read whole
};

// Hashes a file front to back in constant memory; progress (may be empty) is
// told the bytes read so far.
FileDigest Sha256OfFile(const std::string& path, const std::function<void(std::uint64_t)>& progress = {});

std::string HexOf(std::span<const std::uint8_t> bytes);

}  // namespace zep
