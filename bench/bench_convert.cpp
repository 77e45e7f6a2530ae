// Converts every record of a disc image with the core's converters, as the
// Windows program's conversion run does, and prints how long that took:
//
//   bench_convert tk40|zep IMAGE OUTDIR
//
// It is built for Windows too, so the same loop can be timed under Wine and
// natively; the time is taken inside the process, so Wine's start-up is left out.
// Prints one line: records, units, bytes read, bytes written, seconds.

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "convert/convert.h"
#include "disc/aligned_buffer.h"
#include "disc/directory.h"
#include "disc/volume.h"

int main(int argc, char** argv) {
  if (argc != 4 || (std::strcmp(argv[1], "tk40") != 0 && std::strcmp(argv[1], "zep") != 0)) {
    std::fprintf(stderr, "usage: bench_convert tk40|zep IMAGE OUTDIR\n");
    return 2;
  }
  const bool tk40 = std::strcmp(argv[1], "tk40") == 0;
  const std::string image = argv[2];
  const std::filesystem::path outDir = argv[3];

  zep::RecordDirectory dir{};
  {
    zep::VolumeOpenResult opened = zep::OpenDiscVolume(image);
    if (!opened.volume) {
      std::fprintf(stderr, "bench_convert: %s\n", opened.problem->Text().c_str());
      return 2;
    }
    zep::AlignedBuffer buffer(zep::kDirectorySize);
    const zep::ReadResult r = opened.volume->ReadAt(0, buffer.span());
    if (!r.ok() || r.bytes < zep::kDirectorySize) {
      std::fprintf(stderr, "bench_convert: %s: no record directory\n", image.c_str());
      return 2;
    }
    std::memcpy(dir.data(), buffer.data(), zep::kDirectorySize);
  }

  const zep::VolumeOpener open = zep::VolumeAt(image);
  int records = 0, failed = 0;
  std::int64_t units = 0;
  std::uint64_t written = 0;
  const auto start = std::chrono::steady_clock::now();
  for (int slot = 0; slot < zep::kSlotCount; ++slot) {
    if (!zep::IsRecordSlot(dir, slot)) continue;
    const std::string path = (outDir / ("record" + std::to_string(slot + 1) + ".ZEP")).string();
    const zep::ConvertResult r =
        zep::ConvertRecord(tk40 ? zep::SourceType::Tk40 : zep::SourceType::ZepV1, path, dir, slot, open);
    ++records;
    units += r.units;
    written += r.bytesWritten;
    if (r.status != zep::ConvertStatus::Done) {
      std::fprintf(stderr, "bench_convert: record %d: %s\n", slot + 1, zep::JoinedText(r.problems).c_str());
      ++failed;
    }
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const std::int64_t unitBytes = tk40 ? zep::kTk40BlockSize : zep::kZepSectorSize;
  std::printf("records %d units %lld read %lld written %llu seconds %.6f\n", records, static_cast<long long>(units),
              static_cast<long long>(units * unitBytes), static_cast<unsigned long long>(written), seconds);
  return failed == 0 ? 0 : 1;
}
