// SplitScanDump: runs at unaligned offsets, back to back and
// separated, at the start and the end of the dump, "VORL" inside garbage,
// sampleCount 0, the window rule after a run, repeated commands, and the
// mended faults (pings cut short by the end of the dump are left out;
// outputs that cannot be created or written are reported). The buffered
// search is checked against a byte-by-byte transcription of the search on many
// generated dumps. Every file written is walked.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "convert/convert.h"
#include "convert/record_file.h"
#include "disc/file.h"
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
    if (read(&b, 1) == 0) break;  // step 2: the end of the dump
    if (filled < 4) {
      window[filled++] = b;
    } else {
      std::memmove(window, window + 1, 3);
      window[3] = b;
    }
    if (filled < 4 || std::memcmp(window, "VORL", 4) != 0) continue;
    pos -= 4;  // step 3
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
        continue;      // the next header read gives no bytes
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

struct Split {
  SplitResult res;
  std::vector<Bytes> files;
};

Split RunSplit(const test::TempDir& dir, const Bytes& dump, const std::string& dumpName = "test.bin") {
  const std::string dumpPath = dir.File(dumpName);
  {
    OutputFile f = OutputFile::Create(dumpPath);
    f.Write(dump);
    EXPECT_TRUE(f.Close()) << f.error();
  }
  Split s;
  s.res = SplitScanDump(dumpPath, dir.File("fond%i.zep"));
  EXPECT_TRUE(s.res.dumpOpened);
  for (std::size_t i = 0; i < s.res.files.size(); ++i) {
    EXPECT_EQ(s.res.files[i], dir.File("fond" + std::to_string(i) + ".zep"));
    s.files.push_back(test::WalkWhole(s.res.files[i]).bytes);
  }
  return s;
}

void ExpectSameAsByteByByte(const test::TempDir& dir, const Bytes& dump) {
  const Reference ref = SplitByteByByte(dump);
  const Split s = RunSplit(dir, dump);
  EXPECT_EQ(s.res.runs, static_cast<int>(ref.files.size()));
  EXPECT_EQ(s.res.droppedPartialPings, ref.dropped);
  EXPECT_TRUE(s.res.failures.empty());
  ASSERT_EQ(s.files.size(), ref.files.size());
  for (std::size_t i = 0; i < ref.files.size(); ++i) EXPECT_TRUE(s.files[i] == ref.files[i]) << "file " << i;
}

Bytes Garbage(std::size_t n, std::uint8_t fill = 0x20) { return Bytes(n, fill); }

void Append(Bytes& to, const Bytes& more) { to.insert(to.end(), more.begin(), more.end()); }

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) Append(out, p);
  return out;
}

Bytes FileOf(std::initializer_list<Bytes> pings) {
  Bytes f(4096, 0);
  for (const Bytes& p : pings) Append(f, p);
  return f;
}

TEST(DumpSplit, NoMagicNoFile) {
  test::TempDir dir;
  const Split s = RunSplit(dir, Garbage(100000, 'V'));
  EXPECT_EQ(s.res.runs, 0);
  EXPECT_TRUE(s.files.empty());
  EXPECT_FALSE(std::filesystem::exists(dir.File("fond0.zep")));
}

TEST(DumpSplit, ThreePingsAtByte1000) {
  test::TempDir dir;
  const Bytes a = test::MakePingRecord(1280, 0), b = test::MakePingRecord(3840, 1), c = test::MakePingRecord(17, 2);
  const Split s = RunSplit(dir, Concat({Garbage(1000), a, b, c, Garbage(500)}));
  ASSERT_EQ(s.files.size(), 1u);
  EXPECT_TRUE(s.files[0] == FileOf({a, b, c}));
  EXPECT_EQ(s.res.runs, 1);
}

TEST(DumpSplit, TwoRunsSeparatedGiveTwoFilesInOrder) {
  test::TempDir dir;
  const Bytes a = test::MakePingRecord(100, 7), b = test::MakePingRecord(200, 8);
  const Split s = RunSplit(dir, Concat({Garbage(3), a, Garbage(1000), b, Garbage(300)}));
  ASSERT_EQ(s.files.size(), 2u);
  EXPECT_TRUE(s.files[0] == FileOf({a}));
  EXPECT_TRUE(s.files[1] == FileOf({b}));
}

