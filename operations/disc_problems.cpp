#include "operations/disc_problems.h"

#include <vector>

#include "convert/conversion_start.h"
#include "disc/count_text.h"
#include "disc/record_names.h"

namespace zep {
namespace {

std::string Ranges(const std::vector<UnitRun>& runs) { return RunList(runs, "-"); }

// ": 3 blocks unreadable (12-14), 1 ping with unread samples": what a
// damaged record loses, each only where there is some.
std::string Losses(const RecordHealth& h, SourceType type) {
  const std::string unit = type == SourceType::Tk40 ? "block" : "sector";
  std::vector<std::string> parts;
  if (h.unreadableUnits > 0) {
    const std::string notTried = std::to_string(h.notTriedUnits) + " of them never tried by GNU ddrescue";
    parts.push_back(Counted(h.unreadableUnits, unit) + " unreadable (" + Ranges(h.unreadable) + ")" +
                    (h.notTriedUnits > 0 ? ", " + notTried : ""));
  }
  if (h.beyondEnd > 0) parts.push_back(Counted(h.beyondEnd, unit) + " past the end of the volume");
  if (h.noMode > 0) parts.push_back(Counted(h.noMode, "block") + " whose mode code has no mode");
  if (h.unreadPings > 0) parts.push_back(Counted(static_cast<std::int64_t>(h.unreadPings), "ping") + " with unread samples");
  if (!h.missing.empty()) {
    parts.push_back((h.MissingPings() == 1 ? "ping " : "pings ") + Ranges(h.missing) + " missing");
  }
  if (h.walkBreaksAt) {
    const std::size_t holes = h.walkRuns.size() - 1;
    parts.push_back("the ping walk breaks at byte " + std::to_string(*h.walkBreaksAt) +
                    (holes > 0 ? " (" + Counted(static_cast<std::int64_t>(holes), "hole") + " passed over)" : ""));
  }
  std::string text;
  for (const std::string& p : parts) text += (text.empty() ? ": " : ", ") + p;
  return text;
}

}  // namespace

Problem PastEndProblem(const ScannedDisc& disc, SourceType type, const RecordPastEnd& r, std::string_view shownName) {
  const bool tk40 = type == SourceType::Tk40;
  const char* unit = tk40 ? (r.count == 1 ? " block" : " blocks") : (r.count == 1 ? " sector" : " sectors");
  // The Sectors cell counts the 2 sectors a ZEP V1.X record starts with, which are never copied.
  const std::string copied =
      tk40 ? "" : " to copy (the " + std::to_string(r.listed) + " listed less the first 2, never copied)";
  return {RecordSubject(r.slot + 1, shownName),
          std::to_string(r.past) + " of " + std::to_string(r.count) + unit + copied + " lie " +
              PastEndOf(disc.source, disc.size),
          r.past, ProblemKind::kPastEnd};
}

std::optional<Problem> ConversionProblem(const RecordConversion& c, int slot, std::string_view shownName) {
  const ConvertResult& r = c.result;
  if (r.status == ConvertStatus::Done) return std::nullopt;
  const bool removed = r.status == ConvertStatus::WriteFailed;
  return Problem{RecordSubject(slot + 1, shownName),
                 JoinedText(r.problems) + (removed ? " (the unfinished file was removed)" : ""), 0, r.Kind()};
}

std::optional<Problem> DumpProblem(const std::string& source, const DumpReport& dump) {
  if (!dump.written) {
    Problem problem = dump.problem.value_or(Problem{});
    problem.what += "; the dump was not written";
    return problem;
  }
  if (dump.unreadablePieces == 0) return std::nullopt;
  return Problem{source,
                 std::to_string(dump.unreadablePieces) + " of " + std::to_string(kDumpPieces) +
                     " pieces could not be read (or lie past its end) and were written as zeros" +
                     (dump.mapfile.empty() ? "" : ", named in " + dump.mapfile),
                 dump.unreadablePieces, ProblemKind::kUnreadable};
}

std::optional<Problem> RecordHealthProblem(const RecordHealth& h, SourceType type, std::string_view shownName) {
  if (h.verdict != Verdict::Damaged && h.verdict != Verdict::BeyondEnd) return std::nullopt;
  return Problem{RecordSubject(h.slot + 1, shownName), VerdictName(h.verdict) + Losses(h, type),
                 h.unreadableUnits + h.beyondEnd,
                 h.verdict == Verdict::BeyondEnd ? ProblemKind::kPastEnd : ProblemKind::kUnreadable};
}

}  // namespace zep
