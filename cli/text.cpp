#include "cli/text.h"

namespace zep::cli {

std::string UnitCounts(const DiscTally& t) {
  return Counted(t.lost, "sector lost", "sectors lost") +
         (t.notTried > 0 ? ", " + Counted(t.notTried, "sector never tried", "sectors never tried") : std::string()) +
         (t.pastEnd > 0 ? ", " + Counted(t.pastEnd, "sector past the end", "sectors past the end") : std::string());
}

}  // namespace zep::cli
