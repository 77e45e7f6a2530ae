// One sweep of a disc against what the separate operations give on the sample
// discs: the health the check gives, the files the conversions write, the
// carve of the scan dump area, every byte of the image once, and a drive
// asked for each bad unit at most twice.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>

#include "convert/carve.h"
#include "convert/disc_check.h"
#include "convert/disc_sweep.h"
#include "convert/record_file.h"
#include "disc/failed_reads.h"
#include "disc/rescue_map.h"
#include "disc/scan.h"
#include "operations/convert_records.h"
#include "tests/cli_run.h"
#include "tests/support/record_check.h"

namespace zep {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Counts what reaches the volume under it: every read, and how often each
// 2048-byte sector was asked for.
class Counting final : public Volume {
 public:
  explicit Counting(std::unique_ptr<Volume> v, std::map<std::int64_t, int>& asks) : v_(std::move(v)), asks_(asks) {}
  ReadResult ReadAt(std::int64_t pos, std::span<std::uint8_t> buf) override {
    for (std::int64_t s = pos / kZepSectorSize; s * kZepSectorSize < pos + std::ssize(buf); ++s) ++asks_[s];
    return v_->ReadAt(pos, buf);
  }
  bool IsRemovableMedia() override { return true; }
  const std::string& Name() const override { return v_->Name(); }
  std::int64_t Size() const override { return v_->Size(); }

 private:
  std::unique_ptr<Volume> v_;
  std::map<std::int64_t, int>& asks_;
};

std::string Describe(const RecordHealth& h) {
  std::ostringstream s;
  s << "slot " << h.slot << " count " << h.directoryCount << " first " << h.firstUnit << " units " << h.units
    << " whole " << h.wholeUnits << " unreadable " << h.unreadableUnits << " in";
  for (const UnitRun& r : h.unreadable) s << ' ' << r.first << '+' << r.count;
  s << " beyond " << h.beyondEnd << " noMode " << h.noMode << " found " << h.pingsFound << " runs";
  for (std::uint64_t r : h.walkRuns) s << ' ' << r;
  s << " breaks " << h.walkBreaksAt.value_or(0) << " stops " << h.walkStopsAt.value_or(0) << " pings " << h.pings
    << " unreadPings " << h.unreadPings << " missing";
  for (const UnitRun& r : h.missing) s << ' ' << r.first << '+' << r.count;
  return s.str() + " " + VerdictName(h.verdict);
}

std::string Describe(const AreaHealth& a) {
  return std::to_string(a.pieces) + " " + std::to_string(a.unreadable) + " " + std::to_string(a.beyondEnd);
}

struct SampleDisc {
  const char* name;
  std::vector<std::string> make;
  SourceType type;
  bool damaged;  // a mapfile beside it marks sectors lost; one entry runs far past the end
};

const SampleDisc kDiscs[] = {
    {"tk40", {}, SourceType::Tk40, false},
    {"zep", {"--type", "zep", "--dump-runs"}, SourceType::ZepV1, false},
    {"tk40-damaged", {"--damaged"}, SourceType::Tk40, true},
    {"zep-damaged", {"--type", "zep", "--dump-runs", "--damaged"}, SourceType::ZepV1, true},
};
// Discs whose directory is lost: only a carve finds their records.
const SampleDisc kLostDirectory[] = {
    {"tk40-lost", {"--zero-directory"}, SourceType::Tk40, false},
    {"zep-lost", {"--type", "zep", "--dump-runs", "--zero-directory"}, SourceType::ZepV1, false},
};

class SweepTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    tmp_ = new test::TempDir;
    std::vector<SampleDisc> all(std::begin(kDiscs), std::end(kDiscs));
    all.insert(all.end(), std::begin(kLostDirectory), std::end(kLostDirectory));
    for (const SampleDisc& d : all) {
      std::vector<std::string> args{MAKE_SAMPLE_DISC_PATH};
      args.insert(args.end(), d.make.begin(), d.make.end());
      args.push_back(Image(d));
      ASSERT_EQ(test::RunProcess(args, tmp_->File("make.out"), tmp_->File("make.err")), 0) << d.name;
    }
  }
  static void TearDownTestSuite() { delete std::exchange(tmp_, nullptr); }

  static std::string Image(const SampleDisc& d) { return tmp_->File(std::string(d.name) + ".img"); }
  static std::string Folder(const SampleDisc& d, const std::string& what) {
    const std::string path = tmp_->File(std::string(d.name) + "-" + what);
    std::filesystem::create_directories(path);
    return path;
  }
  // The disc as a drive would give it: the image under its mapfile, reads counted.
  static std::unique_ptr<Volume> Open(const SampleDisc& d, std::map<std::int64_t, int>* asks = nullptr) {
    std::unique_ptr<Volume> v = OpenDiscVolume(Image(d)).volume;
    if (d.damaged) {
      auto map = std::make_shared<const RescueMap>(*LoadRescueMap(FindMapfileBeside(Image(d))).map);
      v = VolumeUnderMap(std::move(v), map);
    }
    if (asks) v = std::make_unique<Counting>(std::move(v), *asks);
    return v;
  }
  static VolumeOpener Opener(const SampleDisc& d) {
    return [&d] { return VolumeOpenResult{Open(d), {}}; };
  }
  static RecordDirectory Directory(const SampleDisc& d) {
    RecordDirectory dir{};
    EXPECT_FALSE(ReadRecordDirectory(*Open(d), dir));
    return dir;
  }

  static test::TempDir* tmp_;
};
test::TempDir* SweepTest::tmp_ = nullptr;

