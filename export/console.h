#pragma once
// Where a command sends its results and its problems, and the exit statuses
// it returns: zepconv's commands and the exports they run share it, so a
// problem becomes a line in this one place.

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "disc/problem.h"

namespace zep {

// Exit statuses.
inline constexpr int kDone = 0;     // everything asked for was done completely
inline constexpr int kPartly = 1;   // something was done, not all of it
inline constexpr int kRefused = 2;  // a usage error, or a source that cannot be read at all
inline constexpr int kBug = 3;      // zepconv broke a promise of its own: a bug, named as one

// The one place a problem becomes a line: "zepconv: SUBJECT: what".
void PrintProblem(std::ostream& err, const Problem& problem);

struct Console {
  std::ostream& out;
  std::ostream& err;
  bool progress = false;  // draw progress bars on err
  // --json on a command that writes files: its one object replaces the lines
  // on out, and lists the problems reported, as they were reported.
  bool json = false;
  Problems problems;
  // With several discs, the disc every line is about: each line names it
  // first, unless its subject already does.
  std::string about = {};

  // Names a problem on err and keeps it for --json and the exit status.
  void Report(Problem problem);
  void Report(std::string subject, std::string what) { Report(Problem{std::move(subject), std::move(what)}); }
  // What is only said, not a problem (the disc type --type auto found, a
  // contradicted --type): the same line, kept out of the JSON's failures.
  void Note(const Problem& note) { PrintProblem(err, Named(note)); }
  bool SawBug() const;
  // Runs a command and gives its exit status: kBug when a promise inside
  // zepconv broke (a std::logic_error such as BrokenPromise, or a bug
  // problem reported), kPartly for any other exception, which names it.
  int Run(const std::function<int()>& command);

 private:
  Problem Named(Problem problem) const;
};

}  // namespace zep
