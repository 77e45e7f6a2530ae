#pragma once
// Where a command sends its results and its problems, and the exit statuses
// it returns: a problem becomes a line in this one place, and an export's
// outcome a status.

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "disc/problem.h"
#include "export/sink.h"

namespace zep {

// A command's status is an Outcome: kDone, kPartly, kRefused (a usage error,
// or a source that cannot be read at all), kBug.
using enum Outcome;


// The one place a problem becomes a line: "zepconv: SUBJECT: what".
void PrintProblem(std::ostream& err, const Problem& problem);

// The exit status of a run: 0, 1, 2 or 3. The one place an outcome becomes a
// number.
int ExitCode(Outcome outcome);

struct Console final : Sink {
  Console(std::ostream& text, std::ostream& errors, bool drawProgress = false, bool asJson = false,
          Problems reported = {}, std::string disc = {})
      : Sink(text), err(errors), progress(drawProgress), json(asJson), problems(std::move(reported)),
        about(std::move(disc)) {}

  std::ostream& err;
  bool progress = false;  // draw progress bars on err
  // --json on a command that writes files: its one object replaces the lines
  // on out, and lists the problems reported, as they were reported.
  bool json = false;
  Problems problems;
  // With several discs, the disc every line is about: each line names it
  // first, unless its subject already does.
  std::string about = {};
  // With several discs under --json, where a command's document goes instead
  // of out: each disc's becomes a value in the run's one document.
  nlohmann::ordered_json* document = nullptr;

  // Names a problem on err and keeps it for --json and the exit status.
  void Report(Problem problem) override;
  using Sink::Report;
  // What is only said, not a problem (the disc type --type auto found, a
  // contradicted --type): the same line, kept out of the JSON's failures.
  void Note(const Problem& note) { PrintProblem(err, Named(note)); }
  bool SawBug() const;
  // Runs a command and gives its exit status: kBug when a promise inside
  // zepconv broke (a std::logic_error such as BrokenPromise, or a bug
  // problem reported), kPartly for any other exception, which names it.
  Outcome Run(const std::function<Outcome()>& command);

 private:
  Problem Named(Problem problem) const;
};

}  // namespace zep
