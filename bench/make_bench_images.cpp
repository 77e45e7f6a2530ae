// Writes the large inputs of the benchmark straight to disk, block by block,
// so that a 400 MB image never has to fit in memory:
//
//   make_bench_images tk40 OUT.img MIB RECORDS   TK40 disc, mixed modes, GPS text
//   make_bench_images zep  OUT.img MIB RECORDS   ZEP V1.X disc of ping records
//   make_bench_images dump OUT.bin MIB RUNSCALE  scan dump: ping runs and garbage
//
// MIB is the amount of record data (or the dump's size) in MiB and may be a
// fraction. The contents are deterministic, so every run measures the same
// bytes. Disc images reach at least to the end of the scan dump area (as a
// sparse tail when the records end earlier), so that a dump of them is whole.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "convert/record_file.h"
#include "convert/tk40_convert.h"
#include "disc/directory.h"
#include "disc/scan.h"
#include "disc/volume.h"
#include "tests/support/disc_image.h"

namespace {

using zep::SourceType;
using zep::test::DiscImage;
using zep::test::EntrySpec;
using zep::test::Tk40Block;

// splitmix64: fast, and good enough that the samples do not compress into
// something a converter could shortcut.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  std::uint32_t Below(std::uint32_t n) { return static_cast<std::uint32_t>(Next() % n); }
  void Fill(std::uint8_t* p, std::size_t n) {
    while (n >= 8) {
      const std::uint64_t v = Next();
      std::memcpy(p, &v, 8);
      p += 8;
      n -= 8;
    }
    if (n > 0) {
      const std::uint64_t v = Next();
      std::memcpy(p, &v, n);
    }
  }

 private:
  std::uint64_t state_;
};

// One ping record of the given mode with random samples into ping, which holds
// the largest; returns its length.
std::size_t MakePing(std::vector<std::uint8_t>& ping, unsigned mode, std::uint32_t index, Random& rnd) {
  const std::size_t samples = zep::kSampleCountTable[mode];
  std::fill(ping.begin(), ping.begin() + zep::kPingHeaderSize, 0);
  std::memcpy(ping.data(), zep::kPingMagic, 4);
  zep::PutU16(ping.data() + zep::ping::kSampleCount, static_cast<std::uint16_t>(samples));
  zep::PutU32(ping.data() + zep::ping::kPingIndex, index);
  ping[zep::ping::kMode] = static_cast<std::uint8_t>(mode);
  // A date as recorders write it, so that carving takes the pings for what they are.
  zep::PutU16(ping.data() + zep::ping::kYear, 0x2008);
  ping[zep::ping::kMonth] = 0x11;
  ping[zep::ping::kDay] = 0x05;
  rnd.Fill(ping.data() + zep::kPingHeaderSize, samples);
  return zep::kPingHeaderSize + samples;
}

class Output {
 public:
  explicit Output(const std::string& path) : path_(path), file_(std::fopen(path.c_str(), "wb")) {
    if (!file_) throw std::runtime_error("cannot create " + path);
    std::setvbuf(file_, nullptr, _IOFBF, 1 << 20);
  }
  ~Output() {
    if (file_) std::fclose(file_);
  }
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  void Write(const void* data, std::size_t n) {
    if (std::fwrite(data, 1, n, file_) != n) throw std::runtime_error("cannot write " + path_);
    pos_ += n;
  }
  void Zeros(std::uint64_t n) {
    static const std::array<std::uint8_t, 4096> kZeros{};
    while (n > 0) {
      const std::size_t k = static_cast<std::size_t>(std::min<std::uint64_t>(n, kZeros.size()));
      Write(kZeros.data(), k);
      n -= k;
    }
  }
  void PadTo(std::uint64_t pos) {
    if (pos > pos_) Zeros(pos - pos_);
  }
  std::uint64_t pos() const { return pos_; }

  // Ends the file at size at least, the rest a hole: the dump area of a small
  // image then reads as zeros without costing disc space or time.
  void Close(std::uint64_t minimumSize) {
    if (std::fclose(std::exchange(file_, nullptr)) != 0) throw std::runtime_error("cannot write " + path_);
    if (pos_ < minimumSize) std::filesystem::resize_file(path_, minimumSize);
  }

 private:
  std::string path_;
  std::FILE* file_;
  std::uint64_t pos_ = 0;
};

constexpr std::uint64_t kDumpEnd = static_cast<std::uint64_t>(zep::kDumpOffset + zep::kDumpSize);

