#include "export/png_writer.h"

#include <algorithm>
#include <array>

namespace zep {
namespace {

// zlib's level 1 packs echograms within a few percent of the higher levels
// at several times their speed (see bench/RESULTS.md).
constexpr int kLevel = 1;
constexpr std::size_t kIdatBytes = 256 * 1024;

void PutU32(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 24);
  p[1] = static_cast<std::uint8_t>(v >> 16);
  p[2] = static_cast<std::uint8_t>(v >> 8);
  p[3] = static_cast<std::uint8_t>(v);
}

}  // namespace

PngWriter::PngWriter(OutputFile& file, std::uint32_t width, std::uint32_t height, int channels, bool runsOnly)
    : file_(file),
      rowBytes_(static_cast<std::size_t>(width) * static_cast<std::size_t>(channels)),
      channels_(static_cast<std::size_t>(channels)),
      filtered_(rowBytes_ + 1),
      out_(kIdatBytes) {
  static constexpr std::uint8_t kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  file_.Write(kSignature);
  std::array<std::uint8_t, 13> header{};
  PutU32(header.data(), width);
  PutU32(header.data() + 4, height);
  header[8] = 8;                                // bits per channel
  header[9] = channels == 2 ? 4 : 6;            // grey and alpha, or RGBA
  Chunk("IHDR", header.data(), header.size());  // compression, filter, interlace: 0
  ok_ = deflateInit2(&zs_, kLevel, Z_DEFLATED, 15, 8, runsOnly ? Z_RLE : Z_DEFAULT_STRATEGY) == Z_OK;
  zs_.next_out = out_.data();
  zs_.avail_out = static_cast<uInt>(out_.size());
}

PngWriter::~PngWriter() { deflateEnd(&zs_); }

namespace {

// Filter 1 (Sub): each byte less the same channel of the pixel to its left.
// Neighbouring pings see the same depths alike, so this packs echograms a
// third smaller than choosing a filter per row.
void FilterRow(std::uint8_t* __restrict f, const std::uint8_t* __restrict p, std::size_t bytes, std::size_t channels) {
  f[0] = 1;
  ++f;
  const std::size_t lead = std::min(channels, bytes);
  for (std::size_t i = 0; i < lead; ++i) f[i] = p[i];
  for (std::size_t i = lead; i < bytes; ++i) f[i] = static_cast<std::uint8_t>(p[i] - p[i - channels]);
}

std::size_t DeflatedSize(std::vector<std::uint8_t>& data, int strategy) {
  uLongf size = compressBound(static_cast<uLong>(data.size()));
  std::vector<std::uint8_t> out(size);
  z_stream zs{};
  if (deflateInit2(&zs, kLevel, Z_DEFLATED, 15, 8, strategy) != Z_OK) return data.size();
  zs.next_in = data.data();
  zs.avail_in = static_cast<uInt>(data.size());
  zs.next_out = out.data();
  zs.avail_out = static_cast<uInt>(out.size());
  deflate(&zs, Z_FINISH);
  size = zs.total_out;
  deflateEnd(&zs);
  return size;
}

}  // namespace

bool PngWriter::RunsPackAsWell(std::span<const std::uint8_t* const> rows, std::uint32_t width, int channels) {
  const std::size_t bytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(channels);
  std::vector<std::uint8_t> filtered(rows.size() * (bytes + 1));
  for (std::size_t r = 0; r < rows.size(); ++r) {
    FilterRow(filtered.data() + r * (bytes + 1), rows[r], bytes, static_cast<std::size_t>(channels));
  }
  return DeflatedSize(filtered, Z_RLE) * 100 <= DeflatedSize(filtered, Z_DEFAULT_STRATEGY) * 103;
}

void PngWriter::Row(const std::uint8_t* pixels) {
  FilterRow(filtered_.data(), pixels, rowBytes_, channels_);
  zs_.next_in = filtered_.data();
  zs_.avail_in = static_cast<uInt>(filtered_.size());
  Deflate(Z_NO_FLUSH);
}

bool PngWriter::Finish() {
  zs_.next_in = nullptr;
  zs_.avail_in = 0;
  Deflate(Z_FINISH);
  Chunk("IEND", nullptr, 0);
  return ok_;
}

void PngWriter::Deflate(int flush) {
  while (ok_) {
    const int status = deflate(&zs_, flush);
    if (status == Z_STREAM_ERROR) ok_ = false;
    const bool full = zs_.avail_out == 0;
    if (full || status == Z_STREAM_END) {
      Chunk("IDAT", out_.data(), out_.size() - zs_.avail_out);
      zs_.next_out = out_.data();
      zs_.avail_out = static_cast<uInt>(out_.size());
    }
    if (status == Z_STREAM_END || (!full && zs_.avail_in == 0 && flush == Z_NO_FLUSH)) return;
  }
}

void PngWriter::Chunk(const char* type, const std::uint8_t* data, std::size_t size) {
  std::uint8_t head[8];
  PutU32(head, static_cast<std::uint32_t>(size));
  for (int i = 0; i < 4; ++i) head[4 + i] = static_cast<std::uint8_t>(type[i]);
  uLong crc = crc32(0, head + 4, 4);
  if (size > 0) crc = crc32(crc, data, static_cast<uInt>(size));
  std::uint8_t tail[4];
  PutU32(tail, static_cast<std::uint32_t>(crc));
  file_.Write(head);
  if (size > 0) file_.Write(std::span(data, size));
  file_.Write(tail);
}

}  // namespace zep
