#pragma once
// What went wrong, as the core says it: what it is about (a file, a record),
// what happened, and how many units of disc data it cost. The core never
// prints; zepconv and the Windows program show these values, each in one place.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace zep {

// What sort of thing went wrong: code decides by this, never by the text.
enum class ProblemKind {
  kOther,          // nothing any caller tells apart
  kUnreadable,     // disc data (or a file) that did not read
  kPastEnd,        // data that would lie past the end of the volume or file
  kKeptExisting,   // an output that already existed and was left alone
  kWriteFailed,    // an output that could not be written whole
  kNotRecordFile,  // a file given as a .ZEP record file that is not one
  kNotADisc,       // a source given as a disc that is not one
  kNoDisc,         // a drive that gives no volume to read: no disc in it
  kNoDirectory,    // a disc whose record directory is lost or blank
  kInterrupted,    // the run was stopped (a signal, Cancel) before it finished
  kUsage,          // a command line or argument that cannot be carried out
  kMissing,        // something the run needs is not on this machine (a library)
  kBug,            // a broken internal promise: the program's fault, not the disc's
  // Bytes a GNU ddrescue mapfile marks '?': ddrescue never asked the drive
  // for them (outside a domain, a rescue not run to its end). Not read, but
  // not bad either.
  kNotTried,
  kRecordFileAsDisc,  // a .ZEP record file given where a disc belongs: each face says what reads it
};

// What a problem is to the run: an error costs something; a warning or a
// note is only said (a --type the evidence contradicts, the type --type auto
// found).
enum class Severity { kError, kWarning, kNote };

// "unreadable", "past end", ...: the name a saved state keeps a kind by.
const char* ProblemKindName(ProblemKind kind);
std::optional<ProblemKind> ProblemKindNamed(std::string_view name);  // none for a name that is no kind

struct Problem {
  std::string subject;     // "record 2 (HARBOUR)", a path; empty when the text names its own subject
  std::string what;        // what happened, as the user reads it
  std::int64_t units = 0;  // blocks or sectors it cost, when it is about disc data
  ProblemKind kind = ProblemKind::kOther;
  Severity severity = Severity::kError;

  bool bug() const { return kind == ProblemKind::kBug; }
  // "SUBJECT: what", or what alone, a warning's what after "warning: ": the
  // one place a problem becomes text.
  std::string Text() const {
    const std::string said = (severity == Severity::kWarning ? "warning: " : "") + what;
    return subject.empty() ? said : subject + ": " + said;
  }
};

using Problems = std::vector<Problem>;

// Several problems of one thing on one line, "a; b; c".
inline std::string JoinedText(const Problems& problems) {
  std::string text;
  for (const Problem& p : problems) text += (text.empty() ? "" : "; ") + p.Text();
  return text;
}

// Thrown where a caller breaks a promise the callee relies on (an argument
// outside its documented range). Never a fault of the disc or of a file: a
// bug, which the shells name as one.
class BrokenPromise : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

}  // namespace zep
