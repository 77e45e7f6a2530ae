#include "operations/records.h"

#include <algorithm>
#include <charconv>
#include <set>

#include "disc/scan.h"

namespace zep {
namespace {

std::string ListOf(const std::vector<int>& numbers) {
  std::string text;
  for (int n : numbers) text += (text.empty() ? "" : ", ") + std::to_string(n);
  return text;
}

}  // namespace

std::optional<std::pair<int, int>> NumberRange(const std::string& text) {
  const std::size_t dash = text.find('-', 1);
  const std::string first = text.substr(0, dash), last = dash == std::string::npos ? first : text.substr(dash + 1);
  int a = 0, b = 0;
  for (auto [part, value] : {std::pair{&first, &a}, std::pair{&last, &b}}) {
    const char* end = part->data() + part->size();
    const auto [stop, ec] = std::from_chars(part->data(), end, *value);
    if (part->empty() || stop != end || ec != std::errc()) return std::nullopt;
  }
  return std::pair{a, b};
}

std::vector<int> ExpandRanges(const std::vector<std::string>& texts) {
  std::vector<int> numbers;
  for (const std::string& text : texts) {
    if (const auto range = NumberRange(text))
      for (int n = range->first; n <= range->second; ++n) numbers.push_back(n);
  }
  return numbers;
}

RecordChoice ChooseRecords(const std::string& source, const RecordDirectory& dir, const std::vector<int>& numbers) {
  std::vector<int> listed;
  for (int slot = 0; slot < kSlotCount; ++slot)
    if (IsRecordSlot(dir, slot)) listed.push_back(slot + 1);
  RecordChoice choice;
  const std::set<int> wanted(numbers.begin(), numbers.end());
  std::vector<int> missing;
  for (int n : wanted) (std::binary_search(listed.begin(), listed.end(), n) ? choice.slots : missing).push_back(n - 1);
  if (numbers.empty()) {
    for (int n : listed) choice.slots.push_back(n - 1);
  }
  if (missing.empty()) return choice;
  for (int& slot : missing) slot += 1;
  choice.problem = Problem{source,
                           "no record " + ListOf(missing) + " (its records: " +
                               (listed.empty() ? std::string("none") : ListOf(listed)) + ")",
                           0, ProblemKind::kUsage};
  choice.slots.clear();
  return choice;
}

CarvePlan PlanCarve(Volume& volume, const RecordDirectory& dir, const CarveBasis& basis) {
  const bool untold = !basis.typeGiven && (basis.kind == DiscKind::Unknown || basis.kind == DiscKind::Blank);
  CarvePlan plan;
  plan.type = untold ? std::nullopt : std::optional(basis.type);
  if (basis.keepAll || !basis.directoryRead) {
    plan.kept = basis.keepAll ? KeptWhole::kAsked : KeptWhole::kDirectoryUnread;
    return plan;
  }
  if (untold) {
    if (basis.kind == DiscKind::Unknown) plan.kept = KeptWhole::kNothingToTrust;
    return plan;
  }
  for (int slot = 0; slot < kSlotCount; ++slot) {
    if (!IsRecordSlot(dir, slot)) continue;
    for (const ByteRange& r : WrittenPings(volume, ExtentOf(dir, slot, basis.type), basis.type)) AddRange(plan.written, r);
  }
  return plan;
}

Problem NoRunsFound(const std::string& subject) {
  return {subject, "no runs of ping records found", 0, ProblemKind::kOther};
}

bool IsScanDump(const DiscSource& disc) { return disc.size == kDumpSize; }

CarveStart StartCarve(const DiscSource& disc, const TypeChoice& choice, bool keepAll) {
  CarveStart start;
  if (IsScanDump(disc)) {
    start.scanDump = true;
    start.plan.emplace();
    start.plan->type = SourceType::ZepV1;
    return start;
  }
  RecordDirectory dir{};
  start.directoryProblem = ReadRecordDirectory(*disc.volume, dir);
  TypeChoice settling = choice;
  settling.refuseUnknown = false;
  settling.directoryRead = !start.directoryProblem;
  start.settled = SettleDiscType(disc.source, disc.opener, dir, settling);
  if (start.settled.refused) return start;
  start.plan = PlanCarve(*disc.volume, dir,
                         {start.settled.type, choice.given.has_value(), start.settled.evidence.kind,
                          !start.directoryProblem, keepAll});
  return start;
}

}  // namespace zep
