#include "disc/problem.h"

#include <array>
#include <utility>

namespace zep {
namespace {

// Every kind with its name; a kind added to ProblemKind is added here, or a
// saved state could not keep it.
constexpr std::array<std::pair<ProblemKind, const char*>, 15> kKindNames = {{
    {ProblemKind::kOther, "other"},
    {ProblemKind::kUnreadable, "unreadable"},
    {ProblemKind::kPastEnd, "past end"},
    {ProblemKind::kKeptExisting, "kept existing"},
    {ProblemKind::kWriteFailed, "write failed"},
    {ProblemKind::kNotRecordFile, "not a record file"},
    {ProblemKind::kNotADisc, "not a disc"},
    {ProblemKind::kNoDisc, "no disc"},
    {ProblemKind::kNoDirectory, "no directory"},
    {ProblemKind::kInterrupted, "interrupted"},
    {ProblemKind::kUsage, "usage"},
    {ProblemKind::kMissing, "missing"},
    {ProblemKind::kBug, "bug"},
    {ProblemKind::kNotTried, "not tried"},
    {ProblemKind::kRecordFileAsDisc, "record file as disc"},
}};

// Names an earlier zepconv kept for kinds that no code told apart and that
// are gone, with the kind each is read as now. "no mode": TK40 blocks read
// whole whose mode code has no mode.
constexpr std::array<std::pair<ProblemKind, const char*>, 1> kFormerNames = {{
    {ProblemKind::kOther, "no mode"},
}};

}  // namespace

const char* ProblemKindName(ProblemKind kind) {
  for (const auto& [k, name] : kKindNames) {
    if (k == kind) return name;
  }
  return "other";
}

std::optional<ProblemKind> ProblemKindNamed(std::string_view name) {
  for (const auto& [k, n] : kKindNames) {
    if (name == n) return k;
  }
  for (const auto& [k, n] : kFormerNames) {
    if (name == n) return k;
  }
  return std::nullopt;
}

}  // namespace zep
