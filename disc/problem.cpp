#include "disc/problem.h"

#include <array>
#include <utility>

namespace zep {
namespace {

// Every kind with its name; a kind added to ProblemKind is added here, or a
// saved state could not keep it.
constexpr std::array<std::pair<ProblemKind, const char*>, 16> kKindNames = {{
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
    {ProblemKind::kNoMode, "no mode"},
    {ProblemKind::kBug, "bug"},
    {ProblemKind::kNotTried, "not tried"},
    {ProblemKind::kRecordFileAsDisc, "record file as disc"},
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
  return std::nullopt;
}

}  // namespace zep