// Compares what the sweep gives as the volume's bytes with the image file,
// piece by piece: every byte in order, but for those the map marks lost.
struct ImageComparer {
  ImageComparer(const std::string& path, std::vector<RescueBlock> lost) : in(path, std::ios::binary), lost(std::move(lost)) {}
  void operator()(std::span<const std::uint8_t> bytes) {
    for (const RescueBlock& b : lost) {
      if (b.pos == pos) pos += b.size;
    }
    Bytes expected(bytes.size());
    in.seekg(pos);
    in.read(reinterpret_cast<char*>(expected.data()), std::ssize(expected));
    same = same && in.gcount() == std::ssize(bytes) && std::equal(bytes.begin(), bytes.end(), expected.begin());
    pos += std::ssize(bytes);
    given += bytes.size();
  }
  std::ifstream in;
  std::vector<RescueBlock> lost;
  std::int64_t pos = 0;
  bool same = true;
  std::uint64_t given = 0;
};

std::vector<RescueBlock> Lost(const SampleDisc& d, const std::string& image) {
  if (!d.damaged) return {};
  std::vector<RescueBlock> lost = LoadRescueMap(FindMapfileBeside(image)).map->blocks;
  std::erase_if(lost, [](const RescueBlock& b) { return b.status == '+'; });
  return lost;
}

