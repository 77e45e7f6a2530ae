#include "tests/support/disc_image.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <stdexcept>

#include "disc/volume.h"
#include "tests/support/packed_text_encoder.h"

namespace zep::test {

Tk40Block& Tk40Block::Samples(std::uint32_t seed) {
  std::uint32_t x = seed * 2654435761u + 12345u;
  for (int i = 0; i < 3840; ++i) bytes[i] = static_cast<std::uint8_t>((x = x * 1103515245u + 12345u) >> 16);
  return *this;
}

Tk40Block& Tk40Block::Byte(int offset, std::uint8_t value) {
  bytes.at(static_cast<std::size_t>(offset)) = value;
  return *this;
}

Tk40Block& Tk40Block::Value26(std::uint16_t value) {
  bytes[tk40::kValue26] = static_cast<std::uint8_t>(value);
  bytes[tk40::kValue26 + 1] = static_cast<std::uint8_t>(value >> 8);
  bytes[tk40::kFlags] |= 0x01;
  return *this;
}

Tk40Block& Tk40Block::Text(const std::string& text) {
  const auto area = EncodePackedText(text);
  if (!area) throw std::invalid_argument("text does not fit a packed text area: " + text);
  std::copy(area->begin(), area->end(), bytes.begin() + tk40::kTextArea);
  bytes[tk40::kFlags] |= 0x08;
  return *this;
}

std::vector<std::uint8_t> MakePingRecord(std::uint16_t sampleCount, std::uint32_t pingIndex, std::uint8_t mode) {
  std::vector<std::uint8_t> r(256 + sampleCount, 0);
  std::memcpy(r.data(), "VORL", 4);
  r[4] = static_cast<std::uint8_t>(sampleCount);
  r[5] = static_cast<std::uint8_t>(sampleCount >> 8);
  for (int i = 0; i < 4; ++i) r[10 + i] = static_cast<std::uint8_t>(pingIndex >> (8 * i));
  r[30] = 0x08;  // 5 Nov 2008, a date as a recorder writes it
  r[31] = 0x20;
  r[32] = 0x11;
  r[33] = 0x05;
  r[37] = mode;
  for (std::size_t i = 0; i < sampleCount; ++i) r[256 + i] = static_cast<std::uint8_t>(i * 7 + pingIndex);
  return r;
}

DiscImage::DiscImage(SourceType type, std::size_t size) : type_(type), bytes_(std::max(size, kDirectorySize), 0) {}

DiscImage& DiscImage::Entry(int slot, const EntrySpec& entry) {
  if (entry.name.size() > kNameFieldSize) throw std::invalid_argument("name longer than 11 bytes");
  std::uint8_t e[kEntrySize] = {entry.status};
  std::memcpy(e + 1, entry.name.data(), entry.name.size());
  if (entry.terminate && entry.name.size() < kNameFieldSize) e[1 + entry.name.size()] = NameTerminator(type_);
  const int date = type_ == SourceType::Tk40 ? 13 : 12;
  const std::uint8_t rest[] = {entry.day, entry.month, entry.year};
  std::memcpy(e + date, rest, 3);
  const std::uint8_t times[] = {entry.start[0], entry.start[1], entry.end[0], entry.end[1]};
  std::memcpy(e + 16, times, 4);
  for (int i = 0; i < 4; ++i) {
    e[20 + i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(entry.first) >> (8 * i));
    e[24 + i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(entry.second) >> (8 * i));
  }
  return Bytes(static_cast<std::int64_t>(slot * kEntrySize), e);
}

DiscImage& DiscImage::Label(const std::string& name, bool terminate) {
  return Entry(kLabelSlot, {.status = kStatusLabel, .name = name, .terminate = terminate});
}

DiscImage& DiscImage::Block(std::int64_t block, const Tk40Block& b) { return Bytes(Tk40BlockOffset(block), b.bytes); }

DiscImage& DiscImage::Sector(std::int64_t sector, std::span<const std::uint8_t> bytes) {
  if (bytes.size() > static_cast<std::size_t>(kZepSectorSize)) throw std::invalid_argument("sector over 2048 bytes");
  return Bytes(ZepSectorOffset(sector), bytes);
}

DiscImage& DiscImage::Bytes(std::int64_t pos, std::span<const std::uint8_t> bytes) {
  const std::size_t end = static_cast<std::size_t>(pos) + bytes.size();
  if (bytes_.size() < end) bytes_.resize(end, 0);
  std::copy(bytes.begin(), bytes.end(), bytes_.begin() + pos);
  return *this;
}

RecordDirectory DiscImage::Directory() const {
  RecordDirectory dir{};
  std::copy_n(bytes_.begin(), std::min(bytes_.size(), kDirectorySize), dir.begin());
  return dir;
}

void DiscImage::WriteFile(const std::string& path) const {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes_.data()), static_cast<std::streamsize>(bytes_.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string Gll(int secondsOfDay, double minutesNorth) {
  char text[64];
  std::snprintf(text, sizeof text, "$GPGLL,54%07.4f,N,01023.4720,E,%02d%02d%02d,A", minutesNorth,
                secondsOfDay / 3600 % 24, secondsOfDay / 60 % 60, secondsOfDay % 60);
  return text;
}

}  // namespace zep::test
