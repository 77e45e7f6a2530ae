#include "cli/console.h"

#include <algorithm>
#include <stdexcept>

namespace zep {

int ExitCode(Outcome outcome) {
  switch (outcome) {
    case Outcome::kDone: return 0;
    case Outcome::kPartly: return 1;
    case Outcome::kRefused: return 2;
    case Outcome::kBug: break;
  }
  return 3;
}

void PrintProblem(std::ostream& err, const Problem& problem) {
  err << "zepconv: " << (problem.bug() ? "internal error (a bug in zepconv, please report it): " : "")
      << problem.Text() << '\n';
}

Problem Console::Named(Problem problem) const {
  if (about.empty() || problem.subject == about) return problem;
  problem.subject = problem.subject.empty() ? about : about + ": " + problem.subject;
  return problem;
}

void Console::Report(Problem problem) {
  problem = Named(std::move(problem));
  if (problem.kind == ProblemKind::kRecordFileAsDisc) {
    problem.what += "; `zepconv info`, `pings`, `track`, `echogram` and `netcdf` read record files";
  }
  PrintProblem(err, problem);
  problems.push_back(std::move(problem));
}

Outcome Console::Run(const std::function<Outcome()>& command) {
  try {
    const Outcome status = command();
    return SawBug() ? kBug : status;
  } catch (const std::logic_error& e) {
    // Not something the disc or the files did.
    Report({"", e.what(), 0, ProblemKind::kBug});
    return kBug;
  } catch (const std::exception& e) {
    // Whatever was written before stays; the command did not finish.
    Report({"", e.what(), 0, ProblemKind::kOther});
    return kPartly;
  }
}

bool Console::SawBug() const {
  return std::any_of(problems.begin(), problems.end(), [](const Problem& p) { return p.bug(); });
}

}  // namespace zep
