#include "operations/records.h"

#include <algorithm>
#include <set>

namespace zep {
namespace {

std::string ListOf(const std::vector<int>& numbers) {
  std::string text;
  for (int n : numbers) text += (text.empty() ? "" : ", ") + std::to_string(n);
  return text;
}

}  // namespace

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

}  // namespace zep
