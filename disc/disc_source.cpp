#include "disc/disc_source.h"

#include "disc/rescue_map.h"

namespace zep {
namespace {

DiscSourceOpen Refused(std::string subject, std::string what, ProblemKind kind) {
  DiscSourceOpen r;
  r.problem = Problem{std::move(subject), std::move(what), 0, kind};
  return r;
}

}  // namespace

DiscSourceOpen PrepareDiscSource(const std::string& source, const DiscSourceOptions& options) {
  DiscSource disc;
  disc.source = source;
  disc.drive = options.drive;
  disc.path = disc.drive ? DriveVolumePath(*disc.drive) : source;
  disc.opener = VolumeAt(disc.path);
  disc.mapfile = options.mapfile;
  if (disc.mapfile.empty() && options.findMapfile && !disc.drive) {
    disc.mapfile = FindMapfileBeside(source);
    disc.mapfileFoundBeside = !disc.mapfile.empty();
  }
  if (!disc.mapfile.empty()) {
    RescueMapLoad load = LoadRescueMap(disc.mapfile);
    if (!load.map) {
      DiscSourceOpen r;
      r.problem = std::move(load.problem);
      return r;
    }
    disc.opener = OpenUnderMap(disc.opener, std::make_shared<const RescueMap>(std::move(*load.map)));
  }
  std::shared_ptr<FailedReads> failed = options.failedReads ? options.failedReads : std::make_shared<FailedReads>();
  disc.opener = OpenRememberingFailures(std::move(disc.opener), std::move(failed));
  DiscSourceOpen r;
  r.disc = std::move(disc);
  return r;
}

DiscSourceOpen OpenDiscSource(const std::string& source, const DiscSourceOptions& options) {
  DiscSourceOpen prepared = PrepareDiscSource(source, options);
  if (!prepared.disc) return prepared;
  DiscSource& disc = *prepared.disc;
  VolumeOpenResult opened = disc.opener();
  if (!opened.volume) {
    // A drive that opens no volume holds no disc; the system's reason says why.
    if (disc.drive) return Refused("", opened.problem->Text(), ProblemKind::kNoDisc);
    DiscSourceOpen r;
    r.problem = std::move(opened.problem);
    return r;
  }
  if (!opened.volume->IsRemovableMedia()) {
    return Refused(source, "not an MO disc: the system does not report the device removable", ProblemKind::kNotADisc);
  }
  disc.volume = std::move(opened.volume);
  disc.size = disc.volume->Size();
  return prepared;
}

}  // namespace zep
