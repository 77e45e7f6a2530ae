#include "convert/conversion_start.h"

#include "convert/record_file.h"

namespace zep {

bool StartConversion(const std::string& outputPath, int slot, const VolumeOpener& open, ConvertResult& res,
                     ConversionStart& start) {
  if (slot < 0 || slot >= kSlotCount) {
    res.status = ConvertStatus::VolumeFailed;
    res.reason = "slot " + std::to_string(slot) + " is not a directory slot (0 to 63)";
    return false;
  }
  start.opened = open ? open() : VolumeOpenResult{nullptr, "no volume to open"};
  if (!start.opened.volume) {
    res.status = ConvertStatus::VolumeFailed;
    res.reason = start.opened.error.empty() ? "the volume could not be opened" : start.opened.error;
    return false;
  }
  start.out = OutputFile::Create(outputPath);
  if (!start.out.open()) {
    res.status = ConvertStatus::OutputFailed;
    res.reason = start.out.error();
    start.opened.volume.reset();
    return false;
  }
  start.out.WriteZeros(kFileHeaderSize);
  return true;
}

}  // namespace zep
