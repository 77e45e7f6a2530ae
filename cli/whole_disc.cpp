#include "cli/whole_disc.h"

#include "cli/platform.h"
#include "disc/scan.h"
#include "operations/disc_words.h"
#include "operations/source.h"

namespace zep::cli {

std::optional<DiscSource> OpenSource(Console& con, const std::string& source, const std::string& mapfile,
                                    std::shared_ptr<FailedReads> failedReads, bool needsDirectory) {
  const std::optional<char> drive = DriveLetterOf(source);
  SourceOpen opened = zep::OpenSource(source, {drive, mapfile, std::move(failedReads), needsDirectory, false});
  if (!opened.disc) {
    Problem& p = *opened.problem;
    // A drive is refused in the Windows program's words.
    if (drive && p.kind == ProblemKind::kNoDisc) p = {"", NoDiskMessage(*drive) + "(" + p.what + ")", 0, p.kind};
    if (drive && p.kind == ProblemKind::kNotADisc) p = {"", NotMoDiscMessage(*drive), 0, p.kind};
    con.Report(std::move(p));
    return std::nullopt;
  }
  return std::move(opened.disc);
}

}  // namespace zep::cli
