#pragma once
// Carving: finding a ZEP V1.X disc's records without its directory, as runs of
// ping records anywhere on the volume. A run starts only where two ping
// records in a row pass checks that stray "VORL" bytes do not (see
// IsPlausiblePing) and number themselves one after the other; it ends at the
// first record that fails them, or that the end of the volume or an unreadable
// sector cuts. Each run becomes a record file named by its byte offset.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "disc/file.h"
#include "disc/problem.h"
#include "disc/volume.h"

namespace zep {

// "carved-000123456789.zep": twelve digits at least, so names sort by offset.
std::string CarvedFileName(std::uint64_t offset);

// Bytes [begin, end) of the volume.
struct ByteRange {
  std::uint64_t begin = 0, end = 0;
};

struct CarveOptions {
  std::string outDir;
  OutputOptions output;  // for each file written
  // Ping records lying wholly inside one of these are left out: the records
  // the directory lists, which a conversion gets anyway.
  std::vector<ByteRange> leaveOut;
  std::function<void(std::uint64_t reached)> progress;
};

struct CarvedFile {
  std::string path;
  std::uint64_t offset = 0;  // of its first ping record on the volume
  std::uint64_t pings = 0;
};

struct CarveResult {
  std::vector<CarvedFile> files;      // written whole
  Problems failures;                  // "path: reason" for each file that could not be written (or was kept)
  std::uint64_t runs = 0;             // runs found, left-out ones included
  std::uint64_t pingsLeftOut = 0;     // inside listed records
  std::uint64_t bytesRead = 0;
  std::int64_t unreadableSectors = 0;
  std::string firstReadError;
};

// Reads the whole volume once, front to back.
CarveResult CarveRuns(Volume& volume, const CarveOptions& options);

}  // namespace zep
