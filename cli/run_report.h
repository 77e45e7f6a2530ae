#pragma once
// --json for the commands that write files (convert, dump, split): one object
// on stdout, {"files": [...], "failures": [{"reason": ...}]}, with what was
// written and what was not, so that scripts need not read stderr. The
// failures are the problems the command reported, the very values it named
// on stderr.

#include <nlohmann/json.hpp>

#include "cli/commands.h"

namespace zep::cli {

// A --json command's one document: on out, or, with several discs, into the
// run's document (Console::document).
void WriteJson(Console& con, const nlohmann::ordered_json& doc);

// Writes the object when the console asks for JSON, however the command ends.
class RunReport {
 public:
  explicit RunReport(Console& con) : con_(con) {}
  ~RunReport();
  RunReport(const RunReport&) = delete;
  RunReport& operator=(const RunReport&) = delete;

  void Wrote(nlohmann::ordered_json file) { files_.push_back(std::move(file)); }

 private:
  Console& con_;
  nlohmann::ordered_json files_ = nlohmann::ordered_json::array();
};

}  // namespace zep::cli
