#include "disc/problem.h"

namespace zep {

const char* ProblemKindName(ProblemKind kind) {
  switch (kind) {
    case ProblemKind::kOther: return "other";
    case ProblemKind::kUnreadable: return "unreadable";
    case ProblemKind::kPastEnd: return "past end";
    case ProblemKind::kKeptExisting: return "kept existing";
    case ProblemKind::kWriteFailed: return "write failed";
    case ProblemKind::kNotRecordFile: return "not a record file";
    case ProblemKind::kNotADisc: return "not a disc";
    case ProblemKind::kNoDirectory: return "no directory";
    case ProblemKind::kInterrupted: return "interrupted";
    case ProblemKind::kUsage: return "usage";
    case ProblemKind::kMissing: return "missing";
    case ProblemKind::kNoMode: return "no mode";
    case ProblemKind::kBug: return "bug";
    case ProblemKind::kNotTried: return "not tried";
    case ProblemKind::kRecordFileAsDisc: return "record file as disc";
  }
  return "?";
}

std::optional<ProblemKind> ProblemKindNamed(std::string_view name) {
  for (int k = 0; k <= static_cast<int>(ProblemKind::kRecordFileAsDisc); ++k) {
    if (name == ProblemKindName(static_cast<ProblemKind>(k))) return static_cast<ProblemKind>(k);
  }
  return std::nullopt;
}

}  // namespace zep
