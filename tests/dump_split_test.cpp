// SplitScanDump against a byte-by-byte transcription of the search, on
// hand-made dumps whose files are also stated and on generated dumps of up to
// the real dump's size; and the mended faults. Every file written is walked.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <random>

#include "tests/support/file_size_limit.h"
#include "tests/support/record_check.h"

namespace zep {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// The search step by step, one byte per read, with the mend: a ping record
// cut short by the end of the dump is not written. Returns the files and the
// number of pings left out.
std::pair<std::vector<Bytes>, int> SplitByteByByte(const Bytes& dump) {
  std::vector<Bytes> files;
  int dropped = 0;
  std::size_t pos = 0;
  auto read = [&](std::uint8_t* dst, std::size_t n) {
    const std::size_t got = std::min(n, dump.size() - pos);
    std::copy_n(dump.begin() + static_cast<std::ptrdiff_t>(pos), got, dst);
    return pos += got, got;
  };
  std::uint8_t window[4] = {}, b = 0;
  for (int filled = 0; read(&b, 1);) {
    if (filled < 4) window[filled++] = b;
    else std::memmove(window, window + 1, 3), window[3] = b;
    if (filled < 4 || std::memcmp(window, "VORL", 4) != 0) continue;
    pos -= 4;
    Bytes file(4096, 0);
    std::uint8_t header[256] = {};
    std::size_t got;
    while ((got = read(header, 256)) >= 4 && std::memcmp(header, "VORL", 4) == 0) {
      Bytes samples(got >= 6 ? GetU16(header + 4) : 0);
      if (read(samples.data(), samples.size()) < samples.size() || got < 256) {
        ++dropped;  // cut short by the end of the dump; the next header read gives no bytes
        continue;
      }
      file = Concat({file, Bytes(header, header + 256), samples});
    }
    files.push_back(std::move(file));
    if (got == 0) break;
    std::memcpy(window, header, 4);  // the window restarts as the first four bytes of the 256
  }
  return {files, dropped};
}

// Splits the dump, walks every file, and expects what the reference finds.
SplitResult ExpectSameAsByteByByte(const Bytes& dump, const std::vector<Bytes>* stated = nullptr, int dropped = 0) {
  const test::TempDir dir;
  const SplitResult r = SplitScanDump(test::WriteWholeFile(dir.File("test.bin"), dump), dir.File("fond%i.zep"));
  EXPECT_TRUE(r.dumpOpened && r.failures.empty());
  std::vector<Bytes> files;
  for (std::size_t i = 0; i < r.files.size(); ++i) {
    EXPECT_EQ(r.files[i], dir.File("fond" + std::to_string(i) + ".zep"));
    files.push_back(test::WalkWhole(r.files[i]).bytes);
    EXPECT_EQ(r.filePings.at(i), WalkRecord(files.back()).pings);
  }
  const auto [refFiles, refDropped] = SplitByteByByte(dump);
  EXPECT_EQ(r.runs, static_cast<int>(refFiles.size()));
  EXPECT_EQ(r.droppedPartialPings, refDropped);
  EXPECT_TRUE(files == refFiles);
  EXPECT_TRUE(!stated || (files == *stated && refDropped == dropped));
  return r;
}

Bytes Garbage(std::size_t n) { return Bytes(n, 0x20); }
Bytes FileOf(std::initializer_list<Bytes> pings) { return Concat({Bytes(4096, 0), Concat(pings)}); }

// 256 bytes that end a run (they do not open with the magic), with texts placed in them.
Bytes Ender(std::initializer_list<std::pair<std::size_t, const char*>> texts) {
  Bytes b = Garbage(256);
  for (auto [at, text] : texts) std::memcpy(b.data() + at, text, std::strlen(text));
  return b;
}

TEST(DumpSplit, HandMadeDumps) {
  const Bytes a = test::MakePingRecord(1280, 0), b = test::MakePingRecord(3840, 1), z = test::MakePingRecord(0, 3);
  const Bytes cut(b.begin(), b.end() - 1), empty = FileOf({});
  const std::tuple<const char*, Bytes, std::vector<Bytes>, int> cases[] = {  // dump, files, pings left out
      {"runs with sampleCount 0 inside", Concat({Garbage(1000), a, z, Garbage(500), b}), {FileOf({a, z}), FileOf({b})}, 0},
      // A run ends at 256 bytes that do not open with the magic; a magic
      // wholly inside them after their first byte is never seen.
      {"magic inside the ending bytes", Concat({a, Ender({{1, "VORL"}, {252, "VORL"}}), Garbage(9)}), {FileOf({a})}, 0},
      // The window then holds their first four bytes: "VOR" + 'L' after them
      // is a magic, and the run starts 4 bytes back, where no magic is.
      {"window mixing VOR + L", Concat({a, Ender({{1, "VOR"}}), Bytes{'L'}, Garbage(600)}), {FileOf({a}), empty}, 0},
      {"magic straddling the ending bytes", Concat({a, Ender({{253, "VOR"}}), Bytes{'L'}, Garbage(600)}), {FileOf({a})}, 0},
      {"cut in the header", Concat({a, Bytes(b.begin(), b.begin() + 128)}), {FileOf({a})}, 1},
      {"one sample short", Concat({Garbage(9), a, cut}), {FileOf({a})}, 1},
  };
  for (const auto& [name, dump, files, dropped] : cases) {
    SCOPED_TRACE(name);
    ExpectSameAsByteByByte(dump, &files, dropped);
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
  for (std::uint32_t index = 0; dump.size() < size;) {
    Bytes part;
    if (const std::uint32_t kind = next(8); kind < 2) {  // a run of pings, then bytes that end it
      for (std::uint32_t i = 0, pings = 1 + next(6); i < pings; ++i) {
        const auto count = static_cast<std::uint16_t>(next(4) == 0 ? next(65536) : next(3000));
        part = Concat({part, test::MakePingRecord(count, index++, static_cast<std::uint8_t>(next(13)))});
      }
      Bytes ender = random(256);
      ender[0] = 'X';
      const std::uint32_t magic = next(5);  // magics near and inside the ender
      if (magic == 0) std::memcpy(ender.data() + 1 + next(3), "VOR", 3);
      if (magic == 1) std::memcpy(ender.data() + 1 + next(252), "VORL", 4);
      if (magic == 2) std::memcpy(ender.data() + 253, "VOR", 3);
      if (magic == 0 || magic == 2) ender.push_back('L');
      part = Concat({part, ender});
    } else if (kind == 2) {  // a stray magic inside garbage
      part = random(4 + next(2000));
      std::memcpy(part.data(), "VORL", 4);
    } else {  // garbage with many near-misses
      part = random(1 + next(5000), "VORLX");
    }
    dump.insert(dump.end(), part.begin(), part.end());
  }
  dump.resize(size - next(300));  // ends anywhere, often inside a ping
  return dump;
}

TEST(DumpSplit, BufferedSearchMatchesTheByteByByteSearch) {
  for (std::uint32_t seed = 1; seed <= 6; ++seed) {
    SCOPED_TRACE(seed);
    ExpectSameAsByteByByte(GeneratedDump(seed, seed % 3 == 0 ? 3000000 : 700000));
  }
  ExpectSameAsByteByByte(GeneratedDump(99, 5056 * 4096 + 300));  // the real dump's size
}

TEST(DumpSplitFaults, WriteFailureIsReportedAndThePartialFileRemoved) {
  // Writes fail past 4 MiB. A first run of just under 4 MiB fits in the
  // dump, but not behind the 4096-byte file header of its output; a small
  // run after it still fits. (Under Wine the limit is on the whole process,
  // so the dump itself must stay below it.)
  constexpr std::size_t kLimit = 4 << 20;
  const test::TempDir dir;
  Bytes dump;
  for (std::uint32_t i = 0; i < 70; ++i) dump = Concat({dump, test::MakePingRecord(i < 69 ? 60000 : 33000, i)});
  const Bytes small = test::MakePingRecord(10, 0);
  dump = Concat({dump, Garbage(300), small, Garbage(300)});
  ASSERT_TRUE(dump.size() <= kLimit && dump.size() > kLimit - 4096);
  SplitResult r;
  {
    test::FileSizeLimit limit(kLimit);
    if (limit.limit != kLimit) GTEST_SKIP() << "no file size limit in force";
    r = SplitScanDump(test::WriteWholeFile(dir.File("test.bin"), dump), dir.File("fond%i.zep"));
  }
  EXPECT_EQ(r.runs, 2);
  ASSERT_EQ(r.failures.size(), 1u);
  EXPECT_EQ(r.failures[0].rfind(dir.File("fond0.zep") + ": ", 0), 0u) << r.failures[0];
  EXPECT_FALSE(std::filesystem::exists(dir.File("fond0.zep")));
  ASSERT_EQ(r.files, std::vector<std::string>{dir.File("fond1.zep")});
  EXPECT_TRUE(test::WalkWhole(dir.File("fond1.zep")).bytes == FileOf({small}));
}

TEST(DumpSplitFaults, OutputsThatCannotBeCreatedAndPercentIInAFolder) {
  const test::TempDir dir;
  const std::string dump = test::WriteWholeFile(dir.File("test.bin"), test::MakePingRecord(10, 0));
  const SplitResult r = SplitScanDump(dump, dir.File("missing/fond%i.zep"));
  EXPECT_EQ(std::tuple(r.runs, r.files.size(), r.failures.size()), std::tuple(1, 0u, 1u));
  EXPECT_EQ(r.failures.at(0).rfind(dir.File("missing/fond0.zep") + ": ", 0), 0u) << r.failures[0];
  // The last "%i" is the number: a folder named with one is safe.
  std::filesystem::create_directory(dir.path() / "run%i");
  EXPECT_EQ(SplitScanDump(dump, dir.File("run%i/fond%i.zep")).files, std::vector<std::string>{dir.File("run%i/fond0.zep")});
}

}  // namespace
}  // namespace zep
