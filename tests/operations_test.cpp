// The disc commands' library gives each fault its kind where it arises, in
// the words zepconv then shows; and a tally adds discs of both recorders in
// one unit.

#include <gtest/gtest.h>

#include <functional>

#include "disc/text_file.h"
#include "operations/disc_tally.h"
#include "operations/domain_plan.h"
#include "operations/dump_map.h"
#include "operations/scanned_disc.h"
#include "tests/cli_run.h"
#include "tests/support/disc_image.h"
#include "tests/support/temp_dir.h"

namespace zep {
namespace {

// Records 1 (blocks 0-1) and 2 (blocks 2-3), ending long before the dump area.
std::string TwoRecordDisc(const test::TempDir& tmp) {
  test::DiscImage img(SourceType::Tk40, 16384 + 4 * 4096);
  img.Entry(0, {.name = "ONE", .first = 0, .second = 2}).Entry(1, {.name = "TWO", .first = 2, .second = 4});
  img.WriteFile(tmp.File("two.img"));
  return tmp.File("two.img");
}

DiscSource Opened(const std::string& image) {
  SourceOpen opened = OpenSource(image, {});
  if (!opened.disc) throw std::runtime_error(image + " did not open");
  return std::move(*opened.disc);
}

TEST(OperationsTest, EachRefusalHasTheKindOfItsFault) {
  test::TempDir tmp;
  const std::string disc = TwoRecordDisc(tmp), blocker = test::WriteWholeFile(tmp.File("blocker"), {1});
  const struct {
    const char* what;
    std::function<std::optional<Problem>()> run;
    ProblemKind kind;
    std::string text;                // its start
    std::vector<std::string> face;   // the zepconv command that meets it, status 2, saying the same
  } cases[] = {
      {"a volume that ends before the dump area",
       [&] { return DumpDisc(*ScanOpenedDisc(Opened(disc)).disc, tmp.File("d.bin"), {}).refused; },
       ProblemKind::kPastEnd, disc + ": the volume ends at byte 32768, before the dump area (bytes 39725056 to ",
       {"dump", disc, "-o", tmp.File("d.bin")}},
      {"a record number the directory does not list",
       [&] { return PlanDomain(Opened(disc), {}, {2, 9}).choiceProblem; }, ProblemKind::kUsage,
       disc + ": no record 9 (its records: 1, 2)", {"domain", disc, "-o", tmp.File("m"), "--record", "2,9"}},
      {"a folder where a file is", [&] { return MakeFolder(blocker); }, ProblemKind::kWriteFailed,
       blocker + ": cannot create the folder: ", {"convert", disc, "-o", blocker}},
      {"a split into a folder that cannot be made",
       [&] { return SplitDump(disc, blocker + "/out", "", {}).refused; }, ProblemKind::kWriteFailed,
       blocker + "/out: cannot create the folder: ", {"split", disc, "-o", blocker + "/out"}},
      {"a text whose file is kept", [&] { return WriteTextFile(blocker, "x", {.noClobber = true}); },
       ProblemKind::kKeptExisting, blocker, {"domain", disc, "-o", blocker, "--no-clobber"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::optional<Problem> p = c.run();
    ASSERT_TRUE(p.has_value());
    EXPECT_EQ(p->kind, c.kind);
    EXPECT_TRUE(p->Text().starts_with(c.text)) << p->Text();
    const test::ToolRun run = test::RunZepconv(c.face);
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(run.err.find("zepconv: " + p->Text()) != std::string::npos) << run.err;
  }
  // Nothing was made of what was refused.
  EXPECT_FALSE(std::filesystem::exists(tmp.File("d.bin")));
  EXPECT_EQ(test::ReadWholeFile(blocker), std::vector<std::uint8_t>{1});
}

// A TK40 block is two 2048-byte sectors: a total over discs of both kinds
// adds like to like.
TEST(OperationsTest, TalliesCountSectorsWhicheverRecorder) {
  RecordConversion tk40, zep;
  tk40.result.failedUnits = 3, tk40.result.skippedUnits = 1, tk40.result.beyondEndUnits = 5;
  zep.result.failedUnits = 3, zep.result.notTriedUnits = 1, zep.result.beyondEndUnits = 5;
  const struct {
    SourceType type;
    const RecordConversion& c;
    std::int64_t lost, pastEnd, notTried;
  } cases[] = {
      {SourceType::Tk40, tk40, 8, 10, 0},
      {SourceType::ZepV1, zep, 2, 5, 1},
  };
  DiscTally total;
  for (const auto& c : cases) {
    const DiscTally t = TallyOfConversion(c.type, c.c);
    EXPECT_EQ(t.lost, c.lost);
    EXPECT_EQ(t.pastEnd, c.pastEnd);
    EXPECT_EQ(t.notTried, c.notTried);
    total.Add(t);
  }
  EXPECT_EQ(total.lost, 10);
  EXPECT_EQ(total.pastEnd, 15);
}

}  // namespace
}  // namespace zep