std::string RecordName(int r) { return "BENCH" + std::to_string(r + 1); }

// A position sentence as a GPS receiver sends it; its digits, commas and
// "$GP" pack as symbol groups, the N, E and A as literal runs.
std::string Sentence(int record, std::int64_t ping) {
  const double lat = 5412.0 + 0.0137 * static_cast<double>(ping % 4000) + record;
  const double lon = 1023.0 + 0.0211 * static_cast<double>(ping % 4000);
  const int t = static_cast<int>(32400 + ping * 2 % 86400);
  char text[80];
  std::snprintf(text, sizeof text, "$GPGLL,%09.4f,N,%010.4f,E,%02d%02d%02d,A", lat, lon, t / 3600 % 24, t / 60 % 60,
                t % 60);
  return text;
}

// TK40: RECORDS records of consecutive blocks, eight spare blocks between
// them. The mode code changes every 37 blocks through all eleven codes;
// every tenth block carries GPS text and every 25th the flagged value.
void WriteTk40(const std::string& path, double mib, int records) {
  const auto totalBlocks = static_cast<std::int64_t>(mib * 1024 * 1024 / zep::kTk40BlockSize);
  if (records < 1 || totalBlocks < records) throw std::invalid_argument("need at least one block per record");
  DiscImage dir(SourceType::Tk40);
  dir.Label("BENCH-TK40");
  std::vector<std::int64_t> first(static_cast<std::size_t>(records)), count(first.size());
  std::int64_t block = 0;
  for (int r = 0; r < records; ++r) {
    count[r] = totalBlocks / records + (r < totalBlocks % records ? 1 : 0);
    first[r] = block;
    EntrySpec e;
    e.name = RecordName(r);
    e.day = static_cast<std::uint8_t>(0x10 + r % 9);
    e.first = static_cast<std::int32_t>(block);
    e.second = static_cast<std::int32_t>(block + count[r]);
    dir.Entry(r, e);
    block += count[r] + 8;
  }

  Output out(path);
  out.Write(dir.bytes().data(), zep::kDirectorySize);
  Random rnd(0x7440);
  Tk40Block b;
  for (int r = 0; r < records; ++r) {
    out.PadTo(static_cast<std::uint64_t>(zep::Tk40BlockOffset(first[r])));
    for (std::int64_t i = 0; i < count[r]; ++i) {
      b.bytes.fill(0);
      rnd.Fill(b.bytes.data(), zep::tk40::kSampleBytes);
      rnd.Fill(b.bytes.data() + zep::tk40::kByte34, 16);  // the trailer values, flags and mode set below
      b.ModeCode(static_cast<std::uint8_t>((i / 37 + r) % 11));
      b.Flags(static_cast<std::uint8_t>(b.bytes[zep::tk40::kFlags] & 0x06));
      if (i % 25 == 0) b.Value26(static_cast<std::uint16_t>(1500 + i % 100));
      if (i % 10 == 0) b.Text(Sentence(r, i));
      out.Write(b.bytes.data(), b.bytes.size());
    }
  }
  out.Close(kDumpEnd);
}

// ZEP V1.X: each record is two lead sectors (not copied) and then ping records
// back to back across sector boundaries, the last sector zero-padded.
void WriteZep(const std::string& path, double mib, int records) {
  const auto totalSectors = static_cast<std::int64_t>(mib * 1024 * 1024 / zep::kZepSectorSize);
  if (records < 1 || totalSectors < 3 * records) throw std::invalid_argument("need at least three sectors per record");
  constexpr std::int64_t kFirstSector = 16;
  DiscImage dir(SourceType::ZepV1);
  dir.Label("BENCH-ZEP");
  std::vector<std::int64_t> first(static_cast<std::size_t>(records)), count(first.size());
  std::int64_t sector = kFirstSector;
  for (int r = 0; r < records; ++r) {
    count[r] = totalSectors / records + (r < totalSectors % records ? 1 : 0);
    first[r] = sector;
    EntrySpec e;
    e.name = RecordName(r);
    e.first = static_cast<std::int32_t>(sector);
    e.second = static_cast<std::int32_t>(count[r]);
    dir.Entry(r, e);
    sector += count[r] + 4;
  }

  Output out(path);
  out.Write(dir.bytes().data(), zep::kDirectorySize);
  Random rnd(0x2E9);
  std::vector<std::uint8_t> ping(zep::kPingHeaderSize + zep::kMaxSampleCount);
  for (int r = 0; r < records; ++r) {
    const auto start = static_cast<std::uint64_t>(zep::ZepSectorOffset(first[r]));
    const auto end = static_cast<std::uint64_t>(zep::ZepSectorOffset(first[r] + count[r]));
    out.PadTo(start);
    std::vector<std::uint8_t> lead(2 * zep::kZepSectorSize);
    rnd.Fill(lead.data(), lead.size());
    out.Write(lead.data(), lead.size());
    for (std::uint32_t index = 0;; ++index) {
      unsigned mode = (index / 41 + static_cast<unsigned>(r)) % zep::kSampleCountTable.size();
      // The last pings are the shortest that fit, so that only part of the
      // last sector is left over, as on a recorder's disc.
      if (out.pos() + zep::kPingHeaderSize + zep::kSampleCountTable[mode] > end) mode = 0;
      const std::size_t samples = zep::kSampleCountTable[mode];
      const std::size_t length = zep::kPingHeaderSize + samples;
      if (out.pos() + length > end) break;
      MakePing(ping, mode, index, rnd);
      out.Write(ping.data(), length);
    }
    out.PadTo(end);
  }
  out.Close(kDumpEnd);
}

