// The disc side: the record directory and what is made of it, file names, the
// scan and its dump, type detection, ddrescue mapfiles, and the real volume
// backend, which never writes the disc.
// Output files (writes, failures, a device never deleted) are zepconv's tests'.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <tuple>

#include "convert/disc_check.h"
#include "convert/convert.h"
#include "disc/aligned_buffer.h"
#include "disc/detect_type.h"
#include "disc/domain_map.h"
#include "disc/failed_reads.h"
#include "disc/file.h"
#include "disc/record_names.h"
#include "disc/rescue_map.h"
#include "disc/scan.h"
#include "tests/support/record_check.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace zep {
namespace {

using test::DiscImage;
using test::EntrySpec;
using test::MemoryVolume;
using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

TEST(RecordNamesTest, FileNamesStayInsideTheFolder) {
  const std::pair<std::string, std::string> cases[] = {
      {"SURVEY1", "SURVEY1.ZEP"}, {"RUN.2", "RUN.2"},      {"RUN. 2", "RUN. 2.ZEP"},       {"", ".ZEP"},
      {"..", "__.ZEP"},           {".", "_.ZEP"},          {"../../x", ".._.._x"},         {"A\\B", "A_B.ZEP"},
      {"C:X", "C_X.ZEP"},         {"a*?\"<>|", "a______.ZEP"}, {std::string("T\r\n\x01", 4), "T___.ZEP"},
      {"CON", "_CON.ZEP"},        {"nul", "_nul.ZEP"},     {"COM1", "_COM1.ZEP"},          {"lpt9.txt", "_lpt9.txt"},
      {"CONSOLE", "CONSOLE.ZEP"}, {"COM0", "COM0.ZEP"},    {"\xFF\xFE", "\xFF\xFE.ZEP"},
  };
  for (const auto& [record, file] : cases) EXPECT_EQ(RecordFileName(record), file) << record;
}

TEST(RecordNamesTest, LaterRecordsWithTheSameNameGetDistinctNames) {
  RunFileNames names;
  const std::tuple<std::string, int, std::string> steps[] = {
      {"SURVEY", 3, "SURVEY.ZEP"},
      {"survey", 8, "survey_8.ZEP"},  // same file on a case-blind file system
      {"SURVEY", 9, "SURVEY_9.ZEP"},
      {"OTHER", 10, "OTHER.ZEP"},
      {"RUN.2", 11, "RUN.2"},
      {"RUN.2", 12, "RUN_12.2"},
      {"SURVEY_8", 13, "SURVEY_8_13.ZEP"},  // its own name is what an earlier duplicate was given
      {"A_5", 1, "A_5.ZEP"},
      {"A", 2, "A.ZEP"},
      {"A", 5, "A_5_2.ZEP"},  // the number is taken: a counter too
  };
  for (const auto& [record, number, file] : steps) EXPECT_EQ(names.Next(record, number), file) << record;
}

// A disc of the given size with a different byte pattern in every piece.
DiscImage Patterned(std::size_t size) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>((i / 4096) * 31 + i);
  return std::move(DiscImage(SourceType::Tk40).Bytes(0, bytes));
}

RecordDirectory Filled(std::uint8_t value) {
  RecordDirectory dir;
  return dir.fill(value), dir;
}

// Unreadable pieces, and those past the end of the disc, are zeros, counted;
// the dump keeps its length.
TEST(ScanTest, DiscReadReplacesTheDirectoryAndWritesTheDump) {
  const std::tuple<std::size_t, std::int64_t, int, std::size_t, std::size_t> cases[] = {
      // disc size, piece that fails (-1: none), unreadable pieces, zeros from and to within the dump
      {kDumpOffset + 3 * 4096 + 2048, -1, kDumpPieces - 3, 3 * 4096 + 2048, kDumpSize},
      {kDumpOffset + kDumpSize, 100, 1, 100 * 4096, 101 * 4096},
  };
  const test::TempDir tmp;
  for (const auto& [discSize, failingPiece, unreadable, zerosFrom, zerosTo] : cases) {
    SCOPED_TRACE(discSize);
    DiscImage image = Patterned(discSize);
    for (int slot = 0; slot < 64; ++slot) image.Entry(slot, {.status = 0});
    image.Entry(0, {.name = "ONE"}).Entry(5, {.name = "SIX"}).Label("DISC");
    MemoryVolume volume(image.bytes());
    if (failingPiece >= 0) volume.FailRange(kDumpOffset + failingPiece * 4096 + 10, 1);
    RecordDirectory dir = Filled(0xAA);
    const ScanResult r = ScanDisc(test::OpenerFor(volume), dir, tmp.File("test.bin"));
    EXPECT_EQ(std::tuple(r.outcome, r.problem.has_value()), std::tuple(ScanOutcome::DiscRead, false));
    EXPECT_EQ(dir, image.Directory());
    EXPECT_EQ(std::pair(r.dump.written, r.dump.unreadablePieces), std::pair(true, unreadable));
    Bytes expected(image.bytes().begin() + kDumpOffset, image.bytes().end());
    expected.resize(kDumpSize);
    std::fill(expected.begin() + zerosFrom, expected.begin() + zerosTo, 0);
    EXPECT_TRUE(test::ReadWholeFile(tmp.File("test.bin")) == expected);
  }
}

