// Writes a sample disc image: a labelled disc with a handful of records, each a
// few hundred pings of a seabed echo under a moving boat, in mixed sampling
// modes, with NMEA position sentences. On request a ZEP V1.X disc rather than a
// TK40 one, runs of ping records in the scan dump area, or a damaged disc, so
// that every command has something to show. See Usage() below.

#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "convert/record_file.h"
#include "convert/tk40_convert.h"
#include "disc/scan.h"
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
// strong seabed return and a decaying sub-bottom tail. A TK40 block holds the
// complement of the intensity, which its conversion turns back; a ZEP V1.X
// ping holds the intensity itself, as a converted TK40 ping does, so the same
// survey reads the same from both recorders.
void FillEcho(std::uint8_t* samples, int n, double depth, std::uint32_t seed, bool complement) {
  const double bottom = depth / 60.0 * n;
  std::uint32_t noise = seed * 747796405u + 2891336453u;
  for (int k = 0; k < n; ++k) {
    noise = noise * 1664525u + 1013904223u;
    const double jitter = static_cast<double>(noise >> 24) / 255.0;
    double intensity = 8.0 + 10.0 * jitter;
    const double d = k - bottom;
    if (d >= 0) intensity += 230.0 * std::exp(-d / 90.0) + 25.0 * jitter;
    if (k < 40) intensity += 180.0 * (1.0 - k / 40.0);  // transmit pulse
    const int value = static_cast<int>(std::lround(std::min(intensity, 255.0)));
    samples[k] = static_cast<std::uint8_t>(complement ? 255 - value : value);
  }
}

double DepthAt(const SampleRecord& r, int i) {
  const double along = i / static_cast<double>(r.pings);
  return r.depth * (1.0 + 0.25 * std::sin(along * 6.2832 * 1.5)) + 2.0 * along;
}

int StartSeconds(const SampleRecord& r) {
  return ((r.startHour >> 4) * 10 + (r.startHour & 15)) * 3600 + ((r.startMinute >> 4) * 10 + (r.startMinute & 15)) * 60;
}

// A ping record as a ZEP V1.X recorder writes it, the position text in every
// ping.
std::vector<std::uint8_t> ZepPing(const SampleRecord& r, std::uint8_t mode, int i, std::uint32_t seed) {
  const std::uint16_t samples = zep::kSampleCountTable[mode];
  std::vector<std::uint8_t> p(zep::kPingHeaderSize + samples, 0);
  std::memcpy(p.data(), zep::kPingMagic, 4);
  zep::PutU16(p.data() + zep::ping::kSampleCount, samples);
  zep::PutU32(p.data() + zep::ping::kPingIndex, static_cast<std::uint32_t>(i));
  zep::PutU16(p.data() + zep::ping::kYear, zep::tk40::WidenYear(r.year));
  p[zep::ping::kMonth] = r.month;
  p[zep::ping::kDay] = r.day;
  p[zep::ping::kMode] = mode;
  p[zep::ping::kFlags] = zep::ping::kFlagText;
  const std::string text = NmeaPosition(r.latitude + 0.00002 * i, r.longitude + 0.00003 * i, StartSeconds(r) + i * 2) + "\r";
  std::memcpy(p.data() + zep::ping::kGpsText, text.data(), std::min(text.size(), zep::ping::kGpsTextSize));
  FillEcho(p.data() + zep::kPingHeaderSize, samples, DepthAt(r, i), seed, false);
  return p;
}

void FillPing(Tk40Block& block, double depth, std::uint32_t seed) {
  FillEcho(block.bytes.data(), 3840, depth, seed, true);
}

struct Options {
  SourceType type = SourceType::Tk40;
  bool dumpRuns = false, damaged = false, zeroDirectory = false, everyValue = false;
  std::string output, mapfile;
};

