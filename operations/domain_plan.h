#pragma once
// The bytes a conversion of a disc's chosen records reads, as a GNU ddrescue
// domain mapfile would hold them, so that a rescue of a damaged disc reads
// those and nothing else.

#include <optional>
#include <vector>

#include "disc/disc_source.h"
#include "disc/domain_map.h"
#include "disc/rescue_map.h"
#include "operations/source.h"

namespace zep {

// Each step may stop the plan: a directory that does not read (without it
// there is no telling which bytes matter), a type refused, a record number
// not listed. The areas and the map are made only when none does.
struct DomainPlan {
  std::optional<Problem> directoryProblem;
  SettledType settled;
  std::optional<Problem> choiceProblem;  // kUsage
  RecordDirectory dir{};
  std::vector<DomainArea> areas;
  RescueMap map;
};

DomainPlan PlanDomain(const DiscSource& disc, const TypeChoice& choice, const std::vector<int>& numbers);

}  // namespace zep