// A scan dump as an old, much rewritten disc gives it: runs of ping records
// between stretches of random bytes and of never-written zeros, and now and
// then a stray "VORL" in the garbage, which the splitter must follow like any
// other. runScale lengthens every run (and the file with it) for the memory test.
void WriteDump(const std::string& path, double mib, int runScale) {
  const auto size = static_cast<std::uint64_t>(mib * 1024 * 1024);
  Output out(path);
  Random rnd(0xD0);
  std::vector<std::uint8_t> buf(1 << 16);
  auto garbage = [&](std::uint64_t n) {
    const bool zeros = rnd.Below(3) == 0;
    while (n > 0) {
      const std::size_t k = static_cast<std::size_t>(std::min<std::uint64_t>(n, buf.size()));
      if (zeros) {
        std::fill_n(buf.begin(), k, 0);
      } else {
        rnd.Fill(buf.data(), k);
        // Garbage must not open with the magic, or it would extend the run before it.
        if (k >= 4 && std::memcmp(buf.data(), zep::kPingMagic, 4) == 0) buf[0] = 0;
      }
      if (!zeros && k > 1024 && rnd.Below(8) == 0) {
        const std::size_t at = 1 + rnd.Below(static_cast<std::uint32_t>(k - 1024));
        std::memcpy(buf.data() + at, zep::kPingMagic, 4);
        zep::PutU16(buf.data() + at + 4, static_cast<std::uint16_t>(rnd.Below(700)));
      }
      out.Write(buf.data(), k);
      n -= k;
    }
  };
  std::vector<std::uint8_t> ping(zep::kPingHeaderSize + zep::kMaxSampleCount);
  while (out.pos() < size) {
    garbage(std::min<std::uint64_t>(size - out.pos(), 300 + rnd.Below(16 * 1024)));
    const std::uint32_t pings = (5 + rnd.Below(200)) * static_cast<std::uint32_t>(runScale);
    for (std::uint32_t i = 0; i < pings; ++i) {
      const unsigned mode = rnd.Below(static_cast<std::uint32_t>(zep::kSampleCountTable.size()));
      const std::size_t samples = zep::kSampleCountTable[mode];
      const std::size_t length = zep::kPingHeaderSize + samples;
      // Room for the ping and for the 256 bytes of garbage that end its run.
      if (out.pos() + length + zep::kPingHeaderSize > size) break;
      MakePing(ping, mode, i, rnd);
      out.Write(ping.data(), length);
    }
  }
  out.Close(0);
  std::filesystem::resize_file(path, size);  // the last garbage may overshoot
}

int Usage() {
  std::fprintf(stderr,
               "usage: make_bench_images tk40 OUT MIB RECORDS\n"
               "       make_bench_images zep  OUT MIB RECORDS\n"
               "       make_bench_images dump OUT MIB RUNSCALE\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) return Usage();
  const std::string kind = argv[1], path = argv[2];
  try {
    const double mib = std::stod(argv[3]);
    const int n = std::stoi(argv[4]);
    if (!(mib > 0) || n < 1) return Usage();
    if (kind == "tk40") WriteTk40(path, mib, n);
    else if (kind == "zep") WriteZep(path, mib, n);
    else if (kind == "dump") WriteDump(path, mib, n);
    else return Usage();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make_bench_images: %s\n", e.what());
    return 1;
  }
  return 0;
}