constexpr const char* kUsage =
    "usage: make_sample_disc [--type tk40|zep] [--dump-runs] [--damaged [--mapfile FILE]] [--zero-directory]\n"
    "                        [--every-value] OUTPUT.img\n"
    "\n"
    "Writes a sample disc image of five labelled records (TK40 unless --type zep).\n"
    "  --dump-runs       also three runs of ping records in the scan dump area (the image grows to 60 MB)\n"
    "  --damaged         unreadable sectors inside two records (zeros in the image) and a record whose\n"
    "                    directory entry runs far past the end; the GNU ddrescue mapfile that says which\n"
    "                    sectors were lost goes to --mapfile FILE (default: OUTPUT with .map for its extension)\n"
    "  --zero-directory  the record directory sector is all zeros, as if lost: for zepconv carve\n"
    "  --every-value     the first ping of each record holds the values 0 to 255 in its first 256 samples\n";

// Units of a record that the damaged sample loses.
struct Hole {
  int slot, firstUnit, units;
};
constexpr Hole kHoles[] = {{1, 40, 3}, {3, 100, 1}};
constexpr int kCorruptSlot = 4;

std::string DefaultMapfile(const std::string& output) {
  const std::size_t dot = output.find_last_of('.'), slash = output.find_last_of('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return output + ".map";
  return output.substr(0, dot) + ".map";
}

// The mapfile GNU ddrescue leaves after a run that could not read the holes.
void WriteMapfile(const std::string& path, std::uint64_t size, std::vector<std::pair<std::uint64_t, std::uint64_t>> bad) {
  std::ofstream out(path, std::ios::trunc);
  auto hex = [](std::uint64_t v) {
    char t[24];
    std::snprintf(t, sizeof t, "0x%08llX", static_cast<unsigned long long>(v));
    return std::string(t);
  };
  out << "# Mapfile. Created by make_sample_disc\n# current_pos  current_status  current_pass\n"
      << hex(size) << "     +               1\n#      pos        size  status\n";
  std::uint64_t at = 0;
  for (const auto& [pos, len] : bad) {
    if (pos > at) out << hex(at) << "  " << hex(pos - at) << "  +\n";
    out << hex(pos) << "  " << hex(len) << "  -\n";
    at = pos + len;
  }
  if (at < size) out << hex(at) << "  " << hex(size - at) << "  +\n";
  if (!out) throw std::runtime_error("cannot write " + path);
}

// Three runs of ping records somewhere in the area the scan dump copies, as
// an earlier recording left them.
void AddDumpRuns(DiscImage& image) {
  constexpr struct {
    std::int64_t at;
    int pings;
    int record;
  } kRuns[] = {{10000, 40, 0}, {2 * 1024 * 1024 + 123, 25, 1}, {9 * 1024 * 1024, 60, 2}};
  image.Resize(static_cast<std::size_t>(zep::kDumpOffset + zep::kDumpSize));
  for (const auto& run : kRuns) {
    std::int64_t pos = zep::kDumpOffset + run.at;
    for (int i = 0; i < run.pings; ++i) {
      const auto p = ZepPing(kRecords[run.record], 4, i, static_cast<std::uint32_t>(900000 + i));
      image.Bytes(pos, p);
      pos += static_cast<std::int64_t>(p.size());
    }
  }
}

bool ParseArgs(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--type" && i + 1 < argc) {
      const std::string t = argv[++i];
      if (t != "tk40" && t != "zep") return false;
      o.type = t == "zep" ? SourceType::ZepV1 : SourceType::Tk40;
    } else if (a == "--mapfile" && i + 1 < argc) {
      o.mapfile = argv[++i];
    } else if (a == "--dump-runs") {
      o.dumpRuns = true;
    } else if (a == "--damaged") {
      o.damaged = true;
    } else if (a == "--zero-directory") {
      o.zeroDirectory = true;
    } else if (a == "--every-value") {
      o.everyValue = true;
    } else if (a.starts_with("-") || !o.output.empty()) {
      return false;
    } else {
      o.output = a;
    }
  }
  return !o.output.empty() && (o.mapfile.empty() || o.damaged);
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (!ParseArgs(argc, argv, o)) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  try {
    const bool tk40 = o.type == SourceType::Tk40;
    DiscImage image(o.type);
    image.Label("BALTIC-08");
    std::int32_t block = 12;  // TK40 block, or ZEP V1.X sector
    std::vector<std::pair<std::int32_t, std::int32_t>> extents;  // first unit, units
    std::vector<EntrySpec> entries;
    for (int slot = 0; slot < static_cast<int>(std::size(kRecords)); ++slot) {
      const SampleRecord& r = kRecords[slot];
      const int startSeconds = StartSeconds(r);
      const int endSeconds = startSeconds + r.pings * 2;  // a ping every two seconds
      EntrySpec entry;
      entry.name = r.name;
      entry.day = r.day;
      entry.month = r.month;
      entry.year = r.year;
      entry.start = {r.startHour, r.startMinute};
      entry.end = {static_cast<std::uint8_t>(Bcd(endSeconds / 3600 % 24)),
                   static_cast<std::uint8_t>(Bcd(endSeconds / 60 % 60))};
      if (!tk40) {
        // Two lead sectors, then the pings back to back across sectors.
        std::int64_t pos = zep::ZepSectorOffset(block + 2);
        for (int i = 0; i < r.pings; ++i) {
          const std::uint8_t mode = zep::tk40::kModeTable[(slot == 2 && i >= r.pings / 2) ? 3 : r.modeCode];
          auto p = ZepPing(r, mode, i, static_cast<std::uint32_t>(slot * 100000 + i));
          for (int k = 0; o.everyValue && i == 0 && k < 256; ++k) p[zep::kPingHeaderSize + k] = static_cast<std::uint8_t>(k);
          image.Bytes(pos, p);
          pos += static_cast<std::int64_t>(p.size());
        }
        const auto sectors = static_cast<std::int32_t>((pos + zep::kZepSectorSize - 1) / zep::kZepSectorSize - block);
        image.Resize(static_cast<std::size_t>(zep::ZepSectorOffset(block + sectors)));
        entry.first = block;
        entry.second = sectors;
        image.Entry(slot, entry);
        entries.push_back(entry);
        extents.emplace_back(block, sectors);
        block += sectors + 6;
        continue;
      }
      entry.first = block;
      entry.second = block + r.pings;
      image.Entry(slot, entry);
      entries.push_back(entry);
      extents.emplace_back(block, r.pings);

      for (int i = 0; i < r.pings; ++i) {
        const double depth = DepthAt(r, i);
        Tk40Block b;
        FillPing(b, depth, static_cast<std::uint32_t>(slot * 100000 + i));
        for (int k = 0; o.everyValue && i == 0 && k < 256; ++k) b.bytes[k] = static_cast<std::uint8_t>(255 - k);  // stored as complements
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
    if (o.dumpRuns) AddDumpRuns(image);
    if (o.damaged) {
      // Holes as ddrescue leaves them: zeros in the image, "-" in the mapfile.
      const std::int64_t unit = tk40 ? zep::kTk40BlockSize : zep::kZepSectorSize;
      std::vector<std::pair<std::uint64_t, std::uint64_t>> bad;
      for (const Hole& h : kHoles) {
        const std::int64_t first = extents[static_cast<std::size_t>(h.slot)].first + h.firstUnit;
        const std::int64_t pos = tk40 ? zep::Tk40BlockOffset(first) : zep::ZepSectorOffset(first);
        image.Bytes(pos, std::vector<std::uint8_t>(static_cast<std::size_t>(h.units * unit), 0));
        bad.emplace_back(pos, h.units * unit);
      }
      // An entry whose count is garbage: it runs two million units on.
      EntrySpec corrupt = entries[kCorruptSlot];
      corrupt.second = (tk40 ? corrupt.first : 0) + 2000000;
      image.Entry(kCorruptSlot, corrupt);
      WriteMapfile(o.mapfile.empty() ? DefaultMapfile(o.output) : o.mapfile, image.bytes().size(), bad);
    }
    if (o.zeroDirectory) image.Bytes(0, std::vector<std::uint8_t>(zep::kDirectorySize, 0));
    image.WriteFile(o.output);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make_sample_disc: %s\n", e.what());
    return 1;
  }
  return 0;
}