// The sweep's health, record files and dump carve are those of the check,
// the conversions and a carve of the disc; its bytes are the image's, each
// read once from a disc whose records do not overlap.
TEST_F(SweepTest, GivesWhatCheckConvertAndCarveGive) {
  for (const SampleDisc& d : kDiscs) {
    SCOPED_TRACE(d.name);
    const RecordDirectory dir = Directory(d);
    const DiscHealth check = CheckDisc(*Open(d), dir, d.type);
    const std::string swept = Folder(d, "sweep"), plain = Folder(d, "plain");
    auto image = std::make_shared<ImageComparer>(Image(d), Lost(d, Image(d)));
    SweepOptions options;
    options.target = [&](int slot) { return std::optional<OutputTarget>(swept + "/" + std::to_string(slot) + ".zep"); };
    options.onVolumeBytes = [image](std::span<const std::uint8_t> b) { (*image)(b); };
    options.dumpCarveDir = Folder(d, "dump");
    std::vector<std::uint64_t> progress;
    options.progress = [&](std::uint64_t done) { progress.push_back(done); };
    std::map<std::int64_t, int> asks;
    const SweepResult r = SweepDisc(*Open(d, &asks), dir, d.type, options);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));

    ASSERT_EQ(r.records.size(), check.records.size());
    std::vector<ByteRange> written;
    for (std::size_t i = 0; i < r.records.size(); ++i) {
      const SweptRecord& s = r.records[i];
      EXPECT_EQ(Describe(s.health), Describe(check.records[i]));
      const std::string path = plain + "/" + std::to_string(s.slot) + ".zep";
      const ConvertResult c = ConvertRecord(d.type, path, dir, s.slot, Opener(d));
      std::string reason = JoinedText(s.conversion.problems);
      for (std::size_t at; (at = reason.find("-sweep")) != std::string::npos;) reason.replace(at, 6, "-plain");
      EXPECT_EQ(std::tuple(s.conversion.status, reason, s.path.empty()), std::tuple(c.status, JoinedText(c.problems), !c.Converted()));
      if (!c.Converted()) continue;
      EXPECT_EQ(test::ReadWholeFile(s.path), test::ReadWholeFile(path)) << s.path;
      EXPECT_EQ(std::filesystem::exists(UnreadMapPath(s.path)), std::filesystem::exists(UnreadMapPath(path)));
      for (const ByteRange& w : WrittenPings(*Open(d), ExtentOf(dir, s.slot, d.type), d.type)) AddRange(written, w);
    }
    EXPECT_EQ(Describe(r.dump), Describe(check.dump));

    CarveOptions carve;
    carve.outDir = Folder(d, "carve");
    carve.written = written;
    const CarveResult whole = CarveRuns(*Open(d), carve);
    std::vector<std::pair<std::uint64_t, Bytes>> expected, got;
    for (const CarvedFile& f : whole.files) {
      if (f.offset >= static_cast<std::uint64_t>(kDumpOffset)) expected.emplace_back(f.offset, test::ReadWholeFile(f.path));
    }
    for (const CarvedFile& f : r.dumpCarve.files) got.emplace_back(f.offset, test::ReadWholeFile(f.path));
    EXPECT_EQ(got, expected);
    EXPECT_EQ(got.empty(), d.type == SourceType::Tk40);

    const auto size = static_cast<std::uint64_t>(std::filesystem::file_size(Image(d)));
    EXPECT_EQ(std::tuple(r.everyByte, image->same, r.firstUnreadable.has_value(), r.cancelled),
              std::tuple(!d.damaged, true, d.damaged, false));
    std::uint64_t lost = 0;
    for (const RescueBlock& b : image->lost) lost += static_cast<std::uint64_t>(b.size);
    EXPECT_EQ(image->given, size - lost);
    EXPECT_EQ(progress.back(), size);
    // The damaged discs' NIGHT2 runs on through the scan dump area: its bytes
    // are not read again for the area.
    EXPECT_LE(r.bytesRead, size + size / 20);
    if (d.damaged) continue;
    const auto most = std::max_element(asks.begin(), asks.end(), [](auto& a, auto& b) { return a.second < b.second; });
    EXPECT_EQ(most->second, 1) << "sector " << most->first;
  }
}

// A conversion counts its file's pings from the units as it reads them: what
// a walk of the written file finds, damaged records and ones that run past
// the end included, every record from the one volume opened.
TEST_F(SweepTest, AConversionCountsWhatAWalkOfItsFileFinds) {
  for (const SampleDisc& d : kDiscs) {
    SCOPED_TRACE(d.name);
    const RecordDirectory dir = Directory(d);
    const std::string folder = Folder(d, "counted");
    const std::unique_ptr<Volume> volume = Open(d);
    for (int slot = 0; slot < kSlotCount; ++slot) {
      if (!IsRecordSlot(dir, slot)) continue;
      const std::string path = folder + "/" + std::to_string(slot) + ".zep";
      const RecordConversion c = ConvertOpenRecord(*volume, d.type, dir, slot, path);
      ASSERT_TRUE(c.result.Converted()) << slot;
      const RecordWalk walk = WalkRecordFile(path);
      EXPECT_EQ(std::tuple(c.pings, c.unreadPings, c.missingPings),
                std::tuple(walk.pings, walk.unreadPings, walk.MissingPings())) << "slot " << slot;
      EXPECT_GT(c.pings, 0u);
    }
  }
}

