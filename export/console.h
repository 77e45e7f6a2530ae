#pragma once
// Where a command that turns record files into other forms sends its
// results and its problems, and the exit statuses it returns: the command
// line and, later, the Windows program hand one over.

#include <ostream>
#include <string>
#include <vector>

namespace zep {

// Exit statuses.
inline constexpr int kDone = 0;     // everything asked for was done completely
inline constexpr int kPartly = 1;   // something was done, not all of it
inline constexpr int kRefused = 2;  // a usage error, or a source that cannot be read at all

struct Console {
  std::ostream& out;
  std::ostream& err;
  bool progress = false;  // draw progress bars on err
  // --json on a command that writes files: its one object replaces the lines
  // on out, and lists the problems named on err, which are gathered here.
  bool json = false;
  const std::vector<std::string>* problems = nullptr;
  // What is only said, not a problem (the disc type --type auto found, a
  // contradicted --type): stderr, kept out of the JSON's failures.
  std::ostream* notes = nullptr;
  std::ostream& note() { return notes ? *notes : err; }
};

}  // namespace zep
