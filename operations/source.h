#pragma once
// A source opened as a disc, the one way every face opens one: the volume
// (a drive's, or an image's, with the GNU ddrescue mapfile given or beside
// it), a .ZEP record file refused, the room for a record directory checked,
// and the recorder type settled from the disc's own evidence. Every refusal
// is a Problem whose kind is set here; the faces only word and print it.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "disc/detect_type.h"
#include "disc/directory.h"
#include "disc/disc_source.h"
#include "disc/failed_reads.h"
#include "disc/problem.h"
#include "disc/volume.h"

namespace zep {

struct SourceOptions {
  std::optional<char> drive;  // the source names this drive, refused in the Windows program's words
  std::string mapfile;        // given; empty: the one beside an image
  // Every read of the source shares what failed (a memory of its own when
  // null), so a bad unit is asked for at most twice in a run.
  std::shared_ptr<FailedReads> failedReads;
  bool needsDirectory = true;  // false for a reader that needs no directory (a dump, a carve)
  bool findMapfile = true;     // false: the caller looked beside the image itself, and said so
};

struct SourceOpen {
  std::optional<DiscSource> disc;  // opened and checked; none when refused
  std::optional<Problem> problem;  // why it was refused
  std::string mapfile;             // read through, even when the volume was then refused
};

SourceOpen OpenSource(const std::string& source, const SourceOptions& options);

// Why an open volume cannot be read as a disc: a record file given as one
// (kNotADisc), or, when needsDirectory, one of known size too short to hold
// the record directory (kNoDirectory), whose missing bytes are not to be
// taken for zeros. Nothing when it can.
std::optional<Problem> RefusedAsDisc(Volume& volume, const std::string& source, bool needsDirectory = true);
std::optional<Problem> TooShortForDirectory(const std::string& source, std::int64_t size);

// Weighs the directory's evidence through a volume already open, reading
// each record's first copied sector only when the directory leaves the type
// open.
TypeEvidence WeighOpenDisc(Volume& volume, const RecordDirectory& dir);
// The same through open, opening the volume only when a sector is read.
TypeEvidence WeighDisc(const VolumeOpener& open, const RecordDirectory& dir);

// How a type is chosen: given or not, and what is made of evidence that
// fits neither recorder.
struct TypeChoice {
  std::optional<SourceType> given;
  bool refuseUnknown = true;  // a disc that fits neither layout is refused
  bool directoryRead = true;  // false: the directory read as zeros, not a blank disc
  bool force = false;         // a given type the evidence rules out is used all the same
};

enum class TypeFault {
  kNone,
  kRuledOut,      // the given type: no slot fits it, some fit the other
  kContradicted,  // the given type: the evidence points to the other (used all the same)
  kUnknown,       // none given: the evidence fits neither layout (refused when refuseUnknown)
};

struct SettledType {
  SourceType type = SourceType::Tk40;
  TypeEvidence evidence;
  TypeFault fault = TypeFault::kNone;
  bool refused = false;  // the disc is not to be read as type
  // What the evidence says of the disc ("a TK40 disc: ..."), for a face to
  // say when it read no given type, and the refusal's kind when refused.
  Problem said;
};

SettledType SettleType(const std::string& source, const TypeEvidence& evidence, const TypeChoice& choice);
// The same, weighing the evidence through open (WeighDisc).
SettledType SettleDiscType(const std::string& source, const VolumeOpener& open, const RecordDirectory& dir,
                           const TypeChoice& choice);

}  // namespace zep