// A sweep stopped on the way says so, gives no image hash and carves nothing:
// stopped before the first record, inside the gaps, and before the dump area.
TEST_F(SweepTest, StopsWhenCancelled) {
  const SampleDisc& d = kDiscs[1];
  for (const int polls : {0, 3, 7}) {
    SCOPED_TRACE(polls);
    int asked = 0;
    SweepOptions options;
    options.dumpCarveDir = Folder(d, "cancelled");
    options.cancelled = [&] { return asked++ >= polls; };
    const SweepResult r = SweepDisc(*Open(d), Directory(d), d.type, options);
    EXPECT_EQ(std::tuple(r.cancelled, r.everyByte, r.dumpCarve.files.size()), std::tuple(true, false, 0u));
    EXPECT_LT(r.bytesRead, std::filesystem::file_size(Image(d)));
    EXPECT_LT(r.records.size(), 5u);
  }
}

// A drive asked for a bad unit: once in a batch and once alone, where the
// records the unit lies in do not overlap; with the run's memory of failed
// reads, also where they do (the damaged discs' last entry runs over the
// rest of the disc).
TEST_F(SweepTest, AsksForEachBadUnitAtMostTwice) {
  for (const SampleDisc& d : kDiscs) {
    if (!d.damaged) continue;
    for (const bool remember : {false, true}) {
      SCOPED_TRACE(std::string(d.name) + (remember ? ", failed reads remembered" : ""));
      std::map<std::int64_t, int> asks;
      std::unique_ptr<Volume> v = Open(d, &asks);
      if (remember) v = RememberingFailures(std::move(v), std::make_shared<FailedReads>());
      SweepOptions options;
      options.dumpCarveDir = Folder(d, "dump-twice");
      options.target = [&](int slot) {
        return std::optional<OutputTarget>(Folder(d, "twice") + "/" + std::to_string(slot) + ".zep");
      };
      const SweepResult r = SweepDisc(*v, Directory(d), d.type, options);
      EXPECT_TRUE(r.firstUnreadable.has_value());
      int bad = 0;
      for (const RescueBlock& b : Lost(d, Image(d))) {
        for (std::int64_t s = b.pos / kZepSectorSize; s * kZepSectorSize < b.pos + b.size; ++s, ++bad) {
          EXPECT_LE(asks[s], 2) << "sector " << s;
          EXPECT_GE(asks[s], 1) << "sector " << s;
        }
      }
      EXPECT_GT(bad, 0);
    }
  }
}

// The carve of a disc without its directory gives the files a carve gives,
// and the image's bytes once, in order; both searches share one read, so
// no sector is asked for twice.
TEST_F(SweepTest, CarveOfALostDirectoryGivesTheImageOnce) {
  const struct {
    const SampleDisc& disc;
    std::optional<SourceType> type;
    int mostAsks;
  } cases[] = {
      {kLostDirectory[0], SourceType::Tk40, 1},
      {kLostDirectory[0], std::nullopt, 1},
      {kLostDirectory[1], SourceType::ZepV1, 1},
      {kLostDirectory[1], std::nullopt, 1},
  };
  for (const auto& c : cases) {
    const SampleDisc& d = c.disc;
    SCOPED_TRACE(std::string(d.name) + (c.type ? "" : ", either type"));
    const auto carve = [&](const std::string& folder) {
      CarveOptions o;
      o.outDir = Folder(d, folder);
      o.type = c.type;
      return o;
    };
    const CarveResult expected = CarveRuns(*Open(d), carve("carve"));
    ImageComparer image(Image(d), {});
    std::map<std::int64_t, int> asks;
    bool everyByte = false;
    const CarveResult r = SweepCarve(*Open(d, &asks), carve("sweep"), std::ref(image), everyByte);
    ASSERT_EQ(r.files.size(), expected.files.size());
    EXPECT_GT(r.files.size(), 0u);
    for (std::size_t i = 0; i < r.files.size(); ++i) {
      EXPECT_EQ(std::pair(r.files[i].offset, test::ReadWholeFile(r.files[i].path)),
                std::pair(expected.files[i].offset, test::ReadWholeFile(expected.files[i].path)));
    }
    EXPECT_EQ(std::tuple(everyByte, image.same, image.given),
              std::tuple(true, true, static_cast<std::uint64_t>(std::filesystem::file_size(Image(d)))));
    const auto most = std::max_element(asks.begin(), asks.end(), [](auto& a, auto& b) { return a.second < b.second; });
    EXPECT_LE(most->second, c.mostAsks) << "sector " << most->first;
  }
}

}  // namespace
}  // namespace zep
