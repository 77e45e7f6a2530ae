#pragma once
// Echograms: a record's pings as pictures, one column per ping. The
// thumbnail is also drawn from pings in memory, as a conversion writes them.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <utility>

#include "convert/record_file.h"
#include "disc/file.h"

namespace zep {

enum class Palette { kGrey, kViridis };

// A picture of at most width x height pixels, each the strongest sample of
// its block of pings and samples, so seabed echoes stay visible. Missing
// pings (index jumps) and unread samples are transparent, never data.
class ThumbnailSink {
 public:
  ThumbnailSink(int width, int height, Palette palette);
  ~ThumbnailSink();
  ThumbnailSink(const ThumbnailSink&) = delete;
  ThumbnailSink& operator=(const ThumbnailSink&) = delete;

  void Ping(const PingInfo& p, std::span<const std::uint8_t> samples);
  bool empty() const;
  // The PNG into file; false when it could not be made.
  bool WritePng(OutputFile& file);
  // Width and height of the picture written.
  std::pair<int, int> size() const { return size_; }

 private:
  class Picture;
  std::unique_ptr<Picture> picture_;
  std::optional<std::uint32_t> last_;
  std::pair<int, int> size_{0, 0};
};

}  // namespace zep