TEST(DumpSplit, MagicAtTheFirstByteAndRunToTheLastByte) {
  test::TempDir dir;
  const Bytes a = test::MakePingRecord(10, 0), b = test::MakePingRecord(20, 1);
  const Split s = RunSplit(dir, Concat({a, b}));
  ASSERT_EQ(s.files.size(), 1u);
  EXPECT_TRUE(s.files[0] == FileOf({a, b}));
  EXPECT_EQ(s.res.droppedPartialPings, 0);
}

TEST(DumpSplit, PercentIInAFolderNameIsNotTheFileNumber) {
  test::TempDir dir;
  std::filesystem::create_directory(dir.path() / "run%i");
  const std::string dump = dir.File("test.bin");
  { std::ofstream(dump, std::ios::binary) << "xxVORL" << std::string(252, '\0'); }
  const SplitResult r = SplitScanDump(dump, (dir.path() / "run%i" / "fond%i.zep").string());
  ASSERT_EQ(r.files.size(), 1u);
  EXPECT_TRUE(std::filesystem::exists(dir.path() / "run%i" / "fond0.zep"));
}

TEST(DumpSplit, SampleCountZero) {
  test::TempDir dir;
  const Bytes a = test::MakePingRecord(0, 0), b = test::MakePingRecord(0, 1), c = test::MakePingRecord(5, 2);
  const Split s = RunSplit(dir, Concat({Garbage(7), a, b, c, Garbage(256)}));
  ASSERT_EQ(s.files.size(), 1u);
  EXPECT_TRUE(s.files[0] == FileOf({a, b, c}));
}

TEST(DumpSplit, VorlInsideGarbageStartsARun) {
  // The 256 bytes from the magic are taken as a header, its bytes 4-5 give
  // the samples, and the walk goes on from there.
  test::TempDir dir;
  Bytes fake = Garbage(256 + 0x0102, 0x33);
  std::memcpy(fake.data(), "VORL", 4);
  fake[4] = 0x02;
  fake[5] = 0x01;
  const Bytes real = test::MakePingRecord(64, 5);
  const Split s = RunSplit(dir, Concat({Garbage(11), fake, real, Garbage(300)}));
  ASSERT_EQ(s.files.size(), 1u);
  EXPECT_TRUE(s.files[0] == FileOf({fake, real}));
}

TEST(DumpSplit, BackToBackRunsAreOneRun) {
  test::TempDir dir;
  Bytes dump = Garbage(5);
  Bytes expected(4096, 0);
  for (std::uint32_t i = 0; i < 50; ++i) {
    const Bytes p = test::MakePingRecord(static_cast<std::uint16_t>(i * 37), i);
    Append(dump, p);
    Append(expected, p);
  }
  Append(dump, Garbage(256));
  const Split s = RunSplit(dir, dump);
  ASSERT_EQ(s.files.size(), 1u);
  EXPECT_TRUE(s.files[0] == expected);
}

TEST(DumpSplit, MagicInsideTheBytesThatEndedARunIsNotFound) {
  // A run ends at 256 bytes that do not open with the magic. A magic wholly
  // inside them, after their first byte, is never seen.
  test::TempDir dir;
  const Bytes a = test::MakePingRecord(30, 0);
  Bytes ender = Garbage(256);
  std::memcpy(ender.data() + 1, "VORL", 4);
  std::memcpy(ender.data() + 100, "VORL", 4);
  std::memcpy(ender.data() + 252, "VORL", 4);
  const Split s = RunSplit(dir, Concat({a, ender, Garbage(10)}));
  ASSERT_EQ(s.files.size(), 1u);
  EXPECT_TRUE(s.files[0] == FileOf({a}));
  ExpectSameAsByteByByte(dir, Concat({a, ender, Garbage(10)}));
}

