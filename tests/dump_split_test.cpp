// SplitScanDump against a byte-by-byte transcription of the search, on
// hand-made dumps whose files are also stated outright and on generated dumps
// of up to the real dump's size; and the mended faults (pings cut short by
// the end of the dump are left out; outputs that cannot be created or written
// are reported). Every file written is walked.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "convert/convert.h"
#include "convert/record_file.h"
#include "tests/support/disc_image.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/record_check.h"
#include "tests/support/temp_dir.h"

namespace zep {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The search step by step, one byte per read, with the mend:
// a ping record cut short by the end of the dump is not written.
struct Reference {
  std::vector<Bytes> files;
  int dropped = 0;
};

Reference SplitByteByByte(const Bytes& dump) {
  Reference ref;
  std::size_t pos = 0;
  std::uint8_t window[4] = {};
  int filled = 0;
  auto read = [&](std::uint8_t* dst, std::size_t n) {
    const std::size_t got = std::min(n, dump.size() - pos);
    if (got > 0) std::memcpy(dst, dump.data() + pos, got);
    pos += got;
    return got;
  };
  for (;;) {
    std::uint8_t b;
    if (read(&b, 1) == 0) break;  // the end of the dump
    if (filled < 4) {
      window[filled++] = b;
    } else {
      std::memmove(window, window + 1, 3);
      window[3] = b;
    }
    if (filled < 4 || std::memcmp(window, "VORL", 4) != 0) continue;
    pos -= 4;
    Bytes file(4096, 0);
    std::uint8_t header[256] = {};
    bool noBytes = false;
    for (;;) {
      const std::size_t got = read(header, 256);
      if (got == 0) {
        noBytes = true;
        break;
      }
      if (got < 4 || std::memcmp(header, "VORL", 4) != 0) break;
      const std::size_t count = got >= 6 ? GetU16(header + 4) : 0;
      Bytes samples(count);
      const std::size_t sgot = read(samples.data(), count);
      if (got < 256 || sgot < count) {
        ++ref.dropped;  // cut short by the end of the dump: left out
        continue;       // the next header read gives no bytes
      }
      file.insert(file.end(), header, header + 256);
      file.insert(file.end(), samples.begin(), samples.end());
    }
    ref.files.push_back(std::move(file));
    if (noBytes) break;
    std::memcpy(window, header, 4);  // the window restarts as the first four bytes of the 256
    filled = 4;
  }
  return ref;
}

std::string WriteDump(const test::TempDir& dir, const Bytes& dump) {
  const std::string path = dir.File("test.bin");
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(dump.data()),
                                              static_cast<std::streamsize>(dump.size()));
  return path;
}

struct Split {
  SplitResult res;
  std::vector<Bytes> files;
};

// Splits the dump, walks every file, and expects what the reference finds.
Split ExpectSameAsByteByByte(const test::TempDir& dir, const Bytes& dump) {
  Split s;
  s.res = SplitScanDump(WriteDump(dir, dump), dir.File("fond%i.zep"));
  EXPECT_TRUE(s.res.dumpOpened);
  EXPECT_TRUE(s.res.failures.empty());
  EXPECT_EQ(s.res.filePings.size(), s.res.files.size());
  for (std::size_t i = 0; i < s.res.files.size(); ++i) {
    EXPECT_EQ(s.res.files[i], dir.File("fond" + std::to_string(i) + ".zep"));
    const auto walked = test::WalkWhole(s.res.files[i]);
    EXPECT_EQ(s.res.filePings[i], walked.pings.size());
    s.files.push_back(walked.bytes);
  }
  const Reference ref = SplitByteByByte(dump);
  EXPECT_EQ(s.res.runs, static_cast<int>(ref.files.size()));
  EXPECT_EQ(s.res.droppedPartialPings, ref.dropped);
  EXPECT_TRUE(s.files == ref.files);
  return s;
}

Bytes Garbage(std::size_t n, std::uint8_t fill = 0x20) { return Bytes(n, fill); }

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes FileOf(std::initializer_list<Bytes> pings) { return Concat({Bytes(4096, 0), Concat(pings)}); }

// 256 bytes that end a run (they do not open with the magic), with texts placed in them.
Bytes Ender(std::initializer_list<std::pair<std::size_t, const char*>> texts) {
  Bytes b = Garbage(256);
  for (auto [at, text] : texts) std::memcpy(b.data() + at, text, std::strlen(text));
  return b;
}

