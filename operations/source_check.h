#pragma once
// A check of a source already open: its record directory read, its type
// settled from the evidence (or given), and every record judged unless
// nothing tells the type. What check prints and the inventory keeps.

#include <functional>
#include <optional>

#include "convert/disc_check.h"
#include "disc/disc_source.h"
#include "operations/source.h"

namespace zep {

struct SourceCheck {
  std::optional<Problem> directoryProblem;  // none when the directory was read whole
  RecordDirectory dir{};
  SettledType type;  // refused: a given type the evidence rules out
  // False when no type was given and the evidence fits neither layout: the
  // records are not checked.
  bool checkable = false;
  DiscHealth health;
};

// The directory read and the type settled; the records not yet checked.
SourceCheck StartCheck(const DiscSource& disc, const TypeChoice& choice);

// Every record judged, told of the bytes done; nothing when not checkable.
void CheckRecords(const DiscSource& disc, SourceCheck& check, const std::function<void(std::uint64_t)>& progress);

// Whether the check found anything lost: the directory, the dump area, or
// a record damaged or cut by the end of the volume.
bool AnythingLost(const SourceCheck& check);

}  // namespace zep
