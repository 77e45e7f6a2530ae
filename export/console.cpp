#include "export/console.h"

#include <algorithm>

namespace zep {

void PrintProblem(std::ostream& err, const Problem& problem) {
  err << "zepconv: " << (problem.bug ? "internal error (a bug in zepconv, please report it): " : "")
      << problem.Text() << '\n';
}

void Console::Report(Problem problem) {
  PrintProblem(err, problem);
  problems.push_back(std::move(problem));
}

bool Console::SawBug() const {
  return std::any_of(problems.begin(), problems.end(), [](const Problem& p) { return p.bug; });
}

}  // namespace zep
