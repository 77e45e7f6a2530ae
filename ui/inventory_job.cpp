#include "ui/inventory_job.h"

#include <cstdio>
#include <filesystem>

#include "box/box.h"
#include "ui/tools.h"

namespace zep::ui {

bool HoldsInventory(const std::string& folder) {
  std::error_code error;
  return std::filesystem::is_regular_file(std::filesystem::path(folder) / kBoxStateFile, error);
}

std::string InventoryProgressText(std::size_t disc, std::size_t discs, const std::string& image,
                                  std::uint64_t bytesDone, std::uint64_t bytesTotal, double secondsLeft) {
  std::string text = "Disc " + std::to_string(disc + 1) + " of " + std::to_string(discs) + ": " + image + "\n" +
                     MiBText(bytesDone, bytesTotal);
  if (secondsLeft >= 0) {
    const auto s = static_cast<long long>(secondsLeft + 0.5);
    char left[48];
    std::snprintf(left, sizeof left, ", %lld:%02lld left", s / 60, s % 60);
    text += left;
  }
  return text;
}

InventoryOutcome RunInventory(const InventoryRequest& request, JobControl& control) {
  InventoryOutcome outcome;
  outcome.resumed = HoldsInventory(request.outDir);
  BoxOptions options;
  options.images = request.images;
  options.outDir = request.outDir;
  options.netcdf = request.netcdf;
  options.resume = outcome.resumed;  // a folder with an inventory is gone on with, never overwritten
  BoxCallbacks callbacks;
  callbacks.progress = [&control](const BoxProgress& p) {
    control.Report(InventoryProgressText(p.disc, p.discs, p.image, p.bytesDone, p.bytesTotal, p.secondsLeft),
                   p.bytesDone, p.bytesTotal);
  };
  callbacks.cancelled = [&control] { return control.cancelled(); };
  const BoxResult result = MakeInventory(options, callbacks);
  for (const InventoryDisc& disc : result.discs) outcome.discs.push_back({disc.image, disc.health, disc.problems});
  outcome.problems = result.problems;
  outcome.interrupted = result.interrupted();
  outcome.indexPath = result.indexPath;
  return outcome;
}

}  // namespace zep::ui
