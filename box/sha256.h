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
#include <string>

#include "disc/problem.h"

namespace zep {

class HashLane;

class Sha256 {
 public:
  Sha256();
  // Hashed on lane's thread, where there is a lane: Update copies the bytes
  // and returns, HexDigest waits for them.
  explicit Sha256(std::shared_ptr<HashLane> lane);
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  void Update(std::span<const std::uint8_t> bytes);
  // The digest as 64 lower-case hex digits; the hash starts afresh after it.
  std::string HexDigest();

 private:
  friend class HashLane;
  // The platform's own hash, on whichever thread hashes.
  void Absorb(std::span<const std::uint8_t> bytes);
  std::string Finish();
  // Waits until the lane has hashed every byte given so far.
  void Settle();

  struct State;
  std::unique_ptr<State> state_;
  std::shared_ptr<HashLane> lane_;
};

// A thread that hashes beside the one that reads, converts and writes:
// bytes are copied in and hashed in the order they came, each Sha256's in
// its own order. The bytes waiting are bounded, so memory is; the thread
// that gives more waits while the lane is that far behind.
class HashLane {
 public:
  HashLane();
  ~HashLane();
  HashLane(const HashLane&) = delete;
  HashLane& operator=(const HashLane&) = delete;

 private:
  friend class Sha256;
  struct Job;
  void Put(Sha256* owner, std::span<const std::uint8_t> bytes);
  void Settle(const Sha256* owner);
  void Run();

  struct Queue;
  std::unique_ptr<Queue> queue_;
};

// The threads a box uses by default: two (hashing beside the rest) where
// the machine has two processors or more, else one.
int DefaultJobs();

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
