#pragma once
// Which records a command reads, and what a carve of a disc looks for: the
// same answer, in the same words, whichever face asks.

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "convert/carve.h"
#include "disc/detect_type.h"
#include "disc/directory.h"
#include "disc/disc_source.h"
#include "disc/problem.h"
#include "disc/volume.h"
#include "operations/source.h"

namespace zep {

struct RecordChoice {
  std::vector<int> slots;          // in slot order, each once
  std::optional<Problem> problem;  // a number the directory does not list (kUsage)
};

// "5" or "1-3", as record numbers are typed: the first and last number;
// none for any other text.
std::optional<std::pair<int, int>> NumberRange(const std::string& text);
// Every number the texts name, in the order given; a text that is neither
// names none.
std::vector<int> ExpandRanges(const std::vector<std::string>& texts);

// The slots of the record numbers given (slot + 1); every record slot when
// none are. One number not listed refuses the whole choice, naming it and
// the records that are, so that a mistyped number reads nothing rather than
// the rest.
RecordChoice ChooseRecords(const std::string& source, const RecordDirectory& dir, const std::vector<int>& numbers);

// Why a carve keeps every run it finds rather than leaving out the listed records' pings.
enum class KeptWhole { kNo, kAsked, kDirectoryUnread, kNothingToTrust };

struct CarvePlan {
  std::optional<SourceType> type;  // none: both kinds of run are looked for
  std::vector<ByteRange> written;  // left out: the pings a conversion of the listed records writes
  KeptWhole kept = KeptWhole::kNo;
};

// What a carve of volume looks for. A type given is trusted; otherwise a
// directory that nothing tells the type of (kind blank or unknown; a
// directory that did not read weighs as blank) gives no type and nothing to
// leave out. Else the listed records' pings under type are left out, unless
// keepAll or the directory did not read.
struct CarveBasis {
  SourceType type = SourceType::Tk40;
  bool typeGiven = false;
  DiscKind kind = DiscKind::Blank;
  bool directoryRead = true;
  bool keepAll = false;
};
CarvePlan PlanCarve(Volume& volume, const RecordDirectory& dir, const CarveBasis& basis);

// A carve or a split that found no run of ping records: done, like grep
// that finds nothing, but not what was hoped for. Of no kind a caller tells
// apart.
Problem NoRunsFound(const std::string& subject);

// A scan dump rather than a disc: a file of exactly the dump's size. It has
// no record directory, and a carve keeps every run it finds.
bool IsScanDump(const DiscSource& disc);

// What a carve of an open source starts from: its directory read, its type
// settled (not given: a directory that fits neither type is searched for
// both kinds of run), and the plan.
struct CarveStart {
  bool scanDump = false;
  std::optional<Problem> directoryProblem;  // the directory did not read: every run is kept
  SettledType settled;                      // not for a scan dump
  std::optional<CarvePlan> plan;            // none: the type was refused
};
CarveStart StartCarve(const DiscSource& disc, const TypeChoice& choice, bool keepAll);

}  // namespace zep