TEST(DumpSplit, WindowMixingTheEndedRunAndTheNextBytes) {
  // After a run ended by the 256 bytes at h, the window holds h..h+3, so
  // "VOR" at h+1..h+3 with 'L' at h+256 completes a magic, and the run starts
  // 4 bytes back from the read position: at h+253. Likewise "VO" + "RL" and
  // "V" + "ORL". A real magic straddling the end of the 256 bytes is not
  // found: the window never holds its four bytes together.
  test::TempDir dir;
  const Bytes a = test::MakePingRecord(30, 0);
  struct Case {
    const char* name;
    std::size_t at;  // where the prefix goes inside the 256 bytes
    const char* inside;
    const char* after;
    int runs;
  };
  const Case cases[] = {
      {"VOR + L", 1, "VOR", "L", 2},
      {"VO + RL", 2, "VO", "RL", 2},
      {"V + ORL", 3, "V", "ORL", 2},
      {"straddling: VOR + L", 253, "VOR", "L", 1},
      {"straddling: VO + RL", 254, "VO", "RL", 1},
      {"straddling: V + ORL", 255, "V", "ORL", 1},
      {"at h+256", 256, "", "VORL", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes ender = Garbage(256);
    std::memcpy(ender.data() + std::min<std::size_t>(c.at, 256), c.inside, std::strlen(c.inside));
    Bytes tail(c.after, c.after + std::strlen(c.after));
    Append(tail, Garbage(600, 0x44));
    const Bytes dump = Concat({Garbage(2), a, ender, tail});
    ExpectSameAsByteByByte(dir, dump);
    const Split s = RunSplit(dir, dump);
    EXPECT_EQ(s.res.runs, c.runs);
    if (c.runs == 2) {
      // The second run starts where the step back lands, h + 253 to h + 256.
      // For the mixed windows the 256 bytes there do not open with the magic
      // (it never was in the dump), so the run ends at once with an empty
      // file; at h + 256 the magic is real but its samples run past the end.
      ASSERT_EQ(s.files.size(), 2u);
      EXPECT_TRUE(s.files[1] == Bytes(4096, 0));
    }
  }
}

TEST(DumpSplit, PingsCutShortByTheEndOfTheDumpAreLeftOut) {
  test::TempDir dir;
  const Bytes a = test::MakePingRecord(100, 0), b = test::MakePingRecord(300, 1);
  struct Case {
    const char* name;
    std::size_t keep;  // bytes of b that are in the dump
  };
  const Case cases[] = {{"4 header bytes", 4}, {"half a header", 128}, {"header, no samples", 256},
                        {"one sample short", 255 + 300}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes dump = Concat({Garbage(9), a, Bytes(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(c.keep))});
    const Split s = RunSplit(dir, dump);
    ASSERT_EQ(s.files.size(), 1u);
    EXPECT_TRUE(s.files[0] == FileOf({a}));
    EXPECT_EQ(s.res.droppedPartialPings, 1);
    ExpectSameAsByteByByte(dir, dump);
  }
  // A run whose only ping is cut short leaves a file of no pings.
  const Bytes dump = Concat({Garbage(9), Bytes(b.begin(), b.begin() + 200)});
  const Split s = RunSplit(dir, dump);
  ASSERT_EQ(s.files.size(), 1u);
  EXPECT_TRUE(s.files[0] == Bytes(4096, 0));
}

TEST(DumpSplit, RepeatedCommandsWriteTheSameFilesAndLeaveHigherNumbers) {
  test::TempDir dir;
  const Bytes a = test::MakePingRecord(10, 0), b = test::MakePingRecord(20, 1), c = test::MakePingRecord(30, 2);
  const Bytes three = Concat({a, Garbage(300), b, Garbage(300), c, Garbage(300)});
  const Split first = RunSplit(dir, three);
  const Split second = RunSplit(dir, three);
  ASSERT_EQ(first.files.size(), 3u);
  EXPECT_EQ(first.files, second.files);
  // A later dump with one run replaces fond0 only.
  const Split third = RunSplit(dir, Concat({c, Garbage(300)}));
  ASSERT_EQ(third.files.size(), 1u);
  EXPECT_TRUE(third.files[0] == FileOf({c}));
  EXPECT_TRUE(test::ReadWholeFile(dir.File("fond1.zep")) == FileOf({b}));
  EXPECT_TRUE(test::ReadWholeFile(dir.File("fond2.zep")) == FileOf({c}));
}

// Dumps of a few MB with runs, stray magics, the mixed windows and cut
// pings placed at random: buffer boundaries fall everywhere.
Bytes GeneratedDump(std::uint32_t seed, std::size_t size) {
  std::mt19937 rng(seed);
  auto next = [&](std::uint32_t n) { return static_cast<std::uint32_t>(rng() % n); };
  Bytes dump;
  std::uint32_t index = 0;
  while (dump.size() < size) {
    switch (next(8)) {
      case 0:
      case 1: {  // a run of pings, then bytes that end it
        const std::uint32_t pings = 1 + next(6);
        for (std::uint32_t i = 0; i < pings; ++i) {
          const std::uint16_t count = next(4) == 0 ? static_cast<std::uint16_t>(next(65536))
                                                   : static_cast<std::uint16_t>(next(3000));
          Append(dump, test::MakePingRecord(count, index++, static_cast<std::uint8_t>(next(13))));
        }
        Bytes ender(256);
        for (auto& x : ender) x = static_cast<std::uint8_t>(next(256));
        ender[0] = 'X';
        const std::uint32_t kind = next(5);  // magics near and inside the ender
        if (kind == 0) std::memcpy(ender.data() + 1 + next(3), "VOR", 3);
        if (kind == 1) std::memcpy(ender.data() + 1 + next(252), "VORL", 4);
        if (kind == 2) std::memcpy(ender.data() + 253, "VOR", 3);
        Append(dump, ender);
        if (kind == 0 || kind == 2) dump.push_back('L');
        break;
      }
      case 2: {  // a stray magic inside garbage
        Bytes g(4 + next(2000));
        for (auto& x : g) x = static_cast<std::uint8_t>(next(256));
        std::memcpy(g.data(), "VORL", 4);
        Append(dump, g);
        break;
      }
      default: {  // garbage with many near-misses
        Bytes g(1 + next(5000));
        for (auto& x : g) x = static_cast<std::uint8_t>("VORLX"[next(5)]);
        Append(dump, g);
      }
    }
  }
  dump.resize(size - next(300));  // ends anywhere, often inside a ping
  return dump;
}

TEST(DumpSplit, BufferedSearchMatchesTheByteByByteSearch) {
  test::TempDir dir;
  for (std::uint32_t seed = 1; seed <= 12; ++seed) {
    SCOPED_TRACE(seed);
    ExpectSameAsByteByByte(dir, GeneratedDump(seed, seed % 3 == 0 ? 3000000 : 700000));
  }
}

TEST(DumpSplit, ScanDumpSizedDumpMatchesTheByteByByteSearch) {
  // The real dump is 5056 pieces of 4096 bytes.
  test::TempDir dir;
  ExpectSameAsByteByByte(dir, GeneratedDump(99, 5056 * 4096 + 300));
}

// --- Faults ------------------------------------------------------------------

TEST(DumpSplitFaults, MissingDump) {
  test::TempDir dir;
  const SplitResult r = SplitScanDump(dir.File("none.bin"), dir.File("fond%i.zep"));
  EXPECT_FALSE(r.dumpOpened);
  EXPECT_FALSE(r.dumpError.empty());
  EXPECT_EQ(r.runs, 0);
  EXPECT_FALSE(std::filesystem::exists(dir.File("fond0.zep")));
}

TEST(DumpSplitFaults, OutputsThatCannotBeCreatedAreReportedAndCounted) {
  test::TempDir dir;
  const Bytes a = test::MakePingRecord(10, 0), b = test::MakePingRecord(20, 1);
  const std::string dumpPath = dir.File("test.bin");
  {
    OutputFile f = OutputFile::Create(dumpPath);
    f.Write(Concat({a, Garbage(300), b, Garbage(300)}));
    ASSERT_TRUE(f.Close());
  }
  const std::string pattern = (dir.path() / "missing" / "fond%i.zep").string();
  const SplitResult r = SplitScanDump(dumpPath, pattern);
  EXPECT_TRUE(r.dumpOpened);
  EXPECT_EQ(r.runs, 2);
  EXPECT_TRUE(r.files.empty());
  ASSERT_EQ(r.failures.size(), 2u);
  EXPECT_EQ(r.failures[0].rfind((dir.path() / "missing" / "fond0.zep").string() + ": ", 0), 0u) << r.failures[0];
  EXPECT_EQ(r.failures[1].rfind((dir.path() / "missing" / "fond1.zep").string() + ": ", 0), 0u) << r.failures[1];
}

TEST(DumpSplitFaults, WriteFailureIsReportedAndThePartialFileRemoved) {
  // Writes fail past 4 MiB. A first run of just under 4 MiB fits in the
  // dump, but not behind the 4096-byte file header of its output; a small
  // run after it still fits. (Under Wine the limit is on the whole process,
  // so the dump itself must stay below it.)
  constexpr std::size_t kLimit = 4 << 20;
  test::TempDir dir;
  Bytes dump;
  for (std::uint32_t i = 0; i < 69; ++i) Append(dump, test::MakePingRecord(60000, i));
  Append(dump, test::MakePingRecord(33000, 69));
  const std::size_t run = dump.size();
  ASSERT_GT(run + 4096, kLimit);
  Append(dump, Garbage(300));
  const Bytes small = test::MakePingRecord(10, 0);
  Append(dump, small);
  Append(dump, Garbage(300));
  ASSERT_LE(dump.size(), kLimit);
  const std::string dumpPath = dir.File("test.bin");
  {
    OutputFile f = OutputFile::Create(dumpPath);
    f.Write(dump);
    ASSERT_TRUE(f.Close()) << f.error();
  }
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