TEST(ScanTest, NoDiskOrFixedDiskLeavesDirectoryAndDumpAlone) {
  const test::TempDir tmp;
  RecordDirectory dir = Filled(0x11);
  const ScanResult none =
      ScanDisc(test::FailingOpener("CreateFileA: not found"), dir, tmp.File("test.bin"));
  EXPECT_EQ(std::tuple(none.outcome, test::TextOf(none.problem)), std::tuple(ScanOutcome::NoDisk, "CreateFileA: not found"));

  const MemoryVolume fixed(DiscImage(SourceType::Tk40).Entry(0, {.name = "X"}).bytes(), /*removable=*/false);
  const ScanResult r = ScanDisc(test::OpenerFor(fixed), dir, tmp.File("test.bin"));
  EXPECT_EQ(std::tuple(r.outcome, r.problem.has_value()), std::tuple(ScanOutcome::NotMoDisc, false));
  EXPECT_EQ(dir, Filled(0x11));
  EXPECT_FALSE(std::filesystem::exists(tmp.File("test.bin")));
}

TEST(ScanTest, DirectoryCutShortIsReadAsZerosNotAsTheEarlierDisc) {
  const MemoryVolume volume(DiscImage(SourceType::Tk40).Entry(0, {.name = "FIRST"}).Resize(1024).bytes());
  RecordDirectory dir = Filled(0x01);  // an earlier disc with records everywhere
  const ScanResult r = ScanDisc(test::OpenerFor(volume), dir, "");
  ASSERT_TRUE(r.directoryProblem);
  EXPECT_EQ(std::tuple(r.outcome, r.directoryProblem->kind, r.dump.attempted),
            std::tuple(ScanOutcome::DiscRead, ProblemKind::kPastEnd, false));
  EXPECT_EQ(RecordName(dir, 0, SourceType::Tk40), "FIRST");
  for (int slot = 1; slot < kSlotCount; ++slot) EXPECT_FALSE(IsRecordSlot(dir, slot)) << slot;
}

