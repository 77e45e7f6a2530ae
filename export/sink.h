#pragma once
// Where an export sends what it writes and what went wrong. An export says
// nothing itself: the face that runs it (zepconv, a test) decides how a
// problem is shown and what the run ends with.

#include <ostream>
#include <string>
#include <utility>

#include "disc/problem.h"

namespace zep {

class Sink {
 public:
  explicit Sink(std::ostream& text) : out(text) {}
  virtual ~Sink() = default;
  Sink(const Sink&) = delete;
  Sink& operator=(const Sink&) = delete;

  std::ostream& out;  // what an export writes to standard output (-o -)
  virtual void Report(Problem problem) = 0;
};

// A sink that keeps the problems, for a caller that reports them its own way
// (the inventory gathers each disc's).
class ProblemList final : public Sink {
 public:
  using Sink::Sink;
  using Sink::Report;
  void Report(Problem problem) override { problems.push_back(std::move(problem)); }
  Problems problems;
};

// How much of what it was asked a run did: the one status of every command,
// which zepconv turns into its exit status in one place.
enum class Outcome {
  kDone,     // all of it, every input whole
  kPartly,   // something, not all of it
  kRefused,  // nothing: the output or every input could not be opened, or the request cannot be carried out
  kBug,      // the program broke a promise of its own: a bug, named as one
};

// The lesser of two outcomes.
inline Outcome Worse(Outcome a, Outcome b) { return a > b ? a : b; }

// The status of a run of several parts (discs, files): done when every part
// was, nothing done when no part did anything, else partly.
struct StatusFold {
  Outcome worst = Outcome::kDone, best = Outcome::kRefused;
  void Add(Outcome status) {
    worst = status > worst ? status : worst;
    best = status < best ? status : best;
  }
  Outcome Status() const {
    if (worst == Outcome::kDone) return Outcome::kDone;
    return best == Outcome::kRefused ? Outcome::kRefused : Outcome::kPartly;
  }
};

// The status of a run that writes files: refused when it tried but wrote
// none and kept none (no-clobber), since then nothing was done; partly when
// some failed or were kept; else done.
struct FileTally {
  int written = 0, kept = 0, failed = 0;
  // failure: why an output was not written; one --no-clobber kept
  // (kKeptExisting) is no failure.
  void Failed(const Problem& failure) { ++(failure.kind == ProblemKind::kKeptExisting ? kept : failed); }
  Outcome Status(bool partly = false) const {
    if (written == 0 && kept == 0 && failed > 0) return Outcome::kRefused;
    return partly || failed > 0 || kept > 0 ? Outcome::kPartly : Outcome::kDone;
  }
};

}  // namespace zep
