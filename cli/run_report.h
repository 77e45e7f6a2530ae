#pragma once
// --json for the commands that write files (convert, dump, split): one object
// on stdout, {"files": [...], "failures": [{"reason": ...}]}, with what was
// written and what was not, so that scripts need not read stderr. The
// failures are the messages the command writes to stderr, taken as they pass,
// so the object can name nothing less than stderr does.

#include <streambuf>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/commands.h"

namespace zep::cli {

// Forwards everything to another stream's buffer and keeps each whole line
// that opens with "zepconv: ", without that prefix. A carriage return (the
// progress bar's) starts the line afresh.
class ProblemLog : public std::streambuf {
 public:
  explicit ProblemLog(std::ostream& target) : target_(*target.rdbuf()) {}
  const std::vector<std::string>& lines() const { return lines_; }

 protected:
  int_type overflow(int_type c) override;
  int sync() override { return target_.pubsync(); }

 private:
  std::streambuf& target_;
  std::string line_;
  std::vector<std::string> lines_;
};

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
