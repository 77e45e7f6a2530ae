#include "disc/count_text.h"

namespace zep {

std::string Counted(std::int64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string Counted(std::int64_t n, const std::string& one) {
  return std::to_string(n) + " " + one + (n == 1 ? "" : "s");
}

std::string RunList(const std::vector<UnitRun>& runs, const char* between) {
  std::string text;
  for (const UnitRun& r : runs) {
    if (!text.empty()) text += ", ";
    text += std::to_string(r.first);
    if (r.count > 1) text += (r.first < 0 ? " to " : between) + std::to_string(r.first + r.count - 1);
  }
  return text;
}

}  // namespace zep
