// Writes the record files the netCDF reader test needs beside the sample
// discs' records: ZEP V1.X pings of every mode in turn, a record without any
// GPS text, and one that runs past midnight with a fix every fourth ping.

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "convert/record_file.h"
#include "tests/support/disc_image.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// count pings from index 0; text(i) is ping i's GPS text ("" for none).
template <typename Text>
Bytes Record(int count, bool mixedModes, Text text) {
  Bytes out(zep::kFileHeaderSize, 0);
  std::string last;
  for (int i = 0; i < count; ++i) {
    const auto mode = static_cast<std::uint8_t>(mixedModes ? i % 13 : 3);
    Bytes r = zep::test::MakePingRecord(zep::kSampleCountTable[mode], static_cast<std::uint32_t>(i), mode);
    // A ping repeats the last text until a new one comes, as the recorders do.
    if (const std::string t = text(i); !t.empty()) last = t;
    std::copy(last.begin(), last.end(), r.begin() + zep::ping::kGpsText);
    if (!last.empty()) r[zep::ping::kGpsText + last.size()] = 0x0D;
    out.insert(out.end(), r.begin(), r.end());
  }
  return out;
}

bool Write(const std::string& path, const Bytes& bytes) {
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(f);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_records DIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  const bool ok =
      Write(dir + "/MIXED.ZEP", Record(39, true, [](int i) { return zep::test::Gll(33000 + 2 * i, 12.0 + 0.001 * i); })) &&
      Write(dir + "/NOGPS.ZEP", Record(20, false, [](int) { return std::string(); })) &&
      Write(dir + "/MIDNIGHT.ZEP", Record(50, false, [](int i) {
        return i % 4 == 0 ? zep::test::Gll(86400 - 40 + 2 * i, 12.0 + 0.002 * i) : std::string();
      }));
  return ok ? 0 : 1;
}
