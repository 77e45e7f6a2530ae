#pragma once
// A drive retries a bad sector for seconds before it gives up, so one run asks
// for each bad unit at most twice: once inside a batch read and once on its
// own. A read of at most one unit that fails is remembered for the rest of
// the run, across every time the volume is opened; any later read that
// touches those bytes fails at once with the same reason, without asking the
// drive again. Where reads of different sizes meet (the scan dump's 4096-byte
// pieces start half a TK40 block off), a unit that only shares bytes with a
// remembered failure is given up with it: a possibly good neighbour is lost
// rather than a bad unit asked for a third time.

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "disc/volume.h"

namespace zep {

// What one run has learnt about its volume's bad bytes.
class FailedReads {
 public:
  // Reads of at most this many bytes that fail are remembered: a unit read
  // on its own. A batch that fails says only that some unit in it is bad.
  static constexpr std::int64_t kLargestUnit = kTk40BlockSize;

  // The remembered reason of a failure that shares a byte with [pos, end), or
  // null when the drive is to be asked.
  const Problem* Overlapping(std::int64_t pos, std::int64_t end) const;
  void Remember(std::int64_t pos, std::int64_t end, const Problem& problem);
  std::size_t size() const { return failed_.size(); }

 private:
  struct Failure {
    std::int64_t end;
    Problem problem;
  };
  std::map<std::int64_t, Failure> failed_;  // by first byte; ranges never overlap
};

std::unique_ptr<Volume> RememberingFailures(std::unique_ptr<Volume> volume, std::shared_ptr<FailedReads> memory);

// Opens what open opens; every volume it gives shares one memory.
VolumeOpener OpenRememberingFailures(VolumeOpener open, std::shared_ptr<FailedReads> memory);
inline VolumeOpener OpenRememberingFailures(VolumeOpener open) {
  return OpenRememberingFailures(std::move(open), std::make_shared<FailedReads>());
}

}  // namespace zep