TEST(VolumeTest, BlocksPositionsPast2GiBTheEndAndReadOnlyAccess) {
  const test::TempDir tmp;
  const std::string path = tmp.File("big.img");
  const std::int64_t size = std::int64_t{3} << 30, block = 600000;  // (600000 + 4) * 4096 is about 2.29 GiB
  std::ofstream(path).flush();
  fs::resize_file(path, static_cast<std::uintmax_t>(size - 2048));
  {
    std::fstream io(path, std::ios::binary | std::ios::in | std::ios::out);
    for (const std::int64_t b : {std::int64_t{0}, std::int64_t{1}, block})
      io.seekp(Tk40BlockOffset(b)) << std::string(4096, static_cast<char>(b % 250 + 1));
  }
  VolumeOpenResult opened = OpenDiscVolume(path);
  ASSERT_TRUE(opened.volume) << test::TextOf(opened.problem);
  EXPECT_TRUE(opened.volume->IsRemovableMedia());
  AlignedBuffer buf(4096);
  for (const std::int64_t b : {std::int64_t{0}, std::int64_t{1}, block}) {
    const ReadResult r = ReadDiscBlock(*opened.volume, b, buf.span());
    EXPECT_TRUE(r.ok() && r.bytes == 4096 && buf[0] == b % 250 + 1 && buf[4095] == b % 250 + 1) << b << test::TextOf(r.problem);
  }
  // The last block is half there: a short read of the volume, a failed block.
  const std::int64_t last = (size - 2048) / 4096 - 4;
  EXPECT_EQ(opened.volume->ReadAt(Tk40BlockOffset(last), buf.span()).bytes, 2048u);
  EXPECT_FALSE(ReadDiscBlock(*opened.volume, last, buf.span()).ok());
  EXPECT_FALSE(ReadDiscBlock(*opened.volume, last + 1, buf.span()).ok());
  EXPECT_FALSE(ReadDiscBlock(*opened.volume, -5, buf.span()).ok());  // before the start

  // The disc is never written: the volume holds no write access.
#ifdef _WIN32
  // Opening the file again while sharing only reads succeeds only if no open
  // handle to it holds write access.
  const HANDLE exclusive =
      CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_NE(exclusive, INVALID_HANDLE_VALUE) << "the volume holds write access or denies reading";
  if (exclusive != INVALID_HANDLE_VALUE) CloseHandle(exclusive);
#else
  // The access mode of every descriptor of this process that refers to the image.
  auto modes = [target = fs::canonical(path)] {
    std::vector<int> found;
    for (const auto& fd : fs::directory_iterator("/proc/self/fd")) {
      std::error_code ec;
      if (fs::read_symlink(fd.path(), ec) != target || ec) continue;
      std::ifstream info("/proc/self/fdinfo/" + fd.path().filename().string());
      for (std::string key, value; info >> key >> value;) {
        if (key == "flags:") found.push_back(std::stoi(value, nullptr, 8) & O_ACCMODE);
      }
    }
    return found;
  };
  EXPECT_EQ(modes(), std::vector<int>{O_RDONLY});
  opened.volume.reset();
  EXPECT_TRUE(modes().empty()) << "the volume stays open after it is released";
#endif
}

TEST(ReadOnlyTest, ScanDumpAndConversionsLeaveTheImageBitIdentical) {
  const test::TempDir tmp;
  const std::string path = tmp.File("disc.img");
  for (SourceType type : {SourceType::Tk40, SourceType::ZepV1}) {
    DiscImage image(type);
    image.Label("RO").Entry(0, {.name = "A", .first = 2, .second = 6});
    for (int u = 2; u < 10; ++u) {
      image.Block(u, test::Tk40Block().Samples(u).ModeCode(static_cast<std::uint8_t>(u)));
      image.Sector(u + 4, test::MakePingRecord(1792, static_cast<std::uint32_t>(u)));
    }
    image.Resize(kDumpOffset + 8192).WriteFile(path);  // reaches into the dump area
    const auto before = test::ReadWholeFile(path);
    RecordDirectory dir{};
    ASSERT_EQ(ScanDisc(VolumeAt(path), dir, tmp.File("test.bin")).outcome, ScanOutcome::DiscRead);
    EXPECT_EQ(test::ConverterFor(type)(tmp.File("a.zep"), dir, 0, VolumeAt(path), {}).Converted(), true);
    SplitScanDump(tmp.File("test.bin"), tmp.File("fond%i.zep"));
    EXPECT_EQ(test::ReadWholeFile(path), before);
  }
}

// An empty piece once handed memcpy a null pointer (the sanitizer tree sees it).
TEST(OutputFileTest, AnEmptyPieceWritesNothing) {
  const test::TempDir tmp;
  OutputFile out = OutputFile::Create(tmp.File("a"));
  EXPECT_TRUE(out.Write({}) && out.Close() && test::ReadWholeFile(tmp.File("a")).empty());
}

// What a watch of outputs was told, per final path.
struct Watched : OutputWatch {
  std::map<std::string, Bytes> bytes;
  std::map<std::string, std::vector<std::pair<std::uint64_t, std::uint64_t>>> unread;
  std::vector<std::pair<std::string, bool>> closed;
  void Wrote(const std::string& path, std::span<const std::uint8_t> b) override {
    bytes[path].insert(bytes[path].end(), b.begin(), b.end());
  }
  void Unread(const std::string& path, std::uint64_t at, std::uint64_t count) override {
    unread[path].emplace_back(at, count);
  }
  void Closed(const std::string& path, bool kept) override { closed.emplace_back(path, kept); }
};