TEST(DumpSplit, HandMadeDumps) {
  const Bytes a = test::MakePingRecord(1280, 0), b = test::MakePingRecord(3840, 1), c = test::MakePingRecord(17, 2);
  const Bytes z0 = test::MakePingRecord(0, 3), z1 = test::MakePingRecord(0, 4);
  Bytes fake = Garbage(256 + 0x0102, 0x33);  // "VORL" in garbage: bytes 4-5 give the samples
  std::memcpy(fake.data(), "VORL\x02\x01", 6);
  Bytes cut = b;
  cut.resize(255 + 3840);
  const Bytes empty = FileOf({});
  const struct {
    const char* name;
    Bytes dump;
    std::vector<Bytes> files;
    int dropped = 0;
  } cases[] = {
      {"no magic", Garbage(100000, 'V'), {}},
      {"one run at byte 1000, sampleCount 0 inside", Concat({Garbage(1000), a, z0, z1, c, Garbage(500)}),
       {FileOf({a, z0, z1, c})}},
      {"two runs in order", Concat({Garbage(3), a, Garbage(1000), b, Garbage(300)}), {FileOf({a}), FileOf({b})}},
      {"from the first byte to the last", Concat({a, b}), {FileOf({a, b})}},
      {"VORL inside garbage starts a run", Concat({Garbage(11), fake, c, Garbage(300)}), {FileOf({fake, c})}},
      // A run ends at 256 bytes that do not open with the magic; a magic
      // wholly inside them after their first byte is never seen.
      {"magic inside the ending bytes", Concat({a, Ender({{1, "VORL"}, {100, "VORL"}, {252, "VORL"}}), Garbage(9)}),
       {FileOf({a})}},
      // The window then holds their first four bytes: "VOR" + 'L' after them
      // is a magic, and the run starts 4 bytes back, where no magic is.
      {"window mixing VOR + L", Concat({Garbage(2), a, Ender({{1, "VOR"}}), Bytes{'L'}, Garbage(600)}),
       {FileOf({a}), empty}},
      {"window mixing V + ORL", Concat({Garbage(2), a, Ender({{3, "V"}}), Ender({{0, "ORL"}})}), {FileOf({a}), empty}},
      {"magic straddling the ending bytes", Concat({a, Ender({{253, "VOR"}}), Bytes{'L'}, Garbage(600)}),
       {FileOf({a})}},
      {"cut in the header", Concat({Garbage(9), a, Bytes(b.begin(), b.begin() + 128)}), {FileOf({a})}, 1},
      {"header without samples", Concat({Garbage(9), a, Bytes(b.begin(), b.begin() + 256)}), {FileOf({a})}, 1},
      {"one sample short", Concat({Garbage(9), a, cut}), {FileOf({a})}, 1},
      {"only ping cut short", Concat({Garbage(9), cut}), {empty}, 1},
  };
  test::TempDir dir;
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    const Split s = ExpectSameAsByteByByte(dir, k.dump);
    EXPECT_TRUE(s.files == k.files);
    EXPECT_EQ(s.res.droppedPartialPings, k.dropped);
  }
}

// Runs, stray magics, the mixed windows and cut pings placed at random:
// buffer boundaries fall everywhere.
Bytes GeneratedDump(std::uint32_t seed, std::size_t size) {
  std::mt19937 rng(seed);
  auto next = [&](std::uint32_t n) { return static_cast<std::uint32_t>(rng() % n); };
  auto random = [&](std::size_t n, const char* alphabet = nullptr) {
    Bytes g(n);
    for (auto& x : g) x = static_cast<std::uint8_t>(alphabet ? alphabet[next(5)] : next(256));
    return g;
  };
  Bytes dump;
  std::uint32_t index = 0;
  while (dump.size() < size) {
    Bytes part;
    switch (next(8)) {
      case 0:
      case 1: {  // a run of pings, then bytes that end it
        for (std::uint32_t i = 0, pings = 1 + next(6); i < pings; ++i) {
          const auto count = static_cast<std::uint16_t>(next(4) == 0 ? next(65536) : next(3000));
          part = Concat({part, test::MakePingRecord(count, index++, static_cast<std::uint8_t>(next(13)))});
        }
        Bytes ender = random(256);
        ender[0] = 'X';
        const std::uint32_t kind = next(5);  // magics near and inside the ender
        if (kind == 0) std::memcpy(ender.data() + 1 + next(3), "VOR", 3);
        if (kind == 1) std::memcpy(ender.data() + 1 + next(252), "VORL", 4);
        if (kind == 2) std::memcpy(ender.data() + 253, "VOR", 3);
        if (kind == 0 || kind == 2) ender.push_back('L');
        part = Concat({part, ender});
        break;
      }
      case 2:  // a stray magic inside garbage
        part = random(4 + next(2000));
        std::memcpy(part.data(), "VORL", 4);
        break;
      default:  // garbage with many near-misses
        part = random(1 + next(5000), "VORLX");
    }
    dump.insert(dump.end(), part.begin(), part.end());
  }
  dump.resize(size - next(300));  // ends anywhere, often inside a ping
  return dump;
}

