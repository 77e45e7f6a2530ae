// Writes a sample TK40 disc image: a labelled disc with a handful of records,
// each a few hundred pings of a seabed echo under a moving boat, in mixed
// sampling modes, with NMEA position sentences in the packed GPS text.
//
//   make_sample_disc OUTPUT.img

#include <cmath>
#include <cstdio>
#include <exception>
#include <string>

#include "tests/support/disc_image.h"

namespace {

using zep::SourceType;
using zep::test::DiscImage;
using zep::test::EntrySpec;
using zep::test::Tk40Block;

struct SampleRecord {
  const char* name;
  std::uint8_t day, month, year;
  std::uint8_t startHour, startMinute;
  int pings;
  std::uint8_t modeCode;  // 0..10, the block's sampling mode
  double depth;           // metres under the transducer at the start
  double latitude, longitude;
};

constexpr SampleRecord kRecords[] = {
    {"SURVEY1", 0x05, 0x11, 0x08, 0x09, 0x15, 320, 0, 18.0, 54.2061, 10.3912},
    {"HARBOUR", 0x05, 0x11, 0x08, 0x11, 0x40, 240, 6, 7.5, 54.3235, 10.1402},
    {"TRANSECT3", 0x06, 0x11, 0x08, 0x08, 0x02, 400, 2, 31.0, 54.4810, 10.7725},
    {"REEF.A", 0x06, 0x11, 0x08, 0x13, 0x30, 180, 7, 12.0, 54.5102, 10.8033},
    {"NIGHT2", 0x07, 0x11, 0x08, 0x22, 0x05, 260, 1, 24.0, 54.2950, 10.5121},
};

int Bcd(int v) { return (v / 10) * 16 + v % 10; }

std::string NmeaPosition(double lat, double lon, int seconds) {
  const int latDeg = static_cast<int>(lat), lonDeg = static_cast<int>(lon);
  char text[80];
  std::snprintf(text, sizeof text, "$GPGLL,%02d%07.4f,N,%03d%07.4f,E,%02d%02d%02d,A", latDeg, (lat - latDeg) * 60,
                lonDeg, (lon - lonDeg) * 60, seconds / 3600 % 24, seconds / 60 % 60, seconds % 60);
  return text;
}

// Echo intensity along one ping: faint volume backscatter in the water, a
// strong seabed return and a decaying sub-bottom tail. The recorder stores the
// complement of the intensity.
void FillPing(Tk40Block& block, double depth, std::uint32_t seed) {
  const double bottom = depth / 60.0 * 3840.0;
  std::uint32_t noise = seed * 747796405u + 2891336453u;
  for (int k = 0; k < 3840; ++k) {
    noise = noise * 1664525u + 1013904223u;
    const double jitter = static_cast<double>(noise >> 24) / 255.0;
    double intensity = 8.0 + 10.0 * jitter;
    const double d = k - bottom;
    if (d >= 0) intensity += 230.0 * std::exp(-d / 90.0) + 25.0 * jitter;
    if (k < 40) intensity += 180.0 * (1.0 - k / 40.0);  // transmit pulse
    const int value = static_cast<int>(std::lround(std::min(intensity, 255.0)));
    block.bytes[static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(255 - value);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_sample_disc OUTPUT.img\n");
    return 2;
  }
  try {
    DiscImage image(SourceType::Tk40);
    image.Label("BALTIC-08");
    std::int32_t block = 12;
    for (int slot = 0; slot < static_cast<int>(std::size(kRecords)); ++slot) {
      const SampleRecord& r = kRecords[slot];
      const int startSeconds = ((r.startHour >> 4) * 10 + (r.startHour & 15)) * 3600 +
                               ((r.startMinute >> 4) * 10 + (r.startMinute & 15)) * 60;
      const int endSeconds = startSeconds + r.pings * 2;  // a ping every two seconds
      EntrySpec entry;
      entry.name = r.name;
      entry.day = r.day;
      entry.month = r.month;
      entry.year = r.year;
      entry.start = {r.startHour, r.startMinute};
      entry.end = {static_cast<std::uint8_t>(Bcd(endSeconds / 3600 % 24)),
                   static_cast<std::uint8_t>(Bcd(endSeconds / 60 % 60))};
      entry.first = block;
      entry.second = block + r.pings;
      image.Entry(slot, entry);

      for (int i = 0; i < r.pings; ++i) {
        const double along = i / static_cast<double>(r.pings);
        const double depth = r.depth * (1.0 + 0.25 * std::sin(along * 6.2832 * 1.5)) + 2.0 * along;
        Tk40Block b;
        FillPing(b, depth, static_cast<std::uint32_t>(slot * 100000 + i));
        // Most records keep one mode; TRANSECT3 switches range halfway.
        const std::uint8_t mode = (slot == 2 && i >= r.pings / 2) ? 3 : r.modeCode;
        b.ModeCode(mode);
        b.Byte(3968, static_cast<std::uint8_t>(i & 0xFF));               // ping counter
        b.Byte(3972, static_cast<std::uint8_t>(std::lround(depth * 4)));  // depth in quarter metres
        b.Byte(3975, static_cast<std::uint8_t>(static_cast<std::int8_t>(std::lround(10 * std::sin(i / 9.0)))));
        b.Byte(3976, static_cast<std::uint8_t>(140 + i % 7));            // speed of sound, low byte
        b.Byte(3977, 0x05);
        if (i % 25 == 0) b.Value26(static_cast<std::uint16_t>(1500 + i));
        if (i % 10 == 0) {
          const double lat = r.latitude + 0.00002 * i, lon = r.longitude + 0.00003 * i;
          b.Text(NmeaPosition(lat, lon, startSeconds + i * 2));
        }
        image.Block(block + i, b);
      }
      block += r.pings + 8;
    }
    image.WriteFile(argv[1]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make_sample_disc: %s\n", e.what());
    return 1;
  }
  return 0;
}