// A watched output is told every byte the file gets, by either converter and
// whether or not the image is one the system could copy from (a watched file
// declines the system's copy, so the bytes pass through it), the zeros that
// stand for unread sectors, and its end once: kept, or discarded.
TEST(OutputWatchTest, SeesEveryByteTheUnreadAndTheEnd) {
  const test::TempDir tmp;
  DiscImage zep(SourceType::ZepV1, 64 * 2048);
  zep.Entry(0, {.name = "Z", .first = 4, .second = 40});
  for (int s = 6; s < 44; ++s) zep.Sector(s, test::MakePingRecord(1792, static_cast<std::uint32_t>(s)));
  DiscImage tk(SourceType::Tk40);
  tk.Entry(0, {.name = "T", .first = 2, .second = 6});
  for (int b = 2; b < 6; ++b) tk.Block(b, test::Tk40Block().Samples(static_cast<std::uint32_t>(b)).ModeCode(3));
  zep.WriteFile(tmp.File("zep.img"));
  tk.WriteFile(tmp.File("tk.img"));
  MemoryVolume bad(zep.bytes());
  bad.FailRange(ZepSectorOffset(11), 2048);
  const struct {
    const char* name;
    const DiscImage& img;
    VolumeOpener open;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> unread;
  } cases[] = {
      {"ZEP, an image the system copies from", zep, VolumeAt(tmp.File("zep.img")), {}},
      {"ZEP, a sector unreadable", zep, test::OpenerFor(bad), {{4096 + 5 * 2048, 2048}}},
      {"TK40", tk, VolumeAt(tmp.File("tk.img")), {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = tmp.File("w.zep");
    auto watch = std::make_shared<Watched>();
    const ConvertResult r = ConvertRecord(c.img.type(), OutputTarget(path, {.watch = watch}), c.img.Directory(), 0, c.open);
    ASSERT_TRUE(r.Converted());
    EXPECT_EQ(watch->bytes[path], test::ReadWholeFile(path));
    EXPECT_EQ(watch->unread[path], c.unread);
    if (!c.unread.empty()) {
      EXPECT_EQ(watch->bytes[UnreadMapPath(path)], test::ReadWholeFile(UnreadMapPath(path)));
    }
    const std::vector<std::pair<std::string, bool>> closed =
        c.unread.empty() ? decltype(closed){{path, true}} : decltype(closed){{UnreadMapPath(path), true}, {path, true}};
    EXPECT_EQ(watch->closed, closed);
    RemoveFile(UnreadMapPath(path));
  }
  auto watch = std::make_shared<Watched>();
  {
    OutputFile dropped = OutputFile::Create(tmp.File("d"), {.watch = watch});
    dropped.Write(Bytes(10, 1));
  }
  EXPECT_EQ(watch->closed, (std::vector<std::pair<std::string, bool>>{{tmp.File("d"), false}}));
}

#ifndef _WIN32
// A volume whose "system copy" stops after limit bytes, anywhere, as a real
// one may (a full disk, a read error, a signal).
class StoppingCopy final : public Volume {
 public:
  StoppingCopy(MemoryVolume v, std::int64_t limit) : v_(std::move(v)), limit_(limit) {}
  ReadResult ReadAt(std::int64_t pos, std::span<std::uint8_t> buf) override { return v_.ReadAt(pos, buf); }
  bool IsRemovableMedia() override { return true; }
  const std::string& Name() const override { return v_.Name(); }
  std::int64_t Size() const override { return v_.Size(); }
  std::int64_t CopyInto(std::intptr_t out, std::int64_t pos, std::int64_t size) override {
    const std::int64_t n = std::min(size, std::exchange(limit_, 0));
    return ::write(static_cast<int>(out), v_.bytes().data() + pos, static_cast<std::size_t>(n));
  }

 private:
  MemoryVolume v_;
  std::int64_t limit_;
};

// Where the system's copy stops, the unit reader reads on: the file is the
// one reads alone make. Stopped inside a sector that then does not read, the
// rest of that sector is zeros, and counted.
TEST(UnitReaderTest, ACopyTheSystemStopsIsFinishedByReads) {
  const test::TempDir tmp;
  DiscImage img(SourceType::ZepV1, 64 * 2048);
  img.Entry(0, {.name = "Z", .first = 4, .second = 40});
  for (int s = 6; s < 44; ++s) img.Sector(s, test::MakePingRecord(1792, static_cast<std::uint32_t>(s)));
  const Bytes read = test::CoreRecord(img, 0);
  const std::int64_t inside = 5 * 2048 + 100;
  for (const auto& [limit, fails] : {std::pair{std::int64_t{5 * 2048}, false}, {inside, false}, {inside, true}}) {
    SCOPED_TRACE(std::to_string(limit) + (fails ? ", then unreadable" : ""));
    MemoryVolume v(img.bytes());
    v.KnowSize(MemoryVolume::SizeKnown::FromStart);
    if (fails) v.FailRange(ZepSectorOffset(11), 2048);
    const VolumeOpener open = [&v, stop = limit] {
      return VolumeOpenResult{std::make_unique<StoppingCopy>(v, stop), {}};
    };
    const ConvertResult r = CopyZepRecord(tmp.File("z.zep"), img.Directory(), 0, open);
    Bytes expected = read;
    if (fails) std::fill(expected.begin() + 4096 + inside, expected.begin() + 4096 + 6 * 2048, 0);
    EXPECT_EQ(std::pair(r.failedUnits, test::ReadWholeFile(tmp.File("z.zep"))), std::pair(std::int64_t{fails}, expected));
  }
}
#endif

// Which recorder wrote a disc, from its directory and the first sector of its
// records: both types, blank, random and damaged directories.
DiscImage Disc(SourceType type, const std::string& name = "SURVEY") {
  DiscImage img(type);
  for (int slot = 0; slot < 3; ++slot) img.Entry(slot, {.name = name, .first = 10 * slot, .second = 10 * slot + 5});
  return img.Label("LABEL");
}

DiscImage Random() {
  std::uint32_t x = 12345;
  Bytes bytes(kDirectorySize);
  for (auto& b : bytes) b = static_cast<std::uint8_t>((x = x * 1103515245u + 12345u) >> 24);
  return std::move(DiscImage(SourceType::Tk40).Bytes(0, bytes));
}

TEST(DetectTypeTest, TheDiscsOwnEvidenceDecides) {
  // pings: every record's first copied sector opens one; ruledOut: the types
  // the evidence rules out, "" for none.
  const std::tuple<const char*, DiscImage, bool, DiscKind, std::string> cases[] = {
      {"TK40", Disc(SourceType::Tk40), false, DiscKind::Tk40, "ZEP V1.X"},
      {"ZEP V1.X", Disc(SourceType::ZepV1), false, DiscKind::ZepV1, "TK40"},
      {"ZEP V1.X, pings", Disc(SourceType::ZepV1), true, DiscKind::ZepV1, "TK40"},
      // Names of 11 characters carry no terminator, and a ZEP V1.X date read
      // one byte on is still a date: only the pings tell.
      {"11-character names", Disc(SourceType::ZepV1, "ELEVENCHARS").Label("ELEVENCHARS"), false, DiscKind::Unknown,
       ""},
      {"11-character names, pings", Disc(SourceType::ZepV1, "ELEVENCHARS"), true, DiscKind::ZepV1, "TK40"},
      {"blank", DiscImage(SourceType::Tk40), false, DiscKind::Blank, ""},
      {"random", Random(), false, DiscKind::Unknown, ""},
      {"random, pings asked", Random(), true, DiscKind::Unknown, ""},
      {"one slot overwritten", Disc(SourceType::ZepV1).Bytes(32, std::vector<std::uint8_t>(32, 0x7F)), false,
       DiscKind::ZepV1, "TK40"},
      {"two of four slots overwritten", Disc(SourceType::Tk40).Bytes(0, std::vector<std::uint8_t>(64, 0x7F)), false,
       DiscKind::Unknown, "ZEP V1.X"},
      {"no slot in use", DiscImage(SourceType::Tk40).Bytes(5, std::vector<std::uint8_t>{1, 2}), false,
       DiscKind::NoRecords, ""},
  };
  for (const auto& [name, img, pings, kind, ruledOut] : cases) {
    const TypeEvidence ev = DetectDiscType(img.Directory(), [&, pings = pings](std::int64_t) { return pings; });
    EXPECT_EQ(static_cast<int>(ev.kind), static_cast<int>(kind)) << name << ": " << ev.Describe();
    std::string out;
    for (SourceType t : {SourceType::Tk40, SourceType::ZepV1})
      if (ev.RulesOut(t)) out += SourceTypeName(t);
    EXPECT_EQ(out, ruledOut) << name << ": " << ev.Describe();
  }
}

// GNU ddrescue mapfiles: malformed ones are refused naming file and line, and
// under a map every read that touches a byte not rescued fails.
constexpr const char* kHead = "# Mapfile. Created by GNU ddrescue version 1.27\n# current_pos  current_status  current_pass\n"
                              "0x00000000     +               1\n#      pos        size  status\n";

TEST(RescueMapTest, MalformedMapsNameFileAndLine) {
  using namespace std::literals;
  const std::pair<std::string_view, const char*> cases[] = {  // text, the whole message
      {""sv, "m.map: no \"pos size status\" lines: not a ddrescue mapfile"},
      {"hello world, this is text\n", "m.map:1: expected the current position line \"pos status [pass]\", found "
                                      "\"hello world, this is text\": not a ddrescue mapfile"},
      {"0 +\n0 0x800 +\n0x800 0x800 x\n", "m.map:3: status \"x\" is none of ? * / - +"},
      {"0 +\n0 0x800 +\n0x900 0x800 -\n",
       "m.map:3: the block at 0x900 does not start where the one before ends (0x800)"},
      {"0 +\n0 0 +\n", "m.map:2: a block of size 0"},
      {"0 +\n0 0x1g +\n", "m.map:2: \"0x1g\" is not a number"},
      {"0 +\n0 0800 +\n", "m.map:2: \"0800\" starts with 0, which ddrescue reads as octal; write it in decimal or 0x hex"},
      {"0 +\n1 0x7FFFFFFFFFFFFFFF +\n", "m.map:2: the block ends past 2^63"},
      {"0 +\n0 1\0 +\n"sv, "m.map:2: a zero byte: not a ddrescue mapfile"},
  };
  for (const auto& [text, error] : cases) {
    const RescueMapLoad load = ParseRescueMap(text, "m.map");
    EXPECT_EQ(std::pair(load.map.has_value(), test::TextOf(load.problem)), std::pair(false, std::string(error))) << text;
  }
}

TEST(RescueMapTest, ReadsTouchingBytesNotRescuedFail) {
  // 8 sectors of 2048: 2 and 3 bad, 6 non-tried, 7 bad and, as ddrescue
  // leaves it, missing from the image.
  const std::string text = std::string(kHead) +
                           "0x00000000  0x00001000  +  # annotated\n0x1000 4096 -\n0x2000 0x1000 +\n0x3000 0x800 ?\n"
                           "0x3800 0x800 -\n";
  const RescueMapLoad load = ParseRescueMap(text, "m.map");
  ASSERT_TRUE(load.map) << test::TextOf(load.problem);
  auto image = std::make_unique<MemoryVolume>(std::vector<std::uint8_t>(7 * 2048, 0xAB));
  image->KnowSize(MemoryVolume::SizeKnown::FromStart);
  EXPECT_FALSE(RescueMapMismatch(*load.map, *image));
  auto volume = VolumeUnderMap(std::move(image), std::make_shared<RescueMap>(*load.map));
  AlignedBuffer buf(4 * 2048);
  // A read is never tried only when every byte of it that is not rescued is '?'.
  constexpr auto kBad = ProblemKind::kUnreadable, kNotTried = ProblemKind::kNotTried, kGood = ProblemKind::kOther;
  for (const auto& [sector, sectors, kind] :
       {std::tuple(0, 2u, kGood), {1, 2u, kBad}, {3, 1u, kBad}, {4, 2u, kGood}, {5, 2u, kNotTried},
        {6, 1u, kNotTried}, {6, 2u, kBad}, {5, 3u, kBad}, {7, 1u, kBad}, {8, 1u, kGood}}) {
    const ReadResult r = volume->ReadAt(sector * 2048, buf.span().first(sectors * 2048));
    EXPECT_EQ(r.ok() ? kGood : r.problem->kind, kind) << "sector " << sector << ": " << test::TextOf(r.problem);
  }
  EXPECT_EQ(test::TextOf(volume->ReadAt(6 * 2048, buf.span().first(2048)).problem),
            "m.map marks bytes 12288 to 14335 '?' (never tried)");
  const ReadResult unrescued = volume->ReadAt(2 * 2048, buf.span().first(2048));
  ASSERT_TRUE(unrescued.problem);
  EXPECT_EQ(std::pair(unrescued.problem->kind, unrescued.problem->Text()),
            std::pair(ProblemKind::kUnreadable, std::string("m.map marks bytes 4096 to 8191 '-' (not rescued)")));
  EXPECT_EQ(volume->Size(), 8 * 2048);
}

TEST(RescueMapTest, TheMapfileBesideAnImage) {
  // The image's full name first, then its name without the extension; a
  // folder of a candidate's name is no mapfile.
  const std::pair<std::vector<std::string>, std::string> cases[] = {  // files present, the one found
      {{}, ""},
      {{"d.map"}, "d.map"},
      {{"d.mapfile"}, "d.mapfile"},
      {{"d.map", "d.img.mapfile"}, "d.img.mapfile"},
      {{"d.mapfile", "d.img.map", "d.img.mapfile"}, "d.img.map"},
      {{"d.map/"}, ""},
  };
  for (const auto& [present, found] : cases) {
    const test::TempDir dir;
    for (const std::string& name : present) {
      if (name.ends_with('/')) fs::create_directory(dir.File(name));
      else test::WriteWholeFile(dir.File(name), {});
    }
    EXPECT_EQ(FindMapfileBeside(dir.File("d.img")), found.empty() ? "" : dir.File(found)) << found;
  }
}

// One run asks for each bad sector at most twice, in a batch and alone,
// however many readers meet it: the check (which reads in sectors), each
// record's conversion (records that share units, one in the dump area) and
// the dump, each opening the volume anew. They lose what they lose without
// the memory (whose reason names the failed sector rather than the read).
TEST(FailedReadsTest, EachBadSectorIsAskedForAtMostTwicePerRun) {
  const test::TempDir tmp;
  for (const SourceType type : {SourceType::Tk40, SourceType::ZepV1}) {
    const bool tk40 = type == SourceType::Tk40;
    const std::int64_t dumpUnit = tk40 ? kDumpOffset / kTk40BlockSize - 4 : kDumpOffset / kZepSectorSize;
    DiscImage img(type, static_cast<std::size_t>(kDumpOffset + kDumpSize));
    const auto entry = [&](int first, int count) {
      return EntrySpec{.name = "R", .first = first, .second = tk40 ? first + count : count + 2};
    };
    img.Entry(0, entry(10, 200)).Entry(1, entry(190, 100)).Entry(2, entry(static_cast<int>(dumpUnit + 100), 300));
    // ZEP V1.X copies from a record's third sector on; a TK40 block is two sectors.
    const auto at = [&](std::int64_t u) { return tk40 ? Tk40BlockOffset(u) : ZepSectorOffset(u + 2); };
    const std::int64_t bad[] = {at(50), at(195) + 2048, at(dumpUnit + 150), at(dumpUnit + 151) + 2048};
    const auto run = [&](MemoryVolume& v, const VolumeOpener& open) {
      for (const std::int64_t b : bad) v.FailRange(b, kZepSectorSize);
      RecordDirectory dir{};
      EXPECT_FALSE(ReadRecordDirectory(*open().volume, dir));
      const DiscHealth health = CheckDisc(*open().volume, dir, type);
      std::vector<std::string> said;
      for (int slot = 0; slot < 3; ++slot) {
        const std::string reason = JoinedText(ConvertRecord(type, tmp.File("r.zep"), dir, slot, open).problems);
        said.push_back(reason.substr(0, reason.find(" (first")));
      }
      said.push_back(std::to_string(WriteDumpFile(*open().volume, tmp.File("dump")).unreadablePieces));
      for (const RecordHealth& h : health.records) said.push_back(std::to_string(h.unreadableUnits));
      return said;
    };
    MemoryVolume plain(img.bytes()), remembering(img.bytes());
    plain.KnowSize(MemoryVolume::SizeKnown::FromStart);
    remembering.KnowSize(MemoryVolume::SizeKnown::FromStart);
    SCOPED_TRACE(SourceTypeName(type));
    EXPECT_EQ(run(remembering, OpenRememberingFailures(test::OpenerFor(&remembering))),
              run(plain, test::OpenerFor(&plain)));
    for (const std::int64_t b : bad) {
      const auto asks = std::count_if(remembering.reads().begin(), remembering.reads().end(), [&](const test::ReadCall& c) {
        return c.pos < b + kZepSectorSize && b < c.pos + static_cast<std::int64_t>(c.size);
      });
      EXPECT_EQ(asks, 2) << "sector at byte " << b;
    }
  }
}

// Only the drive's refusals are remembered: a read past the end, or of bytes
// a mapfile marks never tried, asked the drive nothing and is answered afresh.
TEST(FailedReadsTest, OnlyTheDrivesRefusalsAreRemembered) {
  class Failing final : public Volume {
   public:
    explicit Failing(ProblemKind kind) : kind_(kind) {}
    ReadResult ReadAt(std::int64_t, std::span<std::uint8_t>) override {
      ++asks;
      return {0, Problem{"", "failed", 0, kind_}};
    }
    bool IsRemovableMedia() override { return true; }
    const std::string& Name() const override { return name_; }
    int asks = 0;

   private:
    ProblemKind kind_;
    std::string name_ = "v";
  };
  const std::pair<ProblemKind, int> cases[] = {
      {ProblemKind::kUnreadable, 1}, {ProblemKind::kPastEnd, 3}, {ProblemKind::kNotTried, 3}};
  for (const auto& [kind, asks] : cases) {
    auto failing = std::make_unique<Failing>(kind);
    Failing& seen = *failing;
    const std::unique_ptr<Volume> v = RememberingFailures(std::move(failing), std::make_shared<FailedReads>());
    std::vector<std::uint8_t> unit(kZepSectorSize);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(v->ReadAt(2048, unit).problem->kind, kind);
    EXPECT_EQ(seen.asks, asks) << ProblemKindName(kind);
  }
}

// The domain: the directory, each chosen record's units as a conversion reads
// them (none before the volume's start or past its end, a unit the end cuts
// through included) and the dump area, merged where they meet; ddrescue's
// mapfile syntax, read back by our own parser.
TEST(DomainMapTest, WhatAConversionReadsAndNothingElse) {
  DiscImage tk40(SourceType::Tk40);
  tk40.Entry(0, {.name = "A", .first = 0, .second = 4})      // bytes 16384 to 32767
      .Entry(1, {.name = "B", .first = -6, .second = 1})     // 2 of its 7 blocks before the start
      .Entry(2, {.name = "C", .first = 9, .second = 5})      // a negative count: nothing
      .Entry(5, {.name = "D", .first = 2, .second = 3000});  // far past a small volume's end
  DiscImage zep(SourceType::ZepV1);
  zep.Entry(0, {.name = "Z", .first = 1, .second = 10});  // sectors 3 to 10
  const std::int64_t dumpEnd = kDumpOffset + kDumpSize;
  using Blocks = std::vector<std::tuple<std::int64_t, std::int64_t, char>>;
  const struct {
    const DiscImage* img;
    std::int64_t size;
    std::vector<int> slots;
    Blocks blocks;
  } cases[] = {
      {&tk40, 40000, {}, {{0, 40000, '+'}}},
      {&tk40, 40000, {0}, {{0, 2048, '+'}, {2048, 14336, '?'}, {16384, 16384, '+'}, {32768, 40000 - 32768, '?'}}},
      {&tk40, 40000, {2}, {{0, 2048, '+'}, {2048, 40000 - 2048, '?'}}},
      {&tk40, dumpEnd + 4096, {1},
       {{0, 20480, '+'}, {20480, kDumpOffset - 20480, '?'}, {kDumpOffset, kDumpSize, '+'}, {dumpEnd, 4096, '?'}}},
      {&zep, -1, {}, {{0, 2048, '+'}, {2048, 4096, '?'}, {6144, 8 * 2048, '+'}, {22528, kDumpOffset - 22528, '?'},
                      {kDumpOffset, kDumpSize, '+'}}},
  };
  for (const auto& c : cases) {
    const RescueMap map = DomainMap(ConversionAreas(c.img->Directory(), c.img->type(), c.size, c.slots), c.size);
    Blocks blocks;
    for (const RescueBlock& b : map.blocks) blocks.emplace_back(b.pos, b.size, b.status);
    EXPECT_EQ(blocks, c.blocks) << SourceTypeName(c.img->type()) << ", " << c.size << " bytes";
    const RescueMapLoad back = ParseRescueMap(DomainMapText(map, {"a comment"}), "d.map");
    ASSERT_TRUE(back.map) << test::TextOf(back.problem);
    EXPECT_EQ(back.map->blocks.size(), map.blocks.size());
    EXPECT_EQ(back.map->End(), map.End());
  }
}

}  // namespace
}  // namespace zep
