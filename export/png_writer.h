#pragma once
// A PNG written as its rows come: each row filtered against the pixel to its
// left, deflated by zlib and cut into IDAT chunks, so no filtered copy of the
// picture or of its compressed stream is ever held.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include <zlib.h>

#include "disc/file.h"

namespace zep {

class PngWriter {
 public:
  // Grey and alpha (channels 2) or RGBA (channels 4), 8 bits a channel.
  // Writes the signature and the header at once. runsOnly: zlib looks for
  // runs of one byte only (Z_RLE), not for repeats further back.
  PngWriter(OutputFile& file, std::uint32_t width, std::uint32_t height, int channels, bool runsOnly = false);

  // Whether runs alone pack these sample rows of a picture within 3 % of
  // zlib's matching. Echo shapes repeat and want the matching; noise does
  // not repeat, and there runs only take two thirds of the time.
  static bool RunsPackAsWell(std::span<const std::uint8_t* const> rows, std::uint32_t width, int channels);
  ~PngWriter();
  PngWriter(const PngWriter&) = delete;
  PngWriter& operator=(const PngWriter&) = delete;

  // The next row, width * channels bytes, top to bottom.
  void Row(const std::uint8_t* pixels);
  // Ends the stream; false if zlib failed (the file's own errors stay in it).
  bool Finish();

 private:
  void Deflate(int flush);
  void Chunk(const char* type, const std::uint8_t* data, std::size_t size);

  OutputFile& file_;
  std::size_t rowBytes_, channels_;
  z_stream zs_{};
  bool ok_ = false;
  std::vector<std::uint8_t> filtered_, out_;
};

}  // namespace zep
