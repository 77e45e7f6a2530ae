#include "cli/run_report.h"

#include <algorithm>
#include <ostream>

#include "cli/text.h"

namespace zep::cli {

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

RunReport::~RunReport() {
  if (!con_.json) return;
  nlohmann::ordered_json doc;
  doc["files"] = files_;
  doc["failures"] = nlohmann::ordered_json::array();
  for (const Problem& p : con_.problems) doc["failures"].push_back({{"reason", p.Text()}});
  con_.out << doc.dump(2, ' ', false, kReplaceInvalid) << '\n';
}

}  // namespace zep::cli