TEST(DumpSplit, BufferedSearchMatchesTheByteByByteSearch) {
  test::TempDir dir;
  for (std::uint32_t seed = 1; seed <= 8; ++seed) {
    SCOPED_TRACE(seed);
    ExpectSameAsByteByByte(dir, GeneratedDump(seed, seed % 3 == 0 ? 3000000 : 700000));
  }
  // The real dump: 5056 pieces of 4096 bytes.
  ExpectSameAsByteByByte(dir, GeneratedDump(99, 5056 * 4096 + 300));
}

TEST(DumpSplit, PercentIInAFolderNameIsNotTheFileNumber) {
  test::TempDir dir;
  std::filesystem::create_directory(dir.path() / "run%i");
  const SplitResult r = SplitScanDump(WriteDump(dir, test::MakePingRecord(0, 0)),
                                      (dir.path() / "run%i" / "fond%i.zep").string());
  ASSERT_EQ(r.files.size(), 1u);
  EXPECT_TRUE(std::filesystem::exists(dir.path() / "run%i" / "fond0.zep"));
}

TEST(DumpSplitFaults, MissingDumpAndOutputsThatCannotBeCreated) {
  test::TempDir dir;
  const SplitResult none = SplitScanDump(dir.File("none.bin"), dir.File("fond%i.zep"));
  EXPECT_FALSE(none.dumpOpened);
  EXPECT_FALSE(none.dumpError.empty());
  EXPECT_EQ(none.runs, 0);
  EXPECT_FALSE(std::filesystem::exists(dir.File("fond0.zep")));

  const Bytes a = test::MakePingRecord(10, 0), b = test::MakePingRecord(20, 1);
  const std::string dump = WriteDump(dir, Concat({a, Garbage(300), b, Garbage(300)}));
  const SplitResult r = SplitScanDump(dump, (dir.path() / "missing" / "fond%i.zep").string());
  EXPECT_TRUE(r.dumpOpened);
  EXPECT_EQ(r.runs, 2);
  EXPECT_TRUE(r.files.empty());
  ASSERT_EQ(r.failures.size(), 2u);
  for (std::size_t i = 0; i < 2; ++i) {
    const std::string file = (dir.path() / "missing" / ("fond" + std::to_string(i) + ".zep")).string();
    EXPECT_EQ(r.failures[i].rfind(file + ": ", 0), 0u) << r.failures[i];
  }
}

TEST(DumpSplitFaults, WriteFailureIsReportedAndThePartialFileRemoved) {
  // Writes fail past 4 MiB. A first run of just under 4 MiB fits in the
  // dump, but not behind the 4096-byte file header of its output; a small
  // run after it still fits. (Under Wine the limit is on the whole process,
  // so the dump itself must stay below it.)
  constexpr std::size_t kLimit = 4 << 20;
  test::TempDir dir;
  Bytes dump;
  for (std::uint32_t i = 0; i < 70; ++i) dump = Concat({dump, test::MakePingRecord(i < 69 ? 60000 : 33000, i)});
  ASSERT_GT(dump.size() + 4096, kLimit);
  const Bytes small = test::MakePingRecord(10, 0);
  dump = Concat({dump, Garbage(300), small, Garbage(300)});
  ASSERT_LE(dump.size(), kLimit);
  const std::string dumpPath = WriteDump(dir, dump);
  SplitResult r;
  {
    test::FileSizeLimit limit(kLimit);
    if (!limit.active()) GTEST_SKIP() << limit.whyNot();
    ASSERT_EQ(limit.limit(), kLimit);
    r = SplitScanDump(dumpPath, dir.File("fond%i.zep"));
  }
  EXPECT_EQ(r.runs, 2);
  ASSERT_EQ(r.failures.size(), 1u);
  EXPECT_EQ(r.failures[0].rfind(dir.File("fond0.zep") + ": ", 0), 0u) << r.failures[0];
  EXPECT_FALSE(std::filesystem::exists(dir.File("fond0.zep")));
  ASSERT_EQ(r.files, std::vector<std::string>{dir.File("fond1.zep")});
  EXPECT_TRUE(test::WalkWhole(dir.File("fond1.zep")).bytes == FileOf({small}));
}

}  // namespace
}  // namespace zep
