#include "operations/domain_plan.h"

#include "disc/scan.h"
#include "operations/records.h"

namespace zep {

DomainPlan PlanDomain(const DiscSource& disc, const TypeChoice& choice, const std::vector<int>& numbers) {
  DomainPlan plan;
  plan.directoryProblem = ReadRecordDirectory(*disc.volume, plan.dir);
  if (plan.directoryProblem) return plan;
  plan.settled = SettleDiscType(disc.source, disc.opener, plan.dir, choice);
  if (plan.settled.refused) return plan;
  // A mistyped number leaves no map that quietly lacks it.
  RecordChoice chosen = ChooseRecords(disc.source, plan.dir, numbers);
  plan.choiceProblem = std::move(chosen.problem);
  if (plan.choiceProblem) return plan;
  plan.areas = ConversionAreas(plan.dir, plan.settled.type, disc.size, chosen.slots);
  plan.map = DomainMap(plan.areas, disc.size);
  return plan;
}

}  // namespace zep
